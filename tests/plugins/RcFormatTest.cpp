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
      {u"IDR_MAIN.0", u"\"&File\""},
      {u"IDR_MAIN.0.0", u"\"&Open...\\tCtrl+O\""},
      {u"IDR_MAIN.0.2", u"\"Recent &files\""},
      {u"IDR_MAIN.0.2.0", u"\"(none)\""},
      {u"IDR_MAIN.0.3", u"\"E&xit\""},
      {u"IDR_MAIN.1", u"\"&Help\""},
      {u"IDR_MAIN.1.0", u"\"&About...\""},
      {u"IDR_CONTEXT.0", u"\"Context\""},
      {u"IDR_CONTEXT.0.0", u"\"&Copy\""},
      {u"IDR_CONTEXT.0.2", u"\"&Paste\""},
      {u"IDD_ABOUT.Caption", u"\"About Sample\""},
      {u"IDD_ABOUT.1", u"\"Sample, version 1.0\""},
      {u"IDD_ABOUT.2", u"\"&Check updates\""},
      {u"IDD_ABOUT.5", u"\"OK\""}};
  EXPECT_EQ(Items(f, Load("sample.rc")), want);
  // A resource in a second language section keeps its own identifiers.
  EXPECT_EQ(Items(f, u"1 MENU { MENUITEM \"a\", 1 }\n1 MENU { MENUITEM \"b\", 1 }").count(u"1.0~2"),
            1u);
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
      {u"1 DIALOG 0, 0, 1, 1\nCAPTION \"c\"\n", u"x.rc(1): BEGIN expected"}};
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
  EXPECT_THROW(f.CheckBytes(u"x.rc", "#pragma code_page(65001)\n1 \"\xC3\xA4\"\n"), EQEMError);
  EXPECT_NO_THROW(f.CheckBytes(u"x.rc", "\xEF\xBB\xBF#pragma code_page(65001)\n1 \"\xC3\xA4\"\n"));
}

} // namespace
