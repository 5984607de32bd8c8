// A TMX file is outside input: what it cannot hold is refused with its place, what it holds
// that we do not produce survives a save.
#include <gtest/gtest.h>

#include <string>

#include "core/QEMUtils.h"
#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"

namespace {

std::string Tmx(const std::string& Header, const std::string& Body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tmx version=\"1.4\"><header " + Header +
         "/>\n<body>" + Body + "</body></tmx>";
}

std::string Unit(const std::string& En, const std::string& De) {
  return "<tu><tuv xml:lang=\"en-US\"><seg>" + En + "</seg></tuv><tuv xml:lang=\"de-DE\"><seg>" +
         De + "</seg></tuv></tu>";
}

std::string Attr(const std::string& Text, const std::string& Name) {
  const size_t at = Text.find(" " + Name + "=\"");
  if (at == std::string::npos) return "<none>";
  const size_t from = at + Name.size() + 3;
  return Text.substr(from, Text.find('"', from) - from);
}

TEST(RepositoryInputTest, ForbiddenReferencesAreRefusedNamingFileAndPlace) {
  qemtest::TTempDir dir;
  const struct {
    const char* Ref;
    int Code;
  } cases[] = {{"&#0;", 0}, {"&#1;", 1}, {"&#xFFFE;", 0xFFFE}};
  for (const auto& c : cases) {
    const std::string text =
        Tmx("srclang=\"en-US\"", Unit("MANUAL", std::string("MAN") + c.Ref + "UELL"));
    qemtest::WriteTextFile(dir.Path() / "r.tmx", text);
    auto rep = std::make_shared<TQEMRepository>();
    std::u16string msg;
    try {
      rep->LoadFromFile(dir.U16("r.tmx"));
    } catch (const EQEMRepositoryError& e) {
      msg = e.Message();
    }
    // "<body><tu><tuv xml:lang="en-US"><seg>MANUAL</seg></tuv><tuv xml:lang="de-DE"><seg>MAN"
    EXPECT_EQ(msg,
              Format(SRepUnableLoadBecause, dir.U16("r.tmx"), Format(SXMLNonCharAt, c.Code, 3, 86)))
        << c.Ref;
    EXPECT_EQ(rep->RecCount(), 0) << c.Ref; // nothing half-read
    EXPECT_EQ(qemtest::ReadTextFile(dir.Path() / "r.tmx"), text) << c.Ref;
  }
}

TEST(RepositoryInputTest, SaveKeepsTheHeadersLanguagesAndANewOneChoosesThem) {
  qemtest::TTempDir dir;
  // The header names a language that sorts after another of the file's languages.
  qemtest::WriteTextFile(
      dir.Path() / "r.tmx",
      Tmx("srclang=\"en-US\" adminlang=\"en-US\" creationtool=\"T\"", Unit("One", "Eins")));
  auto rep = std::make_shared<TQEMRepository>();
  rep->LoadFromFile(dir.U16("r.tmx"));
  rep->AddRecord()->SetString(u"de-DE", u"Zwei");
  rep->Save();
  std::string saved = qemtest::ReadTextFile(dir.Path() / "r.tmx");
  EXPECT_EQ(Attr(saved, "srclang"), "en-US");
  EXPECT_EQ(Attr(saved, "adminlang"), "en-US");
  // A language the repository no longer holds is chosen anew.
  rep->DeleteLanguage(u"en-US");
  rep->Save();
  saved = qemtest::ReadTextFile(dir.Path() / "r.tmx");
  EXPECT_EQ(Attr(saved, "srclang"), "de-DE");

  auto fresh = std::make_shared<TQEMRepository>();
  fresh->Reset(dir.U16("new.tmx"));
  fresh->AddRecord()->SetString(u"en-US", u"One");
  fresh->Save();
  saved = qemtest::ReadTextFile(dir.Path() / "new.tmx");
  EXPECT_EQ(Attr(saved, "srclang"), "en-US");
  EXPECT_EQ(Attr(saved, "adminlang"), "en-US");
}

// Many languages go through a look-up table; it must agree with the list, also in case and
// after a language is deleted.
TEST(RepositoryInputTest, ManyLanguagesAreFoundIgnoringCaseAfterDeletes) {
  qemtest::TTempDir dir;
  std::string tu = "<tu>";
  for (int i = 0; i < 40; ++i)
    tu += "<tuv xml:lang=\"x-L" + std::to_string(i) + "\"><seg>T" + std::to_string(i) +
          "</seg></tuv>";
  tu += "<tuv xml:lang=\"X-l3\"><seg>second</seg></tuv></tu>";
  qemtest::WriteTextFile(dir.Path() / "r.tmx", Tmx("", tu));
  auto rep = std::make_shared<TQEMRepository>();
  rep->LoadFromFile(dir.U16("r.tmx"));
  const auto& langs = rep->GetIndexList().Languages();
  EXPECT_EQ(langs.Count(), 40);
  const auto rec = rep->GetRecord(0);
  EXPECT_EQ(rec->GetString(u"X-L3"), u"T3"); // the first of the two
  EXPECT_EQ(rec->GetString(u"x-l39"), u"T39");
  EXPECT_TRUE(rep->DeleteLanguage(u"x-l0"));
  EXPECT_TRUE(rep->DeleteLanguage(u"x-l20"));
  EXPECT_EQ(langs.Count(), 38);
  EXPECT_EQ(langs.IndexOf(u"x-l0"), -1);
  for (int i = 1; i < 40; ++i) {
    if (i == 20) continue;
    const std::u16string tag = UTF8ToUTF16("X-L" + std::to_string(i));
    const int at = langs.IndexOf(tag);
    ASSERT_GE(at, 0) << i;
    EXPECT_EQ(QEMLowerCase(langs.LangTag(at)), QEMLowerCase(tag));
    EXPECT_EQ(rep->GetRecord(0)->GetString(tag), UTF8ToUTF16("T" + std::to_string(i)));
  }
  EXPECT_EQ(rep->AddLanguage(u"x-l5"), langs.IndexOf(u"x-L5")); // no second column
  EXPECT_EQ(langs.Count(), 38);
}

} // namespace
