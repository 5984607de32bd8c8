// The resource-script formats on their own: items, literals, target adjustments, bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "QEMRcFormat.h"
#include "support/TestSupport.h"

namespace {

std::u16string Load(const std::string& Name) {
  return UTF8ToUTF16(
      qemtest::ReadTextFile(std::string(std::getenv("HLX_TEST_DATA")) + "/rc/" + Name));
}

std::map<std::u16string, std::u16string> Items(TQEMRcFormat& F, const std::u16string& Text) {
  std::vector<TQEMLiteralItem> items;
  F.Parse(u"t.rc", Text, items);
  std::map<std::u16string, std::u16string> r;
  for (const auto& it : items) {
    EXPECT_EQ(Text.substr(it.Begin, it.End - it.Begin), it.Value);
    r[it.ID] = it.Value;
  }
  return r;
}

// Identifier -> former identifier, of the items that have one.
std::map<std::u16string, std::u16string> Former(TQEMRcFormat& F, const std::u16string& Text) {
  std::vector<TQEMLiteralItem> items;
  F.Parse(u"t.rc", Text, items);
  std::map<std::u16string, std::u16string> r;
  for (const auto& it : items)
    if (!it.FormerID.empty()) r[it.ID] = it.FormerID;
  return r;
}

// What the format reports through one of the hooks (errors, notices), recorded.
class TRecorded {
public:
  explicit TRecorded(std::function<void(const std::u16string&)>& Hook) : FHook(Hook), FSaved(Hook) {
    Hook = [this](const std::u16string& S) { Shown.push_back(S); };
  }
  ~TRecorded() { FHook = FSaved; }
  std::vector<std::u16string> Shown;

private:
  std::function<void(const std::u16string&)>& FHook;
  std::function<void(const std::u16string&)> FSaved;
};

TEST(RcFormat, FindsTheItemsOfEachConstruct) {
  TQEMRcFormat f;
  const std::map<std::u16string, std::u16string> want{
      {u"STRINGTABLE.IDS_HELLO", u"\"Hello, world\""},
      {u"STRINGTABLE.IDS_QUOTE", u"\"Say \"\"cheese\"\"\""},
      {u"STRINGTABLE.IDS_LINES", u"\"First line\\nSecond line\\tTabbed\""},
      {u"STRINGTABLE.IDS_JOINED", u"\"Joined \"\r\n                    \"across lines\""},
      {u"STRINGTABLE.IDS_WIDE", u"\"Wide text\""},
      {u"STRINGTABLE.IDS_BASE+1", u"\"Computed id\""},
      {u"STRINGTABLE.101", u"\"By number\""},
      {u"IDR_MAIN.@0", u"\"&File\""},
      {u"IDR_MAIN.ID_FILE_OPEN", u"\"&Open...\\tCtrl+O\""},
      {u"IDR_MAIN.@0.@0", u"\"Recent &files\""},
      {u"IDR_MAIN.ID_FILE_MRU", u"\"(none)\""},
      {u"IDR_MAIN.ID_APP_EXIT", u"\"E&xit\""},
      {u"IDR_MAIN.@1", u"\"&Help\""},
      {u"IDR_MAIN.ID_APP_ABOUT", u"\"&About...\""},
      {u"IDR_CONTEXT.@0", u"\"Context\""},
      {u"IDR_CONTEXT.ID_EDIT_COPY", u"\"&Copy\""},
      {u"IDR_CONTEXT.ID_EDIT_PASTE", u"\"&Paste\""},
      {u"IDD_ABOUT.Caption", u"\"About Sample\""},
      {u"IDD_ABOUT.@0", u"\"Sample, version 1.0\""},
      {u"IDD_ABOUT.IDC_CHECK", u"\"&Check updates\""},
      {u"IDD_ABOUT.IDOK", u"\"OK\""},
      {u"VS_VERSION_INFO.FileDescription", u"\"Sample application\""}};
  const std::u16string sample = Load("sample.rc");
  EXPECT_EQ(Items(f, sample), want);
  // What the package called them before, for notes written then.
  const std::map<std::u16string, std::u16string> former{
      {u"IDR_MAIN.@0", u"IDR_MAIN.0"},
      {u"IDR_MAIN.ID_FILE_OPEN", u"IDR_MAIN.0.0"},
      {u"IDR_MAIN.@0.@0", u"IDR_MAIN.0.2"},
      {u"IDR_MAIN.ID_FILE_MRU", u"IDR_MAIN.0.2.0"},
      {u"IDR_MAIN.ID_APP_EXIT", u"IDR_MAIN.0.3"},
      {u"IDR_MAIN.@1", u"IDR_MAIN.1"},
      {u"IDR_MAIN.ID_APP_ABOUT", u"IDR_MAIN.1.0"},
      {u"IDR_CONTEXT.@0", u"IDR_CONTEXT.0"},
      {u"IDR_CONTEXT.ID_EDIT_COPY", u"IDR_CONTEXT.0.0"},
      {u"IDR_CONTEXT.ID_EDIT_PASTE", u"IDR_CONTEXT.0.2"},
      {u"IDD_ABOUT.@0", u"IDD_ABOUT.1"},
      {u"IDD_ABOUT.IDC_CHECK", u"IDD_ABOUT.2"},
      {u"IDD_ABOUT.IDOK", u"IDD_ABOUT.5"}};
  EXPECT_EQ(Former(f, sample), former);
  // The same resource twice: numbered, and so were its former keys.
  const std::u16string twice = u"1 MENU { MENUITEM \"a\", 7 }\n1 MENU { MENUITEM \"b\", 7 }";
  EXPECT_EQ(Items(f, twice).count(u"1.#7~2"), 1u);
  EXPECT_EQ(Former(f, twice).at(u"1.#7~2"), u"1.0~2");
  // Empty text, and the NULs version strings end with, are no items.
  EXPECT_TRUE(Items(f, u"STRINGTABLE { 1 \"\" 2 L\"\" 3 \"\\0\" }\n1 DIALOG 0,0,1,1 CAPTION \"\" "
                       u"{ LTEXT \"\", 5, 0, 0, 1, 1 }")
                  .empty());
}

TEST(RcFormat, ControlsAndMenuItemsAreKnownByTheirIds) {
  TQEMRcFormat f;
  const std::u16string dialog = u"D DIALOGEX 0, 0, 9, 9\nBEGIN\n"
                                u"  LTEXT \"Name:\", IDC_STATIC, 1, 1, 1, 1\n"
                                u"  EDITTEXT IDC_NAME, 1, 1, 1, 1\n"
                                u"  CONTROL \"&Remember\", IDC_REMEMBER, \"Button\",\n"
                                u"          BS_AUTOCHECKBOX, 1, 1, 1, 1\n"
                                u"  LTEXT \"Twice\", IDC_TWICE, 1, 1, 1, 1\n"
                                u"  LTEXT \"Twice again\", IDC_TWICE, 1, 1, 1, 1\n"
                                u"  GROUPBOX \"Colours\", -1, 1, 1, 1, 1\n"
                                u"  DEFPUSHBUTTON \"OK\", 1, 1, 1, 1, 1\n"
                                u"END\n";
  const std::map<std::u16string, std::u16string> want{
      {u"D.@0", u"\"Name:\""},   {u"D.IDC_REMEMBER", u"\"&Remember\""},
      {u"D.@1", u"\"Twice\""},   {u"D.@2", u"\"Twice again\""},
      {u"D.@3", u"\"Colours\""}, {u"D.#1", u"\"OK\""}};
  EXPECT_EQ(Items(f, dialog), want);
  // Controls put in front, with ids or without text, move no key.
  std::u16string inserted = dialog;
  inserted.insert(inserted.find(u"  LTEXT"), u"  ICON IDI_APP, IDC_STATIC, 1, 1, 1, 1\n"
                                             u"  LTEXT \"Hint\", IDC_HINT, 1, 1, 1, 1\n");
  auto more = want;
  more[u"D.IDC_HINT"] = u"\"Hint\"";
  EXPECT_EQ(Items(f, inserted), more);

  const std::u16string menu = u"M MENUEX\nBEGIN\n"
                              u"  POPUP \"&File\", 0\n"
                              u"  BEGIN\n"
                              u"    MENUITEM \"&Open\", ID_OPEN\n"
                              u"    MENUITEM \"\", 0, MFT_SEPARATOR\n"
                              u"    POPUP \"&Recent\", ID_RECENT\n"
                              u"    BEGIN\n"
                              u"      MENUITEM \"(none)\", 0\n"
                              u"    END\n"
                              u"  END\n"
                              u"END\n";
  EXPECT_EQ(Items(f, menu),
            (std::map<std::u16string, std::u16string>{{u"M.@0", u"\"&File\""},
                                                      {u"M.ID_OPEN", u"\"&Open\""},
                                                      {u"M.ID_RECENT", u"\"&Recent\""},
                                                      {u"M.ID_RECENT.@0", u"\"(none)\""}}));
  EXPECT_EQ(Former(f, menu).at(u"M.ID_RECENT.@0"), u"M.0.2.0");
}

TEST(RcFormat, OnlyTheSectionOfTheFileLanguageIsOffered) {
  const std::u16string text =
      u"#if 1\r\nLANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\r\n"
      u"STRINGTABLE\r\nBEGIN\r\n    IDS_HELLO \"Hello\"\r\nEND\r\n"
      u"IDI_APP ICON \"app.ico\"\r\n#endif\r\n"
      u"#if 1\r\nLANGUAGE LANG_FRENCH, SUBLANG_FRENCH\r\n#pragma code_page(1252)\r\n"
      u"STRINGTABLE\r\nBEGIN\r\n    IDS_HELLO \"Bonjour\"\r\nEND\r\n"
      u"STRINGTABLE LANGUAGE LANG_GERMAN, SUBLANG_GERMAN\r\nBEGIN\r\n    IDS_BYE \"Tschüss\"\r\n"
      u"END\r\n#endif\r\n";
  TQEMRcFormat f;
  const std::pair<LCID, const char16_t*> cases[] = {{0x409, u"\"Hello\""},
                                                    {0x40C, u"\"Bonjour\""},
                                                    {0x80C, u"\"Bonjour\""},
                                                    {0, u"\"Hello\""},
                                                    {0x411, u"\"Hello\""}};
  for (const auto& [lcid, hello] : cases) {
    f.SetFileLanguage(u"t.rc", lcid);
    const auto items = Items(f, text);
    EXPECT_EQ(items.size(), 1u) << lcid;
    EXPECT_EQ(items.at(u"STRINGTABLE.IDS_HELLO"), hello) << lcid;
  }
  f.SetFileLanguage(u"t.rc", 0x407);
  EXPECT_EQ(Items(f, text).at(u"STRINGTABLE.IDS_BYE"), u"\"Tschüss\"");
  // A neutral section is taken where none is of the language.
  f.SetFileLanguage(u"t.rc", 0x411);
  EXPECT_EQ(Items(f, text + u"LANGUAGE 0, 0\r\nSTRINGTABLE { 1 \"neutral\" }\r\n").size(), 1u);

  // The copy keeps the preprocessor lines and leaves the rest of the other languages out.
  // Leaving them out is a note in the log, not an error.
  TRecorded errors(ShowErrorFunc), notices(ShowNoticeFunc);
  f.SetFileLanguage(u"app.rc", 0x40C);
  // Neutral resources serve every language: they stay as they are.
  const std::u16string neutral =
      u"LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL\r\nIDI_N ICON \"n.ico\"\r\n";
  std::u16string t = text + neutral;
  f.AdjustForTarget(t, 0x407, 1252, false);
  EXPECT_EQ(t, u"#if 1\r\n"
               u"#endif\r\n"
               u"#if 1\r\nLANGUAGE 0x07, 0x01\r\n#pragma code_page(1252)\r\n"
               u"STRINGTABLE\r\nBEGIN\r\n    IDS_HELLO \"Bonjour\"\r\nEND\r\n"
               u"#endif\r\n" +
                   neutral);
  EXPECT_TRUE(errors.Shown.empty());
  ASSERT_EQ(notices.Shown.size(), 1u);
  EXPECT_NE(notices.Shown[0].find(u"app.rc"), std::u16string::npos);
  EXPECT_NE(notices.Shown[0].find(u"LANG_ENGLISH, SUBLANG_ENGLISH_US"), std::u16string::npos);
  EXPECT_NE(notices.Shown[0].find(u"LANG_GERMAN, SUBLANG_GERMAN"), std::u16string::npos);
}

TEST(RcFormat, VersionStringsAndTheirLanguage) {
  const std::u16string text = u"1 VERSIONINFO\n FILEVERSION 1,0,0,1\nBEGIN\n"
                              u"  BLOCK \"StringFileInfo\"\n  BEGIN\n"
                              u"    BLOCK \"040904E4\"\n    BEGIN\n"
                              u"      VALUE \"CompanyName\", \"Wendroth\\0\"\n"
                              u"      VALUE \"FileVersion\", \"1.0.0.1\"\n"
                              u"      VALUE \"InternalName\", \"app\"\n"
                              u"      VALUE \"OriginalFilename\", \"app.exe\"\n"
                              u"      VALUE \"ProductVersion\", \"1.0\"\n"
                              u"      VALUE \"Comments\", \"\"\n"
                              u"      VALUE \"ProductName\",\n        \"Sample\"\n"
                              u"    END\n"
                              u"    BLOCK \"040704e4\"\n    BEGIN\n"
                              u"      VALUE \"ProductName\", \"Beispiel\"\n"
                              u"    END\n  END\n"
                              u"  BLOCK \"VarFileInfo\"\n  BEGIN\n"
                              u"    VALUE \"Translation\", 0x407, 1252, 0x409, 0x4E4\n"
                              u"  END\nEND\n";
  TQEMRcFormat f;
  f.SetFileLanguage(u"t.rc", 0x409);
  EXPECT_EQ(Items(f, text),
            (std::map<std::u16string, std::u16string>{{u"1.CompanyName", u"\"Wendroth\\0\""},
                                                      {u"1.ProductName", u"\"Sample\""}}));
  f.SetFileLanguage(u"t.rc", 0x407);
  EXPECT_EQ(Items(f, text).at(u"1.ProductName"), u"\"Beispiel\"");

  // The offered block and its pair follow the target, a code page block its ANSI code page.
  f.SetFileLanguage(u"t.rc", 0x409);
  std::u16string t = text;
  f.AdjustForTarget(t, 0x419, 1251, false);
  EXPECT_NE(t.find(u"BLOCK \"041904E3\""), std::u16string::npos) << UTF16ToUTF8(t);
  EXPECT_NE(t.find(u"BLOCK \"040704e4\""), std::u16string::npos);
  EXPECT_NE(t.find(u"\"Translation\", 0x407, 1252, 0x419, 0x4E3\n"), std::u16string::npos);
  t = u"1 VERSIONINFO\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n  BLOCK \"040904b0\"\n  BEGIN\n"
      u"  END\n END\n BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", 0x409, 1200\n "
      u"END\nEND\n";
  f.AdjustForTarget(t, 0x411, 932, false);
  EXPECT_NE(t.find(u"BLOCK \"041104b0\""), std::u16string::npos);
  EXPECT_NE(t.find(u"\"Translation\", 0x411, 1200\n"), std::u16string::npos);
}

TEST(RcFormat, Utf16FilesAreReadAndWrittenInTheirByteOrder) {
  TQEMRcFormat f;
  const std::u16string text = u"1 MENU { MENUITEM \"Ä😀\", 1 }\r\n";
  for (const bool big : {false, true}) {
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
      bytes += char(big ? c >> 8 : c & 0xFF);
      bytes += char(big ? c & 0xFF : c >> 8);
    }
    EXPECT_NO_THROW(f.CheckBytes(u"u.rc", bytes));
    TQEMKitFileForm form;
    EXPECT_EQ(f.DecodeFile(u"u.rc", bytes, 1252, form), text);
    EXPECT_EQ(f.EncodeFile(u"u.rc", text, 1252, form), bytes);
    // Pragmas of a UTF-16 script stay, and none is added.
    std::u16string t = u"#pragma code_page(1252)\r\n" + text;
    f.AdjustForTarget(t, 0x411, 65001, true);
    EXPECT_EQ(t, u"#pragma code_page(1252)\r\n" + text);
  }
  // An odd byte or a lone surrogate is no UTF-16; the line is named.
  TQEMKitFileForm form;
  for (const std::string& bad : {std::string("\xFF\xFE"
                                             "a\0\n\0b",
                                             7),
                                 std::string("\xFF\xFE"
                                             "a\0\n\0\x00\xD8"
                                             "b\0",
                                             10)}) {
    try {
      f.DecodeFile(u"u.rc", bad, 1252, form);
      ADD_FAILURE() << "accepted";
    } catch (const EQEMError& E) {
      EXPECT_EQ(E.Message(), u"u.rc(2): invalid UTF-16");
    }
  }
  // Other files are read as before.
  TQEMKitFileForm ansi;
  EXPECT_EQ(f.DecodeFile(u"a.rc", "\xC4", 1252, ansi), u"Ä");
  EXPECT_EQ(f.EncodeFile(u"a.rc", u"Ä", 1252, ansi), "\xC4");
}

TEST(RcFormat, MapEntriesAreKnownByNameWhateverTheirNumber) {
  TQEMRcFormat f(true);
  const std::u16string text = Load("strings.orc");
  const auto items = Items(f, text);
  EXPECT_EQ(items.at(u"IDS_TITLE"), u"\"Sample\"");
  EXPECT_EQ(items.at(u"IDS_COUNT"), u"\"%d files\""); // written as 1002 = 0x3EA
  std::u16string renumbered = text;
  renumbered.replace(renumbered.find(u"0x3EA"), 5, u"2002");
  renumbered.replace(renumbered.find(u"1002,"), 4, u"2002");
  renumbered.replace(renumbered.find(u"1000"), 4, u"7");
  EXPECT_EQ(Items(f, renumbered), items);
}

// Former keys count over every language, keys over the section offered; a map entry written by
// number counts under its name.
TEST(RcFormat, RepeatedKeysAreNumberedOverTheirOwnKind) {
  const std::u16string text = u"LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
                              u"STRINGTABLE { IDS_A \"a1\" IDS_A \"a2\" }\n"
                              u"LANGUAGE LANG_FRENCH, SUBLANG_FRENCH\n"
                              u"STRINGTABLE { IDS_A \"f1\" IDS_A \"f2\" IDS_B \"\"\"\" }\n"
                              u"1 DIALOG 0,0,1,1 CAPTION \"c1\" { }\n"
                              u"1 DIALOG 0,0,1,1 CAPTION \"c2\" { }\n";
  TQEMRcFormat f;
  f.SetFileLanguage(u"t.rc", 0x409);
  EXPECT_EQ(Items(f, text),
            (std::map<std::u16string, std::u16string>{{u"STRINGTABLE.IDS_A", u"\"a1\""},
                                                      {u"STRINGTABLE.IDS_A~2", u"\"a2\""}}));
  EXPECT_TRUE(Former(f, text).empty());
  f.SetFileLanguage(u"t.rc", 0x40C);
  EXPECT_EQ(Items(f, text),
            (std::map<std::u16string, std::u16string>{{u"STRINGTABLE.IDS_A", u"\"f1\""},
                                                      {u"STRINGTABLE.IDS_A~2", u"\"f2\""},
                                                      {u"STRINGTABLE.IDS_B", u"\"\"\"\""},
                                                      {u"1.Caption", u"\"c1\""},
                                                      {u"1.Caption~2", u"\"c2\""}}));
  EXPECT_EQ(Former(f, text), (std::map<std::u16string, std::u16string>{
                                 {u"STRINGTABLE.IDS_A", u"STRINGTABLE.IDS_A~3"},
                                 {u"STRINGTABLE.IDS_A~2", u"STRINGTABLE.IDS_A~4"}}));

  TQEMRcFormat map(true);
  const std::u16string entries =
      u"#define IDS_X 5\nSTRINGTABLE\nBEGIN\n  IDS_X, \"a\"\n  5, \"b\"\n  7, \"d\"\nEND\n";
  EXPECT_EQ(Items(map, entries),
            (std::map<std::u16string, std::u16string>{
                {u"IDS_X", u"\"a\""}, {u"IDS_X~2", u"\"b\""}, {u"7", u"\"d\""}}));
  EXPECT_TRUE(Former(map, entries).empty());
}

TEST(RcFormat, LiteralsFollowTheResourceCompiler) {
  TQEMRcFormat f;
  EXPECT_EQ(f.ToRaw(u"\"Say \"\"hi\"\"\\n\" L\"\\x41BCD\\101\\q\""), u"Say \"hi\"\n\u41BCDA\\q");
  for (const std::u16string& raw : std::initializer_list<std::u16string>{u"a\"b\\c\r\n\td",
                                                                         {u"\x01"
                                                                          u"7\x7F",
                                                                          3},
                                                                         u""})
    EXPECT_EQ(f.ToRaw(f.FromRaw(raw)), raw);
  EXPECT_EQ(f.FromRaw(u"x\"y\n"), u"\"x\"\"y\\n\"");
  EXPECT_FALSE(f.IsValidLiteral(u"\"open"));
  EXPECT_FALSE(f.IsValidLiteral(u"\"a\" b"));

  std::u16string lit;
  EXPECT_TRUE(f.OutputLiteral(u"\"Größe\"", 1252, lit));
  EXPECT_EQ(lit, u"\"Größe\"");
  EXPECT_FALSE(f.OutputLiteral(u"\"日本\"", 1252, lit));
  EXPECT_TRUE(f.OutputLiteral(u"\"日本\"", 932, lit));
  EXPECT_TRUE(f.OutputLiteral(u"not \"quoted", 1252, lit)); // never breaks the script open
  EXPECT_EQ(lit, u"\"not \"\"quoted\"");
}

TEST(RcFormat, TargetLanguageAndCodePage) {
  TQEMRcFormat f;
  std::u16string text =
      u"// c\r\nLANGUAGE LANG_ENGLISH,\r\n  SUBLANG_ENGLISH_US\r\n#pragma code_page(1252)\r\n"
      u"STRINGTABLE LANGUAGE 9, 1 BEGIN 1 \"LANGUAGE x, y\" END\r\n";
  std::u16string t = text;
  f.AdjustForTarget(t, 0x0411, 932, false);
  EXPECT_EQ(t, u"// c\r\nLANGUAGE 0x11, 0x01\r\n#pragma code_page(932)\r\n"
               u"STRINGTABLE LANGUAGE 0x11, 0x01 BEGIN 1 \"LANGUAGE x, y\" END\r\n");
  t = text;
  f.AdjustForTarget(t, 0x0407, 65001, true);
  EXPECT_NE(t.find(u"code_page(65001)"), std::u16string::npos);
  t = u"1 MENU { MENUITEM \"x\", 1 }\n";
  f.AdjustForTarget(t, 0x0407, 65001, true);
  EXPECT_EQ(t, u"#pragma code_page(65001)\n1 MENU { MENUITEM \"x\", 1 }\n");
}

TEST(RcFormat, BadInputNamesFileAndLine) {
  TQEMRcFormat f;
  std::vector<TQEMLiteralItem> items;
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"STRINGTABLE\nBEGIN\n 1 \"open\nEND\n", u"x.rc(3): Unterminated string"},
      {u"/* open\n", u"x.rc(1): Unterminated comment"},
      {u"1 MENU\nBEGIN\n POPUP \"a\"\n BEGIN\nEND\n", u"x.rc(2): BEGIN without END"},
      {u"1 MENU { }\nEND\n", u"x.rc(2): END without BEGIN"},
      {u"STRINGTABLE {\n IDS_A\n IDS_B \"b\"\n}", u"x.rc(2): String expected"},
      {u"1 DIALOG 0, 0, 1, 1\nCAPTION \"c\"\n", u"x.rc(1): BEGIN expected"},
      {u"1 VERSIONINFO\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\nEND\n",
       u"x.rc(2): BEGIN without END"}};
  for (const auto& [text, msg] : cases) {
    try {
      f.Parse(u"x.rc", text, items);
      ADD_FAILURE() << "accepted: " << UTF16ToUTF8(text);
    } catch (const EQEMError& E) {
      EXPECT_EQ(E.Message(), msg);
    }
  }
  std::u16string deep = u"1 MENU {";
  for (int i = 0; i < 5000; ++i)
    deep += u" POPUP \"p\" {";
  EXPECT_THROW(f.Parse(u"x.rc", deep, items), EQEMError);
  std::u16string blocks = u"1 VERSIONINFO {";
  for (int i = 0; i < 100000; ++i)
    blocks += u" BLOCK \"b\" {";
  EXPECT_THROW(f.Parse(u"x.rc", blocks, items), EQEMError);
  EXPECT_THROW(f.CheckBytes(u"x.rc", "#pragma code_page(65001)\n1 \"\xC3\xA4\"\n"), EQEMError);
  EXPECT_NO_THROW(f.CheckBytes(u"x.rc", "\xEF\xBB\xBF#pragma code_page(65001)\n1 \"\xC3\xA4\"\n"));
}

} // namespace
