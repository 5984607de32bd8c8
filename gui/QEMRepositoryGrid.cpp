#include "QEMRepositoryGrid.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "editing/QEMRepositoryFrame.h"

namespace {

constexpr int kMaxRowLines = 10; // a longer text scrolls in the editor instead
constexpr int kRowPadding = 6;

} // namespace

// ---- TQEMRepositoryModel ----

TQEMRepositoryModel::TQEMRepositoryModel(TQEMRepositoryFrame& Frame, QObject* Parent)
    : QAbstractTableModel(Parent), FFrame(Frame), FRows(Frame.RowCount()), FCols(Frame.ColCount()) {
  LoadFonts();
}

int TQEMRepositoryModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : FRows;
}

int TQEMRepositoryModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : FCols;
}

QString TQEMRepositoryModel::DisplayText(const std::u16string& Text) {
  QString s = QStr(Text);
  if (s.contains(QLatin1Char('\r'))) {
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  }
  return s;
}

QVariant TQEMRepositoryModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid()) return {};
  switch (Role) {
  case Qt::DisplayRole:
    ++FReads;
    return DisplayText(FFrame.GetCell(Index.column(), Index.row()));
  case Qt::EditRole:
    ++FReads;
    return QStr(FFrame.GetCell(Index.column(), Index.row()));
  case Qt::FontRole:
    return ColumnFont(Index.column());
  default:
    return {};
  }
}

QVariant TQEMRepositoryModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation == Qt::Vertical)
    return Role == Qt::DisplayRole ? QVariant(Section + 1) : QVariant();
  if (Section < 0 || Section >= FFrame.ColCount()) return {};
  if (Role == Qt::DisplayRole) return QStr(FFrame.Column(Section).Caption);
  if (Role == Qt::ToolTipRole) return QStr(FFrame.Column(Section).LangTag);
  return {};
}

Qt::ItemFlags TQEMRepositoryModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool TQEMRepositoryModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  if (!Index.isValid() || Role != Qt::EditRole) return false;
  return FFrame.SetCell(Index.column(), Index.row(), U16(Value.toString()));
}

void TQEMRepositoryModel::LoadFonts() {
  FFonts.clear();
  FFonts.reserve(size_t(FFrame.ColCount()));
  for (int c = 0; c < FFrame.ColCount(); ++c)
    FFonts.push_back(QEMQtFont(FFrame.Column(c).Font));
}

const QFont& TQEMRepositoryModel::ColumnFont(int Col) const {
  return Col >= 0 && size_t(Col) < FFonts.size() ? FFonts[size_t(Col)] : FDefaultFont;
}

void TQEMRepositoryModel::Refresh() {
  const int rows = FFrame.RowCount(), cols = FFrame.ColCount();
  if (rows != FRows || cols != FCols) {
    beginResetModel();
    FRows = rows;
    FCols = cols;
    LoadFonts();
    endResetModel();
    return;
  }
  // Same shape (a sort, a font, a shown column): the view only repaints what it shows.
  LoadFonts();
  if (cols > 0) emit headerDataChanged(Qt::Horizontal, 0, cols - 1);
  if (rows > 0 && cols > 0) emit dataChanged(index(0, 0), index(rows - 1, cols - 1));
}

void TQEMRepositoryModel::CellChanged(int Col, int Row) {
  if (Col < 0 || Col >= FCols || Row < 0 || Row >= FRows) return;
  const QModelIndex i = index(Row, Col);
  emit dataChanged(i, i);
}

// ---- TQEMRpsInplaceEdit ----

TQEMRpsInplaceEdit::TQEMRpsInplaceEdit(QWidget* Parent) : QPlainTextEdit(Parent) {
  setObjectName(QStringLiteral("TQEMRpsInplaceEdit"));
  setFrameShape(QFrame::Box);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true); // Tab moves to the next cell, as in the grid
  document()->setDocumentMargin(2);
  connect(this, &QPlainTextEdit::blockCountChanged, this, &TQEMRpsInplaceEdit::Grow);
}

void TQEMRpsInplaceEdit::SetCellText(const QString& Stored) {
  FCrLf = Stored.contains(QStringLiteral("\r\n"));
  setPlainText(TQEMRepositoryModel::DisplayText(U16(Stored)));
  moveCursor(QTextCursor::End);
  Grow();
}

QString TQEMRpsInplaceEdit::CellText() const {
  QString t = toPlainText();
  if (FCrLf) t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return t;
}

int TQEMRpsInplaceEdit::WantedHeight() const {
  const int lines = std::max(1, document()->blockCount());
  return lines * fontMetrics().lineSpacing() + int(2 * document()->documentMargin()) +
         2 * frameWidth() + 2;
}

void TQEMRpsInplaceEdit::SetMinHeight(int Height) {
  FMinHeight = Height;
  Grow();
}

void TQEMRpsInplaceEdit::Grow() {
  int h = std::max(FMinHeight, WantedHeight());
  if (const QWidget* p = parentWidget()) h = std::min(h, std::max(FMinHeight, p->height() - y()));
  if (h != height()) resize(width(), h);
}

void TQEMRpsInplaceEdit::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) {
    if (Event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))
      insertPlainText(QStringLiteral("\n")); // a line break, not a separator Qt keeps apart
    else
      emit Accepted();
    Event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(Event);
}

// ---- TQEMRpsDelegate ----

QWidget* TQEMRpsDelegate::createEditor(QWidget* Parent, const QStyleOptionViewItem&,
                                       const QModelIndex& Index) const {
  auto* e = new TQEMRpsInplaceEdit(Parent);
  e->setFont(Index.data(Qt::FontRole).value<QFont>());
  auto* self = const_cast<TQEMRpsDelegate*>(this);
  connect(e, &TQEMRpsInplaceEdit::Accepted, self, [self, e] {
    emit self->commitData(e);
    emit self->closeEditor(e, QAbstractItemDelegate::NoHint);
  });
  return e;
}

void TQEMRpsDelegate::setEditorData(QWidget* Editor, const QModelIndex& Index) const {
  static_cast<TQEMRpsInplaceEdit*>(Editor)->SetCellText(Index.data(Qt::EditRole).toString());
}

void TQEMRpsDelegate::setModelData(QWidget* Editor, QAbstractItemModel* Model,
                                   const QModelIndex& Index) const {
  Model->setData(Index, static_cast<TQEMRpsInplaceEdit*>(Editor)->CellText(), Qt::EditRole);
}

void TQEMRpsDelegate::updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem& Option,
                                           const QModelIndex&) const {
  auto* e = static_cast<TQEMRpsInplaceEdit*>(Editor);
  e->setGeometry(Option.rect);
  e->SetMinHeight(Option.rect.height());
}

// ---- TQEMRepositoryGrid ----

TQEMRepositoryGrid::TQEMRepositoryGrid(TQEMRepositoryModel& Model, QWidget* Parent)
    : QTableView(Parent), FModel(Model) {
  setObjectName(QStringLiteral("TQEMRepositoryGrid"));
  setModel(&Model);
  setItemDelegate(new TQEMRpsDelegate(this));
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setAttribute(Qt::WA_InputMethodEnabled);

  QHeaderView* h = horizontalHeader();
  h->setSectionsClickable(true);
  h->setSortIndicatorShown(true);
  h->setHighlightSections(false);
  h->setSectionResizeMode(QHeaderView::Interactive);
  h->setStretchLastSection(true);
  // A header click sorts; it does not select the language's million cells.
  disconnect(h, &QHeaderView::sectionPressed, this, nullptr);
  disconnect(h, &QHeaderView::sectionEntered, this, nullptr);

  // Rows take their height from us, never from reading every row's contents.
  QHeaderView* v = verticalHeader();
  v->setSectionResizeMode(QHeaderView::Fixed);
  v->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);

  const auto measure = [this] {
    int line = QFontMetrics(font()).lineSpacing();
    for (int c = 0; c < FModel.columnCount(); ++c)
      line = std::max(line, QFontMetrics(FModel.ColumnFont(c)).lineSpacing());
    FLineHeight = line;
    FRowHeight = line + kRowPadding;
    QHeaderView* v = verticalHeader();
    v->setMinimumSectionSize(std::min(v->minimumSectionSize(), FRowHeight));
    if (v->defaultSectionSize() != FRowHeight) v->setDefaultSectionSize(FRowHeight);
  };
  measure();
  connect(&Model, &QAbstractItemModel::modelReset, this, [this, measure] {
    measure();
    ScheduleFit();
  });
  connect(&Model, &QAbstractItemModel::headerDataChanged, this, [this, measure] {
    const int before = FRowHeight;
    measure();
    if (before != FRowHeight) ScheduleFit();
  });
  connect(&Model, &QAbstractItemModel::dataChanged, this, &TQEMRepositoryGrid::ScheduleFit);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TQEMRepositoryGrid::ScheduleFit);
}

TQEMRpsInplaceEdit* TQEMRepositoryGrid::Editor() const {
  if (state() != QAbstractItemView::EditingState) return nullptr;
  return qobject_cast<TQEMRpsInplaceEdit*>(indexWidget(currentIndex()));
}

bool TQEMRepositoryGrid::CommitEdit() {
  TQEMRpsInplaceEdit* e = Editor();
  if (!e) return false;
  commitData(e);
  closeEditor(e, QAbstractItemDelegate::NoHint);
  return true;
}

void TQEMRepositoryGrid::closeEditor(QWidget* Editor, QAbstractItemDelegate::EndEditHint Hint) {
  QTableView::closeEditor(Editor, Hint);
  emit EditingEnded();
}

bool TQEMRepositoryGrid::edit(const QModelIndex& Index, EditTrigger Trigger, QEvent* Event) {
  // Typing into a cell replaces its text; F2 and a double click keep it.
  if (Trigger != AnyKeyPressed || !Event || Event->type() != QEvent::KeyPress)
    return QTableView::edit(Index, Trigger, Event);
  if (!QTableView::edit(Index, Trigger, nullptr)) return false;
  if (TQEMRpsInplaceEdit* e = Editor()) {
    e->selectAll();
    QCoreApplication::sendEvent(e, Event);
  }
  return true;
}

void TQEMRepositoryGrid::inputMethodEvent(QInputMethodEvent* Event) {
  // A composition typed on a cell opens the editor and goes on there, so its first characters
  // are not lost.
  const bool text = !Event->commitString().isEmpty() || !Event->preeditString().isEmpty();
  if (text && state() != QAbstractItemView::EditingState && currentIndex().isValid() &&
      QTableView::edit(currentIndex(), AnyKeyPressed, nullptr)) {
    if (TQEMRpsInplaceEdit* e = Editor()) {
      e->selectAll();
      QCoreApplication::sendEvent(e, Event);
      return;
    }
  }
  QTableView::inputMethodEvent(Event);
}

void TQEMRepositoryGrid::resizeEvent(QResizeEvent* Event) {
  QTableView::resizeEvent(Event);
  ScheduleFit();
}

void TQEMRepositoryGrid::ScheduleFit() {
  if (FFitPending) return;
  FFitPending = true;
  QTimer::singleShot(0, this, &TQEMRepositoryGrid::FitShownRows);
}

int TQEMRepositoryGrid::RowLines(int Row) const {
  int lines = 1;
  for (int c = 0; c < FModel.columnCount(); ++c)
    if (!isColumnHidden(c))
      lines = std::max(
          lines, int(FModel.data(FModel.index(Row, c)).toString().count(QLatin1Char('\n'))) + 1);
  return std::min(lines, kMaxRowLines);
}

void TQEMRepositoryGrid::FitShownRows() {
  FFitPending = false;
  const int rows = FModel.rowCount();
  if (rows == 0) return;
  // Growing a row can push others out of sight and shrinking one can bring others in: a few
  // passes settle it.
  for (int pass = 0; pass < 3; ++pass) {
    const int first = std::max(rowAt(0), 0);
    int last = rowAt(viewport()->height() - 1);
    if (last < 0) last = rows - 1;
    bool changed = false;
    for (int r = first; r <= last; ++r) {
      const int want = FRowHeight + (RowLines(r) - 1) * FLineHeight;
      if (rowHeight(r) != want) {
        setRowHeight(r, want);
        changed = true;
      }
    }
    if (!changed) break;
  }
}

void TQEMRepositoryGrid::FitColumns() {
  int shown = 0;
  for (int c = 0; c < FModel.columnCount(); ++c)
    if (!isColumnHidden(c)) ++shown;
  if (shown == 0) return;
  const int share = viewport()->width() / shown;
  for (int c = 0; c < FModel.columnCount(); ++c)
    if (!isColumnHidden(c))
      setColumnWidth(c, std::max(share, horizontalHeader()->sectionSizeHint(c)));
}

QRect TQEMRepositoryGrid::SelectedRegion() const {
  // The ranges, never the selected indexes: a selected column holds a million of them.
  QRect region;
  for (const QItemSelectionRange& r : selectionModel()->selection())
    region |= QRect(QPoint(r.left(), r.top()), QPoint(r.right(), r.bottom()));
  if (region.isValid()) return region;
  const QModelIndex i = currentIndex();
  return i.isValid() ? QRect(i.column(), i.row(), 1, 1) : QRect();
}
