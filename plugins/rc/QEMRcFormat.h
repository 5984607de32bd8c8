#pragma once
// Resource scripts and resource-string maps as literal formats of the plug-in kit.
//
// Items of a resource script and their identifiers:
//   STRINGTABLE entries      STRINGTABLE.<string id as written>      (IDS_HELLO, 101, IDS_X+1)
//   MENU/MENUEX items        <menu>.<position>[.<position>...]       popups and items counted
//                                                                     from 0, separators included
//   DIALOG/DIALOGEX caption  <dialog>.Caption
//   dialog control texts     <dialog>.<position of the control>      every control counts
// A resource-string map identifies its string-table entries by symbolic name alone: a number
// written in place of the name is looked up among the "#define NAME number" lines, so
// renumbering keeps the identifiers. Empty literals are no items. An identifier met again (the
// same resource in two language sections) gets "~2", "~3", ... appended.
//
// Literals keep the resource compiler's syntax: "" is a quote, backslash escapes as in C with at
// most 3 octal or 4 hexadecimal digits, an L prefix, and adjacent literals joined. A line break
// inside a literal is refused, so a missing quote is reported on its own line. The reader takes
// lines of any length, so the writer puts a literal on one line however long it is.
//
// For the target language every LANGUAGE statement is written as "LANGUAGE 0xPP, 0xSS", the
// primary and sublanguage of the target LCID in hexadecimal (symbolic names would need a header
// the script may not include), and every "#pragma code_page(...)" names the target code page,
// or 65001 when the file is written as UTF-8; a UTF-8 file without a pragma before its first
// literal gets one as its first line. A UTF-8 script (code_page 65001) without a byte-order mark
// is refused: it would be read in an ANSI code page and garbled.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QEMPluginKit.h"

class TQEMRcFormat : public TQEMLiteralFormat {
public:
  explicit TQEMRcFormat(bool StringMap = false) : FStringMap(StringMap) {}

  void Parse(const std::u16string& FileName, const std::u16string& Text,
             std::vector<TQEMLiteralItem>& Items) override;
  bool OutputLiteral(const std::u16string& Value, uint32_t CodePage,
                     std::u16string& Literal) override;
  void AdjustForTarget(std::u16string& Text, LCID XlatLCID, uint32_t CodePage, bool Utf8) override;
  std::u16string ToRaw(const std::u16string& Literal) override;
  std::u16string FromRaw(const std::u16string& Raw) override;
  void CheckBytes(const std::u16string& FileName, std::string_view Bytes) override;
  bool IsValidLiteral(const std::u16string& Literal) override;

  bool IsStringMap() const { return FStringMap; }

private:
  bool FStringMap;
};

// The literal codec on its own. RcLiteralToRaw gives false (and leaves Raw undefined) for text
// that is not one or more literals separated by blanks.
bool RcLiteralToRaw(std::u16string_view Literal, std::u16string& Raw);
std::u16string RawToRcLiteral(std::u16string_view Raw);
