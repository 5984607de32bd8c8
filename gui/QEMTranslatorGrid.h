#pragma once
// The translator window's grid: a table model that asks the window model for each cell the view
// shows (nothing of the file is copied into Qt), the in-place editors (a multi-line text editor
// and the status drop-down) that commit through the model's validation, and the view.
//
// Keys in the text editor: Enter commits, Shift+Enter starts a new line, Escape drops the
// edit, Tab and Shift+Tab commit and move to the next or previous column. Typing on a cell
// replaces its text; F2 or a double click edits it.
#include <QAbstractTableModel>
#include <QPersistentModelIndex>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <array>
#include <cstdint>
#include <optional>

#include "editing/QEMTranslatorForm.h"

class TQEMTranslatorGridModel : public QAbstractTableModel {
  Q_OBJECT
public:
  // Subscribes to the row, column and style events of Form (until destroyed).
  explicit TQEMTranslatorGridModel(TQEMTranslatorFormModel& Form, QObject* Parent = nullptr);
  ~TQEMTranslatorGridModel() override;

  TQEMTranslatorFormModel& Form() const { return FForm; }
  // A section is a column identifier: the header's visual order is the model's ColIds.
  static TQEMAllColId ColumnId(const QModelIndex& Index) { return TQEMAllColId(Index.column()); }

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  // The in-place editor's accept: false when the model refused the entry (after its message).
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role) override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

  // Reads of the window model's cells (text, style, editability) since the last reset: a view
  // asks only for what it shows, so this grows with the rows shown, not with the file.
  int64_t CellReads() const { return FReads; }
  void ResetCellReads() { FReads = 0; }

signals:
  // Order, visibility or captions of the columns changed in the window model.
  void columnsChanged();

private:
  QFont ColumnQFont(TQEMAllColId Id) const;

  TQEMTranslatorFormModel& FForm;
  mutable int64_t FReads = 0;
  mutable std::array<std::optional<QFont>, QEMGridColumnCount> FFonts;
};

// The multi-line in-place editor. Input methods compose into it like into any text field.
class TQEMTranslatorCellEditor : public QPlainTextEdit {
  Q_OBJECT
public:
  explicit TQEMTranslatorCellEditor(QWidget* Parent);
  // What a commit would stop at, shown while typing (tint and tool tip); empty when fine.
  void SetHint(const QString& Hint);
  const QString& Hint() const { return FHint; }

private:
  QString FHint;
  QPalette FNormal;
};

class TQEMTranslatorGridView;

class TQEMTranslatorGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  explicit TQEMTranslatorGridDelegate(TQEMTranslatorGridView& View);

  // The open in-place editor and its cell; null and invalid when none is open.
  QWidget* Editor() const { return FEditor; }
  QModelIndex EditorIndex() const { return FIndex; }
  // Commits the open editor; false when the model refused the entry, and the editor stays
  // open with what was typed. True when none is open.
  bool Commit();
  // Closes the open editor without storing anything.
  void Cancel();

  QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option,
                        const QModelIndex& Index) const override;
  void destroyEditor(QWidget* Editor, const QModelIndex& Index) const override;
  void setEditorData(QWidget* Editor, const QModelIndex& Index) const override;
  void setModelData(QWidget* Editor, QAbstractItemModel* Model,
                    const QModelIndex& Index) const override;
  void updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem& Option,
                            const QModelIndex& Index) const override;
  void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
             const QModelIndex& Index) const override;

signals:
  // The hint of the text being typed changed (empty: the entry would be taken).
  void hintChanged(const QString& Hint);
  // An in-place editor opened or closed.
  void editingChanged(bool Editing);

protected:
  bool eventFilter(QObject* Object, QEvent* Event) override;

private:
  QString EditorText(QWidget* Editor) const;
  bool Store(QWidget* Editor, const QModelIndex& Index) const;
  void UpdateHint();
  void ReopenLater(const QModelIndex& Index, const QString& Text) const;

  TQEMTranslatorGridView& FView;
  mutable QPointer<QWidget> FEditor;
  mutable QPersistentModelIndex FIndex;
  mutable bool FCrLf = false;    // the cell's text breaks its lines with CR LF
  mutable bool FStoring = false; // a commit is running (its messages move the focus)
  mutable QString FRefusedText;  // the text the model refused last in this editor
};

class TQEMTranslatorGridView : public QTableView {
  Q_OBJECT
public:
  TQEMTranslatorGridView(TQEMTranslatorGridModel& Model, QWidget* Parent = nullptr);
  using QTableView::edit;

  TQEMTranslatorGridModel& GridModel() const { return FModel; }
  TQEMTranslatorGridDelegate& Delegate() const { return *FDelegate; }
  // What opened the current editor: typing replaces the cell's text, other triggers edit it.
  EditTrigger LastTrigger() const { return FLastTrigger; }
  bool CommitEditor() { return FDelegate->Commit(); }
  void CancelEditor() { FDelegate->Cancel(); }

protected:
  bool edit(const QModelIndex& Index, EditTrigger Trigger, QEvent* Event) override;
  // Text an input method composes on a cell goes into the editor it opens, as typing does.
  void inputMethodEvent(QInputMethodEvent* Event) override;

private:
  TQEMTranslatorGridModel& FModel;
  TQEMTranslatorGridDelegate* FDelegate;
  EditTrigger FLastTrigger = NoEditTriggers;
};
