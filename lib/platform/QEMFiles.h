#pragma once
// Files and paths. Paths are UTF-16 text; stored paths may use "\" or "/", readers accept both
// and results use "/". An absolute POSIX path plays the part of a path with a drive; "X:"
// prefixes are still recognised so that stored Windows paths keep working.
#include <cstdint>
#include <ctime>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "platform/QEMSysUtils.h"

inline bool QEMIsPathDelimiter(char16_t C) {
  return C == u'/' || C == u'\\';
}

// "\" becomes "/".
QEM_API std::u16string QEMSlashes(std::u16string_view Path);
// "/x", "\\server\share" and "X:..." carry their own root.
QEM_API bool QEMHasDrive(std::u16string_view Path);
// Generic names are not exported bare (see platform/QEMSysUtils.h).
namespace qem {
QEM_API std::u16string ExtractFilePath(std::u16string_view Path); // with trailing delimiter
QEM_API std::u16string ExtractFileName(std::u16string_view Path);
QEM_API std::u16string ExtractFileExt(std::u16string_view Path); // with its point
QEM_API std::u16string ChangeFileExt(std::u16string_view Path, std::u16string_view Ext);
QEM_API std::u16string IncludeTrailingPathDelimiter(std::u16string_view Path);
QEM_API std::u16string ExcludeTrailingPathDelimiter(std::u16string_view Path);

QEM_API std::string QEMNativePath(std::u16string_view Path); // UTF-8, "/" separators
QEM_API bool FileExists(std::u16string_view Path);           // a regular file
QEM_API bool DirectoryExists(std::u16string_view Path);
// Creates Path and its missing parents; false when that fails.
QEM_API bool ForceDirectories(std::u16string_view Path);
QEM_API bool DeleteFile(std::u16string_view Path); // never follows a symbolic link
} // namespace qem
using qem::ChangeFileExt;
using qem::DeleteFile;
using qem::DirectoryExists;
using qem::ExcludeTrailingPathDelimiter;
using qem::ExtractFileExt;
using qem::ExtractFileName;
using qem::ExtractFilePath;
using qem::FileExists;
using qem::ForceDirectories;
using qem::IncludeTrailingPathDelimiter;
using qem::QEMNativePath;
// The whole content of a file; false when it cannot be opened or read, errno telling why.
QEM_API bool QEMReadFileBytes(std::u16string_view FileName, std::string& Bytes);
// The same into a buffer that is not cleared first, for files of many megabytes read once.
struct TQEMFileBytes {
  operator std::string_view() const { return {FData.get(), FSize}; }
  std::unique_ptr<char[]> FData;
  size_t FSize = 0;
};
QEM_API bool QEMReadFileBytes(std::u16string_view FileName, TQEMFileBytes& Bytes);
QEM_API bool QEMGetFileTime(std::u16string_view Path, timespec& MTime);
QEM_API bool QEMSetFileTime(std::u16string_view Path, const timespec& MTime);
// The running executable (resolved through /proc), or empty text when unknown.
QEM_API std::u16string QEMExecutableFile();

// The process's own temporary folder (owner-only) below the platform's, created on first use,
// with trailing "/". Raises EQEMError when it cannot be made.
QEM_API std::u16string QEMPrivateTempDir();
QEM_API bool QEMHasPrivateTempDir();
// A new empty file in the private folder, created exclusively with owner-only permissions.
QEM_API std::u16string QEMCreateTempFile(std::u16string_view Prefix, std::u16string_view Ext);
// Temporary files beside a target are named ".~hlx<process id>-<6 letters or digits>.<name>".
// The first write into a folder in a process removes the ones whose writer is gone (a killed
// run): only plain files of this user named exactly so, never another file.
//
// A new empty file in Target's folder (so a rename can replace Target), created exclusively and
// never through a link, with Target's permissions or those a new file would get.
QEM_API std::u16string QEMCreateSiblingTempFile(std::u16string_view Target);
// Removes the temporary files of ours in Folder whose writer is gone; returns how many.
QEM_API int QEMRemoveLeftoverTempFiles(std::u16string_view Folder);
// The same, once per folder in this process (a run over a folder calls it before its work).
QEM_API void QEMRemoveLeftoverTempFilesOnce(std::u16string_view Folder);
// True when Path lies inside the private temporary folder.
QEM_API bool QEMInPrivateTempDir(std::u16string_view Path);
// Removes the private folder with what is left in it.
QEM_API void QEMRemovePrivateTempDir();

// Fills a temporary file of ours (from QEMCreateSiblingTempFile) with Data, without a flush:
// for a working copy that a later atomic save or a flushed rename makes final. With MTime the
// file carries that modification time. Raises EQEMError naming the file.
QEM_API void QEMWriteWorkingCopy(std::u16string_view FileName, std::string_view Data,
                                 const timespec* MTime = nullptr);
// Writes Data to FileName through a temporary file in the same folder and a rename, so a failed
// save leaves the previous file as it was and no temporary file behind. The file keeps its
// permissions; a symbolic link keeps pointing at it, as the target is what gets replaced. With
// MTime the file carries that modification time from the moment it appears. Raises EQEMError
// naming the file.
QEM_API void QEMSaveFileAtomically(std::u16string_view FileName, std::string_view Data,
                                   const timespec* MTime = nullptr);
// The same, with Write producing the content straight into the temporary file, so a large file
// is never held in memory whole. An exception from Write abandons the save.
QEM_API void QEMSaveFileAtomically(std::u16string_view FileName,
                                   const std::function<void(std::ostream&)>& Write,
                                   const timespec* MTime = nullptr);
