// What an options dialog relies on: walking every field generically, an independent copy to edit,
// and saving the edits all or nothing.
#include <gtest/gtest.h>

#include "core/QEMStrs.h"
#include "platform/QEMSysUtils.h"
#include "settings/QEMINTOptionProp.h"
#include "settings/SettingsTestUtil.h"
#include "support/TestSupport.h"

using namespace settingstest;

namespace {

class OptionEdit : public ::testing::Test {
protected:
  void SetUp() override {
    WipeSettings();
    FStatus = TranslatedStatus;
  }
  void TearDown() override {
    TranslatedStatus = FStatus;
    WipeSettings();
  }
  static std::u16string SetKey(const std::u16string& Set) { return kNormalBase + u"\\" + Set; }

  TResStatus FStatus = rsTranslated;
};

// Gives every field of O a value other than its default, through the generic access only.
void ChangeEveryField(TQEMINTOptionProps& O) {
  for (TQEMPropertySet* s : O.PropertySets())
    for (int i = 0; i < s->Count(); ++i) {
      if (s->FieldType(i) == TQEMOptionType::otText) {
        s->SetText(i, s->GetText(i) + u"-x");
        continue;
      }
      const int32_t v = s->GetValue(i);
      ASSERT_TRUE(s->SetValue(i, v == s->FieldMax(i) ? s->FieldMin(i) : v + 1))
          << UTF16ToUTF8(s->FieldName(i));
    }
}

// "Set.Field=value" for every field, so two objects compare in one expectation.
std::u16string Dump(const TQEMINTOptionProps& O) {
  std::u16string r;
  for (const TQEMPropertySet* s : O.PropertySets())
    for (int i = 0; i < s->Count(); ++i)
      r += s->Name() + u"." + s->FieldName(i) + u"=" +
           (s->FieldType(i) == TQEMOptionType::otText ? s->GetText(i) : IntToStr(s->GetValue(i))) +
           u"\n";
  return r;
}

} // namespace

TEST_F(OptionEdit, GenericAccessReachesTheTypedFieldsWithinTheirBounds) {
  TQEMINTOptionProps o(2);
  TQEMPropertySet& f = *o.FindPropertySet(u"FormDesignerPropSet");
  const int x = f.IndexOf(u"GridSizeX");
  ASSERT_GE(x, 0);
  EXPECT_EQ(f.FieldMin(x), 2);
  EXPECT_EQ(f.FieldMax(x), 128);
  EXPECT_FALSE(f.SetValue(x, 1));
  EXPECT_FALSE(f.SetValue(x, 129));
  EXPECT_EQ(int(o.GridSizeX), 8);
  EXPECT_TRUE(f.SetValue(x, 128));
  EXPECT_EQ(int(o.GridSizeX), 128);
  EXPECT_EQ(f.IndexOf(u"NoSuchField"), -1);
  EXPECT_EQ(o.FindPropertySet(u"NoSuchSet"), nullptr);

  TQEMPropertySet& a = *o.FindPropertySet(u"AddToRepositoryPropSet");
  const int dup = a.IndexOf(u"AddToRepositoryDuplicateAction");
  EXPECT_EQ(a.FieldType(dup), TQEMOptionType::otEnumeration);
  EXPECT_EQ(a.FieldMax(dup), QEMDuplicateActionCount - 1);
  EXPECT_FALSE(a.SetValue(dup, QEMDuplicateActionCount));
  EXPECT_TRUE(a.SetValue(dup, daReplace));
  EXPECT_EQ(o.AddToRepositoryDuplicateAction, daReplace);
  const int hold = a.IndexOf(u"AddToRepositoryHold");
  EXPECT_FALSE(a.SetValue(hold, 2)); // a boolean is 0 or 1
  EXPECT_TRUE(a.SetValue(hold, 1));
  EXPECT_TRUE(o.AddToRepositoryHold);

  // A new status is a position in the list the pages show, not a status ordinal.
  TQEMPropertySet& g = *o.FindPropertySet(u"GetFromRepositoryPropSet");
  const int ns = g.IndexOf(u"GetFromRepositoryNewStatus");
  EXPECT_EQ(g.GetValue(ns), 1);
  EXPECT_TRUE(g.SetValue(ns, QEMNewStatusIndex(rsHold)));
  EXPECT_EQ(o.GetFromRepositoryNewStatus, rsHold);

  // Asking a field of the other kind changes nothing.
  TQEMPropertySet& h = *o.FindPropertySet(u"HLXPropSet");
  const int ed = h.IndexOf(u"EditorFilename");
  EXPECT_FALSE(h.SetValue(ed, 1));
  EXPECT_EQ(h.GetValue(ed), 0);
  h.SetText(h.IndexOf(u"HLXLeft"), u"12");
  EXPECT_EQ(o.HLXLeft, 0);
  EXPECT_EQ(h.GetText(h.IndexOf(u"HLXLeft")), u"");
  EXPECT_EQ(h.DefaultText(ed), u"notepad.exe");
}

TEST_F(OptionEdit, CloneIsAnIndependentCopyThatReadsNothing) {
  TQEMINTOptionProps o(2);
  ChangeEveryField(o);
  o.QEMHistoryManager.AddHistory(u"hlRepositoryFilename", u"/tm/a.tmx");
  o.OptionChange();
  // What the hive holds meanwhile must not leak into the copy.
  PutInt(SetKey(u"CommonPropSet"), u"HideEmptyItems", 0);

  const auto c = o.Clone();
  EXPECT_EQ(Dump(*c), Dump(o));
  EXPECT_EQ(c->Mask(), o.Mask());
  EXPECT_TRUE(c->GetIsModified());
  EXPECT_EQ(c->QEMHistoryManager.GetHistory(u"hlRepositoryFilename"),
            std::vector<std::u16string>{u"/tm/a.tmx"});
  for (size_t i = 0; i < o.PropertySets().size(); ++i)
    EXPECT_EQ(c->PropertySets()[i]->Key(), o.PropertySets()[i]->Key());

  const std::u16string before = Dump(o);
  ChangeEveryField(*c);
  c->QEMHistoryManager.ClearHistory(u"hlRepositoryFilename");
  EXPECT_NE(Dump(*c), before);
  EXPECT_EQ(Dump(o), before);
  EXPECT_EQ(o.QEMHistoryManager.GetHistory(u"hlRepositoryFilename").size(), 1u);
}

TEST_F(OptionEdit, SaveEditedStoresTheEditsAndKeepsTheOldValuesWhenSavingFails) {
  TQEMINTOptionProps o(2);
  auto edit = o.Clone();
  edit->UseNewlyTranslated = true;
  edit->GridSizeY = 100;
  edit->RepositoryFilename.clear();
  edit->OptionChange();

  o.SaveEdited(*edit);
  EXPECT_EQ(int(o.GridSizeY), 100);
  EXPECT_EQ(GetInt(SetKey(u"FormDesignerPropSet"), u"Grid Size Y"), 100);
  // Cleared, the repository file is the default one, in memory as after the next load.
  EXPECT_EQ(o.RepositoryFilename, o.RepositoryFilenameDefault());
  EXPECT_EQ(GetStr(SetKey(u"RepositoryPropSet"), u"Filename"), o.RepositoryFilenameDefault());
  EXPECT_EQ(TranslatedStatus, rsNewlyTranslated);
  EXPECT_FALSE(o.GetIsModified());

  qemtest::TTempDir dir;
  auto failing = o.Clone();
  failing->GridSizeY = 3;
  failing->EditorFilename = u"/usr/bin/nano";
  const std::u16string before = Dump(o);
  {
    TDamagedHive damaged(dir.Path().string());
    EXPECT_THROW(o.SaveEdited(*failing), EQEMError);
  }
  EXPECT_EQ(Dump(o), before);
  EXPECT_EQ(GetInt(SetKey(u"FormDesignerPropSet"), u"Grid Size Y"), 100);
}
