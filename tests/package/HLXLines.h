#pragma once
// A translator package for a line format of our own, used by the tests and the benchmark: each
// line `key = "text"` is one item (text with \" and \\ escapes); other lines are kept as they
// are. The notes of a translated file sit beside it, named after it with ".xlf" appended.
#include <memory>
#include <string>

#include "translator/QEMTranslator.h"

namespace hlxtest {

class TLinesNotesFile : public TQEMCustomNotesFile {
public:
  static std::u16string ClassExts() { return u".xlf"; }
  std::u16string GetExts() const override { return ClassExts(); }
  std::u16string GetDataType() override { return u"x-hlx-lines"; }
};

// One parsed line: the text between the quotes is Text (unescaped); Begin and End delimit the
// escaped text in the line.
struct TLine {
  std::u16string Key;
  std::u16string Text;
  size_t Begin = 0;
  size_t End = 0;
};
bool ParseLine(const std::u16string& Line, TLine& Result);
std::u16string EscapeText(const std::u16string& Text);

class TLinesMgrClass : public TQEMTranslatorMgrClass {
public:
  std::unique_ptr<TQEMTranslatorMgr> Create(const std::u16string& AFileName,
                                            bool PerformCheck) const override;
  const TQEMBaseNotesFileClass& GetNotesClass() const override;
  std::u16string FileNameToNoteName(const std::u16string& AFileName) const override {
    return AFileName + u".xlf";
  }
};
const TLinesMgrClass& LinesMgrClass();

class TLinesMgr : public TQEMTranslatorMgr {
public:
  TLinesMgr(const TQEMTranslatorMgrClass& AClass, const std::u16string& AFileName,
            bool PerformCheck);
  void Reload() override;
  void CheckStats() override;
  void EggBuild() override;
  void MakeDictionary(TStringList& SL) override;
  void Purge() override;
  void Save(bool CreateXlat, LCID AOrigLCID, LCID AXlatLCID, bool IgnoreOrigDateOfFile) override;
};

// Rewrites every item line of a translated file with the translation of the item of that key
// (items of one key taken in notes order).
class TLinesWriter : public IQEMXlatWriter {
public:
  void WriteFromNotesFileName(const std::u16string& NotesName, const std::u16string& XlatName,
                              LCID XlatLCID, int32_t Reserved) override;
  void WriteFromNotes(IQEMNotesFile& Notes, const std::u16string& XlatName, LCID XlatLCID,
                      int32_t Reserved) override;
};

class TLinesUpdater : public TQEMCustomUpdater {
public:
  explicit TLinesUpdater(const TQEMTranslatorMgrClass& AMgrClass = LinesMgrClass())
      : TQEMCustomUpdater(AMgrClass) {}
  // UTF-8 (a byte-order mark is skipped); a map file (".orc") without one is in the code page
  // of the original language, and the writer keeps a file's encoding.
  bool ReadFileStrings(const std::u16string& FileName) override;
  bool GetProjectFiles(const std::u16string&) override { return false; }
  IQEMXlatWriterPtr CreateXlatWriter() override { return std::make_shared<TLinesWriter>(); }
};

class TLinesTranslator : public TQEMTranslator {
public:
  const TQEMTranslatorMgrClass& GetMgrClass() override { return LinesMgrClass(); }
  TQEMTranslatorForm* GetForm() override { return nullptr; }
};

class TLinesFileType : public TQEMBaseFileType {
public:
  TLinesFileType(TQEMTranslator* ATranslator, void* Instance, IQEMTranslatorUpdaterPtr AUpdater,
                 const std::u16string& AExt = u".lines;.lns")
      : TQEMBaseFileType(u"HLXLines", AExt, u"Line files", ATranslator, Instance,
                         std::move(AUpdater)) {}
  std::u16string GetPackageVersion() override { return u"1.0"; }
  bool AcceptsFile(const std::u16string&) override { return true; }
  TFileStats GetStats(const std::u16string& AFileName, bool PerformCheck) override;
};

} // namespace hlxtest
