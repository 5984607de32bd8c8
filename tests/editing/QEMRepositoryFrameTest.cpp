#include <gtest/gtest.h>

#include "core/QEMIntlUtils.h"
#include "core/QEMUtils.h"
#include "editing/QEMRepositoryFrame.h"
#include "platform/QEMFiles.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

namespace {

using TKind = TQEMScriptedUIServices::TKind;
using TShown = std::pair<TKind, std::u16string>;
constexpr int En = 0, De = 1, Fr = 2;
constexpr auto Asc = TQEMSortDirection::sdAscending;
constexpr auto Desc = TQEMSortDirection::sdDescending;

class RepositoryFrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    Old = QEMSetUIServices(Ui);
    Saved = {
        QEMINTOptionProps->RepositoryFilename, QEMINTOptionProps->RepositorySearchCaseSensitive,
        QEMINTOptionProps->RepositorySearchForward, QEMINTOptionProps->RepositorySearchWholeWords};
    QEMINTOptionProps->QEMHistoryManager.ClearHistory(std::u16string(QEMRepositoryFileHistory));
    Rep->SetFileName(File);
    Rep->SetLoaded(true);
    // Record order differs from every language's text order.
    Add(u"Cherry", u"Kirsche", u"cerise", u"c");
    Add(u"apple", u"Apfel", u"pomme", u"a");
    Add(u"Banana", u"Banane", u"banane", u"b");
    Add(u"date", u"Dattel", u"datte", u"");
    Add(u"Elder", u"Holunder", u"sureau", u"");
    Frame = std::make_unique<TQEMRepositoryFrame>(Rep);
    Frame->OnReset = [this] { ++Resets; };
    Frame->OnCellChanged = [this](int C, int R) { Changed.emplace_back(C, R); };
    Frame->OnCaptionChanged = [this] { ++Captions; };
  }
  void TearDown() override {
    Frame.reset();
    QEMSetUIServices(Old);
    QEMINTOptionProps->RepositoryFilename = Saved.File;
    QEMINTOptionProps->RepositorySearchCaseSensitive = Saved.Case;
    QEMINTOptionProps->RepositorySearchForward = Saved.Forward;
    QEMINTOptionProps->RepositorySearchWholeWords = Saved.Words;
  }
  void Add(const std::u16string& E, const std::u16string& D, const std::u16string& F,
           const std::u16string& Id) {
    auto r = Rep->AddRecord();
    r->SetString(u"en-US", E);
    r->SetString(u"de-DE", D);
    r->SetString(u"fr-FR", F);
    if (!Id.empty()) r->SetID(Id);
  }
  std::vector<int> Records() const {
    std::vector<int> out;
    for (int r = 0; r < Frame->RowCount(); ++r)
      out.push_back(Frame->RowToRecord(r));
    return out;
  }
  std::vector<std::u16string> Column(int Col) const {
    std::vector<std::u16string> out;
    for (int r = 0; r < Frame->RowCount(); ++r)
      out.push_back(Frame->GetCell(Col, r));
    return out;
  }
  // Every row maps to a record and back.
  void CheckInverse() const {
    for (int r = 0; r < Frame->RowCount(); ++r) {
      ASSERT_EQ(Frame->RecordToRow(Frame->RowToRecord(r)), r);
      ASSERT_EQ(Frame->PositionToRow(Frame->RowToPosition(r)), r);
    }
  }
  TShown Shown(size_t I) const { return {Ui->Shown().at(I).Kind, Ui->Shown().at(I).Text}; }
  TShown Last() const { return Shown(Ui->Shown().size() - 1); }
  bool Asked(TKind Kind) const {
    for (const auto& s : Ui->Shown())
      if (s.Kind == Kind) return true;
    return false;
  }
  TQEMRepositoryFindOptions Opts(std::u16string Text, bool Forward = true, bool Case = false,
                                 bool Words = false) {
    TQEMRepositoryFindOptions o;
    o.Text = std::move(Text);
    o.Forward = Forward;
    o.CaseSensitive = Case;
    o.WholeWords = Words;
    return o;
  }

  qemtest::TTempDir Dir;
  const std::u16string File = Dir.U16("rep.tmx");
  std::shared_ptr<TQEMScriptedUIServices> Ui = std::make_shared<TQEMScriptedUIServices>();
  std::shared_ptr<IQEMUIServices> Old;
  struct {
    std::u16string File;
    bool Case, Forward, Words;
  } Saved;
  std::shared_ptr<TQEMRepository> Rep = std::make_shared<TQEMRepository>();
  std::unique_ptr<TQEMRepositoryFrame> Frame;
  int Resets = 0, Captions = 0;
  std::vector<std::pair<int, int>> Changed;
};

TEST_F(RepositoryFrameTest, ColumnsAndRowMappingInBothDirections) {
  ASSERT_EQ(Frame->ColCount(), 3);
  EXPECT_EQ(Frame->Column(De).Caption, LCIDToLangName(0x0407));
  EXPECT_EQ(Frame->Column(De).Lang, 0x0407u);
  EXPECT_EQ(Frame->Column(Fr).Font, *QEMGridFonts->GetFont(0x040C));
  EXPECT_EQ(Frame->ColumnOf(u"FR-fr"), Fr);

  EXPECT_EQ(Frame->SortColumn(), En);
  EXPECT_EQ(Records(), (std::vector<int>{1, 2, 0, 3, 4}));
  EXPECT_EQ(Frame->RowToPosition(1), 1);
  CheckInverse();
  Frame->SortBy(En, Desc);
  EXPECT_EQ(Records(), (std::vector<int>{4, 3, 0, 2, 1}));
  EXPECT_EQ(Frame->RowToPosition(0), 4);
  EXPECT_EQ(Frame->PositionToRow(4), 0);
  CheckInverse();

  // Another language's index gives another order, with nothing copied.
  Frame->SortBy(Fr, Asc);
  EXPECT_EQ(Records(), (std::vector<int>{2, 0, 3, 1, 4}));
  EXPECT_EQ(Column(De),
            (std::vector<std::u16string>{u"Banane", u"Kirsche", u"Dattel", u"Apfel", u"Holunder"}));
  CheckInverse();
  Frame->HeaderClicked(Fr);
  EXPECT_EQ(Frame->SortDirection(), Desc);
  EXPECT_EQ(Records(), (std::vector<int>{4, 1, 3, 0, 2}));
  CheckInverse();
  Frame->HeaderClicked(De);
  EXPECT_EQ(Frame->SortColumn(), De);
  EXPECT_EQ(Frame->SortDirection(), Asc);
  EXPECT_EQ(Records(), (std::vector<int>{1, 2, 3, 4, 0}));

  // The current cell stays on its record when the order changes.
  Frame->SetCurrent(Fr, Frame->RecordToRow(0));
  Frame->SortBy(En, Desc);
  EXPECT_EQ(Frame->RowToRecord(Frame->CurrentRow()), 0);
  EXPECT_EQ(Frame->CurrentText(), u"cerise");

  EXPECT_EQ(Frame->RowToRecord(-1), -1);
  EXPECT_EQ(Frame->RowToRecord(5), -1);
  EXPECT_EQ(Frame->RecordToRow(5), -1);
  EXPECT_EQ(Frame->GetCell(3, 0), u"");
}

TEST_F(RepositoryFrameTest, CellEditLandsInTheRowsRecordAfterASort) {
  Frame->SortBy(Fr, Desc); // records 4 1 3 0 2
  Frame->SetCurrent(En, 0);
  ASSERT_TRUE(Frame->SetCell(De, 1, u"Apfelbaum"));
  EXPECT_EQ(Rep->GetRecord(1)->GetString(u"de-DE"), u"Apfelbaum");
  EXPECT_EQ(Changed, (std::vector<std::pair<int, int>>{{De, 1}}));
  EXPECT_TRUE(Rep->Modified());

  // Changing the sort language moves the row; the current cell goes with its record.
  const int resets = Resets;
  ASSERT_TRUE(Frame->SetCell(Fr, 0, u"aaa"));
  EXPECT_GT(Resets, resets);
  EXPECT_EQ(Frame->CurrentRow(), 4);
  EXPECT_EQ(Frame->GetCell(Fr, 4), u"aaa");
  EXPECT_EQ(Frame->CurrentText(), u"Elder");
  EXPECT_EQ(Records(), (std::vector<int>{1, 3, 0, 2, 4}));
  CheckInverse();

  // An edit that changes nothing does not mark the repository.
  Rep->Save();
  EXPECT_TRUE(Frame->SetCell(En, 0, Frame->GetCell(En, 0)));
  EXPECT_FALSE(Rep->Modified());
  EXPECT_FALSE(Frame->SetCell(En, 5, u"x"));
}

TEST_F(RepositoryFrameTest, DeleteLanguageAsksAndUpdatesColumns) {
  Frame->SortBy(De, Desc);
  ASSERT_TRUE(Frame->SetColumnVisible(Fr, false));
  const std::u16string german = Frame->Column(De).Caption;
  EXPECT_EQ(Frame->DeleteLanguageCaption(De), u"&Delete " + german);

  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_FALSE(Frame->DeleteLanguage(De));
  EXPECT_EQ(Last().second, u"Delete '" + german + u"'?");
  EXPECT_EQ(Frame->ColCount(), 3);
  EXPECT_EQ(Rep->GetRecord(0)->GetString(u"de-DE"), u"Kirsche");

  Ui->QueueAnswer(TQEMAnswer::anYes);
  const int resets = Resets;
  ASSERT_TRUE(Frame->DeleteLanguage(De));
  EXPECT_GT(Resets, resets);
  ASSERT_EQ(Frame->ColCount(), 2);
  EXPECT_EQ(Frame->Column(1).LangTag, u"fr-FR");
  EXPECT_FALSE(Frame->Column(1).Visible); // the other columns keep their state
  EXPECT_EQ(Rep->GetIndexList().Languages().IndexOf(u"de-DE"), -1);
  for (int r = 0; r < Rep->RecCount(); ++r)
    EXPECT_EQ(Rep->GetRecord(r)->GetString(u"de-DE"), u"");
  // The sort language went: the first column sorts now.
  EXPECT_EQ(Frame->SortColumn(), 0);
  EXPECT_EQ(Column(0),
            (std::vector<std::u16string>{u"Elder", u"date", u"Cherry", u"Banana", u"apple"}));
  CheckInverse();
}

TEST_F(RepositoryFrameTest, DeleteRegionAndRecords) {
  // Rows: apple, Banana, Cherry, date, Elder.
  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_FALSE(Frame->DeleteRegion(De, 1, Fr, 2));
  EXPECT_EQ(Last(), (TShown{TKind::skYesNo, u"Delete region?"}));
  EXPECT_EQ(Frame->GetCell(De, 1), u"Banane");

  Ui->QueueAnswer(TQEMAnswer::anYes);
  ASSERT_TRUE(Frame->DeleteRegion(Fr, 2, De, 1));
  EXPECT_EQ(Column(En),
            (std::vector<std::u16string>{u"apple", u"Banana", u"Cherry", u"date", u"Elder"}));
  EXPECT_EQ(Column(De), (std::vector<std::u16string>{u"Apfel", u"", u"", u"Dattel", u"Holunder"}));
  EXPECT_EQ(Column(Fr), (std::vector<std::u16string>{u"pomme", u"", u"", u"datte", u"sureau"}));

  // Clearing cells of the sort column: rows are taken before anything changes.
  Frame->SortBy(De, Asc); // "", "", Apfel, Dattel, Holunder
  ASSERT_TRUE(Frame->SetColumnVisible(Fr, false));
  Ui->QueueAnswer(TQEMAnswer::anYes);
  ASSERT_TRUE(Frame->DeleteRegion(De, 2, Fr, 3));
  EXPECT_EQ(Rep->GetRecord(1)->GetString(u"de-DE"), u"");
  EXPECT_EQ(Rep->GetRecord(3)->GetString(u"de-DE"), u"");
  EXPECT_EQ(Rep->GetRecord(3)->GetString(u"fr-FR"), u"datte"); // hidden: kept
  EXPECT_EQ(Rep->GetRecord(4)->GetString(u"de-DE"), u"Holunder");
  CheckInverse();

  Frame->SortBy(En, Asc);
  Frame->SetCurrent(En, 3); // date
  Ui->QueueAnswer(TQEMAnswer::anYes);
  ASSERT_TRUE(Frame->DeleteRecords(2, 1));
  EXPECT_EQ(Last(), (TShown{TKind::skYesNo, u"Delete 2 record(s)?"}));
  EXPECT_EQ(Column(En), (std::vector<std::u16string>{u"apple", u"date", u"Elder"}));
  EXPECT_EQ(Frame->CurrentText(), u"date");
  EXPECT_EQ(Frame->StatusPosition(), u"2/3");
  CheckInverse();
  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_FALSE(Frame->DeleteRecords(0, 0));
  EXPECT_EQ(Frame->RowCount(), 3);
}

TEST_F(RepositoryFrameTest, FindWithOptionsDirectionAndWrap) {
  // Cells row by row: apple Apfel pomme / Banana Banane banane / Cherry Kirsche cerise /
  // date Dattel datte / Elder Holunder sureau.
  ASSERT_TRUE(Frame->Find(Opts(u"ban")));
  EXPECT_EQ(std::make_pair(Frame->CurrentCol(), Frame->CurrentRow()), std::make_pair(En, 1));
  ASSERT_TRUE(Frame->FindNext());
  EXPECT_EQ(Frame->CurrentCol(), De);
  ASSERT_TRUE(Frame->FindNext());
  EXPECT_EQ(Frame->CurrentCol(), Fr);
  EXPECT_FALSE(Frame->FindNext()); // no wrap
  EXPECT_EQ(Last(), (TShown{TKind::skMessage, u"Search string 'ban' not found"}));
  EXPECT_EQ(std::make_pair(Frame->CurrentCol(), Frame->CurrentRow()), std::make_pair(Fr, 1));

  Frame->SetCurrent(En, 0);
  ASSERT_TRUE(Frame->Find(Opts(u"ban", true, true)));
  EXPECT_EQ(std::make_pair(Frame->CurrentCol(), Frame->CurrentRow()), std::make_pair(Fr, 1));
  EXPECT_TRUE(QEMINTOptionProps->RepositorySearchCaseSensitive);
  EXPECT_EQ(Frame->FindHistory().front(), u"ban");

  // Whole words: any occurrence that stands alone counts.
  Frame->SetCell(De, 0, u"Apfelbaum und Apfel");
  Frame->SetCell(De, 3, u"Dattelbaum");
  Frame->SetCurrent(En, 0);
  ASSERT_TRUE(Frame->Find(Opts(u"apfel", true, false, true)));
  EXPECT_EQ(std::make_pair(Frame->CurrentCol(), Frame->CurrentRow()), std::make_pair(De, 0));
  EXPECT_FALSE(Frame->Find(Opts(u"dattel", true, false, true)));
  EXPECT_TRUE(Frame->Find(Opts(u"dattel", true, false, false)));
  EXPECT_EQ(Frame->CurrentRow(), 3);

  // Backward from the last cell; a new search looks at the current cell first.
  Frame->SetCurrent(Fr, 4);
  ASSERT_TRUE(Frame->Find(Opts(u"an", false)));
  EXPECT_EQ(std::make_pair(Frame->CurrentCol(), Frame->CurrentRow()), std::make_pair(Fr, 1));
  EXPECT_FALSE(QEMINTOptionProps->RepositorySearchForward);
  ASSERT_TRUE(Frame->FindNext());
  EXPECT_EQ(Frame->CurrentCol(), De);
  ASSERT_TRUE(Frame->FindNext());
  EXPECT_EQ(Frame->CurrentCol(), En);
  EXPECT_FALSE(Frame->FindNext());

  // Wrapping goes on from the other end; hidden columns are not searched.
  TQEMRepositoryFindOptions wrap = Opts(u"pomme");
  wrap.Wrap = true;
  Frame->SetCurrent(Fr, 4);
  ASSERT_TRUE(Frame->Find(wrap));
  EXPECT_EQ(std::make_pair(Frame->CurrentCol(), Frame->CurrentRow()), std::make_pair(Fr, 0));
  ASSERT_TRUE(Frame->SetColumnVisible(Fr, false));
  EXPECT_EQ(Frame->CurrentCol(), De);
  EXPECT_FALSE(Frame->Find(wrap));
  EXPECT_FALSE(Frame->Find(Opts(u"")));
}

TEST_F(RepositoryFrameTest, SaveChangesQuestionGuardsNewAndOpen) {
  ASSERT_TRUE(Rep->Modified());
  Ui->QueueAnswer(TQEMAnswer::anCancel);
  EXPECT_FALSE(Frame->NewRepository());
  EXPECT_EQ(Last(), (TShown{TKind::skYesNoCancel, u"Save changes to " + File + u"?"}));
  EXPECT_EQ(Frame->RowCount(), 5);
  Ui->QueueAnswer(TQEMAnswer::anCancel);
  EXPECT_FALSE(Frame->OpenRepository());
  EXPECT_FALSE(Asked(TKind::skOpenFile));
  EXPECT_FALSE(FileExists(File));

  // Yes saves first; the file then opens unmodified.
  Ui->QueueAnswer(TQEMAnswer::anYes);
  Ui->QueueValue(File);
  ASSERT_TRUE(Frame->OpenRepository());
  EXPECT_TRUE(FileExists(File));
  EXPECT_EQ(Last(), (TShown{TKind::skOpenFile, u"Open Repository"}));
  EXPECT_FALSE(Rep->Modified());
  EXPECT_EQ(Frame->RowCount(), 5);
  EXPECT_EQ(QEMINTOptionProps->RepositoryFilename, File);

  // No discards: New starts an empty, unnamed repository and forgets the remembered file.
  Frame->SetCell(En, 0, u"changed");
  Ui->QueueAnswer(TQEMAnswer::anNo);
  const int captions = Captions;
  ASSERT_TRUE(Frame->NewRepository());
  EXPECT_GT(Captions, captions);
  EXPECT_EQ(Frame->Caption(), u"Translation Repository");
  EXPECT_EQ(Frame->StatusPosition(), u"Empty");
  EXPECT_EQ(Frame->StatusContext(), u"");
  EXPECT_EQ(Frame->ColCount(), 0);
  EXPECT_EQ(QEMINTOptionProps->RepositoryFilename, u"");
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "rep.tmx").find(">changed<"), std::string::npos);

  // Without a name the question has none, and Yes saves through Save As.
  Rep->AddRecord()->SetString(u"en-US", u"new");
  EXPECT_EQ(Frame->RowCount(), 1);
  EXPECT_EQ(Frame->ColCount(), 1);
  Ui->QueueAnswer(TQEMAnswer::anYes);
  Ui->QueueValue(Dir.U16("new.tmx"));
  ASSERT_TRUE(Frame->QuerySave());
  EXPECT_EQ(Shown(Ui->Shown().size() - 2), (TShown{TKind::skYesNoCancel, u"Save changes ?"}));
  EXPECT_EQ(Last(), (TShown{TKind::skSaveFile, u"Save Translation Repository As"}));
  EXPECT_EQ(Frame->Caption(), u"Translation Repository - " + Dir.U16("new.tmx"));
  EXPECT_FALSE(Rep->Modified());
}

// Closing: Cancel keeps everything, No drops the changes for good (nothing left for the save
// at shut-down to write), an unnamed repository empties.
TEST_F(RepositoryFrameTest, CloseQueryNoDiscardsTheChanges) {
  Rep->Save();
  Frame->SetCell(En, 0, u"declined");
  Ui->QueueAnswer(TQEMAnswer::anCancel);
  EXPECT_FALSE(Frame->QueryClose());
  EXPECT_TRUE(Rep->Modified());
  EXPECT_EQ(Frame->GetCell(En, Frame->RecordToRow(1)), u"declined");

  const int resets = Resets;
  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_TRUE(Frame->QueryClose());
  EXPECT_FALSE(Rep->Modified());
  EXPECT_GT(Resets, resets);
  EXPECT_EQ(Frame->RowCount(), 5);
  const int en = Frame->ColumnOf(u"en-US"); // a file read lists its languages in tag order
  EXPECT_EQ(Frame->GetCell(en, Frame->RecordToRow(1)), u"apple");
  EXPECT_EQ(Rep->FileName(), File);
  EXPECT_TRUE(Frame->QueryClose()); // nothing left to ask about
  EXPECT_EQ(Ui->Shown().size(), 2u);

  Rep->Reset(u"");
  Rep->AddRecord()->SetString(u"en-US", u"scratch");
  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_TRUE(Frame->QueryClose());
  EXPECT_EQ(Last(), (TShown{TKind::skYesNoCancel, u"Save changes ?"}));
  EXPECT_TRUE(Frame->IsEmpty());
  EXPECT_FALSE(Rep->Modified());
}

TEST_F(RepositoryFrameTest, SaveAsAsksBeforeReplacing) {
  const std::u16string other = Dir.U16("other.tmx");
  qemtest::WriteTextFile(Dir.Path() / "other.tmx", "keep me");
  Ui->QueueValue(other);
  Ui->QueueAnswer(TQEMAnswer::anNo);
  EXPECT_FALSE(Frame->SaveAsRepository());
  EXPECT_EQ(Shown(0), (TShown{TKind::skSaveFile, u"Save rep.tmx As"}));
  EXPECT_EQ(Last(),
            (TShown{TKind::skYesNo, other + u" already exists.\r\nDo you want to replace it?"}));
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "other.tmx"), "keep me");
  EXPECT_EQ(Frame->Caption(), u"Translation Repository - " + File);

  Ui->QueueValue(other);
  Ui->QueueAnswer(TQEMAnswer::anYes);
  ASSERT_TRUE(Frame->SaveAsRepository());
  EXPECT_NE(qemtest::ReadTextFile(Dir.Path() / "other.tmx").find("Holunder"), std::string::npos);
  EXPECT_EQ(Frame->Caption(), u"Translation Repository - " + other);
  EXPECT_EQ(Frame->RecentFiles().front(), other);
  EXPECT_EQ(QEMINTOptionProps->RepositoryFilename, other);

  // A failed save is shown and leaves the name as it was.
  Ui->QueueValue(Dir.U16("no/such/dir/x.tmx"));
  EXPECT_FALSE(Frame->SaveAsRepository());
  EXPECT_EQ(Last().first, TKind::skError);
  EXPECT_EQ(Rep->FileName(), other);
}

TEST_F(RepositoryFrameTest, RecentFileCaptionsAndReopening) {
  Rep->Save();
  const std::u16string gone = Dir.U16("gone.tmx");
  std::vector<std::u16string> files{gone, File};
  for (int i = 0; i < 8; ++i)
    files.push_back(Dir.U16("f" + std::to_string(i) + ".tmx"));
  QEMINTOptionProps->QEMHistoryManager.SetHistory(std::u16string(QEMRepositoryFileHistory), files);
  EXPECT_EQ(Frame->RecentFileCaption(0), u"&1 " + gone);
  EXPECT_EQ(Frame->RecentFileCaption(9), u"&A " + files[9]);
  EXPECT_EQ(Frame->RecentFileCaption(10), u"");
  QEMINTOptionProps->QEMHistoryManager.SetHistory(std::u16string(QEMRepositoryFileHistory),
                                                  {u"/tm/R&D.tmx"});
  EXPECT_EQ(Frame->RecentFileCaption(0), u"&1 /tm/R&&D.tmx");
  QEMINTOptionProps->QEMHistoryManager.SetHistory(std::u16string(QEMRepositoryFileHistory), files);

  Frame->SetCell(En, 0, u"unsaved");
  Ui->QueueAnswer(TQEMAnswer::anNo);
  ASSERT_TRUE(Frame->OpenRecent(1));
  EXPECT_EQ(Ui->Shown().back().Kind, TKind::skYesNoCancel);
  // A loaded file lists its languages in tag order; sort and current cell keep their language.
  EXPECT_EQ(Frame->Column(0).LangTag, u"de-DE");
  EXPECT_EQ(Frame->SortColumn(), Frame->ColumnOf(u"en-US"));
  EXPECT_EQ(Frame->GetCell(Frame->ColumnOf(u"en-US"), 0), u"apple");
  EXPECT_EQ(Frame->CurrentText(), u"apple");
  EXPECT_EQ(Frame->RecentFiles().front(), File);
}

TEST_F(RepositoryFrameTest, CaptionAndStatusTexts) {
  EXPECT_EQ(Frame->Caption(), u"Translation Repository - " + File);
  EXPECT_EQ(Frame->StatusPosition(), u"1/5");
  EXPECT_EQ(Frame->StatusContext(), u"a");
  int statuses = 0;
  Frame->OnStatusChanged = [&] { ++statuses; };
  Frame->SetCurrent(Fr, 2);
  EXPECT_EQ(statuses, 1);
  EXPECT_EQ(Frame->StatusPosition(), u"3/5");
  EXPECT_EQ(Frame->StatusContext(), u"c");
  Frame->SetCurrent(En, 3);
  EXPECT_EQ(Frame->StatusContext(), u"");
  Frame->SetCurrent(En, 99);
  EXPECT_EQ(Frame->StatusPosition(), u"5/5");

  // Hiding: never the last visible column; the current cell leaves a hidden one.
  EXPECT_TRUE(Frame->SetColumnVisible(En, false));
  EXPECT_EQ(Frame->CurrentCol(), De);
  EXPECT_TRUE(Frame->SetColumnVisible(De, false));
  EXPECT_FALSE(Frame->SetColumnVisible(Fr, false));
  EXPECT_EQ(Frame->VisibleColCount(), 1);
  Frame->ShowAllColumns();
  EXPECT_EQ(Frame->VisibleColCount(), 3);
}

TEST_F(RepositoryFrameTest, FollowsChangesMadeUnderneath) {
  const int resets = Resets;
  Rep->BeginUpdate();
  Add(u"fig", u"Feige", u"figue", u"");
  Rep->AddRecord()->SetString(u"it-IT", u"mela");
  Rep->EndUpdate();
  EXPECT_EQ(Resets, resets + 1);
  EXPECT_EQ(Frame->RowCount(), 7);
  ASSERT_EQ(Frame->ColCount(), 4);
  EXPECT_EQ(Frame->Column(3).LangTag, u"it-IT");
  EXPECT_EQ(Frame->StatusPosition(), u"1/7");
  CheckInverse();

  Frame->SortBy(3, Desc);
  Frame->SetCurrent(3, 0);
  EXPECT_EQ(Frame->CurrentText(), u"mela");
  Rep->DeleteLanguage(u"it-IT");
  EXPECT_EQ(Frame->ColCount(), 3);
  EXPECT_EQ(Frame->SortColumn(), En);
  EXPECT_LT(Frame->CurrentCol(), 3);
  CheckInverse();

  Rep->DeleteRecords({0, 1, 2, 3, 4, 5, 6});
  EXPECT_EQ(Frame->StatusPosition(), u"Empty");
  EXPECT_EQ(Frame->CurrentText(), u"");
  EXPECT_EQ(Frame->RowToRecord(0), -1);
}

TEST(RepositoryFrameProcessWide, FollowsTheProcessRepository) {
  qemtest::TTempDir dir;
  const std::u16string remembered = QEMINTOptionProps->RepositoryFilename;
  QEMRepositorySetFileName(dir.U16("pw.tmx"));
  {
    TQEMRepositoryFrame frame;
    EXPECT_EQ(frame.RowCount(), 0);
    QEMRepositoryAddString(u"Open", 0x0409, u"Öffnen", 0x0407, u"ctx");
    EXPECT_EQ(frame.RowCount(), 1);
    EXPECT_EQ(frame.ColCount(), 2);
    EXPECT_EQ(frame.StatusContext(), u"ctx");
    EXPECT_EQ(frame.GetCell(1, 0), u"Öffnen");
    QEMRepositorySave();
    QEMRepositorySetFileName(dir.U16("other.tmx"));
    EXPECT_EQ(frame.RowCount(), 0);
    EXPECT_EQ(frame.Caption(), u"Translation Repository - " + dir.U16("other.tmx"));
    ASSERT_TRUE(frame.OpenFile(dir.U16("pw.tmx")));
    EXPECT_EQ(QEMRepositoryGetFileName(), dir.U16("pw.tmx"));
    EXPECT_EQ(frame.GetCell(frame.ColumnOf(u"en-US"), 0), u"Open");
  }
  QEMRepositorySetFileName(u"");
  QEMINTOptionProps->RepositoryFilename = remembered;
}

} // namespace
