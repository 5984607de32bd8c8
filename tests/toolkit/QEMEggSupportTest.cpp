#include <gtest/gtest.h>

#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"
#include "toolkit/QEMEggSupport.h"

namespace {

class EggSupport : public ::testing::Test {
protected:
  void SetUp() override { Wipe(); }
  void TearDown() override { Wipe(); }
  static void Wipe() {
    TRegistry().DeleteKey(QEMBaseRegKey() + u"\\EggFormat");
    QEMEggSupportInitialize();
  }
  static void Put(const std::u16string& Name, const std::u16string& Value) {
    TRegistry r;
    ASSERT_TRUE(r.OpenKey(QEMBaseRegKey() + u"\\EggFormat", true));
    r.WriteString(Name, Value);
  }
  static std::u16string Egg(TResStatus S, const std::u16string& Kind) {
    std::u16string r;
    return GetEggString(S, Kind, u"Open", u"Offen", r) ? r : u"no:" + r;
  }
};

TEST_F(EggSupport, PatternsApplyPerStatusAndKind) {
  Put(u"Translated.RC", u"<<%S>>");
  Put(u"UnTranslated.RC", u"[%s]");
  Put(u"Hold.RC", u"100%%%S");
  Put(u"Egged.RC", u"a\xFEDC"
                   u"b");
  Put(u"Translated.DFM", u"");
  EXPECT_EQ(Egg(rsTranslated, u"RC"), u"<<Open>>");
  EXPECT_EQ(Egg(rsUnTranslated, u"RC"), u"[Open]");
  EXPECT_EQ(Egg(rsHold, u"RC"), u"100%Open");
  EXPECT_EQ(Egg(rsEgged, u"RC"), u"a%b");
  EXPECT_EQ(Egg(rsTranslated, u"DFM"), u"no:Offen");
}

TEST_F(EggSupport, LastLookupIsCachedAsValues) {
  Put(u"Translated.RC", u"<%S>");
  EXPECT_EQ(Egg(rsTranslated, u"RC"), u"<Open>");
  Put(u"Translated.RC", u"{%S}"); // a writer is not blocked by the cache
  EXPECT_EQ(Egg(rsTranslated, u"RC"), u"<Open>");
  QEMEggResetCache();
  EXPECT_EQ(Egg(rsTranslated, u"RC"), u"{Open}");
}

TEST_F(EggSupport, EggedStatusFollowsTheStartUpSetting) {
  EXPECT_EQ(GetEggStatus(rsTranslated, u"RC"), rsAutoTranslated);
  TRegistry r;
  ASSERT_TRUE(r.OpenKey(QEMBaseRegKey() + u"\\EggFormat", true));
  r.WriteBool(u"UseEggedStatus", true);
  EXPECT_EQ(GetEggStatus(rsTranslated, u"RC"), rsAutoTranslated);
  QEMEggSupportInitialize();
  EXPECT_EQ(GetEggStatus(rsHold, u"DFM"), rsEgged);
}

} // namespace
