// rc140.fpl on scripts as users have them: UTF-16, several language sections, controls inserted,
// notes written while controls were known by position, version information.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "qem.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Data(const std::string& Name) {
  return qemtest::ReadTextFile(std::string(std::getenv("HLX_TEST_DATA")) + "/rc/" + Name);
}

struct TItem {
  std::u16string ID, ResName, Xlat;
  TResStatus Status;
  bool operator==(const TItem&) const = default;
};
std::ostream& operator<<(std::ostream& S, const TItem& I) {
  return S << UTF16ToUTF8(I.ID) << " [" << UTF16ToUTF8(I.ResName) << "] " << UTF16ToUTF8(I.Xlat)
           << " " << int(I.Status);
}

class RcRealScriptsTest : public ::testing::Test {
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
  std::vector<std::u16string> Shown() const {
    std::vector<std::u16string> r;
    for (const auto& s : UI->Shown())
      r.push_back(s.Text);
    return r;
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
    Stats = TStats();
    QEMFileTypeOfProjectFile(UTF8ToUTF16(Name), u"")
        ->GetUpdater()
        ->Execute(&files, u"", u"", Dir.U16("src"), Dir.U16("out"), Stats, false, Orig, Xlat,
                  nullptr, {});
    return qemtest::ReadTextFile(Dir.Path() / "out" / Name);
  }
  std::unique_ptr<TQEMTranslatorMgr> Open(const std::string& Name) {
    const auto type = std::dynamic_pointer_cast<TQEMBaseFileType>(
        QEMFileTypeOfProjectFile(UTF8ToUTF16(Name), u""));
    return type->Translator()->GetMgrClass().Create(Dir.U16("out/" + Name), false);
  }
  // As the translator window would: through the package's manager, which writes the file.
  void Translate(const std::string& Name, const std::map<std::u16string, std::u16string>& T) {
    const auto mgr = Open(Name);
    size_t done = 0;
    for (int i = 0; i < mgr->Count(); ++i) {
      const auto found = T.find(mgr->Items()->Get(i)->GetID());
      if (found == T.end()) continue;
      mgr->Items()->Get(i)->SetXlatText(found->second);
      mgr->Items()->Get(i)->SetStatus(rsTranslated);
      ++done;
    }
    EXPECT_EQ(done, T.size());
    mgr->Save(true, 0, 0, false);
  }
  std::vector<TItem> Items(const std::string& Name) {
    const auto mgr = Open(Name);
    std::vector<TItem> r;
    for (int i = 0; i < mgr->Count(); ++i) {
      const auto it = mgr->Items()->Get(i);
      r.push_back({it->GetID(), it->GetResName(), it->GetXlatText(), it->GetStatus()});
    }
    return r;
  }

  TQEMPackageManager Mgr;
  qemtest::TTempDir Dir;
  TStats Stats;
  int FVersion = 0;
  std::shared_ptr<TQEMScriptedUIServices> UI = std::make_shared<TQEMScriptedUIServices>();
};

TEST_F(RcRealScriptsTest, Utf16ScriptStaysUtf16) {
  WriteSource("utf16.rc", Data("utf16.rc"));
  Update("utf16.rc", 0x411);
  Translate("utf16.rc", {{u"STRINGTABLE.IDS_HELLO", u"\"こんにちは、世界\""},
                         {u"STRINGTABLE.IDS_SMILE", u"\"笑顔 😀\""},
                         {u"IDD_MAIN.Caption", u"\"メイン\""},
                         {u"IDD_MAIN.@0", u"\"準備完了\""},
                         {u"IDD_MAIN.IDOK", u"\"閉じる\""}});
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "out/utf16.rc"), Data("utf16.jpn.rc"));
  EXPECT_EQ(Items("utf16.rc")[1].Xlat, u"\"Size: %d × %d\"");
  // A later run reads the UTF-16 source again and writes the same copy.
  WriteSource("utf16.rc", Data("utf16.rc"));
  EXPECT_EQ(Update("utf16.rc", 0x411), Data("utf16.jpn.rc"));
  EXPECT_EQ(Stats.UnchangedCount, 6);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(RcRealScriptsTest, OnlyTheBaseLanguageSectionIsTranslated) {
  std::vector<std::u16string> notes;
  ShowNoticeFunc = [&notes](const std::u16string& S) { notes.push_back(S); };
  struct TReset {
    ~TReset() { ShowNoticeFunc = nullptr; }
  } reset;
  WriteSource("languages.rc", Data("languages.rc"));
  Update("languages.rc", 0x407);
  EXPECT_EQ(Stats.NewCount, 5); // no "~2" copies of the French section
  Translate("languages.rc",
            {{u"STRINGTABLE.IDS_HELLO", u"\"Hallo\""}, {u"IDD_ABOUT.Caption", u"\"Info\""}});
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "out/languages.rc"), Data("languages.deu.rc"));
  // One line per copy written says what was left out; it is no error.
  EXPECT_TRUE(Shown().empty());
  const auto& shown = notes;
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], shown[1]);
  EXPECT_NE(shown[0].find(u"languages.rc"), std::u16string::npos);
  EXPECT_NE(shown[0].find(u"LANG_FRENCH, SUBLANG_FRENCH"), std::u16string::npos);

  // A French project offers the French section.
  fs::remove_all(Dir.Path() / "out");
  const std::string out = Update("languages.rc", 0x407, 0x40C);
  EXPECT_EQ(Items("languages.rc")[0].Xlat, u"\"\xC0 propos\"");
  EXPECT_EQ(out.find("Hello"), std::string::npos);
  EXPECT_NE(out.find("Bonjour"), std::string::npos);
}

TEST_F(RcRealScriptsTest, InsertedControlsLoseNoTranslation) {
  const std::string v1 = Data("keys.rc");
  WriteSource("keys.rc", v1);
  Update("keys.rc", 0x407);
  Translate("keys.rc", {{u"IDD_OPTIONS.@0", u"\"&Name:\""},
                        {u"IDD_OPTIONS.IDC_REMEMBER", u"\"&Angemeldet bleiben\""},
                        {u"IDD_OPTIONS.IDCANCEL", u"\"Abbrechen\""},
                        {u"IDR_MAIN.ID_APP_EXIT", u"\"&Beenden\""},
                        {u"IDR_MAIN.@1", u"\"&Hilfe\""}});
  // In front: controls with ids or without text; statics and popups without ids after their
  // kind, which is counted on its own.
  std::string v2 = v1;
  const auto insert = [&](const char* Before, const std::string& Text) {
    v2.insert(v2.find(Before), Text + "\r\n");
  };
  insert("    LTEXT", "    LTEXT           \"Hint\", IDC_HINT, 10, 1, 40, 8");
  insert("    LTEXT", "    ICON            IDI_APP, IDC_STATIC, 1, 1, 20, 20");
  insert("    DEFPUSHBUTTON", "    LTEXT           \"Note\", IDC_STATIC, 10, 60, 40, 8");
  insert("        MENUITEM \"&Open", "        MENUITEM \"&New\",                    ID_FILE_NEW");
  insert("END\r\n\r\nIDD_OPTIONS",
         "    POPUP \"&Edit\"\r\n    BEGIN\r\n        MENUITEM \"&Copy\", ID_EDIT_COPY\r\n    END");
  WriteSource("keys.rc", v2);
  const std::string out = Update("keys.rc", 0x407);
  EXPECT_EQ(Stats.NewCount, 5);
  EXPECT_EQ(Stats.UnchangedCount, 12);
  EXPECT_EQ(Stats.ChangedCount + Stats.UnusedCount, 0);
  for (const char* kept :
       {"\"&Name:\"", "\"&Angemeldet bleiben\"", "\"Abbrechen\"", "\"&Beenden\"", "\"&Hilfe\""})
    EXPECT_NE(out.find(kept), std::string::npos) << kept;
  const auto items = Items("keys.rc");
  EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](const TItem& I) {
    return I.ID == u"IDD_OPTIONS.IDC_HINT" && I.Xlat == u"\"Hint\"";
  }));
}

// Notes written by the package when it counted controls and menu items by position.
TEST_F(RcRealScriptsTest, NotesWithPositionalKeysAreTakenOver) {
  WriteSource("keys.rc", Data("keys.rc"));
  fs::create_directories(Dir.Path() / "out");
  qemtest::WriteTextFile(Dir.Path() / "out/keys.rc.xlf", Data("keys.rc.xlf"));
  const std::string out = Update("keys.rc", 0x407);
  EXPECT_EQ(Stats.UnchangedCount, 12);
  EXPECT_EQ(Stats.NewCount + Stats.ChangedCount + Stats.UnusedCount, 0);
  const std::vector<TItem> want{
      {u"IDR_MAIN.@0", u"IDR_MAIN", u"\"&Datei\"", rsTranslated},
      {u"IDR_MAIN.ID_FILE_OPEN", u"IDR_MAIN", u"\"Ö&ffnen...\"", rsTranslated},
      {u"IDR_MAIN.ID_APP_EXIT", u"IDR_MAIN", u"\"&Beenden\"", rsTranslated},
      {u"IDR_MAIN.@1", u"IDR_MAIN", u"\"&Hilfe\"", rsTranslated},
      {u"IDR_MAIN.ID_APP_ABOUT", u"IDR_MAIN", u"\"&Info...\"", rsTranslated},
      {u"IDD_OPTIONS.Caption", u"IDD_OPTIONS", u"\"Optionen\"", rsTranslated},
      {u"IDD_OPTIONS.@0", u"IDD_OPTIONS", u"\"&Name:\"", rsTranslated},
      {u"IDD_OPTIONS.IDC_REMEMBER", u"IDD_OPTIONS", u"\"&Angemeldet bleiben\"", rsTranslated},
      {u"IDD_OPTIONS.@1", u"IDD_OPTIONS", u"\"Colours\"", rsUnTranslated},
      {u"IDD_OPTIONS.IDOK", u"IDD_OPTIONS", u"\"OK\"", rsUnTranslated},
      {u"IDD_OPTIONS.IDCANCEL", u"IDD_OPTIONS", u"\"Abbrechen\"", rsTranslated},
      {u"STRINGTABLE.IDS_READY", u"STRINGTABLE", u"\"Bereit\"", rsTranslated}};
  EXPECT_EQ(Items("keys.rc"), want);
  // The history of a control comes along.
  const auto mgr = Open("keys.rc");
  const auto remember = mgr->Items()->Get(7);
  EXPECT_EQ(remember->GetPrevOrigText(0), u"\"&Remember\"");
  EXPECT_EQ(remember->GetPrevXlatText(0), u"\"&Merken\"");
  for (const char* kept :
       {"\"&Angemeldet bleiben\"", "\"Abbrechen\"", "\"Optionen\"", "\"&Datei\""})
    EXPECT_NE(out.find(kept), std::string::npos) << kept;
  // The positional units are gone from the notes file.
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "out/keys.rc.xlf").find("id=\"IDD_OPTIONS.2\""),
            std::string::npos);
}

TEST_F(RcRealScriptsTest, VersionStringsAreTranslatedForTheTargetLanguage) {
  WriteSource("version.rc", Data("version.rc"));
  Update("version.rc", 0x407);
  const std::vector<TItem> want{
      {u"VS_VERSION_INFO.CompanyName", u"VS_VERSION_INFO", u"\"Wendroth Software\"",
       rsUnTranslated},
      {u"VS_VERSION_INFO.FileDescription", u"VS_VERSION_INFO", u"\"Sample editor\"",
       rsUnTranslated},
      {u"VS_VERSION_INFO.LegalCopyright", u"VS_VERSION_INFO",
       u"\"Copyright (C) 2026 Wendroth Software\"", rsUnTranslated},
      {u"VS_VERSION_INFO.ProductName", u"VS_VERSION_INFO", u"\"Sample\"", rsUnTranslated}};
  EXPECT_EQ(Items("version.rc"), want);
  Translate("version.rc",
            {{u"VS_VERSION_INFO.FileDescription", u"\"Beispieleditor\""},
             {u"VS_VERSION_INFO.LegalCopyright",
              u"\"Copyright (C) 2026 Wendroth Software. Alle Rechte vorbehalten.\""}});
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "out/version.rc"), Data("version.deu.rc"));
}

// Changed and vanished items keep the resource they belong to.
TEST_F(RcRealScriptsTest, ResourceNamesSurviveChanges) {
  const std::string v1 = Data("keys.rc");
  WriteSource("keys.rc", v1);
  Update("keys.rc", 0x407);
  Translate("keys.rc", {{u"STRINGTABLE.IDS_READY", u"\"Bereit\""}});
  std::string v2 = v1;
  v2.replace(v2.find("\"Ready\""), 7, "\"Ready.\"");
  v2.erase(v2.find("    PUSHBUTTON"),
           v2.find("END", v2.find("    PUSHBUTTON")) - v2.find("    PUSHBUTTON"));
  WriteSource("keys.rc", v2);
  Update("keys.rc", 0x407);
  EXPECT_EQ(Stats.ChangedCount, 1);
  EXPECT_EQ(Stats.UnusedCount, 1);
  const std::string notes = qemtest::ReadTextFile(Dir.Path() / "out/keys.rc.xlf");
  EXPECT_NE(notes.find("id=\"STRINGTABLE.IDS_READY\" resname=\"STRINGTABLE\""), std::string::npos);
  EXPECT_NE(notes.find("id=\"IDD_OPTIONS.IDCANCEL\" resname=\"IDD_OPTIONS\""), std::string::npos)
      << notes;
}

} // namespace
