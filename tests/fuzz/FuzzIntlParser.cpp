// Any bytes through the tokenizer, in each language and in a double-byte code page: every walk
// ends at the buffer's end, each step moves forward, and replacing a text by one that holds it
// terminates with the expected size.
// Input: a settings byte, a search text length (0-3), the search text, then the buffer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "toolkit/QEMIntlParser.h"

namespace {

constexpr size_t npos = TVareZezoer::npos;

void Check(bool Ok) {
  if (!Ok) __builtin_trap();
}

// Calls Next until it reports nothing more, checking that each result moves forward.
template <class F> void Drain(TVareZezoer& P, size_t Limit, F Next) {
  P.ResetPointer();
  size_t last = 0, steps = 0;
  bool first = true;
  for (size_t at = Next(); at != npos; at = Next()) {
    Check(at <= P.GetMemSize() && (first || at > last || P.Position() > last));
    Check(++steps <= Limit);
    last = std::max(at, P.Position());
    first = false;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir();
  if (Size < 2) return 0;
  const uint8_t cfg = Data[0];
  const size_t n = std::min<size_t>(Data[1] & 3, Size - 2);
  const std::string find(reinterpret_cast<const char*>(Data) + 2, n);
  const std::string text(reinterpret_cast<const char*>(Data) + 2 + n, Size - 2 - n);
  static const char16_t* const names[] = {u"a.txt", u"a.pas", u"a.cpp", u"a.ofm"};

  TVareZezoer p;
  p.FShowErrors = false;
  p.SetCodePage(cfg & 4 ? 932 : 1252);
  if (!p.InitParser(text, cfg & 8, names[cfg & 3])) return 0;
  p.FShowErrors = false;
  p.FSearchInComments = cfg & 16;
  p.FSearchInQuotes = cfg & 32;
  p.FSearchInDirectives = cfg & 64;
  const size_t limit = text.size() + 2;

  Drain(p, limit, [&] { return p.NextToken(); });
  Drain(p, limit, [&] { return p.NextToken_SkippingPASComments(); });
  Drain(p, limit, [&] { return p.NextString() ? p.FBlockBegin : npos; });
  Drain(p, limit, [&] { return p.NextComment(cfg & 128) ? p.FTokenIndex : npos; });
  Drain(p, limit, [&] { return p.NextChar(); });
  Drain(p, limit, [&] { return p.NextLine(); });
  if (!find.empty()) {
    size_t start = 0;
    Drain(p, limit, [&] {
      const size_t at =
          p.FindSingleToken(find, start, p.FIsInQuotes, p.FIsInComment, p.FIsInDirective);
      start = at + 1;
      return at;
    });
    const size_t before = p.GetMemSize();
    const int count = p.Replace(find, find + find, true);
    Check(p.GetMemSize() == before + size_t(count) * find.size());
  }
  // Rewriting each string as one that holds it still ends.
  Drain(p, limit, [&] {
    if (!p.NextString()) return npos;
    const std::string s = p.FCurrToken;
    p.Replace(p.FBlockBegin, p.FBlockEnd - p.FBlockBegin, s + s);
    return p.Position() - 1;
  });
  Check(p.GetMemEnd() && *p.GetMemEnd() == '\0');
  return 0;
}
