#pragma once
// Binary forms: the object stream a form is saved in ("TPF0", then the root object with its
// properties and children), read into the text form the format parses and written back from it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QEMPluginKit.h"

// What the text form does not say about a binary form: the exact type and bytes of every value
// and object prefix, in the order the text gives them, and the resource header around the
// stream. With it an unchanged text is written back byte for byte.
struct TOFMBinaryLayout : TQEMKitFileData {
  static constexpr int kHeader = -1; // the unit of an object's prefix
  struct TUnit {
    int Kind = 0;        // the value type, or kHeader
    std::u16string Text; // the value as the text gives it; raw text for strings
    std::string Bytes;   // the bytes read for it
  };
  std::string ResHeader; // before the stream; empty when none
  uint32_t CodePage = 0; // the strings stored as bytes were read in
  std::vector<TUnit> Units;
};

// Whether the bytes are a binary form (the stream, or the stream in a resource header).
bool OFMIsBinaryForm(std::string_view Bytes);
// The text form of a binary form; strings stored as bytes are read in CodePage (65001: UTF-8).
// Raises EQEMError naming FileName and the byte for damaged data. Fills Layout when given.
std::u16string OFMBinaryToText(const std::u16string& FileName, std::string_view Bytes,
                               uint32_t CodePage, TOFMBinaryLayout* Layout = nullptr);
// The binary form of a text form; strings stored as bytes are written in CodePage when it holds
// them, else as UTF-16. Values Layout knows keep their type and bytes; the others take the
// smallest integer type, and a float its suffix's type (s single, c currency, d date, none
// extended). Raises EQEMError naming FileName and the line for text it cannot read.
std::string OFMTextToBinary(const std::u16string& FileName, const std::u16string& Text,
                            uint32_t CodePage, const TOFMBinaryLayout* Layout = nullptr);
