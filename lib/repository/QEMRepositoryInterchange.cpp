#include "repository/QEMRepositoryInterchange.h"

#include <unicode/ucnv.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

#include "core/QEMStrs.h"
#include "core/QEMXMLUtils.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

namespace {

// ---- Where a file is broken -------------------------------------------------------------------

// The file as UTF-8, decoded the way the XML layer decodes it before parsing, so that offsets
// into the parsed text give lines and columns of the file.
std::string FromUTF16(std::string_view B, bool BigEndian) {
  std::u16string u;
  u.reserve(B.size() / 2);
  const auto* p = reinterpret_cast<const unsigned char*>(B.data());
  for (size_t i = 0; i + 1 < B.size(); i += 2)
    u += char16_t(BigEndian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]));
  return UTF16ToUTF8(u);
}

std::string DeclaredEncoding(std::string_view B) {
  if (!B.starts_with("<?xml")) return {};
  const std::string_view decl = B.substr(0, B.find("?>"));
  const size_t e = decl.find("encoding");
  const size_t q = e == decl.npos ? decl.npos : decl.find_first_of("\"'", e);
  if (q == decl.npos) return {};
  const size_t end = decl.find(decl[q], q + 1);
  return end == decl.npos ? std::string() : std::string(decl.substr(q + 1, end - q - 1));
}

std::string DecodedText(std::string_view B) {
  const auto at = [&](size_t I, unsigned char A, unsigned char C) {
    return B.size() >= I + 2 && static_cast<unsigned char>(B[I]) == A &&
           static_cast<unsigned char>(B[I + 1]) == C;
  };
  if (B.starts_with("\xEF\xBB\xBF")) return std::string(B.substr(3));
  if (at(0, 0xFF, 0xFE)) return FromUTF16(B.substr(2), false);
  if (at(0, 0xFE, 0xFF)) return FromUTF16(B.substr(2), true);
  if (at(0, '<', 0) && at(2, '?', 0)) return FromUTF16(B, false);
  if (at(0, 0, '<') && at(2, 0, '?')) return FromUTF16(B, true);
  std::string enc = DeclaredEncoding(B);
  std::transform(enc.begin(), enc.end(), enc.begin(), [](char C) { return char(tolower(C)); });
  if (enc.empty() || enc == "utf-8" || enc == "utf8") return std::string(B);
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n =
      ucnv_convert("UTF-8", enc.c_str(), nullptr, 0, B.data(), int32_t(B.size()), &err);
  if (err != U_BUFFER_OVERFLOW_ERROR) return std::string(B);
  std::string out(size_t(n) + 1, '\0');
  err = U_ZERO_ERROR;
  ucnv_convert("UTF-8", enc.c_str(), out.data(), n + 1, B.data(), int32_t(B.size()), &err);
  out.resize(size_t(n));
  return U_SUCCESS(err) ? out : std::string(B);
}

constexpr unsigned ParseFlags = pugi::parse_default | pugi::parse_declaration |
                                pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi |
                                pugi::parse_ws_pcdata_single;

// The offset of what makes the text unreadable: a NUL, bytes that are no UTF-8, or the place
// the parser stops.
std::optional<size_t> ProblemOffset(const std::string& Text) {
  if (const void* nul = std::memchr(Text.data(), 0, Text.size()))
    return size_t(static_cast<const char*>(nul) - Text.data());
  const auto* s = reinterpret_cast<const uint8_t*>(Text.data());
  for (int32_t i = 0, n = int32_t(Text.size()); i < n;) {
    const int32_t at = i;
    UChar32 c = 0;
    U8_NEXT(s, i, n, c);
    if (c < 0) return size_t(at);
  }
  pugi::xml_document d;
  const pugi::xml_parse_result r =
      d.load_buffer(Text.data(), Text.size(), ParseFlags, pugi::encoding_utf8);
  if (!r) return size_t(r.offset);
  return std::nullopt;
}

std::u16string BrokenAt(const std::u16string& FileName, const std::string& Text, size_t Offset,
                        const std::u16string& Why) {
  Offset = std::min(Offset, Text.size());
  const auto begin = Text.begin(), at = begin + ptrdiff_t(Offset);
  const int line = 1 + int(std::count(begin, at, '\n'));
  const auto lineStart = std::find(std::make_reverse_iterator(at), Text.rend(), '\n').base();
  // Columns count characters: UTF-8 continuation bytes do not start one.
  const int col = 1 + int(std::count_if(lineStart, at, [](char C) { return (C & 0xC0) != 0x80; }));
  return Format(STmxBrokenAt, FileName, line, col, Why);
}

EQEMRepositoryError Broken(const std::u16string& FileName, const std::string& Text,
                           pugi::xml_node At, const std::u16string& Why) {
  const ptrdiff_t off = At ? At.offset_debug() : -1;
  if (off < 0) return EQEMRepositoryError(Format(STmxBroken, FileName, Why));
  // The parser knows where the name is; the place shown is where the markup starts.
  const size_t open = Text.rfind('<', size_t(off));
  return EQEMRepositoryError(
      BrokenAt(FileName, Text, open == std::string::npos ? size_t(off) : open, Why));
}

// ---- Reading units ----------------------------------------------------------------------------

struct TVariant {
  std::u16string Tag, Text, Note;
};

struct TUnit {
  std::u16string ID;
  std::vector<TVariant> Vars; // the original first
  bool Usable = false;
};

// The text of a seg: its own text and that of its highlighted parts; the native codes of the
// other inline elements are no text. Walked without recursion: nesting is the file's choice.
std::u16string SegPlainText(pugi::xml_node Seg) {
  std::string out;
  std::vector<pugi::xml_node> stack{Seg};
  while (!stack.empty()) {
    const pugi::xml_node n = stack.back();
    stack.pop_back();
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
      out += n.value();
      continue;
    }
    if (n != Seg && std::strcmp(n.name(), "hi") != 0) continue;
    for (pugi::xml_node c = n.last_child(); c; c = c.previous_sibling())
      stack.push_back(c);
  }
  return UTF8ToUTF16(out);
}

std::u16string DirectText(pugi::xml_node E) {
  std::string out;
  for (pugi::xml_node c = E.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) out += c.value();
  return UTF8ToUTF16(out);
}

// What the repository takes as a language tag.
bool UsableTag(std::string_view Tag) {
  return !Tag.empty() && Tag.size() <= 64 && Tag.find_first_of(" \t\r\n\"<>&") == Tag.npos;
}

std::string Lower(std::string_view S) {
  std::string out(S);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

struct TReadState {
  const std::u16string& FileName;
  const std::string& Text;
  std::string HeaderSrc;
  std::unordered_set<std::string> Langs;
};

TUnit ReadUnit(pugi::xml_node Tu, TReadState& S) {
  TUnit u;
  u.ID = UTF8ToUTF16(Tu.attribute("tuid").value());
  std::string src = Tu.attribute("srclang").value();
  if (src.empty()) src = S.HeaderSrc;
  std::unordered_set<std::string> seen;
  int source = src.empty() || src == "*all*" ? 0 : -1;
  for (pugi::xml_node tuv = Tu.child("tuv"); tuv; tuv = tuv.next_sibling("tuv")) {
    std::string tag = tuv.attribute("xml:lang").value();
    if (tag.empty()) tag = tuv.attribute("lang").value(); // before TMX 1.3
    if (tag.empty()) throw Broken(S.FileName, S.Text, tuv, std::u16string(STmxNoLanguage));
    const pugi::xml_node seg = tuv.child("seg");
    if (!seg || !seen.insert(Lower(tag)).second) continue;
    std::u16string text = SegPlainText(seg);
    if (text.empty()) continue;
    if (!UsableTag(tag)) continue;
    S.Langs.insert(Lower(tag));
    if (source < 0 && Lower(tag) == Lower(src)) source = int(u.Vars.size());
    const pugi::xml_node note = tuv.child("note");
    u.Vars.push_back({UTF8ToUTF16(tag), std::move(text), note ? DirectText(note) : u""});
  }
  // Without its original a unit says nothing the repository can use.
  u.Usable = source >= 0 && !u.Vars.empty();
  if (u.Usable && source > 0)
    std::rotate(u.Vars.begin(), u.Vars.begin() + source, u.Vars.begin() + source + 1);
  return u;
}

std::vector<TUnit> ReadUnits(std::string_view Bytes, const std::u16string& FileName) {
  auto doc = CreateNewDocument();
  const bool loaded = LoadFromBytes(*doc, Bytes);
  const std::string text = DecodedText(Bytes);
  if (!loaded) {
    const std::optional<size_t> at = ProblemOffset(text);
    throw EQEMRepositoryError(at ? BrokenAt(FileName, text, *at, doc->LastError())
                                 : Format(STmxBroken, FileName, doc->LastError()));
  }
  const pugi::xml_node root(doc->DocumentElement().Handle());
  for (pugi::xml_node n = root.parent().first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_doctype && std::strstr(n.value(), "<!ENTITY"))
      throw Broken(FileName, text, n, std::u16string(STmxEntities));
  if (std::strcmp(root.name(), "tmx") != 0)
    throw Broken(FileName, text, root, Format(STmxNotTmx, root.name()));
  const pugi::xml_node body = root.child("body");
  if (!body) throw Broken(FileName, text, root, std::u16string(STmxNoBody));
  TReadState s{FileName, text, root.child("header").attribute("srclang").value(), {}};
  std::vector<TUnit> units;
  for (pugi::xml_node tu = body.child("tu"); tu; tu = tu.next_sibling("tu")) {
    units.push_back(ReadUnit(tu, s));
    if (s.Langs.size() > size_t(QEMTMXImportMaxLanguages))
      throw Broken(FileName, text, tu, Format(STmxTooManyLanguages, QEMTMXImportMaxLanguages));
  }
  return units;
}

// ---- Merging ----------------------------------------------------------------------------------

// Stored texts keep either line-break style; they compare without it.
std::u16string Folded(std::u16string S) {
  size_t w = 0;
  for (size_t i = 0; i < S.size(); ++i)
    if (!(S[i] == u'\r' && i + 1 < S.size() && S[i + 1] == u'\n')) S[w++] = S[i];
  S.resize(w);
  return S;
}

bool Agrees(const IQEMRepositoryRecord& Rec, const TUnit& U) {
  for (size_t i = 1; i < U.Vars.size(); ++i) {
    const std::u16string have = Rec.GetString(U.Vars[i].Tag);
    if (!have.empty() && Folded(have) != Folded(U.Vars[i].Text)) return false;
  }
  return true;
}

// The first record with the unit's original (and tuid) that agrees with it, or null.
IQEMRepositoryRecordPtr MatchRecord(IQEMRepository& R, const TUnit& U) {
  const TVariant& src = U.Vars[0];
  int pos = 0;
  if (!R.Find(src.Text, src.Tag, pos)) return nullptr;
  const IQEMRepositoryIndexList& list = R.GetIndexList();
  const IQEMRepositoryIndex& ix = list.Index(list.Languages().IndexOf(src.Tag));
  const std::u16string want = Folded(src.Text);
  for (int p = pos; p < ix.Count(); ++p) {
    IQEMRepositoryRecordPtr rec = R.GetRecord(ix.Item(p));
    if (!rec || Folded(rec->GetString(src.Tag)) != want) break;
    if (!U.ID.empty() && rec->GetID() != U.ID) continue;
    if (Agrees(*rec, U)) return rec;
  }
  return nullptr;
}

void SetVariant(IQEMRepositoryRecord& Rec, const TVariant& V) {
  Rec.SetString(V.Tag, V.Text);
  if (!V.Note.empty() && Rec.GetNote(V.Tag).empty()) Rec.SetNote(V.Tag, V.Note);
}

void Merge(IQEMRepository& R, const TUnit& U, TQEMTMXImportCounts& Counts) {
  if (!U.Usable) {
    ++Counts.Skipped;
    return;
  }
  if (IQEMRepositoryRecordPtr rec = MatchRecord(R, U)) {
    bool filled = false;
    for (size_t i = 1; i < U.Vars.size(); ++i)
      if (rec->GetString(U.Vars[i].Tag).empty()) {
        SetVariant(*rec, U.Vars[i]);
        filled = true;
      }
    ++(filled ? Counts.Updated : Counts.Skipped);
    return;
  }
  IQEMRepositoryRecordPtr rec = R.AddRecord();
  if (!U.ID.empty()) rec->SetID(U.ID);
  for (const TVariant& v : U.Vars)
    SetVariant(*rec, v);
  ++Counts.Added;
}

} // namespace

TQEMTMXImportCounts QEMRepositoryImportTMXBytes(IQEMRepository& Repository, std::string_view Bytes,
                                                const std::u16string& FileName) {
  // Everything is read and checked before the first change.
  const std::vector<TUnit> units = ReadUnits(Bytes, FileName);
  TQEMTMXImportCounts counts;
  Repository.BeginUpdate();
  struct TEnd {
    IQEMRepository& R;
    ~TEnd() { R.EndUpdate(); }
  } end{Repository};
  for (const TUnit& u : units)
    Merge(Repository, u, counts);
  return counts;
}

TQEMTMXImportCounts QEMRepositoryImportTMX(IQEMRepository& Repository,
                                           const std::u16string& FileName) {
  std::error_code ec;
  const auto path = std::filesystem::path(QEMNativePath(FileName));
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || !std::filesystem::is_regular_file(path, ec))
    throw EQEMRepositoryError(Format(STmxCannotRead, FileName));
  if (size > QEMTMXImportMaxBytes)
    throw EQEMRepositoryError(Format(STmxTooLarge, FileName, int(QEMTMXImportMaxBytes >> 20)));
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes) || bytes.size() > QEMTMXImportMaxBytes)
    throw EQEMRepositoryError(Format(STmxCannotRead, FileName));
  return QEMRepositoryImportTMXBytes(Repository, bytes, FileName);
}

// ---- Writing TMX 1.4b -------------------------------------------------------------------------

namespace {

// "YYYYMMDDThhmmssZ" of a stored date, which may have colons in its time; empty for any other.
std::string TmxDate(std::string_view S) {
  std::string d;
  for (const char c : S)
    if (c != ':') d += c;
  if (d.size() != 16 || d[8] != 'T' || d[15] != 'Z') return {};
  for (size_t i = 0; i < 15; ++i)
    if (i != 8 && (d[i] < '0' || d[i] > '9')) return {};
  return d;
}

// The attributes the DTD allows on tu and tuv besides the language, tuid and srclang.
constexpr const char* UnitAttributes[] = {"o-encoding",    "datatype",     "usagecount",
                                          "lastusagedate", "creationtool", "creationtoolversion",
                                          "creationdate",  "creationid",   "changedate",
                                          "changeid",      "o-tmf",        "segtype"};

class TTmxWriter {
public:
  std::string Out;

  void Open(int Depth, const char* Name) {
    Out.append(size_t(Depth) * 2, ' ');
    Out += '<';
    Out += Name;
  }
  void Attr(const char* Name, std::string_view Value) {
    Out += ' ';
    Out += Name;
    Out += "=\"";
    Escaped(Value, true);
    Out += '"';
  }
  void EndOpen(bool Empty = false) { Out += Empty ? "/>\r\n" : ">\r\n"; }
  void Close(int Depth, const char* Name) {
    Out.append(size_t(Depth) * 2, ' ');
    Out += "</";
    Out += Name;
    Out += ">\r\n";
  }
  // An element with its text on one line.
  void Leaf(const char* Name, std::string_view Text) {
    Out += '>';
    Escaped(Text, false);
    Out += "</";
    Out += Name;
    Out += ">\r\n";
  }
  // Carriage returns and, in attributes, all white space as references: they read back as
  // themselves instead of being normalised away.
  void Escaped(std::string_view S, bool InAttr) {
    for (const char c : S)
      switch (c) {
      case '&':
        Out += "&amp;";
        break;
      case '<':
        Out += "&lt;";
        break;
      case '>':
        Out += "&gt;";
        break;
      case '"':
        Out += InAttr ? "&quot;" : "\"";
        break;
      case '\r':
        Out += "&#13;";
        break;
      case '\n':
        Out += InAttr ? "&#10;" : "\n";
        break;
      case '\t':
        Out += InAttr ? "&#9;" : "\t";
        break;
      default:
        Out += c;
      }
  }
};

void CopyUnitAttributes(TTmxWriter& W, pugi::xml_node From) {
  const bool tuv = std::string_view(From.name()) == "tuv";
  for (const char* name : UnitAttributes) {
    const pugi::xml_attribute a = From.attribute(name);
    if (!a) continue;
    std::string v = a.value();
    if (std::string_view(name).ends_with("date") && (v = TmxDate(v)).empty()) continue;
    if (std::strcmp(name, "segtype") == 0 &&
        (tuv || (v != "block" && v != "paragraph" && v != "sentence" && v != "phrase")))
      continue;
    W.Attr(name, v);
  }
}

// The note and prop children, in their order; a prop without its type is left out.
void WriteNotes(TTmxWriter& W, pugi::xml_node Of, int Depth) {
  for (pugi::xml_node n = Of.first_child(); n; n = n.next_sibling()) {
    const std::string_view name = n.name();
    if (name != "note" && (name != "prop" || !*n.attribute("type").value())) continue;
    W.Open(Depth, n.name());
    if (name == "prop") W.Attr("type", n.attribute("type").value());
    if (const pugi::xml_attribute l = n.attribute("xml:lang")) W.Attr("xml:lang", l.value());
    W.Leaf(n.name(), UTF16ToUTF8(DirectText(n)));
  }
}

// The tuvs the repository reads: the first of each language, with text.
std::vector<pugi::xml_node> Variants(pugi::xml_node Tu) {
  std::vector<pugi::xml_node> out;
  std::unordered_set<std::string> seen;
  for (pugi::xml_node tuv = Tu.child("tuv"); tuv; tuv = tuv.next_sibling("tuv")) {
    const std::string_view tag = tuv.attribute("xml:lang").value();
    if (tag.empty() || !seen.insert(Lower(tag)).second) continue;
    if (!DirectText(tuv.child("seg")).empty()) out.push_back(tuv);
  }
  return out;
}

bool WriteUnit(TTmxWriter& W, pugi::xml_node Tu, const std::string& SrcLang) {
  const std::vector<pugi::xml_node> tuvs = Variants(Tu);
  if (tuvs.empty()) return false; // the DTD wants a tuv
  W.Open(2, "tu");
  if (const pugi::xml_attribute id = Tu.attribute("tuid")) W.Attr("tuid", id.value());
  // The original leads the unit; a unit whose original is not in the file's srclang says so.
  const std::string first = tuvs[0].attribute("xml:lang").value();
  if (SrcLang != "*all*" && Lower(first) != Lower(SrcLang)) W.Attr("srclang", first);
  CopyUnitAttributes(W, Tu);
  W.EndOpen();
  WriteNotes(W, Tu, 3);
  for (const pugi::xml_node tuv : tuvs) {
    W.Open(3, "tuv");
    W.Attr("xml:lang", tuv.attribute("xml:lang").value());
    CopyUnitAttributes(W, tuv);
    W.EndOpen();
    WriteNotes(W, tuv, 4);
    W.Open(4, "seg");
    W.Leaf("seg", UTF16ToUTF8(DirectText(tuv.child("seg"))));
    W.Close(3, "tuv");
  }
  W.Close(2, "tu");
  return true;
}

// The header's language: the stored one while the repository holds it, else its first.
std::string HeaderLang(const TQEMRepository& R, pugi::xml_node Header, const char* Name,
                       const char* None) {
  const std::string v = Header.attribute(Name).value();
  const IQEMRepositoryLangList& langs = R.GetIndexList().Languages();
  if (!v.empty() && (v == "*all*" || langs.IndexOf(UTF8ToUTF16(v)) >= 0)) return v;
  return langs.Count() > 0 ? UTF16ToUTF8(langs.LangTag(0)) : None;
}

void WriteHeader(TTmxWriter& W, pugi::xml_node Header, const std::string& SrcLang,
                 TDateTime NowUTC) {
  const std::string now = TmxDate(UTF16ToUTF8(QEMRepositoryDateText(NowUTC)));
  std::string created = TmxDate(Header.attribute("creationdate").value());
  W.Open(1, "header");
  W.Attr("creationtool", UTF16ToUTF8(QEMProductName()));
  W.Attr("creationtoolversion", UTF16ToUTF8(QEMProductVersion()));
  W.Attr("segtype", "sentence");
  W.Attr("o-tmf", UTF16ToUTF8(QEMProductName()));
  // The language of notes and properties: the file's, else that of its originals.
  std::string admin = Header.attribute("adminlang").value();
  if (admin.empty() || admin == "*all*") admin = SrcLang == "*all*" ? "en-US" : SrcLang;
  W.Attr("adminlang", admin);
  W.Attr("srclang", SrcLang);
  W.Attr("datatype", "plaintext");
  W.Attr("creationdate", created.empty() ? now : created);
  W.Attr("changedate", now);
  W.EndOpen(true);
}

} // namespace

std::string QEMRepositoryTMXText(const TQEMRepository& Repository, TDateTime NowUTC, int* Units) {
  const pugi::xml_node tmx(Repository.Document().DocumentElement().Handle());
  const pugi::xml_node header = tmx.child("header");
  const std::string src = HeaderLang(Repository, header, "srclang", "*all*");
  TTmxWriter w;
  w.Out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
          "<!DOCTYPE tmx SYSTEM \"tmx14.dtd\">\r\n"
          "<tmx version=\"1.4\">\r\n";
  WriteHeader(w, header, src, NowUTC);
  w.Out += "  <body>\r\n";
  int n = 0;
  for (pugi::xml_node tu = tmx.child("body").child("tu"); tu; tu = tu.next_sibling("tu"))
    n += WriteUnit(w, tu, src) ? 1 : 0;
  w.Out += "  </body>\r\n</tmx>\r\n";
  if (Units) *Units = n;
  return std::move(w.Out);
}

int QEMRepositoryExportTMX(const TQEMRepository& Repository, const std::u16string& FileName) {
  int units = 0;
  const std::string text = QEMRepositoryTMXText(Repository, QEMNowUTC(), &units);
  QEMSaveFileAtomically(FileName, text);
  return units;
}
