#pragma once
// The desktop side of the UI services: message boxes and questions, file and folder choosers,
// input queries, the message pump and the progress window of long operations.
#include <QDialog>
#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "platform/QEMUIServices.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

// A progress window: caption, bar, message lines and a Cancel button. Each step pumps the
// event queue (at most every few milliseconds), so the program stays responsive during a run.
// Escape and closing the window cancel as the button does.
class TQEMProgressWindow : public QDialog, public IQEMProgress {
  Q_OBJECT
public:
  explicit TQEMProgressWindow(const QString& Caption, QWidget* Parent = nullptr);

  void SetMessage(const std::u16string& Msg) override;
  void SetRange(int Max) override;
  void SetPosition(int Position) override;
  void StepIt() override;
  bool Cancelled() const override { return FCancelled; }
  // A finished run shows a full bar and can no longer be cancelled.
  void Done(bool Interactive) override;

  QPushButton* CancelButton() const { return FCancel; }
  QProgressBar* Bar() const { return FBar; }
  QListWidget* Messages() const { return FMessages; }

signals:
  void positionChanged(int Position);

public slots:
  void reject() override;

private:
  void Pump(bool Force = false);

  QLabel* FCaption;
  QProgressBar* FBar;
  QListWidget* FMessages;
  QPushButton* FCancel;
  bool FCancelled = false;
  QElapsedTimer FSincePump;
};

class TQEMQtUIServices : public QObject, public IQEMUIServices {
  Q_OBJECT
public:
  void ErrorBox(const std::u16string& Msg) override;
  void MessageBox(const std::u16string& Msg) override;
  // Every question starts on the answer the headless services take (Default); Escape gives the
  // safe answer: Cancel where there is one, else No.
  bool AskYesNo(const std::u16string& Msg, bool Default, bool* DontShowAgain) override;
  TQEMAnswer AskYesNoCancel(const std::u16string& Msg, TQEMAnswer Default,
                            bool* DontShowAgain) override;
  bool WarningQuestion(const std::u16string& Msg, bool Default) override;
  bool ChooseOpenFile(const std::u16string& Title, const std::u16string& Filter,
                      std::u16string& FileName) override;
  bool ChooseSaveFile(const std::u16string& Title, const std::u16string& Filter,
                      std::u16string& FileName) override;
  bool ChooseFolder(const std::u16string& Title, std::u16string& Folder) override;
  bool InputQuery(const std::u16string& Caption, const std::u16string& Prompt,
                  std::u16string& Value) override;
  void ProcessMessages() override;
  std::unique_ptr<IQEMProgress> CreateProgress(const std::u16string& Caption) override;
  int ScreenPixelsPerInch() const override;

  // Several existing files at once; Dir is where the dialog starts.
  bool ChooseOpenFiles(const std::u16string& Title, const std::u16string& Filter,
                       const std::u16string& Dir, std::vector<std::u16string>& Files);

signals:
  void progressCreated(TQEMProgressWindow* Window);
};

// "Desc|*.a;*.b|Desc2|*.c" as Qt's name filters: "Desc (*.a *.b)", "Desc2 (*.c)". A pattern list
// already in the description is replaced, and "*.*" becomes "*", which also matches names
// without a dot.
QStringList QEMQtNameFilters(std::u16string_view Filter);

// The Qt services when installed, else null: the main window uses their extras.
TQEMQtUIServices* QEMQtUIServices();
