#pragma once
// File names, temporary files, backup names, path normalisation and file dates.
#include <string>

#include "platform/QEMClasses.h"
#include "platform/QEMDateTime.h"

// A string list that compares its entries as file names: by the platform's rule, which on
// Linux is case-sensitive, with "\" and "/" taken as the same delimiter.
class QEM_API TQEMFileNameList : public TStringList {
public:
  using TStringList::TStringList;

protected:
  int CompareStrings(std::u16string_view A, std::u16string_view B) const override;
};

// Names of temporary files, deleted from the last to the first when the list is destroyed.
// Only files inside the process's private temporary folder are deleted then: a name that
// points elsewhere is never removed by the sweep.
class QEM_API TQEMTempFileList : public TQEMFileNameList {
public:
  ~TQEMTempFileList() override;
};

QEM_API TQEMTempFileList* QEMTempFiles();
QEM_API void QEMAddTempFile(const std::u16string& Name);
QEM_API void QEMRemoveTempFile(const std::u16string& Name, bool Delete);
// A new, empty, private temporary file, already on the list.
QEM_API std::u16string QEMNewTempFile(const std::u16string& Prefix, const std::u16string& Ext);
// Generic names are not exported bare (see platform/QEMSysUtils.h).
namespace qem {
// The process's private temporary folder, with trailing delimiter.
QEM_API std::u16string GetTempDir();

QEM_API std::u16string QEMMakeBackupFileName(const std::u16string& FileName);
QEM_API std::u16string FormatPath(const std::u16string& S);
// Resolves "." and ".." lexically; delimiters become "/". A ".." never climbs above a root or
// drive, nor cancels another "..".
QEM_API std::u16string QEMNormalizePath(const std::u16string& Path);
// Whether A and B name the same file: whole paths, extension included, compared after
// normalising (case-sensitive, as the platform's file names are).
QEM_API bool QEMSameFileName(const std::u16string& A, const std::u16string& B);
QEM_API std::u16string AbsoluteFileName(const std::u16string& Root, const std::u16string& Base,
                                        const std::u16string& FileName);

QEM_API TDateTime DateOfFile(const std::u16string& FileName);
} // namespace qem
using qem::AbsoluteFileName;
using qem::DateOfFile;
using qem::FormatPath;
using qem::GetTempDir;
using qem::QEMMakeBackupFileName;
using qem::QEMNormalizePath;
using qem::QEMSameFileName;
QEM_API TDateTime QEMGetFileDate(const std::u16string& FileName);
QEM_API void QEMSetFileDate(const std::u16string& FileName, TDateTime Date);

QEM_API void QEMUtilsInitialize();
QEM_API void QEMUtilsFinalize();
