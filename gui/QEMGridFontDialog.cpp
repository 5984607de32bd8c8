#include "QEMGridFontDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "core/QEMIntlUtils.h"
#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMGridFont.h"

namespace {

QString LangName(LCID Lang) {
  const std::u16string name = LCIDToLangName(Lang);
  return QStr(name.empty() ? LCIDToStr(Lang) : name);
}

} // namespace

TQEMGridFontDialog::TQEMGridFontDialog(TQEMGridFonts& Fonts, QWidget* Parent)
    : QDialog(Parent), FFonts(Fonts), FEdited(std::make_unique<TQEMGridFonts>()) {
  Fonts.CopyTo(*FEdited);
  FEdited->DefaultFont() = Fonts.DefaultFont();
  FEdited->CommentFont() = Fonts.CommentFont();
  setWindowTitle(QStr(SFontDialogCaption));

  auto* layout = new QVBoxLayout(this);
  FEntries = new QListWidget(this);
  FEntries->setObjectName(QStringLiteral("lstFonts"));
  auto* label = new QLabel(QStr(SFontLanguagesLabel), this);
  label->setBuddy(FEntries);
  layout->addWidget(label);
  layout->addWidget(FEntries, 1);

  auto* addRow = new QHBoxLayout;
  FLanguages = new QComboBox(this);
  FLanguages->setObjectName(QStringLiteral("cbLanguages"));
  FAdd = new QPushButton(QStr(SRepAddDialogAdd), this);
  FAdd->setAutoDefault(false);
  addRow->addWidget(FLanguages, 1);
  addRow->addWidget(FAdd);
  layout->addLayout(addRow);

  auto* fontRow = new QHBoxLayout;
  FChange = new QPushButton(QStr(SFontChangeButton), this);
  FDefault = new QPushButton(QStr(SFontDefaultButton), this);
  for (QPushButton* b : {FChange, FDefault}) {
    b->setAutoDefault(false);
    fontRow->addWidget(b);
  }
  fontRow->addStretch(1);
  layout->addLayout(fontRow);

  FSample = new QLabel(QStr(SFontSample), this);
  FSample->setObjectName(QStringLiteral("lblSample"));
  FSample->setFrameShape(QFrame::StyledPanel);
  FSample->setMinimumHeight(60);
  FSample->setAlignment(Qt::AlignCenter);
  layout->addWidget(FSample);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStr(SButtonOK), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStr(SButtonCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &TQEMGridFontDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TQEMGridFontDialog::reject);
  layout->addWidget(buttons);

  connect(FEntries, &QListWidget::currentRowChanged, this, [this] { ShowSample(); });
  connect(FAdd, &QPushButton::clicked, this, [this] {
    if (FLanguages->currentIndex() >= 0) AddLanguage(LCID(FLanguages->currentData().toUInt()));
  });
  connect(FChange, &QPushButton::clicked, this, &TQEMGridFontDialog::ChooseFont);
  connect(FDefault, &QPushButton::clicked, this, &TQEMGridFontDialog::UseDefaultFont);
  FillEntries(0);
  FillLanguages();
  resize(480, 420);
}

TQEMGridFontDialog::~TQEMGridFontDialog() = default;

TQEMFont* TQEMGridFontDialog::EntryFont(int Row) const {
  if (Row == 0) return &FEdited->CommentFont();
  if (Row < 0 || Row > FEdited->GetCount()) return nullptr;
  return FEdited->GetFontAt(Row - 1);
}

void TQEMGridFontDialog::FillEntries(int Select) {
  const QSignalBlocker block(FEntries);
  FEntries->clear();
  for (int row = 0; row <= FEdited->GetCount(); ++row) {
    const QString name = row == 0 ? QStr(SFontCommentEntry) : LangName(FEdited->GetLang(row - 1));
    FEntries->addItem(
        QStr(Format(SFontEntry, U16(name), U16(QEMQtFontDescription(*EntryFont(row))))));
  }
  FEntries->setCurrentRow(Select);
  ShowSample();
}

void TQEMGridFontDialog::FillLanguages() {
  std::vector<std::pair<QString, LCID>> langs;
  if (QEMLanguages)
    for (int i = 0; i < QEMLanguages->GetCount(); ++i) {
      const LCID lang = QEMLanguages->GetLCID(i);
      if (FEdited->IndexOf(lang) < 0) langs.emplace_back(QStr(QEMLanguages->GetName(i)), lang);
    }
  std::sort(langs.begin(), langs.end(), [](const auto& A, const auto& B) {
    return QString::localeAwareCompare(A.first, B.first) < 0;
  });
  FLanguages->clear();
  for (const auto& [name, lang] : langs)
    FLanguages->addItem(name, uint(lang));
  FAdd->setEnabled(FLanguages->count() > 0);
}

int TQEMGridFontDialog::AddLanguage(LCID Lang) {
  FEdited->Add(Lang);
  const int row = FEdited->IndexOf(Lang) + 1;
  FillEntries(row);
  const int i = FLanguages->findData(uint(Lang));
  if (i >= 0) FLanguages->removeItem(i);
  FAdd->setEnabled(FLanguages->count() > 0);
  return row;
}

void TQEMGridFontDialog::ChooseFont() {
  const int row = FEntries->currentRow();
  const TQEMFont* font = EntryFont(row);
  if (!font) return;
  bool ok = false;
  const QFont chosen =
      QFontDialog::getFont(&ok, QEMQtFont(*font), this, FEntries->currentItem()->text());
  if (ok) SetEntryFont(row, chosen);
}

void TQEMGridFontDialog::SetEntryFont(int Row, const QFont& Font) {
  TQEMFont* font = EntryFont(Row);
  if (!font) return;
  *font = QEMFontFromQt(Font, *font);
  FillEntries(Row);
}

void TQEMGridFontDialog::UseDefaultFont() {
  const int row = FEntries->currentRow();
  TQEMFont* font = EntryFont(row);
  if (!font) return;
  *font = FEdited->DefaultFont();
  FillEntries(row);
}

void TQEMGridFontDialog::ShowSample() {
  const TQEMFont* f = EntryFont(FEntries->currentRow());
  FSample->setFont(f ? QEMQtFont(*f) : font());
  FChange->setEnabled(f != nullptr);
  FDefault->setEnabled(f != nullptr);
}

void TQEMGridFontDialog::accept() {
  // The open grids hold the font objects themselves: they are changed in place, never replaced.
  const int count = FFonts.GetCount();
  TQEMGridFonts before;
  FFonts.CopyTo(before);
  const TQEMFont comment = FFonts.CommentFont();
  FFonts.Merge(*FEdited);
  FFonts.CommentFont() = FEdited->CommentFont();
  try {
    FFonts.SaveAll();
  } catch (const std::exception& e) {
    while (FFonts.GetCount() > count)
      FFonts.Delete(FFonts.GetCount() - 1);
    FFonts.Merge(before);
    FFonts.CommentFont() = comment;
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
    return;
  }
  FFonts.FontChanged();
  QDialog::accept();
}

bool QEMShowGridFontDialog(QWidget* Parent) {
  if (!QEMGridFonts) return false;
  TQEMGridFontDialog dialog(*QEMGridFonts, Parent);
  return dialog.exec() == QDialog::Accepted;
}
