#include "QEMTranslatorGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "QEMTranslatorAids.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

namespace {

// "&Status" in a header is just "Status"; "&&" stands for "&".
QString WithoutMnemonic(QString Text) {
  for (qsizetype i = 0; i < Text.size(); ++i)
    if (Text[i] == QLatin1Char('&')) Text.remove(i, 1);
  return Text;
}

constexpr int kMaxEditorLines = 8;

} // namespace

// ---- model ----

TQEMTranslatorGridModel::TQEMTranslatorGridModel(TQEMTranslatorFormModel& Form, QObject* Parent)
    : QAbstractTableModel(Parent), FForm(Form) {
  // The window model has changed already when it tells; nothing runs in between, so a reset
  // afterwards is as good as one around the change.
  FForm.Events.RowsReset = [this] {
    beginResetModel();
    endResetModel();
  };
  FForm.Events.RowChanged = [this](int Row) {
    if (Row >= 0 && Row < rowCount())
      emit dataChanged(index(Row, 0), index(Row, QEMGridColumnCount - 1));
  };
  FForm.Events.ColumnsChanged = [this] {
    FFonts = {};
    emit headerDataChanged(Qt::Horizontal, 0, QEMGridColumnCount - 1);
    emit columnsChanged();
  };
  FForm.Events.StyleChanged = [this] {
    FFonts = {};
    if (rowCount() > 0)
      emit dataChanged(index(0, 0), index(rowCount() - 1, QEMGridColumnCount - 1), {Qt::FontRole});
    emit columnsChanged(); // row heights follow the fonts
  };
}

TQEMTranslatorGridModel::~TQEMTranslatorGridModel() {
  FForm.Events.RowsReset = nullptr;
  FForm.Events.RowChanged = nullptr;
  FForm.Events.ColumnsChanged = nullptr;
  FForm.Events.StyleChanged = nullptr;
}

int TQEMTranslatorGridModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : FForm.RowCount();
}

int TQEMTranslatorGridModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : QEMGridColumnCount;
}

QFont TQEMTranslatorGridModel::ColumnQFont(TQEMAllColId Id) const {
  std::optional<QFont>& font = FFonts[Id];
  if (!font) {
    const TQEMFont* f = FForm.ColumnFont(Id);
    font = f ? QEMQtFont(*f) : QApplication::font();
  }
  return *font;
}

QVariant TQEMTranslatorGridModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= FForm.RowCount() || Index.column() >= QEMGridColumnCount)
    return {};
  const int row = Index.row();
  const TQEMAllColId id = ColumnId(Index);
  try {
    switch (Role) {
    case Qt::DisplayRole: {
      ++FReads;
      QString text = QStr(FForm.CellText(row, id));
      // One line per row: a line break shows as a mark.
      if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        const QString mark = QStr(SXlatLineBreakMark);
        text.replace(QStringLiteral("\r\n"), mark);
        text.replace(QLatin1Char('\n'), mark);
        text.replace(QLatin1Char('\r'), mark);
      }
      return text;
    }
    case Qt::EditRole:
      ++FReads;
      return QStr(FForm.CellText(row, id));
    case Qt::FontRole:
      return ColumnQFont(id);
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
      ++FReads;
      const TQEMCellStyle style = FForm.CellStyle(row, id);
      if (!style.UseColors) return {};
      return QBrush(QEMQtColor(Role == Qt::BackgroundRole ? style.Background : style.Foreground));
    }
    case Qt::TextAlignmentRole:
      if (id == idColIndex) return int(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::DecorationRole:
    case Qt::ToolTipRole: {
      // A row's quality warnings: an icon on its translation, their messages as its tip.
      if (id != idColCurr) return {};
      const std::vector<TQEMQualityIssue> issues = FForm.Warnings(row);
      if (issues.empty()) return {};
      if (Role == Qt::DecorationRole)
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
      QStringList lines;
      for (const TQEMQualityIssue& i : issues)
        lines << QStr(i.Message);
      return lines.join(QLatin1Char('\n'));
    }
    default:
      return {};
    }
  } catch (const std::exception&) {
    // An item the manager cannot give (a status out of range) shows empty.
    return {};
  }
}

bool TQEMTranslatorGridModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  if (Role != Qt::EditRole || !Index.isValid() || Index.row() >= FForm.RowCount()) return false;
  try {
    return FForm.AcceptEdit(Index.row(), ColumnId(Index), U16(Value.toString()));
  } catch (const std::exception& E) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(E));
    return false;
  }
}

Qt::ItemFlags TQEMTranslatorGridModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  ++FReads;
  try {
    if (FForm.CellEditable(Index.row(), ColumnId(Index))) f |= Qt::ItemIsEditable;
  } catch (const std::exception&) {
  }
  return f;
}

QVariant TQEMTranslatorGridModel::headerData(int Section, Qt::Orientation Orientation,
                                             int Role) const {
  if (Orientation != Qt::Horizontal || Section < 0 || Section >= QEMGridColumnCount)
    return QAbstractTableModel::headerData(Section, Orientation, Role);
  if (Role == Qt::DisplayRole)
    return WithoutMnemonic(QStr(FForm.ColumnCaption(TQEMAllColId(Section))));
  return {};
}

// ---- editor ----

TQEMTranslatorCellEditor::TQEMTranslatorCellEditor(QWidget* Parent) : QPlainTextEdit(Parent) {
  setObjectName(QStringLiteral("edCell"));
  setAttribute(Qt::WA_InputMethodEnabled);
  setTabChangesFocus(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setFrameShape(QFrame::Box);
  FNormal = palette();
}

void TQEMTranslatorCellEditor::SetHint(const QString& Hint) {
  FHint = Hint;
  setToolTip(Hint);
  QPalette p = FNormal;
  if (!Hint.isEmpty()) p.setColor(QPalette::Base, QColor(255, 228, 225));
  setPalette(p);
}

// ---- delegate ----

TQEMTranslatorGridDelegate::TQEMTranslatorGridDelegate(TQEMTranslatorGridView& View)
    : QStyledItemDelegate(&View), FView(View) {}

QWidget* TQEMTranslatorGridDelegate::createEditor(QWidget* Parent, const QStyleOptionViewItem&,
                                                  const QModelIndex& Index) const {
  auto* self = const_cast<TQEMTranslatorGridDelegate*>(this);
  TQEMTranslatorFormModel& form = FView.GridModel().Form();
  QWidget* editor = nullptr;
  if (TQEMTranslatorGridModel::ColumnId(Index) == idColStatus) {
    std::vector<std::u16string> values;
    try {
      values = form.StatusLookupValues(Index.row());
    } catch (const std::exception& E) {
      QEMUIServices().ErrorBox(QEMExceptionMessage(E));
      return nullptr;
    }
    if (values.empty()) return nullptr; // Unused and Egged keep their status
    auto* combo = new QComboBox(Parent);
    combo->setObjectName(QStringLiteral("cbStatus"));
    for (const auto& v : values)
      combo->addItem(QStr(v));
    connect(combo, &QComboBox::activated, self, [self] { self->Commit(); });
    editor = combo;
  } else {
    auto* edit = new TQEMTranslatorCellEditor(Parent);
    connect(edit, &QPlainTextEdit::textChanged, self, [self] { self->UpdateHint(); });
    if (TQEMTranslatorGridModel::ColumnId(Index) == idColCurr)
      new TQEMSpellHighlighter(*edit, form.SpellChecker());
    editor = edit;
  }
  FEditor = editor;
  FIndex = Index;
  FRefusedText = QString();
  emit self->editingChanged(true);
  return editor;
}

void TQEMTranslatorGridDelegate::destroyEditor(QWidget* Editor, const QModelIndex& Index) const {
  if (Editor == FEditor) {
    FEditor = nullptr;
    FIndex = QPersistentModelIndex();
    FRefusedText = QString();
    auto* self = const_cast<TQEMTranslatorGridDelegate*>(this);
    emit self->hintChanged(QString());
    emit self->editingChanged(false);
  }
  QStyledItemDelegate::destroyEditor(Editor, Index);
}

void TQEMTranslatorGridDelegate::setEditorData(QWidget* Editor, const QModelIndex& Index) const {
  const QString text = Index.data(Qt::EditRole).toString();
  if (auto* combo = qobject_cast<QComboBox*>(Editor)) {
    combo->setCurrentIndex(combo->findText(text));
    return;
  }
  auto* edit = static_cast<TQEMTranslatorCellEditor*>(Editor);
  FCrLf = text.contains(QStringLiteral("\r\n"));
  edit->setFont(Index.data(Qt::FontRole).value<QFont>());
  {
    const QSignalBlocker quiet(edit); // the stored text needs no hint
    edit->setPlainText(FCrLf ? QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                             : text);
  }
  edit->SetHint({});
  if (FView.LastTrigger() == QAbstractItemView::AnyKeyPressed)
    edit->selectAll(); // typing replaces, as in any grid
  else
    edit->moveCursor(QTextCursor::End);
}

QString TQEMTranslatorGridDelegate::EditorText(QWidget* Editor) const {
  if (auto* combo = qobject_cast<QComboBox*>(Editor)) return combo->currentText();
  QString text = static_cast<QPlainTextEdit*>(Editor)->toPlainText();
  if (FCrLf) text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text;
}

bool TQEMTranslatorGridDelegate::Store(QWidget* Editor, const QModelIndex& Index) const {
  if (!Index.isValid()) return false;
  const QString text = EditorText(Editor);
  FStoring = true;
  const bool ok = FView.model()->setData(Index, text, Qt::EditRole);
  FStoring = false;
  FRefusedText = ok ? QString() : text;
  return ok;
}

void TQEMTranslatorGridDelegate::setModelData(QWidget* Editor, QAbstractItemModel*,
                                              const QModelIndex& Index) const {
  // The view commits on its own when the current cell moves, then closes the editor whatever
  // the model said: a refused entry comes back in a new editor instead of being lost.
  if (FStoring) return;
  const QString text = EditorText(Editor);
  if (!FRefusedText.isNull() && text == FRefusedText) {
    ReopenLater(Index, text);
    return;
  }
  if (!Store(Editor, Index)) ReopenLater(Index, text);
}

void TQEMTranslatorGridDelegate::ReopenLater(const QModelIndex& Index, const QString& Text) const {
  QPointer<TQEMTranslatorGridView> view(&FView);
  const QPersistentModelIndex index(Index);
  QTimer::singleShot(0, &FView, [view, index, Text] {
    if (!view || !index.isValid()) return;
    view->setCurrentIndex(index);
    view->edit(QModelIndex(index));
    if (auto* edit = qobject_cast<QPlainTextEdit*>(view->Delegate().Editor())) {
      QString text = Text;
      edit->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
      edit->moveCursor(QTextCursor::End);
    }
  });
}

bool TQEMTranslatorGridDelegate::Commit() {
  QWidget* editor = FEditor;
  if (!editor) return true;
  if (FStoring) return false;
  if (!FIndex.isValid()) {
    Cancel();
    return true;
  }
  if (!Store(editor, FIndex)) return false;
  emit closeEditor(editor, QAbstractItemDelegate::NoHint);
  return true;
}

void TQEMTranslatorGridDelegate::Cancel() {
  if (QWidget* editor = FEditor) emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void TQEMTranslatorGridDelegate::UpdateHint() {
  auto* edit = qobject_cast<TQEMTranslatorCellEditor*>(FEditor.data());
  if (!edit || !FIndex.isValid()) return;
  // The editor grows with the lines typed, up to a few.
  const int lines = std::clamp(int(edit->document()->blockCount()), 1, kMaxEditorLines);
  const int height = std::max(FView.rowHeight(FIndex.row()),
                              lines * edit->fontMetrics().lineSpacing() + 2 * edit->frameWidth() +
                                  int(edit->document()->documentMargin() * 2));
  if (edit->height() != height) edit->resize(edit->width(), height);
  QString hint;
  try {
    hint = QStr(FView.GridModel().Form().CheckEntry(
        FIndex.row(), TQEMTranslatorGridModel::ColumnId(FIndex), U16(EditorText(edit))));
  } catch (const std::exception&) {
  }
  if (hint == edit->Hint()) return;
  edit->SetHint(hint);
  emit hintChanged(hint);
}

void TQEMTranslatorGridDelegate::updateEditorGeometry(QWidget* Editor,
                                                      const QStyleOptionViewItem& Option,
                                                      const QModelIndex&) const {
  QRect r = Option.rect;
  if (auto* edit = qobject_cast<QPlainTextEdit*>(Editor)) {
    const int lines = std::clamp(int(edit->document()->blockCount()), 1, kMaxEditorLines);
    r.setHeight(std::max(r.height(), lines * edit->fontMetrics().lineSpacing() +
                                         2 * edit->frameWidth() +
                                         int(edit->document()->documentMargin() * 2)));
    // Near the bottom the editor opens upwards rather than below the view.
    const int bottom = FView.viewport()->height();
    if (r.bottom() > bottom) r.moveBottom(std::max(bottom, Option.rect.bottom()));
  }
  Editor->setGeometry(r);
}

void TQEMTranslatorGridDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                                       const QModelIndex& Index) const {
  QStyleOptionViewItem opt = Option;
  initStyleOption(&opt, Index);
  // The colour scheme paints selected rows in its own colours.
  if (opt.backgroundBrush.style() != Qt::NoBrush) {
    opt.state &= ~QStyle::State_Selected;
    Painter->fillRect(opt.rect, opt.backgroundBrush);
  }
  const QWidget* widget = opt.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, Painter, widget);
}

bool TQEMTranslatorGridDelegate::eventFilter(QObject* Object, QEvent* Event) {
  auto* editor = qobject_cast<QWidget*>(Object);
  if (!editor || editor != FEditor) return QStyledItemDelegate::eventFilter(Object, Event);
  auto* combo = qobject_cast<QComboBox*>(editor);
  switch (Event->type()) {
  case QEvent::KeyPress: {
    auto* key = static_cast<QKeyEvent*>(Event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!combo && (key->modifiers() & Qt::ShiftModifier)) {
        static_cast<QPlainTextEdit*>(editor)->insertPlainText(QStringLiteral("\n"));
        return true;
      }
      Commit();
      return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (FIndex.isValid() && Store(editor, FIndex))
        emit closeEditor(editor, key->key() == Qt::Key_Tab
                                     ? QAbstractItemDelegate::EditNextItem
                                     : QAbstractItemDelegate::EditPreviousItem);
      return true;
    case Qt::Key_Escape:
      Cancel();
      return true;
    default:
      return false;
    }
  }
  case QEvent::FocusOut:
    // Leaving the editor keeps it open with what was typed: whatever takes the file away
    // (another cell, another file, saving, closing) commits it first.
    return false;
  default:
    return false;
  }
}

// ---- view ----

TQEMTranslatorGridView::TQEMTranslatorGridView(TQEMTranslatorGridModel& Model, QWidget* Parent)
    : QTableView(Parent), FModel(Model) {
  setObjectName(QStringLiteral("grdTranslator"));
  setModel(&Model);
  FDelegate = new TQEMTranslatorGridDelegate(*this);
  setItemDelegate(FDelegate);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setWordWrap(false);
  setTabKeyNavigation(true);
  // Rows of one height: the view never measures the file's rows.
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionsMovable(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

bool TQEMTranslatorGridView::edit(const QModelIndex& Index, EditTrigger Trigger, QEvent* Event) {
  const EditTrigger previous = FLastTrigger;
  FLastTrigger = Trigger;
  const bool opened = QTableView::edit(Index, Trigger, Event);
  if (!opened) FLastTrigger = previous;
  return opened;
}

void TQEMTranslatorGridView::inputMethodEvent(QInputMethodEvent* Event) {
  QWidget* editor = FDelegate->Editor();
  if (!editor && (!Event->commitString().isEmpty() || !Event->preeditString().isEmpty()) &&
      edit(currentIndex(), AnyKeyPressed, Event))
    editor = FDelegate->Editor();
  if (!editor) {
    QTableView::inputMethodEvent(Event);
    return;
  }
  QApplication::sendEvent(editor, Event);
  editor->setFocus(Qt::OtherFocusReason);
}
