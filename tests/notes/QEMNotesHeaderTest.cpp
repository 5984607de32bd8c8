// Opening a notes file reads its header alone; the body is parsed when items or a save need it,
// and from the very file the header came from.
#include <gtest/gtest.h>

#include <filesystem>

#include "notes/QEMNotes.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"

namespace {
class THeadNotesFile : public TQEMCustomNotesFile {
public:
  std::u16string GetExts() const override { return u".hnt"; }
  std::u16string GetDataType() override { return u"x-test"; }
};

constexpr const char* kHeader =
    "<header><prop-group name=\"QEMHeaderProp\"><prop prop-type=\"Version\">9.0</prop>"
    "<prop prop-type=\"SelfDateTime\">45000.5</prop><prop prop-type=\"OrigDateTime\">44000</prop>"
    "<prop prop-type=\"XlatDateTime\">0</prop><prop prop-type=\"Translated\">1</prop>"
    "<prop prop-type=\"UnTranslated\">2</prop><prop prop-type=\"OrigStamp\">s&amp;1</prop>"
    "</prop-group></header>";

constexpr const char* kBody =
    "<body><trans-unit id=\"a\"><source>A</source><prop-group name=\"QEMFieldProp\">"
    "<prop prop-type=\"Created\">45000</prop><prop prop-type=\"Status\">1</prop></prop-group>"
    "</trans-unit></body>";

std::string Doc(const std::string& BeforeFile, const std::string& FileAttrs,
                const std::string& BeforeHeader, const std::string& Body = kBody) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + BeforeFile + "<xliff version=\"1.0\">" +
         "<file " + FileAttrs + ">" + BeforeHeader + kHeader + Body + "</file></xliff>";
}

const std::string kAttrs = "original=\"/src/m&amp;n.ofm\" source-language=\"en-US\" "
                           "target-language=\"de-DE\" datatype=\"x-test\"";

class NotesHeader : public ::testing::Test {
protected:
  std::u16string Put(const std::string& Text) {
    qemtest::WriteTextFile(Dir.Path() / "n.hnt", Text);
    return Dir.U16("n.hnt");
  }
  void ExpectHeader(THeadNotesFile& F, const std::string& Why) {
    const auto s = F.GetStats();
    EXPECT_EQ(s->GetOrigFileName(), u"/src/m&n.ofm") << Why;
    EXPECT_EQ(s->GetXlatLCID(), 1031u) << Why;
    EXPECT_EQ(s->GetOrigDateTime(), 44000) << Why;
    EXPECT_EQ(s->GetUnTranslated(), 2) << Why;
    EXPECT_EQ(s->GetOrigStamp(), u"s&1") << Why;
  }
  qemtest::TTempDir Dir;
};

// Every layout a header may come in is read without the body; the items follow on demand.
TEST_F(NotesHeader, TheHeaderIsReadWithoutTheBodyInEveryLayout) {
  const std::string reordered = "datatype=\"x-test\" target-language='de-DE' "
                                "original=\"/src/m&#38;n.ofm\"\r\n source-language=\"en-US\"";
  const std::pair<std::string, std::string> cases[] = {
      {"plain", Doc("", kAttrs, "")},
      {"attribute order, quotes, references, CRLF", Doc("", reordered, "")},
      {"byte-order mark", "\xEF\xBB\xBF" + Doc("", kAttrs, "")},
      {"markup in comments and instructions",
       Doc("<!-- <file><header></header> -->", kAttrs,
           "<?pi </header> ?><!-- </header> --><![CDATA[</header>]]>")},
      {"document type with an internal subset",
       Doc("<!DOCTYPE xliff [ <!ENTITY e \"]>\"> <!-- ] > --> ]>\r\n", kAttrs, "")},
      {"a '>' in an attribute", Doc("", kAttrs + " tool=\"a>b\"", "")},
      {"a self-closing sibling", Doc("", kAttrs, "<skl/>")},
      {"body first",
       "<?xml version=\"1.0\"?><xliff><file " + kAttrs + ">" + kBody + kHeader + "</file></xliff>"},
      {"a broken body", Doc("", kAttrs, "", "<body><trans-unit id=\"a\"><source>")},
  };
  for (const auto& [why, text] : cases) {
    THeadNotesFile f;
    const int64_t before = QEMNotesBodyReads();
    f.Open(Put(text));
    EXPECT_EQ(QEMNotesBodyReads(), before) << why;
    EXPECT_TRUE(f.BodyNotLoaded()) << why;
    ExpectHeader(f, why);
    if (why == "a broken body") {
      EXPECT_THROW(f.GetItems(), EQEMNotesError);
      EXPECT_TRUE(f.BodyNotLoaded());
      continue;
    }
    ASSERT_EQ(f.GetItems()->Count(), 1) << why;
    EXPECT_EQ(QEMNotesBodyReads(), before + 1) << why;
    EXPECT_EQ(f.GetItems()->Get(0)->GetOrigText(), u"A") << why;
  }
}

// Where the header cannot be reached early the whole file is read, with the whole-file verdict.
TEST_F(NotesHeader, OtherFilesAreReadWholeWithTheSameVerdictAsBefore) {
  const std::string far = Doc("<!--" + std::string(70000, ' ') + "-->", kAttrs, "");
  {
    THeadNotesFile f;
    const int64_t before = QEMNotesBodyReads();
    f.Open(Put(far));
    EXPECT_EQ(QEMNotesBodyReads(), before + 1);
    ExpectHeader(f, "far");
    EXPECT_EQ(f.GetItems()->Count(), 1);
    EXPECT_EQ(QEMNotesBodyReads(), before + 1); // the document read at the open serves
  }
  // A start the scan misreads or the parser refuses: the whole file gives the error.
  for (const std::string& bad :
       {Doc("", kAttrs, "<x></y>"), Doc("", kAttrs, "<x a=\"&#1;\"/>"), Doc("", "original=\"a", ""),
        std::string("<xliff><file></xliff>")}) {
    THeadNotesFile f;
    std::u16string whole;
    {
      auto doc = CreateNewDocument();
      if (!LoadFromBytes(*doc, bad))
        whole = Format(SNotesNotXML, Dir.U16("n.hnt"), doc->LastError());
    }
    try {
      f.Open(Put(bad));
      ADD_FAILURE() << bad;
    } catch (const EQEMNotesError& e) {
      if (!whole.empty()) {
        EXPECT_EQ(e.Message(), whole) << bad;
      }
    }
  }
}

// Around the size of the start read, a file is taken whole or read on, never cut short.
TEST_F(NotesHeader, FilesAroundTheStartSizeAreReadToTheirEnd) {
  const size_t base = Doc("<!---->", kAttrs, "").size();
  for (const size_t size :
       {size_t(64 * 1024 - 1), size_t(64 * 1024), size_t(64 * 1024 + 1), size_t(128 * 1024 + 3)}) {
    const std::string text = Doc("<!--" + std::string(size - base, ' ') + "-->", kAttrs, "");
    ASSERT_EQ(text.size(), size);
    THeadNotesFile f;
    f.Open(Put(text));
    ExpectHeader(f, std::to_string(size));
    ASSERT_EQ(f.GetItems()->Count(), 1) << size;
    EXPECT_EQ(f.GetItems()->Get(0)->GetOrigText(), u"A") << size;
  }
}

// The body comes from the file the header was read from, never from one put there since.
TEST_F(NotesHeader, AFileReplacedAfterTheOpenIsNotMixedIn) {
  THeadNotesFile f;
  const std::string first = Doc("", kAttrs, "");
  f.Open(Put(first));
  std::string other = first;
  other.replace(other.find("<source>A"), 9, "<source>Z");
  qemtest::WriteTextFile(Dir.Path() / "m.hnt", other + "\n");
  std::filesystem::rename(Dir.Path() / "m.hnt", Dir.Path() / "n.hnt");
  try {
    f.GetItems();
    ADD_FAILURE() << "read the other file";
  } catch (const EQEMNotesError& e) {
    EXPECT_EQ(e.Message(), Format(SNotesChangedSinceOpen, Dir.U16("n.hnt")));
  }
  EXPECT_THROW(f.Save(), EQEMNotesError);
  EXPECT_EQ(qemtest::ReadTextFile(Dir.Path() / "n.hnt"), other + "\n");
  f.Open(Dir.U16("n.hnt"));
  EXPECT_EQ(f.GetItems()->Get(0)->GetOrigText(), u"Z");
}
} // namespace
