#pragma once
// What the library asks of its host's user interface. The host installs one implementation:
// headless for unattended runs (no questions, messages to a log sink), scripted for tests
// (answers queued in advance, everything shown recorded), and later the desktop GUI's.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/QEMExport.h"

enum class TQEMAnswer { anOK, anYes, anNo, anCancel };

// A long operation's window: the operation stops between items once Cancelled() is true.
class QEM_API IQEMProgress {
public:
  virtual ~IQEMProgress();
  virtual void SetMessage(const std::u16string& Msg) = 0;
  virtual void SetRange(int Max) = 0;
  virtual void SetPosition(int Position) = 0;
  virtual void StepIt() = 0;
  virtual bool Cancelled() const = 0;
  // The operation ran to its end (not after a cancel); Interactive is false in a command-line
  // batch. A window with nothing to show for it ignores the notice.
  virtual void Done(bool Interactive);
};

class QEM_API IQEMUIServices {
public:
  virtual ~IQEMUIServices();
  virtual void ErrorBox(const std::u16string& Msg) = 0;
  virtual void MessageBox(const std::u16string& Msg) = 0;
  // DontShowAgain, when given, offers the "don't show again" check box and receives its state.
  // Default is what a host that asks nobody answers.
  virtual bool AskYesNo(const std::u16string& Msg, bool Default, bool* DontShowAgain = nullptr) = 0;
  virtual TQEMAnswer AskYesNoCancel(const std::u16string& Msg, TQEMAnswer Default,
                                    bool* DontShowAgain = nullptr) = 0;
  virtual bool WarningQuestion(const std::u16string& Msg, bool Default) = 0;
  // Filter uses the form "Description|*.ext;*.ext2|...". Each returns false when cancelled.
  virtual bool ChooseOpenFile(const std::u16string& Title, const std::u16string& Filter,
                              std::u16string& FileName) = 0;
  virtual bool ChooseSaveFile(const std::u16string& Title, const std::u16string& Filter,
                              std::u16string& FileName) = 0;
  virtual bool ChooseFolder(const std::u16string& Title, std::u16string& Folder) = 0;
  virtual bool InputQuery(const std::u16string& Caption, const std::u16string& Prompt,
                          std::u16string& Value) = 0;
  virtual void ProcessMessages() = 0;
  virtual std::unique_ptr<IQEMProgress> CreateProgress(const std::u16string& Caption) = 0;
  virtual int ScreenPixelsPerInch() const = 0;
};

// No display, nobody to ask: questions take their default, choosers cancel, messages and
// errors go to the sink (standard error unless told otherwise).
class QEM_API TQEMHeadlessUIServices : public IQEMUIServices {
public:
  using TSink = std::function<void(const std::u16string&)>;
  explicit TQEMHeadlessUIServices(TSink Sink = nullptr);
  void ErrorBox(const std::u16string& Msg) override;
  void MessageBox(const std::u16string& Msg) override;
  bool AskYesNo(const std::u16string& Msg, bool Default, bool* DontShowAgain) override;
  TQEMAnswer AskYesNoCancel(const std::u16string& Msg, TQEMAnswer Default,
                            bool* DontShowAgain) override;
  bool WarningQuestion(const std::u16string& Msg, bool Default) override;
  bool ChooseOpenFile(const std::u16string&, const std::u16string&, std::u16string&) override;
  bool ChooseSaveFile(const std::u16string&, const std::u16string&, std::u16string&) override;
  bool ChooseFolder(const std::u16string&, std::u16string&) override;
  bool InputQuery(const std::u16string&, const std::u16string&, std::u16string&) override;
  void ProcessMessages() override;
  std::unique_ptr<IQEMProgress> CreateProgress(const std::u16string& Caption) override;
  int ScreenPixelsPerInch() const override;

private:
  TSink FSink;
};

// For tests: each question or chooser takes the next queued reply (the default when none is
// queued); everything shown is recorded in order.
class QEM_API TQEMScriptedUIServices : public IQEMUIServices {
public:
  enum class TKind {
    skError,
    skMessage,
    skYesNo,
    skYesNoCancel,
    skWarning,
    skOpenFile,
    skSaveFile,
    skFolder,
    skInput,
    skProgress,
    skProgressDone
  };
  struct TShown {
    TKind Kind;
    std::u16string Text;
  };
  struct TReply {
    TQEMAnswer Answer = TQEMAnswer::anYes;
    bool DontShowAgain = false;
    std::u16string Value; // file, folder or input text; an empty chooser reply cancels
  };

  void Queue(TReply Reply) { FReplies.push_back(std::move(Reply)); }
  void QueueAnswer(TQEMAnswer Answer, bool DontShowAgain = false) {
    Queue(TReply{Answer, DontShowAgain, {}});
  }
  void QueueValue(std::u16string Value) {
    Queue(TReply{TQEMAnswer::anOK, false, std::move(Value)});
  }
  void CancelAfter(int Steps) { FCancelAfter = Steps; }
  // A progress window told it is done shows as skProgressDone, with the text "interactive"
  // or "batch".
  const std::vector<TShown>& Shown() const { return FShown; }
  size_t PendingReplies() const { return FReplies.size(); }
  int MessagePumps() const { return FPumps; }
  void SetPixelsPerInch(int Value) { FPPI = Value; }

  void ErrorBox(const std::u16string& Msg) override;
  void MessageBox(const std::u16string& Msg) override;
  bool AskYesNo(const std::u16string& Msg, bool Default, bool* DontShowAgain) override;
  TQEMAnswer AskYesNoCancel(const std::u16string& Msg, TQEMAnswer Default,
                            bool* DontShowAgain) override;
  bool WarningQuestion(const std::u16string& Msg, bool Default) override;
  bool ChooseOpenFile(const std::u16string& Title, const std::u16string&,
                      std::u16string& FileName) override;
  bool ChooseSaveFile(const std::u16string& Title, const std::u16string&,
                      std::u16string& FileName) override;
  bool ChooseFolder(const std::u16string& Title, std::u16string& Folder) override;
  bool InputQuery(const std::u16string& Caption, const std::u16string& Prompt,
                  std::u16string& Value) override;
  void ProcessMessages() override { ++FPumps; }
  std::unique_ptr<IQEMProgress> CreateProgress(const std::u16string& Caption) override;
  int ScreenPixelsPerInch() const override { return FPPI; }

private:
  bool NextReply(TReply& Reply);
  bool Choose(TKind Kind, const std::u16string& Title, std::u16string& Value);
  std::deque<TReply> FReplies;
  std::vector<TShown> FShown;
  int FCancelAfter = -1;
  int FPumps = 0;
  int FPPI = 96;
};

// The installed services; headless until the host installs its own.
QEM_API IQEMUIServices& QEMUIServices();
// Installs Services (nullptr restores the headless default) and returns the previous ones.
QEM_API std::shared_ptr<IQEMUIServices> QEMSetUIServices(std::shared_ptr<IQEMUIServices> Services);

// Puts Services in place for a scope and the previous ones back at its end, errors included.
class TQEMUIServicesScope {
public:
  explicit TQEMUIServicesScope(std::shared_ptr<IQEMUIServices> Services)
      : FPrevious(QEMSetUIServices(std::move(Services))) {}
  ~TQEMUIServicesScope() { QEMSetUIServices(FPrevious); }
  TQEMUIServicesScope(const TQEMUIServicesScope&) = delete;
  TQEMUIServicesScope& operator=(const TQEMUIServicesScope&) = delete;

private:
  std::shared_ptr<IQEMUIServices> FPrevious;
};
