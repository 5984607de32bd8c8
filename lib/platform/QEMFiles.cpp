#include "platform/QEMFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <streambuf>
#include <vector>

#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"

namespace fs = std::filesystem;

namespace {
std::u16string gPrivateTempDir; // with trailing "/" once made

std::u16string ErrnoText(int err) {
  return UTF8ToUTF16(std::strerror(err));
}

size_t LastDelimiter(std::u16string_view Path) {
  const size_t p = Path.find_last_of(u"/\\");
  // "C:name" has its drive as the directory part.
  if (p == std::u16string_view::npos && Path.size() >= 2 && Path[1] == u':') return 1;
  return p;
}
} // namespace

std::u16string QEMSlashes(std::u16string_view Path) {
  std::u16string r(Path);
  for (auto& c : r)
    if (c == u'\\') c = u'/';
  return r;
}

bool QEMHasDrive(std::u16string_view Path) {
  if (Path.empty()) return false;
  if (Path[0] == u'/') return true;
  if (Path.size() >= 2 && Path[0] == u'\\' && Path[1] == u'\\') return true;
  return Path.size() >= 2 && Path[1] == u':' &&
         ((Path[0] >= u'A' && Path[0] <= u'Z') || (Path[0] >= u'a' && Path[0] <= u'z'));
}

std::u16string ExtractFilePath(std::u16string_view Path) {
  const size_t p = LastDelimiter(Path);
  return p == std::u16string_view::npos ? std::u16string() : std::u16string(Path.substr(0, p + 1));
}

std::u16string ExtractFileName(std::u16string_view Path) {
  const size_t p = LastDelimiter(Path);
  return std::u16string(p == std::u16string_view::npos ? Path : Path.substr(p + 1));
}

std::u16string ExtractFileExt(std::u16string_view Path) {
  const std::u16string name = ExtractFileName(Path);
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

std::u16string ChangeFileExt(std::u16string_view Path, std::u16string_view Ext) {
  const size_t nameStart =
      LastDelimiter(Path) == std::u16string_view::npos ? 0 : LastDelimiter(Path) + 1;
  const size_t dot = Path.rfind(u'.');
  std::u16string r(dot == std::u16string_view::npos || dot < nameStart ? Path
                                                                       : Path.substr(0, dot));
  r.append(Ext);
  return r;
}

std::u16string IncludeTrailingPathDelimiter(std::u16string_view Path) {
  std::u16string r(Path);
  if (r.empty() || !QEMIsPathDelimiter(r.back())) r.push_back(u'/');
  return r;
}

std::u16string ExcludeTrailingPathDelimiter(std::u16string_view Path) {
  std::u16string r(Path);
  while (r.size() > 1 && QEMIsPathDelimiter(r.back()))
    r.pop_back();
  return r;
}

std::string QEMNativePath(std::u16string_view Path) {
  return UTF16ToUTF8(QEMSlashes(Path));
}

bool FileExists(std::u16string_view Path) {
  struct stat st {};
  return !Path.empty() && stat(QEMNativePath(Path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::u16string_view Path) {
  struct stat st {};
  return !Path.empty() && stat(QEMNativePath(Path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(std::u16string_view Path) {
  if (Path.empty()) return false;
  std::error_code ec;
  fs::create_directories(fs::path(QEMNativePath(Path)), ec);
  return DirectoryExists(Path);
}

bool DeleteFile(std::u16string_view Path) {
  return !Path.empty() && unlink(QEMNativePath(Path).c_str()) == 0;
}

bool QEMGetFileTime(std::u16string_view Path, timespec& MTime) {
  struct stat st {};
  if (Path.empty() || stat(QEMNativePath(Path).c_str(), &st) != 0) return false;
  MTime = st.st_mtim;
  return true;
}

bool QEMSetFileTime(std::u16string_view Path, const timespec& MTime) {
  const timespec times[2] = {{0, UTIME_OMIT}, MTime};
  return !Path.empty() && utimensat(AT_FDCWD, QEMNativePath(Path).c_str(), times, 0) == 0;
}

std::u16string QEMExecutableFile() {
  std::error_code ec;
  const fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::u16string() : UTF8ToUTF16(p.string());
}

std::u16string QEMPrivateTempDir() {
  if (!gPrivateTempDir.empty()) return gPrivateTempDir;
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string tmpl = (base / "hlx-XXXXXX").string();
  if (!mkdtemp(tmpl.data()))
    throw EQEMError(Format(STempDirFailed, base.string(), ErrnoText(errno)));
  gPrivateTempDir = UTF8ToUTF16(tmpl) + u"/";
  return gPrivateTempDir;
}

bool QEMHasPrivateTempDir() {
  return !gPrivateTempDir.empty();
}

std::u16string QEMCreateTempFile(std::u16string_view Prefix, std::u16string_view Ext) {
  const std::u16string dir = QEMPrivateTempDir();
  static std::mt19937_64 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::u16string name = dir + std::u16string(Prefix) +
                                UTF8ToUTF16(std::to_string(rng() % 100000000ULL)) +
                                std::u16string(Ext);
    const int fd = open(QEMNativePath(name).c_str(),
                        O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      return name;
    }
    if (errno != EEXIST) throw EQEMError(Format(STempFileFailed, dir, ErrnoText(errno)));
  }
  throw EQEMError(Format(STempFileFailed, dir, ErrnoText(EEXIST)));
}

bool QEMReadFileBytes(std::u16string_view FileName, std::string& Bytes) {
  std::ifstream f(QEMNativePath(FileName), std::ios::binary);
  if (!f) return false;
  Bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
}

std::u16string QEMCreateSiblingTempFile(std::u16string_view Target) {
  std::u16string dir = ExtractFilePath(Target);
  if (dir.empty()) dir = u"./";
  struct stat st {};
  mode_t mode;
  if (stat(QEMNativePath(Target).c_str(), &st) == 0)
    mode = st.st_mode & 07777;
  else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  static std::mt19937_64 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    // The name ends like the target, so whoever writes it sees the same extension.
    const std::u16string name = dir + u".~hlx" + UTF8ToUTF16(std::to_string(rng() % 100000000ULL)) +
                                u"." + ExtractFileName(Target);
    const int fd = open(QEMNativePath(name).c_str(),
                        O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fchmod(fd, mode);
      close(fd);
      return name;
    }
    if (errno != EEXIST) throw EQEMError(Format(STempFileFailed, dir, ErrnoText(errno)));
  }
  throw EQEMError(Format(STempFileFailed, dir, ErrnoText(EEXIST)));
}

bool QEMInPrivateTempDir(std::u16string_view Path) {
  if (gPrivateTempDir.empty()) return false;
  const std::u16string p = QEMSlashes(Path);
  // No ".." may lead back out of the folder.
  return p.size() > gPrivateTempDir.size() &&
         p.compare(0, gPrivateTempDir.size(), gPrivateTempDir) == 0 &&
         p.find(u"/../", gPrivateTempDir.size() - 1) == std::u16string::npos &&
         !(p.size() >= 3 && p.compare(p.size() - 3, 3, u"/..") == 0);
}

void QEMRemovePrivateTempDir() {
  if (gPrivateTempDir.empty()) return;
  std::error_code ec;
  fs::remove_all(fs::path(QEMNativePath(gPrivateTempDir)), ec); // does not follow links
  gPrivateTempDir.clear();
}

namespace {
// An output buffer over a file descriptor; write errors surface as a failed stream.
class TFdBuf : public std::streambuf {
public:
  explicit TFdBuf(int Fd) : FFd(Fd), FBuf(1 << 16) { setp(FBuf.data(), FBuf.data() + FBuf.size()); }
  int Error() const { return FError; }

protected:
  int_type overflow(int_type Ch) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(Ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(Ch);
      pbump(1);
    }
    return traits_type::not_eof(Ch);
  }
  int sync() override { return Drain() ? 0 : -1; }

private:
  bool Drain() {
    const char* p = pbase();
    while (p < pptr()) {
      const ssize_t n = write(FFd, p, size_t(pptr() - p));
      if (n < 0) {
        if (errno == EINTR) continue;
        FError = errno;
        return false;
      }
      p += n;
    }
    setp(FBuf.data(), FBuf.data() + FBuf.size());
    return true;
  }
  int FFd;
  int FError = 0;
  std::vector<char> FBuf;
};
} // namespace

void QEMSaveFileAtomically(std::u16string_view FileName, std::string_view Data,
                           const timespec* MTime) {
  QEMSaveFileAtomically(
      FileName, [&](std::ostream& Out) { Out.write(Data.data(), std::streamsize(Data.size())); },
      MTime);
}

void QEMSaveFileAtomically(std::u16string_view FileName,
                           const std::function<void(std::ostream&)>& Write, const timespec* MTime) {
  std::string target = QEMNativePath(FileName);
  {
    // Replace what a link points at, never the link itself.
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
      const fs::path resolved = fs::weakly_canonical(fs::path(target), ec);
      if (!ec) target = resolved.string();
    }
  }
  const fs::path dir = fs::path(target).parent_path();
  std::string tmpl = (dir.empty() ? fs::path(".") : dir).string() + "/." +
                     fs::path(target).filename().string() + ".XXXXXX";
  auto fail = [&](int err) -> void {
    throw EQEMError(Format(SCannotSaveFile, std::u16string(FileName), ErrnoText(err)));
  };
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) fail(errno);
  bool closed = false;
  try {
    // Keep the permissions of the file we replace.
    struct stat st {};
    fchmod(fd, stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    TFdBuf buf(fd);
    std::ostream out(&buf);
    Write(out);
    out.flush();
    if (!out) fail(buf.Error() ? buf.Error() : EIO);
    if (MTime) {
      const timespec times[2] = {{0, UTIME_OMIT}, *MTime};
      futimens(fd, times);
    }
    const int syncErr = fsync(fd) != 0 ? errno : 0;
    const int closeErr = close(fd) != 0 ? errno : 0;
    closed = true;
    if (syncErr || closeErr) fail(syncErr ? syncErr : closeErr);
    if (rename(tmpl.c_str(), target.c_str()) != 0) fail(errno);
  } catch (...) {
    if (!closed) close(fd);
    unlink(tmpl.c_str());
    throw;
  }
}
