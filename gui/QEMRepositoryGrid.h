#pragma once
// The repository browser's grid (TQEMRepositoryGrid): a table model that asks the browser model
// for each cell as it is shown (nothing is copied, so a million records cost only the rows on
// screen), the in-place editor for multi-line texts, and the view that grows the rows it shows
// to fit their lines.
#include <QAbstractTableModel>
#include <QFont>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <cstdint>
#include <string>
#include <vector>

class TQEMRepositoryFrame;

class TQEMRepositoryModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit TQEMRepositoryModel(TQEMRepositoryFrame& Frame, QObject* Parent = nullptr);

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  // DisplayRole: the text with its line breaks as '\n'; EditRole: the text as stored.
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation,
                      int Role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role = Qt::EditRole) override;

  // After the frame's OnReset: a model reset when rows or columns came or went, else a repaint.
  void Refresh();
  void CellChanged(int Col, int Row);
  const QFont& ColumnFont(int Col) const;

  // How many cell texts were read from the frame: what scrolling costs.
  int64_t CellReads() const { return FReads; }
  void ResetCellReads() { FReads = 0; }

  static QString DisplayText(const std::u16string& Text);

private:
  void LoadFonts();

  TQEMRepositoryFrame& FFrame;
  int FRows = 0, FCols = 0;
  std::vector<QFont> FFonts;
  QFont FDefaultFont;
  mutable int64_t FReads = 0;
};

// TQEMRpsInplaceEdit: edits one cell. Enter keeps the text, Shift+Enter or Ctrl+Enter breaks the
// line; the editor grows with its lines. Text that used CR LF keeps CR LF.
class TQEMRpsInplaceEdit : public QPlainTextEdit {
  Q_OBJECT
public:
  explicit TQEMRpsInplaceEdit(QWidget* Parent);
  void SetCellText(const QString& Stored);
  QString CellText() const;
  int WantedHeight() const;
  // The cell's height: the editor never gets smaller, and grows down to the view's bottom.
  void SetMinHeight(int Height);

signals:
  void Accepted();

protected:
  void keyPressEvent(QKeyEvent* Event) override;

private:
  void Grow();
  bool FCrLf = false;
  int FMinHeight = 0;
};

class TQEMRepositoryGrid : public QTableView {
  Q_OBJECT
public:
  TQEMRepositoryGrid(TQEMRepositoryModel& Model, QWidget* Parent = nullptr);

  TQEMRepositoryModel& Model() const { return FModel; }
  using QTableView::edit;
  bool Editing() const { return state() == QAbstractItemView::EditingState; }
  // The open in-place editor, or null.
  TQEMRpsInplaceEdit* Editor() const;
  // Writes an edit in progress into the repository and closes the editor; false when none was
  // open. Every action that saves, loads or closes calls it first, so no typing is lost.
  bool CommitEdit();
  // The rows shown now take the height their lines need (a single line for most).
  void FitShownRows();
  int LineRowHeight() const { return FRowHeight; }
  // Every visible column gets an even share of the width (never less than its caption needs).
  void FitColumns();
  // The selected rectangle of cells, else the current cell.
  QRect SelectedRegion() const;

signals:
  // An editor closed, committed or not.
  void EditingEnded();

protected:
  bool edit(const QModelIndex& Index, EditTrigger Trigger, QEvent* Event) override;
  void closeEditor(QWidget* Editor, QAbstractItemDelegate::EndEditHint Hint) override;
  void inputMethodEvent(QInputMethodEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

private:
  void ScheduleFit();
  int RowLines(int Row) const;

  TQEMRepositoryModel& FModel;
  int FRowHeight = 0;
  int FLineHeight = 0;
  bool FFitPending = false;
};

class TQEMRpsDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option,
                        const QModelIndex& Index) const override;
  void setEditorData(QWidget* Editor, const QModelIndex& Index) const override;
  void setModelData(QWidget* Editor, QAbstractItemModel* Model,
                    const QModelIndex& Index) const override;
  void updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem& Option,
                            const QModelIndex& Index) const override;
};
