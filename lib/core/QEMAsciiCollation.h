#pragma once
// How a collator orders ASCII text when every ASCII character has one collation element of its
// own and no contraction starts among them (true of the root collation): level by level, the
// weights of the characters that are not ignorable, a shorter run before a longer one that
// starts alike. The build measures the weights from ICU and checks this against it, per locale;
// comparing this way needs no collator, whose opening costs more than a short run's work.
#include <cstdint>
#include <string_view>

struct TQEMAsciiWeights {
  uint16_t Primary; // 0: the character is ignored at every level
  uint8_t Secondary;
  uint8_t Tertiary;
};

// -1, 0 or 1, as the collator at secondary (IgnoreCase) or tertiary strength would answer.
// Both texts must be ASCII.
inline int QEMCompareAsciiCollated(const TQEMAsciiWeights (&Weights)[128], std::u16string_view A,
                                   std::u16string_view B, bool IgnoreCase) {
  const int levels = IgnoreCase ? 2 : 3;
  for (int level = 0; level < levels; ++level) {
    size_t i = 0, j = 0;
    for (;;) {
      while (i < A.size() && Weights[A[i]].Primary == 0)
        ++i;
      while (j < B.size() && Weights[B[j]].Primary == 0)
        ++j;
      if (i == A.size() || j == B.size()) {
        if (i != A.size()) return 1;
        if (j != B.size()) return -1;
        break;
      }
      const TQEMAsciiWeights& a = Weights[A[i++]];
      const TQEMAsciiWeights& b = Weights[B[j++]];
      const int wa = level == 0 ? a.Primary : level == 1 ? a.Secondary : a.Tertiary;
      const int wb = level == 0 ? b.Primary : level == 1 ? b.Secondary : b.Tertiary;
      if (wa != wb) return wa < wb ? -1 : 1;
    }
  }
  return 0;
}
