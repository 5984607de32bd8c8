#include "translator/QEMExchangePO.h"

#include <algorithm>
#include <unordered_set>

#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "resources/QEMConst.h"

namespace {

// ---- writing ----

void AppendQuoted(std::string_view S, std::string& Out) {
  static const char* const kOctal = "01234567";
  Out += '"';
  for (const char c : S) {
    switch (c) {
    case '"':
      Out += "\\\"";
      break;
    case '\\':
      Out += "\\\\";
      break;
    case '\n':
      Out += "\\n";
      break;
    case '\r':
      Out += "\\r";
      break;
    case '\t':
      Out += "\\t";
      break;
    default:
      if (static_cast<unsigned char>(c) < 0x20) {
        const auto u = static_cast<unsigned char>(c);
        Out += '\\';
        Out += kOctal[u >> 6];
        Out += kOctal[(u >> 3) & 7];
        Out += kOctal[u & 7];
      } else {
        Out += c;
      }
    }
  }
  Out += '"';
}

// Keyword and string as gettext writes them: a text with line breaks inside starts empty and
// goes on one line per line of text.
void AppendString(std::string_view Prefix, std::string_view Keyword, std::u16string_view Text,
                  std::string& Out) {
  const std::string s = UTF16ToUTF8(Text);
  Out += Prefix;
  Out += Keyword;
  Out += ' ';
  const size_t nl = s.find('\n');
  if (nl == std::string::npos || nl + 1 == s.size()) {
    AppendQuoted(s, Out);
    Out += '\n';
    return;
  }
  Out += "\"\"\n";
  for (size_t from = 0; from < s.size();) {
    const size_t end = s.find('\n', from);
    const size_t to = end == std::string::npos ? s.size() : end + 1;
    Out += Prefix;
    AppendQuoted(std::string_view(s).substr(from, to - from), Out);
    Out += '\n';
    from = to;
  }
}

void AppendComment(std::u16string_view Comment, std::string& Out) {
  const std::string s = UTF16ToUTF8(Comment);
  for (size_t from = 0; from <= s.size();) {
    size_t to = s.find('\n', from);
    if (to == std::string::npos) to = s.size();
    std::string_view line = std::string_view(s).substr(from, to - from);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Out += line.empty() ? "#" : "# ";
    Out += line;
    Out += '\n';
    from = to + 1;
  }
}

std::u16string GettextLanguage(std::u16string Tag) {
  for (char16_t& c : Tag)
    if (c == u'-') c = u'_';
  return Tag;
}

void AppendUnit(const TQEMExchangeUnit& U, std::string& Out) {
  Out += '\n';
  if (!U.Comment.empty()) AppendComment(U.Comment, Out);
  if (U.Status == rsAutoTranslated) Out += "#, fuzzy\n";
  if (!U.PrevSource.empty() && U.PrevSource != U.Source)
    AppendString("#| ", "msgid", U.PrevSource, Out);
  AppendString({}, "msgctxt", U.Id, Out);
  AppendString({}, "msgid", U.Source, Out);
  const bool hasText = U.Status == rsTranslated || U.Status == rsNewlyTranslated ||
                       U.Status == rsAutoTranslated || U.Status == rsDoNotTranslate;
  AppendString({}, "msgstr", hasText ? std::u16string_view(U.Target) : std::u16string_view(), Out);
}

// ---- reading ----

// One entry as the lines give it.
struct TEntry {
  int Line = 0;
  bool HasContext = false, HasId = false, HasStr = false;
  std::string Context, Id, Str;
  bool Fuzzy = false;
  std::string Comment;
};

class TPOReader {
public:
  TPOReader(const std::u16string& FileName, std::string_view Bytes)
      : FFileName(FileName), FBytes(Bytes) {}
  TQEMExchangeFile Run();

private:
  [[noreturn]] void Broken(int Line, const std::u16string& Why) const {
    throw EQEMError(Format(SExchangeBrokenAt, FFileName, Line, Why));
  }
  std::string Unquote(std::string_view S, int Line) const;
  void Keyword(std::string_view Line, int No);
  void Finish();
  void Header(const std::string& Text);

  const std::u16string& FFileName;
  std::string_view FBytes;
  TQEMExchangeFile FFile;
  TEntry FEntry;
  std::string* FAppendTo = nullptr; // the string continuation lines add to
  std::string FUnused;
  bool FHeaderSeen = false;
  std::unordered_set<std::string> FContexts;
};

std::string TPOReader::Unquote(std::string_view S, int Line) const {
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r'))
    S.remove_suffix(1);
  if (S.size() < 2 || S.front() != '"' || S.back() != '"')
    Broken(Line, std::u16string(SExchangePOBadString));
  std::string out;
  for (size_t i = 1; i + 1 < S.size(); ++i) {
    const char c = S[i];
    if (c == '"') Broken(Line, std::u16string(SExchangePOBadString));
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 2 >= S.size()) Broken(Line, std::u16string(SExchangePOBadString));
    const char e = S[++i];
    switch (e) {
    case 'n':
      out += '\n';
      break;
    case 't':
      out += '\t';
      break;
    case 'r':
      out += '\r';
      break;
    case 'a':
      out += '\a';
      break;
    case 'b':
      out += '\b';
      break;
    case 'f':
      out += '\f';
      break;
    case 'v':
      out += '\v';
      break;
    case '"':
    case '\\':
    case '\'':
    case '?':
      out += e;
      break;
    default: {
      if (e < '0' || e > '7') Broken(Line, std::u16string(SExchangePOBadString));
      int v = e - '0';
      for (int k = 0; k < 2 && i + 2 < S.size() && S[i + 1] >= '0' && S[i + 1] <= '7'; ++k)
        v = v * 8 + (S[++i] - '0');
      out += char(v);
    }
    }
  }
  return out;
}

void TPOReader::Keyword(std::string_view Line, int No) {
  const size_t sp = Line.find_first_of(" \t");
  const std::string_view word = Line.substr(0, sp);
  const std::string_view rest = sp == std::string_view::npos ? "" : Line.substr(sp + 1);
  const auto take = [&](bool& Has, std::string& Target) {
    if (Has) Broken(No, Format(SExchangePOExpected, u"msgctxt or msgid"));
    Has = true;
    Target = Unquote(rest, No);
    FAppendTo = &Target;
  };
  if (word == "msgctxt" || (word == "msgid" && !FEntry.HasContext)) {
    if (FEntry.HasStr || FEntry.HasId) Finish();
    if (FEntry.Line == 0) FEntry.Line = No;
  }
  if (word == "msgctxt")
    take(FEntry.HasContext, FEntry.Context);
  else if (word == "msgid")
    take(FEntry.HasId, FEntry.Id);
  else if (word == "msgstr" || word == "msgstr[0]") {
    if (!FEntry.HasId) Broken(No, Format(SExchangePOExpected, u"msgid"));
    take(FEntry.HasStr, FEntry.Str);
  } else if (word == "msgid_plural" || word.starts_with("msgstr[")) {
    // Our sources have no plurals: the other forms are read and not used.
    FUnused = Unquote(rest, No);
    FAppendTo = &FUnused;
  } else
    Broken(No, Format(SExchangePOExpected, u"msgctxt, msgid or msgstr"));
}

void TPOReader::Header(const std::string& Text) {
  for (size_t from = 0; from < Text.size();) {
    size_t to = Text.find('\n', from);
    if (to == std::string::npos) to = Text.size();
    const std::string_view line = std::string_view(Text).substr(from, to - from);
    from = to + 1;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ')
      value.remove_prefix(1);
    if (name == "X-Original") FFile.Original = UTF8ToUTF16(value);
    if (name == "X-Source-Language") FFile.SourceLang = UTF8ToUTF16(value);
    if (name == "Language") {
      FFile.TargetLang = UTF8ToUTF16(value);
      for (char16_t& c : FFile.TargetLang)
        if (c == u'_') c = u'-';
    }
  }
}

void TPOReader::Finish() {
  TEntry e = std::move(FEntry);
  FEntry = {};
  FAppendTo = nullptr;
  if (!e.HasId) return;
  if (!e.HasStr) Broken(e.Line, Format(SExchangePOExpected, u"msgstr"));
  if (!e.HasContext && e.Id.empty()) {
    FHeaderSeen = true;
    Header(e.Str);
    return;
  }
  if (!e.HasContext) Broken(e.Line, Format(SExchangePOExpected, u"msgctxt"));
  if (!FContexts.insert(e.Context).second)
    Broken(e.Line, Format(SExchangeTwice, UTF8ToUTF16(e.Context)));
  TQEMExchangeUnit& u = FFile.Units.emplace_back();
  u.Line = e.Line;
  u.Id = UTF8ToUTF16(e.Context);
  u.ResName = u.Id;
  u.Source = UTF8ToUTF16(e.Id);
  u.Target = UTF8ToUTF16(e.Str);
  u.Comment = UTF8ToUTF16(e.Comment);
  if (!e.Str.empty()) u.Ask = e.Fuzzy ? TQEMExchangeAsk::eaReview : TQEMExchangeAsk::eaTranslated;
}

TQEMExchangeFile TPOReader::Run() {
  std::string_view text = FBytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (const size_t bad = QEMFindInvalidUTF8(text); bad != std::string_view::npos)
    Broken(1 + int(std::count(text.begin(), text.begin() + ptrdiff_t(bad), '\n')),
           std::u16string(SExchangePOBadString));
  int no = 0;
  for (size_t from = 0; from < text.size();) {
    size_t to = text.find('\n', from);
    if (to == std::string_view::npos) to = text.size();
    std::string_view line = text.substr(from, to - from);
    from = to + 1;
    ++no;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
      line.remove_prefix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.starts_with("#~")) continue;
    if (line.front() == '"') {
      if (!FAppendTo) Broken(no, Format(SExchangePOExpected, u"msgctxt, msgid or msgstr"));
      *FAppendTo += Unquote(line, no);
      continue;
    }
    if (line.front() == '#') {
      if (FEntry.HasStr) Finish(); // a comment starts the next entry
      if (line.starts_with("#,") && line.find("fuzzy") != std::string_view::npos)
        FEntry.Fuzzy = true;
      if (line.size() == 1 || line[1] == ' ') {
        if (!FEntry.Comment.empty()) FEntry.Comment += '\n';
        FEntry.Comment += line.substr(line.size() == 1 ? 1 : 2);
      }
      continue;
    }
    Keyword(line, no);
  }
  Finish();
  if (FFile.Original.empty()) Broken(1, std::u16string(SExchangePONoFile));
  return std::move(FFile);
}

} // namespace

std::string QEMPOWrite(const TQEMExchangeFile& File) {
  std::string out = "msgid \"\"\nmsgstr \"\"\n";
  const auto field = [&](std::string_view Name, std::u16string_view Value) {
    std::string line(Name);
    line += ": ";
    // A header field is one line.
    for (const char c : UTF16ToUTF8(Value))
      line += c == '\n' || c == '\r' ? ' ' : c;
    line += '\n';
    AppendQuoted(line, out);
    out += '\n';
  };
  const std::u16string& o = File.Original;
  field("Project-Id-Version", o.substr(o.find_last_of(u"/\\") + 1));
  field("Language", GettextLanguage(File.TargetLang));
  field("MIME-Version", u"1.0");
  field("Content-Type", u"text/plain; charset=UTF-8");
  field("Content-Transfer-Encoding", u"8bit");
  field("X-Original", File.Original);
  field("X-Source-Language", File.SourceLang);
  for (const TQEMExchangeUnit& u : File.Units)
    AppendUnit(u, out);
  return out;
}

TQEMExchangeFile QEMPORead(const std::u16string& FileName, std::string_view Bytes) {
  return TPOReader(FileName, Bytes).Run();
}
