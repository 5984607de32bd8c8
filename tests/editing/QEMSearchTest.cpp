#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "HLXLines.h"
#include "core/QEMIntlUtils.h"
#include "editing/QEMSearchForm.h"
#include "platform/QEMDateTime.h"
#include "platform/QEMFiles.h"
#include "platform/QEMUIServices.h"
#include "settings/QEMGridFont.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

namespace {

using namespace hlxtest;
using TKind = TQEMScriptedUIServices::TKind;

struct TItem {
  TItem(std::u16string O, std::u16string X, TResStatus S = rsUnTranslated, std::u16string C = {})
      : Orig(std::move(O)), Xlat(std::move(X)), Status(S), Comment(std::move(C)) {}
  std::u16string Orig;
  std::u16string Xlat;
  TResStatus Status;
  std::u16string Comment;
};

// One reported match, as the found event gives it.
struct TFound {
  std::u16string Template;
  int32_t Col, MgrIndex, Display, Pos;
  bool operator==(const TFound&) const = default;
};

class QEMSearchTest : public ::testing::Test {
protected:
  void SetUp() override { FOldUI = QEMSetUIServices(UI); }
  void TearDown() override { QEMSetUIServices(FOldUI); }

  // A translated file and its notes, saved, with the manager that has it open.
  std::unique_ptr<TQEMTranslatorMgr> MakeFile(const std::string& Name,
                                              const std::vector<TItem>& Items) {
    std::string body;
    for (size_t i = 0; i < Items.size(); ++i)
      body += "k" + std::to_string(i) + " = \"x\"\n";
    qemtest::WriteTextFile(Dir.Path() / Name, body);
    auto mgr = LinesMgrClass().Create(Dir.U16(Name), false);
    mgr->Stats()->SetOrigLCID(0x409);
    mgr->Stats()->SetXlatLCID(0x407);
    for (size_t i = 0; i < Items.size(); ++i) {
      auto item = mgr->NotesFile()->CreateNotesItem();
      item->SetID(u"k" + UTF8ToUTF16(std::to_string(i)));
      item->SetOrigText(Items[i].Orig);
      item->SetXlatText(Items[i].Xlat);
      item->SetStatus(Items[i].Status);
      item->SetComment(Items[i].Comment);
      item->SetCreated(EncodeDateTime(2024, 3, 1, 10, 30, 0));
      mgr->Items()->Add(item);
    }
    mgr->Save(false, 0, 0, false);
    return mgr;
  }

  // Runs the manager's search with the given settings and collects what it reports.
  std::vector<TFound> Run(TQEMTranslatorMgr& Mgr, const std::u16string& Pattern,
                          TQEMColIds Columns = {}) {
    auto& s = Mgr.SearchSettings();
    s.Pattern = Pattern;
    s.Columns = Columns;
    s.OrigLCID = 0x409;
    s.XlatLCID = 0x407;
    std::vector<TFound> found;
    Mgr.OnSearchFound = [&](void*, const std::u16string&, const std::u16string& Template,
                            const std::u16string&, int32_t Col, int32_t MgrIndex, int32_t Display,
                            int32_t Pos, LCID, LCID, bool&) {
      found.push_back({Template, Col, MgrIndex, Display, Pos});
    };
    Mgr.Search();
    return found;
  }

  std::vector<std::u16string> ShownTexts() const {
    std::vector<std::u16string> r;
    for (const auto& s : UI->Shown())
      r.push_back(s.Text);
    return r;
  }

  qemtest::TTempDir Dir;
  std::shared_ptr<TQEMScriptedUIServices> UI = std::make_shared<TQEMScriptedUIServices>();

private:
  std::shared_ptr<IQEMUIServices> FOldUI;
};

TEST_F(QEMSearchTest, ManagerReportsEveryMatchOfTheChosenColumns) {
  auto mgr = MakeFile("a.lines", {{u"Open Fi&le", u"Datei \u00f6ffnen", rsTranslated},
                                  {u"Hide", u"Ausblenden", rsUnTranslated, u"file menu"},
                                  {u"Profile", u"Profil", rsAutoTranslated}});
  const TQEMColIds origAndComment{idColOrig, idColComment};
  // Inside a word, in the comment, but not through the pick letter.
  EXPECT_EQ(Run(*mgr, u"file", origAndComment),
            (std::vector<TFound>{{u"file menu", idColComment, 1, 2, 1},
                                 {u"Profile", idColOrig, 2, 3, 4}}));
  mgr->SearchSettings().IgnorePickLetters = true;
  EXPECT_EQ(Run(*mgr, u"file", origAndComment).front(), (TFound{u"Open File", idColOrig, 0, 1, 6}));
  mgr->SearchSettings().WholeWordsOnly = true;
  EXPECT_EQ(Run(*mgr, u"file", origAndComment).size(), 2u);

  // The status column matches the displayed status names.
  mgr->SearchSettings() = TQEMSearchSettings();
  EXPECT_EQ(Run(*mgr, u"translated", {idColStatus}),
            (std::vector<TFound>{{u"Translated", idColStatus, 0, 1, 1},
                                 {u"Untranslated", idColStatus, 1, 2, 3},
                                 {u"Auto Translated", idColStatus, 2, 3, 6}}));
  mgr->SearchSettings().WholeWordsOnly = true;
  EXPECT_EQ(Run(*mgr, u"translated", {idColStatus}).size(), 2u);
  mgr->SearchSettings().WholeWordsOnly = false;

  // Dates as the grid shows them; all ten columns when none is chosen.
  const auto dates = Run(*mgr, u"2024-03-01 10:30");
  ASSERT_EQ(dates.size(), 6u);
  EXPECT_EQ(dates[0].Col, idColCreated);
  EXPECT_EQ(dates[1].Col, idColModified);
  EXPECT_EQ(dates[5].MgrIndex, 2);
  EXPECT_EQ(mgr->SearchCount(), 6);

  // A window's row filter narrows the items and the numbering; selected rows report -1.
  mgr->SearchLineVisible = [](int Index) { return Index != 0; };
  EXPECT_EQ(Run(*mgr, u"Profil", {idColCurr}),
            (std::vector<TFound>{{u"Profil", idColCurr, 2, 2, 1}}));
  mgr->SearchLineVisible = nullptr;
  mgr->SearchSettings().Lines = {2, 0, 7};
  EXPECT_EQ(Run(*mgr, u"e", {idColOrig}),
            (std::vector<TFound>{{u"Profile", idColOrig, 2, -1, 7},
                                 {u"Open Fi&le", idColOrig, 0, -1, 3},
                                 {u"Open Fi&le", idColOrig, 0, -1, 10}}));
}

TEST_F(QEMSearchTest, EventsFrameTheSearchAndMayStopIt) {
  auto mgr = MakeFile("a.lines", {{u"aa", u"aa"}, {u"a", u"b"}});
  std::vector<std::string> events;
  int stopAfter = 100;
  bool startGoes = true;
  mgr->OnSearchStart = [&](void*, const std::u16string& Pattern, const std::u16string& Name,
                           bool& Go) {
    events.push_back("start " + UTF16ToUTF8(Pattern) + " " + UTF16ToUTF8(ExtractFileName(Name)));
    Go = startGoes;
  };
  mgr->OnSearchFound = [&](void*, const std::u16string&, const std::u16string&,
                           const std::u16string&, int32_t, int32_t, int32_t, int32_t Pos, LCID,
                           LCID, bool& Go) {
    events.push_back("found " + std::to_string(Pos));
    Go = --stopAfter > 0;
  };
  mgr->OnSearchEnd = [&](void*, const std::u16string&, const std::u16string&, int32_t Count,
                         bool&) { events.push_back("end " + std::to_string(Count)); };
  auto& s = mgr->SearchSettings();
  s.Pattern = u"a";
  s.Columns = {idColOrig, idColCurr};
  EXPECT_EQ(mgr->Search(), 5);
  EXPECT_EQ(events, (std::vector<std::string>{"start a a.lines", "found 1", "found 2", "found 1",
                                              "found 2", "found 1", "end 5"}));
  events.clear();
  stopAfter = 2;
  EXPECT_EQ(mgr->Search(), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"start a a.lines", "found 1", "found 2", "end 2"}));
  events.clear();
  startGoes = false;
  s.Name = u"named";
  EXPECT_EQ(mgr->Search(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"start a named", "end 0"}));
}

TEST_F(QEMSearchTest, DialogRefusesWhatCannotBeSearched) {
  TfrmQEMSearchForm form;
  EXPECT_FALSE(form.OK());
  form.Find.Text = u"needle";
  form.CheckAllColumns(false);
  EXPECT_FALSE(form.OK());
  form.Columns.Include(idColCurr);
  EXPECT_TRUE(form.OK());
  EXPECT_EQ(form.History().front(), u"needle");

  TLinesTranslator translator;
  auto a = std::make_shared<TLinesFileType>(&translator, nullptr, nullptr);
  auto b = std::make_shared<TLinesFileType>(&translator, nullptr, nullptr, u".b");
  a->GetSearchSettings()->Used = true;
  a->GetSearchSettings()->Columns = {idColOrig};
  form.ActivePage = stSearchInFiles;
  form.LoadFileTypes({a, b});
  EXPECT_TRUE(form.FileTypes[0].Checked);
  EXPECT_EQ(form.FileTypes[0].Fields, (TQEMColIds{idColOrig}));
  EXPECT_EQ(form.FileTypes[1].Fields, QEMAllGridColumns());
  EXPECT_FALSE(form.OK()); // blank text
  form.Files.Text = u"haystack";
  form.CheckAllFileTypes(false);
  EXPECT_FALSE(form.OK());
  form.CheckFileType(1, true);
  form.CheckAllFields(1, false);
  EXPECT_FALSE(form.OK());
  EXPECT_EQ(ShownTexts(),
            (std::vector<std::u16string>{
                u"Search string cannot be blank", u"At least one item must be selected",
                u"Search string cannot be blank", u"At least one file type must be checked",
                u"File type HLXLines must have at least one field checked"}));
  EXPECT_EQ(UI->Shown().front().Kind, TKind::skError);

  // Synchronized lists take the selected type's fields and change together.
  form.SelectedFileType = 0;
  form.SetKeepSynchronized(true);
  EXPECT_EQ(form.FileTypes[1].Fields, (TQEMColIds{idColOrig}));
  form.CheckField(1, idColComment, true);
  EXPECT_EQ(form.FileTypes[0].Fields, (TQEMColIds{idColOrig, idColComment}));
  form.SetKeepSynchronized(false);
  form.CheckField(1, idColOrig, false);
  EXPECT_EQ(form.FileTypes[0].Fields, (TQEMColIds{idColOrig, idColComment}));
  EXPECT_TRUE(form.OK());
  EXPECT_FALSE(a->GetSearchSettings()->Used);
  EXPECT_TRUE(b->GetSearchSettings()->Used);
  EXPECT_EQ(b->GetSearchSettings()->Columns, (TQEMColIds{idColComment}));
  EXPECT_EQ(b->GetSearchSettings()->Pattern, u"haystack");
  EXPECT_EQ(form.History(), (std::vector<std::u16string>{u"haystack", u"needle"}));
  QEMINTOptionProps->QEMHistoryManager.ClearHistory(std::u16string(form.HistoryName));
}

TEST_F(QEMSearchTest, ResultLinesAndSaving) {
  TSearchLineRec rec;
  rec.AXlatLCID = 0x407;
  rec.AFileName = u"/work/project/de/Main.lines";
  rec.AColAsEnum = idColCurr;
  rec.ADisplayLine = 12;
  rec.AFoundPos = 3;
  rec.APattern = u"te";
  rec.ATemplate = u"Datei";
  TfrmQEMSearchResults results([](TQEMAllColId Col) {
    return Col == idColCurr ? std::u16string(u"Translation") : std::u16string();
  });
  const TQEMSearchLine& find = results.Add(rec);
  EXPECT_EQ(find.Text(), u"Main.lines(Translation, 12): Datei");
  EXPECT_EQ(find.Text().substr(find.MatchStart(), find.MatchLength()), u"te");
  rec.AIsFindInFiles = true;
  rec.AColAsEnum = idColComment;
  rec.AColInfo.Caption = u"Remark";
  EXPECT_EQ(results.Add(rec).Text(), LCIDToLangName(0x407) + u": Main.lines(Remark, 12): Datei");

  const std::u16string name = Dir.U16("found");
  UI->QueueValue(name);
  ASSERT_TRUE(results.Save());
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "found.txt"),
            UTF16ToUTF8(results.Lines()[0]) + "\n" + UTF16ToUTF8(results.Lines()[1]) + "\n");
  UI->QueueValue(u"");
  EXPECT_FALSE(results.Save());
  results.SaveToFile(Dir.U16("found.log"));
  EXPECT_TRUE(FileExists(Dir.U16("found.log")));
  results.Clear();
  EXPECT_EQ(results.Count(), 0);
}

// A view follows the list through its hooks; columns get names also where no window captions
// them (Find in Files), never with accelerator marks.
TEST_F(QEMSearchTest, ResultsTellTheirViewAndNameEveryColumn) {
  auto mgr = MakeFile("Main.lines", {{u"Open", u"\u00d6ffnen"}, {u"Open all", u"Alle"}});
  TfrmQEMSearchResults results([](TQEMAllColId Col) {
    return Col == idColStatus ? std::u16string(u"&Status") : std::u16string();
  });
  std::vector<std::string> events;
  results.OnAdded = [&](int Index) {
    events.push_back("add " + std::to_string(Index) + "/" + std::to_string(results.Count()));
  };
  results.OnCleared = [&] { events.push_back("clear " + std::to_string(results.Count())); };
  results.OnShow = [&] { events.push_back(results.Visible ? "show" : "show hidden"); };
  TfrmQEMSearchForm form;
  form.Find.Text = u"open";
  form.Columns = {idColOrig, idColStatus};
  TQEMFindContext context;
  context.OrigLCID = 0x409;
  context.XlatLCID = 0x407;
  EXPECT_EQ(QEMRunFind(*mgr, form, context, results), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"clear 0", "show", "add 0/1", "add 1/2"}));
  EXPECT_EQ(results.Line(0).Text(), u"Main.lines(" + LCIDToLangName(0x409) + u", 1): Open");
  form.Find.Text = u"translated";
  EXPECT_EQ(QEMRunFind(*mgr, form, context, results), 2);
  EXPECT_EQ(results.Line(1).Text(), u"Main.lines(Status, 2): Untranslated");

  TSearchLineRec rec;
  rec.AOrigLCID = rec.AXlatLCID = 0x407;
  rec.AIsFindInFiles = true;
  rec.AColAsEnum = idColPrevCurr;
  TfrmQEMSearchResults files;
  EXPECT_EQ(files.ColumnName(rec), u"Previous " + LCIDToLangName(0x407) + u" (translated)");
  EXPECT_EQ(QEMSearchColumnName(idColCurr), u"Translation");
  EXPECT_EQ(QEMSearchColumnName(idColPrevOrig), u"Previous Original");
  EXPECT_EQ(QEMSearchColumnName(idColModified), u"Modified");
  form.ColumnCaption = [](TQEMAllColId Col) {
    return Col == idColId ? std::u16string(u"&Key") : std::u16string();
  };
  EXPECT_EQ(form.ColumnName(idColId), u"Key");
  EXPECT_EQ(form.ColumnName(idColComment), u"Comment");
}

// The font buttons offer each language once: with a grid font, given by the caller, or already
// the text's.
TEST_F(QEMSearchTest, TextLanguagesComeOnceByName) {
  ASSERT_NE(QEMGridFonts, nullptr);
  const bool added = QEMGridFonts->IndexOf(0x411) < 0;
  QEMGridFonts->Add(0x411);
  const int fonts = QEMGridFonts->GetCount();
  TfrmQEMSearchForm form;
  form.Languages = {0x40C, 0x411, 0, 0x407, 0x40C};
  form.Files.TextLCID = 0x410;
  std::vector<LCID> expected = {0x40C, 0x411, 0x407, 0x410};
  for (int i = 0; i < fonts; ++i)
    expected.push_back(QEMGridFonts->GetLang(i));
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  std::sort(expected.begin(), expected.end(), [](LCID A, LCID B) {
    return UTF16ToUTF8(LCIDToLangName(A)) < UTF16ToUTF8(LCIDToLangName(B));
  });
  EXPECT_EQ(form.TextLanguages(), expected);
  if (added) QEMGridFonts->Delete(QEMGridFonts->IndexOf(0x411));
}

TEST_F(QEMSearchTest, FindInTheWindowsFile) {
  auto mgr = MakeFile("Main.lines", {{u"Open", u"\u00d6ffnen"}, {u"Close", u"Schlie\u00dfen"}});
  bool windowHandler = false;
  mgr->OnSearchFound = [&](void*, const std::u16string&, const std::u16string&,
                           const std::u16string&, int32_t, int32_t, int32_t, int32_t, LCID, LCID,
                           bool&) { windowHandler = true; };
  TfrmQEMSearchForm form;
  form.Find.Text = u"\u00f6ffnen";
  TQEMFindContext context;
  context.OrigLCID = 0x409;
  context.XlatLCID = 0x407;
  TfrmQEMSearchResults results([](TQEMAllColId) { return std::u16string(u"Col"); });
  EXPECT_EQ(QEMRunFind(*mgr, form, context, results), 1);
  EXPECT_TRUE(results.Visible);
  EXPECT_EQ(results.Lines(), (std::vector<std::u16string>{u"Main.lines(Col, 1): \u00d6ffnen"}));
  EXPECT_EQ(results.Line(0).Rec().AXlatLCID, 0x407u);
  EXPECT_EQ(mgr->SearchSettings().Pattern, u"\u00f6ffnen");
  EXPECT_FALSE(windowHandler);
  mgr->Search();
  EXPECT_TRUE(windowHandler); // the window's own handler is back

  form.Scope = gssSelectedRows;
  EXPECT_EQ(QEMRunFind(*mgr, form, context, results), -1);
  context.SelectedRows = {1};
  EXPECT_EQ(QEMRunFind(*mgr, form, context, results), 0);
  EXPECT_EQ(results.Count(), 0);
  EXPECT_EQ(ShownTexts(),
            (std::vector<std::u16string>{u"Tried to search selected rows but no rows are selected.",
                                         u"Search string '\u00f6ffnen' not found"}));
}

TEST_F(QEMSearchTest, FindInFilesSearchesOpenCopiesAndClosedFiles) {
  auto open = MakeFile("a.lines", {{u"Save", u"Speichern"}});
  MakeFile("b.lines", {{u"Save as", u"Speichern unter"}, {u"Exit", u"Beenden"}});
  MakeFile("c.other", {{u"Save", u"Speichern"}});
  // An edit the open window has not saved yet.
  open->Items()->Get(0)->SetXlatText(u"Sichern");
  open->SearchSettings().Pattern = u"window's own";

  TLinesTranslator translator;
  auto lines = std::make_shared<TLinesFileType>(&translator, nullptr, nullptr);
  auto other = std::make_shared<TLinesFileType>(&translator, nullptr, nullptr, u".other");
  TfrmQEMSearchForm form;
  form.ActivePage = stSearchInFiles;
  form.LoadFileTypes({lines, other});
  form.CheckFileType(0, true);
  form.CheckAllFields(0, false);
  form.CheckField(0, idColCurr, true);
  form.Files.Text = u"SICHERN";
  std::vector<std::u16string> progress;
  TfrmQEMSearchResults results;
  const std::vector<TQEMSearchFileGroup> groups = {
      {lines, {Dir.U16("a.lines"), Dir.U16("b.lines")}}, {other, {Dir.U16("c.other")}}};
  auto run = [&] {
    return QEMRunFindInFiles(groups, form, results, [&](const std::u16string& File, void*) {
      progress.push_back(ExtractFileName(File));
      return true;
    });
  };
  EXPECT_EQ(run(), 1);
  ASSERT_EQ(results.Count(), 1);
  const TSearchLineRec& r = results.Line(0).Rec();
  EXPECT_EQ(r.ATemplate, u"Sichern");
  EXPECT_EQ(r.AFileName, Dir.U16("a.lines"));
  EXPECT_TRUE(r.AIsFindInFiles);
  EXPECT_EQ(r.AFileType, lines);
  EXPECT_EQ(r.AXlatLCID, 0x407u);
  EXPECT_EQ(progress, (std::vector<std::u16string>{u"a.lines", u"b.lines"}));
  EXPECT_EQ(open->SearchSettings().Pattern, u"window's own");

  form.Files.Text = u"speichern";
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(results.Line(0).Rec().AFileName, Dir.U16("b.lines"));
  EXPECT_EQ(results.Line(0).Rec().ADisplayLine, 1);
  form.CheckFileType(1, true);
  EXPECT_EQ(run(), 2);
  form.CheckAllFields(0, false);
  form.CheckField(0, idColOrig, true);
  form.Files.Text = u"nowhere";
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(ShownTexts(), (std::vector<std::u16string>{u"Search string 'nowhere' not found"}));
}

} // namespace
