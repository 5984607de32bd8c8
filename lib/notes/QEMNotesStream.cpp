// Writing a notes file that has no document: the bytes the document would give, without the
// tree (for a large file several times the size of the file itself).
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <ostream>

#include "core/QEMIntlUtils.h"
#include "core/QEMLiterals.h"
#include "core/QEMXMLUtils.h"
#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"

namespace notesdetail {

bool StreamNewNotes = true;
bool DropOwnDocument = true;

std::vector<THistoryEntry> History(IQEMNotesItem& Item) {
  std::vector<THistoryEntry> r;
  std::u16string lastSource;
  for (int i = Item.GetPrevCount() - 1; i >= 0; --i) {
    std::u16string prevOrig = Item.GetPrevOrigText(i), prevXlat = Item.GetPrevXlatText(i);
    if (prevOrig.empty() || prevXlat.empty()) continue;
    const bool withSource = prevOrig != lastSource;
    lastSource = prevOrig;
    r.push_back(THistoryEntry{std::move(prevOrig), std::move(prevXlat), Item.GetPrevTagName(i),
                              QEMFloatToStr(Item.GetPrevModified(i)), withSource});
  }
  std::reverse(r.begin(), r.end());
  return r;
}

namespace {

// Buffered UTF-8 output, escaped as the document's serialiser escapes text and attributes. The
// texts were checked before: whatever comes here is written.
class TOut {
public:
  explicit TOut(std::ostream& Stream)
      : FStream(Stream), FBuf(std::make_unique_for_overwrite<char[]>(Size)) {}
  TOut(const TOut&) = delete;
  TOut& operator=(const TOut&) = delete;
  ~TOut() = default;

  void Put(std::string_view S) {
    if (S.empty()) return; // an empty view may hold no pointer, which memcpy must not see
    if (S.size() > Size) {
      Flush();
      FStream.write(S.data(), std::streamsize(S.size()));
      return;
    }
    std::memcpy(Reserve(S.size()), S.data(), S.size());
    FPos += S.size();
  }

  void Text(std::u16string_view S, bool Attr) {
    // Long texts go in pieces that end on a character boundary.
    while (S.size() > Piece) {
      size_t n = Piece;
      if (S[n - 1] >= 0xD800 && S[n - 1] <= 0xDBFF) --n;
      Text(S.substr(0, n), Attr);
      S.remove_prefix(n);
    }
    char* p = Reserve(S.size() * 6); // "&quot;" is the longest any unit becomes
    for (size_t i = 0; i < S.size(); ++i) {
      const char16_t c = S[i];
      if (c < 0x80) {
        Ascii(p, char(c), Attr);
      } else if (c < 0x800) {
        *p++ = char(0xC0 | (c >> 6));
        *p++ = char(0x80 | (c & 0x3F));
      } else if (c < 0xD800 || c > 0xDFFF) {
        *p++ = char(0xE0 | (c >> 12));
        *p++ = char(0x80 | ((c >> 6) & 0x3F));
        *p++ = char(0x80 | (c & 0x3F));
      } else if (c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
        const char32_t u = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (S[++i] - 0xDC00);
        *p++ = char(0xF0 | (u >> 18));
        *p++ = char(0x80 | ((u >> 12) & 0x3F));
        *p++ = char(0x80 | ((u >> 6) & 0x3F));
        *p++ = char(0x80 | (u & 0x3F));
      } else {
        p = Copy(p, "\xEF\xBF\xBD"); // an unpaired half, as the conversion replaces it
      }
    }
    FPos = size_t(p - FBuf.get());
  }

  void Flush() {
    FStream.write(FBuf.get(), std::streamsize(FPos));
    FPos = 0;
  }

private:
  static constexpr size_t Size = 64 * 1024, Piece = Size / 6;
  std::ostream& FStream;
  std::unique_ptr<char[]> FBuf;
  size_t FPos = 0;

  char* Reserve(size_t N) {
    if (Size - FPos < N) Flush();
    return FBuf.get() + FPos;
  }

  template <size_t N> static char* Copy(char* P, const char (&S)[N]) {
    std::memcpy(P, S, N - 1);
    return P + N - 1;
  }

  static void Ascii(char*& P, char C, bool Attr) {
    const char* ref = nullptr;
    switch (C) {
    case '&':
      P = Copy(P, "&amp;");
      return;
    case '<':
      P = Copy(P, "&lt;");
      return;
    case '>':
      if (!Attr) ref = "&gt;";
      break;
    case '"':
      if (Attr) ref = "&quot;";
      break;
    case '\t':
      if (Attr) ref = "&#09;";
      break;
    case '\n':
      if (Attr) ref = "&#10;";
      break;
    case '\r':
      if (Attr) ref = "&#13;";
      break;
    default:
      break;
    }
    if (!ref) {
      *P++ = C;
      return;
    }
    const size_t n = std::strlen(ref);
    std::memcpy(P, ref, n);
    P += n;
  }
};

// The layout a first save gives: indentation (when formatted) as the document's own helpers
// lay it out, which puts the Created and Status properties of an item on one line.
struct TNewNotesWriter {
  TOut& Out;
  bool Formatted;
  std::string Indent;

  // A line break and Depth indentation units, for formatted output only.
  void Line(int Depth) {
    if (!Formatted) return;
    Out.Put("\r\n");
    for (int i = 0; i < Depth; ++i)
      Out.Put(Indent);
  }
  void Ind() {
    if (Formatted) Out.Put(Indent);
  }

  void Attr(std::string_view Name, std::u16string_view Value) {
    Out.Put(" ");
    Out.Put(Name);
    Out.Put("=\"");
    Out.Text(Value, true);
    Out.Put("\"");
  }

  // <Tag Attrs>Text</Tag>, Attrs already escaped.
  void Leaf(std::string_view Tag, std::string_view Attrs, std::u16string_view Text) {
    Out.Put("<");
    Out.Put(Tag);
    Out.Put(Attrs);
    Out.Put(">");
    Out.Text(Text, false);
    Out.Put("</");
    Out.Put(Tag);
    Out.Put(">");
  }

  void Prop(std::string_view Type, std::u16string_view Value) {
    Out.Put("<prop prop-type=\"");
    Out.Put(Type);
    Out.Put("\">");
    Out.Text(Value, false);
    Out.Put("</prop>");
  }

  void Header(IQEMNotesStats& S) {
    Ind();
    Out.Put("<header>");
    Line(3);
    Ind();
    Out.Put("<prop-group name=\"QEMHeaderProp\">");
    const std::pair<std::string_view, std::u16string> props[] = {
        {"Version", S.GetVersion()},
        {"SelfDateTime", QEMFloatToStr(S.GetSelfDateTime())},
        {"OrigDateTime", QEMFloatToStr(S.GetOrigDateTime())},
        {"XlatDateTime", QEMFloatToStr(S.GetXlatDateTime())},
        {"Translated", IntToStr(S.GetTranslated())},
        {"UnTranslated", IntToStr(S.GetUnTranslated())},
        {"OrigStamp", S.GetOrigStamp()}};
    for (const auto& [type, value] : props) {
      if (type == "OrigStamp" && value.empty()) continue;
      Line(4);
      Ind();
      Prop(type, value);
    }
    Line(4);
    Out.Put("</prop-group>");
    Line(3);
    Out.Put("</header>");
  }

  void History(IQEMNotesItem& Item) {
    for (const THistoryEntry& h : notesdetail::History(Item)) {
      Out.Put("<alt-trans>");
      if (h.WithSource) Leaf("source", {}, h.Orig);
      Leaf("target", {}, h.Xlat);
      Out.Put("<prop-group name=\"QEMFieldProp\">");
      if (!h.Tag.empty()) Prop("TagName", h.Tag);
      Prop("Modified", h.Modified);
      Out.Put("</prop-group></alt-trans>");
    }
  }

  void Item(IQEMNotesItem& Item, std::string_view NoteAttrs) {
    Ind();
    Out.Put("<trans-unit");
    Attr("id", Item.GetID());
    Attr("resname", Item.GetResName());
    Out.Put(">");
    Line(4);
    Ind();
    const std::u16string orig = Item.GetOrigText(), xlat = Item.GetXlatText();
    Leaf("source", {}, orig);
    Line(4);
    if (!xlat.empty() && xlat != orig) {
      Ind();
      Leaf("target", {}, xlat);
      Line(4);
    }
    if (const std::u16string comment = Item.GetComment(); !comment.empty()) {
      Ind();
      Leaf("note", NoteAttrs, comment);
      Line(4);
    }
    Ind();
    Out.Put("<prop-group name=\"QEMFieldProp\">");
    Line(5);
    Prop("Created", QEMFloatToStr(Item.GetCreated()));
    Prop("Status", IntToStr(Item.GetStatus()));
    Out.Put("</prop-group>");
    Line(4);
    History(Item);
    Out.Put("</trans-unit>");
    Line(3);
  }
};

bool Acceptable(std::u16string_view S) {
  for (const char16_t c : S)
    if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c >= 0xFFFE) return false;
  return true;
}

// Every text the items write, and no property of their own: checked before anything is
// written, so that the output need not be held to write nothing on a refusal.
bool Acceptable(TQEMCustomNotesFile& F, IQEMNotesItems& Items) {
  const auto probe = CreateNewDocument();
  const TQEMXMLNode group = probe->DocumentNode().AppendElement(u"prop-group");
  for (int i = 0, count = Items.Count(); i < count; ++i) {
    IQEMNotesItem& item = *Items.Get(i);
    F.WriteCustomProp(group, item);
    if (group.FirstChild() || AttributeCount(group) != 0) return false;
    if (!Acceptable(item.GetID()) || !Acceptable(item.GetResName()) ||
        !Acceptable(item.GetOrigText()) || !Acceptable(item.GetXlatText()) ||
        !Acceptable(item.GetComment()))
      return false;
    for (int k = item.GetPrevCount() - 1; k >= 0; --k) {
      const std::u16string orig = item.GetPrevOrigText(k), xlat = item.GetPrevXlatText(k);
      if (orig.empty() || xlat.empty()) continue; // not written
      if (!Acceptable(orig) || !Acceptable(xlat) || !Acceptable(item.GetPrevTagName(k)))
        return false;
    }
  }
  return true;
}

// The start of the document up to its root element, and that element's start tag, as the
// document writes the fixed head.
void HeadPieces(std::string& Prolog, std::string& Root) {
  const auto doc = CreateNewDocument();
  if (!LoadFromString(*doc, QEMNotesDocumentHead())) throw EQEMXMLError(doc->LastError());
  const std::string bytes = SaveToBytes(*doc);
  const size_t at = bytes.rfind("<xliff");
  const size_t end = bytes.rfind("/>");
  Prolog = bytes.substr(0, at);
  Root = bytes.substr(at, end - at);
  while (!Root.empty() && Root.back() == ' ')
    Root.pop_back();
  Root += '>';
}

// The texts of the head and every item acceptable, and no property of the items' own.
bool CanStream(TQEMCustomNotesFile& F, IQEMNotesItems& Items,
               std::initializer_list<std::u16string> Head) {
  for (const std::u16string& s : Head)
    if (!Acceptable(s)) return false;
  return Acceptable(DefaultIndentStr) && Acceptable(F, Items);
}

std::string NoteAttrs(const std::u16string& SourceTag) {
  std::string r = " xml:lang=\"";
  r += UTF16ToUTF8(SourceTag); // a language tag: nothing to escape
  r += '"';
  return r;
}

// The layout of a saved loaded document: each element on a line of its own, leaf elements with
// their text inline; without Breaks, no line breaks at all.
struct TOwnNotesWriter {
  TNewNotesWriter W; // for the elements themselves, unformatted
  bool Breaks;
  std::string Indent; // escaped as text

  void Break(int Depth) {
    if (!Breaks) return;
    W.Out.Put("\r\n");
    for (int i = 0; i < Depth; ++i)
      W.Out.Put(Indent);
  }
  void Prop(int Depth, std::string_view Type, std::u16string_view Value) {
    Break(Depth);
    W.Prop(Type, Value);
  }
  void Leaf(int Depth, std::string_view Tag, std::string_view Attrs, std::u16string_view Text) {
    Break(Depth);
    W.Leaf(Tag, Attrs, Text);
  }

  void Header(IQEMNotesStats& S) {
    Break(2);
    W.Out.Put("<header>");
    Break(3);
    W.Out.Put("<prop-group name=\"QEMHeaderProp\">");
    Prop(4, "Version", S.GetVersion());
    Prop(4, "SelfDateTime", QEMFloatToStr(S.GetSelfDateTime()));
    Prop(4, "OrigDateTime", QEMFloatToStr(S.GetOrigDateTime()));
    Prop(4, "XlatDateTime", QEMFloatToStr(S.GetXlatDateTime()));
    Prop(4, "Translated", IntToStr(S.GetTranslated()));
    Prop(4, "UnTranslated", IntToStr(S.GetUnTranslated()));
    if (const std::u16string stamp = S.GetOrigStamp(); !stamp.empty()) Prop(4, "OrigStamp", stamp);
    Break(3);
    W.Out.Put("</prop-group>");
    Break(2);
    W.Out.Put("</header>");
  }

  void Item(IQEMNotesItem& Item, std::string_view NoteAttrs) {
    Break(3);
    W.Out.Put("<trans-unit");
    W.Attr("id", Item.GetID());
    W.Attr("resname", Item.GetResName());
    W.Out.Put(">");
    const std::u16string orig = Item.GetOrigText(), xlat = Item.GetXlatText();
    Leaf(4, "source", {}, orig);
    if (!xlat.empty() && xlat != orig) Leaf(4, "target", {}, xlat);
    if (const std::u16string comment = Item.GetComment(); !comment.empty())
      Leaf(4, "note", NoteAttrs, comment);
    Break(4);
    W.Out.Put("<prop-group name=\"QEMFieldProp\">");
    Prop(5, "Created", QEMFloatToStr(Item.GetCreated()));
    Prop(5, "Status", IntToStr(Item.GetStatus()));
    Break(4);
    W.Out.Put("</prop-group>");
    for (const THistoryEntry& h : notesdetail::History(Item)) {
      Break(4);
      W.Out.Put("<alt-trans>");
      if (h.WithSource) Leaf(5, "source", {}, h.Orig);
      Leaf(5, "target", {}, h.Xlat);
      Break(5);
      W.Out.Put("<prop-group name=\"QEMFieldProp\">");
      if (!h.Tag.empty()) Prop(6, "TagName", h.Tag);
      Prop(6, "Modified", h.Modified);
      Break(5);
      W.Out.Put("</prop-group>");
      Break(4);
      W.Out.Put("</alt-trans>");
    }
    Break(3);
    W.Out.Put("</trans-unit>");
  }
};

std::string EscapedIndent() {
  std::string r;
  for (const char c : UTF16ToUTF8(DefaultIndentStr)) {
    if (c == '&')
      r += "&amp;";
    else if (c == '<')
      r += "&lt;";
    else if (c == '>')
      r += "&gt;";
    else
      r += c;
  }
  return r;
}

} // namespace

bool WriteNewNotes(TQEMCustomNotesFile& F, IQEMNotesItems& Items, std::ostream& Stream,
                   bool Formatted, const std::u16string& SourceTag,
                   const std::u16string& TargetTag) {
  const IQEMNotesStatsPtr stats = F.GetStats();
  const std::u16string original = stats->GetOrigFileName(), dataType = F.GetDataType();
  if (!CanStream(
          F, Items,
          {original, SourceTag, TargetTag, dataType, stats->GetVersion(), stats->GetOrigStamp()}))
    return false;
  std::string prolog, root;
  HeadPieces(prolog, root);
  TOut out(Stream);
  TNewNotesWriter w{out, Formatted, UTF16ToUTF8(DefaultIndentStr)};
  out.Put(prolog);
  out.Put(root);
  if (Formatted) out.Put("\r\n");
  w.Ind();
  out.Put("<file");
  w.Attr("original", original);
  w.Attr("source-language", SourceTag);
  w.Attr("target-language", TargetTag);
  w.Attr("datatype", dataType);
  w.Attr("tool", u"HLX v10.0");
  w.Attr("ts", original);
  out.Put(">");
  w.Line(2);
  w.Header(*stats);
  w.Line(2);
  w.Ind();
  const int count = Items.Count();
  out.Put(count == 0 && !Formatted ? "<body/>" : "<body>");
  w.Line(3);
  const std::string noteAttrs = NoteAttrs(SourceTag);
  for (int i = 0; i < count; ++i)
    w.Item(*Items.Get(i), noteAttrs);
  if (count != 0 || Formatted) out.Put("</body>");
  w.Line(2);
  out.Put("</file>");
  w.Line(1);
  out.Put("</xliff>\r\n");
  out.Flush();
  return true;
}

bool WriteOwnNotes(TQEMCustomNotesFile& F, IQEMNotesItems& Items, std::ostream& Stream,
                   bool Reindented, const std::u16string& SourceTag,
                   const std::u16string& TargetTag, TQEMXMLNode KeptFile) {
  const IQEMNotesStatsPtr stats = F.GetStats();
  const std::u16string original = stats->GetOrigFileName();
  const std::u16string dataType = KeptFile.GetAttribute(u"datatype");
  const std::u16string tool = KeptFile.GetAttribute(u"tool"), ts = KeptFile.GetAttribute(u"ts");
  if (!CanStream(F, Items,
                 {original, SourceTag, TargetTag, dataType, tool, ts, stats->GetVersion(),
                  stats->GetOrigStamp()}))
    return false;
  std::string prolog, root;
  HeadPieces(prolog, root);
  TOut out(Stream);
  TOwnNotesWriter w{TNewNotesWriter{out, false, {}}, Reindented, EscapedIndent()};
  out.Put(prolog);
  out.Put(root);
  w.Break(1);
  out.Put("<file");
  w.W.Attr("original", original);
  w.W.Attr("source-language", SourceTag);
  w.W.Attr("target-language", TargetTag);
  w.W.Attr("datatype", dataType);
  w.W.Attr("tool", tool);
  w.W.Attr("ts", ts);
  out.Put(">");
  w.Header(*stats);
  w.Break(2);
  const int count = Items.Count();
  out.Put(count == 0 ? "<body/>" : "<body>");
  const std::string noteAttrs = NoteAttrs(SourceTag);
  for (int i = 0; i < count; ++i)
    w.Item(*Items.Get(i), noteAttrs);
  if (count != 0) {
    w.Break(2);
    out.Put("</body>");
  }
  w.Break(1);
  out.Put("</file>");
  w.Break(0);
  out.Put("</xliff>\r\n");
  out.Flush();
  return true;
}

} // namespace notesdetail
