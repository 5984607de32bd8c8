#include "core/QEMStrs.h"

#include <link.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "QEMVersion.h"
#include "core/QEMIntlUtils.h"
#include "core/QEMUtils.h"
#include "core/QEMUtilsFiles.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

bool InIDE = false;
std::u16string BinDir;
bool bIntegrationTools = false;
std::array<std::u16string, 2> fnDefaultTranslators;
std::u16string QEMDefaultNotesVersion = u"9.0";
std::function<void(const std::u16string&)> ShowErrorFunc;
std::function<void(const std::u16string&)> ShowNoticeFunc;
bool GlobalInOrrin = false;
TQEMStringQue* ReloadQue = nullptr;

namespace {
constexpr std::u16string_view kBaseKey = u"\\Software\\Wendroth\\HLX\\14.0";
constexpr std::u16string_view kTranslatorBaseKey = u"\\Software\\Wendroth\\HLX\\14.01";
// A host library whose presence in the process means we run inside the IDE.
constexpr const char* kIDECoreModule = "libhlxidecore.so";

// Asks the loader's list of loaded modules by file name. A no-load dlopen of a bare name would
// first search every library folder for the file, costing each start a hundred failed opens.
bool IDECoreLoaded() {
  return dl_iterate_phdr(
             [](dl_phdr_info* Info, size_t, void*) -> int {
               const std::string_view path = Info->dlpi_name ? Info->dlpi_name : "";
               const std::string_view name = path.substr(path.rfind('/') + 1);
               const std::string_view module = kIDECoreModule;
               // A versioned file name ("libhlxidecore.so.14") is the same module.
               return name == module || (name.starts_with(module) && name[module.size()] == '.');
             },
             nullptr) != 0;
}

std::vector<std::u16string> gArgs;
bool gArgsSet = false;
int gRunMode = 0; // 0 undetermined, 1 normal, 2 translator
bool gNoMerge = false;
std::u16string gBaseRegKey, gRootDir, gLibDir;
int gShowAsserts = -1;
LCID gDefaultLCID = 0;
std::u16string gSystemLang;
bool gShowingError = false;

std::vector<std::u16string> ProcessCommandLine() {
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<std::u16string> args;
  size_t start = 0;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i] == '\0') {
      args.push_back(UTF8ToUTF16(all.substr(start, i - start)));
      start = i + 1;
    }
  return args;
}

void DetermineRunMode() {
  if (gRunMode != 0) return;
  gRunMode = 1;
  const auto& args = QEMProgramArgs();
  for (size_t i = 1; i < args.size(); ++i) {
    const std::u16string a = QEMUpperCase(args[i]);
    if (a == u"-T" || a == u"--TRANSLATOR" || a == u"-E")
      gRunMode = 2;
    else if (a == u"--NOMERGE")
      gNoMerge = true;
  }
}

// Reads a value below the base key; a missing key simply gives nothing.
template <class F> auto WithBaseKey(F Read) -> decltype(Read(std::declval<TQEMRegistry&>())) {
  TQEMRegistry reg;
  if (!reg.OpenKeyReadOnly(QEMBaseRegKey())) return {};
  return Read(reg);
}

std::u16string ExecutableDir() {
  std::u16string exe = QEMExecutableFile();
  if (exe.empty() && !QEMProgramArgs().empty()) exe = QEMProgramArgs()[0];
  return ExtractFilePath(exe);
}

// Parent directory of a directory given with or without trailing delimiter, without delimiter.
std::u16string ParentDir(const std::u16string& Dir) {
  return ExcludeTrailingPathDelimiter(ExtractFilePath(ExcludeTrailingPathDelimiter(Dir)));
}
} // namespace

void QEMSetProgramArgs(int argc, const char* const* argv) {
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i)
    args.push_back(UTF8ToUTF16(argv[i]));
  QEMSetProgramArgs(std::move(args));
}

void QEMSetProgramArgs(std::vector<std::u16string> Args) {
  gArgs = std::move(Args);
  gArgsSet = true;
  gRunMode = 0;
  gNoMerge = false;
  gBaseRegKey.clear();
  gRootDir.clear();
  gLibDir.clear();
  gShowAsserts = -1;
  gDefaultLCID = 0;
  gSystemLang.clear();
}

const std::vector<std::u16string>& QEMProgramArgs() {
  if (!gArgsSet) {
    gArgs = ProcessCommandLine();
    gArgsSet = true;
  }
  return gArgs;
}

bool IsTranslatorMode() {
  DetermineRunMode();
  return gRunMode == 2;
}

bool IsNoMergeMode() {
  return gNoMerge;
}

std::u16string QEMBaseRegKey() {
  if (gBaseRegKey.empty())
    gBaseRegKey = std::u16string(IsTranslatorMode() ? kTranslatorBaseKey : kBaseKey);
  return gBaseRegKey;
}

std::u16string QEMBinDir() {
  if (BinDir.empty()) BinDir = IncludeTrailingPathDelimiter(ExecutableDir());
  return BinDir;
}

std::u16string QEMIDEBinDir(const std::u16string& HostExeDir) {
  const size_t n = HostExeDir.size();
  if (n > 5) {
    const std::u16string tail = QEMSlashes(HostExeDir.substr(n - 5));
    if (QEMSameText(tail, u"/app/")) return HostExeDir.substr(0, n - 5) + u"/bin/";
  }
  return HostExeDir;
}

std::u16string RootDir() {
  if (gRootDir.empty()) {
    const std::u16string stored =
        WithBaseKey([](TQEMRegistry& r) { return r.SafeReadStr(u"RootDir", u""); });
    gRootDir = stored.empty() ? IncludeTrailingPathDelimiter(ParentDir(ExecutableDir()))
                              : IncludeTrailingPathDelimiter(QEMExpandRootMacro(stored));
  }
  return gRootDir;
}

std::u16string LibDir() {
  if (gLibDir.empty()) {
    const std::u16string stored =
        WithBaseKey([](TQEMRegistry& r) { return r.SafeReadStr(u"LibDir", u""); });
    gLibDir = stored.empty() ? RootDir() + u"lib/" + (InOrrin() ? u"" : u"obj/")
                             : IncludeTrailingPathDelimiter(QEMExpandRootMacro(stored));
  }
  return gLibDir;
}

std::u16string QEMExpandRootMacro(const std::u16string& Path) {
  const std::u16string bin = ExcludeTrailingPathDelimiter(QEMBinDir());
  const std::u16string root = ParentDir(bin);
  std::u16string r = Path;
  r = QEMStringReplace(r, u"$(RQX)", root, true);
  r = QEMStringReplace(r, u"$(ORRIN)", root, true);
  r = QEMStringReplace(r, u"$(TMN)", root, true);
  r = QEMStringReplace(r, u"$(HLX)", bin, true);
  return QEMSlashes(r);
}

std::u16string QEMCollapseRootMacro(const std::u16string& Path) {
  const std::u16string p = QEMNormalizePath(QEMSlashes(Path));
  if (p.empty() || p[0] != u'/') return Path; // relative, or a stored path of another system
  const std::u16string bin =
      IncludeTrailingPathDelimiter(QEMNormalizePath(QEMSlashes(QEMBinDir())));
  if (p + u"/" == bin) return u"$(HLX)";
  if (p.size() > bin.size() && p.compare(0, bin.size(), bin) == 0)
    return u"$(HLX)/" + p.substr(bin.size());
  return Path;
}

bool InOrrin() {
  return InIDE ? true : GlobalInOrrin;
}

std::u16string QEMProjectExt(bool) {
  return InOrrin() ? u".opr" : u".cpp";
}

std::u16string ResourceDLLProjectExt() {
  if (InIDE) return QEMProjectExt(true);
  return GlobalInOrrin ? u".opr" : u".cpp";
}

int QEMCompareFileName(const std::u16string& A, const std::u16string& B) {
  const std::u16string a = ChangeFileExt(QEMSlashes(A), u""), b = ChangeFileExt(QEMSlashes(B), u"");
  return a < b ? -1 : (a == b ? 0 : 1);
}

namespace {
// IncludeTrailingPathDelimiter in place.
void AddDelimiter(std::u16string& S) {
  if (S.empty() || !QEMIsPathDelimiter(S.back())) S.push_back(u'/');
}

// Whether Path starts with IncludeTrailingPathDelimiter(Dir), without building it.
bool StartsWithDir(std::u16string_view Path, std::u16string_view Dir) {
  if (Dir.empty()) return Path.starts_with(u'/');
  if (QEMIsPathDelimiter(Dir.back())) return Path.starts_with(Dir);
  return Path.size() > Dir.size() && Path.starts_with(Dir) && Path[Dir.size()] == u'/';
}
} // namespace

std::u16string QEMXlatFileNameOf(const std::u16string& FileName, const std::u16string& XlatDir,
                                 const std::u16string& BaseDir) {
  // Work on normalised paths so that ".." can neither escape the translation directory nor
  // defeat the base-directory match; the base matches whole components only.
  const std::u16string file = QEMNormalizePath(FileName);
  std::u16string dir = ExtractFilePath(file);
  const std::u16string_view name = std::u16string_view(file).substr(dir.size());
  std::u16string base;
  if (!BaseDir.empty()) {
    base = QEMNormalizePath(BaseDir);
    AddDelimiter(base);
  }
  std::u16string xlat = QEMNormalizePath(XlatDir);
  if (xlat.empty()) xlat = u".";

  size_t drop = 0; // leading units of dir left out
  if (!base.empty() && dir.starts_with(base))
    drop = base.size();
  else if (dir.size() >= 2 && dir[1] == u':')
    dir.erase(1, 1);
  else if (dir.size() >= 2 && dir[0] == u'/' && dir[1] == u'/')
    drop = 2;
  const std::u16string_view rest = std::u16string_view(dir).substr(drop);

  std::u16string path;
  path.reserve(xlat.size() + rest.size() + name.size() + 2);
  path = xlat;
  if (!rest.empty() && rest[0] == u'/') {
    while (path.size() > 1 && QEMIsPathDelimiter(path.back()))
      path.pop_back();
  } else {
    AddDelimiter(path);
  }
  path.append(rest);
  AddDelimiter(path);
  path.append(name);

  const std::u16string result = QEMNormalizePath(path);
  if (xlat != u"." && !StartsWithDir(result, xlat == u"/" ? u"" : xlat))
    throw EQEMError(Format(SXlatOutsideDir, FileName, XlatDir));
  if (xlat == u"." && (result.starts_with(u"../") || result == u".."))
    throw EQEMError(Format(SXlatOutsideDir, FileName, XlatDir));
  if (result == file) throw EQEMError(Format(SXlatIsSource, FileName));
  return result;
}

std::u16string GetXlatFileName(const std::u16string& FileName, const std::u16string& XlatDir,
                               const std::u16string& BaseDir) {
  std::u16string result = QEMXlatFileNameOf(FileName, XlatDir, BaseDir);
  const std::u16string dir = ExtractFilePath(result);
  if (!dir.empty() && !DirectoryExists(dir) && !ForceDirectories(dir))
    throw EQEMError(Format(SCannotCreateDir, dir));
  return result;
}

uint32_t QEMDefaultLCID() {
  if (gDefaultLCID) return gDefaultLCID;
  TQEMRegistry reg;
  if (!reg.OpenKey(QEMBaseRegKey(), true)) return gDefaultLCID = QEMUserDefaultLCID();
  if (reg.ValueExists(u"DefaultLCID")) {
    gDefaultLCID = LCID(reg.SafeReadInt(u"DefaultLCID", int32_t(QEMUserDefaultLCID())));
  } else {
    gDefaultLCID = QEMUserDefaultLCID();
    reg.WriteInteger(u"DefaultLCID", int32_t(gDefaultLCID));
  }
  return gDefaultLCID;
}

std::u16string SystemLang() {
  if (gSystemLang.empty()) gSystemLang = LCIDToLangTag(QEMUserDefaultLCID());
  return gSystemLang;
}

void QEMAssert(const std::u16string& Msg, bool) {
  if (gShowAsserts < 0) {
    try {
      gShowAsserts = WithBaseKey([](TQEMRegistry& r) { return r.SafeReadInt(u"ShowAsserts", 0); });
    } catch (const EQEMError&) {
      gShowAsserts = 0; // an unreadable hive must not turn an assertion into a failure
    }
  }
  if (gShowAsserts != 0) QEMUIServices().ErrorBox(std::u16string(SQEMAssertCaption) + Msg);
}

void ShowError(const std::u16string& Msg) {
  if (gShowingError) return;
  gShowingError = true;
  struct TReset {
    ~TReset() { gShowingError = false; }
  } reset;
  if (InIDE || !ShowErrorFunc)
    QEMUIServices().ErrorBox(Msg);
  else
    ShowErrorFunc(Msg);
}

void ShowNotice(const std::u16string& Msg) {
  if (ShowNoticeFunc) ShowNoticeFunc(Msg);
}

void Delay(uint32_t Milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds);
  do {
    QEMUIServices().ProcessMessages();
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (true);
}

int PPI96(int Value, int Base) {
  if (Base == 0) return Value;
  const int64_t scaled = int64_t(Value) * QEMUIServices().ScreenPixelsPerInch();
  return int((scaled + (scaled >= 0 ? Base / 2 : -Base / 2)) / Base);
}

std::u16string QEMProductName() {
  return QEM_PRODUCT_NAME;
}
std::u16string QEMProductVersion() {
  return QEM_PRODUCT_VERSION;
}
std::u16string QEMLegalCopyright() {
  return QEM_LEGAL_COPYRIGHT;
}

bool QEMCheckIntegrationToolsValue() {
  const bool present =
      WithBaseKey([](TQEMRegistry& r) { return r.ValueExists(u"IntegrationTools"); });
  if (present) QEMUIServices().MessageBox(std::u16string(SIntegrationToolsObsolete));
  return present;
}

void QEMStrsInitialize() {
  QEMDefaultNotesVersion = u"9.0";
  const std::u16string stored =
      WithBaseKey([](TQEMRegistry& r) { return r.SafeReadStr(u"DefaultNotesVersion", u""); });
  if (!stored.empty()) QEMDefaultNotesVersion = stored;
  InIDE = IDECoreLoaded();
  fnDefaultTranslators = {u"%s/ofm%s.fpl", u"%s/rc%s.fpl"};
}

void QEMStrsFinalize() {
  ShowErrorFunc = nullptr;
  ShowNoticeFunc = nullptr;
}

void QEMCommonInitialize() {
  if (!InIDE) return;
  BinDir = QEMIDEBinDir(ExecutableDir());
  ReloadQue = new TQEMStringQue;
}

void QEMCommonFinalize() {
  delete ReloadQue;
  ReloadQue = nullptr;
}
