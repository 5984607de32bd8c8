#include <gtest/gtest.h>

#include <memory>

#include "platform/QEMRegistry.h"
#include "platform/QEMUIServices.h"
#include "support/TestSupport.h"
#include "toolkit/QEMIntlParser.h"

namespace {

constexpr size_t npos = TVareZezoer::npos;

// A parser over Text, its language taken from Name.
std::unique_ptr<TVareZezoer> Over(const std::string& Text, const std::u16string& Name,
                                  bool WholeWords = true) {
  auto p = std::make_unique<TVareZezoer>();
  EXPECT_TRUE(p->SetCodePage(1252));
  EXPECT_TRUE(p->InitParser(Text, WholeWords, Name));
  return p;
}

std::vector<std::string> Tokens(TVareZezoer& P) {
  std::vector<std::string> r;
  while (P.NextToken() != npos)
    r.push_back(P.FCurrToken);
  return r;
}

TEST(IntlParser, WholeWordsCaseAndEscapesFollowTheLanguage) {
  auto pas = Over("MyVar := Var + var2; VAR", u"a.pas");
  EXPECT_EQ(pas->FindSingleToken("var", 0), 9u);
  EXPECT_EQ(pas->FCurrToken, "Var");
  EXPECT_EQ(pas->FindToken({"nothing", "VAR"}, 10), 21u);
  EXPECT_EQ(pas->FArrayIndex, 1);
  auto cpp = Over("Var var", u"a.cpp");
  EXPECT_EQ(cpp->FindSingleToken("var", 0), 4u);
  auto loose = Over("MyVar", u"a.cpp", false);
  EXPECT_EQ(loose->FindSingleToken("Var", 0), 2u);

  // Escape and format sequences are passed over.
  auto esc = Over("s = \"\\n n\";", u"a.cpp");
  esc->FSearchInQuotes = true;
  EXPECT_EQ(esc->FindSingleToken("n", 0), 8u);
  EXPECT_TRUE(esc->FIsInQuotes);
  auto fmt = Over("s := '%d d';", u"a.pas");
  fmt->FSearchInQuotes = true;
  EXPECT_EQ(fmt->FindSingleToken("d", 0), 9u);
}

TEST(IntlParser, CommentsDirectivesAndStringsAreJumpedUnlessAllowed) {
  const std::string cpp = "#define A 1 // A\n/* A */ s = \"A\"; c = '\"'; int A;";
  auto p = Over(cpp, u"a.h");
  EXPECT_EQ(p->FindSingleToken("A", 0), cpp.rfind('A'));
  EXPECT_EQ(p->FTokenLineNum, 2);
  EXPECT_EQ(p->GetTokenLineString(), cpp.substr(17));
  p->FSearchInDirectives = true;
  EXPECT_EQ(p->FindSingleToken("A", 0), 8u);
  EXPECT_TRUE(p->FIsInDirective);
  p->FSearchInDirectives = false;
  p->FSearchInComments = true;
  EXPECT_EQ(p->FindSingleToken("A", 0), 15u);
  EXPECT_TRUE(p->FIsInComment);

  auto pas = Over("{ a } (* a *) // a\n 'a' a", u"a.pas");
  EXPECT_EQ(pas->FindSingleToken("a", 0), 24u);
  std::vector<std::string> comments;
  pas->ResetPointer();
  while (pas->NextComment(true))
    comments.push_back(pas->FCurrComment);
  EXPECT_EQ(comments, (std::vector<std::string>{" a ", " a ", " a"}));
  pas->ResetPointer();
  EXPECT_TRUE(pas->NextComment(false));
  EXPECT_EQ(pas->FCurrComment, "{ a }");
}

TEST(IntlParser, TokensSkipCommentsAndCountLines) {
  auto p = Over("int a=1; // c\n  b /* x */ \"s t\"+", u"a.cpp");
  EXPECT_EQ(Tokens(*p), (std::vector<std::string>{"int", "a", "=", "1", ";", "b", "+"}));
  EXPECT_EQ(p->GetTokenType(), ttEOF);
  p->ResetPointer();
  EXPECT_EQ(p->NextToken(6), 16u);
  EXPECT_EQ(p->GetTokenType(), ttIdentifier);
  EXPECT_EQ(p->FTokenLineNum, 2);
  EXPECT_EQ(p->GetTokenLineString(), "  b /* x */ \"s t\"+");
  const int saved = p->SaveState();
  p->NextToken();
  EXPECT_EQ(p->GetTokenType(), ttNonIdentifier);
  p->RestoreState(saved);
  EXPECT_EQ(p->FCurrToken, "b");
  p->RestoreDefaults();
  EXPECT_EQ(p->Position(), 0u);
}

TEST(IntlParser, StringsOfBothLanguages) {
  auto cpp = Over("a = \"x\\\"y\"; c = '\"'; b = L\"q\";", u"a.cpp");
  EXPECT_TRUE(cpp->NextString());
  EXPECT_EQ(cpp->FCurrToken, "\"x\\\"y\"");
  EXPECT_EQ(cpp->FBlockBegin, 4u);
  EXPECT_EQ(cpp->FBlockEnd, 10u);
  EXPECT_TRUE(cpp->NextString());
  EXPECT_EQ(cpp->FCurrToken, "\"q\"");
  EXPECT_FALSE(cpp->NextString());
  auto pas = Over("s := 'It''s' + 'x'", u"a.pas");
  EXPECT_TRUE(pas->NextString());
  EXPECT_EQ(pas->FCurrToken, "'It''s'");
  EXPECT_TRUE(pas->NextString());
  EXPECT_EQ(pas->FCurrToken, "'x'");
}

TEST(IntlParser, UnterminatedStringsAndOpenCommentsStopAtTheEnd) {
  auto p = Over("x;\na = \"abc\nfoo", u"a.cpp");
  try {
    p->FindSingleToken("foo", 0);
    FAIL() << "no error";
  } catch (const EQuoteError& e) {
    EXPECT_EQ(e.Message(),
              u"Unterminated string in file.\r\n\r\nFile = a.cpp\r\nCode Page = 1252\r\n"
              u"Line #2\r\nLine = a = \"abc\r\n\r\n");
  }
  EXPECT_EQ(p->Position(), 0u); // the failed search changed nothing
  p->FShowErrors = false;
  EXPECT_EQ(p->FindSingleToken("foo", 0), npos);
  EXPECT_FALSE(p->NextString());
  p->FSearchInQuotes = true; // a line end then closes the string
  EXPECT_EQ(p->FindSingleToken("foo", 0), 12u);

  for (const char* text : {"a /* b", "a \"b", "a // b", "#if x \\", "a '"}) {
    auto q = Over(text, u"a.cpp");
    q->FShowErrors = false;
    EXPECT_EQ(q->FindSingleToken("b", 0), npos) << text;
    EXPECT_LE(Tokens(*q).size(), 1u) << text;
    q->ResetPointer();
    while (q->NextComment(true)) {
    }
    EXPECT_TRUE(q->GetIsEOF() || q->Position() <= q->GetMemSize()) << text;
  }
  auto pas = Over("a { b", u"a.pas");
  EXPECT_TRUE(pas->NextComment(true));
  EXPECT_EQ(pas->FCurrComment, " b");
  EXPECT_TRUE(pas->GetIsEOF());
}

TEST(IntlParser, DoubleByteCharactersAreNeverSplit) {
  // 0x83 0x5C is one character of code page 932 whose second byte is a backslash; 0x82 0x79
  // ends in "y".
  const std::string text = "\x82\x79"
                           "abc abc s = \"\x83\x5C\"; x\x82";
  auto p = Over(text, u"a.cpp");
  EXPECT_EQ(p->FindSingleToken("abc", 0), 6u); // the trail "y" is a letter in 1252
  p->FShowErrors = false;
  EXPECT_FALSE(p->NextString()); // and 0x5C escapes the quote
  ASSERT_TRUE(p->SetCodePage(932));
  EXPECT_TRUE(p->FLeadBytes[0x81] && p->FLeadBytes[0xFC] && !p->FLeadBytes[0xA0]);
  EXPECT_EQ(p->FindSingleToken("abc", 0), 2u);
  p->ResetPointer();
  EXPECT_TRUE(p->NextString());
  EXPECT_EQ(p->FCurrToken, "\"\x83\x5C\"");
  EXPECT_EQ(p->FindSingleToken("\\", 0), npos);
  p->ResetPointer();
  EXPECT_EQ(Tokens(*p).back(), "\x82"); // a lead byte as the last byte stands alone

  EXPECT_TRUE(p->SetCodePage(1252));
  EXPECT_FALSE(p->FLeadBytes.any());
  EXPECT_TRUE(p->SetCodePage(932));
  EXPECT_EQ(p->FPrevCodePage, 1252);
  EXPECT_TRUE(p->FLeadBytes[0x83]);
  EXPECT_FALSE(p->SetCodePage(4711));
  EXPECT_EQ(p->FCodePage, 932);
}

TEST(IntlParser, ReplacesTerminateAndKeepPositions) {
  TAnsiIntlStream s("a-a");
  EXPECT_EQ(s.Replace("a", "aa", true), 2);
  EXPECT_EQ(s.Text(), "aa-aa");
  EXPECT_EQ(s.Replace("", "x", true), 0);
  s.SetText("aabb");
  EXPECT_EQ(s.Replace("ab", "a", true), 1);
  EXPECT_EQ(s.Text(), "aab");
  EXPECT_THROW(s.Replace(2, 5, "x"), EArrayExceeded);
  EXPECT_EQ(s.Text(), "aab");
  EXPECT_EQ(s.Memory()[s.Size()], '\0');

  auto p = Over("x = \"a\"; y = \"b\";", u"a.cpp");
  std::vector<std::string> seen;
  while (p->NextString()) {
    seen.push_back(p->FCurrToken);
    p->Replace(p->FBlockBegin, p->FBlockEnd - p->FBlockBegin, "\"\"" + p->FCurrToken + "\"\"");
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"\"a\"", "\"b\""}));
  EXPECT_EQ(p->Text(), "x = \"\"\"a\"\"\"; y = \"\"\"b\"\"\";");
  EXPECT_EQ(p->Replace("y", "yy", true), 1);
  EXPECT_EQ(p->Position(), p->GetMemSize() - 1);
  EXPECT_THROW(p->Delete(100, 1), EArrayExceeded);
}

TEST(IntlParser, LanguageFromExtensionAndRegistry) {
  qemtest::TTempDir dir;
  qemtest::WriteTextFile(dir.Path() / "a.foo", "x // y");
  TVareZezoer p;
  ASSERT_TRUE(p.InitParser(dir.U16("a.foo"), true));
  EXPECT_FALSE(p.FIsSourceCode);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(u"\\Software\\Wendroth\\VareZezo", true));
    reg.WriteString(u"Pascal", u"bar");
    reg.WriteString(u"CPP", u"bar; .FOO ;baz");
  }
  ASSERT_TRUE(p.InitParser(dir.U16("a.foo"), true));
  EXPECT_TRUE(p.FIsCPP);
  EXPECT_TRUE(p.FCaseSens && p.FSkipEscSequences && !p.FSkipFormatSequences);
  p.Insert(0, "z ");
  p.TermParser(dir.U16("out.txt"));
  EXPECT_FALSE(p.FInitCalled);
  EXPECT_EQ(qemtest::ReadTextFile(dir.Path() / "out.txt"), "z x // y");
  TRegistry().DeleteKey(u"\\Software\\Wendroth\\VareZezo");
}

TEST(IntlParser, FailuresLeaveTheParserUninitialised) {
  auto ui = std::make_shared<TQEMScriptedUIServices>();
  auto previous = QEMSetUIServices(ui);
  qemtest::TTempDir dir;
  qemtest::WriteTextFile(dir.Path() / "b.ofm", std::string("TPF0\x05", 5));
  TVareZezoer p;
  EXPECT_FALSE(p.InitParser(dir.U16("none.pas"), true));
  EXPECT_FALSE(p.InitParser(dir.U16("b.ofm"), true));
  EXPECT_FALSE(p.FInitCalled);
  EXPECT_EQ(p.GetMemStart(), nullptr);
  ASSERT_EQ(ui->Shown().size(), 2u);
  EXPECT_EQ(ui->Shown()[0].Text, u"File not found: " + dir.U16("none.pas"));
  EXPECT_NE(ui->Shown()[1].Text.find(dir.U16("b.ofm")), std::u16string::npos);
  EXPECT_THROW(TVareZezoer(dir.U16("none.pas"), true), EQEMError);
  EXPECT_THROW(p.FindSingleToken("x", 0), EInitNotCalled);
  p.FShowErrors = false;
  EXPECT_EQ(p.NextToken(), npos);
  QEMSetUIServices(previous);

  auto q = Over("abc", u"a.pas");
  EXPECT_THROW(q->FindToken({"a", ""}, 0), EEmptyString);
  EXPECT_THROW(q->RestoreState(7), EArrayExceeded);
}

} // namespace
