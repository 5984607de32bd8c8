#include "QEMAboutDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "QEMQtText.h"
#include "core/QEMStrs.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

TQEMAboutDialog::TQEMAboutDialog(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle(QStr(SAboutCaption));
  auto* layout = new QGridLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().pixmap(48, 48));
  layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  auto* name = new QLabel(QStr(QEMProductName()), this);
  name->setObjectName(QStringLiteral("lblProductName"));
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  name->setFont(big);
  auto* version = new QLabel(QStr(Format(SAboutVersion, QEMProductVersion())), this);
  version->setObjectName(QStringLiteral("lblVersion"));
  auto* copyright = new QLabel(QStr(QEMLegalCopyright()), this);
  copyright->setObjectName(QStringLiteral("lblCopyright"));
  layout->addWidget(name, 0, 1);
  layout->addWidget(version, 1, 1);
  layout->addWidget(copyright, 2, 1);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStr(SButtonOK), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons, 3, 0, 1, 2);
  layout->setHorizontalSpacing(16);
}
