#pragma once
// The "Translation Repository" window (TfrmRepository): the repository browser model drawn as a
// grid with one column per language, its tool bars, pop-up menu, find dialog and status bar.
// Every rule lives in TQEMRepositoryFrame; the window passes clicks and keys on and redraws what
// the frame reports.
#include <QDialog>
#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "editing/QEMRepositoryFrame.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QModelIndex;
class QRadioButton;
class QToolBar;
class QToolButton;
class TQEMRepositoryGrid;
class TQEMRepositoryModel;

// "Find Text": the text to find with its history, case and whole words, and the direction.
class TfrmRepositoryFind : public QDialog {
  Q_OBJECT
public:
  TfrmRepositoryFind(const TQEMRepositoryFindOptions& Options,
                     const std::vector<std::u16string>& History, QWidget* Parent = nullptr);
  TQEMRepositoryFindOptions Options() const;

  QComboBox* TextBox() const { return FText; }
  QCheckBox* CaseSensitiveBox() const { return FCase; }
  QCheckBox* WholeWordsBox() const { return FWords; }
  QRadioButton* ForwardButton() const { return FForward; }
  QRadioButton* BackwardButton() const { return FBackward; }

private:
  QComboBox* FText;
  QCheckBox* FCase;
  QCheckBox* FWords;
  QRadioButton* FForward;
  QRadioButton* FBackward;
};

class TfrmRepository : public QMainWindow {
  Q_OBJECT
public:
  // Over the process-wide repository when Repository is null.
  explicit TfrmRepository(QWidget* Parent = nullptr,
                          std::shared_ptr<IQEMRepository> Repository = nullptr);
  ~TfrmRepository() override;

  TQEMRepositoryFrame& Frame() const { return *FFrame; }
  TQEMRepositoryModel& Model() const { return *FModel; }
  TQEMRepositoryGrid* Grid() const { return FGrid; }
  // By name: NewRepository, OpenRepository, SaveRepository, SaveAsRepository, FindRepository,
  // FindNextRepository, HelpRepository, ExitRepository, CopyCell, EditRepository, ChangeFont,
  // HideColumn, DeleteLang, DeleteLangItem (the pop-up's "&Delete <language>"), DeleteRegion,
  // DeleteRecords, TextLabels.
  QAction* Action(const char* Name) const;
  QToolBar* ToolBar() const { return FBar; }
  QToolBar* LangToolBar() const { return FLangBar; }
  QToolButton* OpenButton() const { return FOpenButton; }
  QMenu* RecentMenu() const { return FRecentMenu; }
  QMenu* PopupMenu() const { return FPopup; }
  QLabel* PositionPanel() const { return FPosition; }
  QLabel* ContextPanel() const { return FContext; }
  // Rebuilds the recent-files drop-down, as opening it does.
  void FillRecentMenu();
  // Sets the pop-up's items for the current cell, as opening it does.
  void FillPopupMenu();

protected:
  void closeEvent(QCloseEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  QMenu* createPopupMenu() override;

private:
  void CreateActions();
  void CreateToolBars();
  void CreateStatusBar();
  void HookFrame();
  void LoadWindowOptions();
  void SaveWindowOptions();

  // What the frame reports.
  void FrameReset();
  void RefreshColumns();
  void RebuildLangBar();
  void SyncCurrent();
  void RefreshCaption();
  void RefreshStatus();
  void UpdateActions();
  void GridCurrentChanged(const QModelIndex& Current);
  void ShowPopup(const QPoint& GlobalPos);

  // actions
  void NewRepository();
  void OpenRepository();
  void OpenRecent(int Index);
  void SaveRepository();
  void SaveAsRepository();
  void FindRepository();
  void FindNextRepository();
  void HelpRepository();
  void CopyCell();
  void EditCell();
  void ChangeFont();
  void HideColumn();
  void DeleteLanguage();
  void DeleteRegion();
  void DeleteRecords();
  void ApplyTextLabels();

  std::unique_ptr<TQEMRepositoryFrame> FFrame;
  TQEMRepositoryModel* FModel = nullptr;
  TQEMRepositoryGrid* FGrid = nullptr;
  QToolBar* FBar = nullptr;
  QToolBar* FLangBar = nullptr;
  QToolButton* FOpenButton = nullptr;
  QMenu* FRecentMenu = nullptr;
  QMenu* FPopup = nullptr;
  QLabel* FPosition = nullptr;
  QLabel* FContext = nullptr;
  QAction *FActNew, *FActOpen, *FActSave, *FActSaveAs, *FActFind, *FActFindNext, *FActHelp,
      *FActExit, *FActCopy, *FActEdit, *FActFont, *FActHide, *FActDeleteLang, *FActDeleteLangItem,
      *FActDeleteRegion, *FActDeleteRecords, *FActTextLabels;
  std::vector<QAction*> FLangActions; // one per column, in column order
  std::vector<std::u16string> FTags;  // the columns the grid and the language bar were built for
  std::vector<bool> FVisible;
  bool FSyncing = false;
  bool FSyncPending = false; // the current cell moved while an editor was open
  bool FShown = false;
};

// Shows the one repository window over the process-wide repository, creating it when none is
// open; an open one is brought forward.
void QEMShowRepositoryWindow(QWidget* Parent);
// The open repository window, or null.
TfrmRepository* QEMRepositoryWindow();
