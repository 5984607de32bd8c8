#include "core/QEMUtilsFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
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
bool IsNormal(std::u16string_view Path) {
  // Without a back slash and with no component starting with "." it is normal for sure. This
  // sweep has no early exit nor short-circuit and so vectorises.
  const char16_t* p = Path.data();
  const size_t size = Path.size();
  unsigned doubtful = size && (p[0] == u'.' || p[size - 1] == u'\\');
  for (size_t i = 0; i + 1 < size; ++i)
    doubtful |= unsigned(p[i] == u'\\') | (unsigned(p[i] == u'/') & unsigned(p[i + 1] == u'.'));
  if (!doubtful) return true;
  const auto dots = [&](size_t Start, size_t End) {
    const size_t n = End - Start;
    return (n == 1 || n == 2) && Path[Start] == u'.' && Path[End - 1] == u'.';
  };
  size_t start = 0;
  for (size_t i = 0; i < Path.size(); ++i) {
    const char16_t c = Path[i];
    if (c != u'/' && c != u'\\') continue;
    if (c == u'\\' || dots(start, i)) return false;
    start = i + 1;
  }
  return !dots(start, Path.size());
}

std::u16string NormalizeGeneral(const std::u16string& Path) {
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

// FormatPath(S) followed by Tail, built in one string.
std::u16string FormattedJoin(const std::u16string& S, std::u16string_view Tail) {
  size_t skip = 0;
  while (skip < S.size() && S[skip] == u'\\')
    ++skip;
  std::u16string r;
  r.reserve(S.size() - skip + 2 + Tail.size());
  if (skip == S.size()) {
    r.append(u"./");
  } else {
    r.append(S, skip);
    std::replace(r.begin(), r.end(), u'\\', u'/');
    if (r.back() != u'/') r.push_back(u'/');
  }
  r.append(Tail);
  return r;
}
} // namespace

std::u16string QEMNormalizePath(const std::u16string& Path) {
  return IsNormal(Path) ? Path : NormalizeGeneral(Path);
}

std::u16string AbsoluteFileName(const std::u16string& Root, const std::u16string& Base,
                                const std::u16string& FileName) {
  if (QEMHasDrive(FileName)) return QEMNormalizePath(FileName);
  std::u16string r = FormattedJoin(Base, FileName);
  if (!QEMHasDrive(r)) r = FormattedJoin(Root, r);
  if (IsNormal(r)) return r;
  return NormalizeGeneral(r);
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
