#include "QEMColorSchemeDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

namespace {

// The rows of the preview: every status an item shows, then one selected row.
constexpr std::array<TResStatus, 8> kPreviewRows{rsUnTranslated,    rsTranslated, rsAutoTranslated,
                                                 rsNewlyTranslated, rsHold,       rsDoNotTranslate,
                                                 rsUnused,          rsTranslated};
constexpr int kSelectedRow = 7;
constexpr int kColumns = 4; // number, original, translation, status
constexpr int kStatusColumn = 3;
constexpr LCID kSampleOrigLang = 0x0409;
constexpr LCID kSampleXlatLang = 0x0407;

struct TCellColors {
  QColor Background;
  QColor Foreground;
};

// As the translator window colours a cell: selection first, then whether the cell can be edited,
// and the status column by the item's status.
TCellColors CellColors(const TQEMColorSchemes& Schemes, const QPalette& Palette, int Row, int Col) {
  const TQEMColorScheme* scheme = Schemes.SelectedColorsScheme();
  const bool selected = Row == kSelectedRow;
  if (!scheme || !Schemes.GetUseColors()) {
    if (selected)
      return {Palette.color(QPalette::Highlight), Palette.color(QPalette::HighlightedText)};
    return {Palette.color(QPalette::Base), Palette.color(QPalette::Text)};
  }
  const auto c = [scheme](TQEMColor Slot) { return QEMQtColor(scheme->GetColor(Slot)); };
  if (selected) return {c(iclSelectionBackground), c(iclSelectionForeground)};
  const TResStatus status = kPreviewRows[size_t(Row)];
  const bool edit = Col != 0 && (Col != kStatusColumn ||
                                 !TQEMTranslatorFormModel::LookupStatuses(status).empty());
  TCellColors r{c(edit ? iclEditBackgroundColor : iclNon_EditBackgroundColor),
                c(edit ? iclEditForegroundColor : iclNon_EditForegroundColor)};
  if (Col == kStatusColumn) r.Background = c(QEMStatusColorSlot(status));
  return r;
}

QString LangName(LCID Lang) {
  const std::u16string name = LCIDToLangName(Lang);
  return QStr(name.empty() ? LCIDToStr(Lang) : name);
}

QString CellText(int Row, int Col) {
  const TResStatus status = kPreviewRows[size_t(Row)];
  switch (Col) {
  case 0:
    return QString::number(Row + 1);
  case 1:
    return QStr(Format(SColorPreviewSample, Row + 1));
  case 2:
    return status == rsUnTranslated ? QStr(Format(SColorPreviewSample, Row + 1))
                                    : QStr(Format(SColorPreviewTranslation, Row + 1));
  default:
    return QStr(QEMStatusToString(status));
  }
}

QString HeaderText(int Col) {
  switch (Col) {
  case 0:
    return QStr(SGridColIndex);
  // Two different languages: the grid captions them by name alone.
  case 1:
    return LangName(kSampleOrigLang);
  case 2:
    return LangName(kSampleXlatLang);
  default:
    return QStr(SGridColStatus).remove(QLatin1Char('&'));
  }
}

QIcon Swatch(TColor Color) {
  QPixmap p(28, 16);
  p.fill(QEMQtColor(Color));
  QPainter painter(&p);
  painter.setPen(Qt::black);
  painter.drawRect(0, 0, p.width() - 1, p.height() - 1);
  return QIcon(p);
}

} // namespace

// ---- preview ----

TQEMColorPreview::TQEMColorPreview(const TQEMColorSchemes& Schemes, QWidget* Parent)
    : QWidget(Parent), FSchemes(Schemes) {
  setObjectName(QStringLiteral("pbPreview"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

namespace {

std::array<int, kColumns> ColumnWidths(const QFontMetrics& M) {
  std::array<int, kColumns> w{};
  for (int c = 0; c < kColumns; ++c) {
    w[size_t(c)] = M.horizontalAdvance(HeaderText(c));
    for (int r = 0; r < int(kPreviewRows.size()); ++r)
      w[size_t(c)] = std::max(w[size_t(c)], M.horizontalAdvance(CellText(r, c)));
    w[size_t(c)] += 12;
  }
  return w;
}

} // namespace

QSize TQEMColorPreview::sizeHint() const {
  const QFontMetrics m(font());
  const auto w = ColumnWidths(m);
  int width = 0;
  for (int c : w)
    width += c;
  return {width + 1, (m.height() + 6) * int(kPreviewRows.size() + 1) + 1};
}

void TQEMColorPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QFontMetrics m(font());
  const int rowHeight = m.height() + 6;
  auto widths = ColumnWidths(m);
  // The translation column takes what is left over.
  int used = 0;
  for (int c : widths)
    used += c;
  if (used < width() - 1) widths[2] += width() - 1 - used;
  const QColor grid = palette().color(QPalette::Mid);
  int x = 0;
  for (int c = 0; c < kColumns; ++c) {
    const QRect cell(x, 0, widths[size_t(c)], rowHeight);
    p.fillRect(cell, palette().color(QPalette::Button));
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(cell.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, HeaderText(c));
    p.setPen(grid);
    p.drawRect(cell);
    x += widths[size_t(c)];
  }
  for (int r = 0; r < int(kPreviewRows.size()); ++r) {
    x = 0;
    const int y = (r + 1) * rowHeight;
    for (int c = 0; c < kColumns; ++c) {
      const QRect cell(x, y, widths[size_t(c)], rowHeight);
      const TCellColors colors = CellColors(FSchemes, palette(), r, c);
      p.fillRect(cell, colors.Background);
      p.setPen(colors.Foreground);
      p.drawText(cell.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, CellText(r, c));
      p.setPen(grid);
      p.drawRect(cell);
      x += widths[size_t(c)];
    }
  }
}

// ---- dialog ----

TQEMColorSchemeDialog::TQEMColorSchemeDialog(TQEMColorSchemes& Schemes, QWidget* Parent)
    : QDialog(Parent), FSchemes(Schemes), FEdited(std::make_unique<TQEMColorSchemes>()) {
  FEdited->Assign(Schemes);
  setWindowTitle(QStr(SColorDialogCaption));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  layout->addLayout(top);

  auto* left = new QVBoxLayout;
  top->addLayout(left);
  FList = new QListWidget(this);
  FList->setObjectName(QStringLiteral("lstSchemes"));
  auto* listLabel = new QLabel(QStr(SColorSchemesLabel), this);
  listLabel->setBuddy(FList);
  left->addWidget(listLabel);
  left->addWidget(FList, 1);
  auto* schemeButtons = new QHBoxLayout;
  FCopy = new QPushButton(QStr(SColorCopyButton), this);
  FRename = new QPushButton(QStr(SColorRenameButton), this);
  FDelete = new QPushButton(QStr(SColorDeleteButton), this);
  for (QPushButton* b : {FCopy, FRename, FDelete}) {
    b->setAutoDefault(false);
    schemeButtons->addWidget(b);
  }
  left->addLayout(schemeButtons);
  FUseColors = new QCheckBox(QStr(SColorUseColors), this);
  FUseColors->setChecked(FEdited->GetUseColors());
  left->addWidget(FUseColors);

  auto* right = new QVBoxLayout;
  top->addLayout(right, 1);
  for (int i = 0; i < QEMColorCount; ++i) {
    auto* b = new QPushButton(this);
    b->setObjectName(QStringLiteral("btnSlot%1").arg(i));
    b->setAutoDefault(false);
    b->setStyleSheet(QStringLiteral("text-align: left; padding: 3px 8px;"));
    b->setIconSize(QSize(28, 16));
    connect(b, &QPushButton::clicked, this, [this, i] { ChooseSlotColor(TQEMColor(i)); });
    right->addWidget(b);
    FSlots[size_t(i)] = b;
  }
  FBuiltInNote = new QLabel(QStr(SColorBuiltInNote), this);
  FBuiltInNote->setWordWrap(true);
  right->addWidget(FBuiltInNote);
  right->addStretch(1);

  auto* previewBox = new QGroupBox(QStr(SColorPreview), this);
  auto* previewLayout = new QVBoxLayout(previewBox);
  FPreview = new TQEMColorPreview(*FEdited, previewBox);
  previewLayout->addWidget(FPreview);
  layout->addWidget(previewBox);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStr(SButtonOK), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStr(SButtonCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &TQEMColorSchemeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TQEMColorSchemeDialog::reject);
  layout->addWidget(buttons);

  connect(FCopy, &QPushButton::clicked, this, &TQEMColorSchemeDialog::CopyScheme);
  connect(FRename, &QPushButton::clicked, this, &TQEMColorSchemeDialog::RenameScheme);
  connect(FDelete, &QPushButton::clicked, this, &TQEMColorSchemeDialog::DeleteScheme);
  connect(FUseColors, &QCheckBox::toggled, this, [this](bool On) {
    FEdited->SetUseColors(On);
    FPreview->update();
  });
  connect(FList, &QListWidget::currentRowChanged, this, [this](int Row) {
    if (Row >= 0 && Row < FEdited->GetCount() && Row != FEdited->GetSelected())
      FEdited->SetSelected(Row);
    UpdateControls();
  });
  FillList();
}

TQEMColorSchemeDialog::~TQEMColorSchemeDialog() = default;

void TQEMColorSchemeDialog::FillList() {
  const QSignalBlocker block(FList);
  FList->clear();
  for (int i = 0; i < FEdited->GetCount(); ++i) {
    const TQEMColorScheme* s = FEdited->GetColorScheme(i);
    FList->addItem(s->GetIsOEM() ? QStr(Format(SColorSchemeBuiltIn, s->GetSchemeDisName()))
                                 : QStr(s->GetSchemeDisName()));
  }
  const TQEMColorScheme* sel = FEdited->SelectedColorsScheme();
  FList->setCurrentRow(sel ? FEdited->IndexOf(sel->GetSchemeRegName()) : -1);
  UpdateControls();
}

void TQEMColorSchemeDialog::UpdateControls() {
  const int index = FList->currentRow();
  const TQEMColorScheme* s =
      index >= 0 && index < FEdited->GetCount() ? FEdited->GetColorScheme(index) : nullptr;
  const bool editable = s && !s->GetIsOEM();
  FCopy->setEnabled(s != nullptr);
  FRename->setEnabled(editable);
  FDelete->setEnabled(QEMCanRemoveColorScheme(*FEdited, index));
  for (int i = 0; i < QEMColorCount; ++i) {
    QPushButton* b = FSlots[size_t(i)];
    const TQEMColor slot = TQEMColor(i);
    b->setText(QStr(s ? s->GetColorDisName(slot) : QEMColorDisName(slot)));
    b->setIcon(Swatch(s ? s->GetColor(slot) : QEMColorDefault(slot)));
    b->setEnabled(editable);
  }
  FBuiltInNote->setVisible(s && s->GetIsOEM());
  FPreview->update();
}

void TQEMColorSchemeDialog::CopyScheme() {
  const TQEMColorScheme* s = FEdited->SelectedColorsScheme();
  if (!s) return;
  TQEMColorValueList colors;
  s->CopyTo(colors);
  const int added = QEMSaveNewColorScheme(*FEdited, colors);
  if (added < 0) return;
  FEdited->SetSelected(added);
  FillList();
}

void TQEMColorSchemeDialog::RenameScheme() {
  if (QEMRenameColorScheme(*FEdited, FList->currentRow())) FillList();
}

void TQEMColorSchemeDialog::DeleteScheme() {
  if (QEMRemoveColorScheme(*FEdited, FList->currentRow())) FillList();
}

void TQEMColorSchemeDialog::ChooseSlotColor(TQEMColor Slot) {
  const TQEMColorScheme* s = FEdited->SelectedColorsScheme();
  if (!s || s->GetIsOEM()) return;
  const QColor chosen =
      QColorDialog::getColor(QEMQtColor(s->GetColor(Slot)), this, QStr(s->GetColorDisName(Slot)));
  if (chosen.isValid()) SetSlotColor(Slot, QEMColorFromQt(chosen));
}

bool TQEMColorSchemeDialog::SetSlotColor(TQEMColor Slot, TColor Color) {
  TQEMColorScheme* s = FEdited->SelectedColorsScheme();
  if (!s || s->GetIsOEM()) return false;
  s->SetColor(Slot, Color & QEMMaxColor);
  UpdateControls();
  return true;
}

void TQEMColorSchemeDialog::accept() {
  TQEMColorSchemes before;
  before.Assign(FSchemes);
  FSchemes.Assign(*FEdited);
  try {
    FSchemes.SaveAll(true);
  } catch (const std::exception& e) {
    // The stored schemes are as they were; so are the ones in use.
    FSchemes.Assign(before);
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
    return;
  }
  QDialog::accept();
}

bool QEMShowColorSchemeDialog(QWidget* Parent) {
  if (!QEMColorSchemes) return false;
  TQEMColorSchemeDialog dialog(*QEMColorSchemes, Parent);
  return dialog.exec() == QDialog::Accepted;
}
