#include "platform/QEMSysUtils.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

EQEMError::EQEMError(std::u16string Msg) : FMessage(std::move(Msg)), FUtf8(UTF16ToUTF8(FMessage)) {}
EQEMError::~EQEMError() = default;

std::u16string QEMExceptionMessage(const std::exception& E) {
  if (auto* q = dynamic_cast<const EQEMError*>(&E)) return q->Message();
  return UTF8ToUTF16(E.what());
}

namespace {

// ICU counts in int32_t: longer text goes in pieces that end on a character boundary.
constexpr size_t kIcuChunk = size_t(1) << 28;

// Units before the first one outside ASCII. Whole-text loops without early exits vectorise, so
// all-ASCII text, the usual case, is checked in one sweep.
template <class TChar> size_t AsciiPrefix(std::basic_string_view<TChar> S) {
  unsigned all = 0;
  for (const TChar c : S)
    all |= unsigned(std::make_unsigned_t<TChar>(c));
  if (all < 0x80) return S.size();
  size_t n = 0;
  while (std::make_unsigned_t<TChar>(S[n]) < 0x80)
    ++n;
  return n;
}

template <class TOut, class TChar> TOut AsciiCopy(std::basic_string_view<TChar> S) {
  TOut r(S.size(), 0);
  // Through plain pointers: a store through the string could otherwise change the string.
  auto* to = r.data();
  const TChar* from = S.data();
  for (size_t i = 0; i < S.size(); ++i)
    to[i] = typename TOut::value_type(from[i]);
  return r;
}

} // namespace

namespace qem {

std::u16string UTF8ToUTF16(std::string_view S) {
  // Keys and paths are nearly always ASCII: those units need no converter, and an ASCII byte
  // never belongs to a sequence, so ICU may take over at the first other byte.
  const size_t ascii = AsciiPrefix(S);
  std::u16string R = AsciiCopy<std::u16string>(S.substr(0, ascii));
  S.remove_prefix(ascii);
  while (!S.empty()) {
    size_t n = std::min(S.size(), kIcuChunk);
    // Back up over at most three continuation bytes to the lead byte.
    for (size_t k = 0; n < S.size() && k < 3 && U8_IS_TRAIL(uint8_t(S[n])); ++k)
      --n;
    const size_t at = R.size();
    R.resize(at + n); // never more UTF-16 units than UTF-8 bytes
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(R.data() + at), int32_t(n), &len, S.data(),
                         int32_t(n), 0xFFFD, nullptr, &err);
    R.resize(U_SUCCESS(err) ? at + size_t(len) : at);
    S.remove_prefix(n);
  }
  return R;
}

std::string UTF16ToUTF8(std::u16string_view S) {
  // As above: ASCII units are never half of a surrogate pair.
  const size_t ascii = AsciiPrefix(S);
  std::string R = AsciiCopy<std::string>(S.substr(0, ascii));
  S.remove_prefix(ascii);
  while (!S.empty()) {
    size_t n = std::min(S.size(), kIcuChunk);
    if (n < S.size() && U16_IS_LEAD(S[n - 1])) --n; // keep a surrogate pair together
    const size_t at = R.size();
    R.resize(at + 3 * n); // at most three bytes per unit
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(R.data() + at, int32_t(3 * n), &len,
                       reinterpret_cast<const UChar*>(S.data()), int32_t(n), 0xFFFD, nullptr, &err);
    R.resize(U_SUCCESS(err) ? at + size_t(len) : at);
    S.remove_prefix(n);
  }
  return R;
}

size_t QEMFindInvalidUTF8(std::string_view S) {
  const auto* p = reinterpret_cast<const uint8_t*>(S.data());
  const size_t n = S.size();
  size_t i = 0;
  while (i < n) {
    // Mostly ASCII: eight such bytes at a time.
    if (n - i >= 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (!(w & 0x8080808080808080ull)) {
        i += 8;
        continue;
      }
    }
    const size_t at = i;
    int32_t pos = 0;
    UChar32 c;
    const int32_t len = int32_t(std::min<size_t>(4, n - i));
    U8_NEXT(p + i, pos, len, c);
    if (c < 0) return at;
    i += size_t(pos);
  }
  return std::string_view::npos;
}

} // namespace qem

namespace {
enum class CaseOp { Upper, Lower, Fold };

bool IsAscii(std::u16string_view S) {
  unsigned all = 0;
  for (const char16_t c : S)
    all |= c;
  return all < 0x80;
}

// ASCII letters change case alone in the root locale, and fold to lower case: names and keys,
// nearly always ASCII, need no ICU for it.
char16_t AsciiCase(char16_t C, CaseOp Op) {
  if (Op == CaseOp::Upper) return C >= u'a' && C <= u'z' ? char16_t(C - 32) : C;
  return C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C;
}

std::u16string MapCase(std::u16string_view S, CaseOp Op) {
  if (S.empty()) return {};
  if (IsAscii(S)) {
    std::u16string r(S);
    for (char16_t& c : r)
      c = AsciiCase(c, Op);
    return r;
  }
  std::u16string R(S.size() + 8, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode err = U_ZERO_ERROR;
    const auto* src = reinterpret_cast<const UChar*>(S.data());
    auto* dst = reinterpret_cast<UChar*>(R.data());
    const auto srcLen = int32_t(S.size());
    const auto cap = int32_t(R.size());
    int32_t len = 0;
    switch (Op) {
    case CaseOp::Upper:
      len = u_strToUpper(dst, cap, src, srcLen, "", &err);
      break;
    case CaseOp::Lower:
      len = u_strToLower(dst, cap, src, srcLen, "", &err);
      break;
    case CaseOp::Fold:
      len = u_strFoldCase(dst, cap, src, srcLen, U_FOLD_CASE_DEFAULT, &err);
      break;
    }
    if (err == U_BUFFER_OVERFLOW_ERROR) {
      R.assign(size_t(len), u'\0');
      continue;
    }
    if (U_FAILURE(err)) return std::u16string(S);
    R.resize(size_t(len));
    return R;
  }
  return std::u16string(S);
}
} // namespace

std::u16string QEMUpperCase(std::u16string_view S) {
  return MapCase(S, CaseOp::Upper);
}
std::u16string QEMLowerCase(std::u16string_view S) {
  return MapCase(S, CaseOp::Lower);
}
std::u16string QEMFoldCase(std::u16string_view S) {
  return MapCase(S, CaseOp::Fold);
}

int QEMCompareText(std::u16string_view A, std::u16string_view B) {
  if (IsAscii(A) && IsAscii(B)) {
    for (size_t i = 0; i < A.size() && i < B.size(); ++i) {
      const char16_t a = AsciiCase(A[i], CaseOp::Fold), b = AsciiCase(B[i], CaseOp::Fold);
      if (a != b) return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
  }
  UErrorCode err = U_ZERO_ERROR;
  const int r = u_strCaseCompare(reinterpret_cast<const UChar*>(A.data()), int32_t(A.size()),
                                 reinterpret_cast<const UChar*>(B.data()), int32_t(B.size()),
                                 U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &err);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool QEMSameText(std::u16string_view A, std::u16string_view B) {
  return QEMCompareText(A, B) == 0;
}

std::u16string QEMTrim(std::u16string_view S) {
  size_t b = 0, e = S.size();
  while (b < e && S[b] <= u' ')
    ++b;
  while (e > b && S[e - 1] <= u' ')
    --e;
  return std::u16string(S.substr(b, e - b));
}

namespace qem {
std::u16string IntToStr(int64_t Value) {
  const std::string s = std::to_string(Value);
  return std::u16string(s.begin(), s.end());
}

std::optional<int32_t> TryStrToInt(std::u16string_view S) {
  size_t i = 0, n = S.size();
  while (i < n && S[i] == u' ')
    ++i;
  while (n > i && S[n - 1] == u' ')
    --n;
  bool neg = false;
  if (i < n && (S[i] == u'-' || S[i] == u'+')) neg = S[i++] == u'-';
  if (i == n) return std::nullopt;
  int64_t v = 0;
  for (; i < n; ++i) {
    if (S[i] < u'0' || S[i] > u'9') return std::nullopt;
    v = v * 10 + (S[i] - u'0');
    if (v > int64_t(INT32_MAX) + 1) return std::nullopt;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return int32_t(v);
}

int32_t StrToIntDef(std::u16string_view S, int32_t Default) {
  return TryStrToInt(S).value_or(Default);
}
} // namespace qem

namespace {
// Simple (one-to-one) folding of each BMP code unit keeps positions aligned with the original.
std::u16string SimpleFold(std::u16string_view S) {
  std::u16string r(S);
  for (auto& c : r)
    if (c < 0xD800 || c > 0xDFFF) c = char16_t(u_foldCase(c, U_FOLD_CASE_DEFAULT));
  return r;
}
} // namespace

std::u16string QEMStringReplace(std::u16string_view S, std::u16string_view From,
                                std::u16string_view To, bool IgnoreCase) {
  if (From.empty()) return std::u16string(S);
  std::u16string hay, needle;
  if (IgnoreCase) {
    hay = SimpleFold(S);
    needle = SimpleFold(From);
  }
  const std::u16string_view h = IgnoreCase ? std::u16string_view(hay) : S;
  const std::u16string_view f = IgnoreCase ? std::u16string_view(needle) : From;
  std::u16string R;
  size_t pos = 0;
  for (;;) {
    const size_t hit = h.find(f, pos);
    if (hit == std::u16string_view::npos) break;
    R.append(S.substr(pos, hit - pos));
    R.append(To);
    pos = hit + f.size();
  }
  R.append(S.substr(pos));
  return R;
}

void QEMKeepFreedMemory() {
  // Nothing below half a gigabyte is trimmed, the heap grows in steps of 16 MiB, and buffers up
  // to 1 GiB (whole source or notes files, their decoded text) come from the heap rather than
  // from mappings that are unmapped again when freed: a mapping's pages are faulted in anew each
  // time, and its room cannot take the items built after it, so beyond the limit a run's page
  // faults doubled.
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
}
