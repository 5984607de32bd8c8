#include "QEMQtUIServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "QEMQtText.h"
#include "core/QEMStrs.h"
#include "resources/QEMConst.h"

namespace {

// Pumping on every step of a long run costs more than the run; a few times a frame suffices.
constexpr int kPumpIntervalMs = 15;

QWidget* DialogParent() {
  if (QWidget* w = QApplication::activeModalWidget()) return w;
  return QApplication::activeWindow();
}

QString CaptionOf(std::u16string_view Caption) {
  return Caption.empty() ? QStr(QEMProductName()) : QStr(Caption);
}

struct TButton {
  std::u16string_view Text;
  QMessageBox::ButtonRole Role;
  int Answer;
};

// A box whose buttons carry our texts; returns the Answer of the button used. Default starts
// focused (Enter); Escape and the window's close button give EscapeAnswer.
int Ask(QMessageBox::Icon Icon, std::u16string_view Caption, const std::u16string& Msg,
        std::initializer_list<TButton> Buttons, int Default, int EscapeAnswer,
        bool* DontShowAgain) {
  QMessageBox box(Icon, CaptionOf(Caption), QStr(Msg), QMessageBox::NoButton, DialogParent());
  box.setTextFormat(Qt::PlainText);
  std::vector<std::pair<QAbstractButton*, int>> added;
  for (const TButton& b : Buttons) {
    QPushButton* button = box.addButton(QStr(b.Text), b.Role);
    added.push_back({button, b.Answer});
    if (b.Answer == Default) box.setDefaultButton(button);
    if (b.Answer == EscapeAnswer) box.setEscapeButton(button);
  }
  QCheckBox* check = nullptr;
  if (DontShowAgain) {
    check = new QCheckBox(QStr(SDontShowAgain));
    check->setChecked(*DontShowAgain);
    box.setCheckBox(check);
  }
  box.exec();
  if (check) *DontShowAgain = check->isChecked();
  for (const auto& [button, answer] : added)
    if (box.clickedButton() == button) return answer;
  return EscapeAnswer;
}

constexpr int kOK = int(TQEMAnswer::anOK);
constexpr int kYes = int(TQEMAnswer::anYes);
constexpr int kNo = int(TQEMAnswer::anNo);
constexpr int kCancel = int(TQEMAnswer::anCancel);

} // namespace

// ---- the progress window ----

TQEMProgressWindow::TQEMProgressWindow(const QString& Caption, QWidget* Parent) : QDialog(Parent) {
  setWindowTitle(Caption.isEmpty() ? QStr(QEMProductName()) : Caption);
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  FCaption = new QLabel(Caption, this);
  FCaption->setVisible(!Caption.isEmpty());
  FBar = new QProgressBar(this);
  FBar->setRange(0, 0);
  FMessages = new QListWidget(this);
  FMessages->setVisible(false);
  FMessages->setSelectionMode(QAbstractItemView::NoSelection);
  auto* buttons = new QDialogButtonBox(this);
  FCancel = buttons->addButton(QStr(SButtonCancel), QDialogButtonBox::RejectRole);
  connect(FCancel, &QPushButton::clicked, this, &TQEMProgressWindow::reject);
  layout->addWidget(FCaption);
  layout->addWidget(FBar);
  layout->addWidget(FMessages);
  layout->addWidget(buttons);
  resize(420, sizeHint().height());
  show();
  Pump(true);
}

void TQEMProgressWindow::SetMessage(const std::u16string& Msg) {
  FMessages->addItem(QStr(Msg));
  FMessages->setVisible(true);
  Pump();
}

void TQEMProgressWindow::SetRange(int Max) {
  FBar->setRange(0, std::max(Max, 0));
  Pump();
}

void TQEMProgressWindow::SetPosition(int Position) {
  FBar->setValue(std::min(Position, FBar->maximum()));
  emit positionChanged(Position);
  Pump();
}

void TQEMProgressWindow::StepIt() {
  SetPosition(FBar->value() + 1);
}

void TQEMProgressWindow::Done(bool) {
  FBar->setValue(FBar->maximum());
  FCancel->setEnabled(false);
  Pump(true);
}

void TQEMProgressWindow::reject() {
  // The operation ends the window itself once it has seen the flag, after the current item.
  FCancelled = true;
  FCancel->setEnabled(false);
}

void TQEMProgressWindow::Pump(bool Force) {
  if (!Force && FSincePump.isValid() && FSincePump.elapsed() < kPumpIntervalMs) return;
  QCoreApplication::processEvents();
  FSincePump.start();
}

// ---- the services ----

void TQEMQtUIServices::ErrorBox(const std::u16string& Msg) {
  Ask(QMessageBox::Critical, SCaptionError, Msg, {{SButtonOK, QMessageBox::AcceptRole, kOK}}, kOK,
      kOK, nullptr);
}

void TQEMQtUIServices::MessageBox(const std::u16string& Msg) {
  Ask(QMessageBox::Information, SCaptionInformation, Msg,
      {{SButtonOK, QMessageBox::AcceptRole, kOK}}, kOK, kOK, nullptr);
}

bool TQEMQtUIServices::AskYesNo(const std::u16string& Msg, bool Default, bool* DontShowAgain) {
  return Ask(QMessageBox::Question, SCaptionConfirm, Msg,
             {{SButtonYes, QMessageBox::YesRole, kYes}, {SButtonNo, QMessageBox::NoRole, kNo}},
             Default ? kYes : kNo, kNo, DontShowAgain) == kYes;
}

TQEMAnswer TQEMQtUIServices::AskYesNoCancel(const std::u16string& Msg, TQEMAnswer Default,
                                            bool* DontShowAgain) {
  const int def = Default == TQEMAnswer::anOK ? kYes : int(Default);
  return TQEMAnswer(Ask(QMessageBox::Question, SCaptionConfirm, Msg,
                        {{SButtonYes, QMessageBox::YesRole, kYes},
                         {SButtonNo, QMessageBox::NoRole, kNo},
                         {SButtonCancel, QMessageBox::RejectRole, kCancel}},
                        def, kCancel, DontShowAgain));
}

bool TQEMQtUIServices::WarningQuestion(const std::u16string& Msg, bool Default) {
  return Ask(QMessageBox::Warning, SCaptionWarning, Msg,
             {{SButtonYes, QMessageBox::YesRole, kYes}, {SButtonNo, QMessageBox::NoRole, kNo}},
             Default ? kYes : kNo, kNo, nullptr) == kYes;
}

namespace {

// Qt's own dialog, so a run behaves the same on every desktop and under the tests.
bool RunFileDialog(QFileDialog::AcceptMode Mode, QFileDialog::FileMode FileMode,
                   const std::u16string& Title, const std::u16string& Filter,
                   const std::u16string& Start, QStringList& Chosen) {
  QFileDialog dialog(DialogParent(), CaptionOf(Title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(Mode);
  dialog.setFileMode(FileMode);
  if (!Filter.empty()) dialog.setNameFilters(QEMQtNameFilters(Filter));
  const QString start = QStr(Start);
  if (!start.isEmpty()) {
    const QFileInfo info(start);
    if (info.isDir())
      dialog.setDirectory(start);
    else {
      if (!info.path().isEmpty() && info.path() != QStringLiteral("."))
        dialog.setDirectory(info.path());
      dialog.selectFile(info.fileName());
    }
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  Chosen = dialog.selectedFiles();
  return !Chosen.isEmpty();
}

} // namespace

bool TQEMQtUIServices::ChooseOpenFile(const std::u16string& Title, const std::u16string& Filter,
                                      std::u16string& FileName) {
  QStringList chosen;
  if (!RunFileDialog(QFileDialog::AcceptOpen, QFileDialog::ExistingFile, Title, Filter, FileName,
                     chosen))
    return false;
  FileName = U16(chosen.front());
  return true;
}

bool TQEMQtUIServices::ChooseOpenFiles(const std::u16string& Title, const std::u16string& Filter,
                                       const std::u16string& Dir,
                                       std::vector<std::u16string>& Files) {
  QStringList chosen;
  if (!RunFileDialog(QFileDialog::AcceptOpen, QFileDialog::ExistingFiles, Title, Filter, Dir,
                     chosen))
    return false;
  Files.clear();
  for (const QString& f : chosen)
    Files.push_back(U16(f));
  return true;
}

bool TQEMQtUIServices::ChooseSaveFile(const std::u16string& Title, const std::u16string& Filter,
                                      std::u16string& FileName) {
  QStringList chosen;
  // Replacing an existing file is asked by the caller, in the program's own words.
  if (!RunFileDialog(QFileDialog::AcceptSave, QFileDialog::AnyFile, Title, Filter, FileName,
                     chosen))
    return false;
  FileName = U16(chosen.front());
  return true;
}

bool TQEMQtUIServices::ChooseFolder(const std::u16string& Title, std::u16string& Folder) {
  QFileDialog dialog(DialogParent(), CaptionOf(Title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (!Folder.empty()) dialog.setDirectory(QStr(Folder));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  Folder = U16(dialog.selectedFiles().front());
  return true;
}

bool TQEMQtUIServices::InputQuery(const std::u16string& Caption, const std::u16string& Prompt,
                                  std::u16string& Value) {
  QInputDialog dialog(DialogParent());
  dialog.setWindowTitle(CaptionOf(Caption));
  dialog.setLabelText(QStr(Prompt));
  dialog.setTextValue(QStr(Value));
  dialog.setOkButtonText(QStr(SButtonOK));
  dialog.setCancelButtonText(QStr(SButtonCancel));
  if (dialog.exec() != QDialog::Accepted) return false;
  Value = U16(dialog.textValue());
  return true;
}

void TQEMQtUIServices::ProcessMessages() {
  QCoreApplication::processEvents();
}

std::unique_ptr<IQEMProgress> TQEMQtUIServices::CreateProgress(const std::u16string& Caption) {
  auto window = std::make_unique<TQEMProgressWindow>(QStr(Caption), nullptr);
  emit progressCreated(window.get());
  return window;
}

int TQEMQtUIServices::ScreenPixelsPerInch() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? int(screen->logicalDotsPerInch() + 0.5) : 96;
}

QStringList QEMQtNameFilters(std::u16string_view Filter) {
  const QStringList parts = QStr(Filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i].trimmed();
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString t = p.trimmed();
      patterns << (t == QStringLiteral("*.*") ? QStringLiteral("*") : t);
    }
    if (patterns.isEmpty()) continue;
    // "Form files (*.ofm;*.xofm)": Qt reads the last parenthesis as the patterns, space-separated.
    if (desc.endsWith(QLatin1Char(')'))) {
      const qsizetype open = desc.lastIndexOf(QLatin1Char('('));
      if (open >= 0) desc = desc.left(open).trimmed();
    }
    filters << desc + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

TQEMQtUIServices* QEMQtUIServices() {
  return dynamic_cast<TQEMQtUIServices*>(&::QEMUIServices());
}
