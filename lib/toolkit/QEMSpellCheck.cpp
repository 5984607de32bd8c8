#include "toolkit/QEMSpellCheck.h"

#include <hunspell.hxx>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/uloc.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/QEMFiles.h"
#include "platform/QEMRegistry.h"
#include "platform/QEMSysUtils.h"

namespace fs = std::filesystem;

namespace {

// Longer "words" are identifiers or garbage, beyond what Hunspell looks up.
constexpr size_t kMaxWordLength = 64;
// The verdicts of a long session stay bounded.
constexpr size_t kMaxCached = 200000;

bool IsSpace(char16_t C) {
  return u_isUWhiteSpace(C);
}

std::string LocaleId(const std::u16string& LangTag) {
  const std::string tag = UTF16ToUTF8(LangTag);
  char id[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  uloc_forLanguageTag(tag.c_str(), id, sizeof id, nullptr, &err);
  if (U_FAILURE(err) || !id[0]) {
    std::string s = tag;
    std::replace(s.begin(), s.end(), '-', '_');
    return s;
  }
  return id;
}

std::string LocalePart(const char* Id, int32_t (*Get)(const char*, char*, int32_t, UErrorCode*)) {
  char part[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  Get(Id, part, sizeof part, &err);
  return U_FAILURE(err) ? std::string() : std::string(part);
}

bool HasDictionary(const fs::path& Stem) {
  std::error_code ec;
  fs::path aff = Stem, dic = Stem;
  aff += ".aff";
  dic += ".dic";
  return fs::is_regular_file(aff, ec) && fs::is_regular_file(dic, ec);
}

// Text with the accelerator markers dropped, and where each kept unit came from.
void DropMarkers(std::u16string_view S, char16_t Accel, std::u16string& Out,
                 std::vector<int32_t>* From) {
  Out.clear();
  if (From) From->clear();
  for (size_t i = 0; i < S.size(); ++i) {
    const char16_t c = S[i];
    if (Accel && c == Accel && i + 1 < S.size()) {
      if (S[i + 1] != Accel) continue; // a marker
      ++i;                             // && is one literal marker character
      Out += c;
      if (From) From->push_back(int32_t(i - 1));
      continue;
    }
    Out += c;
    if (From) From->push_back(int32_t(i));
  }
}

bool StartsWithAt(std::u16string_view S, size_t At, std::u16string_view What) {
  if (At + What.size() > S.size()) return false;
  for (size_t i = 0; i < What.size(); ++i)
    if (u_tolower(S[At + i]) != What[i]) return false;
  return true;
}

// Blanks out whitespace-delimited tokens that are web or mail addresses.
void BlankAddresses(std::u16string& S) {
  size_t i = 0;
  while (i < S.size()) {
    while (i < S.size() && IsSpace(S[i]))
      ++i;
    const size_t start = i;
    while (i < S.size() && !IsSpace(S[i]))
      ++i;
    const std::u16string_view token(S.data() + start, i - start);
    const size_t at = token.find(u'@');
    const bool address = token.find(u"://") != std::u16string_view::npos ||
                         StartsWithAt(S, start, u"www.") || StartsWithAt(S, start, u"mailto:") ||
                         (at != std::u16string_view::npos && at > 0 &&
                          token.find(u'.', at) != std::u16string_view::npos);
    if (address) std::fill(S.begin() + ptrdiff_t(start), S.begin() + ptrdiff_t(i), u' ');
  }
}

bool HasDigit(std::u16string_view W) {
  for (int32_t i = 0; i < int32_t(W.size());) {
    UChar32 c;
    U16_NEXT(W.data(), i, int32_t(W.size()), c);
    if (u_isdigit(c)) return true;
  }
  return false;
}

bool HasLetter(std::u16string_view W) {
  for (int32_t i = 0; i < int32_t(W.size());) {
    UChar32 c;
    U16_NEXT(W.data(), i, int32_t(W.size()), c);
    if (u_isalpha(c)) return true;
  }
  return false;
}

} // namespace

struct TQEMSpellChecker::TImpl {
  char16_t Accel = u'&';
  std::u16string DictName;
  std::unique_ptr<Hunspell> Speller;
  UConverter* Converter = nullptr; // null for UTF-8 dictionaries
  UBreakIterator* Words = nullptr;
  std::u16string UserFile;
  std::set<std::u16string> UserWords;
  mutable std::unordered_map<std::u16string, bool> Cache;

  ~TImpl() {
    if (Words) ubrk_close(Words);
    if (Converter) ucnv_close(Converter);
  }

  // False when the word has no form in the dictionary's encoding.
  bool Encode(std::u16string_view W, std::string& Out) const {
    if (!Converter) {
      Out = UTF16ToUTF8(W);
      return true;
    }
    UErrorCode err = U_ZERO_ERROR;
    Out.resize(W.size() * size_t(ucnv_getMaxCharSize(Converter)) + 1);
    const int32_t n = ucnv_fromUChars(Converter, Out.data(), int32_t(Out.size()), W.data(),
                                      int32_t(W.size()), &err);
    if (U_FAILURE(err)) return false;
    Out.resize(size_t(n));
    return true;
  }

  std::u16string Decode(const std::string& S) const {
    if (!Converter) return UTF8ToUTF16(S);
    std::u16string out(S.size() * 2 + 1, u'\0');
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(Converter, out.data(), int32_t(out.size()), S.data(),
                                    int32_t(S.size()), &err);
    if (U_FAILURE(err)) return {};
    out.resize(size_t(n));
    return out;
  }

  // Word is free of markers.
  bool Spell(const std::u16string& Word) const {
    if (!Speller || Word.size() > kMaxWordLength || UserWords.count(Word)) return true;
    if (auto it = Cache.find(Word); it != Cache.end()) return it->second;
    std::string encoded;
    const bool ok = Encode(Word, encoded) && Speller->spell(encoded);
    if (Cache.size() >= kMaxCached) Cache.clear();
    Cache.emplace(Word, ok);
    return ok;
  }
};

TQEMSpellChecker::TQEMSpellChecker(const std::u16string& LangTag, char16_t AccelChar)
    : FImpl(std::make_unique<TImpl>()) {
  FImpl->Accel = AccelChar;
  const std::u16string stem = FindDictionary(LangTag);
  if (stem.empty()) return;
  const std::string path = QEMNativePath(stem);
  auto speller = std::make_unique<Hunspell>((path + ".aff").c_str(), (path + ".dic").c_str());
  const std::string encoding = speller->get_dict_encoding();
  std::string folded = encoding;
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return char(std::toupper(c)); });
  if (folded != "UTF-8" && folded != "UTF8") {
    UErrorCode err = U_ZERO_ERROR;
    FImpl->Converter = ucnv_open(encoding.c_str(), &err);
    if (U_FAILURE(err)) {
      FImpl->Converter = nullptr;
      return; // an encoding we cannot write: no checking rather than wrong verdicts
    }
    ucnv_setFromUCallBack(FImpl->Converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &err);
  }
  UErrorCode err = U_ZERO_ERROR;
  FImpl->Words = ubrk_open(UBRK_WORD, LocaleId(LangTag).c_str(), nullptr, 0, &err);
  if (U_FAILURE(err)) {
    FImpl->Words = nullptr;
    return;
  }
  FImpl->Speller = std::move(speller);
  FImpl->DictName = ExtractFileName(stem);
  FImpl->UserFile = UserDictionaryFileName(FImpl->DictName);
  std::string bytes;
  if (FileExists(FImpl->UserFile) && QEMReadFileBytes(FImpl->UserFile, bytes)) {
    size_t pos = 0;
    while (pos < bytes.size()) {
      size_t end = bytes.find('\n', pos);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(pos, end - pos);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pos = end + 1;
      if (line.empty()) continue;
      const std::u16string word = UTF8ToUTF16(line);
      FImpl->UserWords.insert(word);
      std::string encoded;
      if (FImpl->Encode(word, encoded)) FImpl->Speller->add(encoded);
    }
  }
}

TQEMSpellChecker::~TQEMSpellChecker() = default;

bool TQEMSpellChecker::Enabled() const {
  return FImpl->Speller != nullptr;
}

const std::u16string& TQEMSpellChecker::DictionaryName() const {
  return FImpl->DictName;
}

std::vector<TQEMTextRange> TQEMSpellChecker::Check(std::u16string_view Text) const {
  std::vector<TQEMTextRange> result;
  if (!Enabled() || Text.empty()) return result;
  // Specifiers become blanks before the markers go, so positions map back through From.
  std::u16string masked(Text);
  for (const TQEMTextRange& r : QEMFormatSpecifierRanges(Text))
    std::fill_n(masked.begin() + r.Start, r.Length, u' ');
  std::u16string clean;
  std::vector<int32_t> from;
  DropMarkers(masked, FImpl->Accel, clean, &from);
  BlankAddresses(clean);

  UErrorCode err = U_ZERO_ERROR;
  UBreakIterator* bi = FImpl->Words;
  ubrk_setText(bi, clean.data(), int32_t(clean.size()), &err);
  if (U_FAILURE(err)) return result;
  std::u16string word;
  for (int32_t start = ubrk_first(bi), end = ubrk_next(bi); end != UBRK_DONE;
       start = end, end = ubrk_next(bi)) {
    const int32_t status = ubrk_getRuleStatus(bi);
    // Letters only: numbers, punctuation and the scripts without spaces are left alone.
    if (status < UBRK_WORD_LETTER || status >= UBRK_WORD_LETTER_LIMIT) continue;
    word.assign(clean, size_t(start), size_t(end - start));
    // A single letter is an abbreviation's part (E-Mail, x-Achse), never a typing error.
    if (word.size() < 2 || HasDigit(word) || FImpl->Spell(word)) continue;
    const int32_t first = from[size_t(start)];
    const int32_t last = from[size_t(end - 1)] + 1;
    result.push_back({first, last - first});
  }
  return result;
}

bool TQEMSpellChecker::IsCorrect(std::u16string_view Word) const {
  std::u16string clean;
  DropMarkers(Word, FImpl->Accel, clean, nullptr);
  return FImpl->Spell(clean);
}

std::vector<std::u16string> TQEMSpellChecker::Suggest(std::u16string_view Word) const {
  std::vector<std::u16string> result;
  if (!Enabled()) return result;
  std::u16string clean;
  DropMarkers(Word, FImpl->Accel, clean, nullptr);
  std::string encoded;
  if (clean.empty() || clean.size() > kMaxWordLength || !FImpl->Encode(clean, encoded))
    return result;
  for (const std::string& s : FImpl->Speller->suggest(encoded)) {
    std::u16string w = FImpl->Decode(s);
    if (!w.empty()) result.push_back(std::move(w));
  }
  return result;
}

bool TQEMSpellChecker::AddToUserDictionary(std::u16string_view Word) {
  if (!Enabled()) return false;
  std::u16string clean;
  DropMarkers(Word, FImpl->Accel, clean, nullptr);
  clean = QEMTrim(clean);
  // One word a line: a line break would split it into others.
  if (!HasLetter(clean) ||
      std::any_of(clean.begin(), clean.end(), [](char16_t c) { return c == u'\n' || c == u'\r'; }))
    return false;
  if (FImpl->UserWords.count(clean)) return true;
  std::set<std::u16string> words = FImpl->UserWords;
  words.insert(clean);
  std::string data;
  for (const std::u16string& w : words)
    data += UTF16ToUTF8(w) + "\n";
  ForceDirectories(ExtractFilePath(FImpl->UserFile));
  QEMSaveFileAtomically(FImpl->UserFile, data);
  FImpl->UserWords = std::move(words);
  std::string encoded;
  if (FImpl->Encode(clean, encoded)) FImpl->Speller->add(encoded);
  FImpl->Cache.clear();
  return true;
}

std::vector<std::u16string> TQEMSpellChecker::DictionaryFolders() {
  std::vector<std::u16string> folders;
  if (const char* env = std::getenv("HLX_DICTIONARY_PATH"); env && *env) {
    const std::string list = env;
    size_t pos = 0;
    while (pos <= list.size()) {
      size_t end = list.find(':', pos);
      if (end == std::string::npos) end = list.size();
      if (end > pos) folders.push_back(UTF8ToUTF16(list.substr(pos, end - pos)));
      pos = end + 1;
    }
    return folders;
  }
  folders.push_back(u"/usr/share/hunspell");
  return folders;
}

std::u16string TQEMSpellChecker::FindDictionary(const std::u16string& LangTag) {
  const std::string id = LocaleId(LangTag);
  const std::string lang = LocalePart(id.c_str(), uloc_getLanguage);
  if (lang.empty()) return {};
  const std::string script = LocalePart(id.c_str(), uloc_getScript);
  const std::string country = LocalePart(id.c_str(), uloc_getCountry);
  char likely[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  uloc_addLikelySubtags(lang.c_str(), likely, sizeof likely, &err);
  const std::string likelyCountry =
      U_FAILURE(err) ? std::string() : LocalePart(likely, uloc_getCountry);

  std::vector<std::string> names;
  if (!script.empty() && !country.empty()) names.push_back(lang + "_" + script + "_" + country);
  if (!country.empty()) names.push_back(lang + "_" + country);
  if (!likelyCountry.empty()) names.push_back(lang + "_" + likelyCountry);
  names.push_back(lang);
  for (const std::u16string& folder : DictionaryFolders()) {
    const fs::path dir = QEMNativePath(folder);
    for (const std::string& n : names)
      if (HasDictionary(dir / n)) return UTF8ToUTF16((dir / n).string());
  }
  for (const std::u16string& folder : DictionaryFolders()) {
    const fs::path dir = QEMNativePath(folder);
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), e; !ec && it != e; it.increment(ec)) {
      const fs::path& p = it->path();
      const std::string stem = p.stem().string();
      if (p.extension() == ".dic" && stem.rfind(lang + "_", 0) == 0 && HasDictionary(dir / stem))
        found.push_back(stem);
    }
    if (!found.empty()) {
      std::sort(found.begin(), found.end());
      return UTF8ToUTF16((dir / found.front()).string());
    }
  }
  return {};
}

std::u16string TQEMSpellChecker::UserDictionaryFileName(const std::u16string& DictName) {
  return ExtractFilePath(TQEMHive::DefaultFileName()) + u"user-" + DictName + u".dic";
}
