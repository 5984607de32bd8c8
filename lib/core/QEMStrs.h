#pragma once
// Start-up environment: run mode and base settings key, binary/root/library directories, root
// macros, where translated files go, and error and assertion display.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/QEMExport.h"

class TQEMStringQue;

// The program arguments the run mode is read from (argv[0] first). The host passes them before
// QEMInitialize; without them the process's own command line is used. Setting them starts the
// mode, base key and directory caches afresh.
QEM_API void QEMSetProgramArgs(int argc, const char* const* argv);
QEM_API void QEMSetProgramArgs(std::vector<std::u16string> Args);
QEM_API const std::vector<std::u16string>& QEMProgramArgs();

QEM_API extern bool InIDE;
QEM_API extern std::u16string BinDir;
QEM_API extern bool bIntegrationTools;
QEM_API extern std::array<std::u16string, 2> fnDefaultTranslators;
QEM_API extern std::u16string QEMDefaultNotesVersion;
QEM_API extern std::function<void(const std::u16string&)> ShowErrorFunc;
// Where notes that are not errors go (a run's log, the status bar); unset, they are dropped.
QEM_API extern std::function<void(const std::u16string&)> ShowNoticeFunc;
QEM_API extern bool GlobalInOrrin;
QEM_API extern TQEMStringQue* ReloadQue;

QEM_API bool IsTranslatorMode();
QEM_API bool IsNoMergeMode();
QEM_API std::u16string QEMBaseRegKey();
QEM_API std::u16string QEMBinDir();
QEM_API std::u16string RootDir();
QEM_API std::u16string LibDir();
QEM_API std::u16string QEMExpandRootMacro(const std::u16string& Path);
QEM_API std::u16string QEMCollapseRootMacro(const std::u16string& Path);
QEM_API bool InOrrin();
QEM_API std::u16string QEMProjectExt(bool Flag);
QEM_API std::u16string ResourceDLLProjectExt();
QEM_API int QEMCompareFileName(const std::u16string& A, const std::u16string& B);

// Where the translated copy of FileName goes, without touching the disk. Raises EQEMError when
// the result would leave XlatDir or be the source file itself.
QEM_API std::u16string QEMXlatFileNameOf(const std::u16string& FileName,
                                         const std::u16string& XlatDir,
                                         const std::u16string& BaseDir);
// The same, creating the result's folder when missing.
QEM_API std::u16string GetXlatFileName(const std::u16string& FileName,
                                       const std::u16string& XlatDir,
                                       const std::u16string& BaseDir);

// The default locale: the settings' "DefaultLCID", else the user's locale, written back on first
// use. Cached.
QEM_API uint32_t QEMDefaultLCID();
// The language tag of the user's locale, cached.
QEM_API std::u16string SystemLang();

QEM_API void QEMAssert(const std::u16string& Msg, bool Cond);
QEM_API void ShowError(const std::u16string& Msg);
// A note for the log that is not an error: a batch run does not count it.
QEM_API void ShowNotice(const std::u16string& Msg);
QEM_API void Delay(uint32_t Milliseconds);
QEM_API int PPI96(int Value, int Base);

// Inside the IDE the host executable sits in ...\app\ while the library's binaries are in
// ...\bin\: the binary directory is moved accordingly.
QEM_API std::u16string QEMIDEBinDir(const std::u16string& HostExeDir);

// Shows the notice about the obsolete "IntegrationTools" value when the base key holds it.
QEM_API bool QEMCheckIntegrationToolsValue();

// Version and copyright of the About box and `hlx --version`.
QEM_API std::u16string QEMProductName();
QEM_API std::u16string QEMProductVersion();
QEM_API std::u16string QEMLegalCopyright();

// Unit start-up and shut-down, called by QEMInitialize/QEMFinalize.
QEM_API void QEMStrsInitialize();
QEM_API void QEMStrsFinalize();
QEM_API void QEMCommonInitialize();
QEM_API void QEMCommonFinalize();
