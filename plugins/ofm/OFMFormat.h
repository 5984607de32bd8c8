#pragma once
// Text form files (.ofm, .xfm, .lfm): nested object/inherited/inline blocks of properties. Every
// string value is an item, identified by its component path and property path
// ("MainForm.Memo1.Lines.Strings[2]", "MainForm.Grid.Columns[0].Title.Caption"), except the
// properties of the exclusion list. Values are kept as Pascal literals.
#include <string>
#include <string_view>
#include <vector>

#include "QEMPluginKit.h"

// The default exclusion list: string properties that hold names or expressions, not text.
// Component and font names (Name, FontName; "Name" also covers Font.Name), data binding (DataField,
// KeyField, ListField, KeyFields, LookupKeyFields, LookupResultField, FieldName, IndexName,
// IndexFieldNames, MasterFields, TableName, DatabaseName, SessionName, DriverName, ProviderName,
// ConnectionString, CommandText, SQL, StoredProcName, Params) and other identifier-like values
// (ImeName, HelpKeyword, HelpFile, PasswordChar, StyleName, ImageName, DataSource, MasterSource)
// and the version stamp a form designer writes (LCLVersion). An entry names one property path
// segment or a dotted run of them ("Font.Name"), ignoring case and indexes. The string value
// "ExcludedProperties" (entries separated by ";") under the type's settings key replaces it.
// Non-string properties (Left, PixelsPerInch, DesignSize, ImageIndex, ...) are never items.
inline constexpr const char16_t* OFMDefaultExclusions =
    u"Name;FontName;DataField;KeyField;ListField;KeyFields;LookupKeyFields;LookupResultField;"
    u"FieldName;"
    u"IndexName;IndexFieldNames;MasterFields;TableName;DatabaseName;SessionName;DriverName;"
    u"ProviderName;"
    u"ConnectionString;CommandText;SQL;StoredProcName;Params;ImeName;HelpKeyword;HelpFile;"
    u"PasswordChar;StyleName;ImageName;DataSource;MasterSource;LCLVersion";
inline constexpr const char16_t* OFMExclusionValue = u"ExcludedProperties";
// The reader refuses a line longer than this (a guard against binary or runaway input), so the
// writer splits a literal that would make one into "'...' +" runs of at most OFMWrapWidth
// units per line, each on a line of its own.
inline constexpr size_t OFMMaxLine = 64 * 1024;
inline constexpr size_t OFMWrapWidth = 4096;
// Deeper nesting of objects, lists and collection items is refused, text or binary.
inline constexpr int OFMMaxDepth = 256;

inline bool OFMIsIdentStart(char16_t C) {
  return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z') || C == u'_' || C >= 0x80;
}
inline bool OFMIsIdentChar(char16_t C) {
  return OFMIsIdentStart(C) || (C >= u'0' && C <= u'9');
}
// Letters compared without case, ASCII only, as the form syntax does.
bool OFMSameWord(std::u16string_view A, std::u16string_view B);

// The text form's lexical layer, shared by the item parser and the binary writer: position,
// errors that name the file and line, blanks, identifiers and string values.
class TOFMTextScanner {
protected:
  TOFMTextScanner(const std::u16string& FileName, const std::u16string& Text)
      : FFile(FileName), T(Text) {}
  [[noreturn]] void Fail(std::u16string_view What) { FailAt(P, What); }
  [[noreturn]] void FailAt(size_t Pos, std::u16string_view What) const;
  static bool IsObjectWord(std::u16string_view W);
  bool AtEnd() const { return P >= T.size(); }
  char16_t Cur() const { return P < T.size() ? T[P] : u'\0'; }
  void SkipBlanks();
  void SkipSpaces();
  // Nothing but blanks up to the end of the line.
  void EndOfLine();
  std::u16string Ident();
  // A dotted name: Font.Style, Vcl.Forms.TForm.
  std::u16string DottedIdent();
  // Deeper nesting than OFMMaxDepth is refused.
  void Deeper(int Depth);
  // A string value at P: segments ('text', #13, #$0D) side by side, runs joined by "+" across
  // lines; the raw text. End: just past its last segment.
  std::u16string StringValue(size_t* End = nullptr);

  const std::u16string& FFile;
  const std::u16string& T;
  size_t P = 0;
};

// The literal the notes keep for raw text: printable runs quoted, control characters as codes.
std::u16string OFMLiteral(std::u16string_view Raw);
// A canonical literal as written at Column of a line indented by Indent: split into "'...' +"
// runs that keep every line within OFMWrapWidth.
std::u16string OFMWrapLiteral(std::u16string Literal, size_t Column, std::u16string_view NewLine,
                              std::u16string_view Indent);
// Whether a file of this name is a UTF-8 form whatever its first bytes (.lfm).
bool OFMIsUtf8Form(const std::u16string& FileName);

// Text forms are read in the base language's code page, UTF-8 forms (a byte-order mark, or
// .lfm) as UTF-8 and written back as such; binary forms are read as their text form and written
// back binary.
class TOFMFormat : public TQEMLiteralFormat, public IQEMKitFileCodec {
public:
  // SubKey: the type's settings key below the base key.
  explicit TOFMFormat(std::u16string SubKey) : FSubKey(std::move(SubKey)) {}
  void Parse(const std::u16string& FileName, const std::u16string& Text,
             std::vector<TQEMLiteralItem>& Items) override;
  bool OutputLiteral(const std::u16string& Value, uint32_t CodePage,
                     std::u16string& Literal) override;
  std::u16string ToRaw(const std::u16string& Literal) override { return PasStringToRaw(Literal); }
  std::u16string FromRaw(const std::u16string& Raw) override;
  bool AcceptsContent(std::string_view Head) override;
  bool IsValidLiteral(const std::u16string& Literal) override { return IsValidPasString(Literal); }
  bool Utf8Allowed() override { return false; } // character codes hold everything
  std::u16string WrapLiteral(std::u16string Literal, size_t Column, std::u16string_view NewLine,
                             std::u16string_view Indent) override;

  std::u16string DecodeFile(const std::u16string& FileName, std::string_view Bytes,
                            uint32_t CodePage, TQEMKitFileForm& Form) override;
  std::string EncodeFile(const std::u16string& FileName, const std::u16string& Text,
                         uint32_t CodePage, const TQEMKitFileForm& Form) override;

  // The exclusion list in force: the registry's, else the default.
  std::vector<std::u16string> Exclusions() const;

private:
  std::u16string FSubKey;
};
