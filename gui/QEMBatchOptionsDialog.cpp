#include "QEMBatchOptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "QEMQtText.h"
#include "platform/QEMRegistry.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"

TQEMBatchOptionsDialog::TQEMBatchOptionsDialog(std::u16string_view Title,
                                               std::vector<TQEMBatchOption> Statuses,
                                               TResStatus* NewStatus,
                                               std::vector<TQEMBatchOption> Switches, bool* Comment,
                                               TQEMPropertySet& Store, QWidget* Parent)
    : QDialog(Parent), FNewStatus(NewStatus), FStore(Store) {
  setWindowTitle(QStr(Title));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(QStr(SOptStatuses), this);
  auto* groupLayout = new QVBoxLayout(group);
  const auto addCheck = [&](const TQEMBatchOption& O, QLayout* To) {
    auto* check = new QCheckBox(QStr(O.Caption), this);
    check->setChecked(*O.Value);
    To->addWidget(check);
    FChecks.push_back({check, O.Value});
    return check;
  };
  for (const auto& s : Statuses)
    addCheck(s, groupLayout);
  layout->addWidget(group);
  auto* form = new QFormLayout;
  if (NewStatus) {
    FStatusCombo = new QComboBox(this);
    for (TResStatus s : QEMNewStatusList) {
      FStatusCombo->addItem(QStr(QEMStatusToString(s)), int(s));
      if (s == *NewStatus) FStatusCombo->setCurrentIndex(FStatusCombo->count() - 1);
    }
    form->addRow(QStr(SOptNewStatus), FStatusCombo);
  }
  layout->addLayout(form);
  for (const auto& s : Switches)
    addCheck(s, layout);
  auto* commentRow = new QHBoxLayout;
  QCheckBox* commentCheck = Comment ? addCheck({SOptComment, Comment}, commentRow) : nullptr;
  FComment = new QLineEdit(this);
  commentRow->addWidget(FComment, 1);
  layout->addLayout(commentRow);
  if (commentCheck) {
    FComment->setEnabled(commentCheck->isChecked());
    connect(commentCheck, &QCheckBox::toggled, FComment, &QLineEdit::setEnabled);
  }
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStr(SButtonOK), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStr(SButtonCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &TQEMBatchOptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TQEMBatchOptionsDialog::reject);
  layout->addWidget(buttons);
}

std::u16string TQEMBatchOptionsDialog::CommentText() const {
  return U16(FComment->text());
}

void TQEMBatchOptionsDialog::accept() {
  for (const auto& [check, value] : FChecks)
    *value = check->isChecked();
  if (FStatusCombo) *FNewStatus = TResStatus(FStatusCombo->currentData().toInt());
  try {
    TRegistry reg;
    FStore.Save(reg);
  } catch (const std::exception& e) {
    // The run still takes the choices; only remembering them failed.
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
  }
  QDialog::accept();
}
