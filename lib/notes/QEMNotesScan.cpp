// Reading the body of a notes file in the layout our saves write straight from its bytes: no
// tree (for a large file several times the size of the file), each text decoded once, into the
// item's own string. Anything else, down to a comment or an unusual escape, goes to the document.

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <typeinfo>

#include "core/QEMLiterals.h"
#include "notes/QEMNotes.h"
#include "notes/QEMNotesDetail.h"

namespace notesdetail {

bool ScanOwnBodies = true;

TDateTime TTimeCache::Get(const std::u16string& S) {
  if (Known && S == Text) return Value;
  Known = false;
  Value = QEMStrToFloat(S);
  Text = S;
  Known = true;
  return Value;
}

TResStatus UnitStatus(const std::u16string& ID, const std::u16string& Text) {
  if (Text.size() == 1 && Text[0] >= u'0' && Text[0] <= u'9' && QEMIsValidStatus(Text[0] - u'0'))
    return TResStatus(Text[0] - u'0');
  return QEMCheckedStatus(ID, Text);
}

namespace {
thread_local TDateTime tLoadTime = 0;
} // namespace

TLoadClock::TLoadClock() : FOuter(tLoadTime) {
  if (FOuter == 0) tLoadTime = QEMNowUTC();
}

TLoadClock::~TLoadClock() {
  tLoadTime = FOuter;
}

TDateTime ItemTime() {
  const TDateTime t = tLoadTime;
  return t != 0 ? t : QEMNowUTC();
}

namespace {

bool IsXMLChar(char32_t C) {
  return C == 0x9 || C == 0xA || C == 0xD || (C >= 0x20 && C <= 0xD7FF) ||
         (C >= 0xE000 && C <= 0xFFFD) || (C >= 0x10000 && C <= 0x10FFFF);
}

void Put(std::u16string& Out, char32_t C) {
  if (C < 0x10000) {
    Out.push_back(char16_t(C));
  } else {
    Out.push_back(char16_t(0xD800 + ((C - 0x10000) >> 10)));
    Out.push_back(char16_t(0xDC00 + ((C - 0x10000) & 0x3FF)));
  }
}

// Printable ASCII other than '&' and '<': copied as it stands.
constexpr auto kPlainBytes = [] {
  std::array<bool, 256> t{};
  for (int b = 0x20; b < 0x80; ++b)
    t[size_t(b)] = b != '&' && b != '<';
  return t;
}();

bool IsPlain(char C) {
  return kPlainBytes[static_cast<unsigned char>(C)];
}

// The bytes of a file in our layout; every step is false at the first thing that is not.
class TScanner {
public:
  explicit TScanner(std::string_view S) : P(S.data()), E(S.data() + S.size()) {}

  void Ws() {
    while (P < E && (*P == ' ' || *P == '\t' || *P == '\r' || *P == '\n'))
      ++P;
  }
  // Inlined, so that the compiler compares a literal of known length in place.
  [[gnu::always_inline]] bool Lit(std::string_view S) {
    if (size_t(E - P) < S.size() || std::memcmp(P, S.data(), S.size()) != 0) return false;
    P += S.size();
    return true;
  }
  bool AtEnd() const { return P == E; }

  // Text up to the next '<' as the document holds it and GetTextFromNode gives it: escapes
  // resolved, every line break (raw, or referenced CR, LF, CR LF) as CR LF. Decoded into a
  // buffer first, so that Out is allocated once, at its size.
  bool Text(std::u16string& Out) {
    const char* q = P;
    if (Plain(Out, '<', q)) return true;
    // No more units than bytes, but for a lone raw break (CR LF from one byte): the room is
    // checked there alone. Written through a pointer.
    const auto* lt = static_cast<const char*>(std::memchr(q, '<', size_t(E - q)));
    const char* stop = lt ? lt : E;
    if (FWide.size() < size_t(stop - P) + 2) FWide.resize(size_t(stop - P) + 2);
    char16_t* o = FWide.data();
    for (; P < q; ++P)
      *o++ = char16_t(static_cast<unsigned char>(*P));
    bool cr = false; // the last character put was a CR made into CR LF
    while (P < E && *P != '<') {
      if (IsPlain(*P)) {
        *o++ = char16_t(static_cast<unsigned char>(*P++));
        cr = false;
        continue;
      }
      char32_t c;
      bool raw = true;
      if (*P == '&') {
        if (!Escape(c)) return false;
        raw = false;
      } else if (!Char(c)) {
        return false;
      }
      if (raw && c == '\r') {
        if (P < E && *P == '\n') ++P;
        c = '\n'; // the document holds a raw break as LF
      }
      if (c == '\n' && cr) {
        cr = false;
        continue;
      }
      cr = c == '\r';
      if (c == '\r' || c == '\n') {
        const size_t at = size_t(o - FWide.data());
        if (FWide.size() - at < 2 + size_t(stop - P)) {
          FWide.resize(std::max(2 * FWide.size(), at + 2 + size_t(stop - P)));
          o = FWide.data() + at;
        }
        *o++ = u'\r';
        *o++ = u'\n';
      } else if (c < 0x10000) {
        *o++ = char16_t(c);
      } else {
        *o++ = char16_t(0xD800 + ((c - 0x10000) >> 10));
        *o++ = char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
      }
    }
    Out.assign(FWide.data(), size_t(o - FWide.data()));
    return P < E;
  }

  // An attribute value in double quotes, up to and past the closing one; raw breaks and tabs,
  // which the document would turn into spaces, are left to it.
  bool Value(std::u16string& Out) {
    if (!Lit("\"")) return false;
    const char* q;
    if (Plain(Out, '"', q)) return Lit("\"");
    FBuf.clear();
    while (P < E && *P != '"') {
      char32_t c;
      if (*P == '&') {
        if (!Escape(c)) return false;
      } else if (*P == '<' || *P == '\t' || *P == '\r' || *P == '\n' || !Char(c)) {
        return false;
      }
      Put(FBuf, c);
    }
    Out.assign(FBuf);
    return Lit("\"");
  }

  // <Tag>Text</Tag> or <Tag/>, from the '<'.
  [[gnu::always_inline]] bool Leaf(std::string_view Tag, std::u16string& Out) {
    if (!Lit("<") || !Lit(Tag)) return false;
    if (Lit("/>")) return true;
    return Lit(">") && Text(Out) && Lit("</") && Lit(Tag) && Lit(">");
  }
  [[gnu::always_inline]] bool Prop(std::string_view Type, std::u16string& Out) {
    if (!Lit("<prop prop-type=\"") || !Lit(Type) || !Lit("\"")) return false;
    if (Lit("/>")) return true;
    return Lit(">") && Text(Out) && Lit("</prop>");
  }
  [[gnu::always_inline]] bool At(std::string_view S) const {
    return size_t(E - P) >= S.size() && std::memcmp(P, S.data(), S.size()) == 0;
  }

private:
  const char* P;
  const char* E;
  std::u16string FBuf;
  std::u16string FWide; // only ever grows

  // The usual text, printable ASCII up to End, widened straight into Out; false, having read
  // nothing, for any other, with Q at the first character that is not.
  bool Plain(std::u16string& Out, char End, const char*& Q) {
    const char* q = P;
    while (q < E && IsPlain(*q) && *q != End)
      ++q;
    Q = q;
    if (q == E || *q != End) return false;
    Out.resize(size_t(q - P));
    for (size_t i = 0; P < q; ++P, ++i)
      Out[i] = char16_t(static_cast<unsigned char>(*P));
    return true;
  }

  // One UTF-8 character a document may hold.
  bool Char(char32_t& C) {
    const auto* p = reinterpret_cast<const unsigned char*>(P);
    const size_t n = size_t(E - P);
    const unsigned b = p[0];
    size_t len;
    if (b < 0x80) {
      C = b;
      len = 1;
    } else if (b >= 0xC2 && b < 0xE0 && n >= 2 && (p[1] & 0xC0) == 0x80) {
      C = (b & 0x1F) << 6 | (p[1] & 0x3F);
      len = 2;
    } else if (b >= 0xE0 && b < 0xF0 && n >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
      C = (b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F);
      if (C < 0x800) return false;
      len = 3;
    } else if (b >= 0xF0 && b < 0xF5 && n >= 4 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 &&
               (p[3] & 0xC0) == 0x80) {
      C = (b & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
      if (C < 0x10000) return false;
      len = 4;
    } else {
      return false;
    }
    P += len;
    return IsXMLChar(C);
  }

  // The five entities and decimal or (lower-case x) hexadecimal references to characters a
  // document may hold.
  bool Escape(char32_t& C) {
    static constexpr std::pair<std::string_view, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& [name, c] : entities)
      if (Lit(name)) {
        C = char32_t(c);
        return true;
      }
    if (!Lit("&#")) return false;
    const bool hex = Lit("x");
    uint32_t v = 0;
    int digits = 0;
    for (; P < E && digits < 8; ++P, ++digits) {
      const char c = *P;
      if (c >= '0' && c <= '9')
        v = v * (hex ? 16 : 10) + uint32_t(c - '0');
      else if (hex && (c | ' ') >= 'a' && (c | ' ') <= 'f')
        v = v * 16 + uint32_t((c | ' ') - 'a' + 10);
      else
        break;
    }
    C = v;
    return digits > 0 && Lit(";") && IsXMLChar(C);
  }
};

// One history entry as read; Source empty and not HasSource when left out.
struct TScannedAlt {
  std::u16string Source, Target, Tag, Modified;
  bool HasSource = false, HasTag = false;
};

// One unit into a plain item, from its start tag to its end tag, as LoadNewNotes reads it.
struct TUnitScanner {
  TQEMNotesItemLoader I;

  std::u16string& Created; // reused from unit to unit
  std::u16string& Status;
  TTimeCache& CreatedTimes;
  TTimeCache& ModifiedTimes;

  bool Scan(TScanner& S, std::vector<TScannedAlt>& Alts) {
    std::u16string &created = Created, &status = Status;
    if (!S.Lit("<trans-unit id=") || !S.Value(I.ID()) || !S.Lit(" resname=") ||
        !S.Value(I.ResName()) || !S.Lit(">"))
      return false;
    S.Ws();
    if (!S.Leaf("source", I.Orig())) return false;
    S.Ws();
    if (S.At("<target")) {
      if (!S.Leaf("target", I.Xlat())) return false;
      S.Ws();
    } else {
      I.Xlat() = I.Orig();
    }
    if (S.At("<note")) {
      std::u16string lang;
      if (!S.Lit("<note xml:lang=") || !S.Value(lang)) return false;
      if (!S.Lit("/>") && !(S.Lit(">") && S.Text(I.Comment()) && S.Lit("</note>"))) return false;
      S.Ws();
    }
    if (!S.Lit("<prop-group name=\"QEMFieldProp\">")) return false;
    S.Ws();
    if (!S.Prop("Created", created)) return false;
    S.Ws();
    if (!S.Prop("Status", status)) return false;
    S.Ws();
    if (!S.Lit("</prop-group>")) return false;
    I.Created() = CreatedTimes.Get(created);
    I.Status() = UnitStatus(I.ID(), status);
    size_t count = 0;
    for (S.Ws(); S.At("<alt-trans>"); S.Ws()) {
      if (Alts.size() <= count) Alts.emplace_back();
      TScannedAlt& alt = Alts[count];
      alt.HasSource = alt.HasTag = false;
      if (!ScanAlt(S, alt)) return false;
      ++count;
    }
    if (!S.Lit("</trans-unit>")) return false;
    return History(Alts, count);
  }

private:
  static bool ScanAlt(TScanner& S, TScannedAlt& A) {
    S.Lit("<alt-trans>");
    S.Ws();
    A.Source.clear(); // the strings moved on are empty; the others keep their room
    A.Target.clear();
    A.Tag.clear();
    A.Modified.clear();
    if (S.At("<source")) {
      if (!S.Leaf("source", A.Source)) return false;
      A.HasSource = true;
      S.Ws();
    }
    if (!S.Leaf("target", A.Target)) return false;
    S.Ws();
    if (!S.Lit("<prop-group name=\"QEMFieldProp\">")) return false;
    S.Ws();
    if (S.At("<prop prop-type=\"TagName\"")) {
      if (!S.Prop("TagName", A.Tag)) return false;
      A.HasTag = true;
      S.Ws();
    }
    if (!S.Prop("Modified", A.Modified)) return false;
    S.Ws();
    if (!S.Lit("</prop-group>")) return false;
    S.Ws();
    return S.Lit("</alt-trans>");
  }

  // Oldest first, as LoadNewNotes takes them; false when the oldest leaves out its source.
  bool History(std::vector<TScannedAlt>& Alts, size_t Count) {
    std::vector<TQEMStringPair>& list = I.List();
    for (size_t k = Count; k-- > 0;) {
      TScannedAlt& a = Alts[k];
      if (!a.HasSource) {
        if (k + 1 == Count) return false;
        a.Source = list.empty() ? std::u16string() : list.front().FOrigText;
      }
      if (!(list.size() == 1 && list[0].FOrigText.empty() && list[0].FXlatText.empty()))
        I.MoveCurrentToHistory();
      TQEMStringPair& prev = list.front();
      prev.FOrigText = std::move(a.Source);
      prev.FXlatText = std::move(a.Target);
      prev.FTagName = a.HasTag ? std::move(a.Tag) : std::u16string();
      if (!a.Modified.empty()) prev.FModified = ModifiedTimes.Get(a.Modified);
    }
    return true;
  }
};

} // namespace

bool ScanOwnNotes(TQEMCustomNotesFile& F, std::string_view Bytes,
                  std::shared_ptr<TQEMXMLDocument>& Head, IQEMNotesItems& Items) {
  if (!ScanOwnBodies || Bytes.empty() || Bytes[0] != '<') return false; // no mark, no UTF-16
  const size_t headerEnd = Bytes.find("</header>");
  if (headerEnd == Bytes.npos) return false;
  // The head is read as a document of its own, with its checks; the body is checked here.
  std::string head(Bytes.substr(0, headerEnd + 9));
  head += "</file></xliff>";
  const auto doc = CreateNewDocument();
  if (!LoadFromBytes(*doc, head)) return false;
  const TQEMXMLNode file = FindChildElement(doc->DocumentElement(), u"file");
  const TQEMXMLNode header = FindChildElement(file, u"header");
  if (!file || !header || !IsOwnFrame(*doc, file, header, file.AppendElement(u"body")))
    return false;
  TScanner s(Bytes.substr(headerEnd + 9));
  s.Ws();
  // Added in place, taken back again when the scan gives up.
  const int before = Items.Count();
  if (auto* list = dynamic_cast<TQEMNotesItems*>(&Items))
    list->Reserve(size_t(before) + Bytes.size() / 512);
  const auto giveUp = [&] {
    while (Items.Count() > before)
      Items.Delete(Items.Count() - 1);
    return false;
  };
  std::vector<TScannedAlt> alts;
  std::u16string created, status;
  TTimeCache createdTimes, modifiedTimes;
  std::vector<IQEMNotesItemPtr> added;
  added.reserve(Bytes.size() / 512);
  const TLoadClock clock;
  try {
    if (!s.Lit("<body/>")) {
      if (!s.Lit("<body>")) return giveUp();
      // Spaces alone in the body are a text the document keeps.
      if (!s.At("</body>")) {
        s.Ws();
        if (!s.At("<trans-unit ")) return giveUp();
      }
      for (; s.At("<trans-unit "); s.Ws()) {
        IQEMNotesItemPtr item = F.CreateNotesItem();
        if (!item || typeid(*item) != typeid(TQEMNotesItem)) return giveUp();
        TUnitScanner unit{
            {dynamic_cast<TQEMNotesItem&>(*item)}, created, status, createdTimes, modifiedTimes};
        if (!unit.Scan(s, alts)) return giveUp();
        added.push_back(item);
        Items.Add(std::move(item));
      }
      if (!s.Lit("</body>")) return giveUp();
    }
  } catch (const EQEMConvertError&) {
    return giveUp(); // the document names the fault, or an earlier one
  }
  s.Ws();
  if (!s.Lit("</file>")) return giveUp();
  s.Ws();
  if (!s.Lit("</xliff>")) return giveUp();
  s.Ws();
  if (!s.AtEnd()) return giveUp();
  if (!WritesNoOwnProps(F, added)) return giveUp();
  Head = OwnHead(file, header);
  return true;
}

bool ScanOwnHeaders = true;

const char16_t* const kHeaderProps[THeaderTexts::PropCount] = {
    u"Version",    u"SelfDateTime", u"OrigDateTime", u"XlatDateTime",
    u"Translated", u"UnTranslated", u"OrigStamp"};

namespace {
// Everything a save writes before the file element.
constexpr std::string_view kOwnProlog =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<!DOCTYPE xliff PUBLIC \"-//XLIFF//DTD XLIFF//EN\"\r\n"
    " \"http://www.oasis-open.org/committees/xliff/documents/xliff.dtd\" >\r\n"
    "<xliff version=\"1.0\">";
constexpr std::string_view kHeaderPropTypes[THeaderTexts::PropCount] = {
    "Version",    "SelfDateTime", "OrigDateTime", "XlatDateTime",
    "Translated", "UnTranslated", "OrigStamp"};
} // namespace

bool ScanOwnHeader(std::string_view Bytes, THeaderTexts& Texts) {
  if (!ScanOwnHeaders) return false;
  TScanner s(Bytes);
  if (!s.Lit(kOwnProlog)) return false;
  s.Ws();
  std::u16string other;
  if (!s.Lit("<file original=") || !s.Value(Texts.Original) || !s.Lit(" source-language=") ||
      !s.Value(Texts.Source) || !s.Lit(" target-language=") || !s.Value(Texts.Target) ||
      !s.Lit(" datatype=") || !s.Value(other) || !s.Lit(" tool=") || !s.Value(other) ||
      !s.Lit(" ts=") || !s.Value(other) || !s.Lit(">"))
    return false;
  s.Ws();
  if (!s.Lit("<header>")) return false;
  s.Ws();
  if (!s.Lit("<prop-group name=\"QEMHeaderProp\">")) return false;
  for (size_t i = 0; i < THeaderTexts::PropCount; ++i) {
    s.Ws();
    Texts.Props[i].clear();
    // The stamp alone may be left out.
    if (i == THeaderTexts::OrigStamp && !s.At("<prop prop-type=\"OrigStamp\"")) continue;
    if (!s.Prop(kHeaderPropTypes[i], Texts.Props[i])) return false;
  }
  s.Ws();
  if (!s.Lit("</prop-group>")) return false;
  s.Ws();
  Texts.Group = true;
  return s.Lit("</header>");
}

} // namespace notesdetail
