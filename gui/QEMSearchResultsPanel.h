#pragma once
// The search results: a list over TfrmQEMSearchResults with each match highlighted in its line.
// The panel docks into a container's layout (the main window's dock panel below its pages, a
// translator window's panel). Its title bar's float button, or a double-click on the title, turns
// it into a tool window of its own and back into its place: it stays the container's child all
// along, as a docked QDockWidget would, but unlike one it can come back into a container that is
// not a QMainWindow's dock area. The container is shown while the docked panel is, and hidden when
// nothing is left in it.
#include <QAbstractListModel>
#include <QPointer>
#include <QTableView>
#include <QWidget>
#include <memory>

#include "editing/QEMSearchForm.h"

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class TQEMWorkspace;

// The lines for a view. It follows the list through the list's hooks: the lines a search adds
// become rows together when the event loop next runs (or at Flush); rows report what they have
// announced, never more.
class TQEMSearchResultsModel : public QAbstractListModel {
  Q_OBJECT
public:
  enum TRole { MatchStartRole = Qt::UserRole + 1, MatchLengthRole };
  TQEMSearchResultsModel(TfrmQEMSearchResults& Results, QObject* Parent = nullptr);
  ~TQEMSearchResultsModel() override;

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  // Announces the lines added since the last time.
  void Flush();

private:
  TfrmQEMSearchResults& FResults;
  int FCount = 0;
  bool FFlushPending = false;
};

// The list: one column of rows of one height, so that lines coming in by the thousand cost the
// view nothing per line (a list view lays every row out again). Enter opens the current line as
// a double-click does.
class TQEMSearchResultsView : public QTableView {
  Q_OBJECT
public:
  explicit TQEMSearchResultsView(QWidget* Parent = nullptr);
signals:
  void openRequested(const QModelIndex& Index);

protected:
  void keyPressEvent(QKeyEvent* Event) override;
};

class TQEMSearchResultsPanel : public QWidget {
  Q_OBJECT
public:
  explicit TQEMSearchResultsPanel(QWidget* Parent = nullptr);
  ~TQEMSearchResultsPanel() override;

  bool isFloating() const { return isWindow(); }
  void setFloating(bool Value);
  QWidget* TitleBar() const { return FTitleBar; }
  QToolButton* FloatButton() const { return FFloat; }
  QToolButton* CloseButton() const { return FClose; }

  TfrmQEMSearchResults& Results() { return FResults; }
  TQEMSearchResultsView* View() const { return FView; }
  TQEMSearchResultsModel* Model() const { return FModel; }
  QMenu* PopupMenu() const { return FMenu; }
  QAction* ClearAction() const { return FClear; }
  QAction* SaveAction() const { return FSave; }

  // Docks the panel into Area's layout (a box layout is made when it has none); it shows there
  // with the next search.
  void DockInto(QWidget* Area);
  QWidget* Area() const { return FArea; }

  // Double-click and Enter: the line's file opens at its match. Errors end in an error box.
  void OpenLine(int Row);
  void ClearResults();
  // The pop-up's Save...: false when cancelled or failed (after the error box).
  bool SaveResults();

signals:
  void floatingChanged(bool Floating);

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;

private:
  void ShowForSearch();
  void UpdateArea();

  TfrmQEMSearchResults FResults;
  QWidget* FTitleBar;
  QToolButton* FFloat;
  QToolButton* FClose;
  TQEMSearchResultsModel* FModel;
  TQEMSearchResultsView* FView;
  QMenu* FMenu;
  QAction* FClear;
  QAction* FSave;
  QPointer<QWidget> FArea;
};

// Find in Files over the workspace's selected node, as its pop-up runs it: the dialog with only
// its Find in Files page, then the search into the panel, which shows itself. Returns the number
// of matches; -1 when the node offers no search, the dialog was cancelled or the search failed
// (after its error box).
int32_t QEMFindInFiles(TQEMWorkspace& Workspace, QWidget* Parent, TQEMSearchResultsPanel& Panel);
