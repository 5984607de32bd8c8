// The form-file package as built, loaded through the package loader and driven through the
// contract only: updater runs, managers, file type.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <tuple>

#include "qem.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using qemtest::ReadTextFile;
using qemtest::WriteTextFile;

namespace {

constexpr LCID kENU = 0x409, kDEU = 0x407, kFRA = 0x40C, kJPN = 0x411;

fs::path DataDir() {
  return fs::path(getenv("HLX_TEST_DATA")) / "ofm";
}
std::u16string U16(const fs::path& P) {
  return UTF8ToUTF16(P.string());
}

class OFMPackage : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Module = QEMLoadPackage(UTF8ToUTF16(OFM_PACKAGE_PATH));
    for (int i = 0; i < QEMFileTypes().Count(); ++i)
      if (QEMFileTypes().GetQEMFileType(i)->GetName() == u"Form")
        Type = QEMFileTypes().GetQEMFileType(i);
  }
  static void TearDownTestSuite() {
    Type.reset();
    QEMUnloadPackage(Module);
  }
  void SetUp() override {
    ASSERT_TRUE(Type);
    ShowErrorFunc = [this](const std::u16string& M) { Errors.push_back(UTF16ToUTF8(M)); };
    fs::copy_file(DataDir() / "Main.ofm", Src);
  }
  void TearDown() override { ShowErrorFunc = nullptr; }

  fs::path Xlat(LCID L = kDEU) const {
    return Dir.Path() / (L == kDEU ? "deu" : L == kFRA ? "fra" : "jpn") / "Main.ofm";
  }
  fs::path Notes(LCID L = kDEU) const { return fs::path(Xlat(L).string() + ".xlf"); }
  TStats Update(LCID L = kDEU) {
    TStringList files;
    files.Add(U16(Src));
    TStats stats;
    Type->GetUpdater()->Execute(&files, u"", u"", Dir.U16(), U16(Xlat(L).parent_path()), stats,
                                false, kENU, L, nullptr, {});
    return stats;
  }
  // Rewrites the source with a later date, so the next run sees it changed.
  void TouchSource(const std::string& Text) {
    const auto before = fs::last_write_time(Src);
    WriteTextFile(Src, Text);
    fs::last_write_time(Src, before + std::chrono::seconds(10));
  }
  std::unique_ptr<TQEMTranslatorMgr> Mgr(LCID L = kDEU) {
    auto* base = dynamic_cast<TQEMBaseFileType*>(Type.get());
    return base->Translator()->GetMgrClass().Create(U16(Xlat(L)), false);
  }
  static IQEMNotesItemPtr Item(TQEMTranslatorMgr& M, const std::u16string& ID) {
    for (int i = 0; i < M.Count(); ++i)
      if (M.Items()->Get(i)->GetID() == ID) return M.Items()->Get(i);
    return nullptr;
  }
  static void Translate(TQEMTranslatorMgr& M, const std::u16string& ID,
                        const std::u16string& Text) {
    auto item = Item(M, ID);
    ASSERT_TRUE(item) << UTF16ToUTF8(ID);
    item->SetXlatText(Text);
    item->SetStatus(rsTranslated);
  }

  static inline void* Module = nullptr;
  static inline IQEMFileTypePtr Type;
  qemtest::TTempDir Dir;
  fs::path Src = Dir.Path() / "Main.ofm";
  std::vector<std::string> Errors;
};

TEST_F(OFMPackage, FindsTheItemsOfEveryConstruct) {
  EXPECT_EQ(Type->GetExts().Count(), 3);
  EXPECT_TRUE(Type->GetKindBitmap(0)->Bitmap);
  EXPECT_TRUE(Type->AcceptsFile(U16(Src)));
  const TStats stats = Update();
  EXPECT_EQ(stats.NewCount, 11);
  auto mgr = Mgr();
  std::vector<std::pair<std::u16string, std::u16string>> got;
  for (int i = 0; i < mgr->Count(); ++i)
    got.emplace_back(mgr->Items()->Get(i)->GetID(), mgr->Items()->Get(i)->GetOrigText());
  const std::vector<std::pair<std::u16string, std::u16string>> want{
      {u"MainForm.Caption", u"'Demo editor'"},
      {u"MainForm.FileMenu.Caption", u"'&File'"},
      {u"MainForm.FileMenu.OpenItem.Caption", u"'&Open\u2026'"},
      {u"MainForm.FileMenu.OpenItem.Hint", u"'Opens a r\u00e9sum\u00e9'"},
      {u"MainForm.Memo1.Lines.Strings[0]", u"'First line'"},
      {u"MainForm.Memo1.Lines.Strings[1]", u"'It''s the second'"},
      {u"MainForm.Memo1.Lines.Strings[2]", u"'Long text that goes on and on over two lines'"},
      {u"MainForm.Grid.Columns[0].Title.Caption", u"'Name'"},
      {u"MainForm.Grid.Columns[1].Title.Caption", u"'Caf\u00e9'"},
      {u"MainForm.Frame1.Label1.Caption", u"'Gr\u00f6\u00dfe'"},
      {u"MainForm.Frame1.OkButton.Caption", u"'OK'"}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(mgr->NotesFile()->GetDataType(), u"x-hlx-form");
  EXPECT_EQ(mgr->ConvertToRawString(u"'It''s'#13#10"), u"It's\r\n");
  // Nothing translated yet: the copy is the source, byte for byte.
  EXPECT_EQ(ReadTextFile(Xlat()), ReadTextFile(Src));
}

// The updater writes the translated form from the reading it merged, the manager from a new
// parse of the source: the same file, with translations longer than their sources.
TEST_F(OFMPackage, AnUpdateWritesWhatTheManagerWrites) {
  Update();
  auto mgr = Mgr();
  for (int i = 0; i < mgr->Count(); ++i) {
    const auto item = mgr->Items()->Get(i);
    std::u16string xlat = item->GetOrigText();
    if (xlat.empty() || xlat.back() != u'\'') continue;
    item->SetXlatText(xlat.insert(xlat.size() - 1, u" (\u00fcbersetzt, \u4e16)"));
    item->SetStatus(rsTranslated);
  }
  mgr->Save(true, kENU, kDEU, false);
  TouchSource(ReadTextFile(Src) + "\r\n");
  Update();
  const std::string updated = ReadTextFile(Xlat());
  EXPECT_NE(updated.find("bersetzt"), std::string::npos);
  Mgr()->RecreateXlat();
  EXPECT_EQ(updated, ReadTextFile(Xlat()));
  EXPECT_TRUE(Errors.empty());
}

TEST_F(OFMPackage, ExclusionListComesFromTheRegistry) {
  {
    TQEMRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey() + u"\\" + Type->GetSubKey(), true));
    reg.WriteString(u"ExcludedProperties", u"Caption; Strings");
  }
  Update();
  auto mgr = Mgr();
  std::vector<std::u16string> ids;
  for (int i = 0; i < mgr->Count(); ++i)
    ids.push_back(mgr->Items()->Get(i)->GetID());
  TQEMRegistry reg;
  reg.OpenKey(QEMBaseRegKey() + u"\\" + Type->GetSubKey(), false);
  reg.DeleteValue(u"ExcludedProperties");
  EXPECT_EQ(ids, (std::vector<std::u16string>{
                     u"MainForm.Font.Name", u"MainForm.FileMenu.OpenItem.Hint",
                     u"MainForm.Memo1.DataField", u"MainForm.Grid.Columns[0].FieldName"}));
}

// Each language keeps its translation over a second run. The German golden file: only the
// translated literals differ from the source, a joined literal becomes one, and a character
// cp1252 lacks becomes a code; cp932 holds the Japanese text but not the accents of the hint.
TEST_F(OFMPackage, EachLanguageKeepsItsTranslationAndEveryCharacter) {
  const std::vector<std::tuple<LCID, std::u16string, std::u16string>> langs{
      {kDEU, u"MainForm.Caption", u"'Demo-Editor'"},
      {kFRA, u"MainForm.FileMenu.Caption", u"'&Fichier'"},
      {kJPN, u"MainForm.FileMenu.Caption", u"'\u30d5\u30a1\u30a4\u30eb(&F)'"}};
  for (const auto& [lang, id, text] : langs) {
    Update(lang);
    auto mgr = Mgr(lang);
    Translate(*mgr, id, text);
    if (lang == kDEU) {
      Translate(*mgr, u"MainForm.FileMenu.OpenItem.Caption", u"'&\u00d6ffnen\u2026'");
      Translate(*mgr, u"MainForm.Memo1.Lines.Strings[1]", u"'Es ist die zweite'");
      Translate(*mgr, u"MainForm.Memo1.Lines.Strings[2]", u"'Langer Text'");
      Translate(*mgr, u"MainForm.Grid.Columns[1].Title.Caption", u"'\u03a9-Caf\u00e9'");
    }
    mgr->Save(true, 0, 0, false);
  }
  EXPECT_EQ(ReadTextFile(Xlat()), ReadTextFile(DataDir() / "Main.deu.ofm"));
  TouchSource(ReadTextFile(Src));
  for (const auto& [lang, id, text] : langs) {
    const std::string before = ReadTextFile(Xlat(lang));
    const TStats stats = Update(lang);
    EXPECT_EQ(stats.UnchangedCount, 11);
    EXPECT_EQ(stats.NewCount + stats.ChangedCount + stats.UnusedCount, 0);
    EXPECT_EQ(ReadTextFile(Xlat(lang)), before);
    EXPECT_EQ(Item(*Mgr(lang), id)->GetXlatText(), text);
  }
  const std::string jpn = ReadTextFile(Xlat(kJPN));
  EXPECT_NE(jpn.find("Caption = '\x83t\x83@\x83"
                     "C\x83\x8b(&F)'"),
            std::string::npos);
  EXPECT_NE(jpn.find("Hint = 'Opens a r'#233'sum'#233"), std::string::npos);
  EXPECT_TRUE(Errors.empty());
}

// Then egg build, purge and recreate over the result.
TEST_F(OFMPackage, ChangedStringGoesToHistoryAndVanishedOneIsUnused) {
  Update();
  {
    auto mgr = Mgr();
    Translate(*mgr, u"MainForm.Caption", u"'Demo-Editor'");
    Translate(*mgr, u"MainForm.FileMenu.OpenItem.Hint", u"'\u00d6ffnet'");
    mgr->Save(true, 0, 0, false);
  }
  std::string text = ReadTextFile(Src);
  text.replace(text.find("Demo editor"), 11, "Demo writer");
  text.erase(text.find("      Hint ="), text.find("      ShortCut") - text.find("      Hint ="));
  TouchSource(text);
  const TStats stats = Update();
  EXPECT_EQ(stats.ChangedCount, 1);
  EXPECT_EQ(stats.UnusedCount, 1);
  auto mgr = Mgr();
  const auto changed = Item(*mgr, u"MainForm.Caption");
  EXPECT_EQ(changed->GetStatus(), rsUnTranslated);
  EXPECT_EQ(changed->GetOrigText(), u"'Demo writer'");
  EXPECT_EQ(changed->GetPrevOrigText(0), u"'Demo editor'");
  EXPECT_EQ(changed->GetPrevXlatText(0), u"'Demo-Editor'");
  EXPECT_EQ(Item(*mgr, u"MainForm.FileMenu.OpenItem.Hint")->GetStatus(), rsUnused);
  EXPECT_EQ(ReadTextFile(Xlat()), ReadTextFile(Src));
  mgr.reset();

  {
    TQEMRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey() + u"\\EggFormat", true));
    reg.WriteString(u"UnTranslated.Form", u"[%S]");
  }
  QEMEggResetCache();
  TStringList files;
  files.Add(U16(Xlat()));
  Type->List(leEggBuild, files, nullptr, {});
  Type->List(lePurge, files, nullptr, {});
  {
    TQEMRegistry reg;
    reg.OpenKey(QEMBaseRegKey() + u"\\EggFormat", false);
    reg.DeleteValue(u"UnTranslated.Form");
  }
  QEMEggResetCache();
  mgr = Mgr();
  EXPECT_EQ(mgr->Count(), 10);
  EXPECT_EQ(Item(*mgr, u"MainForm.Memo1.Lines.Strings[1]")->GetXlatText(), u"'[It''s the second]'");
  EXPECT_EQ(Item(*mgr, u"MainForm.Memo1.Lines.Strings[1]")->GetStatus(),
            GetEggStatus(rsUnTranslated, u"Form"));
  const std::string egged = ReadTextFile(Xlat());
  EXPECT_NE(egged.find("Caption = '[Gr\xF6\xDF"
                       "e]'"),
            std::string::npos);
  fs::remove(Xlat());
  Type->List(leRecreateXlat, files, nullptr, {});
  EXPECT_EQ(ReadTextFile(Xlat()), egged);
}

// A font name the target code page lacks is no reason to refuse the form: it is not text to
// translate, and character codes hold it.
TEST_F(OFMPackage, ExcludedValuesTheTargetCannotHoldBecomeCodes) {
  // Shift-JIS bytes of a Japanese form: a font name of full-width letters and a caption.
  WriteTextFile(Src, "object F: TF\n  Font.Name = '\x82\x6C\x82\x72'\n  Caption = 'x'\nend\n");
  TStringList files;
  files.Add(U16(Src));
  TStats stats;
  Type->GetUpdater()->Execute(&files, u"", u"", Dir.U16(), U16(Xlat().parent_path()), stats, false,
                              kJPN, kDEU, nullptr, {});
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0]);
  EXPECT_EQ(stats.NewCount, 1);
  EXPECT_NE(ReadTextFile(Xlat()).find("Font.Name = #65325#65331"), std::string::npos)
      << ReadTextFile(Xlat());
}

TEST_F(OFMPackage, RefusesBinaryAndBrokenFormsLeavingTheTranslationAlone) {
  Update();
  const std::string xlat = ReadTextFile(Xlat()), notes = ReadTextFile(Notes());
  const std::vector<std::pair<std::string, std::string>> cases{
      {std::string("TPF0\x0ATMainForm\x08MainForm\x00\x00", 21), "damaged binary form"},
      {"object A: TForm\n  Caption = 'open\nend\n", "Main.ofm(2): unterminated string"},
      {"object A: TForm\n  Caption = 'x'\nend\nend\n", "Main.ofm(4): text after the last"},
      {"object A: TForm\n  object B: TButton\n    Caption = 'x'\n  end\n",
       "Main.ofm(5): unexpected end of file"},
      {"object A: TForm\n  Lines.Strings = (\n    'a'\n  Caption = 'x'\nend\n",
       "Main.ofm(2): unclosed \"(\""},
      {"object A: TForm\n  Caption = '" + std::string(70000, 'x') + "'\nend\n",
       "Main.ofm(2): line longer"},
      {"\xEF\xBB\xBFobject A: TForm\n  Caption = 'x\xC3('\nend\n", "Main.ofm(2): invalid UTF-8"}};
  for (const auto& [source, message] : cases) {
    Errors.clear();
    TouchSource(source);
    Update();
    ASSERT_EQ(Errors.size(), 1u) << message;
    EXPECT_NE(Errors[0].find(message), std::string::npos) << Errors[0];
    EXPECT_NE(Errors[0].find(Src.string()), std::string::npos) << Errors[0];
    EXPECT_EQ(ReadTextFile(Xlat()), xlat);
    EXPECT_EQ(ReadTextFile(Notes()), notes);
  }
  // Binary forms are taken: this one is damaged, not of another type.
  TouchSource(cases[0].first);
  EXPECT_TRUE(Type->AcceptsFile(U16(Src)));
}

} // namespace

namespace {

// Egg patterns for the test's duration.
struct TEggPattern {
  explicit TEggPattern(const std::u16string& Pattern) {
    TQEMRegistry reg;
    EXPECT_TRUE(reg.OpenKey(QEMBaseRegKey() + u"\\EggFormat", true));
    reg.WriteString(u"UnTranslated.Form", Pattern);
    QEMEggResetCache();
  }
  ~TEggPattern() {
    TQEMRegistry reg;
    if (reg.OpenKey(QEMBaseRegKey() + u"\\EggFormat", false)) reg.DeleteValue(u"UnTranslated.Form");
    QEMEggResetCache();
  }
};

// Rewrites the source path a notes file records, as someone handling the file could.
void ForgeOriginal(const fs::path& Notes, const std::string& Path) {
  std::string text = ReadTextFile(Notes);
  const size_t at = text.find("original=\"");
  ASSERT_NE(at, std::string::npos);
  const size_t end = text.find('"', at + 10);
  text.replace(at + 10, end - at - 10, Path);
  WriteTextFile(Notes, text);
}

} // namespace

// The notes' record of the source is never a path to act on: egg builds and rewrites use the
// project's source, and the record is corrected.
TEST_F(OFMPackage, RewritesTakeTheSourceFromTheProjectNeverFromTheNotes) {
  Update();
  {
    auto mgr = Mgr();
    Translate(*mgr, u"MainForm.Caption", u"'Demo-Editor'");
    mgr->Save(true, 0, 0, false);
  }
  std::string other = ReadTextFile(Src);
  other.replace(other.find("First line"), 10, "Other line");
  WriteTextFile(Dir.Path() / "Other.ofm", other);

  ForgeOriginal(Notes(), "/etc/passwd");
  {
    TEggPattern egg(u"[%S]");
    TStringList files;
    files.Add(U16(Xlat()));
    Type->List(leEggBuild, files, nullptr, {});
  }
  std::string xlat = ReadTextFile(Xlat());
  EXPECT_EQ(xlat.find("root:"), std::string::npos);
  EXPECT_NE(xlat.find("Caption = 'Demo-Editor'"), std::string::npos);
  EXPECT_NE(xlat.find("'[First line]'"), std::string::npos);
  EXPECT_EQ(Mgr()->Stats()->GetOrigFileName(), U16(Src));
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0]);

  // Another file of the folder: an update run and a recreate both stay with the project's.
  ForgeOriginal(Notes(), (Dir.Path() / "Other.ofm").string());
  Update();
  EXPECT_EQ(Mgr()->Stats()->GetOrigFileName(), U16(Src));
  EXPECT_EQ(ReadTextFile(Xlat()), xlat);
  ForgeOriginal(Notes(), (Dir.Path() / "Other.ofm").string());
  fs::remove(Xlat());
  TStringList files;
  files.Add(U16(Xlat()));
  Type->List(leRecreateXlat, files, nullptr, {});
  EXPECT_EQ(ReadTextFile(Xlat()), xlat);
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0]);
}

// A project copied elsewhere (a fresh checkout) is egged from its own folder; a file no project
// names is reported by name and the others are still egged.
TEST_F(OFMPackage, AMovedProjectIsEggedFromItsNewFolder) {
  Update();
  qemtest::TTempDir moved;
  fs::copy(Dir.Path(), moved.Path(), fs::copy_options::recursive);
  std::string old = ReadTextFile(Src);
  old.replace(old.find("First line"), 10, "Stale line");
  TouchSource(old);
  // What the workspace does when it lists the moved project's files.
  const std::u16string xlat = Type->GetUpdater()->GetXlatFileName(
      U16(moved.Path() / "Main.ofm"), U16(moved.Path() / "deu"), moved.U16(), nullptr);
  EXPECT_EQ(xlat, U16(moved.Path() / "deu/Main.ofm"));
  fs::create_directories(moved.Path() / "stray");
  fs::copy(moved.Path() / "deu/Main.ofm", moved.Path() / "stray/Main.ofm");
  fs::copy(moved.Path() / "deu/Main.ofm.xlf", moved.Path() / "stray/Main.ofm.xlf");
  {
    TEggPattern egg(u"<%S>");
    TStringList files;
    files.Add(U16(moved.Path() / "stray/Main.ofm"));
    files.Add(xlat);
    Type->List(leEggBuild, files, nullptr, {});
  }
  const std::string text = ReadTextFile(moved.Path() / "deu/Main.ofm");
  EXPECT_NE(text.find("'<First line>'"), std::string::npos);
  EXPECT_EQ(text.find("Stale"), std::string::npos);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find((moved.Path() / "stray/Main.ofm").string()), std::string::npos);
  EXPECT_EQ(ReadTextFile(moved.Path() / "stray/Main.ofm"),
            ReadTextFile(Src.parent_path() / "deu/Main.ofm"));
}

// A translation far longer than a line the reader takes is written in joined pieces and reads
// back whole.
TEST_F(OFMPackage, AMillionCharacterTranslationIsWrittenAndReadBack) {
  Update();
  std::u16string raw;
  raw.reserve(1000000);
  while (raw.size() < 1000000 - 4)
    raw += raw.size() % 9973 == 0 ? u"It's \u03a9\r\n" : u"abcdefghijklmnopqrstuvwxyz ";
  raw.resize(1000000);
  std::u16string literal;
  {
    auto mgr = Mgr();
    literal = mgr->ConvertFromRawString(raw);
    Translate(*mgr, u"MainForm.Memo1.Lines.Strings[1]", literal);
    mgr->Save(true, 0, 0, false);
  }
  const std::string text = ReadTextFile(Xlat());
  size_t longest = 0;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    longest = std::max(longest, end - start);
  }
  EXPECT_LE(longest, size_t(4200));
  // Read back as a translator's edit would be: the translated file is newer than its notes.
  fs::last_write_time(Xlat(), fs::last_write_time(Xlat()) + std::chrono::seconds(10));
  TStats stats;
  Type->GetUpdater()->Execute(nullptr, U16(Xlat()), u"", Dir.U16(), U16(Xlat().parent_path()),
                              stats, false, kENU, kDEU, nullptr, {});
  EXPECT_EQ(Item(*Mgr(), u"MainForm.Memo1.Lines.Strings[1]")->GetXlatText(), literal);
  EXPECT_EQ(Item(*Mgr(), u"MainForm.Caption")->GetXlatText(), u"'Demo editor'");
  EXPECT_TRUE(Errors.empty()) << (Errors.empty() ? "" : Errors[0].substr(0, 300));
}
