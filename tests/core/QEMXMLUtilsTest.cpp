#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <vector>

#include "core/QEMXMLUtils.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"

namespace {
std::shared_ptr<TQEMXMLDocument> Load(const std::u16string& Text) {
  auto doc = CreateNewDocument();
  EXPECT_TRUE(LoadFromString(*doc, Text)) << UTF16ToUTF8(doc->LastError());
  return doc;
}

std::shared_ptr<TQEMXMLDocument> LoadBytes(std::string_view Bytes) {
  auto doc = CreateNewDocument();
  EXPECT_TRUE(LoadFromBytes(*doc, Bytes)) << UTF16ToUTF8(doc->LastError());
  return doc;
}

std::string Formatted(const TQEMXMLDocument& Doc, const std::u16string& Head) {
  std::ostringstream out;
  SaveFormattedDocument(Doc, out, Head);
  return out.str();
}

// The message of the EQEMXMLError that F raises, or "" when it raises none.
template <class F> std::string XMLErrorOf(F&& Fn) {
  try {
    Fn();
  } catch (const EQEMXMLError& e) {
    return e.what();
  }
  return "";
}

// DefaultIndentStr for a scope.
struct TIndentUnit {
  std::u16string Old = DefaultIndentStr;
  explicit TIndentUnit(std::u16string Unit) { DefaultIndentStr = std::move(Unit); }
  ~TIndentUnit() { DefaultIndentStr = Old; }
};

const std::u16string NotesHead = u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                 u"<!DOCTYPE xliff PUBLIC \"-//XLIFF//DTD XLIFF//EN\"\r\n"
                                 u" \"xliff.dtd\" >\r\n"
                                 u"<xliff version=\"1.0\" />\r\n";
} // namespace

// Both building schemes count every ancestor up to and including the document node, in units of
// DefaultIndentStr.
TEST(XMLIndentTest, BuildingSchemesGiveTheDocumentedText) {
  auto doc = Load(u"<xliff version=\"1.0\"/>");
  const TQEMXMLNode root = doc->DocumentElement();
  root.AppendText(u"\r\n");
  const TQEMXMLNode file = CreateNewElement(root, u"file", true);
  CreateNewElement(file, u"header", true);
  const TQEMXMLNode body = CreateNewElement(file, u"body", true);
  CreateNewElement(body, u"x", false);
  EXPECT_EQ(SaveToBytes(*doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                               "<xliff version=\"1.0\">\r\n"
                               "  <file>\r\n"
                               "      <header>\r\n"
                               "      </header>\r\n"
                               "      <body>\r\n"
                               "      <x/></body>\r\n"
                               "    </file>\r\n"
                               "  </xliff>\r\n");

  doc = Load(u"<r/>");
  const TQEMXMLNode r = doc->DocumentElement();
  r.AppendText(u"\r\n");
  const TQEMXMLNode group = CreateNewElement(r, u"group", true);
  SetTextToNode(CreateNewTextElement(group, u"a", true), u"1");
  CreateNewTextElement(group, u"b", true);
  CreateNewTextElement(group, u"c", false);
  // Without a previous sibling there is nothing to repeat: only the indentation goes before.
  CreateNewTextElement(CreateNewElement(r, u"p", false), u"t", true);
  EXPECT_EQ(SaveToBytes(*doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                               "<r>\r\n"
                               "  <group>\r\n"
                               "      <a>1</a>\r\n"
                               "      <b/>\r\n"
                               "    <c/></group>\r\n"
                               "  <p>  <t/></p></r>\r\n");

  const TIndentUnit indent(u"\t");
  doc = Load(u"<r/>");
  CreateNewElement(doc->DocumentElement(), u"a", true);
  EXPECT_EQ(SaveToString(*doc).substr(40), u"<r>\t<a>\r\n\t\t</a>\r\n\t</r>\r\n");
}

TEST(XMLFormattedSaveTest, SmallDocumentGivesTheDocumentedText) {
  auto doc = Load(u"<?xml version=\"1.0\"?><!DOCTYPE xliff><xliff version=\"1.2\" extra=\"1\">"
                  u"<file original=\"a.rc\"><header><prop-group name=\"H\">"
                  u"<prop prop-type=\"Version\">9.0</prop></prop-group></header><body>"
                  u"<trans-unit id=\"1\"><source>Hello\r\nWorld</source>"
                  u"<target><![CDATA[Hallo]]></target><note/><!-- why --></trans-unit>"
                  u"<trans-unit id=\"2\"><source>A <b>bold</b> move</source></trans-unit>"
                  u"</body></file></xliff>");
  // The head's prolog and root attributes win; mixed content is laid out like any other.
  EXPECT_EQ(Formatted(*doc, NotesHead),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<!DOCTYPE xliff PUBLIC \"-//XLIFF//DTD XLIFF//EN\"\r\n \"xliff.dtd\" >\r\n"
            "<xliff version=\"1.0\">\r\n"
            "  <file original=\"a.rc\">\r\n"
            "    <header>\r\n"
            "      <prop-group name=\"H\">\r\n"
            "        <prop prop-type=\"Version\">9.0</prop>\r\n"
            "      </prop-group>\r\n"
            "    </header>\r\n"
            "    <body>\r\n"
            "      <trans-unit id=\"1\">\r\n"
            "        <source>Hello\nWorld</source>\r\n"
            "        <target><![CDATA[Hallo]]></target>\r\n"
            "        <note/>\r\n"
            "        <!-- why -->\r\n"
            "      </trans-unit>\r\n"
            "      <trans-unit id=\"2\">\r\n"
            "        <source>\r\n"
            "          A \r\n"
            "          <b>bold</b>\r\n"
            "           move\r\n"
            "        </source>\r\n"
            "      </trans-unit>\r\n"
            "    </body>\r\n"
            "  </file>\r\n"
            "</xliff>\r\n");

  // Without mixed content, reformatting a loaded document adds nothing.
  doc = Load(u"<r><a><b>x</b><c> </c><d/></a><e>y</e></r>");
  const std::string once = Formatted(*doc, u"<r/>");
  EXPECT_EQ(Formatted(*LoadBytes(once), u"<r/>"), once);
  // A head that does not parse, or a document without a root, is an error, not an empty file.
  std::ostringstream out;
  EXPECT_THROW(SaveFormattedDocument(*doc, out, u"<r>"), EQEMXMLError);
  EXPECT_THROW(SaveFormattedDocument(*CreateNewDocument(), out, u"<r/>"), EQEMXMLError);
  EXPECT_TRUE(out.str().empty());
}

TEST(XMLLoadSaveTest, RoundTripKeepsPrologCommentsAndInstructions) {
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
                           "<!DOCTYPE tmx SYSTEM \"tmx14.dtd\">\r\n"
                           "<!-- before -->\r\n"
                           "<?tool keep me?>\r\n"
                           "<tmx a=\"1\"><!-- in --><?pi x?><u>&lt;&amp;&gt;</u></tmx>\r\n"
                           "<!-- after -->\r\n";
  EXPECT_EQ(SaveToBytes(*LoadBytes(text)), text);
}

TEST(XMLLoadSaveTest, WhitespaceIsKeptOnlyAsAnOnlyChild) {
  auto doc =
      Load(u"<unit>\n  <source>\t</source>\n  <target> </target>\n  <note>a </note>\n</unit>");
  EXPECT_EQ(doc->DocumentElement().ChildCount(), 3);
  auto again = LoadBytes(SaveToBytes(*doc));
  const TQEMXMLNode root = again->DocumentElement();
  EXPECT_EQ(GetTextFromNode(FindChildElement(root, u"source")), u"\t");
  EXPECT_EQ(GetTextFromNode(FindChildElement(root, u"target")), u" ");
  EXPECT_EQ(GetTextFromNode(FindChildElement(root, u"note")), u"a ");
}

TEST(XMLLoadSaveTest, EncodingsAreDecodedAndSavedAsUTF8) {
  EXPECT_EQ(GetTextFromNode(LoadBytes("\xEF\xBB\xBF<a>\xC3\xA9</a>")->DocumentElement()),
            u"\u00E9");

  const std::u16string text =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u00E9\u20AC\U0001F600</a>";
  std::string le = "\xFF\xFE", be;
  for (char16_t c : text) {
    le += {char(c & 0xFF), char(c >> 8)};
    be += {char(c >> 8), char(c & 0xFF)};
  }
  EXPECT_EQ(GetTextFromNode(LoadBytes(le)->DocumentElement()), u"\u00E9\u20AC\U0001F600");
  EXPECT_EQ(GetTextFromNode(LoadBytes(be)->DocumentElement()), u"\u00E9\u20AC\U0001F600");

  struct {
    const char* Encoding;
    std::string Bytes;
    std::u16string Text;
  } declared[] = {{"ISO-8859-1", "caf\xE9", u"caf\u00E9"},
                  {"windows-1252", "\x80", u"\u20AC"},
                  {"Shift_JIS", "\x93\xFA\x96\x7B", u"\u65E5\u672C"},
                  {"utf-16", "\xC3\xA9", u"\u00E9"}}; // no byte-order mark: the claim is false
  for (const auto& d : declared) {
    auto doc = LoadBytes(std::string("<?xml version=\"1.0\" encoding=\"") + d.Encoding +
                         "\"?><a t=\"" + d.Bytes + "\">" + d.Bytes + "</a>");
    EXPECT_EQ(GetTextFromNode(doc->DocumentElement()), d.Text) << d.Encoding;
    EXPECT_EQ(doc->DocumentElement().GetAttribute(u"t"), d.Text) << d.Encoding;
    EXPECT_EQ(SaveToBytes(*doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a t=\"" +
                                     UTF16ToUTF8(d.Text) + "\">" + UTF16ToUTF8(d.Text) +
                                     "</a>\r\n");
  }

  // Text handed over as a string is decoded already.
  EXPECT_EQ(
      GetTextFromNode(
          Load(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\u00E9</a>")->DocumentElement()),
      u"\u00E9");
}

TEST(XMLLoadSaveTest, UnreadableEncodingFailsNamingIt) {
  auto doc = CreateNewDocument();
  // Only plain encoding names reach the converter: never a path or converter options.
  for (std::string name : {"x-no-such-code", "../../etc/passwd", "UTF-8,swaplfnl", "8859-1"}) {
    EXPECT_FALSE(LoadFromBytes(*doc, "<?xml version=\"1.0\" encoding='" + name + "'?><a/>"));
    EXPECT_EQ(doc->LastError(), Format(SXMLUnknownEncoding, name));
    EXPECT_FALSE(doc->DocumentNode().HasChildNodes());
  }
}

TEST(XMLLoadSaveTest, FailedLoadLeavesNoRootAndSaysWhy) {
  auto doc = Load(u"<ok/>");
  const std::string bad[] = {"<a><b></a>",    "<a",          "",
                             "<!-- only -->", "<a>\xC3</a>", std::string("\xFF\xFE<\0a\0", 6)};
  for (const std::string& b : bad) {
    EXPECT_FALSE(LoadFromBytes(*doc, b)) << b;
    EXPECT_TRUE(doc->DocumentElement().IsNull()) << b;
    EXPECT_FALSE(doc->DocumentNode().HasChildNodes()) << b;
    EXPECT_FALSE(doc->LastError().empty()) << b;
  }
  EXPECT_FALSE(LoadFromString(*doc, u"<a><b></a>"));
  EXPECT_NE(UTF16ToUTF8(doc->LastError()).find(" at offset "), std::string::npos)
      << UTF16ToUTF8(doc->LastError());
  // pugixml would stop at a NUL and keep the rest of the file quietly out.
  EXPECT_FALSE(LoadFromBytes(*doc, std::string("<a>x\0y</a>", 10)));
  EXPECT_EQ(doc->LastError(), Format(SXMLNulChar, 4));
  EXPECT_FALSE(LoadFromFile(*doc, u"/nonexistent/notes.xlf"));
  EXPECT_EQ(doc->LastError(), Format(SXMLCannotOpen, u"/nonexistent/notes.xlf"));

  EXPECT_TRUE(LoadFromString(*doc, u"<ok/>"));
  EXPECT_TRUE(doc->LastError().empty());
}

// A character XML cannot hold is refused at load wherever the parser would store it, raw or as a
// reference, with its place: stored, a NUL cut the text short and the others made every later
// save fail.
TEST(XMLLoadSaveTest, CharactersXMLCannotHoldAreRefusedAtLoadWithTheirPlace) {
  auto doc = CreateNewDocument();
  auto refusal = [&](std::string_view Text) {
    EXPECT_FALSE(LoadFromBytes(*doc, Text)) << Text;
    EXPECT_TRUE(doc->DocumentElement().IsNull()) << Text;
    return doc->LastError();
  };
  EXPECT_EQ(refusal("<a>\n <t>'MAN'&#0;'UELL'</t></a>"), Format(SXMLNonCharAt, 0, 2, 10));
  EXPECT_EQ(refusal("<a>\r\n<t v='x&#1;'/></a>"), Format(SXMLNonCharAt, 1, 2, 8));
  EXPECT_EQ(refusal("<a>\xC3\xA9\xC3\xA9&#x1f;</a>"), Format(SXMLNonCharAt, 0x1F, 1, 6));
  EXPECT_EQ(refusal("<a>&#xFFFE;</a>"), Format(SXMLNonCharAt, 0xFFFE, 1, 4));
  EXPECT_EQ(refusal("<a>&#65535;</a>"), Format(SXMLNonCharAt, 0xFFFF, 1, 4));
  EXPECT_EQ(refusal("<a>&#xD800;&#xDC00;</a>"), Format(SXMLNonCharAt, 0xD800, 1, 4));
  EXPECT_EQ(refusal("<a b=\"&#xDFFF;\"/>"), Format(SXMLNonCharAt, 0xDFFF, 1, 7));
  // The parser's own sum wraps: 2^32 would have been a NUL.
  EXPECT_EQ(refusal("<a>&#4294967296;</a>"), Format(SXMLCharRefBeyondUnicode, 1, 4));
  EXPECT_EQ(refusal("<a>&#x110000;</a>"), Format(SXMLCharRefBeyondUnicode, 1, 4));
  // Raw characters count everywhere, also where references are only text.
  EXPECT_EQ(refusal("<a>x\x01</a>"), Format(SXMLNonCharAt, 1, 1, 5));
  EXPECT_EQ(refusal("<a><!-- \x1B --></a>"), Format(SXMLNonCharAt, 0x1B, 1, 9));
  EXPECT_EQ(refusal("<a>\xEF\xBF\xBF</a>"), Format(SXMLNonCharAt, 0xFFFF, 1, 4));
  // The first of several is named, whichever kind it is.
  EXPECT_EQ(refusal("<a>&#2;\x01</a>"), Format(SXMLNonCharAt, 2, 1, 4));
  EXPECT_EQ(refusal("<a>\x01&#2;</a>"), Format(SXMLNonCharAt, 1, 1, 4));
  // UTF-16 input is placed in characters too.
  const std::u16string wide = u"<a>\r\n\u00E9\U0001F600&#0;</a>";
  EXPECT_FALSE(LoadFromString(*doc, wide));
  EXPECT_EQ(doc->LastError(), Format(SXMLNonCharAt, 0, 2, 3));

  // What only looks like a reference stays text; allowed characters load as before.
  auto kept = Load(u"<a t='&#9;&#xA;&#xd;&#x10FFFF;'><!-- &#0; --><![CDATA[&#1;]]><?p &#2;?>"
                   u"&#x1F600;&#X41;&#;&#x;&#12a;\u00E9\uFFFD</a>");
  const TQEMXMLNode a = kept->DocumentElement();
  EXPECT_EQ(a.GetAttribute(u"t"), u"\t\n\r\U0010FFFF");
  EXPECT_EQ(a.FirstChild().NodeValue(), u" &#0; ");
  EXPECT_EQ(a.FirstChild().NextSibling().NodeValue(), u"&#1;");
  EXPECT_EQ(a.LastChild().NodeValue(), u"\U0001F600&#X41;&#;&#x;&#12a;\u00E9\uFFFD");
  // A quoted '>' or comment opener inside a tag does not hide what follows.
  EXPECT_EQ(refusal("<a x='>' y=\"<!--\">&#0;<b z='-->'/></a>"), Format(SXMLNonCharAt, 0, 1, 19));
}

// No file reference is ever followed and no entity expanded: the reference stays text.
TEST(XMLLoadSaveTest, EntitiesAreNeverResolved) {
  qemtest::TTempDir dir;
  qemtest::WriteTextFile(dir.Path() / "secret.txt", "TOPSECRET");
  const std::string text = "<!DOCTYPE a [<!ENTITY ext SYSTEM \"file://" +
                           (dir.Path() / "secret.txt").string() +
                           "\"><!ENTITY l0 \"ha\"><!ENTITY l1 \"&l0;&l0;&l0;&l0;\">]>"
                           "<a>&ext;&l1;</a>";
  auto doc = CreateNewDocument();
  if (LoadFromBytes(*doc, text)) {
    EXPECT_EQ(GetTextFromNode(doc->DocumentElement()), u"&ext;&l1;");
    EXPECT_EQ(SaveToBytes(*doc).find("TOPSECRET"), std::string::npos);
  } else {
    EXPECT_TRUE(doc->DocumentElement().IsNull());
  }
}

TEST(XMLLoadSaveTest, SaveRefusesTextXMLCannotHold) {
  auto doc = Load(u"<?xml version=\"1.0\"?><a><!--c--><b/></a>");
  const TQEMXMLNode a = doc->DocumentElement(), b = a.LastChild();
  auto errorOfSave = [&] {
    std::ostringstream out;
    std::string msg = XMLErrorOf([&] { SaveToStream(*doc, out); });
    EXPECT_EQ(out.str().empty(), !msg.empty());
    return msg;
  };

  SetTextToNode(b, u"tab\t cr\r lf\n are fine");
  b.SetAttribute(u"v", u"tab\t cr\r lf\n too");
  a.FirstChild().SetNodeValue(u"&#1; is only text here");
  EXPECT_EQ(errorOfSave(), "");
  b.RemoveAttribute(u"v");

  SetTextToNode(b, std::u16string(u"ab\x01") + u"cd");
  EXPECT_EQ(errorOfSave(), UTF16ToUTF8(Format(SXMLInvalidText, u"ab\\x01cd")));
  SetTextToNode(b, std::u16string(u"a\0b", 3)); // a NUL is stored as U+FFFF
  EXPECT_EQ(errorOfSave(), UTF16ToUTF8(Format(SXMLInvalidText, u"a\\uFFFFb")));
  SetTextToNode(b, u"");
  a.FirstChild().SetNodeValue(u"\uFFFE"); // raw in a comment, not escaped
  EXPECT_NE(errorOfSave(), "");
  a.FirstChild().SetNodeValue(u"c");

  // Long text is cut around the offending character.
  SetTextToNode(b, std::u16string(200, u'x') + u"\x02" + std::u16string(200, u'y'));
  EXPECT_EQ(errorOfSave(),
            UTF16ToUTF8(Format(SXMLInvalidText, u"..." + std::u16string(20, u'x') + u"\\x02" +
                                                    std::u16string(39, u'y') + u"...")));
  EXPECT_THROW(SaveToBytes(*CreateNewDocument()), EQEMXMLError);

  // The output is checked in pieces; a bad character must be found wherever it falls.
  for (const char16_t bad : {u'\x01', u'\uFFFF'}) {
    for (size_t at = 65470; at < 65500; ++at) {
      std::u16string text(70000, u'x');
      text[at] = bad;
      SetTextToNode(a, text);
      EXPECT_THROW(SaveToBytes(*doc), EQEMXMLError) << at;
    }
  }
}

TEST(XMLTextTest, GetTextFromNodeJoinsTextAndCDataWithCRLFBreaks) {
  auto doc = Load(u"<s>a<![CDATA[<b>\r\n]]>c<i>ignored</i>d\r\ne</s>");
  const TQEMXMLNode s = doc->DocumentElement();
  EXPECT_EQ(GetTextFromNode(s), u"a<b>\r\ncd\r\ne");
  EXPECT_EQ(GetTextFromNode(s.FirstChild()), u"a");

  // Setting keeps the text as given; reading turns every kind of break into CR LF.
  SetTextToNode(s, u"1\r\n2\r3\n4\r\r\n5\n\r6");
  EXPECT_EQ(s.ChildCount(), 1);
  EXPECT_EQ(s.FirstChild().NodeValue(), u"1\r\n2\r3\n4\r\r\n5\n\r6");
  EXPECT_EQ(GetTextFromNode(s), u"1\r\n2\r\n3\r\n4\r\n\r\n5\r\n\r\n6");
  SetTextToNode(s.FirstChild(), u"x\ny");
  EXPECT_EQ(GetTextFromNode(s.FirstChild()), u"x\r\ny");
  EXPECT_EQ(GetTextFromNode(TQEMXMLNode()), u"");
}

TEST(XMLNodeTest, DeclarationAndDocumentTypeReadLikeTheDOM) {
  auto doc = Load(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE greeting SYSTEM \"g.dtd\">"
                  u"<greeting>t<![CDATA[c]]></greeting>");
  const TQEMXMLNode d = doc->DocumentNode(), decl = d.FirstChild(), root = doc->DocumentElement();
  EXPECT_EQ(decl.NodeType(), ntProcessingInstruction);
  EXPECT_EQ(decl.NodeName(), u"xml");
  EXPECT_EQ(decl.NodeValue(), u"version=\"1.0\" encoding=\"UTF-8\"");
  EXPECT_EQ(decl.NextSibling().NodeType(), ntDocumentType);
  EXPECT_EQ(decl.NextSibling().NodeName(), u"greeting");
  EXPECT_EQ(root.Child(1).NodeName(), u"#cdata-section");
  EXPECT_TRUE(root.Child(2).IsNull());
  EXPECT_EQ(root.Child(1).OwnerDocument(), d);
  EXPECT_TRUE(d.OwnerDocument().IsNull());
}

TEST(XMLNodeTest, LookupsCompareNamesExactly) {
  auto doc = Load(u"<r>text<Item a=\"1\"/><item A=\"2\" a=\"3\"/></r>");
  const TQEMXMLNode r = doc->DocumentElement();
  const TQEMXMLNode item = FindChildElement(r, u"item");
  EXPECT_EQ(item, r.Child(2));
  EXPECT_TRUE(FindChildElement(r, u"ITEM").IsNull());
  EXPECT_TRUE(FindChildElement(TQEMXMLNode(), u"item").IsNull());
  EXPECT_EQ(GetAttribute(item, u"a"), u"3");
  EXPECT_EQ(GetAttribute(item, u"b"), u"");
  EXPECT_TRUE(item.HasAttribute(u"A"));
  using TAttrs = std::vector<std::pair<std::u16string, std::u16string>>;
  EXPECT_EQ(item.Attributes(), (TAttrs{{u"A", u"2"}, {u"a", u"3"}}));

  TQEMXMLNode e;
  EXPECT_TRUE(IsElement(r.Child(1), u"Item", e));
  EXPECT_EQ(e, r.Child(1));
  EXPECT_FALSE(IsElement(r.Child(1), u"item", e));
  EXPECT_TRUE(e.IsNull());
  EXPECT_FALSE(IsElement(r.FirstChild(), u"#text", e));
}

TEST(XMLNodeTest, CopiesAndMovesKeepTheirContent) {
  auto target = Load(u"<t/>");
  const TQEMXMLNode t = target->DocumentElement();
  {
    auto source = Load(u"<s a=\"1\"><c>x</c></s>");
    t.AppendCopy(source->DocumentElement(), true);
    t.AppendCopy(source->DocumentElement(), false);
  }
  const TQEMXMLNode third = t.AppendText(u"3");
  t.MoveBefore(third, t.FirstChild());
  t.MoveToEnd(t.Child(1));
  EXPECT_EQ(SaveToBytes(*target), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<t>3<s "
                                  "a=\"1\"/><s a=\"1\"><c>x</c></s></t>\r\n");
  t.RemoveChild(t.FirstChild());
  EXPECT_EQ(t.ChildCount(), 2);
}

TEST(XMLNodeTest, ChangesTheDocumentCannotHoldAreRefused) {
  auto doc = Load(u"<r><a/></r>");
  const TQEMXMLNode d = doc->DocumentNode(), r = doc->DocumentElement(), a = r.FirstChild();
  const TQEMXMLNode null;
  EXPECT_THROW(d.AppendElement(u"second"), EQEMXMLError);
  EXPECT_THROW(d.AppendText(u"beside"), EQEMXMLError);
  for (auto name : {u"", u"1a", u"a b", u"a<b", u"\xD800"})
    EXPECT_THROW(r.AppendElement(name), EQEMXMLError) << UTF16ToUTF8(name);
  EXPECT_NO_THROW(r.AppendElement(u"xml:lang-\u00E9.1"));
  EXPECT_THROW(r.SetAttribute(u"=", u"v"), EQEMXMLError);
  EXPECT_THROW(a.FirstChild().RemoveChild(a), EQEMXMLError);
  EXPECT_THROW(d.RemoveChild(a), EQEMXMLError);
  EXPECT_THROW(r.AppendText(u"x").AppendText(u"y"), EQEMXMLError);
  EXPECT_THROW(null.SetNodeValue(u"x"), EQEMXMLError);
  EXPECT_THROW(CreateNewElement(null, u"x", false), EQEMXMLError);
  EXPECT_THROW(CreateNewElement(d, u"x", true), EQEMXMLError);
  // The refused changes left nothing behind.
  EXPECT_EQ(SaveToBytes(*doc),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r><a/><xml:lang-\xC3\xA9.1/>x</r>\r\n");
}

// Nothing may recurse per level: parse, formatted copy, save and destruction all see 100,000.
TEST(XMLRobustnessTest, DeepNestingLoadsAndSaves) {
  constexpr int Depth = 100000;
  std::string text;
  for (int i = 0; i < Depth; ++i)
    text += "<a>";
  text += "x";
  for (int i = 0; i < Depth; ++i)
    text += "</a>";
  auto doc = LoadBytes(text);
  EXPECT_EQ(SaveToBytes(*doc).size(), text.size() + 42);
  const std::string formatted = Formatted(*doc, u"<r/>");
  // Indentation stops growing, so the output stays linear in the depth.
  const std::string deepest = "\r\n" + std::string(2 * MaxFormattedDepth, ' ') + "<a>x</a>\r\n";
  EXPECT_NE(formatted.find(deepest), std::string::npos);
  EXPECT_LT(formatted.size(), size_t(Depth) * (4 * MaxFormattedDepth + 32));
  EXPECT_TRUE(LoadFromBytes(*doc, formatted));
}

TEST(XMLRobustnessTest, EveryTruncationFailsCleanly) {
  const std::string text = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                           "<!DOCTYPE a [<!ENTITY e \"v\">]><a x=\"1\"><!--c--><?p q?>"
                           "<![CDATA[d]]><b>t&amp;&#233;</b></a>";
  auto doc = CreateNewDocument();
  for (size_t n = 0; n < text.size(); ++n) {
    if (!LoadFromBytes(*doc, text.substr(0, n))) {
      EXPECT_TRUE(doc->DocumentElement().IsNull()) << n;
    }
  }
  EXPECT_TRUE(LoadFromBytes(*doc, text)) << UTF16ToUTF8(doc->LastError());
  EXPECT_EQ(GetTextFromNode(FindChildElement(doc->DocumentElement(), u"b")), u"t&\u00E9");
}

// ---- the formatted save against a plain copy

namespace {
// Appends Text and then Depth indentation units, unless that is nothing.
void AppendLayout(TQEMXMLNode Parent, size_t Depth, const std::u16string& Text = u"") {
  std::u16string t = Text;
  for (size_t i = std::min<size_t>(Depth, MaxFormattedDepth); i > 0; --i)
    t += DefaultIndentStr;
  if (!t.empty()) Parent.AppendText(t);
}

// Copies Src's children into Dst laid out: a declaration or document type is dropped, an element
// holding one text or CDATA node is copied whole, any other is laid out in turn.
void CopyLaidOut(TQEMXMLNode Src, TQEMXMLNode Dst, size_t Depth) {
  if (!Src.HasChildNodes()) return;
  AppendLayout(Dst, 0, u"\r\n");
  for (TQEMXMLNode c = Src.FirstChild(); c; c = c.NextSibling()) {
    std::u16string name = c.NodeName();
    for (char16_t& ch : name)
      ch = ch >= u'A' && ch <= u'Z' ? ch + 32 : ch;
    if (c.NodeType() == ntDocumentType ||
        (c.NodeType() == ntProcessingInstruction && name == u"xml"))
      continue;
    const TQEMXMLNode only = c.FirstChild();
    const bool leaf = c.NodeType() == ntElement && only && !only.NextSibling() &&
                      (only.NodeType() == ntText || only.NodeType() == ntCData);
    AppendLayout(Dst, Depth + 1);
    const TQEMXMLNode copy = Dst.AppendCopy(c, leaf);
    if (!leaf) CopyLaidOut(c, copy, Depth + 1);
    AppendLayout(Dst, 0, u"\r\n");
  }
  AppendLayout(Dst, Depth);
}

// The formatted save done the simple way: the head document is filled with the laid-out
// children and then saved as it is. Slow, but plainly right: the streaming save must give the
// same bytes and the same refusals.
std::string CopyingFormatted(const TQEMXMLDocument& Doc, const std::u16string& Head) {
  if (Doc.DocumentElement().IsNull()) throw EQEMXMLError(std::u16string(SXMLNoRoot));
  auto out = CreateNewDocument();
  if (!LoadFromString(*out, Head)) throw EQEMXMLError(out->LastError());
  CopyLaidOut(Doc.DocumentElement(), out->DocumentElement(), 0);
  return SaveToBytes(*out);
}

// The bytes written and the message of the refusal, if any.
std::pair<std::string, std::string> Streamed(const TQEMXMLDocument& Doc,
                                             const std::u16string& Head) {
  std::ostringstream out;
  const std::string error = XMLErrorOf([&] { SaveFormattedDocument(Doc, out, Head); });
  return {out.str(), error};
}

// Same bytes, or the same refusal with nothing written; Refusal gets the copy's refusal.
testing::AssertionResult MatchesCopy(const TQEMXMLDocument& Doc, const std::u16string& Head,
                                     std::string* Refusal = nullptr) {
  const auto [got, error] = Streamed(Doc, Head);
  std::string want;
  const std::string wantError = XMLErrorOf([&] { want = CopyingFormatted(Doc, Head); });
  if (Refusal) *Refusal = wantError;
  if (error != wantError)
    return testing::AssertionFailure() << "refusal \"" << error << "\" vs \"" << wantError << "\"";
  if (got == want) return testing::AssertionSuccess();
  // The outputs are too long to print whole.
  const size_t at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first -
                    got.begin(),
               from = at > 60 ? at - 60 : 0;
  return testing::AssertionFailure()
         << "at byte " << at << " of " << got.size() << " vs " << want.size()
         << "\n  got:  " << testing::PrintToString(got.substr(from, 120))
         << "\n  want: " << testing::PrintToString(want.substr(from, 120));
}

// Random documents that reach every branch of the layout and every kind of escaping.
class TRandomXML {
public:
  explicit TRandomXML(unsigned Seed) : FRandom(Seed) {}

  std::string Document() {
    FBudget = 20 + Pick(200);
    std::string s = Pick(2) ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" : "";
    s += Pick(4) ? "" : "<!DOCTYPE r SYSTEM \"r.dtd\">";
    s += Pick(4) ? "" : "<!--before-->";
    return s + Element(0);
  }

  // Changes the loaded document in ways the text form cannot express; an empty text node
  // prints nothing but still is a child.
  void Mutate(const TQEMXMLDocument& Doc) {
    const std::vector<TQEMXMLNode> elements = Nodes(Doc);
    for (int i = Pick(4); i > 0; --i) {
      const TQEMXMLNode e = elements[Pick(int(elements.size()))];
      const int kind = Pick(5);
      if (kind == 0) e.SetAttribute(u"raw", u"\t\r\n<&>\"' \u00E9");
      if (kind == 1) e.AppendCData(Pick(2) ? u"a]]>b]]>" : u"");
      if (kind == 2) e.AppendText(u"");
      if (kind == 3) e.AppendElement(u"added").AppendText(u"\r\r\n\t<tail>&");
      if (kind == 4) e.AppendElement(u"empty");
    }
  }

  // Puts one character XML cannot hold somewhere; some places are never written.
  void Spoil(const TQEMXMLDocument& Doc) {
    const std::u16string bad = Pick(2) ? u"\x01" : u"\uFFFF";
    const std::vector<TQEMXMLNode> nodes = Nodes(Doc, true);
    const TQEMXMLNode n = nodes[Pick(int(nodes.size()))];
    const int kind = n.NodeType() != ntElement ? 3 : Pick(3);
    if (kind == 0) n.SetAttribute(u"spoilt", u"x" + bad + u"y");
    if (kind == 1) n.AppendText(u"text " + bad);
    if (kind == 2) n.AppendCData(bad);
    if (kind == 3) n.SetNodeValue(u"v" + bad); // text, CDATA, comment or instruction
  }

private:
  std::mt19937 FRandom;
  int FBudget = 0;

  int Pick(int N) { return std::uniform_int_distribution<int>(0, N - 1)(FRandom); }
  template <size_t K> std::string Of(const char* const (&List)[K]) { return List[Pick(int(K))]; }
  template <size_t K> std::string Some(const char* const (&List)[K], int Most) {
    std::string v;
    for (int i = Pick(Most); i > 0; --i)
      v += Of(List);
    return v;
  }

  // Every element, and with Leaves also every other node below one.
  static std::vector<TQEMXMLNode> Nodes(const TQEMXMLDocument& Doc, bool Leaves = false) {
    std::vector<TQEMXMLNode> r{Doc.DocumentElement()};
    for (size_t i = 0; i < r.size(); ++i)
      for (TQEMXMLNode c = r[i].FirstChild(); c && r[i].NodeType() == ntElement;
           c = c.NextSibling())
        if (Leaves || c.NodeType() == ntElement) r.push_back(c);
    return r;
  }

  std::string Name() { return Of({"a", "trans-unit", "x:y", "\xC3\xA9l", "XML", "b.1", "_"}); }

  std::string Text() {
    return "t" + Some({"text", " ", "\t", "\r\n", "\n", "&amp;", "&lt;", ">", "&gt;", "\"", "'",
                       "]]>", "&#9;", "&#13;", "\xC3\xA9", "a  b", "&#x1F600;", "--", "?>"},
                      4);
  }

  std::string StartTag(const std::string& Name) {
    std::string s = "<" + Name;
    for (int i = 0, count = Pick(4); i < count; ++i)
      s += " " + Of({"id", "x:lang", "v"}) + std::to_string(i) + "=\"" +
           Some({"plain", "&amp;", "&lt;", "&gt;", ">", "'", "&quot;", "&#9;", "&#10;", "&#13;",
                 "&#xD;&#xA;", " ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "]]>", "&#x7F;",
                 "%"},
                5) +
           "\"";
    return s;
  }

  // An element holding only Content, so that it is laid out on one line.
  std::string Leaf(const std::string& Content) {
    const std::string n = Name();
    return StartTag(n) + ">" + Content + "</" + n + ">";
  }

  std::string Element(int Depth) {
    const std::string name = Name();
    std::string s = StartTag(name);
    if (--FBudget <= 0 || Pick(6) == 0) return s + "/>";
    s += ">";
    // A chain well past the indentation cap now and then.
    if (Depth < 3 && Pick(12) == 0) {
      const int depth = MaxFormattedDepth + 1 + Pick(40);
      for (int i = 0; i < depth; ++i)
        s += Pick(3) ? "<c>" : "<c>t<!--k-->";
      s += Pick(2) ? Text() : "";
      for (int i = 0; i < depth; ++i)
        s += "</c>";
      return s + "</" + name + ">";
    }
    for (int i = 0, children = Pick(6); i < children && FBudget > 0; ++i, --FBudget) {
      const int kind = Pick(Depth > 8 ? 10 : 13);
      if (kind == 0) s += Text();
      if (kind == 1) s += "<![CDATA[" + Of({"", "<&>", " ", "a]]b", "]"}) + "]]>";
      if (kind == 2) s += "<!--" + Of({"", " c ", "<&>", "a-b", "\r\n"}) + "-->";
      if (kind == 3)
        s += "<?" + Of({"pi", "xml-stylesheet", "xmlx", "X"}) +
             Of({"", " data", " a=\"&amp;\"", " <&>"}) + "?>";
      if (kind == 4) s += StartTag(Name()) + "/>";
      // Whitespace only is kept as the only child.
      if (kind == 5) s += Leaf(Of({" ", "\t", "\r\n", "  \n  ", "&#32;"}));
      if (kind == 6) s += Leaf("<![CDATA[" + Of({"", "x", "<y>&"}) + "]]>");
      if (kind == 7 || kind == 8) s += Leaf(Text());
      if (kind > 8) s += Element(Depth + 1);
    }
    return s + "</" + name + ">";
  }
};

const std::u16string Heads[] = {
    NotesHead,
    u"<r/>",
    u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?><!-- lead --><?app x?>"
    u"<r a=\"&amp;&lt;&quot;'&#9;&#10;>\" b=''/><!-- trail -->",
    u"<?xml version=\"1.0\"?>\n<r><keep a=\"1\">x</keep><!--c--><k><l/></k></r>",
    u"<r> </r>",
    u"<?xml version='1.0' encoding='UTF-8'?>\n<xliff xmlns=\"urn:x\"></xliff>\n<?after?>",
};
} // namespace

TEST(XMLFormattedSaveTest, StreamedSaveMatchesTheCopyOnRandomDocuments) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    TRandomXML random(seed);
    const std::string text = random.Document();
    auto doc = CreateNewDocument();
    ASSERT_TRUE(LoadFromBytes(*doc, text)) << UTF16ToUTF8(doc->LastError()) << "\n" << text;
    if (seed % 2) random.Mutate(*doc);
    for (const std::u16string unit : {u"  ", u"\t", u"", u"<&>"}) {
      const TIndentUnit indent(unit);
      for (const std::u16string& head : Heads) {
        std::string refusal;
        ASSERT_TRUE(MatchesCopy(*doc, head, &refusal))
            << "seed " << seed << ", indent \"" << UTF16ToUTF8(unit) << "\", head "
            << UTF16ToUTF8(head);
        ASSERT_EQ(refusal, "");
      }
    }
  }
}

// The first text XML cannot hold is named in both, and text that is never written (the source
// root's own attributes) refuses nothing.
TEST(XMLFormattedSaveTest, StreamedSaveRefusesWhatTheCopyRefuses) {
  int refused = 0;
  for (unsigned seed = 1000; seed < 1150; ++seed) {
    TRandomXML random(seed);
    auto doc = CreateNewDocument();
    ASSERT_TRUE(LoadFromBytes(*doc, random.Document()));
    random.Spoil(*doc);
    if (seed % 3 == 0) random.Spoil(*doc);
    std::string refusal;
    ASSERT_TRUE(MatchesCopy(*doc, Heads[seed % std::size(Heads)], &refusal)) << "seed " << seed;
    refused += !refusal.empty();
  }
  EXPECT_GT(refused, 100);

  auto doc = Load(u"<r><a>x</a><?pi?></r>");
  doc->DocumentElement().SetAttribute(u"bad", u"\x01");
  const std::string x01 = UTF16ToUTF8(Format(SXMLInvalidText, u"\\x01"));
  EXPECT_EQ(Streamed(*doc, u"<r/>").second, "");
  EXPECT_EQ(Streamed(*doc, u"<r b=\"&#3;\"/>"),
            std::make_pair(std::string(), UTF16ToUTF8(Format(SXMLNonCharAt, 3, 1, 7))));
  // Bad indentation counts only where some is written.
  const TIndentUnit indent(u"\x01");
  EXPECT_EQ(Streamed(*doc, u"<r/>"), std::make_pair(std::string(), x01));
  EXPECT_EQ(Streamed(*Load(u"<r>x</r>"), u"<r/>").second, x01);
  EXPECT_EQ(Streamed(*Load(u"<r/>"), u"<r/>").second, "");
}

TEST(XMLFormattedSaveTest, StreamedSaveMatchesTheCopyOnDeepWideAndLongContent) {
  std::string deep, wide = "<w>";
  for (int i = 0; i < 3 * MaxFormattedDepth; ++i)
    deep += i % 5 ? "<d>" : "<d k=\"&amp;\"><x/>";
  deep += "<leaf>&lt;</leaf>";
  for (int i = 0; i < 3 * MaxFormattedDepth; ++i)
    deep += "</d>";
  for (int i = 0; i < 5000; ++i)
    wide += "<u id=\"" + std::to_string(i) + "\"><s>a&amp;b</s><t><![CDATA[c]]></t></u>";
  // Pieces longer than any buffer on the way.
  const std::string big = "<b v=\"" + std::string(100000, 'v') + "&amp;\"><c>" +
                          std::string(100000, 't') + "</c><c/></b>";
  for (const std::string& text : {deep, wide + "</w>", big})
    EXPECT_TRUE(MatchesCopy(*LoadBytes(text), NotesHead));
}
