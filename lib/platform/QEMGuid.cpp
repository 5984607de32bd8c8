#include "platform/QEMGuid.h"

#include <array>
#include <cstdint>
#include <random>

std::u16string QEMNewGuid() {
  std::random_device rd;
  std::array<uint8_t, 16> b{};
  for (size_t i = 0; i < b.size(); i += 4) {
    const uint32_t r = rd();
    for (size_t k = 0; k < 4; ++k)
      b[i + k] = uint8_t(r >> (8 * k));
  }
  // Marked as a random GUID so that tools reading the version field take it as one.
  b[6] = uint8_t((b[6] & 0x0F) | 0x40);
  b[8] = uint8_t((b[8] & 0x3F) | 0x80);
  static constexpr char16_t Hex[] = u"0123456789ABCDEF";
  std::u16string s = u"{";
  for (size_t i = 0; i < b.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s += u'-';
    s += Hex[b[i] >> 4];
    s += Hex[b[i] & 0x0F];
  }
  s += u'}';
  return s;
}
