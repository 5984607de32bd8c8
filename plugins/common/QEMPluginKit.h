#pragma once
// What the default translator packages share. A source file is text in which some literals are
// items; a package supplies only the format (how to find the items and how to write a literal),
// the kit supplies the notes class, manager, updater, writer and file type around it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qem.h"

// The entry points a package exports (QEMPackageInitialize, QEMPackageFinalize,
// QEMPackageResource). The kit declares the package's contract version itself.
#define QEM_KIT_EXPORT QEM_PACKAGE_EXPORT

// One item found in a source file.
struct TQEMLiteralItem {
  std::u16string ID;      // stable across edits elsewhere in the file
  std::u16string ResName; // the resource (form, string table, menu, dialog) it belongs to
  std::u16string Value;   // the literal as the notes keep it, in the format's literal syntax
  size_t Begin = 0;       // UTF-16 span of the literal in the decoded text
  size_t End = 0;
  // Not an item (a name, not text): written back as it stands, with character codes only where
  // the target code page cannot hold it.
  bool Fixed = false;
  // The identifier an earlier version of the package gave the item, when it differs: notes kept
  // under it are taken over (TQEMStringPairList::GetFormerID).
  std::u16string FormerID;
};

// A file format of a package.
class TQEMLiteralFormat {
public:
  virtual ~TQEMLiteralFormat() = default;
  // The items of a decoded file, in file order. Raises EQEMError naming FileName for input it
  // cannot read (the file is then left untouched).
  virtual void Parse(const std::u16string& FileName, const std::u16string& Text,
                     std::vector<TQEMLiteralItem>& Items) = 0;
  // The literal to write for Value (notes form) in a file of code page CodePage; every
  // character the code page cannot hold must survive (a character code in the literal, or
  // false when only a UTF-8 file can hold it).
  virtual bool OutputLiteral(const std::u16string& Value, uint32_t CodePage,
                             std::u16string& Literal) = 0;
  // Whole-file changes for the target language (language statements, code-page pragma). Utf8:
  // the file is written as UTF-8 (CodePage is then 65001).
  virtual void AdjustForTarget(std::u16string& /*Text*/, LCID /*XlatLCID*/, uint32_t /*CodePage*/,
                               bool /*Utf8*/) {}
  // Literal syntax <-> raw text, for the repository and the validation.
  virtual std::u16string ToRaw(const std::u16string& Literal) = 0;
  virtual std::u16string FromRaw(const std::u16string& Raw) = 0;

  // Optional hooks (defaults suit most formats).
  // Looks at the undecoded file before anything else: raises EQEMError naming FileName for a
  // file of the type's extension that the format cannot read (a binary form, say).
  virtual void CheckBytes(const std::u16string& /*FileName*/, std::string_view /*Bytes*/) {}
  // Whether the file type takes a file with these first bytes (IQEMFileType::AcceptsFile).
  virtual bool AcceptsContent(std::string_view /*Head*/) { return true; }
  // Whether a translation may be written: an invalid one leaves the source literal in place.
  virtual bool IsValidLiteral(const std::u16string& /*Literal*/) { return true; }
  // Whether the whole file may become UTF-8 when its text outside the literals does not fit
  // the target code page; without it such a file is refused.
  virtual bool Utf8Allowed() { return true; }
  // The literal as written at Column (UTF-16 units after its line's start) of a line indented
  // by Indent, in a file whose lines end with NewLine. A format whose reader limits line
  // length splits long literals here as its syntax allows.
  virtual std::u16string WrapLiteral(std::u16string Literal, size_t /*Column*/,
                                     std::u16string_view /*NewLine*/,
                                     std::u16string_view /*Indent*/) {
    return Literal;
  }
};
using TQEMLiteralFormatPtr = std::shared_ptr<TQEMLiteralFormat>;

// ---- text of files ----

// The code page a file of language Locale is read or written in: its ANSI code page, else the
// system's.
uint32_t QEMKitCodePage(LCID Locale);
// Decodes a file's bytes: UTF-8 when they start with a byte-order mark (Utf8 true), else ANSI
// of CodePage. Raises EQEMError naming the file and line for bytes invalid in that encoding.
std::u16string QEMKitDecode(const std::u16string& FileName, std::string_view Bytes,
                            uint32_t CodePage, bool& Utf8);
// Whether Text survives a trip through CodePage unchanged.
bool QEMKitFits(std::u16string_view Text, uint32_t CodePage);
std::string QEMKitReadFile(const std::u16string& FileName);
// The 1-based line of a position in Text.
int QEMKitLineOf(const std::u16string& Text, size_t Pos);
// An error of input the format cannot read: "<file>(<line>): <what>".
EQEMError QEMKitSyntaxError(const std::u16string& FileName, int Line, const std::u16string& What);

// ---- notes ----

// A notes file of a kit package; Traits gives the XLIFF datatype (`static constexpr const
// char16_t* DataType`). Register it through TQEMNotesFileClassOf<TQEMKitNotesFile<Traits>>.
template <class Traits> class TQEMKitNotesFile : public TQEMCustomNotesFile {
public:
  static std::u16string ClassExts() { return u".xlf"; }
  std::u16string GetExts() const override { return ClassExts(); }
  std::u16string GetDataType() override { return Traits::DataType; }
};

// ---- what one file type of a package is ----
struct TQEMKitTypeInfo {
  std::u16string Name; // the kind stored in projects
  std::u16string Exts; // ".a;.b"
  std::u16string Desc;
  std::u16string EggKind; // the file kind name of the egg patterns ("<Status>.<EggKind>")
  std::u16string SubKey;  // below the base registry key; the type's settings live there
  std::u16string Version; // the package version text
};

class TQEMKitMgrClass : public TQEMTranslatorMgrClass {
public:
  TQEMKitMgrClass(TQEMLiteralFormatPtr AFormat, const TQEMBaseNotesFileClass& ANotesClass,
                  TQEMKitTypeInfo AInfo);
  std::unique_ptr<TQEMTranslatorMgr> Create(const std::u16string& AFileName,
                                            bool PerformCheck) const override;
  const TQEMBaseNotesFileClass& GetNotesClass() const override { return FNotesClass; }
  std::u16string ConvertFromRawString(const std::u16string& S) const override {
    return FFormat->FromRaw(S);
  }
  std::u16string ConvertToRawString(const std::u16string& S) const override {
    return FFormat->ToRaw(S);
  }
  std::u16string FileNameToNoteName(const std::u16string& AFileName) const override {
    return AFileName + u".xlf";
  }

  TQEMLiteralFormat& Format() const { return *FFormat; }
  const TQEMKitTypeInfo& Info() const { return FInfo; }
  // Rewrites the decoded-and-parsed source Bytes (file SourceName) with the translations of
  // Notes for language XlatLCID: the bytes to write as the translated file.
  std::string Translate(IQEMNotesFile& Notes, const std::u16string& SourceName,
                        std::string_view Bytes, LCID XlatLCID) const;

private:
  TQEMLiteralFormatPtr FFormat;
  const TQEMBaseNotesFileClass& FNotesClass;
  TQEMKitTypeInfo FInfo;
};

class TQEMKitMgr : public TQEMTranslatorMgr {
public:
  TQEMKitMgr(const TQEMKitMgrClass& AClass, const std::u16string& AFileName, bool PerformCheck);
  void Reload() override;
  void CheckStats() override;
  void EggBuild() override;
  // Adds "original=translation" (literal form, one line each) for every item in use.
  void MakeDictionary(TStringList& SL) override;
  void Purge() override;
  void RecreateXlat() override;
  void Save(bool CreateXlat, LCID AOrigLCID, LCID AXlatLCID, bool IgnoreOrigDateOfFile) override;

private:
  // The source file the project names for this translated file; empty when none does.
  std::u16string SourceFile() const;
  void WriteXlat();
  void DoEggBuild();
  const TQEMKitMgrClass& FKitClass;
};

class TQEMKitUpdater : public TQEMCustomUpdater {
public:
  explicit TQEMKitUpdater(const TQEMKitMgrClass& AMgrClass);
  ~TQEMKitUpdater() override;
  bool ReadFileStrings(const std::u16string& FileName) override;
  IQEMXlatWriterPtr CreateXlatWriter() override;
  bool GetProjectFiles(const std::u16string&) override { return false; }
  void AddString(const IQEMNotesItemPtr& Item) override;
  bool UpdateFile(TStats& AStats) override;

  // A source as read and merged, kept until its translated copy is written from it.
  struct TSourceRead;
  // What was kept of FileName, handed over; null when the last file read was another.
  std::unique_ptr<TSourceRead> TakeSourceRead(const std::u16string& FileName);
  void ForgetSourceRead();

private:
  const TQEMKitMgrClass& FKitClass;
  std::unique_ptr<TSourceRead> FRead;
};

class TQEMKitTranslator : public TQEMTranslator {
public:
  explicit TQEMKitTranslator(const TQEMKitMgrClass& AMgrClass) : FMgrClass(AMgrClass) {}
  const TQEMTranslatorMgrClass& GetMgrClass() override { return FMgrClass; }
  TQEMTranslatorForm* GetForm() override { return nullptr; } // the editor window comes with the GUI

private:
  const TQEMKitMgrClass& FMgrClass;
};

class TQEMKitFileType : public TQEMBaseFileType {
public:
  TQEMKitFileType(const TQEMKitMgrClass& AMgrClass, TQEMKitTranslator* ATranslator, void* Instance,
                  IQEMTranslatorUpdaterPtr AUpdater);
  std::u16string GetPackageVersion() override { return FMgrClass.Info().Version; }
  bool AcceptsFile(const std::u16string& FileName) override;
  TFileStats GetStats(const std::u16string& AFileName, bool PerformCheck) override;

private:
  const TQEMKitMgrClass& FMgrClass;
};

// What a package keeps from QEMPackageInitialize to QEMPackageFinalize: per file type its
// manager class, translator, updater and registered type.
class TQEMKitPackage {
public:
  ~TQEMKitPackage();
  void AddType(void* Module, TQEMLiteralFormatPtr Format, const TQEMBaseNotesFileClass& NotesClass,
               const TQEMKitTypeInfo& Info);
  // Unregisters the types, last first; managers of the package must be gone by then.
  void RemoveTypes();

private:
  struct TEntry {
    std::unique_ptr<TQEMKitMgrClass> MgrClass;
    std::unique_ptr<TQEMKitTranslator> Translator;
    IQEMFileTypePtr FileType;
  };
  std::vector<TEntry> FEntries;
};

// The registry key of a type's settings: the base key and SubKey.
std::u16string QEMKitSettingsKey(const std::u16string& SubKey);

// ---- files that are more than text in one code page ----

// What a format keeps of a source file between reading it and writing its translated copy.
class TQEMKitFileData {
public:
  virtual ~TQEMKitFileData() = default;
};
// How a source file was read, so that its translated copy is written the same way.
struct TQEMKitFileForm {
  bool Utf8 = false; // the text is UTF-8: every character fits
  bool Bom = true;   // a UTF-8 copy starts with a byte-order mark
  std::shared_ptr<TQEMKitFileData> Data;
};
// A format whose files are not always text in their language's code page (UTF-8 without a
// mark, binary data) reads and writes their bytes itself.
class IQEMKitFileCodec {
public:
  virtual ~IQEMKitFileCodec() = default;
  // Raises EQEMError naming FileName for bytes it cannot read.
  virtual std::u16string DecodeFile(const std::u16string& FileName, std::string_view Bytes,
                                    uint32_t CodePage, TQEMKitFileForm& Form) = 0;
  // The bytes of the translated copy; CodePage: the target language's.
  virtual std::string EncodeFile(const std::u16string& FileName, const std::u16string& Text,
                                 uint32_t CodePage, const TQEMKitFileForm& Form) = 0;
};
// Through the format's codec when it has one, else QEMKitDecode and the code page (UTF-8 with a
// byte-order mark when Form.Utf8).
std::u16string QEMKitDecodeFile(TQEMLiteralFormat& Format, const std::u16string& FileName,
                                std::string_view Bytes, uint32_t CodePage, TQEMKitFileForm& Form);
std::string QEMKitEncodeFile(TQEMLiteralFormat& Format, const std::u16string& FileName,
                             const std::u16string& Text, uint32_t CodePage,
                             const TQEMKitFileForm& Form);

// ---- translated files written from the parse of their source ----

// Where the positions of a parsed text went when some of its literals were rewritten.
class TQEMKitMoves {
public:
  // The literal at [Begin, End) of the parsed text now ends at NewEnd; added in text order.
  void Add(size_t Begin, size_t End, size_t NewEnd) { FSpans.push_back({Begin, End, NewEnd}); }
  // Pos in the rewritten text; npos for a position inside a rewritten literal.
  size_t Map(size_t Pos) const;

private:
  struct TSpan {
    size_t Begin, End, NewEnd;
  };
  std::vector<TSpan> FSpans;
};

// A format whose target changes (AdjustForTarget) follow from its parse of the source keeps
// what they need of that parse, so the translated text is adjusted without being parsed again.
class IQEMKitParsedTarget {
public:
  virtual ~IQEMKitParsedTarget() = default;
  // What the last Parse found that AdjustParsed needs.
  virtual std::shared_ptr<TQEMKitFileData> TakeParse() = 0;
  // AdjustForTarget of Text, the text Parse read with literals rewritten as Moves says; false
  // (Text untouched) when the parse does not carry over, and AdjustForTarget has to parse.
  virtual bool AdjustParsed(std::u16string& Text, const TQEMKitFileData& Parse,
                            const TQEMKitMoves& Moves, LCID XlatLCID, uint32_t CodePage,
                            bool Utf8) = 0;
  // Whether AdjustParsed leaves the text of this parse as it is, whatever the target, when it
  // is written in a code page (not UTF-8) with no literal rewritten; false when unsure.
  virtual bool LeavesParsed(const TQEMKitFileData& /*Parse*/) { return false; }
};

// ---- files with sections for several languages ----

// A format whose files hold text for several languages learns, before a file is parsed or
// written, the language its text is in (0: unknown) and the name to show for it (the source,
// not a temporary copy), and takes only that language's part.
class IQEMKitFileLanguage {
public:
  virtual ~IQEMKitFileLanguage() = default;
  virtual void SetFileLanguage(const std::u16string& FileName, LCID Locale) = 0;
};
void QEMKitSetFileLanguage(TQEMLiteralFormat& Format, const std::u16string& FileName, LCID Locale);
