#include <gtest/gtest.h>

#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"
#include "resources/QEMConst.h"

namespace {

const std::u16string kKey = u"\\Software\\HLXTest\\Counts";

// Damaged counts: the value decides whether the list is read, how far, and what is said.
TEST(RegistryCount, DamagedCountsAreClampedOrIgnoredWithOneWarning) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  auto read = [&] { return QEMRegReadCount(reg, u"N", 30); };

  TQEMRegCount c = read();
  EXPECT_FALSE(c.Present);
  EXPECT_TRUE(c.Warning.empty());

  reg.WriteInteger(u"N", 7);
  c = read();
  EXPECT_TRUE(c.Present);
  EXPECT_EQ(c.Count, 7);
  EXPECT_TRUE(c.Warning.empty());
  reg.WriteString(u"N", u" 12 ");
  EXPECT_EQ(read().Count, 12);
  EXPECT_TRUE(read().Warning.empty());

  reg.WriteInteger(u"N", 2147483647);
  c = read();
  EXPECT_TRUE(c.Present);
  EXPECT_EQ(c.Count, 30);
  EXPECT_EQ(c.Warning, Format(SSettingsCountClamped, u"N", u"2147483647", 30, 30));
  reg.WriteString(u"N", u"99999999999999999999999");
  EXPECT_EQ(read().Count, 30);

  for (const char16_t* bad : {u"lots", u"-1", u"", u"3x", u"+3"}) {
    reg.WriteString(u"N", bad);
    c = read();
    EXPECT_FALSE(c.Present) << UTF16ToUTF8(bad);
    EXPECT_EQ(c.Count, 0);
    EXPECT_EQ(c.Warning, Format(SBadSettingsCount, u"N", bad, 30));
  }
  reg.WriteInteger(u"N", -5);
  EXPECT_FALSE(read().Present);
  EXPECT_EQ(read().Warning, Format(SBadSettingsCount, u"N", u"-5", 30));
  reg.WriteBinaryData(u"N", {1, 2, 3});
  EXPECT_FALSE(read().Present);
  EXPECT_FALSE(read().Warning.empty());
  reg.CloseKey();
  reg.DeleteKey(kKey);
}

TEST(RegistryCount, EntriesAndNumberedValues) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString(u"Item0", u"a");
  reg.WriteInteger(u"Item1", 5);
  reg.WriteString(u"Item2", u"c");
  reg.WriteString(u"Item10", u"k");
  reg.WriteString(u"ItemCount", u"keep");
  reg.WriteString(u"Item2x", u"keep");
  reg.WriteString(u"Other3", u"keep");
  EXPECT_EQ(QEMRegReadEntry(reg, u"Item0"), std::optional<std::u16string>(u"a"));
  EXPECT_FALSE(QEMRegReadEntry(reg, u"Item1")); // not text
  EXPECT_FALSE(QEMRegReadEntry(reg, u"Item9"));

  QEMRegDeleteNumbered(reg, u"Item", 2);
  EXPECT_EQ(reg.GetValueNames(),
            (std::vector<std::u16string>{u"Item0", u"Item1", u"Item2x", u"ItemCount", u"Other3"}));
  QEMRegDeleteNumbered(reg, u"Item", 0);
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::u16string>{u"Item2x", u"ItemCount", u"Other3"}));
  reg.CloseKey();
  reg.DeleteKey(kKey);
}

} // namespace
