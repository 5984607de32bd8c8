#pragma once
// A file type that does nothing; unnamed namespace so it cannot clash with other suites' fakes.
#include "translator/QEMFileTypes.h"

namespace {

class TFakeFileType : public IQEMFileType {
public:
  TFakeFileType(std::u16string Name, std::u16string Desc,
                std::initializer_list<std::u16string> Exts = {}, const TQEMImage* Image = nullptr)
      : FName(std::move(Name)), FDesc(std::move(Desc)) {
    for (const auto& e : Exts)
      FExts.Add(e);
    if (Image) QEMMakeBitmapVariants(*Image, FFile);
  }
  std::u16string GetName() override { return FName; }
  const TStringList& GetExts() override { return FExts; }
  std::u16string GetDesc() override { return FDesc; }
  TQEMTranslatorForm* GetForm() override { return nullptr; }
  std::u16string GetSubKey() override { return {}; }
  TQEMBitmap* GetFileBitmap(int Index) override { return &FFile[Index]; }
  TQEMBitmap* GetKindBitmap(int Index) override { return &FKind[Index]; }
  std::u16string GetPackageVersion() override { return {}; }
  bool AcceptsFile(const std::u16string&) override { return false; }
  TSearchSettings* GetSearchSettings() override { return nullptr; }
  IQEMTranslatorUpdaterPtr GetUpdater() override { return nullptr; }
  int32_t GetTranslatorCount() override { return Count; }
  void SetTranslatorCount(int32_t Value) override { Count = Value; }
  void ChangeSize(void*) override {}
  void Edit(const std::u16string&) override {}
  std::u16string FormatItem(const std::u16string& AText, void*) override { return AText; }
  TFileStats GetStats(const std::u16string& AFileName, bool) override {
    if (AFileName == u"broken") throw EQEMError(u"unreadable");
    return Stats;
  }
  void Idle(void*, bool&) override {}
  void List(TListEventType, const TStringList&, void*, const TCallBackFunc&) override {}
  void LoadFile(const std::u16string&, int32_t, int32_t) override {}
  void Search(TSearchInfo&, const std::u16string&, bool, bool, bool,
              const TSearchFoundEvent&) override {}

  int32_t Count = 0;
  TFileStats Stats;
  TQEMBitmapVariants FFile, FKind;

private:
  std::u16string FName, FDesc;
  TStringList FExts;
};

} // namespace
