#include "platform/QEMFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <sstream>
#include <streambuf>
#include <unordered_set>
#include <vector>

#include "platform/QEMDateTime.h"
#include "platform/QEMFormat.h"
#include "platform/QEMHostConsts.h"

namespace fs = std::filesystem;

namespace {
std::u16string gPrivateTempDir; // with trailing "/" once made

std::u16string ErrnoText(int err) {
  return UTF8ToUTF16(std::strerror(err));
}

size_t LastDelimiter(std::u16string_view Path) {
  for (size_t i = Path.size(); i-- > 0;)
    if (QEMIsPathDelimiter(Path[i])) return i;
  // "C:name" has its drive as the directory part.
  if (Path.size() >= 2 && Path[1] == u':') return 1;
  return std::u16string_view::npos;
}

// An ASCII path narrowed into To with "/" for "\\"; false, To untouched, for any other path.
// Loops without early exits, which vectorise: nearly all paths are ASCII.
bool NarrowAsciiPath(std::u16string_view Path, char* To) {
  unsigned all = 0;
  for (const char16_t c : Path)
    all |= c;
  if (all >= 0x80) return false;
  const char16_t* from = Path.data();
  for (size_t i = 0; i < Path.size(); ++i)
    To[i] = from[i] == u'\\' ? '/' : char(from[i]);
  return true;
}

// The native name for a system call: short ASCII paths, nearly all of them, are narrowed on
// the stack; anything else goes through QEMNativePath. Both stop at an embedded NUL alike.
class TNativeName {
public:
  explicit TNativeName(std::u16string_view Path) {
    if (Path.size() < sizeof FShort && NarrowAsciiPath(Path, FShort)) {
      FShort[Path.size()] = '\0';
      return;
    }
    FLong = QEMNativePath(Path);
    FName = FLong.c_str();
  }
  TNativeName(const TNativeName&) = delete;
  TNativeName& operator=(const TNativeName&) = delete;
  const char* c_str() const { return FName; }

private:
  char FShort[256];
  std::string FLong;
  const char* FName = FShort;
};
} // namespace

std::u16string QEMSlashes(std::u16string_view Path) {
  std::u16string r(Path);
  for (auto& c : r) // a store every time, so that the loop vectorises
    c = c == u'\\' ? u'/' : c;
  return r;
}

bool QEMHasDrive(std::u16string_view Path) {
  if (Path.empty()) return false;
  if (Path[0] == u'/') return true;
  if (Path.size() >= 2 && Path[0] == u'\\' && Path[1] == u'\\') return true;
  return Path.size() >= 2 && Path[1] == u':' &&
         ((Path[0] >= u'A' && Path[0] <= u'Z') || (Path[0] >= u'a' && Path[0] <= u'z'));
}

namespace qem {
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
  if (!Path.empty() && QEMIsPathDelimiter(Path.back())) return std::u16string(Path);
  // Room for the delimiter from the start: appending it to an exact copy would reallocate.
  std::u16string r;
  r.reserve(Path.size() + 1);
  r.append(Path).push_back(u'/');
  return r;
}

std::u16string ExcludeTrailingPathDelimiter(std::u16string_view Path) {
  size_t n = Path.size();
  while (n > 1 && QEMIsPathDelimiter(Path[n - 1]))
    --n;
  return std::u16string(Path.substr(0, n));
}

std::string QEMNativePath(std::u16string_view Path) {
  std::string r(Path.size(), '\0');
  if (NarrowAsciiPath(Path, r.data())) return r;
  // A backslash byte in UTF-8 is always the ASCII character: the slashes can follow encoding.
  r = UTF16ToUTF8(Path);
  std::replace(r.begin(), r.end(), '\\', '/');
  return r;
}

bool FileExists(std::u16string_view Path) {
  struct stat st {};
  return !Path.empty() && stat(TNativeName(Path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::u16string_view Path) {
  struct stat st {};
  return !Path.empty() && stat(TNativeName(Path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(std::u16string_view Path) {
  if (Path.empty()) return false;
  std::error_code ec;
  fs::create_directories(fs::path(QEMNativePath(Path)), ec);
  return DirectoryExists(Path);
}

bool DeleteFile(std::u16string_view Path) {
  return !Path.empty() && unlink(TNativeName(Path).c_str()) == 0;
}
} // namespace qem

bool QEMGetFileTime(std::u16string_view Path, timespec& MTime) {
  struct stat st {};
  if (Path.empty() || stat(TNativeName(Path).c_str(), &st) != 0) return false;
  MTime = st.st_mtim;
  return true;
}

bool QEMSetFileTime(std::u16string_view Path, const timespec& MTime) {
  const timespec times[2] = {{0, UTIME_OMIT}, MTime};
  return !Path.empty() && utimensat(AT_FDCWD, TNativeName(Path).c_str(), times, 0) == 0;
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

namespace {
// Reads the whole file into a buffer B that grows by Grow(B, Size) and starts at Data(B): one
// read of the file's size (notes files reach tens of megabytes); the byte to spare sees the end,
// and a file that is no regular one or grows is read on to its end.
template <class TBuffer, class TGrow, class TData>
bool ReadWhole(std::u16string_view FileName, TBuffer& Buffer, size_t& Got, TGrow Grow, TData Data) {
  const int fd = ::open(TNativeName(FileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  size_t room = 0;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) Grow(Buffer, room = size_t(st.st_size) + 1);
  Got = 0;
  for (;;) {
    if (Got == room) Grow(Buffer, room = std::max<size_t>(2 * room, 64 * 1024));
    const ssize_t n = ::read(fd, Data(Buffer) + Got, room - Got);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      errno = err;
      return false;
    }
    Got += size_t(n);
    // All that fstat promised, and the byte to spare still empty: the end.
    if (S_ISREG(st.st_mode) && Got == size_t(st.st_size) && Got < room) break;
  }
  ::close(fd);
  return true;
}
} // namespace

bool QEMReadFileBytes(std::u16string_view FileName, std::string& Bytes) {
  std::string bytes;
  size_t got = 0;
  if (!ReadWhole(
          FileName, bytes, got, [](std::string& B, size_t N) { B.resize(N); },
          [](std::string& B) { return B.data(); }))
    return false;
  bytes.resize(got);
  Bytes = std::move(bytes);
  return true;
}

bool QEMReadFileBytes(std::u16string_view FileName, TQEMFileBytes& Bytes) {
  TQEMFileBytes r;
  size_t room = 0;
  const auto grow = [&](TQEMFileBytes& B, size_t N) {
    auto more = std::make_unique_for_overwrite<char[]>(N);
    if (room > 0) std::memcpy(more.get(), B.FData.get(), std::min(room, N));
    B.FData = std::move(more);
    room = N;
  };
  if (!ReadWhole(FileName, r, r.FSize, grow, [](TQEMFileBytes& B) { return B.FData.get(); }))
    return false;
  Bytes = std::move(r);
  return true;
}

namespace {

constexpr std::string_view kTempMark = ".~hlx";
constexpr std::string_view kTempChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// What follows the random part of a temporary name: the target's name, so the file ends like
// it, unless that would make the name too long for the folder.
std::string TempTail(const std::string& FileName) {
  if (FileName.size() <= 200) return "." + FileName;
  const std::string ext = fs::path(FileName).extension().string();
  return ext.size() <= 40 ? ext : std::string();
}

// Creates ".~hlx<pid>-<6 random>.<name>" in Dir exclusively; the process id in the name tells a
// later run whether the writer is still alive.
int CreateOwnTemp(const std::string& Dir, const std::string& FileName, mode_t Mode,
                  std::string& Name) {
  static std::mt19937_64 rng{std::random_device{}()};
  const std::string head = Dir + "/" + std::string(kTempMark) + std::to_string(getpid()) + "-";
  const std::string tail = TempTail(FileName);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string rand(6, 'x');
    for (char& c : rand)
      c = kTempChars[rng() % kTempChars.size()];
    Name = head + rand + tail;
    const int fd = open(Name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, Mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// The process id in a name of ours, or 0 for any other name.
pid_t OwnTempPid(std::string_view Name) {
  if (!Name.starts_with(kTempMark)) return 0;
  Name.remove_prefix(kTempMark.size());
  size_t digits = 0;
  pid_t pid = 0;
  while (digits < Name.size() && digits < 10 && Name[digits] >= '0' && Name[digits] <= '9')
    pid = pid * 10 + (Name[digits++] - '0');
  if (digits == 0 || digits == 10 || pid <= 0 || digits >= Name.size() || Name[digits] != '-')
    return 0;
  Name.remove_prefix(digits + 1);
  if (Name.size() < 6) return 0;
  for (size_t i = 0; i < 6; ++i)
    if (kTempChars.find(Name[i]) == std::string_view::npos) return 0;
  return Name.size() == 6 || Name[6] == '.' ? pid : 0;
}

// Wall-clock start of a live process, in seconds; 0 when it cannot be told.
double ProcessStartTime(pid_t Pid) {
  std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  // Field 22 (start time in clock ticks after boot) is the 20th after the command name.
  std::istringstream rest(text.substr(close + 1));
  std::string field;
  for (int i = 0; i < 19 && rest >> field; ++i) {
  }
  unsigned long long ticks = 0;
  if (!(rest >> ticks)) return 0;
  static const double bootTime = [] {
    std::ifstream s("/proc/stat");
    std::string key;
    double value = 0;
    while (s >> key)
      if (key == "btime" && s >> value) return value;
    return 0.0;
  }();
  if (bootTime == 0) return 0;
  return bootTime + double(ticks) / double(sysconf(_SC_CLK_TCK));
}

// A file the writer named after itself is left over when that process is gone, or when the
// process of that id started after the file last changed (the id was reused). Changes of the
// file set its ctime, which no writer can set back, so a live writer's file is never taken.
bool IsLeftover(pid_t Pid, const struct stat& St) {
  if (kill(Pid, 0) != 0) return errno == ESRCH;
  const double started = ProcessStartTime(Pid);
  if (started == 0) return false;
  const double changed = double(St.st_ctim.tv_sec) + double(St.st_ctim.tv_nsec) / 1e9;
  return changed + 2 < started; // start times are known to a clock tick, boot time to a second
}

std::unordered_set<std::string> gCleanedFolders;

// An absolute path without empty, "." or ".." parts, and no trailing slash: normal already.
bool IsNormalAbsolute(std::string_view Dir) {
  if (Dir.size() < 2 || Dir[0] != '/' || Dir.back() == '/') return false;
  for (size_t at = 0; at < Dir.size();) {
    const size_t next = std::min(Dir.find('/', at + 1), Dir.size());
    const std::string_view part = Dir.substr(at + 1, next - at - 1);
    if (part.empty() || part == "." || part == "..") return false;
    at = next;
  }
  return true;
}

void CleanFolderOnce(const std::string& Dir) {
  std::error_code ec;
  std::string key =
      IsNormalAbsolute(Dir)
          ? Dir
          : fs::absolute(fs::path(Dir.empty() ? "." : Dir), ec).lexically_normal().string();
  if (ec) key = Dir;
  // "a/." is normalised to "a/": the same folder as "a".
  while (key.size() > 1 && key.back() == '/')
    key.pop_back();
  if (!gCleanedFolders.insert(key).second) return;
  QEMRemoveLeftoverTempFiles(UTF8ToUTF16(Dir.empty() ? "." : Dir));
}

} // namespace

void QEMRemoveLeftoverTempFilesOnce(std::u16string_view Folder) {
  CleanFolderOnce(QEMNativePath(ExcludeTrailingPathDelimiter(Folder)));
}

int QEMRemoveLeftoverTempFiles(std::u16string_view Folder) {
  const std::string native = QEMNativePath(Folder);
  const std::string dir = native.empty() ? std::string(".") : native;
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  int removed = 0;
  const std::string prefix = dir.back() == '/' ? dir : dir + '/';
  std::string path;
  // Most folders hold none: a name is looked at only when it starts like ours.
  while (const dirent* e = readdir(d)) {
    const pid_t pid = e->d_name[0] == '.' ? OwnTempPid(e->d_name) : 0;
    if (pid == 0) continue;
    path = prefix;
    path += e->d_name;
    struct stat st {};
    // Only plain files of this user: never a link, a folder or someone else's file.
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
    if (IsLeftover(pid, st) && unlink(path.c_str()) == 0) ++removed;
  }
  closedir(d);
  return removed;
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
  const std::string nativeDir = QEMNativePath(ExcludeTrailingPathDelimiter(dir));
  CleanFolderOnce(nativeDir);
  std::string name;
  const int fd = CreateOwnTemp(nativeDir.empty() ? "/" : nativeDir,
                               QEMNativePath(ExtractFileName(Target)), 0600, name);
  if (fd < 0) throw EQEMError(Format(STempFileFailed, dir, ErrnoText(errno)));
  fchmod(fd, mode);
  close(fd);
  return UTF8ToUTF16(name);
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

namespace {
timespec ClockFileTime() {
  const double unix = DateTimeToUnix(QEMNowUTC());
  const double secs = std::floor(unix);
  return {time_t(secs), long((unix - secs) * 1e9)};
}
} // namespace

void QEMWriteWorkingCopy(std::u16string_view FileName, std::string_view Data,
                         const timespec* MTime) {
  const int fd =
      ::open(QEMNativePath(FileName).c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  int err = fd < 0 ? errno : 0;
  for (size_t done = 0; !err && done < Data.size();) {
    const ssize_t n = ::write(fd, Data.data() + done, Data.size() - done);
    if (n < 0 && errno != EINTR) err = errno;
    if (n > 0) done += size_t(n);
  }
  if (!err && MTime) {
    const timespec times[2] = {{0, UTIME_OMIT}, *MTime};
    if (futimens(fd, times) != 0) err = errno;
  }
  if (fd >= 0 && ::close(fd) != 0 && !err) err = errno;
  if (err) throw EQEMError(Format(SCannotSaveFile, std::u16string(FileName), ErrnoText(err)));
}

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
  const std::string folder = (dir.empty() ? fs::path(".") : dir).string();
  auto fail = [&](int err) -> void {
    throw EQEMError(Format(SCannotSaveFile, std::u16string(FileName), ErrnoText(err)));
  };
  CleanFolderOnce(folder);
  std::string tmpl;
  const int fd = CreateOwnTemp(folder, fs::path(target).filename().string(), 0600, tmpl);
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
    // A fixed clock (tests, golden files) dates what we write, as the system clock would.
    const timespec clockTime = QEMClockIsFixed() ? ClockFileTime() : timespec{};
    if (MTime || QEMClockIsFixed()) {
      const timespec times[2] = {{0, UTIME_OMIT}, MTime ? *MTime : clockTime};
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
