#pragma once
// The options asked before "Add strings to repository", "Get strings from repository" and
// "Change status": which statuses the run takes, the new status, the operation's switches and
// the comment. The choices live in the option property set; OK writes them back.
#include <QDialog>
#include <string>
#include <vector>

#include "core/QEMTypes.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class TQEMPropertySet;

struct TQEMBatchOption {
  std::u16string_view Caption;
  bool* Value;
};

class TQEMBatchOptionsDialog : public QDialog {
  Q_OBJECT
public:
  // NewStatus may be null (no new status); Comment is the switch beside the comment field.
  TQEMBatchOptionsDialog(std::u16string_view Title, std::vector<TQEMBatchOption> Statuses,
                         TResStatus* NewStatus, std::vector<TQEMBatchOption> Switches,
                         bool* Comment, TQEMPropertySet& Store, QWidget* Parent = nullptr);

  // The comment field's text, whatever the switch says.
  std::u16string CommentText() const;

public slots:
  void accept() override;

private:
  std::vector<std::pair<QCheckBox*, bool*>> FChecks;
  TResStatus* FNewStatus;
  QComboBox* FStatusCombo = nullptr;
  QLineEdit* FComment;
  TQEMPropertySet& FStore;
};
