// The one UTF-8 <-> UTF-16 path (ICU) and the UTF-8 validator every reader uses, over 1 MB of
// mostly ASCII text (markup, source files) and of mixed European and CJK text. Run: build with
// -DHLX_BUILD_BENCH=ON, then bin/QEMUtf8Bench.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/QEMSysUtils.h"

namespace {

std::string Text(bool Mixed) {
  const std::string piece = Mixed ? "Grüße, \xE4\xB8\xAD\xE6\x96\x87 and \xF0\x9F\x98\x80 text; "
                                  : "<trans-unit id=\"item\"><source>Text</source></trans-unit>\n";
  std::string s;
  while (s.size() < (1 << 20))
    s += piece;
  return s;
}

// The hand-written converter ICU replaced, as the baseline.
std::u16string HandWrittenUTF8ToUTF16(std::string_view S) {
  std::u16string R;
  R.reserve(S.size());
  const auto* p = reinterpret_cast<const unsigned char*>(S.data());
  const size_t n = S.size();
  size_t i = 0;
  while (i < n) {
    // ASCII runs, the common case, convert eight bytes at a time.
    if (n - i >= 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (!(w & 0x8080808080808080ull)) {
        for (int k = 0; k < 8; ++k)
          R.push_back(char16_t(p[i + k]));
        i += 8;
        continue;
      }
    }
    uint32_t c = p[i];
    int extra;
    uint32_t min;
    if (c < 0x80) {
      R.push_back(char16_t(c));
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, min = 0x80, c &= 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, min = 0x800, c &= 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, min = 0x10000, c &= 0x07;
    } else {
      R.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = i + size_t(extra) < n;
    for (int k = 1; ok && k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        c = (c << 6) | (p[i + k] & 0x3F);
    }
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      R.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      R.push_back(char16_t(0xD800 + (c >> 10)));
      R.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      R.push_back(char16_t(c));
    }
    i += size_t(extra) + 1;
  }
  return R;
}

void SetBytes(benchmark::State& State, size_t Bytes) {
  State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(Bytes));
}

} // namespace

static void BM_UTF8ToUTF16(benchmark::State& State) {
  const std::string s = Text(State.range(0) != 0);
  for (auto _ : State)
    benchmark::DoNotOptimize(UTF8ToUTF16(s));
  SetBytes(State, s.size());
}
BENCHMARK(BM_UTF8ToUTF16)->Arg(0)->Arg(1);

static void BM_HandWrittenUTF8ToUTF16(benchmark::State& State) {
  const std::string s = Text(State.range(0) != 0);
  for (auto _ : State)
    benchmark::DoNotOptimize(HandWrittenUTF8ToUTF16(s));
  SetBytes(State, s.size());
}
BENCHMARK(BM_HandWrittenUTF8ToUTF16)->Arg(0)->Arg(1);

static void BM_UTF16ToUTF8(benchmark::State& State) {
  const std::u16string s = UTF8ToUTF16(Text(State.range(0) != 0));
  for (auto _ : State)
    benchmark::DoNotOptimize(UTF16ToUTF8(s));
  SetBytes(State, s.size() * 2);
}
BENCHMARK(BM_UTF16ToUTF8)->Arg(0)->Arg(1);

static void BM_FindInvalidUTF8(benchmark::State& State) {
  const std::string s = Text(State.range(0) != 0);
  for (auto _ : State)
    benchmark::DoNotOptimize(QEMFindInvalidUTF8(s));
  SetBytes(State, s.size());
}
BENCHMARK(BM_FindInvalidUTF8)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
