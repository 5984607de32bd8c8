#pragma once
// The main window of the desktop program: a view over TQEMWorkspace. The Project page edits the
// open project (languages, files), the Workspace page shows the workspace tree with its counts,
// the project status or explorer of the selected node and the panel translator windows go into.
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "QEMQtImageList.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QModelIndex;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTimer;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class TQEMTranslatorWindowHost;
class TQEMTranslatorWindow;
class TQEMSearchResultsPanel;
class TQEMWorkspace;
class TQEMWorkspaceTreeModel;
struct TQEMTreeNode;

class TQEMMainWindow : public QMainWindow {
  Q_OBJECT
public:
  // Args are the program's arguments without its name; they are processed on the first show.
  TQEMMainWindow(TQEMWorkspace& Workspace, std::vector<std::u16string> Args,
                 QWidget* Parent = nullptr);
  ~TQEMMainWindow() override;

  // Runs once, on the first show (tests may call it earlier): the notice about the obsolete
  // settings value, then the command line, which loads the packages and opens a named project.
  void ProcessCommandLine();
  bool CommandLineProcessed() const { return FActivated; }
  // The exit code a batch command line asked for; -1 when the program runs interactively.
  int ExitCode() const { return FExitCode; }

  void ShowProjectPage();
  void ShowFilesPage();
  void ShowWorkspacePage();
  bool WorkspacePageShown() const;

  // Where later views attach: translator windows go into the panel, tool windows (search
  // results) into the dock panel below the pages, the options dialog behind the Options action.
  QWidget* TranslatorPanel() const { return FTranslatorPanel; }
  QWidget* DockPanel() const { return FDockPanel; }
  QSplitter* DockSplitter() const { return FDockSplitter; }
  QMenu* TreeMenu() const { return FTreeMenu; }
  QTreeView* WorkspaceTree() const { return FTree; }
  TQEMWorkspaceTreeModel* TreeModel() const { return FTreeModel; }
  QAction* OptionsAction() const { return FActOptions; }
  QAction* RepositoryAction() const { return FActRepository; }
  QAction* FindInFilesAction() const { return FActFindInFiles; }
  const TQEMQtImageList& Images() const { return FImages; }
  // The translator windows of the file types, their keys and their part in batch runs.
  TQEMTranslatorWindowHost* TranslatorWindows() const { return FTranslatorWindows.get(); }
  TQEMSearchResultsPanel* SearchResults() const { return FSearchResults; }

  // Refreshes every control from the workspace (after a model call made from outside).
  void RefreshAll();

signals:
  // The first show's command line is done: the project named on it is open.
  void started();

protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

private:
  void CreateActions();
  void ConnectActions();
  void CreateMenus();
  QWidget* CreateProjectPage();
  void CreateLanguagesPage();
  void CreateFilesPage();
  QWidget* CreateWorkspacePage();

  void RefreshCaption();
  void RefreshProjectList();
  void RefreshProjectFields();
  void RefreshLanguages();
  void RefreshLanguageDirs();
  void RefreshFiles();
  void UpdateIdleState();
  void UpdateWorkspaceActions();
  void ApplyIntegrationTools();
  void ShowPane();
  void SaveGeometryToOptions();

  // Workspace calls that may drop or rebuild the tree run inside a model reset.
  template <class F> void TreeChange(F&& Call);
  // Errors of a user action end in an error box; the program goes on.
  template <class F> void Guard(F&& Call);

  // actions
  void FileNew();
  void FileOpen();
  void OpenProject(const std::u16string& FileName);
  void FileSave();
  void FileSaveAs();
  void AddFiles();
  void AddFromDirectory();
  void RemoveFiles();
  void RunUpdaters();
  void AddPackage();
  void RebuildReopenMenu();
  void RebuildRemovePackageMenu();
  void HelpContents();
  void About();
  void BrowseRootDir();
  void EnterWorkspace();
  void RefreshTree();
  void ExpandOneLevel();
  void RunBatch(const std::function<bool()>& Operation);
  // Reads only: no window has to save or let go of its file first.
  void ListWarnings();
  void AddToRepository();
  void GetFromRepository();
  void ChangeStatus();

  // events
  void PageChanged(int Index);
  void ProjectRowChanged(int Row);
  void LanguageItemChanged(QTreeWidgetItem* Item, int Column);
  void TreeCurrentChanged(const QModelIndex& Current, const QModelIndex& Previous);
  void SelectFileNode(const std::u16string& Path);

  TQEMWorkspace& FWorkspace;
  std::vector<std::u16string> FArgs;
  bool FActivated = false;
  int FExitCode = -1;
  bool FRestoringSelection = false;
  int FExpandDepth = 0;
  TQEMQtImageList FImages;

  // pages
  QTabWidget* FPages = nullptr; // pcExternalTM
  QWidget* FProjectPage = nullptr;
  QWidget* FWorkspacePage = nullptr;
  QSplitter* FDockSplitter = nullptr;
  QWidget* FDockPanel = nullptr; // pnlDock
  // Project page
  QListWidget* FProjectList = nullptr; // lvProject
  QTabWidget* FProjectPages = nullptr; // pcProject
  QWidget* FLanguagesPage = nullptr;
  QWidget* FFilesPage = nullptr;
  QLineEdit* FRootDir = nullptr;     // ebRootPath
  QComboBox* FBaseLang = nullptr;    // cbBaseLang
  QTreeWidget* FLanguages = nullptr; // lvEnv
  QTreeWidget* FFiles = nullptr;     // lvFiles
  QLabel* FFilesPanel0 = nullptr;    // sbFiles
  QLabel* FFilesPanel1 = nullptr;
  QLabel* FNeedUpdatePanel = nullptr;
  // Workspace page
  QTreeView* FTree = nullptr; // tvWorkspace
  TQEMWorkspaceTreeModel* FTreeModel = nullptr;
  QStackedWidget* FPane = nullptr;
  QTableWidget* FStatusTable = nullptr;
  QLabel* FStatusTotals = nullptr;
  QTableWidget* FExplorer = nullptr;
  QWidget* FTranslatorPanel = nullptr; // pnlWorkspace
  QTimer* FIdle = nullptr;

  // menus and actions
  QMenu* FFileMenu = nullptr;
  QMenu* FReopenMenu = nullptr;
  QMenu* FTranslatorsMenu = nullptr;
  QMenu* FRemovePackageMenu = nullptr;
  QMenu* FTreeMenu = nullptr;
  QAction *FActNew, *FActOpen, *FActSave, *FActSaveAs, *FActExit;
  QAction *FActAddFiles, *FActAddFromDir, *FActRemoveFiles, *FActRunUpdaters;
  QAction *FActAddPackage, *FActOptions, *FActMakeDictionary, *FActRepository;
  QAction *FActHelp, *FActAbout;
  QAction *FActRefresh, *FActPurge, *FActEggBuild, *FActRecreateXlat, *FActAddToRepository,
      *FActGetFromRepository, *FActChangeStatus, *FActFindInFiles, *FActListWarnings;
  QAction *FActExpandOne, *FActExpandAll, *FActCollapse;
  QString FRunUpdatersHint;
  std::unique_ptr<TQEMTranslatorWindowHost> FTranslatorWindows;
  TQEMSearchResultsPanel* FSearchResults = nullptr;
  // Find in the file of a translator window, into the results panel.
  void FindInWindow(TQEMTranslatorWindow& Window);
};
