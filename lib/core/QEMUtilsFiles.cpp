#include "core/QEMUtilsFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "platform/QEMFiles.h"

namespace {
std::unique_ptr<TQEMTempFileList> gTempFiles;

bool CanOpen(const std::u16string& FileName, int Mode) {
  const int fd = open(QEMNativePath(FileName).c_str(), Mode | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}
} // namespace

int TQEMFileNameList::CompareStrings(std::u16string_view A, std::u16string_view B) const {
  const std::u16string a = QEMSlashes(A), b = QEMSlashes(B);
  return a < b ? -1 : (a == b ? 0 : 1);
}

TQEMTempFileList::~TQEMTempFileList() {
  for (int i = Count() - 1; i >= 0; --i) {
    if (QEMInPrivateTempDir(Get(i))) DeleteFile(Get(i)); // failures are ignored
    Delete(i);
  }
}

TQEMTempFileList* QEMTempFiles() {
  return gTempFiles.get();
}

void QEMAddTempFile(const std::u16string& Name) {
  if (gTempFiles) gTempFiles->Add(Name);
}

void QEMRemoveTempFile(const std::u16string& Name, bool Delete) {
  if (!gTempFiles) return;
  const int i = gTempFiles->IndexOf(Name);
  if (i < 0) return;
  if (Delete && FileExists(Name)) DeleteFile(Name);
  gTempFiles->Delete(i);
}

std::u16string QEMNewTempFile(const std::u16string& Prefix, const std::u16string& Ext) {
  std::u16string name = QEMCreateTempFile(Prefix, Ext);
  QEMAddTempFile(name);
  return name;
}

namespace qem {
std::u16string GetTempDir() {
  return QEMPrivateTempDir();
}

std::u16string QEMMakeBackupFileName(const std::u16string& FileName) {
  const std::u16string ext = ExtractFileExt(FileName);
  return ChangeFileExt(FileName, u".~" + (ext.empty() ? ext : ext.substr(1)));
}

std::u16string FormatPath(const std::u16string& S) {
  if (S.empty()) return u"./";
  // Stored Windows forms lose their leading backslashes; a POSIX root stays.
  size_t skip = 0;
  while (skip < S.size() && S[skip] == u'\\')
    ++skip;
  if (skip == S.size()) return u"./";
  return IncludeTrailingPathDelimiter(QEMSlashes(S.substr(skip)));
}

namespace {
// Only back slashes and "." or ".." components change a path; most paths have neither.
bool IsNormal(const std::u16string& Path) {
  size_t start = 0;
  for (size_t i = 0; i <= Path.size(); ++i) {
    if (i < Path.size() && Path[i] == u'\\') return false;
    if (i < Path.size() && Path[i] != u'/') continue;
    const size_t n = i - start;
    if ((n == 1 || n == 2) && Path[start] == u'.' && Path[i - 1] == u'.') return false;
    start = i + 1;
  }
  return true;
}
} // namespace

std::u16string QEMNormalizePath(const std::u16string& Path) {
  if (IsNormal(Path)) return Path;
  std::vector<std::u16string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= Path.size(); ++i) {
    if (i == Path.size() || QEMIsPathDelimiter(Path[i])) {
      parts.emplace_back(Path.substr(start, i - start));
      start = i + 1;
    }
  }
  std::vector<std::u16string> out;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::u16string& p = parts[i];
    if (p == u".") continue;
    if (p == u"..") {
      if (!out.empty()) {
        const std::u16string& prev = out.back();
        const bool isRoot =
            out.size() == 1 && (prev.empty() || (prev.size() == 2 && prev[1] == u':'));
        if (isRoot && prev.empty()) continue; // "/.." is "/"
        if (!isRoot && prev != u".." && !(out.size() > 1 && prev.empty())) {
          out.pop_back();
          continue;
        }
      }
    }
    out.push_back(p);
  }
  if (out.size() == 1 && out[0].empty() && !Path.empty()) return u"/";
  std::u16string r;
  for (size_t i = 0; i < out.size(); ++i) {
    if (i) r.push_back(u'/');
    r += out[i];
  }
  return r;
}

std::u16string AbsoluteFileName(const std::u16string& Root, const std::u16string& Base,
                                const std::u16string& FileName) {
  std::u16string r = FileName;
  if (!QEMHasDrive(r)) {
    r = FormatPath(Base) + r;
    if (!QEMHasDrive(r)) r = FormatPath(Root) + r;
  }
  return QEMNormalizePath(r);
}

bool QEMSameFileName(const std::u16string& A, const std::u16string& B) {
  return A == B || QEMNormalizePath(A) == QEMNormalizePath(B);
}

TDateTime DateOfFile(const std::u16string& FileName) {
  timespec t{};
  if (!QEMGetFileTime(FileName, t)) return 0;
  return QEMFileDateResolution(QEMFileTimeToLocal(t));
}
} // namespace qem

TDateTime QEMGetFileDate(const std::u16string& FileName) {
  timespec t{};
  if (!CanOpen(FileName, O_RDONLY) || !QEMGetFileTime(FileName, t)) return 0;
  return QEMFileTimeToLocal(t);
}

void QEMSetFileDate(const std::u16string& FileName, TDateTime Date) {
  if (!FileExists(FileName) || !CanOpen(FileName, O_WRONLY)) return;
  QEMSetFileTime(FileName, QEMLocalToFileTime(Date));
}

void QEMUtilsInitialize() {
  gTempFiles = std::make_unique<TQEMTempFileList>();
}

void QEMUtilsFinalize() {
  gTempFiles.reset();
  QEMRemovePrivateTempDir();
}
