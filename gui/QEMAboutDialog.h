#pragma once
// The About box: icon, product name, version and copyright, and OK.
#include <QDialog>

class TQEMAboutDialog : public QDialog {
  Q_OBJECT
public:
  explicit TQEMAboutDialog(QWidget* Parent = nullptr);
};
