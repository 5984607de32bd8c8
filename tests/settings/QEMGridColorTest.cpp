#include "settings/QEMGridColor.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/SettingsTestUtil.h"
#include "support/TestSupport.h"

using namespace settingstest;

namespace {

const std::u16string kColorKey = kNormalBase + u"\\Color";

class ColorSchemes : public ::testing::Test {
protected:
  void SetUp() override {
    WipeSettings();
    FUI = std::make_shared<TQEMScriptedUIServices>();
    FOldUI = QEMSetUIServices(FUI);
  }
  void TearDown() override {
    QEMSetUIServices(FOldUI);
    QEMRefreshStatusImages = nullptr;
    WipeSettings();
  }
  std::vector<std::u16string> Shown(TQEMScriptedUIServices::TKind Kind) const {
    std::vector<std::u16string> r;
    for (const auto& s : FUI->Shown())
      if (s.Kind == Kind) r.push_back(s.Text);
    return r;
  }
  static TQEMColorValueList Colors(TColor Base) {
    TQEMColorValueList l;
    TQEMColorScheme(u"x", u"x").CopyTo(l);
    for (size_t i = 0; i < l.size(); ++i)
      l[i].second = Base + TColor(i);
    return l;
  }

  std::shared_ptr<TQEMScriptedUIServices> FUI;
  std::shared_ptr<IQEMUIServices> FOldUI;
};

using TKind = TQEMScriptedUIServices::TKind;

} // namespace

TEST_F(ColorSchemes, NewSchemeSlotsAndTheFourBuiltInSchemesStandingWithoutAColorKey) {
  const std::pair<const char16_t*, std::array<TColor, QEMColorCount>> builtIns[] = {
      {u"Classic",
       {0x800000, 0x00FFFF, 0x800000, 0xC0C0C0, 0xC0C0C0, 0x800000, 0x0000FF, 0x008000, 0x00FFFF,
        0x808080}},
      {u"Default",
       {0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF, 0x800000, 0xFFFFFF, 0x0000FF, 0xC0C0C0, 0x00FFFF,
        0x808080}},
      {u"Ocean",
       {0xFFFF00, 0x000000, 0xFFFF00, 0x808080, 0xFF0000, 0xFFFF00, 0x0000FF, 0x00FF00, 0x00FFFF,
        0x808080}},
      {u"Twilight",
       {0x000000, 0xFFFF00, 0x000000, 0x808080, 0xFFFFFF, 0x000000, 0x000080, 0x008000, 0x008080,
        0x000000}},
  };
  // A new scheme starts from the colours of Default.
  const TQEMColorScheme fresh(u"n", u"n");
  ASSERT_EQ(fresh.GetCount(), QEMColorCount);
  const std::array<std::u16string, QEMColorCount> regNames{
      u"EditBackgroundColor",     u"EditForegroundColor",      u"Non_editBackgroundColor",
      u"Non_editForegroundColor", u"SelectionBackgroundColor", u"SelectionForegroundColor",
      u"UntranslatedItemColor",   u"TranslatedItemColor",      u"Auto_TranslatedItemColor",
      u"UnusedItemColor"};
  for (int i = 0; i < QEMColorCount; ++i) {
    EXPECT_EQ(fresh.GetItem(i).QEMColor, TQEMColor(i));
    EXPECT_EQ(fresh.GetColorRegName(TQEMColor(i)), regNames[size_t(i)]);
    EXPECT_EQ(fresh.GetColor(TQEMColor(i)), builtIns[1].second[size_t(i)]) << i;
  }
  EXPECT_EQ(fresh.GetColorDisName(iclNon_EditBackgroundColor), u"Non-edit background color");
  EXPECT_EQ(fresh.GetColorDisName(iclAuto_TranslatedItemColor), u"Auto-Translated item color");
  EXPECT_FALSE(fresh.GetIsOEM());
  TQEMColorValueList page;
  fresh.CopyTo(page);
  ASSERT_EQ(page.size(), size_t(QEMColorCount));
  EXPECT_EQ(page[4], (std::pair<std::u16string, TColor>{u"Selection background color", 0x800000}));

  // The built-in schemes stand when the hive holds none.
  TQEMColorSchemes schemes;
  schemes.LoadAll();
  ASSERT_EQ(schemes.GetCount(), 4);
  for (int s = 0; s < 4; ++s) {
    const TQEMColorScheme* scheme = schemes.GetColorScheme(s);
    EXPECT_EQ(scheme->GetSchemeRegName(), builtIns[s].first);
    EXPECT_EQ(scheme->GetSchemeDisName(), builtIns[s].first);
    EXPECT_TRUE(scheme->GetIsOEM());
    for (int i = 0; i < QEMColorCount; ++i)
      EXPECT_EQ(scheme->GetColor(TQEMColor(i)), builtIns[s].second[size_t(i)]) << s << "/" << i;
  }
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetSchemeRegName(), u"Default");
  EXPECT_TRUE(schemes.GetUseColors());
}

TEST_F(ColorSchemes, SaveAndLoadKeepSchemesSelectionAndUseColors) {
  int refreshed = 0;
  QEMRefreshStatusImages = [&] { ++refreshed; };
  {
    TQEMColorSchemes schemes;
    auto custom = std::make_unique<TQEMColorScheme>(u"Custom", u"Custom");
    custom->SetColor(iclUnusedItemColor, 0x123456);
    schemes.SetSelected(schemes.Add(std::move(custom)));
    schemes.SetUseColors(false);
    schemes.SaveAll(false);
    EXPECT_EQ(refreshed, 0);
    schemes.SaveAll(true);
    EXPECT_EQ(refreshed, 1);
  }
  EXPECT_EQ(GetStr(kColorKey, u"Selected"), u"Custom");
  EXPECT_EQ(GetInt(kColorKey, u"UseColors"), 0);
  EXPECT_EQ(GetInt(kColorKey + u"\\Custom", u"IsOEM"), 0);
  EXPECT_EQ(GetInt(kColorKey + u"\\Custom", u"UnusedItemColor"), 0x123456);
  EXPECT_EQ(GetInt(kColorKey + u"\\Ocean", u"IsOEM"), 1);
  EXPECT_EQ(GetInt(kColorKey + u"\\Ocean", u"SelectionBackgroundColor"), 0xFF0000);
  QEMCloseHive();

  TQEMColorSchemes schemes;
  schemes.LoadAll();
  ASSERT_EQ(schemes.GetCount(), 5);
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetSchemeRegName(), u"Custom");
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetColor(iclUnusedItemColor), 0x123456u);
  EXPECT_FALSE(schemes.SelectedColorsScheme()->GetIsOEM());
  EXPECT_TRUE(schemes.GetColorScheme(schemes.IndexOf(u"twilight"))->GetIsOEM());
  EXPECT_FALSE(schemes.GetUseColors());
}

TEST_F(ColorSchemes, SelectedNamingNoSchemeSelectsTheFirst) {
  PutInt(kColorKey + u"\\Zeta", u"EditBackgroundColor", 0x111111);
  PutInt(kColorKey + u"\\Alpha", u"EditBackgroundColor", 0x222222);
  PutStr(kColorKey, u"Selected", u"Vanished");
  TQEMColorSchemes schemes;
  schemes.LoadAll();
  ASSERT_EQ(schemes.GetCount(), 2); // stored schemes replace the built-in ones
  EXPECT_EQ(schemes.GetSelected(), 0);
  ASSERT_NE(schemes.SelectedColorsScheme(), nullptr);
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetSchemeRegName(), u"Alpha");
  // Slots the hive lacks start from the newly-constructed colours.
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetColor(iclUntranslatedItemColor), 0x0000FFu);

  PutStr(kColorKey, u"Selected", u"ZETA");
  schemes.LoadAll();
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetSchemeRegName(), u"Zeta");
}

TEST_F(ColorSchemes, StoredValuesOutOfRangeLoadAsDefaults) {
  PutInt(kColorKey + u"\\Odd", u"EditBackgroundColor", -1);
  PutInt(kColorKey + u"\\Odd", u"EditForegroundColor", 0x01000000);
  PutStr(kColorKey + u"\\Odd", u"UnusedItemColor", u"red");
  PutInt(kColorKey + u"\\Odd", u"TranslatedItemColor", 0x00ABCDEF);
  PutInt(kColorKey + u"\\Odd", u"IsOEM", 7);
  PutInt(kColorKey, u"UseColors", 5);
  TQEMColorSchemes schemes;
  schemes.LoadAll();
  const TQEMColorScheme* s = schemes.GetColorScheme(0);
  EXPECT_EQ(s->GetColor(iclEditBackgroundColor), 0xFFFFFFu);
  EXPECT_EQ(s->GetColor(iclEditForegroundColor), 0x000000u);
  EXPECT_EQ(s->GetColor(iclUnusedItemColor), 0x808080u);
  EXPECT_EQ(s->GetColor(iclTranslatedItemColor), 0xABCDEFu);
  EXPECT_FALSE(s->GetIsOEM());
  EXPECT_TRUE(schemes.GetUseColors());
}

TEST_F(ColorSchemes, CollectionAddOverwritesANamesakeAndDeleteKeepsTheSelection) {
  TQEMColorSchemes schemes;
  auto mine = std::make_unique<TQEMColorScheme>(u"DEFAULT", u"DEFAULT");
  mine->SetColor(iclEditBackgroundColor, 0x010203);
  EXPECT_EQ(schemes.Add(std::move(mine)), 1);
  EXPECT_EQ(schemes.GetCount(), 4);
  EXPECT_EQ(schemes.GetColorScheme(1)->GetColor(iclEditBackgroundColor), 0x010203u);
  EXPECT_FALSE(schemes.GetColorScheme(1)->GetIsOEM()); // Assign copies the flag as well

  schemes.SetSelected(2);
  schemes.Delete(0);
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetSchemeRegName(), u"Ocean");
  schemes.Delete(1);
  EXPECT_EQ(schemes.GetSelected(), 0);
  EXPECT_THROW(schemes.Delete(5), EQEMError);
  EXPECT_THROW(schemes.SetSelected(-1), EQEMError);

  // Names that would split into nested keys, or be blank, never enter the collection.
  EXPECT_THROW(schemes.Add(std::make_unique<TQEMColorScheme>(u"a\\b", u"a\\b")), EQEMError);
  EXPECT_THROW(schemes.Add(std::make_unique<TQEMColorScheme>(u"  ", u"  ")), EQEMError);
}

TEST_F(ColorSchemes, SavingCustomTwiceAsksAndReplacesInPlace) {
  TQEMColorSchemes schemes;
  FUI->QueueValue(u"Custom");
  const int first = QEMSaveNewColorScheme(schemes, Colors(0x10));
  EXPECT_EQ(first, 4);
  EXPECT_EQ(schemes.GetCount(), 5);
  EXPECT_TRUE(Shown(TKind::skYesNo).empty());

  FUI->QueueValue(u"custom");
  FUI->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_EQ(QEMSaveNewColorScheme(schemes, Colors(0x20)), -1);
  EXPECT_EQ(schemes.GetColorScheme(first)->GetColor(iclEditBackgroundColor), 0x10u);

  FUI->QueueValue(u"Custom");
  FUI->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_EQ(QEMSaveNewColorScheme(schemes, Colors(0x30)), first);
  EXPECT_EQ(schemes.GetCount(), 5);
  EXPECT_EQ(schemes.GetColorScheme(first)->GetColor(iclEditBackgroundColor), 0x30u);
  EXPECT_EQ(schemes.GetColorScheme(first)->GetColor(iclUnusedItemColor), 0x39u);
  EXPECT_EQ(Shown(TKind::skYesNo),
            (std::vector<std::u16string>{
                u"Color scheme \"custom\" already exists. Replace color scheme?",
                u"Color scheme \"Custom\" already exists. Replace color scheme?"}));
}

// Built-in names (in any case, with spaces around), names that would nest keys and blank names
// are refused, and the name is asked for again.
TEST_F(ColorSchemes, RefusedSchemeNamesAreAskedAgain) {
  TQEMColorSchemes schemes;
  for (auto name : {u"ocean", u" Twilight ", u"Dark\\Blue", u"   ", u"  Dark Blue "})
    FUI->QueueValue(name);
  EXPECT_EQ(QEMSaveNewColorScheme(schemes, Colors(0)), 4);
  EXPECT_EQ(schemes.GetColorScheme(4)->GetSchemeRegName(), u"Dark Blue");
  const auto errors = Shown(TKind::skError);
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[0], u"You cannot save over an original color scheme.");
  EXPECT_EQ(errors[1], errors[0]);
  EXPECT_NE(errors[2].find(u"Dark\\Blue"), std::u16string::npos);
  EXPECT_EQ(errors[3], SColorSchemeNameEmpty);
  EXPECT_EQ(Shown(TKind::skInput).size(), 5u);
  EXPECT_EQ(Shown(TKind::skInput).front(),
            u"Save New Color Scheme: Enter name for the new color scheme:");

  FUI->QueueAnswer(TQEMAnswer::anCancel);
  EXPECT_EQ(QEMSaveNewColorScheme(schemes, Colors(0)), -1);
  EXPECT_EQ(schemes.GetCount(), 5);
}

TEST_F(ColorSchemes, RemovingAsksAndIsOfferedOnlyForOwnSchemes) {
  TQEMColorSchemes schemes;
  EXPECT_FALSE(QEMCanRemoveColorScheme(schemes, 1));
  EXPECT_FALSE(QEMRemoveColorScheme(schemes, 1));
  EXPECT_TRUE(FUI->Shown().empty());

  const int i = schemes.Add(std::make_unique<TQEMColorScheme>(u"Mine", u"Mine"));
  FUI->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_FALSE(QEMRemoveColorScheme(schemes, i));
  EXPECT_EQ(schemes.GetCount(), 5);
  FUI->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_TRUE(QEMRemoveColorScheme(schemes, i));
  EXPECT_EQ(schemes.GetCount(), 4);
  EXPECT_EQ(Shown(TKind::skYesNo).back(), u"Remove color scheme \"Mine\"?");

  TQEMColorSchemes single;
  single.Clear();
  single.Add(std::make_unique<TQEMColorScheme>(u"Last", u"Last"));
  EXPECT_FALSE(QEMCanRemoveColorScheme(single, 0));
}

TEST_F(ColorSchemes, AFailedLoadLeavesTheSchemesAsTheyWere) {
  TQEMColorSchemes schemes;
  schemes.Add(std::make_unique<TQEMColorScheme>(u"Mine", u"Mine"));
  schemes.SetSelected(4);
  qemtest::TTempDir dir;
  {
    TDamagedHive damaged(dir.Path().string());
    EXPECT_THROW(schemes.LoadAll(), EQEMError);
  }
  EXPECT_EQ(schemes.GetCount(), 5);
  EXPECT_EQ(schemes.SelectedColorsScheme()->GetSchemeRegName(), u"Mine");
}

TEST_F(ColorSchemes, UnitStartupLoadsTheStoredSchemes) {
  PutInt(kColorKey + u"\\Stored", u"EditBackgroundColor", 0x0A0B0C);
  PutStr(kColorKey, u"Selected", u"Stored");
  const bool had = QEMColorSchemes != nullptr;
  QEMGridColorFinalize();
  QEMGridColorInitialize();
  ASSERT_NE(QEMColorSchemes, nullptr);
  EXPECT_EQ(QEMColorSchemes->SelectedColorsScheme()->GetColor(iclEditBackgroundColor), 0x0A0B0Cu);
  QEMGridColorFinalize();
  WipeSettings();
  if (had) QEMGridColorInitialize();
}
