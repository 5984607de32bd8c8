#include "translator/QEMExchangeXliff.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include <pugixml.hpp>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"

namespace {

// ---- writing ----

// False for a text XML 1.0 cannot carry: control characters, U+FFFE, U+FFFF, lone surrogates.
// Carriage returns and, in attributes, line breaks and tabs go as character references, which
// a reader does not normalise away.
bool AppendEscaped(std::u16string_view S, bool Attr, std::u16string& Out) {
  for (size_t i = 0; i < S.size(); ++i) {
    const char16_t c = S[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 &&
        S[i + 1] <= 0xDFFF) {
      Out += c;
      Out += S[++i];
      continue;
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) return false;
    switch (c) {
    case u'&':
      Out += u"&amp;";
      break;
    case u'<':
      Out += u"&lt;";
      break;
    case u'>':
      Out += u"&gt;";
      break;
    case u'"':
      Out += Attr ? u"&quot;" : u"\"";
      break;
    case u'\r':
      Out += u"&#13;";
      break;
    case u'\n':
      Out += Attr ? u"&#10;" : u"\n";
      break;
    case u'\t':
      Out += Attr ? u"&#9;" : u"\t";
      break;
    default:
      if (c < 0x20) return false;
      Out += c;
    }
  }
  return true;
}

class TXliffWriter {
public:
  explicit TXliffWriter(const TQEMExchangeFile& File) : FFile(File) {}
  std::string Run();

private:
  void Escaped(std::u16string_view S, bool Attr, const std::u16string& Id) {
    if (!AppendEscaped(S, Attr, FOut))
      throw EQEMError(Format(SExchangeNoXmlChar, Id, FFile.Original));
  }
  void Attr(const char16_t* Name, std::u16string_view Value, const std::u16string& Id = {}) {
    FOut += u' ';
    FOut += Name;
    FOut += u"=\"";
    Escaped(Value, true, Id);
    FOut += u'"';
  }
  // <Name Attrs>Text</Name> on a line of its own.
  void Leaf(const char16_t* Indent, const char16_t* Name, std::u16string_view Attrs,
            std::u16string_view Text, const std::u16string& Id) {
    FOut += Indent;
    FOut += u'<';
    FOut += Name;
    FOut += Attrs;
    FOut += u'>';
    Escaped(Text, false, Id);
    FOut += u"</";
    FOut += Name;
    FOut += u">\n";
  }
  void Unit(const TQEMExchangeUnit& U);

  const TQEMExchangeFile& FFile;
  std::u16string FOut;
};

std::string TXliffWriter::Run() {
  FOut = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         u"<xliff version=\"1.2\" xmlns=\"urn:oasis:names:tc:xliff:document:1.2\">\n"
         u"  <file";
  Attr(u"original", FFile.Original);
  Attr(u"source-language", FFile.SourceLang);
  Attr(u"target-language", FFile.TargetLang);
  FOut += u" datatype=\"plaintext\" tool-id=\"hlx\">\n"
          u"    <header>\n";
  FOut += u"      <tool tool-id=\"hlx\"";
  Attr(u"tool-name", QEMProductName());
  FOut += u"/>\n"
          u"    </header>\n"
          u"    <body>\n";
  for (const TQEMExchangeUnit& u : FFile.Units)
    Unit(u);
  FOut += u"    </body>\n"
          u"  </file>\n"
          u"</xliff>\n";
  return UTF16ToUTF8(FOut);
}

void TXliffWriter::Unit(const TQEMExchangeUnit& U) {
  const TResStatus s = U.Status;
  FOut += u"      <trans-unit";
  Attr(u"id", U.Id, U.Id);
  Attr(u"resname", U.ResName, U.Id);
  FOut += u" xml:space=\"preserve\"";
  if (s == rsHold || s == rsDoNotTranslate) FOut += u" translate=\"no\"";
  if (s == rsTranslated || s == rsNewlyTranslated || s == rsDoNotTranslate)
    FOut += u" approved=\"yes\"";
  FOut += u">\n";
  Leaf(u"        ", u"source", {}, U.Source, U.Id);
  switch (s) {
  case rsTranslated:
  case rsNewlyTranslated:
    Leaf(u"        ", u"target", u" state=\"translated\"", U.Target, U.Id);
    break;
  case rsAutoTranslated:
    Leaf(u"        ", u"target", u" state=\"needs-review-translation\"", U.Target, U.Id);
    break;
  case rsDoNotTranslate:
    Leaf(u"        ", u"target", u" state=\"final\"", U.Target, U.Id);
    break;
  case rsHold:
    if (U.Target != U.Source)
      Leaf(u"        ", u"target", u" state=\"needs-translation\"", U.Target, U.Id);
    break;
  default:
    break; // untranslated: no target
  }
  if (!U.Comment.empty()) Leaf(u"        ", u"note", {}, U.Comment, U.Id);
  if (!U.PrevSource.empty()) {
    FOut += u"        <alt-trans alttranstype=\"previous-version\">\n";
    Leaf(u"          ", u"source", {}, U.PrevSource, U.Id);
    Leaf(u"          ", u"target", {}, U.PrevTarget, U.Id);
    FOut += u"        </alt-trans>\n";
  }
  FOut += u"      </trans-unit>\n";
}

// ---- reading ----

std::string_view LocalName(const pugi::xml_node& N) {
  const char* name = N.name();
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

bool Named(const pugi::xml_node& N, std::string_view Name) {
  return N.type() == pugi::node_element && LocalName(N) == Name;
}

pugi::xml_node Child(const pugi::xml_node& Parent, std::string_view Name) {
  for (pugi::xml_node c : Parent.children())
    if (Named(c, Name)) return c;
  return {};
}

// The text of an element and of its inline elements, walked without recursion.
std::u16string TextOf(const pugi::xml_node& E) {
  std::string out;
  std::vector<pugi::xml_node> stack;
  for (pugi::xml_node c = E.last_child(); c; c = c.previous_sibling())
    stack.push_back(c);
  while (!stack.empty()) {
    const pugi::xml_node n = stack.back();
    stack.pop_back();
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
      out += n.value();
    else if (n.type() == pugi::node_element)
      for (pugi::xml_node c = n.last_child(); c; c = c.previous_sibling())
        stack.push_back(c);
  }
  return UTF8ToUTF16(out);
}

std::u16string AttrOf(const pugi::xml_node& E, const char* Name) {
  return UTF8ToUTF16(E.attribute(Name).value());
}

class TXliffReader {
public:
  TXliffReader(const std::u16string& FileName, std::string_view Bytes)
      : FFileName(FileName), FBytes(Bytes) {}
  std::vector<TQEMExchangeFile> Run();

private:
  int LineAt(ptrdiff_t Offset) const {
    if (Offset < 0) return 0;
    const size_t end = std::min(size_t(Offset), FBytes.size());
    return 1 + int(std::count(FBytes.begin(), FBytes.begin() + ptrdiff_t(end), '\n'));
  }
  [[noreturn]] void Broken(const pugi::xml_node& At, const std::u16string& Why) const {
    throw EQEMError(Format(SExchangeBrokenAt, FFileName, LineAt(At.offset_debug()), Why));
  }
  TQEMExchangeFile File(const pugi::xml_node& F);
  void Units(const pugi::xml_node& Parent, TQEMExchangeFile& File,
             std::unordered_set<std::u16string>& Ids);
  TQEMExchangeUnit Unit(const pugi::xml_node& U);

  const std::u16string& FFileName;
  std::string_view FBytes;
};

std::vector<TQEMExchangeFile> TXliffReader::Run() {
  pugi::xml_document doc;
  const pugi::xml_parse_result r =
      doc.load_buffer(FBytes.data(), FBytes.size(),
                      pugi::parse_default | pugi::parse_ws_pcdata_single, pugi::encoding_auto);
  if (!r)
    throw EQEMError(Format(SExchangeBrokenAt, FFileName, LineAt(r.offset),
                           Format(SExchangeXmlError, UTF8ToUTF16(r.description()))));
  const pugi::xml_node root = doc.document_element();
  if (!Named(root, "xliff")) Broken(root, Format(SExchangeNotXliff, UTF8ToUTF16(root.name())));
  std::vector<TQEMExchangeFile> files;
  for (pugi::xml_node f : root.children())
    if (Named(f, "file")) files.push_back(File(f));
  return files;
}

TQEMExchangeFile TXliffReader::File(const pugi::xml_node& F) {
  TQEMExchangeFile file;
  file.Original = AttrOf(F, "original");
  if (file.Original.empty()) Broken(F, Format(SExchangeMissing, u"file", u"original"));
  file.SourceLang = AttrOf(F, "source-language");
  file.TargetLang = AttrOf(F, "target-language");
  if (!IsValidLangTag(file.TargetLang)) Broken(F, Format(SExchangeBadLanguage, file.TargetLang));
  const pugi::xml_node body = Child(F, "body");
  if (!body) Broken(F, Format(SExchangeMissing, u"file", u"<body>"));
  std::unordered_set<std::u16string> ids;
  Units(body, file, ids);
  return file;
}

// Units sit in the body or in groups, nested as deep as the file likes.
void TXliffReader::Units(const pugi::xml_node& Parent, TQEMExchangeFile& File,
                         std::unordered_set<std::u16string>& Ids) {
  std::vector<pugi::xml_node> groups{Parent};
  while (!groups.empty()) {
    const pugi::xml_node g = groups.back();
    groups.pop_back();
    std::vector<pugi::xml_node> inner;
    for (pugi::xml_node c : g.children()) {
      if (Named(c, "group")) inner.push_back(c);
      if (!Named(c, "trans-unit")) continue;
      TQEMExchangeUnit u = Unit(c);
      if (!Ids.insert(u.Id).second) Broken(c, Format(SExchangeTwice, u.Id));
      File.Units.push_back(std::move(u));
    }
    groups.insert(groups.end(), inner.rbegin(), inner.rend());
  }
}

TQEMExchangeUnit TXliffReader::Unit(const pugi::xml_node& U) {
  TQEMExchangeUnit u;
  u.Line = LineAt(U.offset_debug());
  if (!U.attribute("id")) Broken(U, Format(SExchangeMissing, u"trans-unit", u"id"));
  u.Id = AttrOf(U, "id");
  u.ResName = AttrOf(U, "resname");
  const pugi::xml_node source = Child(U, "source");
  if (!source) Broken(U, Format(SExchangeMissing, u"trans-unit", u"<source>"));
  u.Source = TextOf(source);
  if (const pugi::xml_node note = Child(U, "note")) u.Comment = TextOf(note);
  const bool approved = std::strcmp(U.attribute("approved").value(), "yes") == 0;
  if (std::strcmp(U.attribute("translate").value(), "no") == 0) {
    u.Ask = approved ? TQEMExchangeAsk::eaDoNotTranslate : TQEMExchangeAsk::eaHold;
    return u;
  }
  const pugi::xml_node target = Child(U, "target");
  if (!target) return u;
  u.Target = TextOf(target);
  const std::string state = target.attribute("state").value();
  if (approved || state.empty() || state == "translated" || state == "signed-off" ||
      state == "final")
    u.Ask = TQEMExchangeAsk::eaTranslated;
  else
    u.Ask = TQEMExchangeAsk::eaReview;
  return u;
}

} // namespace

std::string QEMXliffWrite(const TQEMExchangeFile& File) {
  return TXliffWriter(File).Run();
}

std::vector<TQEMExchangeFile> QEMXliffRead(const std::u16string& FileName, std::string_view Bytes) {
  return TXliffReader(FileName, Bytes).Run();
}
