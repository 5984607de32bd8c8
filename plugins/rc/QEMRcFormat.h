#pragma once
// Resource scripts and resource-string maps as literal formats of the plug-in kit.
//
// Items of a resource script and their identifiers:
//   STRINGTABLE entries      STRINGTABLE.<string id as written>      (IDS_HELLO, 101, IDS_X+1)
//   DIALOG/DIALOGEX caption  <dialog>.Caption
//   dialog control texts     <dialog>.<control id>                   (IDOK, IDC_NAME)
//   MENU/MENUEX items        <menu>.<item id>                        (ID_FILE_OPEN)
//   VERSIONINFO strings      <resource>.<value name>                 (VS_VERSION_INFO.ProductName)
// A control or menu entry whose id is IDC_STATIC, -1 (0 in a MENUEX), missing, or shared with
// another entry of its resource is known by position instead: "@<n>" counts only such entries
// (menus per popup, below the popup's own identifier), so inserting a control with an id moves
// no key. An id written as a number is keyed "#<number>". Each of these items also carries the
// key the package used to give it (every control, popup and menu item counted), so notes written
// that way keep their translations (TQEMLiteralItem::FormerID).
// FileVersion, ProductVersion, OriginalFilename and InternalName are no text for people and stay
// as they are. A resource-string map identifies its string-table entries by symbolic name alone:
// a number written in place of the name is looked up among the "#define NAME number" lines, so
// renumbering keeps the identifiers. Empty literals are no items. An identifier met again gets
// "~2", "~3", ... appended.
//
// A script with several LANGUAGE sections offers only the resources of the file's language
// (SetFileLanguage: the same language, else the same primary language, else the neutral one,
// else the first met); a resource with a LANGUAGE statement of its own is of that language, and
// resources before any LANGUAGE statement belong to every language. The translated copy leaves
// the other languages' resources and LANGUAGE statements out (preprocessor lines stay) and says
// so in one line of the log; neutral resources (LANG_NEUTRAL) that are not offered stay as they
// are, since they serve every language.
//
// Literals keep the resource compiler's syntax: "" is a quote, backslash escapes as in C with at
// most 3 octal or 4 hexadecimal digits, an L prefix, and adjacent literals joined. A line break
// inside a literal is refused, so a missing quote is reported on its own line. The reader takes
// lines of any length, so the writer puts a literal on one line however long it is.
//
// For the target language every LANGUAGE statement of the offered language is written as
// "LANGUAGE 0xPP, 0xSS", the primary and sublanguage of the target LCID in hexadecimal (symbolic
// names would need a header the script may not include); the offered VERSIONINFO string block is
// renamed for the target language (and for its ANSI code page unless the block names Unicode or
// none) and the matching "Translation" pair follows. Every "#pragma code_page(...)" names the
// target code page, or 65001 when the file is written as UTF-8; a UTF-8 file without a pragma
// before its first literal gets one as its first line. A UTF-16 script stays UTF-16 and its pragmas
// stay as they are. A UTF-8 script (code_page 65001) without a byte-order mark is refused: it would
// be read in an ANSI code page and garbled.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QEMPluginKit.h"

class TQEMRcFormat : public TQEMLiteralFormat,
                     public IQEMKitFileCodec,
                     public IQEMKitFileLanguage,
                     public IQEMKitParsedTarget {
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
  void SetFileLanguage(const std::u16string& FileName, LCID Locale) override {
    FFileName = FileName;
    FLocale = Locale;
  }
  // UTF-16 with a byte-order mark (either order) besides what the kit reads; a UTF-16 file is
  // written back as UTF-16 in the same order.
  std::u16string DecodeFile(const std::u16string& FileName, std::string_view Bytes,
                            uint32_t CodePage, TQEMKitFileForm& Form) override;
  std::string EncodeFile(const std::u16string& FileName, const std::u16string& Text,
                         uint32_t CodePage, const TQEMKitFileForm& Form) override;

  // The structure of the script Parse read last (languages, resources, version blocks,
  // pragmas), for the target changes of its translated copy.
  std::shared_ptr<TQEMKitFileData> TakeParse() override { return std::move(FParsed); }
  bool AdjustParsed(std::u16string& Text, const TQEMKitFileData& Parse, const TQEMKitMoves& Moves,
                    LCID XlatLCID, uint32_t CodePage, bool Utf8) override;
  // A script without LANGUAGE statements, version blocks and code-page pragmas.
  bool LeavesParsed(const TQEMKitFileData& Parse) override;

  bool IsStringMap() const { return FStringMap; }

private:
  bool FStringMap;
  std::shared_ptr<TQEMKitFileData> FParsed;
  std::u16string FFileName; // named in the log line about left-out languages
  LCID FLocale = 0;
  uint32_t FUtf16 = 0; // the file last decoded is UTF-16: 1200 little-, 1201 big-endian
};

// The literal codec on its own. RcLiteralToRaw gives false (and leaves Raw undefined) for text
// that is not one or more literals separated by blanks.
bool RcLiteralToRaw(std::u16string_view Literal, std::u16string& Raw);
std::u16string RawToRcLiteral(std::u16string_view Raw);
