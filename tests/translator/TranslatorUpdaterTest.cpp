#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <utility>

#include "HLXLines.h"
#include "core/QEMStrs.h"
#include "platform/QEMFiles.h"
#include "support/TestSupport.h"

namespace {

using namespace hlxtest;
namespace fs = std::filesystem;

// The line updater with the knobs the tests turn.
class TTestUpdater : public TLinesUpdater {
public:
  bool KeepDeleted = false;
  std::u16string FailOn;     // a text whose merge raises
  std::u16string WriterFail; // a translated file name whose writer raises
  bool NoWriter = false;
  std::vector<std::u16string> Read; // files read, with their bytes
  std::vector<std::string> Bytes;

  bool ReadFileStrings(const std::u16string& FileName) override {
    Read.push_back(FileName);
    Bytes.push_back(qemtest::ReadTextFile(QEMNativePath(FileName)));
    return TLinesUpdater::ReadFileStrings(FileName);
  }
  bool MarkDeletedItemAsUnused() override { return !KeepDeleted; }
  std::u16string GetString(int Index) override {
    std::u16string s = TLinesUpdater::GetString(Index);
    if (!FailOn.empty() && s == FailOn) throw EQEMError(u"merge failed");
    return s;
  }
  IQEMXlatWriterPtr CreateXlatWriter() override {
    if (NoWriter) return nullptr;
    if (WriterFail.empty()) return TLinesUpdater::CreateXlatWriter();
    struct TFailing : TLinesWriter {
      std::u16string Name;
      void WriteFromNotes(IQEMNotesFile& Notes, const std::u16string& XlatName, LCID L,
                          int32_t R) override {
        // Named by its bare name, as package writers do.
        if (XlatName.ends_with(Name)) throw EQEMError(ExtractFileName(XlatName) + u": disk full");
        TLinesWriter::WriteFromNotes(Notes, XlatName, L, R);
      }
    };
    auto w = std::make_shared<TFailing>();
    w->Name = WriterFail;
    return w;
  }
};

struct TItem {
  std::u16string ID, Orig, Xlat;
  TResStatus Status = rsUnTranslated;
  bool operator==(const TItem&) const = default;
};
std::ostream& operator<<(std::ostream& S, const TItem& I) {
  return S << UTF16ToUTF8(I.ID) << "/" << UTF16ToUTF8(I.Orig) << "/" << UTF16ToUTF8(I.Xlat) << "/"
           << int(I.Status);
}

class UpdaterTest : public ::testing::Test {
protected:
  void SetUp() override {
    FSavedShowError = ShowErrorFunc;
    ShowErrorFunc = [this](const std::u16string& S) { Errors.push_back(S); };
  }
  void TearDown() override {
    ShowErrorFunc = FSavedShowError;
    for (const auto& e : Errors)
      ADD_FAILURE() << "unexpected error: " << UTF16ToUTF8(e);
  }

  // Writes a file with a date that differs from any recorded before (dates count in steps of
  // two seconds).
  void Write(const std::string& Name, const std::string& Text) {
    const fs::path p = Dir.Path() / Name;
    qemtest::WriteTextFile(p, Text);
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(24) +
                               std::chrono::seconds(10 * ++FTick));
  }
  // Files ends up holding the translated files written.
  TStats Run(TLinesUpdater& U, std::initializer_list<const char*> Names = {"src/a.lines"},
             bool Overwrite = false) {
    Files.Clear();
    for (const char* n : Names)
      Files.Add(Dir.U16(n));
    TStats stats;
    U.Execute(&Files, u"", u"", Dir.U16("src"), Dir.U16("de"), stats, Overwrite, 0x409, 0x407,
              nullptr, {});
    return stats;
  }
  std::vector<TItem> Items(const char* Name = "de/a.lines.xlf") {
    TLinesNotesFile notes;
    notes.Open(Dir.U16(Name));
    return Items(notes);
  }
  static std::vector<TItem> Items(IQEMNotesFile& Notes) {
    std::vector<TItem> r;
    const auto items = Notes.GetItems();
    for (int i = 0; i < items->Count(); ++i) {
      const auto it = items->Get(i);
      r.push_back({it->GetID(), it->GetOrigText(), it->GetXlatText(), it->GetStatus()});
    }
    return r;
  }
  // Translates items by identifier as a translator would, through a manager.
  void Translate(std::initializer_list<std::pair<std::u16string, std::u16string>> Pairs) {
    auto mgr = LinesMgrClass().Create(Dir.U16("de/a.lines"), false);
    for (const auto& [id, text] : Pairs)
      for (int i = 0; i < mgr->Count(); ++i)
        if (mgr->Items()->Get(i)->GetID() == id) {
          mgr->Items()->Get(i)->SetXlatText(text);
          mgr->Items()->Get(i)->SetStatus(rsTranslated);
        }
    mgr->Save(true, 0, 0, false);
  }
  std::string Xlat(const char* Name = "de/a.lines") {
    return qemtest::ReadTextFile(Dir.Path() / Name);
  }

  qemtest::TTempDir Dir;
  std::vector<std::u16string> Errors;
  TStringList Files;

private:
  std::function<void(const std::u16string&)> FSavedShowError;
  int FTick = 0;
};

TEST_F(UpdaterTest, MergesNewChangedUnchangedAndUnused) {
  TTestUpdater u;
  Write("src/a.lines", "a = \"A\"\nb = \"B\"\nc = \"C\"\nd = \"D\"\nk = \"1\"\nk = \"2\"\n");
  TStats s = Run(u);
  EXPECT_EQ(s.NewCount, 6);
  Translate({{u"b", u"B-de"}, {u"c", u"C-de"}, {u"d", u"D-de"}});
  // Open in a window meanwhile: the runs work on its items.
  const auto open = LinesMgrClass().Create(Dir.U16("de/a.lines"), false);

  // e new in front, c changed, b gone; of the two k the second changed.
  Write("src/a.lines", "e = \"E\"\nc = \"C2\"\na = \"A\"\nd = \"D\"\nk = \"1\"\nk = \"X\"\n");
  s = Run(u);
  EXPECT_EQ(s.NewCount, 1);
  EXPECT_EQ(s.ChangedCount, 2);
  EXPECT_EQ(s.UnchangedCount, 3);
  EXPECT_EQ(s.UnusedCount, 1);
  const std::vector<TItem> want{
      {u"e", u"E", u"E", rsUnTranslated}, {u"c", u"C2", u"C2", rsUnTranslated},
      {u"a", u"A", u"A", rsUnTranslated}, {u"d", u"D", u"D-de", rsTranslated},
      {u"k", u"1", u"1", rsUnTranslated}, {u"k", u"X", u"X", rsUnTranslated},
      {u"b", u"B", u"B-de", rsUnused}};
  EXPECT_EQ(Items(*open->NotesFile()), want);
  EXPECT_EQ(Items(), want); // the file follows the merged order too
  EXPECT_EQ(Xlat(), "e = \"E\"\nc = \"C2\"\na = \"A\"\nd = \"D-de\"\nk = \"1\"\nk = \"X\"\n");
  const auto c = open->Items()->Get(1);
  EXPECT_EQ(c->GetPrevOrigText(0), u"C");
  EXPECT_EQ(c->GetPrevXlatText(0), u"C-de");
  const auto k = open->Items()->Get(5); // was untranslated: no history
  EXPECT_TRUE(k->GetPrevCount() == 0 || k->GetPrevOrigText(0).empty());

  // An unused item that comes back, even unchanged, is changed: untranslated, history kept.
  Write("src/a.lines", "b = \"B\"\n");
  s = Run(u);
  EXPECT_EQ(s.ChangedCount, 1);
  EXPECT_EQ(s.UnusedCount, 6);
  const auto b = open->Items()->Get(0);
  EXPECT_EQ(b->GetID(), u"b");
  EXPECT_EQ(b->GetStatus(), rsUnTranslated);
  EXPECT_EQ(b->GetPrevXlatText(0), u"B-de");
  EXPECT_EQ(u.GetTranslatorCount(-1), 3);

  // Kept items stay as they are.
  TTestUpdater keep;
  keep.KeepDeleted = true;
  Write("src/a.lines", "z = \"Z\"\n");
  s = Run(keep);
  EXPECT_EQ(s.UnusedCount, 0);
  EXPECT_EQ(s.UnchangedCount, 7);
  EXPECT_EQ(Items(*open->NotesFile())[1], (TItem{u"b", u"B", u"B", rsUnTranslated}));

  // Overwrite rebuilds from the source and drops the translation of d.
  Write("src/a.lines", "d = \"D\"\nz = \"Z\"\n");
  s = Run(u, {"src/a.lines"}, true);
  EXPECT_EQ(s.NewCount, 2);
  EXPECT_EQ(Items()[0], (TItem{u"d", u"D", u"D", rsUnTranslated}));
  EXPECT_EQ(Xlat(), "d = \"D\"\nz = \"Z\"\n");
}

// Edits in the translated file reach the notes before the source update merges.
TEST_F(UpdaterTest, TranslatedFileEditsComeFirst) {
  TTestUpdater u;
  Write("src/a.lines", "a = \"A\"\nb = \"B\"\nc = \"C\"\n");
  Run(u);
  Translate({{u"c", u"C-de"}});
  Write("de/a.lines", "a = \"A-hand\"\nb = \"B\"\n"); // c left out
  Write("src/a.lines", "a = \"A\"\nb = \"B2\"\nc = \"C\"\n");
  const TStats s = Run(u);
  EXPECT_EQ(s.ChangedCount, 1); // the nested run counts apart
  EXPECT_EQ(s.UnchangedCount, 2);
  const std::vector<TItem> want{{u"a", u"A", u"A-hand", rsTranslated},
                                {u"b", u"B2", u"B2", rsUnTranslated},
                                {u"c", u"C", u"C-de", rsTranslated}};
  EXPECT_EQ(Items(), want);
  EXPECT_EQ(Xlat(), "a = \"A-hand\"\nb = \"B2\"\nc = \"C-de\"\n");
  EXPECT_EQ(u.GetTranslatorCount(-1), 2);

  // A run of its own from the translated file, languages taken from the notes, is not counted;
  // the item the file lacks keeps its translation.
  Write("de/a.lines", "a = \"A-neu\"\nx = \"X\"\n");
  TStats t;
  u.Execute(nullptr, Dir.U16("de/a.lines"), u"", u"", u"", t, false, 0, 0, nullptr, {});
  EXPECT_EQ(t.ChangedCount, 1);
  EXPECT_EQ(t.NewCount, 1);
  EXPECT_EQ(t.UnchangedCount, 2);
  EXPECT_EQ(t.UnusedCount, 0);
  std::map<std::u16string, TItem> byId;
  for (const auto& item : Items())
    byId[item.ID] = item;
  ASSERT_EQ(byId.size(), 4u);
  EXPECT_EQ(byId[u"a"].Xlat, u"A-neu");
  EXPECT_EQ(byId[u"x"], (TItem{u"x", u"", u"X", rsTranslated}));
  EXPECT_EQ(byId[u"c"], (TItem{u"c", u"C", u"C-de", rsTranslated}));
  EXPECT_EQ(u.GetTranslatorCount(-1), 2);
}

// A missing map file is read from "debug/"; a ".orc" one reaches the package as a temporary
// copy in the original language's code page, or as UTF-8 with a mark when that cannot hold it.
TEST_F(UpdaterTest, MapFileRule) {
  TTestUpdater u;
  Write("src/debug/p.lines", "p = \"P\"\n");
  Write("src/debug/m.orc", "m = \"café\"\n");
  Write("src/debug/w.orc", "w = \"Ωmega\"\n");
  Run(u, {"src/p.lines", "src/m.orc", "src/w.orc"});
  ASSERT_EQ(u.Read.size(), 3u); // in name order
  EXPECT_EQ(u.Read[1], Dir.U16("src/debug/p.lines"));
  for (int i : {0, 2}) {
    EXPECT_FALSE(u.Read[i].starts_with(Dir.U16("src"))) << i;
    EXPECT_FALSE(FileExists(u.Read[i])) << i;
  }
  EXPECT_EQ(u.Bytes[0], "m = \"caf\xE9\"\n");
  EXPECT_EQ(u.Bytes[2], "\xEF\xBB\xBFw = \"Ωmega\"\n");
  EXPECT_EQ(Items("de/m.orc.xlf")[0].Orig, u"café");
  EXPECT_EQ(Items("de/w.orc.xlf")[0].Orig, u"Ωmega");
  EXPECT_EQ(Xlat("de/p.lines"), "p = \"P\"\n");
  TLinesNotesFile notes;
  notes.Open(Dir.U16("de/m.orc.xlf"));
  EXPECT_EQ(notes.GetStats()->GetOrigFileName(), Dir.U16("src/debug/m.orc"));

  // The dates recorded are those of the map files: nothing to read again.
  u.Read.clear();
  Run(u, {"src/p.lines", "src/m.orc", "src/w.orc"});
  EXPECT_TRUE(u.Read.empty());

  // A map that is not UTF-8, and a source in neither place, are errors of their files; the
  // sources around them stay where they are.
  Write("src/debug/x.orc", "x = \"\xFF\"\n");
  Run(u, {"src/p.lines", "src/x.orc", "src/gone.lines"});
  ASSERT_EQ(Errors.size(), 2u);
  EXPECT_NE(Errors[0].find(u"gone.lines"), std::u16string::npos);
  EXPECT_NE(Errors[1].find(u"x.orc"), std::u16string::npos);
  Errors.clear();
  EXPECT_TRUE(FileExists(Dir.U16("src/debug/p.lines")));
  EXPECT_TRUE(FileExists(Dir.U16("src/debug/x.orc")));
}

// A failed merge leaves the open file's items and its notes alone; a failed writer leaves the
// previous translated file and no stray copy. Each is reported and the next file is done.
TEST_F(UpdaterTest, FailuresLeaveThePreviousFiles) {
  TTestUpdater u;
  Write("src/a.lines", "a = \"A\"\nb = \"B\"\n");
  Run(u);
  const std::string notesBefore = qemtest::ReadTextFile(Dir.Path() / "de/a.lines.xlf");
  auto open = LinesMgrClass().Create(Dir.U16("de/a.lines"), false);
  const auto first = open->Items()->Get(0);
  u.FailOn = u"boom";
  Write("src/a.lines", "b = \"B2\"\nc = \"boom\"\n");
  Run(u);
  ASSERT_EQ(open->Count(), 2);
  EXPECT_EQ(open->Items()->Get(0), first);
  EXPECT_EQ(open->Items()->Get(1)->GetOrigText(), u"B");
  EXPECT_EQ(open->Items()->Get(1)->GetStatus(), rsUnTranslated);
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "de/a.lines.xlf"), notesBefore);
  // ... and is an error of the file, not a success.
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find(u"merge failed"), std::u16string::npos);
  Errors.clear();
  open.reset();

  u.FailOn.clear();
  Translate({{u"a", u"A-de"}});
  const std::string before = Xlat();
  u.WriterFail = u"a.lines";
  Write("src/a.lines", "a = \"A2\"\n");
  Write("src/b.lines", "b = \"B2\"\n");
  Run(u, {"src/a.lines", "src/b.lines"});
  EXPECT_EQ(Xlat(), before);
  EXPECT_EQ(Xlat("de/b.lines"), "b = \"B2\"\n");
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find(Dir.U16("de/a.lines")), std::u16string::npos) << UTF16ToUTF8(Errors[0]);
  // The user is told of the file, never of the temporary it was written to first.
  EXPECT_NE(Errors[0].find(u": a.lines: disk full"), std::u16string::npos)
      << UTF16ToUTF8(Errors[0]);
  EXPECT_EQ(Errors[0].find(u".~hlx"), std::u16string::npos);
  Errors.clear();
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path() / "de"), fs::directory_iterator()), 4);

  // A plain copy keeps the source's date.
  TTestUpdater copier;
  copier.NoWriter = true;
  Write("src/c.lines", "c = \"C\"\n");
  Run(copier, {"src/c.lines"});
  EXPECT_EQ(fs::last_write_time(Dir.Path() / "de/c.lines"),
            fs::last_write_time(Dir.Path() / "src/c.lines"));
}

// The line updater with resource names and former identifiers, as a package that changed how
// it keys items gives them.
class TKeyedUpdater : public TTestUpdater {
public:
  std::map<std::u16string, std::u16string> Former; // id -> its former id
  bool ReadFileStrings(const std::u16string& FileName) override {
    const bool ok = TTestUpdater::ReadFileStrings(FileName);
    for (int i = 0; i < FCurrStrings->Count(); ++i) {
      FCurrStrings->PutResName(i, u"GROUP");
      const auto found = Former.find(FCurrStrings->Get(i));
      if (found != Former.end()) FCurrStrings->PutFormerID(i, found->second);
    }
    return ok;
  }
};

TEST_F(UpdaterTest, ChangedAndUnusedItemsKeepTheirResourceName) {
  TKeyedUpdater u;
  Write("src/a.lines", "a = \"A\"\nb = \"B\"\nc = \"C\"\n");
  Run(u);
  Translate({{u"a", u"A-de"}, {u"b", u"B-de"}});
  Write("src/a.lines", "a = \"A2\"\nc = \"C\"\n");
  const TStats s = Run(u);
  EXPECT_EQ(s.ChangedCount, 1);
  EXPECT_EQ(s.UnusedCount, 1);
  TLinesNotesFile notes;
  notes.Open(Dir.U16("de/a.lines.xlf"));
  const auto items = notes.GetItems();
  ASSERT_EQ(items->Count(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(items->Get(i)->GetResName(), u"GROUP") << i;
  EXPECT_EQ(items->Get(2)->GetStatus(), rsUnused);
  EXPECT_EQ(items->Get(0)->GetPrevXlatText(0), u"A-de");
}

// Notes kept under former identifiers: an item takes over the notes of its former id when the
// text is the same; a changed text makes it new, and the old item goes unused.
TEST_F(UpdaterTest, ItemsTakeOverTheNotesOfTheirFormerIdentifiers) {
  TTestUpdater old;
  Write("src/a.lines", "1 = \"A\"\n2 = \"B\"\n3 = \"C\"\nkeep = \"K\"\n");
  Run(old);
  Translate({{u"1", u"A-de"}, {u"3", u"C-de"}, {u"keep", u"K-de"}});
  Write("src/a.lines", "1 = \"A0\"\n2 = \"B\"\n3 = \"C\"\nkeep = \"K\"\n");
  Run(old);
  Translate({{u"1", u"A0-de"}});

  TKeyedUpdater u;
  u.Former = {{u"x", u"1"}, {u"y", u"2"}, {u"z", u"3"}, {u"w", u"9"}};
  Write("src/a.lines", "x = \"A0\"\ny = \"B\"\nz = \"C2\"\nw = \"W\"\nkeep = \"K\"\n");
  const TStats s = Run(u);
  EXPECT_EQ(s.UnchangedCount, 3);
  EXPECT_EQ(s.NewCount, 2);
  EXPECT_EQ(s.UnusedCount, 1);
  const std::vector<TItem> want{
      {u"x", u"A0", u"A0-de", rsTranslated},  {u"y", u"B", u"B", rsUnTranslated},
      {u"z", u"C2", u"C2", rsUnTranslated},   {u"w", u"W", u"W", rsUnTranslated},
      {u"keep", u"K", u"K-de", rsTranslated}, {u"3", u"C", u"C-de", rsUnused}};
  EXPECT_EQ(Items(), want);
  EXPECT_EQ(Xlat(), "x = \"A0-de\"\ny = \"B\"\nz = \"C2\"\nw = \"W\"\nkeep = \"K-de\"\n");
  TLinesNotesFile notes;
  notes.Open(Dir.U16("de/a.lines.xlf"));
  const auto x = notes.GetItems()->Get(0);
  EXPECT_EQ(x->GetResName(), u"GROUP");
  EXPECT_EQ(x->GetPrevOrigText(0), u"A");
  EXPECT_EQ(x->GetPrevXlatText(0), u"A-de");
  // A second run finds everything under its own identifier.
  Write("src/a.lines", "x = \"A0\"\ny = \"B\"\nz = \"C2\"\nw = \"W\"\nkeep = \"K\"\n");
  EXPECT_EQ(Run(u).UnchangedCount, 5);
}

// A translated file written under the former keys is read back under the new ones.
TEST_F(UpdaterTest, TranslatedFileEditsReachItemsKeptUnderFormerIdentifiers) {
  TTestUpdater old;
  Write("src/a.lines", "1 = \"A\"\n2 = \"B\"\n");
  Run(old);
  TKeyedUpdater u;
  u.Former = {{u"x", u"1"}, {u"y", u"2"}};
  Write("de/a.lines", "x = \"A-hand\"\ny = \"B\"\n");
  TStats t;
  u.Execute(nullptr, Dir.U16("de/a.lines"), u"", u"", u"", t, false, 0, 0, nullptr, {});
  const std::vector<TItem> want{{u"x", u"A", u"A-hand", rsTranslated},
                                {u"y", u"B", u"B", rsUnTranslated}};
  EXPECT_EQ(Items(), want);
}

// A package that, while it reads a file, has another run made (a dependent file updated by
// another updater, or by itself), and notes what it saw of its own file around that run.
class TInterleavingUpdater : public TTestUpdater {
public:
  std::function<void()> During; // made once, from the next read
  std::vector<std::u16string> Seen;
  bool ReadFileStrings(const std::u16string& FileName) override {
    const bool ok = TTestUpdater::ReadFileStrings(FileName);
    if (const auto run = std::exchange(During, nullptr)) {
      const auto see = [&] {
        Seen.push_back(CurrXlatName() + (UpdateFromOrig() ? u" <" : u" >") +
                       ExtractFileName(FileName));
      };
      see();
      run();
      see();
    }
    return ok;
  }
};

TEST_F(UpdaterTest, TwoUpdatersInterleaveOverTheirFiles) {
  const auto run = [&](TLinesUpdater& U, const char* Name, const char* Lang, LCID Xlat) {
    TStringList files;
    files.Add(Dir.U16(Name));
    TStats stats;
    U.Execute(&files, u"", u"", Dir.U16("src"), Dir.U16(Lang), stats, false, 0x409, Xlat, nullptr,
              {});
    EXPECT_EQ(files.Count(), 1) << Name;
    return stats;
  };
  TInterleavingUpdater a, b;
  Write("src/a.lines", "a1 = \"A1\"\na2 = \"A2\"\n");
  Write("src/b.lines", "b1 = \"B1\"\n");
  Write("src/c.lines", "c1 = \"C1\"\n");
  // a reads a.lines, b then updates b.lines, and from its read a updates c.lines.
  a.During = [&] { EXPECT_EQ(run(b, "src/b.lines", "fr", 0x40C).NewCount, 1); };
  b.During = [&] { EXPECT_EQ(run(a, "src/c.lines", "de", 0x407).NewCount, 1); };
  EXPECT_EQ(run(a, "src/a.lines", "de", 0x407).NewCount, 2);
  EXPECT_EQ(a.Seen, (std::vector<std::u16string>{Dir.U16("de/a.lines") + u" <a.lines",
                                                 Dir.U16("de/a.lines") + u" <a.lines"}));
  EXPECT_EQ(b.Seen.front(), b.Seen.back());
  EXPECT_EQ(Items("de/a.lines.xlf"),
            (std::vector<TItem>{{u"a1", u"A1", u"A1"}, {u"a2", u"A2", u"A2"}}));
  EXPECT_EQ(Items("fr/b.lines.xlf"), (std::vector<TItem>{{u"b1", u"B1", u"B1"}}));
  EXPECT_EQ(Items("de/c.lines.xlf"), (std::vector<TItem>{{u"c1", u"C1", u"C1"}}));
  EXPECT_EQ(Xlat("de/a.lines"), "a1 = \"A1\"\na2 = \"A2\"\n");
  EXPECT_EQ(Xlat("fr/b.lines"), "b1 = \"B1\"\n");
  EXPECT_EQ(Xlat("de/c.lines"), "c1 = \"C1\"\n");
  EXPECT_EQ(a.GetTranslatorCount(-1), 2);
  EXPECT_EQ(b.GetTranslatorCount(-1), 1);

  // Again inside the nested run over a translator's edit of de/a.lines: the edit, the new
  // source string and the other updater's file all arrive.
  Write("de/a.lines", "a1 = \"A1-hand\"\na2 = \"A2\"\n");
  Write("src/a.lines", "a1 = \"A1\"\na2 = \"A2\"\na3 = \"A3\"\n");
  Write("src/b.lines", "b1 = \"B1\"\nb2 = \"B2\"\n");
  a.Seen.clear();
  a.During = [&] { EXPECT_EQ(run(b, "src/b.lines", "fr", 0x40C).NewCount, 1); };
  const TStats s = run(a, "src/a.lines", "de", 0x407);
  EXPECT_EQ(s.NewCount, 1);
  EXPECT_EQ(s.UnchangedCount, 2);
  ASSERT_EQ(a.Seen.size(), 2u);
  EXPECT_EQ(a.Seen[0], Dir.U16("de/a.lines") + u" >a.lines");
  EXPECT_EQ(a.Seen[1], a.Seen[0]);
  EXPECT_EQ(Items("de/a.lines.xlf"), (std::vector<TItem>{{u"a1", u"A1", u"A1-hand", rsTranslated},
                                                         {u"a2", u"A2", u"A2"},
                                                         {u"a3", u"A3", u"A3"}}));
  EXPECT_EQ(Items("fr/b.lines.xlf"),
            (std::vector<TItem>{{u"b1", u"B1", u"B1"}, {u"b2", u"B2", u"B2"}}));
  EXPECT_EQ(Xlat("de/a.lines"), "a1 = \"A1-hand\"\na2 = \"A2\"\na3 = \"A3\"\n");
}

// Dates count in even seconds; edits inside one of them are seen all the same.
TEST_F(UpdaterTest, EditsWithinOneSecondAreAllSeen) {
  TTestUpdater u;
  const std::u16string src = Dir.U16("src/a.lines");
  // The next even second: every time below has its date, and lies too close to the clock for
  // the time alone to be trusted for the whole test.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto slot = std::chrono::duration_cast<std::chrono::seconds>(now).count() / 2 * 2 + 2;
  const auto edit = [&](const std::string& Text, long Ms) {
    qemtest::WriteTextFile(QEMNativePath(src), Text);
    const timespec t{time_t(slot), Ms * 1000000};
    ASSERT_TRUE(QEMSetFileTime(src, t));
  };
  edit("a = \"A1\"\n", 100);
  Run(u);
  EXPECT_EQ(Items()[0].Orig, u"A1");
  edit("a = \"A2\"\n", 600); // same date, same size
  EXPECT_EQ(Run(u).ChangedCount, 1);
  EXPECT_EQ(Items()[0].Orig, u"A2");
  edit("a = \"A3\"\n", 600); // and the same time, as file systems that count coarsely give
  EXPECT_EQ(Run(u).ChangedCount, 1);
  EXPECT_EQ(Items()[0].Orig, u"A3");
  EXPECT_EQ(Xlat(), "a = \"A3\"\n");
  // Unchanged, it is not read again.
  u.Read.clear();
  Run(u);
  EXPECT_TRUE(u.Read.empty());

  // Older notes know the date alone: an equal date may hide an edit, so the file is read.
  Write("src/a.lines", "a = \"A3\"\n");
  Run(u);
  TLinesNotesFile notes;
  notes.Open(Dir.U16("de/a.lines.xlf"));
  EXPECT_FALSE(notes.GetStats()->GetOrigStamp().empty());
  notes.GetStats()->SetOrigStamp(u"");
  notes.SaveAs(Dir.U16("de/a.lines.xlf"));
  u.Read.clear();
  EXPECT_EQ(Run(u).UnchangedCount, 1);
  EXPECT_EQ(u.Read.size(), 1u);
  // The record is back, and an old source is trusted by its time.
  u.Read.clear();
  Run(u);
  EXPECT_TRUE(u.Read.empty());
}

// However the stamp was spelt, it decides: an unchanged source is not read again, one of
// another size or with another digest is, and so is one whose stamp cannot be read.
TEST_F(UpdaterTest, RecordedStampsDecideInEverySpelling) {
  TTestUpdater u;
  Write("src/a.lines", "a = \"A\"\n");
  Run(u);
  const std::u16string name = Dir.U16("de/a.lines.xlf");
  std::u16string time, size;
  {
    TLinesNotesFile notes;
    notes.Open(name);
    const std::u16string stamp = notes.GetStats()->GetOrigStamp();
    const size_t space = stamp.find(u' ');
    ASSERT_NE(space, std::u16string::npos);
    time = stamp.substr(0, space);
    size = stamp.substr(space + 1);
  }
  const auto runWith =
      [&](const std::function<std::u16string(std::u16string, std::u16string)>& Spell) {
        TLinesNotesFile notes;
        notes.Open(name);
        notes.GetStats()->SetOrigStamp(Spell(time, size));
        notes.SaveAs(name);
        u.Read.clear();
        Run(u);
        return u.Read.size();
      };
  using S = std::u16string;
  EXPECT_EQ(runWith([](S T, S Size) { return T + u" " + Size; }), 0u);
  EXPECT_EQ(runWith([](S T, S Size) { return u" " + T + u"\t " + Size + u" "; }), 0u);
  EXPECT_EQ(runWith([](S T, S Size) { return u"0" + T + u" " + Size; }), 0u);
  EXPECT_EQ(runWith([](S T, S) { return T + u" 9"; }), 1u);
  EXPECT_EQ(runWith([](S T, S Size) { return T + u" " + Size + u" 0123456789abcdef"; }), 1u);
  EXPECT_EQ(runWith([](S T, S Size) { return T + u"x " + Size; }), 1u);
  EXPECT_EQ(runWith([](S, S Size) { return u"99999999999999999999 " + Size; }), 1u);
  EXPECT_EQ(runWith([](S, S) { return S(u"junk"); }), 1u);
  EXPECT_EQ(runWith([](S T, S Size) { return T + u" " + Size; }), 0u);
}

// Asked again for the same file, the updater names it as before, makes its folder again if it
// went, and records the source again.
TEST_F(UpdaterTest, AskedAgainTheTranslatedNameComesWithItsFolderAndSource) {
  TTestUpdater u;
  const std::u16string src = Dir.U16("src/sub/a.lines");
  const std::u16string xlat = u.GetXlatFileName(src, Dir.U16("de"), Dir.U16("src"), nullptr);
  EXPECT_EQ(xlat, Dir.U16("de/sub/a.lines"));
  fs::remove_all(Dir.Path() / "de");
  QEMSetProjectSourceFile(xlat, Dir.U16("src/other.lines"));
  EXPECT_EQ(u.GetXlatFileName(src, Dir.U16("de"), Dir.U16("src"), nullptr), xlat);
  EXPECT_TRUE(fs::is_directory(Dir.Path() / "de/sub"));
  EXPECT_EQ(QEMProjectSourceFile(xlat), src);
  EXPECT_EQ(u.GetXlatFileName(src, Dir.U16("de"), Dir.U16("src/sub"), nullptr),
            Dir.U16("de/a.lines"));
  EXPECT_EQ(u.GetXlatFileName(src, Dir.U16("fr"), Dir.U16("src"), nullptr),
            Dir.U16("fr/sub/a.lines"));
  // Asked again after other languages, not straight after: the same, folder and source too.
  fs::remove_all(Dir.Path() / "de");
  QEMSetProjectSourceFile(xlat, Dir.U16("src/other.lines"));
  EXPECT_EQ(u.GetXlatFileName(src, Dir.U16("de"), Dir.U16("src"), nullptr), xlat);
  EXPECT_TRUE(fs::is_directory(Dir.Path() / "de/sub"));
  EXPECT_EQ(QEMProjectSourceFile(xlat), src);
}

// An unchanged run decides from the notes headers alone; a changed source reads its notes whole.
TEST_F(UpdaterTest, AnUnchangedRunParsesNoNotesBody) {
  TTestUpdater u;
  Write("src/a.lines", "a = \"A\"\nb = \"B\"\n");
  Write("src/b.lines", "c = \"C\"\n");
  Run(u, {"src/a.lines", "src/b.lines"});
  Translate({{u"a", u"A-de"}});
  Run(u, {"src/a.lines", "src/b.lines"});
  int64_t before = QEMNotesBodyReads();
  TStats s = Run(u, {"src/a.lines", "src/b.lines"});
  EXPECT_EQ(QEMNotesBodyReads() - before, 0);
  EXPECT_EQ(s.ChangedCount, 0);

  Write("src/b.lines", "c = \"C2\"\n");
  before = QEMNotesBodyReads();
  s = Run(u, {"src/a.lines", "src/b.lines"});
  EXPECT_EQ(QEMNotesBodyReads() - before, 1);
  EXPECT_EQ(s.ChangedCount, 1);
  EXPECT_EQ(Items()[0], (TItem{u"a", u"A", u"A-de", rsTranslated}));
  EXPECT_EQ(Items("de/b.lines.xlf")[0].Orig, u"C2");
}

} // namespace
