#include "settings/QEMINTOptionProp.h"

#include <gtest/gtest.h>

#include <sstream>

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

// Per set, the options with the value each default is stored as: "Name=Value;...".
const std::pair<const char*, const char*> kStoredDefaults[] = {
    {"HLXPropSet", "Height=0;Left=0;Top=0;Width=0"},
    {"CommonPropSet", "Automatically Query Repository=1;Automatically Quote Strings=1;"
                      "Automatically Save Files=0;UseNewlyTranslated=0;HideEmptyItems=0"},
    {"FormDesignerPropSet", "Display Grid=1;Snap to Grid=1;Grid Size X=8;Grid Size Y=8"},
    {"AddToRepositoryPropSet",
     "Translated=1;Untranslated=1;NewlyTranslated=1;Hold=0;DoNotTranslate=0;Unused=0;"
     "DuplicateAction=4;IncludeContext=0;Value=2;Comment=0;CommentAction=1"},
    {"ChangeStatusPropSet",
     "Untranslated=1;Translated=1;AutoTranslated=1;NewlyTranslated=1;Hold=1;DoNotTranslate=0;"
     "NewStatus=0;RevertToOriginal=0;UseRepository=0;UseContext=0;Comment=0;CommentAction=1"},
    {"GetFromRepositoryPropSet",
     "Untranslated=1;Translated=0;AutoTranslated=0;NewlyTranslated=0;Hold=0;DoNotTranslate=0;"
     "NewStatus=1;UseContext=0;MultipleFindAction=1;Comment=0;CommentAction=1"},
    {"PascalPropSet", "GenerateXlat=0"},
    {"RepositoryPropSet",
     "Left=0;Top=0;Width=0;Height=0;TextLabels=1;LanguagesToolBarExpanded=1;FormattedXML=0"},
    {"RepositorySearchPropSet", "Case Sensitive=0;Search Forward=1;Whole Words=0"},
    {"QualityWarningsPropSet", "Whitespace=1;EndPunctuation=1;Numbers=1;DoubledSpaces=1;"
                               "SameAsOriginal=1;Accelerator=1;FuzzyThreshold=70"},
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
  size_t stored = 0;
  for (const auto& [set, values] : kStoredDefaults) {
    std::stringstream list(values);
    for (std::string item; std::getline(list, item, ';'); ++stored) {
      const size_t eq = item.find('=');
      EXPECT_EQ(GetInt(SetKey(UTF8ToUTF16(set)), UTF8ToUTF16(item.substr(0, eq))),
                std::stoi(item.substr(eq + 1)))
          << set << "\\" << item;
    }
  }
  EXPECT_EQ(GetStr(SetKey(u"HLXPropSet"), u"EditorFilename"), u"notepad.exe");
  EXPECT_EQ(GetStr(SetKey(u"RepositoryPropSet"), u"Filename"), QEMBinDir() + u"default.tmx");

  // Nothing beyond the table is written, so the table above covers every stored value.
  size_t count = 0;
  for (auto* set : o.PropertySets())
    if (set->Matches(2)) count += size_t(set->Count());
  EXPECT_EQ(count, stored + 2);
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
    o.AddToRepositoryDuplicateAction = daForceAdd;
    o.RepositoryFilename = u"/data/tm/projekt.tmx";
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
  EXPECT_EQ(o.AddToRepositoryDuplicateAction, daForceAdd);
  EXPECT_EQ(o.RepositoryFilename, u"/data/tm/projekt.tmx");
  EXPECT_EQ(o.QEMHistoryManager.GetHistory(u"hlRepositoryFilename"),
            std::vector<std::u16string>{u"/data/tm/projekt.tmx"});
}

// Sets never saved are not looked for; a reload must still see a set stored meanwhile, in any
// case of its key name, and give the defaults back for one that went away.
TEST_F(OptionProps, ReloadSeesSetsStoredOrRemovedSinceTheLastLoad) {
  TQEMINTOptionProps o(2);
  EXPECT_FALSE(o.AutomaticSaveFiles);
  PutInt(kNormalBase + u"\\commonpropset", u"Automatically Save Files", 1);
  PutInt(SetKey(u"FormDesignerPropSet"), u"Grid Size X", 16);
  PutStr(kNormalBase + u"\\History Lists\\hlFind", u"0", u"seen");
  o.LoadOptions();
  EXPECT_TRUE(o.AutomaticSaveFiles);
  EXPECT_EQ(int(o.GridSizeX), 16);
  EXPECT_EQ(o.QEMHistoryManager.GetHistory(u"hlFind"), std::vector<std::u16string>{u"seen"});

  WipeSettings();
  o.LoadOptions();
  EXPECT_FALSE(o.AutomaticSaveFiles);
  EXPECT_EQ(int(o.GridSizeX), 8);
  EXPECT_TRUE(o.QEMHistoryManager.ListNames().empty());
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

  // Stored sizes out of range load as the default.
  for (int32_t stored : {1, 129, 0, -5, 2, 128}) {
    PutInt(SetKey(u"FormDesignerPropSet"), u"Grid Size X", stored);
    o.LoadOptions();
    EXPECT_EQ(int(o.GridSizeX), stored == 2 || stored == 128 ? stored : 8) << stored;
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
    o.SaveOptions();
  }
  QEMSetProgramArgs({u"hlx"});
  {
    TQEMINTOptionProps o(2);
    EXPECT_EQ(o.BaseKey(), kNormalBase);
    EXPECT_EQ(o.EditorFilename, u"notepad.exe");
    o.EditorFilename = u"normal-editor";
    o.SaveOptions();
  }
  QEMSetProgramArgs({u"hlx", u"-t"});
  TQEMINTOptionProps o(2);
  EXPECT_EQ(o.EditorFilename, u"translator-editor");
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

using OptionHistory = OptionProps;

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
