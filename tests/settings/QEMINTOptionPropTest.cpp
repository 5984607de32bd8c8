#include "settings/QEMINTOptionProp.h"

#include <gtest/gtest.h>

#include "core/QEMStrs.h"
#include "platform/QEMSysUtils.h"
#include "settings/SettingsTestUtil.h"
#include "support/TestSupport.h"

using namespace settingstest;

namespace {

class OptionProps : public ::testing::Test {
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

struct TStored {
  const char16_t* Set;
  const char16_t* Value;
  int32_t Expected;
};

// The table of options with the value each default is stored as.
const TStored kStoredDefaults[] = {
    {u"HLXPropSet", u"Height", 0},
    {u"HLXPropSet", u"Left", 0},
    {u"HLXPropSet", u"Top", 0},
    {u"HLXPropSet", u"Width", 0},
    {u"CommonPropSet", u"Automatically Query Repository", 1},
    {u"CommonPropSet", u"Automatically Quote Strings", 1},
    {u"CommonPropSet", u"Automatically Save Files", 0},
    {u"CommonPropSet", u"UseNewlyTranslated", 0},
    {u"CommonPropSet", u"HideEmptyItems", 0},
    {u"FormDesignerPropSet", u"Display Grid", 1},
    {u"FormDesignerPropSet", u"Snap to Grid", 1},
    {u"FormDesignerPropSet", u"Grid Size X", 8},
    {u"FormDesignerPropSet", u"Grid Size Y", 8},
    {u"AddToRepositoryPropSet", u"Translated", 1},
    {u"AddToRepositoryPropSet", u"Untranslated", 1},
    {u"AddToRepositoryPropSet", u"NewlyTranslated", 1},
    {u"AddToRepositoryPropSet", u"Hold", 0},
    {u"AddToRepositoryPropSet", u"DoNotTranslate", 0},
    {u"AddToRepositoryPropSet", u"Unused", 0},
    {u"AddToRepositoryPropSet", u"DuplicateAction", 4},
    {u"AddToRepositoryPropSet", u"IncludeContext", 0},
    {u"AddToRepositoryPropSet", u"Value", 2},
    {u"AddToRepositoryPropSet", u"Comment", 0},
    {u"AddToRepositoryPropSet", u"CommentAction", 1},
    {u"ChangeStatusPropSet", u"Untranslated", 1},
    {u"ChangeStatusPropSet", u"Translated", 1},
    {u"ChangeStatusPropSet", u"AutoTranslated", 1},
    {u"ChangeStatusPropSet", u"NewlyTranslated", 1},
    {u"ChangeStatusPropSet", u"Hold", 1},
    {u"ChangeStatusPropSet", u"DoNotTranslate", 0},
    {u"ChangeStatusPropSet", u"NewStatus", 0},
    {u"ChangeStatusPropSet", u"RevertToOriginal", 0},
    {u"ChangeStatusPropSet", u"UseRepository", 0},
    {u"ChangeStatusPropSet", u"UseContext", 0},
    {u"ChangeStatusPropSet", u"Comment", 0},
    {u"ChangeStatusPropSet", u"CommentAction", 1},
    {u"GetFromRepositoryPropSet", u"Untranslated", 1},
    {u"GetFromRepositoryPropSet", u"Translated", 0},
    {u"GetFromRepositoryPropSet", u"AutoTranslated", 0},
    {u"GetFromRepositoryPropSet", u"NewlyTranslated", 0},
    {u"GetFromRepositoryPropSet", u"Hold", 0},
    {u"GetFromRepositoryPropSet", u"DoNotTranslate", 0},
    {u"GetFromRepositoryPropSet", u"NewStatus", 1},
    {u"GetFromRepositoryPropSet", u"UseContext", 0},
    {u"GetFromRepositoryPropSet", u"MultipleFindAction", 1},
    {u"GetFromRepositoryPropSet", u"Comment", 0},
    {u"GetFromRepositoryPropSet", u"CommentAction", 1},
    {u"PascalPropSet", u"GenerateXlat", 0},
    {u"RepositoryPropSet", u"Left", 0},
    {u"RepositoryPropSet", u"Top", 0},
    {u"RepositoryPropSet", u"Width", 0},
    {u"RepositoryPropSet", u"Height", 0},
    {u"RepositoryPropSet", u"TextLabels", 1},
    {u"RepositoryPropSet", u"LanguagesToolBarExpanded", 1},
    {u"RepositoryPropSet", u"FormattedXML", 0},
    {u"RepositorySearchPropSet", u"Case Sensitive", 0},
    {u"RepositorySearchPropSet", u"Search Forward", 1},
    {u"RepositorySearchPropSet", u"Whole Words", 0},
};

} // namespace

TEST_F(OptionProps, FreshHiveGivesEveryDefaultAndStoresItUnderItsName) {
  TQEMINTOptionProps o(2);
  EXPECT_FALSE(o.AutomaticallyCompileProjects);
  EXPECT_TRUE(o.ShowTranslationManagerAfterVUD);
  EXPECT_EQ(o.EditorFilename, u"notepad.exe");
  EXPECT_EQ(o.AddToRepositoryDuplicateAction, daDisplayList);
  EXPECT_EQ(o.AddToRepositoryValue, avDontCare);
  EXPECT_EQ(o.ChangeStatusNewStatus, rsUnTranslated);
  EXPECT_EQ(o.GetFromRepositoryNewStatus, rsTranslated);
  EXPECT_EQ(o.GetFromRepositoryMultipleFindAction, mfaUseFirst);
  EXPECT_EQ(o.RepositoryFilename, QEMBinDir() + u"default.tmx");
  EXPECT_EQ(int(o.GridSizeX), 8);
  EXPECT_FALSE(o.GetIsModified());

  o.SaveOptions();
  for (const auto& s : kStoredDefaults)
    EXPECT_EQ(GetInt(SetKey(s.Set), s.Value), s.Expected)
        << UTF16ToUTF8(s.Set) << "\\" << UTF16ToUTF8(s.Value);
  EXPECT_EQ(GetStr(SetKey(u"HLXPropSet"), u"EditorFilename"), u"notepad.exe");
  EXPECT_EQ(GetStr(SetKey(u"RepositoryPropSet"), u"Filename"), QEMBinDir() + u"default.tmx");

  // Nothing beyond the table is written, so the table above covers every stored value.
  size_t count = 0;
  for (auto* set : o.PropertySets())
    if (set->Matches(2)) count += size_t(set->Count());
  EXPECT_EQ(count, std::size(kStoredDefaults) + 2);
}

TEST_F(OptionProps, StandAloneMaskNeitherReadsNorWritesTheDevelopmentEnvironmentSet) {
  PutInt(SetKey(u"QEMPropSet"), u"Automatically Compile Projects", 1);
  PutInt(SetKey(u"QEMPropSet"), u"Show Translation Manager After VUD", 0);
  {
    TQEMINTOptionProps o(2);
    EXPECT_FALSE(o.AutomaticallyCompileProjects);
    EXPECT_TRUE(o.ShowTranslationManagerAfterVUD);
    o.AutomaticallyCompileProjects = false;
    o.ShowTranslationManagerAfterVUD = true;
    o.SaveOptions();
  }
  EXPECT_EQ(GetInt(SetKey(u"QEMPropSet"), u"Automatically Compile Projects"), 1);
  EXPECT_EQ(GetInt(SetKey(u"QEMPropSet"), u"Show Translation Manager After VUD"), 0);

  // Inside the development environment the same set is read, and so are the shared ones.
  PutInt(SetKey(u"CommonPropSet"), u"HideEmptyItems", 1);
  TQEMINTOptionProps ide(1);
  EXPECT_TRUE(ide.AutomaticallyCompileProjects);
  EXPECT_FALSE(ide.ShowTranslationManagerAfterVUD);
  EXPECT_TRUE(ide.HideEmptyItems);
}

TEST_F(OptionProps, ValuesSurviveSaveAndReloadInANewProcess) {
  {
    TQEMINTOptionProps o(2);
    o.EditorFilename = u"/usr/bin/vi";
    o.HLXLeft = -1200; // a window on a monitor left of the main one
    o.AutomaticSaveFiles = true;
    o.AutomaticQuoteStrings = false;
    o.GridSizeX = 2;
    o.GridSizeY = 128;
    o.AddToRepositoryDuplicateAction = daForceAdd;
    o.AddToRepositoryValue = avUnchanged;
    o.ChangeStatusNewStatus = rsDoNotTranslate;
    o.GetFromRepositoryNewStatus = rsNewlyTranslated;
    o.GetFromRepositoryMultipleFindAction = mfaDisplayList;
    o.RepositoryFilename = u"/data/tm/projekt.tmx";
    o.RepositorySearchWholeWords = true;
    o.QEMHistoryManager.AddHistory(u"hlRepositoryFilename", u"/data/tm/projekt.tmx");
    o.SaveOptions();
  }
  QEMCloseHive(); // what the next process sees is what reached the file

  TQEMINTOptionProps o(2);
  EXPECT_EQ(o.EditorFilename, u"/usr/bin/vi");
  EXPECT_EQ(o.HLXLeft, -1200);
  EXPECT_TRUE(o.AutomaticSaveFiles);
  EXPECT_FALSE(o.AutomaticQuoteStrings);
  EXPECT_EQ(int(o.GridSizeX), 2);
  EXPECT_EQ(int(o.GridSizeY), 128);
  EXPECT_EQ(o.AddToRepositoryDuplicateAction, daForceAdd);
  EXPECT_EQ(o.AddToRepositoryValue, avUnchanged);
  EXPECT_EQ(o.ChangeStatusNewStatus, rsDoNotTranslate);
  EXPECT_EQ(o.GetFromRepositoryNewStatus, rsNewlyTranslated);
  EXPECT_EQ(o.GetFromRepositoryMultipleFindAction, mfaDisplayList);
  EXPECT_EQ(o.RepositoryFilename, u"/data/tm/projekt.tmx");
  EXPECT_TRUE(o.RepositorySearchWholeWords);
  EXPECT_EQ(o.QEMHistoryManager.GetHistory(u"hlRepositoryFilename"),
            std::vector<std::u16string>{u"/data/tm/projekt.tmx"});
}

TEST_F(OptionProps, EmptyOrMissingRepositoryFilenameRevertsToTheBinaryDirectorysDefault) {
  PutStr(SetKey(u"RepositoryPropSet"), u"Filename", u"");
  TQEMINTOptionProps o(2);
  EXPECT_EQ(o.RepositoryFilename, QEMBinDir() + u"default.tmx");
  o.RepositoryFilename.clear();
  o.LoadOptions();
  EXPECT_EQ(o.RepositoryFilename, QEMBinDir() + u"default.tmx");
}

TEST_F(OptionProps, GridSizesStayWithinTwoTo128) {
  TQEMINTOptionProps o(2);
  o.GridSizeX = 1;
  EXPECT_EQ(int(o.GridSizeX), 2);
  o.GridSizeX = 129;
  EXPECT_EQ(int(o.GridSizeX), 128);
  o.GridSizeY = 64;
  EXPECT_EQ(int(o.GridSizeY), 64);

  for (int32_t stored : {1, 129, 0, -5}) {
    PutInt(SetKey(u"FormDesignerPropSet"), u"Grid Size X", stored);
    o.LoadOptions();
    EXPECT_EQ(int(o.GridSizeX), 8) << stored;
  }
  for (int32_t stored : {2, 128}) {
    PutInt(SetKey(u"FormDesignerPropSet"), u"Grid Size X", stored);
    o.LoadOptions();
    EXPECT_EQ(int(o.GridSizeX), stored);
  }
}

TEST_F(OptionProps, StoredValuesOutOfRangeOrMistypedLoadAsTheDefault) {
  PutInt(SetKey(u"CommonPropSet"), u"Automatically Query Repository", 2); // default true
  PutInt(SetKey(u"CommonPropSet"), u"Automatically Save Files", -1);      // default false
  PutStr(SetKey(u"CommonPropSet"), u"Automatically Quote Strings", u"0"); // a number as text counts
  PutBinary(SetKey(u"CommonPropSet"), u"HideEmptyItems");
  PutInt(SetKey(u"AddToRepositoryPropSet"), u"DuplicateAction", 5);
  PutInt(SetKey(u"AddToRepositoryPropSet"), u"Value", -1);
  PutInt(SetKey(u"GetFromRepositoryPropSet"), u"MultipleFindAction", 3);
  PutInt(SetKey(u"ChangeStatusPropSet"), u"NewStatus", 6);
  PutInt(SetKey(u"GetFromRepositoryPropSet"), u"NewStatus", 200);
  PutInt(SetKey(u"HLXPropSet"), u"EditorFilename", 7);
  PutStr(SetKey(u"HLXPropSet"), u"Width", u"wide");

  TQEMINTOptionProps o(2);
  EXPECT_TRUE(o.AutomaticallyQueryRepository);
  EXPECT_FALSE(o.AutomaticSaveFiles);
  EXPECT_FALSE(o.AutomaticQuoteStrings);
  EXPECT_FALSE(o.HideEmptyItems);
  EXPECT_EQ(o.AddToRepositoryDuplicateAction, daDisplayList);
  EXPECT_EQ(o.AddToRepositoryValue, avDontCare);
  EXPECT_EQ(o.GetFromRepositoryMultipleFindAction, mfaUseFirst);
  EXPECT_EQ(o.ChangeStatusNewStatus, rsUnTranslated);
  EXPECT_EQ(o.GetFromRepositoryNewStatus, rsTranslated);
  EXPECT_EQ(o.EditorFilename, u"notepad.exe");
  EXPECT_EQ(o.HLXWidth, 0);
}

TEST_F(OptionProps, NewStatusIsAPositionInTheNewStatusListNotAStatusOrdinal) {
  PutInt(SetKey(u"ChangeStatusPropSet"), u"NewStatus", 3);
  PutInt(SetKey(u"GetFromRepositoryPropSet"), u"NewStatus", 5);
  TQEMINTOptionProps o(2);
  EXPECT_EQ(o.ChangeStatusNewStatus, rsNewlyTranslated); // ordinal 4, not rsUnused (3)
  EXPECT_EQ(o.GetFromRepositoryNewStatus, rsDoNotTranslate);

  o.ChangeStatusNewStatus = rsHold;
  o.GetFromRepositoryNewStatus = rsUnused; // not on the list: the default is stored instead
  o.SaveOptions();
  EXPECT_EQ(GetInt(SetKey(u"ChangeStatusPropSet"), u"NewStatus"), 4);
  EXPECT_EQ(GetInt(SetKey(u"GetFromRepositoryPropSet"), u"NewStatus"), 1);

  for (int i = 0; i < int(QEMNewStatusList.size()); ++i)
    EXPECT_EQ(QEMNewStatusIndex(QEMNewStatusAt(i)), i);
  EXPECT_EQ(QEMNewStatusIndex(rsUnused), -1);
  EXPECT_EQ(QEMNewStatusIndex(rsEgged), -1);
  EXPECT_EQ(QEMNewStatusAt(6, rsHold), rsHold);
}

TEST_F(OptionProps, ModifiedFlagAndTranslatedStatusFollowLoadAndSave) {
  TQEMINTOptionProps o(2);
  o.OptionChange();
  EXPECT_TRUE(o.GetIsModified());
  o.LoadOptions();
  EXPECT_FALSE(o.GetIsModified());

  o.UseNewlyTranslated = true;
  o.OptionChange();
  o.SaveOptions();
  EXPECT_FALSE(o.GetIsModified());
  EXPECT_EQ(TranslatedStatus, rsNewlyTranslated);
  o.UseNewlyTranslated = false;
  o.SaveOptions();
  EXPECT_EQ(TranslatedStatus, rsTranslated);
}

TEST_F(OptionProps, TranslatorModeAndNormalModeKeepTheirOwnOptions) {
  TArgsGuard args;
  QEMSetProgramArgs({u"hlx", u"-T"});
  {
    TQEMINTOptionProps o(2);
    EXPECT_EQ(o.BaseKey(), kTranslatorBase);
    o.EditorFilename = u"translator-editor";
    o.GridSizeX = 16;
    o.SaveOptions();
  }
  QEMSetProgramArgs({u"hlx"});
  {
    TQEMINTOptionProps o(2);
    EXPECT_EQ(o.BaseKey(), kNormalBase);
    EXPECT_EQ(o.EditorFilename, u"notepad.exe");
    EXPECT_EQ(int(o.GridSizeX), 8);
    o.EditorFilename = u"normal-editor";
    o.SaveOptions();
  }
  QEMSetProgramArgs({u"hlx", u"-t"});
  TQEMINTOptionProps o(2);
  EXPECT_EQ(o.EditorFilename, u"translator-editor");
  EXPECT_EQ(int(o.GridSizeX), 16);
}

TEST_F(OptionProps, UnitStartupCreatesTheProcessObjectWithTheStandAloneMask) {
  const bool had = QEMINTOptionProps != nullptr;
  QEMINTOptionPropFinalize();
  EXPECT_EQ(QEMINTOptionProps, nullptr);
  PutInt(SetKey(u"QEMPropSet"), u"Automatically Compile Projects", 1);
  QEMINTOptionPropInitialize();
  ASSERT_NE(QEMINTOptionProps, nullptr);
  EXPECT_EQ(QEMINTOptionMask, 2);
  EXPECT_EQ(QEMINTOptionProps->Mask(), 2);
  EXPECT_FALSE(QEMINTOptionProps->AutomaticallyCompileProjects);
  if (!had) QEMINTOptionPropFinalize();
}

// ---------------------------------------------------------------------------------------------

namespace {
class OptionHistory : public OptionProps {};
} // namespace

TEST_F(OptionHistory, MostRecentFirstWithoutDuplicatesAndBounded) {
  TQEMHistoryManager h;
  h.SetMaxCount(3);
  h.AddHistory(u"hlFind", u"alpha");
  h.AddHistory(u"hlFind", u"beta");
  h.AddHistory(u"hlFind", u"alpha");
  EXPECT_EQ(h.GetHistory(u"hlFind"), (std::vector<std::u16string>{u"alpha", u"beta"}));
  h.AddHistory(u"hlFind", u"gamma");
  h.AddHistory(u"HLFIND", u"delta"); // list names ignore case, like the keys they become
  h.AddHistory(u"hlFind", u"");
  EXPECT_EQ(h.GetHistory(u"hlFind"), (std::vector<std::u16string>{u"delta", u"gamma", u"alpha"}));
  h.AddHistory(u"hlFind",
               u"Delta"); // entries keep their case: a search for "Delta" is another search
  EXPECT_EQ(h.GetHistory(u"hlFind").front(), u"Delta");
  EXPECT_TRUE(h.GetHistory(u"hlOther").empty());
  EXPECT_THROW(h.AddHistory(u"a\\b", u"x"), EQEMError);
}

TEST_F(OptionHistory, SavedBelowHistoryListsAndReadBackBounded) {
  const std::u16string key = kNormalBase + u"\\History Lists";
  {
    TQEMINTOptionProps o(2);
    o.QEMHistoryManager.AddHistory(u"hlRepositoryFilename", u"/b.tmx");
    o.QEMHistoryManager.AddHistory(u"hlRepositoryFilename", u"/a.tmx");
    o.QEMHistoryManager.AddHistory(u"hlFind", u"x");
    o.SaveOptions();
  }
  EXPECT_EQ(GetStr(key + u"\\hlRepositoryFilename", u"0"), u"/a.tmx");
  EXPECT_EQ(GetStr(key + u"\\hlRepositoryFilename", u"1"), u"/b.tmx");

  // Hand-edited: duplicates, a number and more entries than the bound.
  for (int i = 0; i < 15; ++i)
    PutStr(key + u"\\hlFind", IntToStr(i), u"t" + IntToStr(i % 12));
  PutInt(key + u"\\hlFind", u"3", 42);
  {
    TQEMINTOptionProps o(2);
    const auto l = o.QEMHistoryManager.GetHistory(u"hlFind");
    ASSERT_EQ(l.size(), 9u); // ten read, the number dropped
    EXPECT_EQ(l[2], u"t2");
    EXPECT_EQ(l[3], u"t4");
    // A cleared list leaves nothing behind in the hive.
    o.QEMHistoryManager.ClearHistory(u"hlFind");
    o.SaveOptions();
  }
  EXPECT_FALSE(HasValue(key + u"\\hlFind", u"0"));
  EXPECT_EQ(GetStr(key + u"\\hlRepositoryFilename", u"0"), u"/a.tmx");
}
