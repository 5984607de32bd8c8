#pragma once
// The file-type contract between the host and the translator packages: the interface a package
// implements per kind of translated file, the process-wide registry packages register into,
// the images of file types in the workspace tree, and the keyboard shortcuts through which
// translator windows receive keys from the host window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/QEMTypes.h"
#include "platform/QEMClasses.h"
#include "translator/QEMTranslatorCommon.h"

class IQEMTranslatorUpdater;
class TQEMTranslatorForm;
class TSearchSettings;
struct TQEMBitmap;
struct TSearchInfo;
using IQEMTranslatorUpdaterPtr = std::shared_ptr<IQEMTranslatorUpdater>;

// One kind of translated file, implemented by a translator package (usually through
// TQEMBaseFileType). Operations in interface order.
class QEM_API IQEMFileType {
public:
  virtual ~IQEMFileType();
  // The identifier stored as a project file's kind.
  virtual std::u16string GetName() = 0;
  // Upper-cased extensions with their leading dot.
  virtual const TStringList& GetExts() = 0;
  virtual std::u16string GetDesc() = 0;
  virtual TQEMTranslatorForm* GetForm() = 0;
  virtual std::u16string GetSubKey() = 0;
  // Variant 0 plain, 1 tinted untranslated, 2 tinted auto-translated.
  virtual TQEMBitmap* GetFileBitmap(int Index) = 0;
  virtual TQEMBitmap* GetKindBitmap(int Index) = 0;
  // The two operations whose meaning is the package's: a version text of the package and
  // whether it takes a file it is offered (by content, not only by extension).
  virtual std::u16string GetPackageVersion() = 0;
  virtual bool AcceptsFile(const std::u16string& FileName) = 0;
  virtual TSearchSettings* GetSearchSettings() = 0;
  virtual IQEMTranslatorUpdaterPtr GetUpdater() = 0;
  virtual int32_t GetTranslatorCount() = 0;
  virtual void SetTranslatorCount(int32_t Value) = 0;
  virtual void ChangeSize(void* Sender) = 0;
  virtual void Edit(const std::u16string& AFileName) = 0;
  virtual std::u16string FormatItem(const std::u16string& AText, void* AObject) = 0;
  virtual TFileStats GetStats(const std::u16string& AFileName, bool PerformCheck) = 0;
  virtual void Idle(void* Sender, bool& Done) = 0;
  // Runs a batch operation over the files. Data points at a TQEMListRequestData: its Data goes
  // to every call of ACallBackFunc (once per file, before the file; false stops the operation),
  // its UserData is what the event's operation takes.
  virtual void List(TListEventType EventType, const TStringList& FileList, void* Data,
                    const TCallBackFunc& ACallBackFunc) = 0;
  virtual void LoadFile(const std::u16string& AFileName, int32_t ACol, int32_t ARow) = 0;
  virtual void Search(TSearchInfo& ASearchInfo, const std::u16string& ASearchText, bool ACaseSens,
                      bool AWholeWords, bool AIgnorePickLetters,
                      const TSearchFoundEvent& ASearchFoundEvent) = 0;
};
using IQEMFileTypePtr = std::shared_ptr<IQEMFileType>;

// ---- search declarations ----
enum TGridSearchScope : uint8_t { gssGlobal, gssSelectedRows };
enum TSearchTab : uint8_t { stSearch, stSearchInFiles };
using TSearchTabs = uint8_t; // bit per TSearchTab

struct TGridRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// What "Find in Files" searches in the files of one type, and its options.
class QEM_API TSearchSettings {
public:
  int32_t ACol = 0;
  int32_t ARow = 0;
  TGridRect Area;
  bool CaseSensitive = false;
  bool IgnorePickLetters = false;
  std::u16string Pattern;
  LCID PatternLCID = 0;
  bool ResultsInList = false;
  TGridSearchScope Scope = gssGlobal;
  bool Used = false;
  bool WholeWordsOnly = false;
  TQEMAllColIds Columns;
};

struct TSearchInfo {
  LCID PatternLCID = 0;
  std::u16string FileName;
  IQEMFileTypePtr CurrFileType;
  std::vector<IQEMFileTypePtr> FileTypes;
  void* ListBox = nullptr; // the GUI's check-list box; null headless
};

struct TSearchLineRec {
  LCID AOrigLCID = 0;
  LCID AXlatLCID = 0;
  std::u16string AFileName;
  IQEMFileTypePtr AFileType;
  TQEMAllColId AColAsEnum = idColIndex;
  int32_t AMgrLine = 0;
  int32_t ADisplayLine = 0;
  int32_t AFoundPos = 0;
  std::u16string APattern;
  std::u16string ATemplate;
  bool AIsFindInFiles = false;
  TColInfo AColInfo;
};

// ---- images ----
// A small 32-bit image: Pixels hold 0x00RRGGBB, rows top to bottom.
struct QEM_API TQEMImage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;

  uint32_t Pixel(int32_t X, int32_t Y) const {
    return Pixels[size_t(Y) * size_t(Width) + size_t(X)];
  }
  // The bottom-left pixel, as the host toolkit takes it; 0 for an empty image.
  uint32_t TransparentColor() const;
};

// Decodes an uncompressed Windows bitmap of 1, 4, 8, 24 or 32 bits per pixel (with or without
// the 14-byte file header). Raises EQEMError for anything else or for damaged data.
QEM_API TQEMImage QEMDecodeBMP(const void* Data, size_t Size);

// Moves every pixel that is not the transparent colour halfway toward Color (0x00BBGGRR, the
// scheme's form), channel by channel: the image stays recognisable and takes the colour's hue.
QEM_API TQEMImage QEMTintImage(const TQEMImage& Image, uint32_t Color);

// An image and its index in the workspace image list (-1 until added).
struct TQEMBitmap {
  std::shared_ptr<TQEMImage> Bitmap;
  int Index = -1;
};

// Variant 0 plain, 1 tinted with the untranslated-item colour, 2 with the auto-translated one.
using TQEMBitmapVariants = TQEMBitmap[3];
// Fills the three variants from Image using the selected colour scheme; indexes become -1.
QEM_API void QEMMakeBitmapVariants(const TQEMImage& Image, TQEMBitmapVariants& Variants);
// Re-tints variants 1 and 2 from variant 0 after a colour change; indexes are kept.
QEM_API void QEMRetintBitmapVariants(TQEMBitmapVariants& Variants);

// The workspace tree's image list; the GUI implements it over its own toolkit.
class QEM_API IQEMImageList {
public:
  virtual ~IQEMImageList();
  // MaskColor is the colour drawn transparent. Returns the new image's index.
  virtual int Add(const TQEMImage& Image, uint32_t MaskColor) = 0;
  virtual void Replace(int Index, const TQEMImage& Image, uint32_t MaskColor) = 0;
  virtual int Count() const = 0;
  virtual const TQEMImage& Image(int Index) const = 0;
};

// An image list in memory, for headless runs and tests.
class QEM_API TQEMMemoryImageList : public IQEMImageList {
public:
  int Add(const TQEMImage& Image, uint32_t MaskColor) override;
  void Replace(int Index, const TQEMImage& Image, uint32_t MaskColor) override;
  int Count() const override { return int(FImages.size()); }
  const TQEMImage& Image(int Index) const override;
  uint32_t MaskColor(int Index) const;

private:
  void Check(int Index) const;
  std::vector<std::pair<TQEMImage, uint32_t>> FImages;
};

// ---- the file-type registry ----
class QEM_API TQEMFileTypes {
public:
  TQEMFileTypes() = default;
  TQEMFileTypes(const TQEMFileTypes&) = delete;
  TQEMFileTypes& operator=(const TQEMFileTypes&) = delete;

  // Kept in order of description (locale-aware, ignoring case); equal descriptions keep their
  // registration order. Returns the position, -1 for no type.
  int Add(const IQEMFileTypePtr& FileType);
  void Delete(int Index);
  int Count() const { return int(FList.size()); }
  IQEMFileTypePtr GetQEMFileType(int Index) const;
  // By GetName, case-sensitive.
  int IndexOf(const std::u16string& Name) const;
  int IndexOf(const IQEMFileType* FileType) const;
  int IndexOf(const IQEMFileTypePtr& FileType) const { return IndexOf(FileType.get()); }
  // The first type serving the extension (with its dot), ignoring case.
  int ExtIndexOf(const std::u16string& Ext) const;
  // An open-dialog filter entry: "Desc (*.a;*.b)|*.a;*.b".
  std::u16string GetFilter(int Index) const;

  // Not owned. A different list drops the indexes into the previous one.
  void SetImageList(IQEMImageList* ImageList);
  IQEMImageList* GetImageList() const { return FImageList; }
  void AddTheBitmaps(IQEMFileType& FileType);
  void UpdateBitmaps();
  const TQEMBitmap& GlobeBitmap(int Variant) const { return FGlobeBitmap[Variant]; }

  // The type registered last; the package loader clears it before each package loads.
  IQEMFileTypePtr LatestAdded() const { return FLatestAdded; }
  void ClearLatestAdded() { FLatestAdded.reset(); }
  // The registered types in order, to tell what a package added by comparing before and after.
  std::vector<IQEMFileTypePtr> Snapshot() const { return FList; }

private:
  void ResetIndexes();

  std::vector<IQEMFileTypePtr> FList;
  IQEMImageList* FImageList = nullptr;
  IQEMFileTypePtr FLatestAdded;
  TQEMBitmapVariants FGlobeBitmap;
};

// The process-wide registry; raises EQEMError outside the unit's start-up and shut-down.
QEM_API TQEMFileTypes& QEMFileTypes();
QEM_API bool QEMFileTypesStarted();
QEM_API void QEMFileTypesInitialize();
QEM_API void QEMFileTypesFinalize();

QEM_API int RegisterQEMFileType(const IQEMFileTypePtr& FileType);
QEM_API void UnRegisterQEMFileType(const IQEMFileTypePtr& FileType);

// What the host's workspace tree offers; empty hooks (headless) mean there is no tree.
struct TQEMTreeViewHooks {
  std::function<bool()> TreeExists;
  std::function<void()> BeginUpdate;
  std::function<void()> EndUpdate;
  std::function<void()> GlobalUpdateTMImages;
};
QEM_API extern TQEMTreeViewHooks QEMTreeViewHooks;

// Re-tints the images inside one tree update; Refresh also refreshes the hosts' other images.
QEM_API void UpdateGlobalTreeViewImages(bool Refresh);

// ---- keyboard shortcuts ----
using TQEMNotifyEvent = std::function<void(void* Sender)>;

// Handlers cannot be compared, so each carries an identity: records with the same handler
// give the same FEventId (the address of the object or function behind it will do).
struct QEM_API TQEMShortcut {
  void* FForm = nullptr;
  TQEMKeyEvent FKeyEvent = keNone;
  uint16_t FKey = 0;
  TShiftState FShift = 0;
  TQEMNotifyEvent FEvent;
  uintptr_t FEventId = 0;

  bool SameAs(const TQEMShortcut& Other) const;
};
using TQEMShortcuts = std::vector<TQEMShortcut>;
QEM_API extern TQEMShortcuts QEMShortcuts;

// A command with a shortcut, as the host's action lists hold them.
struct TQEMAction {
  uint16_t ShortCutKey = 0;
  TShiftState ShortCutShift = 0;
  TQEMNotifyEvent OnExecute;
  uintptr_t Id = 0;
};

QEM_API void RegisterQEMShortcut(const TQEMShortcut& Shortcut);
QEM_API void RegisterQEMShortcuts(const TQEMShortcuts& Shortcuts);
// Removes the first equal entry; an absent one is ignored.
QEM_API void UnRegisterQEMShortcut(const TQEMShortcut& Shortcut);
QEM_API void UnRegisterQEMShortcuts(const TQEMShortcuts& Shortcuts);
QEM_API TQEMShortcut MakeQEMShortcut(void* Form, TQEMKeyEvent KeyEvent, uint16_t Key,
                                     TShiftState Shift, TQEMNotifyEvent Event = {},
                                     uintptr_t EventId = 0);
QEM_API TQEMShortcut MakeQEMShortcutFromAction(void* Form, TQEMKeyEvent KeyEvent,
                                               const TQEMAction& Action);

inline constexpr uint16_t QEMVK_F6 = 0x75;
inline constexpr uint16_t QEMVK_F11 = 0x7A;

// The host window sees every key before its children and hands them to the shown translator
// window's shortcuts. Each call returns true when the key was taken or swallowed; a taken key
// is set to 0.
class QEM_API TQEMKeyDispatcher {
public:
  explicit TQEMKeyDispatcher(void* HostWindow) : FHostWindow(HostWindow) {}

  // The translator window shown in the workspace (null when none) and its own handlers, which
  // get the key when a matching shortcut has no handler.
  void* ShownWindow = nullptr;
  std::function<void(uint16_t& Key, TShiftState Shift)> WindowKeyDown;
  std::function<void(char16_t& Key)> WindowKeyPress;
  std::function<void(uint16_t& Key, TShiftState Shift)> WindowKeyUp;
  // F11: maximised <-> normal. F6: focus between the tree and ShownWindow (null when none).
  std::function<void()> OnToggleMaximized;
  std::function<void(void* ShownWindow)> OnSwitchFocus;
  // The registry to match; QEMShortcuts unless a test gives its own.
  const TQEMShortcuts* Shortcuts = &QEMShortcuts;

  bool KeyDown(uint16_t& Key, TShiftState Shift);
  bool KeyPress(char16_t& Key);
  bool KeyUp(uint16_t& Key, TShiftState Shift);

private:
  const TQEMShortcut* Find(TQEMKeyEvent Event, uint16_t Key, TShiftState Shift,
                           bool MatchShift) const;

  void* FHostWindow;
  TQEMKeyEvent FHLXKeyEvent = keNone;
  bool FHLXKeyHandled = false;
};
