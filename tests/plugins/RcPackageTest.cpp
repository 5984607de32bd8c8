// rc140.fpl through the real loader: updates of resource scripts and maps, golden files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

#include "qem.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Data(const std::string& Name) {
  return qemtest::ReadTextFile(std::string(std::getenv("HLX_TEST_DATA")) + "/rc/" + Name);
}

class RcPackageTest : public ::testing::Test {
protected:
  void SetUp() override {
    Mgr.OnError = [](const std::u16string& S) { ADD_FAILURE() << UTF16ToUTF8(S); };
    ASSERT_TRUE(Mgr.ProcessLoadTranslator(UTF8ToUTF16(HLX_RC_PACKAGE)));
    fs::create_directories(Dir.Path() / "src");
    QEMSetUIServices(UI);
  }
  void TearDown() override {
    QEMSetUIServices(nullptr);
    Mgr.UnloadAll();
  }
  std::u16string Shown() const {
    std::u16string all;
    for (const auto& s : UI->Shown())
      all += s.Text + u"\n";
    return all;
  }

  // Dates count in even seconds: each new version is dated later so the updater reads it.
  void WriteSource(const std::string& Name, const std::string& Text) {
    const fs::path p = Dir.Path() / "src" / Name;
    qemtest::WriteTextFile(p, Text);
    fs::last_write_time(p,
                        fs::file_time_type::clock::now() + std::chrono::seconds(10 * ++FVersion));
  }
  std::string Update(const std::string& Name, LCID Xlat, LCID Orig = 0x409) {
    TStringList files;
    files.Add(Dir.U16("src/" + Name));
    TStats stats;
    const auto type = QEMFileTypeOfProjectFile(UTF8ToUTF16(Name), u"");
    EXPECT_NE(type, nullptr);
    type->GetUpdater()->Execute(&files, u"", u"", Dir.U16("src"), Dir.U16("out"), stats, false,
                                Orig, Xlat, nullptr, {});
    return qemtest::ReadTextFile(Dir.Path() / "out" / Name);
  }
  std::unique_ptr<TQEMTranslatorMgr> Manager(const std::string& Name) {
    const auto type = std::dynamic_pointer_cast<TQEMBaseFileType>(
        QEMFileTypeOfProjectFile(UTF8ToUTF16(Name), u""));
    EXPECT_NE(type, nullptr);
    return type->Translator()->GetMgrClass().Create(Dir.U16("out/" + Name), false);
  }
  // As the translator window would: through the package's manager, which writes the file.
  void Translate(const std::string& Name, LCID Xlat,
                 const std::map<std::u16string, std::u16string>& T) {
    const auto type = std::dynamic_pointer_cast<TQEMBaseFileType>(
        QEMFileTypeOfProjectFile(UTF8ToUTF16(Name), u""));
    ASSERT_NE(type, nullptr);
    const auto mgr = type->Translator()->GetMgrClass().Create(Dir.U16("out/" + Name), false);
    size_t done = 0;
    for (int i = 0; i < mgr->Count(); ++i) {
      const auto found = T.find(mgr->Items()->Get(i)->GetID());
      if (found == T.end()) continue;
      mgr->Items()->Get(i)->SetXlatText(found->second);
      mgr->Items()->Get(i)->SetStatus(rsTranslated);
      ++done;
    }
    EXPECT_EQ(done, T.size());
    mgr->Save(true, 0x409, Xlat, false);
  }

  TQEMPackageManager Mgr;
  qemtest::TTempDir Dir;
  int FVersion = 0;
  std::shared_ptr<TQEMScriptedUIServices> UI = std::make_shared<TQEMScriptedUIServices>();
};

TEST_F(RcPackageTest, TranslationsDifferOnlyInLiteralsAndSurviveAnotherRun) {
  const std::map<std::u16string, std::u16string> de{
      {u"STRINGTABLE.IDS_QUOTE", u"\"Sag \"\"Käse\"\"\""},
      {u"STRINGTABLE.IDS_JOINED", u"\"Über \" \"Zeilen hinweg\""},
      {u"IDR_MAIN.ID_FILE_OPEN", u"\"Ö&ffnen...\\tStrg+O\""},
      {u"IDD_ABOUT.Caption", u"\"Über das Beispiel\""}};
  const std::map<std::u16string, std::u16string> ja{
      {u"STRINGTABLE.IDS_HELLO", u"\"こんにちは、世界\""},
      {u"IDR_MAIN.@0", u"\"ファイル(&F)\""},
      {u"IDD_ABOUT.IDOK", u"\"ソ表\""}}; // second bytes 0x5C in code page 932
  for (const auto& [lcid, xlat, golden] :
       {std::tuple{0x407u, de, "sample.deu.rc"}, {0x411u, ja, "sample.jpn.rc"}}) {
    WriteSource("sample.rc", Data("sample.rc"));
    Update("sample.rc", lcid);
    Translate("sample.rc", lcid, xlat);
    EXPECT_EQ(Update("sample.rc", lcid), Data(golden)) << golden;
    const std::string notes = qemtest::ReadTextFile(Dir.Path() / "out/sample.rc.xlf");
    EXPECT_EQ(Update("sample.rc", lcid), Data(golden)) << golden;
    EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "out/sample.rc.xlf"), notes);
    fs::remove_all(Dir.Path() / "out");
  }
  EXPECT_EQ(Shown(), u"");
}

TEST_F(RcPackageTest, CharactersOutsideTheCodePageMakeAUtf8Script) {
  WriteSource("sample.rc", Data("sample.rc"));
  Update("sample.rc", 0x407);
  Translate("sample.rc", 0x407, {{u"STRINGTABLE.IDS_HELLO", u"\"Hallo, 世界\""}});
  const std::string out = Update("sample.rc", 0x407);
  ASSERT_TRUE(out.starts_with("\xEF\xBB\xBF"));
  EXPECT_NE(out.find("\"Hallo, \xE4\xB8\x96\xE7\x95\x8C\""), std::string::npos);
  EXPECT_NE(out.find("#pragma code_page(65001)\r\n"), std::string::npos);
  EXPECT_EQ(out.find("1252"), std::string::npos);
}

// Nothing translated yet: the copy is the source, unless its text needs another form.
TEST_F(RcPackageTest, AnUntranslatedScriptIsCopiedAsItStands) {
  const std::string ascii = "// Sample\r\nSTRINGTABLE\r\nBEGIN\r\n  IDS_A \"Alpha\"\r\n"
                            "  IDS_B \"Beta \\\"two\\\"\"\r\nEND\r\n";
  WriteSource("plain.rc", ascii);
  EXPECT_EQ(Update("plain.rc", 0x407), ascii);
  EXPECT_EQ(Update("plain.rc", 0x407), ascii);
  // Language statements and code-page pragmas still name the target.
  WriteSource("plain.rc",
              "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\r\n#pragma code_page(1252)\r\n" + ascii);
  EXPECT_EQ(Update("plain.rc", 0x419),
            "LANGUAGE 0x19, 0x01\r\n#pragma code_page(1251)\r\n" + ascii);
  // A translation rewrites its literal alone.
  Translate("plain.rc", 0x419, {{u"STRINGTABLE.IDS_A", u"\"Alfa\""}});
  std::string alfa = "LANGUAGE 0x19, 0x01\r\n#pragma code_page(1251)\r\n" + ascii;
  alfa.replace(alfa.find("Alpha"), 5, "Alfa");
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "out/plain.rc"), alfa);
  WriteSource("plain.rc", qemtest::ReadTextFile(Dir.Path() / "src/plain.rc"));
  EXPECT_EQ(Update("plain.rc", 0x419), alfa);
  // A comment the target code page cannot hold makes the copy UTF-8, literals as they were.
  const std::string wide = "\xEF\xBB\xBF// \xE4\xB8\x96\r\nSTRINGTABLE\r\nBEGIN\r\n"
                           "  IDS_A \"Gr\xC3\xB6\xC3\x9F"
                           "e\"\r\nEND\r\n";
  WriteSource("wide.rc", wide);
  const std::string out = Update("wide.rc", 0x407);
  ASSERT_TRUE(out.starts_with("\xEF\xBB\xBF"));
  EXPECT_NE(out.find("#pragma code_page(65001)"), std::string::npos);
  EXPECT_NE(out.find("// \xE4\xB8\x96\r\n"), std::string::npos);
  EXPECT_NE(out.find("IDS_A \"Gr\xC3\xB6\xC3\x9F"
                     "e\"\r\n"),
            std::string::npos);
  EXPECT_EQ(Shown(), u"");
}

TEST_F(RcPackageTest, RenumberedMapEntriesKeepTheirTranslations) {
  std::string map = Data("strings.orc");
  WriteSource("strings.orc", map);
  Update("strings.orc", 0x407);
  Translate("strings.orc", 0x407,
            {{u"IDS_COUNT", u"\"%d Dateien\""}, {u"IDS_TITLE", u"\"Beispiel\""}});
  map.replace(map.find("0x3EA"), 5, "2002");
  map.replace(map.find("1002,"), 4, "2002");
  map.replace(map.find("1000"), 4, "999");
  WriteSource("strings.orc", map);
  const std::string out = Update("strings.orc", 0x407);
  EXPECT_NE(out.find("2002,           \"%d Dateien\""), std::string::npos) << out;
  EXPECT_NE(out.find("IDS_TITLE,      \"Beispiel\""), std::string::npos) << out;
}

// A map taken from the "debug" folder is UTF-8; a rewrite from it (here through the manager)
// gives the same bytes as the update did, in the code page of the language.
TEST_F(RcPackageTest, MapFromTheDebugFolderKeepsItsCharactersOnRewrite) {
  fs::create_directories(Dir.Path() / "src/debug");
  qemtest::WriteTextFile(
      Dir.Path() / "src/debug/m.orc",
      "#define SSize 1\n#define SName 2\nSTRINGTABLE\nBEGIN\n  SSize, \"Gr\xC3\xB6\xC3\x9F"
      "e\"\n  SName, \"Name\"\nEND\n");
  const std::string first = Update("m.orc", 0x407);
  EXPECT_NE(first.find("\"Gr\xF6\xDF"
                       "e\""),
            std::string::npos)
      << first;
  Translate("m.orc", 0x407, {{u"SName", u"\"Name (de)\""}});
  const std::string again = qemtest::ReadTextFile(Dir.Path() / "out/m.orc");
  EXPECT_NE(again.find("\"Gr\xF6\xDF"
                       "e\""),
            std::string::npos)
      << again;
  EXPECT_NE(again.find("\"Name (de)\""), std::string::npos) << again;
}

// The updater writes the translated copy from the reading it merged; the manager parses the
// source anew. Translations longer than their sources move every later position, characters
// outside the code page make the copy UTF-8: both ways must still give the same file.
TEST_F(RcPackageTest, AnUpdateWritesWhatTheManagerWrites) {
  for (const std::string name :
       {"sample.rc", "languages.rc", "version.rc", "strings.orc", "keys.rc", "utf16.rc"}) {
    for (const char16_t* more : {u" (übersetzt, länger)", u" 世界"}) {
      SCOPED_TRACE(name + " " + UTF16ToUTF8(more));
      const std::string source = Data(name);
      WriteSource(name, source);
      Update(name, 0x407);
      auto mgr = Manager(name);
      ASSERT_GT(mgr->Count(), 0);
      for (int i = 0; i < mgr->Count(); ++i) {
        const auto item = mgr->Items()->Get(i);
        std::u16string xlat = item->GetOrigText();
        if (xlat.empty() || xlat.back() != u'"') continue;
        item->SetXlatText(xlat.insert(xlat.size() - 1, more));
        item->SetStatus(rsTranslated);
      }
      mgr->Save(true, 0x409, 0x407, false);
      // Still the same items, so only the reading of the edited source differs.
      const std::string edited = name.starts_with("utf16")
                                     ? source + std::string("\r\0\n\0/\0/\0\r\0\n\0", 12)
                                     : source + "\r\n//\r\n";
      WriteSource(name, edited);
      const std::string updated = Update(name, 0x407);
      Manager(name)->RecreateXlat();
      EXPECT_EQ(updated, qemtest::ReadTextFile(Dir.Path() / "out" / name));
      EXPECT_NE(updated, edited);
      fs::remove_all(Dir.Path() / "out");
    }
  }
}

// Long enough for the conversions to work in pieces, with double-byte characters across their
// seams: the copy of a map nobody translated is the source, byte for byte.
TEST_F(RcPackageTest, ALongDoubleByteMapComesBackAsItWas) {
  std::u16string text = u"STRINGTABLE\r\nBEGIN\r\n";
  for (int i = 0; i < 3000; ++i) {
    const std::u16string n = UTF8ToUTF16(std::to_string(i));
    text += u"  S" + n + u", \"日本語のテキスト" + n + u"、ソ表\"\r\n";
  }
  text += u"END\r\n";
  const std::string bytes = WideStringToStringCP(932, text);
  ASSERT_EQ(StringToWideStringCP(932, bytes), text);
  WriteSource("long.orc", bytes);
  EXPECT_EQ(Update("long.orc", 0x411, 0x411), bytes);
  const auto mgr = Manager("long.orc");
  ASSERT_EQ(mgr->Count(), 3000);
  EXPECT_EQ(mgr->Items()->Get(2999)->GetOrigText(), u"\"日本語のテキスト2999、ソ表\"");
}

// A translation that is no literal leaves the source text in place; the message names the
// translated file, never the temporary one it is written through.
TEST_F(RcPackageTest, ABadTranslationIsReportedForTheTranslatedFile) {
  WriteSource("sample.rc", Data("sample.rc"));
  Update("sample.rc", 0x407);
  auto mgr = Manager("sample.rc");
  for (int i = 0; i < mgr->Count(); ++i)
    if (mgr->Items()->Get(i)->GetID() == u"STRINGTABLE.IDS_HELLO")
      mgr->Items()->Get(i)->SetXlatText(u"\"Hallo");
  mgr->Save(false, 0x409, 0x407, false);
  WriteSource("sample.rc", Data("sample.rc") + "\r\n//\r\n");
  EXPECT_NE(Update("sample.rc", 0x407).find("\"Hello, world\""), std::string::npos);
  const std::u16string shown = Shown();
  EXPECT_NE(shown.find(u"out/sample.rc: the translation of STRINGTABLE.IDS_HELLO is not a valid"),
            std::u16string::npos)
      << UTF16ToUTF8(shown);
  EXPECT_EQ(shown.find(u".~hlx"), std::u16string::npos) << UTF16ToUTF8(shown);
}

TEST_F(RcPackageTest, BadInputLeavesTheTranslationAlone) {
  WriteSource("sample.rc", Data("sample.rc"));
  Update("sample.rc", 0x407);
  const std::string xlat = qemtest::ReadTextFile(Dir.Path() / "out/sample.rc");
  const std::string notes = qemtest::ReadTextFile(Dir.Path() / "out/sample.rc.xlf");
  for (const char* bad :
       {"STRINGTABLE\r\nBEGIN\r\n 1 \"open\r\nEND\r\n", "1 MENU\r\nBEGIN\r\n", "/* open"}) {
    WriteSource("sample.rc", Data("sample.rc") + bad);
    EXPECT_EQ(Update("sample.rc", 0x407), xlat);
    EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "out/sample.rc.xlf"), notes);
  }
  // Text that is no UTF-16 after a UTF-16 byte-order mark.
  WriteSource("sample.rc", std::string("\xFF\xFE"
                                       "S\0T\0\n\0\0\xDC",
                                       10));
  EXPECT_EQ(Update("sample.rc", 0x407), xlat);
  // Each refusal names the file and the line where the trouble starts.
  const std::u16string shown = Shown();
  EXPECT_NE(shown.find(u"sample.rc(2): invalid UTF-16"), std::u16string::npos);
  for (const char16_t* at : {u"sample.rc(90)", u"sample.rc(89)", u"sample.rc(88)"})
    EXPECT_NE(shown.find(at), std::u16string::npos) << UTF16ToUTF8(shown);
}

} // namespace
