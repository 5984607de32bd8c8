#include "translator/QEMTranslator.h"

#include <dlfcn.h>

#include <mutex>
#include <unordered_map>

#include <ostream>

#include "core/QEMStrs.h"
#include "core/QEMUtils.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "translator/QEMFileWarnings.h"

std::function<void(TQEMTranslatorForm&)> QEMParentTranslatorForm;
std::function<TQEMTranslatorForm*(TQEMBaseFileType&)> QEMDefaultTranslatorForm;

TQEMTranslatorForm::~TQEMTranslatorForm() = default;
TQEMTranslator::TQEMTranslator() = default;
TQEMTranslator::~TQEMTranslator() = default;

namespace {

using TResourceFunc = const void* (*)(const char* Name, size_t* Size);

// A package's image by name; a missing image or exporter leaves the type without one.
void LoadVariants(void* Instance, const char* Name, TQEMBitmapVariants& Variants) {
  if (!Instance) return;
  auto func = reinterpret_cast<TResourceFunc>(dlsym(Instance, "QEMPackageResource"));
  if (!func) return;
  size_t size = 0;
  const void* data = func(Name, &size);
  if (!data || size == 0) return;
  QEMMakeBitmapVariants(QEMDecodeBMP(data, size), Variants);
}

// A dictionary is UTF-8 text, one entry per line.
void LoadLines(TStringList& List, const std::u16string& FileName) {
  std::string bytes;
  if (!QEMReadFileBytes(FileName, bytes)) return;
  for (size_t start = 0; start < bytes.size();) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    List.Add(UTF8ToUTF16(line));
    start = end + 1;
  }
}

void SaveLines(const TStringList& List, const std::u16string& FileName) {
  QEMSaveFileAtomically(FileName, [&](std::ostream& Out) {
    for (int i = 0; i < List.Count(); ++i)
      Out << UTF16ToUTF8(List.Get(i)) << '\n';
  });
}

// The package of each type whose images are not decoded yet: a batch run never shows them, so
// decoding waits for the first look. Kept aside because packages share the types' layout.
std::mutex gPendingImagesLock;
std::unordered_map<const TQEMBaseFileType*, void*> gPendingImages;

TQEMBitmap* Variant(TQEMBitmapVariants& Variants, int Index) {
  return Index >= 0 && Index < 3 ? &Variants[Index] : nullptr;
}

// One file's part of a batch operation; UserData is what the event's operation takes.
void RunListEvent(TListEventType EventType, TQEMTranslatorMgr& Mgr, const void* UserData) {
  switch (EventType) {
  case leNone:
    break;
  case lePurge:
    Mgr.Purge();
    break;
  case leEggBuild:
    Mgr.EggBuild();
    break;
  case leMakeDictionary: {
    const std::u16string& dictionary = *static_cast<const std::u16string*>(UserData);
    TStringList list;
    if (FileExists(dictionary)) LoadLines(list, dictionary);
    Mgr.MakeDictionary(list);
    SaveLines(list, dictionary);
    break;
  }
  case leAddToRepository:
    Mgr.AddToRepository(*static_cast<const TQEMAddToRepositoryData*>(UserData));
    break;
  case leGetFromRepository:
    Mgr.GetFromRepository(*static_cast<const TQEMGetFromRepositoryData*>(UserData));
    break;
  case leChangeStatus:
    Mgr.ChangeStatus(*static_cast<const TQEMChangeStatusData*>(UserData));
    break;
  case leRecreateXlat:
    Mgr.RecreateXlat();
    break;
  case leListWarnings:
    // The caller's own record, handed through the request as every operation's data is.
    QEMListWarnings(Mgr, *static_cast<TQEMListWarningsData*>(const_cast<void*>(UserData)));
    break;
  }
}

} // namespace

TQEMBaseFileType::TQEMBaseFileType(const std::u16string& AName, const std::u16string& AExt,
                                   const std::u16string& AText, TQEMTranslator* ATranslator,
                                   void* Instance, IQEMTranslatorUpdaterPtr AUpdater)
    : FName(AName), FExts(std::make_unique<TStringList>()), FDesc(AText), FTranslator(ATranslator),
      FUpdater(std::move(AUpdater)) {
  if (!AExt.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t semi = AExt.find(u';', start);
      FExts->Add(
          QEMUpperCase(AExt.substr(start, semi == std::u16string::npos ? semi : semi - start)));
      if (semi == std::u16string::npos) break;
      start = semi + 1;
    }
  }
  FSearchSettings = std::make_unique<TSearchSettings>();
  if (Instance) {
    const std::lock_guard lock(gPendingImagesLock);
    gPendingImages.emplace(this, Instance);
  }
}

TQEMBaseFileType::~TQEMBaseFileType() {
  const std::lock_guard lock(gPendingImagesLock);
  gPendingImages.erase(this);
}

void TQEMBaseFileType::LoadImages() {
  const std::lock_guard lock(gPendingImagesLock);
  const auto it = gPendingImages.find(this);
  if (it == gPendingImages.end()) return;
  void* instance = it->second;
  gPendingImages.erase(it);
  LoadVariants(instance, "FILEBITMAP", FFileBitmap);
  LoadVariants(instance, "KINDBITMAP", FKindBitmap);
}

TQEMTranslatorForm* TQEMBaseFileType::GetForm() {
  if (auto* form = FTranslator ? FTranslator->GetForm() : nullptr) return form;
  return QEMDefaultTranslatorForm ? QEMDefaultTranslatorForm(*this) : nullptr;
}
std::u16string TQEMBaseFileType::GetSubKey() {
  return FTranslator ? FTranslator->TranslatorSubKey() : u"";
}
TQEMBitmap* TQEMBaseFileType::GetFileBitmap(int Index) {
  LoadImages();
  return Variant(FFileBitmap, Index);
}
TQEMBitmap* TQEMBaseFileType::GetKindBitmap(int Index) {
  LoadImages();
  return Variant(FKindBitmap, Index);
}
int32_t TQEMBaseFileType::GetTranslatorCount() {
  return FUpdater ? FUpdater->GetTranslatorCount(-1) : 0;
}
void TQEMBaseFileType::SetTranslatorCount(int32_t Value) {
  if (FUpdater) FUpdater->GetTranslatorCount(Value);
}

void TQEMBaseFileType::ChangeSize(void*) {
  if (auto* form = GetForm()) form->ChangeSize();
}

void TQEMBaseFileType::Edit(const std::u16string& AFileName) {
  auto* form = GetForm();
  if (!form) return;
  if (QEMParentTranslatorForm) QEMParentTranslatorForm(*form);
  form->EditFile(AFileName);
  form->SetVisible(true);
}

std::u16string TQEMBaseFileType::FormatItem(const std::u16string& AText, void*) {
  return Format(u"{%s}\r\n", AText);
}

void TQEMBaseFileType::Idle(void* Sender, bool& Done) {
  if (auto* form = GetForm()) form->Idle(Sender, Done);
}

void TQEMBaseFileType::LoadFile(const std::u16string& AFileName, int32_t ACol, int32_t ARow) {
  if (auto* form = GetForm()) form->LoadFromFile(AFileName, ACol, ARow);
}

void TQEMBaseFileType::Search(TSearchInfo& ASearchInfo, const std::u16string& ASearchText,
                              bool ACaseSens, bool AWholeWords, bool AIgnorePickLetters,
                              const TSearchFoundEvent& ASearchFoundEvent) {
  if (!FTranslator || ASearchText.empty()) return;
  // The open copy holds the unsaved edits, so it is the one searched.
  TQEMTranslatorMgr* mgr = FindMgr(ASearchInfo.FileName);
  std::unique_ptr<TQEMTranslatorMgr> temporary;
  if (!mgr) {
    temporary = FTranslator->GetMgrClass().Create(ASearchInfo.FileName, false);
    mgr = temporary.get();
  }
  // An open file's window keeps its own search, handlers and row filter: they come back
  // afterwards, and its filter does not narrow a search over files.
  struct TRestore {
    TQEMTranslatorMgr& Mgr;
    TQEMSearchSettings Settings;
    TSearchStartEvent Start;
    TSearchFoundEvent Found;
    TSearchEndEvent End;
    std::function<bool(int)> Visible;
    ~TRestore() {
      Mgr.SearchSettings() = std::move(Settings);
      Mgr.OnSearchStart = std::move(Start);
      Mgr.OnSearchFound = std::move(Found);
      Mgr.OnSearchEnd = std::move(End);
      Mgr.SearchLineVisible = std::move(Visible);
    }
  } restore{*mgr,
            mgr->SearchSettings(),
            mgr->OnSearchStart,
            mgr->OnSearchFound,
            mgr->OnSearchEnd,
            mgr->SearchLineVisible};
  TQEMSearchSettings& s = mgr->SearchSettings();
  s = TQEMSearchSettings();
  s.Name = ASearchInfo.FileName;
  s.Pattern = ASearchText;
  s.PatternLCID = ASearchInfo.PatternLCID;
  s.Columns = FSearchSettings->Columns;
  s.CaseSensitive = ACaseSens;
  s.IgnorePickLetters = AIgnorePickLetters;
  s.WholeWordsOnly = AWholeWords;
  s.OrigLCID = mgr->Stats()->GetOrigLCID();
  s.XlatLCID = mgr->Stats()->GetXlatLCID();
  mgr->OnSearchStart = nullptr;
  mgr->OnSearchFound = ASearchFoundEvent;
  mgr->OnSearchEnd = nullptr;
  mgr->SearchLineVisible = nullptr;
  mgr->Search();
}

void TQEMBaseFileType::List(TListEventType EventType, const TStringList& FileList, void* Data,
                            const TCallBackFunc& ACallBackFunc) {
  if (!FTranslator) return;
  const TQEMListRequestData request =
      Data ? *static_cast<const TQEMListRequestData*>(Data) : TQEMListRequestData{};
  const auto step = [&](const std::u16string& File) {
    return !ACallBackFunc || ACallBackFunc(File, request.Data);
  };
  for (int i = 0; i < FileList.Count(); ++i) {
    const std::u16string& file = FileList.Get(i);
    TQEMTranslatorMgr* mgr = FindMgr(file);
    std::unique_ptr<TQEMTranslatorMgr> temporary;
    if (!mgr) {
      try {
        temporary = FTranslator->GetMgrClass().Create(file, false);
      } catch (const std::exception& e) {
        // An egg build goes on past a file it cannot open, as an update run does; the other
        // operations report to the user, who decides.
        if (EventType != leEggBuild) throw;
        ShowError(Format(SEggBuildFileFailed, file, QEMExceptionMessage(e)));
        if (!step(file)) return;
        continue;
      }
      mgr = temporary.get();
    }
    if (!step(file)) return;
    RunListEvent(EventType, *mgr, request.UserData);
  }
}
