#pragma once
// What the main window needs to host translator windows: one window per file type whose package
// brings none (given to the packages through QEMDefaultTranslatorForm and placed into the
// translator panel through QEMParentTranslatorForm), the keyboard-shortcut dispatch of the
// window shown, and the preparation and follow-up of batch runs over files that may be open.
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "translator/QEMFileTypes.h"

class QKeyEvent;
class QMainWindow;
class QWidget;
class TQEMBaseFileType;
class TQEMTranslatorWindow;
class TQEMTranslatorWindowForm;

class TQEMTranslatorWindowHost : public QObject {
  Q_OBJECT
public:
  // Windows go into Panel; F6 moves the focus between the window shown and Tree. Hooks that
  // someone else installed already stay theirs.
  TQEMTranslatorWindowHost(QMainWindow& Main, QWidget& Panel, QWidget* Tree);
  // The windows go first: their managers come from packages that unload after the host.
  ~TQEMTranslatorWindowHost() override;

  // The window of a file type, made on first use; null for a type without a translator.
  TQEMTranslatorWindowForm* FormOf(TQEMBaseFileType& Type);
  std::vector<TQEMTranslatorWindowForm*> Forms() const;
  // The window visible in the panel, null when none is.
  TQEMTranslatorWindowForm* ShownForm() const;
  void FocusShown();

  // Around a batch operation or updater run: every window commits its editor and saves or
  // drops its edits (asking as on close); false when one refused, and the run must not start.
  // Afterwards every window reads its file again.
  bool BeforeBatch();
  void AfterBatch();
  // Lets go of the windows of Types before their package unloads; false (nothing released)
  // when one of them keeps edits the user did not give up.
  bool ReleaseForms(const std::vector<IQEMFileTypePtr>& Types);

  TQEMKeyDispatcher& Dispatcher() { return FDispatcher; }
  // EditFind of every window: the search dialog (the main window wires it).
  std::function<void(TQEMTranslatorWindow&)> OnFind;

protected:
  bool eventFilter(QObject* Object, QEvent* Event) override;

private:
  bool TakesKey(const void* Form, uint16_t Key, TShiftState Shift) const;

  QMainWindow& FMain;
  QPointer<QWidget> FPanel;
  QPointer<QWidget> FTree;
  std::vector<std::pair<TQEMBaseFileType*, std::unique_ptr<TQEMTranslatorWindowForm>>> FForms;
  bool FOwnsDefaultForm = false;
  bool FOwnsParentForm = false;
  bool FOwnsKeys = false;
  TQEMKeyDispatcher FDispatcher;
  QKeyEvent* FCurrentKey = nullptr;
  bool FForwarding = false;
};
