#pragma once
// The base classes a translator package derives from: its entry class, the registration object
// of each file type it serves, and what the host needs of its editor window.
#include <functional>
#include <memory>
#include <string>

#include "translator/QEMFileTypes.h"
#include "translator/QEMTranslatorMgr.h"
#include "translator/QEMTranslatorUpdater.h"

// The editor window of one translated file. The window's behaviour lives in the editing layer;
// a file type only forwards to these operations.
class QEM_API TQEMTranslatorForm {
public:
  virtual ~TQEMTranslatorForm();
  virtual bool CanQuit(bool IsAppEnding) = 0;
  virtual void ChangeSize() = 0;
  virtual void HideDockPanel() = 0;
  virtual void LoadFromFile(const std::u16string& AFileName, int32_t ACol, int32_t AMgrIndex) = 0;
  virtual void Search() = 0;
  virtual void ShowDockPanel() = 0;
  virtual void EditFile(const std::u16string& AFileName) = 0;
  virtual void Idle(void* Sender, bool& Done) = 0;
  virtual void SetVisible(bool Value) = 0;
};

// The host parents an editor window into its workspace before the window shows a file; the
// GUI installs it, headless runs leave it empty.
QEM_API extern std::function<void(TQEMTranslatorForm&)> QEMParentTranslatorForm;

class TQEMBaseFileType;
// The window of a file type whose package brings none of its own: the host's grid over the
// editing layer's model. Empty (headless) means such types have no window.
QEM_API extern std::function<TQEMTranslatorForm*(TQEMBaseFileType&)> QEMDefaultTranslatorForm;

// A package's entry class: which manager reads its files and which window edits them.
class QEM_API TQEMTranslator {
public:
  TQEMTranslator();
  virtual ~TQEMTranslator();
  virtual const TQEMTranslatorMgrClass& GetMgrClass() = 0;
  virtual TQEMTranslatorForm* GetForm() = 0;

  // Not owning: the file type owns nothing of the translator either; the package keeps both.
  IQEMFileType* QEMFileType() const { return FQEMFileType; }
  void SetQEMFileType(IQEMFileType* Value) { FQEMFileType = Value; }
  const std::u16string& TranslatorSubKey() const { return FTranslatorSubKey; }
  void SetTranslatorSubKey(std::u16string Value) { FTranslatorSubKey = std::move(Value); }

protected:
  IQEMFileType* FQEMFileType = nullptr;
  std::u16string FTranslatorSubKey;
};

class QEM_API TQEMBaseFileType : public IQEMFileType {
public:
  // AExt: extensions separated by ";". Instance: the package's module handle, whose images
  // "FILEBITMAP" and "KINDBITMAP" show the type (null: no images).
  TQEMBaseFileType(const std::u16string& AName, const std::u16string& AExt,
                   const std::u16string& AText, TQEMTranslator* ATranslator, void* Instance,
                   IQEMTranslatorUpdaterPtr AUpdater);
  ~TQEMBaseFileType() override;

  std::u16string GetName() override { return FName; }
  const TStringList& GetExts() override { return *FExts; }
  std::u16string GetDesc() override { return FDesc; }
  TQEMTranslatorForm* GetForm() override;
  std::u16string GetSubKey() override;
  TQEMBitmap* GetFileBitmap(int Index) override;
  TQEMBitmap* GetKindBitmap(int Index) override;
  TSearchSettings* GetSearchSettings() override { return FSearchSettings.get(); }
  IQEMTranslatorUpdaterPtr GetUpdater() override { return FUpdater; }
  int32_t GetTranslatorCount() override;
  void SetTranslatorCount(int32_t Value) override;
  void ChangeSize(void* Sender) override;
  void Edit(const std::u16string& AFileName) override;
  std::u16string FormatItem(const std::u16string& AText, void* AObject) override;
  TFileStats GetStats(const std::u16string& AFileName, bool PerformCheck) override = 0;
  void Idle(void* Sender, bool& Done) override;
  void List(TListEventType EventType, const TStringList& FileList, void* Data,
            const TCallBackFunc& ACallBackFunc) override;
  void LoadFile(const std::u16string& AFileName, int32_t ACol, int32_t ARow) override;
  void Search(TSearchInfo& ASearchInfo, const std::u16string& ASearchText, bool ACaseSens,
              bool AWholeWords, bool AIgnorePickLetters,
              const TSearchFoundEvent& ASearchFoundEvent) override;

  TQEMTranslator* Translator() const { return FTranslator; }

protected:
  // Decodes the package's images on first use (a non-virtual member: no layout change).
  void LoadImages();

  std::u16string FName;
  std::unique_ptr<TStringList> FExts;
  std::u16string FDesc;
  TQEMTranslator* FTranslator;
  TQEMBitmapVariants FFileBitmap;
  TQEMBitmapVariants FKindBitmap;
  std::unique_ptr<TSearchSettings> FSearchSettings;
  IQEMTranslatorUpdaterPtr FUpdater;
};
