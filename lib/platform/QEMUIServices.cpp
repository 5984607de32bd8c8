#include "platform/QEMUIServices.h"

#include <cstdio>

#include "platform/QEMSysUtils.h"

IQEMProgress::~IQEMProgress() = default;
void IQEMProgress::Done(bool) {}
IQEMUIServices::~IQEMUIServices() = default;

namespace {

class TSilentProgress : public IQEMProgress {
public:
  void SetMessage(const std::u16string&) override {}
  void SetRange(int) override {}
  void SetPosition(int) override {}
  void StepIt() override {}
  bool Cancelled() const override { return false; }
};

// Counts steps and reports cancelled once the scripted limit is reached; records its done
// notice with what the services have shown.
class TScriptedProgress : public IQEMProgress {
public:
  using TShown = TQEMScriptedUIServices::TShown;
  TScriptedProgress(int CancelAfter, std::vector<TShown>& Shown)
      : FCancelAfter(CancelAfter), FShown(Shown) {}
  void SetMessage(const std::u16string&) override {}
  void SetRange(int) override {}
  void SetPosition(int Position) override { FSteps = Position; }
  void StepIt() override { ++FSteps; }
  bool Cancelled() const override { return FCancelAfter >= 0 && FSteps >= FCancelAfter; }
  void Done(bool Interactive) override {
    FShown.push_back(
        {TQEMScriptedUIServices::TKind::skProgressDone, Interactive ? u"interactive" : u"batch"});
  }

private:
  int FCancelAfter;
  int FSteps = 0;
  std::vector<TShown>& FShown;
};

std::shared_ptr<IQEMUIServices>& Installed() {
  static std::shared_ptr<IQEMUIServices> services;
  return services;
}

} // namespace

TQEMHeadlessUIServices::TQEMHeadlessUIServices(TSink Sink) : FSink(std::move(Sink)) {
  if (!FSink)
    FSink = [](const std::u16string& Msg) {
      const std::string s = UTF16ToUTF8(Msg) + "\n";
      std::fwrite(s.data(), 1, s.size(), stderr);
    };
}
void TQEMHeadlessUIServices::ErrorBox(const std::u16string& Msg) {
  FSink(Msg);
}
void TQEMHeadlessUIServices::MessageBox(const std::u16string& Msg) {
  FSink(Msg);
}
bool TQEMHeadlessUIServices::AskYesNo(const std::u16string&, bool Default, bool*) {
  return Default;
}
TQEMAnswer TQEMHeadlessUIServices::AskYesNoCancel(const std::u16string&, TQEMAnswer Default,
                                                  bool*) {
  return Default;
}
bool TQEMHeadlessUIServices::WarningQuestion(const std::u16string&, bool Default) {
  return Default;
}
bool TQEMHeadlessUIServices::ChooseOpenFile(const std::u16string&, const std::u16string&,
                                            std::u16string&) {
  return false;
}
bool TQEMHeadlessUIServices::ChooseSaveFile(const std::u16string&, const std::u16string&,
                                            std::u16string&) {
  return false;
}
bool TQEMHeadlessUIServices::ChooseFolder(const std::u16string&, std::u16string&) {
  return false;
}
bool TQEMHeadlessUIServices::InputQuery(const std::u16string&, const std::u16string&,
                                        std::u16string&) {
  return false;
}
void TQEMHeadlessUIServices::ProcessMessages() {}
std::unique_ptr<IQEMProgress> TQEMHeadlessUIServices::CreateProgress(const std::u16string&) {
  return std::make_unique<TSilentProgress>();
}
int TQEMHeadlessUIServices::ScreenPixelsPerInch() const {
  return 96;
}

bool TQEMScriptedUIServices::NextReply(TReply& Reply) {
  if (FReplies.empty()) return false;
  Reply = std::move(FReplies.front());
  FReplies.pop_front();
  return true;
}

void TQEMScriptedUIServices::ErrorBox(const std::u16string& Msg) {
  FShown.push_back({TKind::skError, Msg});
}
void TQEMScriptedUIServices::MessageBox(const std::u16string& Msg) {
  FShown.push_back({TKind::skMessage, Msg});
}

bool TQEMScriptedUIServices::AskYesNo(const std::u16string& Msg, bool Default,
                                      bool* DontShowAgain) {
  FShown.push_back({TKind::skYesNo, Msg});
  TReply r;
  if (!NextReply(r)) return Default;
  if (DontShowAgain) *DontShowAgain = r.DontShowAgain;
  return r.Answer == TQEMAnswer::anYes || r.Answer == TQEMAnswer::anOK;
}

TQEMAnswer TQEMScriptedUIServices::AskYesNoCancel(const std::u16string& Msg, TQEMAnswer Default,
                                                  bool* DontShowAgain) {
  FShown.push_back({TKind::skYesNoCancel, Msg});
  TReply r;
  if (!NextReply(r)) return Default;
  if (DontShowAgain) *DontShowAgain = r.DontShowAgain;
  return r.Answer;
}

bool TQEMScriptedUIServices::WarningQuestion(const std::u16string& Msg, bool Default) {
  FShown.push_back({TKind::skWarning, Msg});
  TReply r;
  if (!NextReply(r)) return Default;
  return r.Answer == TQEMAnswer::anYes || r.Answer == TQEMAnswer::anOK;
}

bool TQEMScriptedUIServices::Choose(TKind Kind, const std::u16string& Title,
                                    std::u16string& Value) {
  FShown.push_back({Kind, Title});
  TReply r;
  if (!NextReply(r) || r.Value.empty() || r.Answer == TQEMAnswer::anCancel) return false;
  Value = r.Value;
  return true;
}

bool TQEMScriptedUIServices::ChooseOpenFile(const std::u16string& Title, const std::u16string&,
                                            std::u16string& FileName) {
  return Choose(TKind::skOpenFile, Title, FileName);
}
bool TQEMScriptedUIServices::ChooseSaveFile(const std::u16string& Title, const std::u16string&,
                                            std::u16string& FileName) {
  return Choose(TKind::skSaveFile, Title, FileName);
}
bool TQEMScriptedUIServices::ChooseFolder(const std::u16string& Title, std::u16string& Folder) {
  return Choose(TKind::skFolder, Title, Folder);
}
bool TQEMScriptedUIServices::InputQuery(const std::u16string& Caption, const std::u16string& Prompt,
                                        std::u16string& Value) {
  return Choose(TKind::skInput, Caption + u": " + Prompt, Value);
}

std::unique_ptr<IQEMProgress>
TQEMScriptedUIServices::CreateProgress(const std::u16string& Caption) {
  FShown.push_back({TKind::skProgress, Caption});
  return std::make_unique<TScriptedProgress>(FCancelAfter, FShown);
}

IQEMUIServices& QEMUIServices() {
  auto& s = Installed();
  if (!s) s = std::make_shared<TQEMHeadlessUIServices>();
  return *s;
}

std::shared_ptr<IQEMUIServices> QEMSetUIServices(std::shared_ptr<IQEMUIServices> Services) {
  auto old = std::move(Installed());
  Installed() = std::move(Services);
  return old;
}
