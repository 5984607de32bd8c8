// Any text through the parsers of the default packages (forms, resource scripts, resource-string
// maps): a clear refusal or items whose spans lie inside the text, in order, and hold the
// literal the item keeps. The first byte picks the format; a fourth is the binary form reader,
// whose text must parse and write back to the same bytes (through its layout) and to a binary
// that reads back to the same text (without it).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "OFMBinary.h"
#include "OFMFormat.h"
#include "QEMRcFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzDir();
  if (Size == 0) return 0;
  static TOFMFormat form(u"Translators\\Form");
  static TQEMRcFormat script(false), map(true);
  if (Data[0] % 4 == 3) {
    const std::string_view bytes(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    TOFMBinaryLayout layout;
    std::u16string text;
    try {
      text = OFMBinaryToText(u"fuzz.ofm", bytes, 1252, &layout);
    } catch (const EQEMError&) {
      return 0;
    }
    std::vector<TQEMLiteralItem> items;
    form.Parse(u"fuzz.ofm", text, items);
    if (OFMTextToBinary(u"fuzz.ofm", text, 1252, &layout) != bytes) __builtin_trap();
    const std::string plain = OFMTextToBinary(u"fuzz.ofm", text, 1252);
    if (OFMBinaryToText(u"fuzz.ofm", plain, 1252) != text) __builtin_trap();
    return 0;
  }
  TQEMLiteralFormat* formats[] = {&form, &script, &map};
  TQEMLiteralFormat& format = *formats[Data[0] % 4];
  const std::u16string text =
      UTF8ToUTF16(std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
  std::vector<TQEMLiteralItem> items;
  try {
    format.Parse(u"fuzz.src", text, items);
  } catch (const EQEMError&) {
    return 0;
  }
  size_t last = 0;
  for (const auto& item : items) {
    if (item.Begin > item.End || item.End > text.size() || item.Begin < last) __builtin_trap();
    last = item.End;
    if (item.ID.empty()) __builtin_trap();
    std::u16string literal;
    // Writing an item back must never fail on its own value.
    format.OutputLiteral(item.Value, 65001, literal);
  }
  return 0;
}
