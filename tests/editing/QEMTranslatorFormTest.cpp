#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "HLXLines.h"
#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "core/QEMUtilsRegistry.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMFiles.h"
#include "platform/QEMUIServices.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

namespace {

using namespace hlxtest;
using TKind = TQEMScriptedUIServices::TKind;

// The line-format manager, with every odd item a non-string item and a save that can be made
// to fail.
class TTestMgr : public TLinesMgr {
public:
  using TLinesMgr::TLinesMgr;
  bool IsStringType(int Index) override { return Index % 2 == 0; }
  void Save(bool CreateXlat, LCID O, LCID X, bool Ignore) override {
    if (FailSave) throw EQEMError(u"The disk is full");
    TLinesMgr::Save(CreateXlat, O, X, Ignore);
  }
  static inline bool FailSave = false;
};

class TTestMgrClass : public TLinesMgrClass {
public:
  std::unique_ptr<TQEMTranslatorMgr> Create(const std::u16string& AFileName,
                                            bool PerformCheck) const override {
    return std::make_unique<TTestMgr>(*this, AFileName, PerformCheck);
  }
};
const TTestMgrClass gMgrClass;

struct TItemDef {
  std::u16string Orig;
  std::u16string Xlat;
  TResStatus Status = rsUnTranslated;
};

class TranslatorFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    Old = QEMSetUIServices(Ui);
    ForgetRevertAnswer();
    TranslatedStatus = rsTranslated;
    QEMINTOptionProps->AutomaticSaveFiles = false;
    TTestMgr::FailSave = false;
  }
  void TearDown() override {
    Form.reset();
    QEMSetUIServices(Old);
    ForgetRevertAnswer();
    TranslatedStatus = rsTranslated;
    QEMINTOptionProps->AutomaticSaveFiles = false;
    TTestMgr::FailSave = false;
  }
  static void ForgetRevertAnswer() {
    TQEMRegistry reg;
    if (reg.OpenKey(QEMBaseRegKey(), true)) {
      reg.DeleteValue(u"RevertToOrig");
      reg.DeleteValue(u"RevertToOrig_DontAskAgain");
    }
    reg.Flush();
    QEMTranslatorFormLoadSettings();
  }

  // A translated file of the line format and its notes, items k0, k1, ...
  std::u16string MakeFile(const std::string& Name, const std::vector<TItemDef>& Items,
                          LCID Orig = 0x409, LCID Xlat = 0x407) {
    std::string body;
    for (size_t i = 0; i < Items.size(); ++i)
      body += "k" + std::to_string(i) + " = \"" + UTF16ToUTF8(Items[i].Xlat) + "\"\n";
    qemtest::WriteTextFile(Dir.Path() / Name, body);
    const std::u16string file = Dir.U16(Name);
    auto mgr = LinesMgrClass().Create(file, false);
    mgr->Stats()->SetOrigLCID(Orig);
    mgr->Stats()->SetXlatLCID(Xlat);
    for (size_t i = 0; i < Items.size(); ++i) {
      auto item = mgr->NotesFile()->CreateNotesItem();
      item->SetID(u"k" + UTF8ToUTF16(std::to_string(i)));
      item->SetOrigText(Items[i].Orig);
      item->SetXlatText(Items[i].Xlat);
      item->SetStatus(Items[i].Status);
      mgr->Items()->Add(item);
    }
    mgr->Save(false, 0, 0, false);
    return file;
  }
  TQEMTranslatorFormModel& Open(const std::u16string& File,
                                TQEMTranslatorFormSettings Settings = {}) {
    Form = std::make_unique<TQEMTranslatorFormModel>(gMgrClass, Settings);
    Form->LoadFromFile(File, idColCurr, 0);
    return *Form;
  }
  IQEMNotesItemPtr Item(int Index) const { return Form->Mgr()->Items()->Get(Index); }
  // The item as stored in the notes file on disk.
  IQEMNotesItemPtr Stored(const std::u16string& File, int Index) const {
    Notes = std::make_shared<TLinesNotesFile>();
    Notes->Open(File + u".xlf");
    return Notes->GetItems()->Get(Index);
  }

  qemtest::TTempDir Dir;
  std::shared_ptr<TQEMScriptedUIServices> Ui = std::make_shared<TQEMScriptedUIServices>();
  std::shared_ptr<IQEMUIServices> Old;
  std::unique_ptr<TQEMTranslatorFormModel> Form;
  mutable std::shared_ptr<TLinesNotesFile> Notes;
};

TEST_F(TranslatorFormTest, ColumnsAndCaptions) {
  auto& f = Open(MakeFile("a.lines", {{u"Hello", u"Hallo"}}));
  const std::u16string en = LCIDToLangName(0x409), de = LCIDToLangName(0x407);
  ASSERT_NE(en, de);
  EXPECT_EQ(f.ColumnCaption(idColOrig), en);
  EXPECT_EQ(f.ColumnCaption(idColCurr), de);
  EXPECT_EQ(f.ColumnCaption(idColPrevOrig), u"Previous " + en);
  EXPECT_EQ(f.ColumnCaption(idColPrevCurr), u"Previous " + de);
  EXPECT_EQ(f.ColumnCaption(idColStatus), u"&Status");
  EXPECT_EQ(f.ColumnCaption(idColComment), u"&Comment");

  // Hidden columns leave the grid; moving works on the columns shown.
  EXPECT_EQ(f.ColumnCount(), 10);
  f.SetColumnVisible(idColId, false);
  EXPECT_EQ(f.EnumToCol(idColId), -1);
  EXPECT_EQ(f.ColToEnum(1), idColOrig);
  f.MoveColumn(3, 1); // the translation before the original
  EXPECT_EQ(f.ColToEnum(1), idColCurr);
  EXPECT_EQ(f.ColToEnum(2), idColOrig);
  EXPECT_EQ(f.ColIds()[1], idColId); // the hidden column kept its place
  f.ToggleColumns();
  EXPECT_EQ(f.ColumnCount(), 1);
  EXPECT_EQ(f.ColToEnum(0), idColId);
  f.ShowNoColumns();
  EXPECT_EQ(f.ColToEnum(0), -1);
  f.ShowAllColumns();
  EXPECT_EQ(f.ColumnCount(), 10);
  EXPECT_FALSE(f.SetColIds({idColId, idColId, idColOrig, idColStatus, idColCurr, idColCreated,
                            idColModified, idColPrevOrig, idColPrevCurr, idColComment}));

  // The same language on both sides: the captions tell them apart.
  auto& same = Open(MakeFile("b.lines", {{u"Hello", u"Hello"}}, 0x407, 0x407));
  EXPECT_EQ(same.ColumnCaption(idColOrig), de + u" (original)");
  EXPECT_EQ(same.ColumnCaption(idColCurr), de + u" (translated)");
  EXPECT_EQ(same.ColumnCaption(idColPrevOrig), u"Previous " + de + u" (original)");
  EXPECT_EQ(same.ColumnCaption(idColPrevCurr), u"Previous " + de + u" (translated)");
}

TEST_F(TranslatorFormTest, StatusDropDownFollowsTheTable) {
  std::vector<TItemDef> items;
  for (int s = 0; s < QEMStatusCount; ++s)
    items.push_back({u"o", u"x", TResStatus(s)});
  auto& f = Open(MakeFile("a.lines", items));
  const std::vector<std::vector<std::u16string>> expected = {
      {u"Untranslated", u"Translated", u"Don't Translate", u"Hold"},
      {u"Untranslated", u"Translated", u"Don't Translate", u"Hold"},
      {u"Untranslated", u"Translated", u"Don't Translate", u"Hold", u"Auto Translated"},
      {},
      {u"Untranslated", u"Translated", u"Newly Translated"},
      {u"Untranslated", u"Translated", u"Don't Translate", u"Hold"},
      {u"Untranslated", u"Don't Translate", u"Hold"},
      {}};
  for (int row = 0; row < QEMStatusCount; ++row) {
    EXPECT_EQ(f.StatusLookupValues(row), expected[size_t(row)]) << row;
    EXPECT_EQ(f.StatusHasLookupValues(row), !expected[size_t(row)].empty()) << row;
  }
  // Unused and Egged cannot be changed in the grid, not even by typing a name.
  EXPECT_FALSE(f.AcceptEdit(rsUnused, idColStatus, u"Translated"));
  EXPECT_EQ(Item(rsUnused)->GetStatus(), rsUnused);
  EXPECT_FALSE(f.AcceptEdit(0, idColStatus, u"Finished"));
  EXPECT_EQ(Ui->Shown().back().Text, u"'Finished' is not an item status");

  Item(2)->SetStatus(TResStatus(9));
  try {
    f.StatusHasLookupValues(2);
    FAIL() << "an unreadable status must raise";
  } catch (const EQEMError& E) {
    EXPECT_EQ(E.Message(), u"TQEMTranslatorForm.StatusHasLookupValues: StatusToEnum(3)");
  }
}

TEST_F(TranslatorFormTest, EditingTheTranslationSetsTheStatus) {
  auto& f = Open(MakeFile("a.lines", {{u"Open", u"Open"},
                                      {u"Close", u"Close"},
                                      {u"Save", u"Save"},
                                      {u"Quit", u"Beenden", rsTranslated},
                                      {u"Exit", u"Exit", rsHold}}));
  const TDateTime before = QEMNow();
  EXPECT_TRUE(f.AcceptEdit(0, idColCurr, u"Öffnen"));
  EXPECT_EQ(Item(0)->GetXlatText(), u"Öffnen");
  EXPECT_EQ(Item(0)->GetStatus(), rsTranslated);
  EXPECT_GE(Item(0)->GetModified(), before - 1.0 / 86400);
  EXPECT_EQ(f.CellText(0, idColStatus), u"Translated");

  // The original again, in any case, is no translation.
  EXPECT_TRUE(f.AcceptEdit(1, idColCurr, u"CLOSE"));
  EXPECT_EQ(Item(1)->GetXlatText(), u"CLOSE");
  EXPECT_EQ(Item(1)->GetStatus(), rsUnTranslated);

  QEMINTOptionProps->UseNewlyTranslated = true;
  QEMINTOptionProps->SaveOptions();
  EXPECT_TRUE(f.AcceptEdit(2, idColCurr, u"Speichern"));
  EXPECT_EQ(Item(2)->GetStatus(), rsNewlyTranslated);
  EXPECT_TRUE(f.AcceptEdit(3, idColCurr, u"Ende"));
  EXPECT_EQ(Item(3)->GetStatus(), rsTranslated); // translated already
  EXPECT_TRUE(f.AcceptEdit(4, idColCurr, u"Verlassen"));
  EXPECT_EQ(Item(4)->GetStatus(), rsNewlyTranslated);
  QEMINTOptionProps->UseNewlyTranslated = false;
  QEMINTOptionProps->SaveOptions();
  EXPECT_EQ(f.TranslatedCount(), 4);
  EXPECT_EQ(f.UntranslatedCount(), 1);
  EXPECT_TRUE(Ui->Shown().empty());
}

TEST_F(TranslatorFormTest, RevertQuestion) {
  auto& f = Open(MakeFile("a.lines", {{u"One", u"Eins", rsTranslated},
                                      {u"Two", u"Zwei", rsTranslated},
                                      {u"Same", u"same", rsTranslated},
                                      {u"Four", u"Vier", rsAutoTranslated},
                                      {u"Five", u"Fünf", rsNewlyTranslated}}));
  // A translation equal to the original has nothing to revert.
  EXPECT_TRUE(f.ChooseStatus(2, rsHold));
  EXPECT_EQ(Item(2)->GetStatus(), rsHold);
  EXPECT_TRUE(Ui->Shown().empty());

  Ui->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_TRUE(f.ChooseStatus(0, rsUnTranslated));
  ASSERT_EQ(Ui->Shown().size(), 1u);
  EXPECT_EQ(Ui->Shown()[0].Text,
            u"Do you want the current translation to revert to its original value?");
  EXPECT_EQ(Item(0)->GetXlatText(), u"One");
  EXPECT_EQ(Item(0)->GetStatus(), rsUnTranslated);

  Ui->QueueAnswer(TQEMAnswer::anCancel);
  EXPECT_FALSE(f.AcceptEdit(1, idColStatus, u"Don't Translate"));
  EXPECT_EQ(Item(1)->GetStatus(), rsTranslated);
  EXPECT_EQ(Item(1)->GetXlatText(), u"Zwei");

  // No, and do not ask again: stored at once, and every later change is refused unasked.
  Ui->Queue({TQEMAnswer::anNo, true, {}});
  EXPECT_FALSE(f.ChooseStatus(1, rsHold));
  {
    TQEMRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(QEMBaseRegKey()));
    EXPECT_TRUE(reg.ReadBool(u"RevertToOrig_DontAskAgain"));
    EXPECT_NE(reg.ReadInteger(u"RevertToOrig"), 0);
  }
  QEMTranslatorFormLoadSettings(); // as at the next start
  const size_t asked = Ui->Shown().size();
  EXPECT_FALSE(f.ChooseStatus(3, rsUnTranslated));
  EXPECT_FALSE(f.ChooseStatus(4, rsUnTranslated));
  EXPECT_EQ(Ui->Shown().size(), asked);
  EXPECT_EQ(Item(3)->GetStatus(), rsAutoTranslated);
  EXPECT_EQ(Item(4)->GetStatus(), rsNewlyTranslated);
  EXPECT_TRUE(f.ChooseStatus(4, rsTranslated)); // not a revert: no question at all
}

TEST_F(TranslatorFormTest, DirtyTracking) {
  const std::u16string file = MakeFile("a.lines", {{u"One", u"One"}, {u"Two", u"Two"}});
  auto& f = Open(file);
  const TDateTime modified = Item(0)->GetModified();
  EXPECT_FALSE(f.IsDirty());
  EXPECT_FALSE(f.CanSave());

  f.AcceptEdit(0, idColCurr, u"Eins");
  EXPECT_TRUE(f.IsDirty());
  EXPECT_TRUE(f.CanSave());
  f.AcceptEdit(0, idColCurr, u"One");
  f.AcceptEdit(0, idColStatus, u"Untranslated");
  EXPECT_FALSE(f.IsDirty()); // typed back: clean, and as old as before
  EXPECT_EQ(Item(0)->GetModified(), modified);

  // A modification time set by hand is an edit of its own.
  f.AcceptEdit(1, idColModified, u"2001-02-03 04:05:06");
  EXPECT_EQ(f.CellText(1, idColModified), u"2001-02-03 04:05:06");
  f.AcceptEdit(1, idColComment, u"note");
  f.AcceptEdit(1, idColComment, u"");
  EXPECT_EQ(f.DirtyItems(), std::vector<int>{1});

  f.EditReset();
  EXPECT_FALSE(f.IsDirty());
  EXPECT_EQ(Item(1)->GetModified(), Stored(file, 1)->GetModified());

  f.AcceptEdit(1, idColCurr, u"Zwei");
  ASSERT_TRUE(f.FileSave());
  EXPECT_FALSE(f.IsDirty());
  EXPECT_EQ(Stored(file, 1)->GetXlatText(), u"Zwei");
  EXPECT_EQ(Stored(file, 1)->GetStatus(), rsTranslated);
  f.AcceptEdit(1, idColCurr, u"Two");
  EXPECT_TRUE(f.IsDirty()); // the snapshot moved with the save
}

TEST_F(TranslatorFormTest, CanQuitAsksAndReportsCounts) {
  const std::u16string file = MakeFile("a.lines", {{u"One", u"One"}, {u"Two", u"Two"}});
  auto& f = Open(file);
  std::vector<std::vector<int32_t>> reports;
  f.OnCountsChanged = [&](const std::u16string& Name, int32_t OT, int32_t OU, int32_t NT,
                          int32_t NU) {
    EXPECT_EQ(Name, file);
    reports.push_back({OT, OU, NT, NU});
  };
  EXPECT_TRUE(f.CanQuit(false)); // clean: nothing asked
  EXPECT_TRUE(Ui->Shown().empty());

  f.AcceptEdit(0, idColCurr, u"Eins");
  Ui->QueueAnswer(TQEMAnswer::anCancel);
  EXPECT_FALSE(f.CanQuit(false));
  EXPECT_EQ(Ui->Shown().back().Text, u"Translation has changed. Save?");
  EXPECT_TRUE(f.IsDirty());

  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_TRUE(f.CanQuit(false));
  // Discarded for good: the manager batch operations find holds the file's text again.
  EXPECT_FALSE(f.IsDirty());
  EXPECT_EQ(FindMgr(file), f.Mgr());
  EXPECT_EQ(Item(0)->GetXlatText(), u"One");
  EXPECT_TRUE(reports.empty());

  f.AcceptEdit(0, idColCurr, u"Eins");
  Ui->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_TRUE(f.CanQuit(false));
  EXPECT_EQ(Stored(file, 0)->GetXlatText(), u"Eins");
  EXPECT_EQ(reports, (std::vector<std::vector<int32_t>>{{0, 2, 1, 1}}));

  QEMINTOptionProps->AutomaticSaveFiles = true;
  const size_t asked = Ui->Shown().size();
  f.AcceptEdit(1, idColCurr, u"Zwei");
  EXPECT_TRUE(f.CanQuit(true));
  EXPECT_EQ(Ui->Shown().size(), asked);
  EXPECT_EQ(Stored(file, 1)->GetXlatText(), u"Zwei");

  QEMINTOptionProps->AutomaticSaveFiles = false;
  f.AcceptEdit(1, idColCurr, u"Zwo");
  f.SetForceQuit(true);
  EXPECT_TRUE(f.CanQuit(false));
  EXPECT_EQ(Ui->Shown().size(), asked);
}

TEST_F(TranslatorFormTest, FailedSaveKeepsTheEdits) {
  const std::u16string file = MakeFile("a.lines", {{u"One", u"One"}});
  auto& f = Open(file);
  f.AcceptEdit(0, idColCurr, u"Eins");
  TTestMgr::FailSave = true;
  Ui->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_FALSE(f.CanQuit(false));
  ASSERT_EQ(Ui->Shown().back().Kind, TKind::skError);
  EXPECT_EQ(Ui->Shown().back().Text, u"The disk is full");
  EXPECT_TRUE(f.IsDirty());
  EXPECT_EQ(Item(0)->GetXlatText(), u"Eins");
  QEMINTOptionProps->AutomaticSaveFiles = true;
  EXPECT_FALSE(f.CanQuit(false));
  // Nor may loading another file drop them.
  f.LoadFromFile(MakeFile("b.lines", {{u"B", u"B"}}), idColCurr, 0);
  EXPECT_EQ(f.FileName(), file);
  TTestMgr::FailSave = false;
  EXPECT_TRUE(f.CanQuit(false));
  EXPECT_EQ(Stored(file, 0)->GetXlatText(), u"Eins");
}

TEST_F(TranslatorFormTest, FindNextWrapsOnce) {
  auto& f = Open(MakeFile(
      "a.lines",
      {{u"A", u"A", rsTranslated}, {u"B", u"B"}, {u"C", u"C", rsTranslated}, {u"D", u"D"}}));
  EXPECT_TRUE(f.FindNext());
  EXPECT_EQ(f.CurrentRow(), 1);
  EXPECT_TRUE(f.FindNext());
  EXPECT_EQ(f.CurrentRow(), 3);
  Ui->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_TRUE(f.FindNext());
  EXPECT_EQ(f.CurrentRow(), 1);
  EXPECT_EQ(Ui->Shown().back().Text, u"No untranslated item found.\r\nStart from the beginning?");

  auto& done = Open(MakeFile("b.lines", {{u"A", u"A", rsTranslated}, {u"B", u"B", rsHold}}));
  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_FALSE(done.FindNext());
  const size_t shown = Ui->Shown().size();
  Ui->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_FALSE(done.FindNext());
  ASSERT_EQ(Ui->Shown().size(), shown + 2);
  EXPECT_EQ(Ui->Shown()[shown].Kind, TKind::skYesNo);
  EXPECT_EQ(Ui->Shown()[shown + 1].Kind, TKind::skMessage);
  EXPECT_EQ(Ui->Shown()[shown + 1].Text, u"There are no more untranslated items.");
}

TEST_F(TranslatorFormTest, FiltersAndCounts) {
  auto& f = Open(MakeFile("a.lines", {{u"A", u"A"},
                                      {u"B", u"b", rsTranslated},
                                      {u"C", u"C", rsHold},
                                      {u"D", u"d", rsDoNotTranslate},
                                      {u"E", u"E", rsUnused},
                                      {u"F", u"F"}}));
  EXPECT_EQ(f.TranslatedCount(), 2);
  EXPECT_EQ(f.UntranslatedCount(), 3);
  EXPECT_EQ(f.StatusPanel(spTranslated), u"Translated: 2");
  EXPECT_EQ(f.StatusPanel(spUntranslated), u"Untranslated: 3");

  f.SetFilter(fiShowTranslated, false);
  EXPECT_EQ(f.Rows(), (std::vector<int>{0, 2, 3, 4, 5}));
  EXPECT_EQ(f.RowOfItemIndex(1), -1);
  EXPECT_EQ(f.DisplayLineOfItem(3), 3);
  // A row translated meanwhile stays until its own filter is toggled.
  f.AcceptEdit(0, idColCurr, u"x");
  f.SetFilter(fiShowHold, false);
  EXPECT_EQ(f.Rows(), (std::vector<int>{0, 3, 4, 5}));
  f.SetFilter(fiShowTranslated, true);
  f.SetFilter(fiShowTranslated, false);
  EXPECT_EQ(f.Rows(), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(f.TranslatedCount(), 3);

  f.ShowNoFilters();
  EXPECT_EQ(f.RowCount(), 0);
  EXPECT_EQ(f.StatusPanel(spPosition), u"0/0");
  f.ToggleFilters();
  EXPECT_EQ(f.RowCount(), 6);
  f.SetShowOnlyStrings(true);
  EXPECT_EQ(f.Rows(), (std::vector<int>{0, 2, 4}));
  f.SetCurrentCell(2, idColId);
  EXPECT_EQ(f.StatusPanel(spPosition), u"3/3");
  EXPECT_EQ(f.StatusPanel(spItemId), u"k4");
}

TEST_F(TranslatorFormTest, RepositoryMenu) {
  QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  QEMRepositoryAddString(u"Hello", 0x409, u"Hallo", 0x407, u"");
  auto& f = Open(MakeFile("a.lines", {{u"Hello", u"Hello"},
                                      {u"Hello", u"Servus", rsTranslated},
                                      {u"World", u"World"},
                                      {u"Bye", u"Tschüss", rsTranslated}}));
  f.SelectAll();
  f.RepositoryGetStringsFromRep();
  EXPECT_EQ(Item(0)->GetXlatText(), u"Hallo");
  EXPECT_EQ(Item(0)->GetStatus(), rsTranslated);
  EXPECT_NEAR(Item(0)->GetModified(), QEMNow(), 1.0 / 1440);
  EXPECT_EQ(Item(1)->GetXlatText(), u"Servus"); // translated: left alone
  EXPECT_EQ(Item(2)->GetXlatText(), u"World");
  EXPECT_EQ(f.StatusMessage(), u"Pulled: 1, Skipped: 0");
  EXPECT_EQ(f.DirtyItems(), std::vector<int>{0});

  f.SetSelection({3});
  f.RepositoryAddStringsToRep();
  EXPECT_EQ(f.StatusMessage(), u"Added: 1, Replaced: 0, Skipped: 0; Existed: 0");
  TQEMWideStringList found;
  QEMRepositoryGetString(u"Bye", 0x409, found, 0x407, u"");
  ASSERT_EQ(found.GetCount(), 1);
  EXPECT_EQ(found.Get(0), u"Tschüss");
  QEMRepositorySave(); // while its folder exists
}

TEST_F(TranslatorFormTest, RefusedEntries) {
  auto& f = Open(MakeFile("a.lines", {{u"100", u"100"}, {u"'Hello'", u"'Hello'"}}),
                 {false, false, u'\''});
  EXPECT_FALSE(f.AcceptEdit(0, idColCurr, u"1e2"));
  EXPECT_EQ(Ui->Shown().back().Text, u"Numeric type mismatch: Integer expected but '1e2' found.");
  EXPECT_EQ(Item(0)->GetXlatText(), u"100");
  EXPECT_FALSE(f.IsDirty());

  QEMINTOptionProps->AutomaticQuoteStrings = true;
  EXPECT_TRUE(f.AcceptEdit(1, idColCurr, u"Hallo")); // repaired
  EXPECT_EQ(Item(1)->GetXlatText(), u"'Hallo'");

  EXPECT_FALSE(f.AcceptEdit(0, idColCreated, u"yesterday"));
  EXPECT_EQ(Ui->Shown().back().Text, u"'yesterday' is not a valid date and time");
  EXPECT_THROW(f.SetCellText(0, idColModified, u"2001-02-30"), EQEMError);
  EXPECT_TRUE(f.AcceptEdit(0, idColCreated, u"2001-02-03"));
  EXPECT_EQ(f.CellText(0, idColCreated), u"2001-02-03 00:00:00");
  EXPECT_EQ(f.DirtyItems(), (std::vector<int>{0, 1}));
}

TEST_F(TranslatorFormTest, LoadingAndActions) {
  const std::u16string file = MakeFile(
      "a.lines",
      {{u"One", u"Eins", rsTranslated}, {u"Two", u"Two"}, {u"Three", u"Three"}, {u"", u""}});
  Form = std::make_unique<TQEMTranslatorFormModel>(gMgrClass);
  auto& f = *Form;
  int cleared = 0;
  f.OnClearSearchResults = [&] { ++cleared; };
  f.LoadFromFile(Dir.U16("none.lines"), idColCurr, 0);
  EXPECT_EQ(f.StatusMessage(), u"File not found: " + Dir.U16("none.lines"));
  EXPECT_FALSE(f.GridVisible());
  EXPECT_EQ(f.Mgr(), nullptr);

  std::vector<std::u16string> messages;
  f.Events.StatusTextChanged = [&] { messages.push_back(f.StatusMessage()); };
  f.LoadFromFile(file, idColComment, 2);
  EXPECT_NE(std::find(messages.begin(), messages.end(), u"Loading: " + file), messages.end());
  EXPECT_EQ(f.StatusMessage(), u"");
  EXPECT_TRUE(f.GridVisible());
  EXPECT_EQ(cleared, 1);
  EXPECT_EQ(f.CurrentRow(), 2);
  EXPECT_EQ(f.CurrentCol(), idColComment);
  EXPECT_EQ(f.StatusPanel(spPosition), u"3/4");
  EXPECT_EQ(f.StatusPanel(spFileName), file);
  EXPECT_EQ(f.CellText(2, idColIndex), u"3");

  // The same unchanged file only moves, and keeps the edits.
  f.AcceptEdit(1, idColCurr, u"Zwei");
  f.LoadFromFile(file, idColCurr, 0);
  EXPECT_EQ(cleared, 1);
  EXPECT_EQ(f.CurrentRow(), 0);
  EXPECT_EQ(Item(1)->GetXlatText(), u"Zwei");
  EXPECT_TRUE(Ui->Shown().empty());

  // Previous values, copied over a selection.
  Item(2)->AddPrev(u"Three", u"Drei", u"update");
  f.SelectRange(1, 3);
  f.CopyPrevXlat();
  EXPECT_EQ(Item(2)->GetXlatText(), u"Drei");
  EXPECT_EQ(Item(2)->GetStatus(), rsTranslated);
  EXPECT_EQ(f.CellText(2, idColPrevCurr), u"Drei");
  f.CopyOrig(); // the empty original of the last row stays as it is
  EXPECT_EQ(Item(1)->GetXlatText(), u"Two");
  EXPECT_EQ(Item(1)->GetStatus(), rsUnTranslated);
  EXPECT_EQ(Item(3)->GetStatus(), rsUnTranslated);
  f.ChangeToXlat();
  EXPECT_EQ(Item(3)->GetStatus(), rsTranslated);
  f.ClearSelection();
  f.SetCurrentCell(1, idColCurr);
  f.CopyPrevLine();
  EXPECT_EQ(Item(1)->GetXlatText(), u"Eins");

  // Selected rows are painted as such; fonts follow the column's language.
  f.SetSelection({2});
  const TQEMColorScheme& scheme = *QEMColorSchemes->SelectedColorsScheme();
  EXPECT_EQ(f.CellStyle(2, idColCurr).Background, scheme.GetColor(iclSelectionBackground));
  EXPECT_EQ(f.CellStyle(0, idColCurr).Background, scheme.GetColor(iclEditBackgroundColor));
  EXPECT_EQ(f.CellStyle(0, idColIndex).Background, scheme.GetColor(iclNon_EditBackgroundColor));
  EXPECT_EQ(f.CellStyle(1, idColStatus).Background, scheme.GetColor(iclTranslatedItemColor));
  EXPECT_EQ(f.CellStyle(0, idColComment).Font, &QEMGridFonts->CommentFont());
  EXPECT_EQ(f.CellStyle(0, idColOrig).Font, QEMGridFonts->GetFont(0x409));
}

} // namespace

// Find searches what the window shows: filtered rows are skipped, lines use its captions.
TEST_F(TranslatorFormTest, FindOverTheShownRows) {
  auto& f = Open(MakeFile(
      "a.lines",
      {{u"Open file", u"Datei"}, {u"Close file", u"x", rsTranslated}, {u"Profile", u"Profil"}}));
  f.SetFilter(fiShowTranslated, false);
  TfrmQEMSearchForm dialog;
  dialog.Find.Text = u"file";
  dialog.Find.WholeWordsOnly = true;
  TfrmQEMSearchResults results;
  EXPECT_EQ(f.Find(dialog, results), 1);
  ASSERT_EQ(results.Count(), 1);
  EXPECT_EQ(results.Line(0).Text(), u"a.lines(" + f.ColumnCaption(idColOrig) + u", 1): Open file");
}

// A file is open in one window: a second window asked for it sends the request to the first.
TEST_F(TranslatorFormTest, OneFileOneWindow) {
  const std::u16string file = MakeFile("a.lines", {{u"One", u"One"}, {u"Two", u"Two"}});
  auto& first = Open(file);
  first.SetCurrentCell(1, idColComment);
  TQEMTranslatorFormModel second(gMgrClass);
  const TQEMTranslatorFormModel* redirected = nullptr;
  second.OnOpenElsewhere = [&](TQEMTranslatorFormModel& Holder) { redirected = &Holder; };
  EXPECT_EQ(TQEMTranslatorFormModel::HolderOf(file), &first);

  second.EditFile(file);
  EXPECT_EQ(redirected, &first);
  EXPECT_EQ(second.Mgr(), nullptr);
  EXPECT_EQ(first.CurrentRow(), 1); // where the user was
  EXPECT_EQ(first.CurrentCol(), idColComment);
  second.LoadFromFile(file, idColCurr, 0);
  EXPECT_EQ(first.CurrentRow(), 0);
  EXPECT_EQ(first.CurrentCol(), idColCurr);
  int managers = 0;
  for (auto* mgr : QEMTranslatorMgrs())
    managers += QEMSameFileName(mgr->FileName(), file);
  EXPECT_EQ(managers, 1);

  Form.reset();
  EXPECT_EQ(TQEMTranslatorFormModel::HolderOf(file), nullptr);
  redirected = nullptr;
  second.EditFile(file);
  EXPECT_EQ(redirected, nullptr);
  EXPECT_EQ(TQEMTranslatorFormModel::HolderOf(file), &second);
}

// A batch operation runs through the open window's manager; the window saves or drops its
// edits before and reads the file again after.
TEST_F(TranslatorFormTest, BatchOverTheOpenFile) {
  const std::u16string file = MakeFile(
      "a.lines", {{u"One", u"One"}, {u"Two", u"Two", rsUnused}, {u"Three", u"Drei", rsTranslated}});
  auto& f = Open(file);
  f.AcceptEdit(0, idColCurr, u"Eins");
  Ui->QueueAnswer(TQEMAnswer::anCancel);
  EXPECT_FALSE(f.BeforeBatch());
  EXPECT_EQ(Ui->Shown().back().Text, u"Translation has changed. Save?");
  EXPECT_TRUE(f.IsDirty());
  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_TRUE(f.BeforeBatch());
  EXPECT_FALSE(f.IsDirty());
  EXPECT_EQ(Item(0)->GetXlatText(), u"One");
  f.AcceptEdit(0, idColCurr, u"Eins");
  Ui->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_TRUE(f.BeforeBatch());
  EXPECT_EQ(Stored(file, 0)->GetXlatText(), u"Eins");

  // Purging drops the unused item through the window's manager and saves it.
  f.SetCurrentCell(2, idColCurr);
  TLinesTranslator translator;
  const auto type = std::make_shared<TLinesFileType>(&translator, nullptr, nullptr);
  TStringList files;
  files.Add(file);
  type->List(lePurge, files, nullptr, nullptr);
  EXPECT_EQ(f.Mgr()->Count(), 2);
  f.AfterBatch();
  ASSERT_EQ(f.RowCount(), 2);
  EXPECT_EQ(f.CellText(1, idColId), u"k2");
  EXPECT_EQ(f.CurrentRow(), 1); // still on "Three"
  EXPECT_EQ(f.TranslatedCount(), 2);
  EXPECT_FALSE(f.IsDirty());
  f.AcceptEdit(1, idColCurr, u"Dreimal");
  EXPECT_EQ(f.DirtyItems(), std::vector<int>{1});

  // A change the run made in memory only: the rows and counts follow it.
  f.FileSave();
  f.Mgr()->Items()->Get(0)->SetStatus(rsHold);
  f.AfterBatch();
  EXPECT_EQ(f.UntranslatedCount(), 1);
  EXPECT_EQ(f.CellText(0, idColStatus), u"Hold");

  // A run that removed the file leaves the window empty, saying so.
  std::filesystem::remove(Dir.Path() / "a.lines");
  f.AfterBatch();
  EXPECT_EQ(f.Mgr(), nullptr);
  EXPECT_EQ(f.StatusMessage(), u"File not found: " + file);
}

// The hint while typing: what a commit would stop at, with nothing shown or stored.
TEST_F(TranslatorFormTest, CheckEntryDoesNotCommit) {
  auto& f = Open(MakeFile("a.lines", {{u"100", u"100"},
                                      {u"[Value]", u"[Value]"},
                                      {u"Name", u"Name", rsUnused},
                                      {u"%s of %d", u"%s of %d"}}),
                 {true, false, 0});
  EXPECT_EQ(f.CheckEntry(0, idColCurr, u"1e2"),
            u"Numeric type mismatch: Integer expected but '1e2' found.");
  EXPECT_EQ(f.CheckEntry(0, idColCurr, u"200"), u"");
  EXPECT_EQ(f.CheckEntry(1, idColCurr, u"x[Wert]"),
            u"[ is either missing or incorrectly placed in string");
  EXPECT_EQ(f.CheckEntry(1, idColCurr, u"Wert"), u""); // repaired on commit, no message
  EXPECT_NE(f.CheckEntry(3, idColCurr, u"%s von"), u"");
  EXPECT_EQ(f.CheckEntry(3, idColCurr, u"%1:d von %0:s"), u"");
  EXPECT_EQ(f.CheckEntry(2, idColStatus, u"Translated"),
            u"The status of this item cannot be changed to 'Translated'");
  EXPECT_EQ(f.CheckEntry(0, idColStatus, u"Finished"), u"'Finished' is not an item status");
  EXPECT_EQ(f.CheckEntry(0, idColModified, u"yesterday"),
            u"'yesterday' is not a valid date and time");
  EXPECT_TRUE(Ui->Shown().empty());
  EXPECT_FALSE(f.IsDirty());
  EXPECT_EQ(Item(3)->GetXlatText(), u"%s of %d");
  // The real services are back: a commit still asks.
  EXPECT_FALSE(f.AcceptEdit(3, idColCurr, u"%s von"));
  EXPECT_EQ(Ui->Shown().size(), 1u);
}

// A package's literal syntax decides which checks an entry takes.
TEST(TranslatorFormSettings, FollowTheLiteralSyntax) {
  struct TQuoting : TLinesMgrClass {
    explicit TQuoting(std::u16string Q) : Quote(std::move(Q)) {}
    std::u16string ConvertFromRawString(const std::u16string& S) const override {
      return Quote + S + Quote;
    }
    std::u16string Quote;
  };
  const auto pascal = TQEMTranslatorFormModel::SettingsFor(TQuoting(u"'"));
  EXPECT_EQ(pascal.QuoteChar, u'\'');
  EXPECT_FALSE(pascal.CheckEscapes);
  EXPECT_TRUE(pascal.CheckFormatSpecifiers);
  const auto c = TQEMTranslatorFormModel::SettingsFor(TQuoting(u"\""));
  EXPECT_EQ(c.QuoteChar, u'"');
  EXPECT_TRUE(c.CheckEscapes);
  const auto raw = TQEMTranslatorFormModel::SettingsFor(LinesMgrClass());
  EXPECT_EQ(raw.QuoteChar, 0);
  EXPECT_FALSE(raw.CheckFormatSpecifiers);
  EXPECT_EQ(TQEMTranslatorFormModel::SettingsFor(TQuoting(u"*")).QuoteChar, 0);
}
