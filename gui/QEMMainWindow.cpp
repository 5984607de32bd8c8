#include "QEMMainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <unordered_map>

#include "QEMAboutDialog.h"
#include "QEMBatchOptionsDialog.h"
#include "QEMOptionsDialog.h"
#include "QEMQtText.h"
#include "QEMQtUIServices.h"
#include "QEMRepositoryWindow.h"
#include "QEMSearchDialog.h"
#include "QEMSearchResultsPanel.h"
#include "QEMTranslatorWindow.h"
#include "QEMTranslatorWindowHost.h"
#include "QEMWorkspaceTreeModel.h"
#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "translator/QEMStats.h"
#include "workspace/QEMWorkspace.h"

namespace {

enum TLangColumn { lcLanguage, lcLocaleID, lcExtension, lcXlatDir };
enum TFileColumn { fcFileName, fcPath, fcKind };
enum TPane { paNone, paStatus, paExplorer, paTranslator };

constexpr int kIdleIntervalMs = 250;

QAction* NewAction(QObject* Parent, const char* Name, std::u16string_view Caption,
                   const QKeySequence& Shortcut = {}) {
  auto* a = new QAction(QStr(Caption), Parent);
  a->setObjectName(QString::fromLatin1(Name));
  if (!Shortcut.isEmpty()) a->setShortcut(Shortcut);
  return a;
}

QTableWidget* NewTable(QWidget* Parent) {
  auto* t = new QTableWidget(Parent);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setAlternatingRowColors(true);
  t->verticalHeader()->setVisible(false);
  t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
  t->setWordWrap(false);
  t->setColumnCount(TQEMProjectStatusModel::ColumnCount);
  QStringList captions;
  for (int c = 0; c < TQEMProjectStatusModel::ColumnCount; ++c)
    captions << QStr(TQEMProjectStatusModel::ColumnCaption(c));
  t->setHorizontalHeaderLabels(captions);
  // The file column takes the room; the counts keep to their width.
  t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  t->horizontalHeader()->setSectionResizeMode(TQEMProjectStatusModel::scFile, QHeaderView::Stretch);
  return t;
}

void SetCell(QTableWidget* Table, int Row, int Column, const std::u16string& Text, bool Number) {
  auto* item = new QTableWidgetItem(QStr(Text));
  if (Number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Table->setItem(Row, Column, item);
}

// The Kind column is edited through a drop-down of every registered file type.
class TKindDelegate : public QStyledItemDelegate {
public:
  using TCommit = std::function<void(int Row, const QString& Kind)>;
  TKindDelegate(TCommit Commit, QObject* Parent)
      : QStyledItemDelegate(Parent), FCommit(std::move(Commit)) {}

  QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    auto* combo = new QComboBox(Parent);
    auto& types = QEMFileTypes();
    for (int i = 0; i < types.Count(); ++i)
      combo->addItem(QStr(types.GetQEMFileType(i)->GetDesc()));
    return combo;
  }
  void setEditorData(QWidget* Editor, const QModelIndex& Index) const override {
    auto* combo = static_cast<QComboBox*>(Editor);
    combo->setCurrentIndex(combo->findText(Index.data().toString()));
  }
  void setModelData(QWidget* Editor, QAbstractItemModel*, const QModelIndex& Index) const override {
    const QString kind = static_cast<QComboBox*>(Editor)->currentText();
    if (!kind.isEmpty()) FCommit(Index.row(), kind);
  }

private:
  TCommit FCommit;
};

} // namespace

// ---- construction ----

TQEMMainWindow::TQEMMainWindow(TQEMWorkspace& Workspace, std::vector<std::u16string> Args,
                               QWidget* Parent)
    : QMainWindow(Parent), FWorkspace(Workspace), FArgs(std::move(Args)) {
  setObjectName(QStringLiteral("frmMain"));
  // The globe is the list's first image: the file types take it from there.
  const TQEMImage globe = QEMGlobeImage();
  FImages.Add(globe, globe.TransparentColor());
  QEMFileTypes().SetImageList(&FImages);
  QApplication::setWindowIcon(FImages.Icon(0));

  CreateActions();
  CreateMenus();
  FPages = new QTabWidget(this);
  FPages->setObjectName(QStringLiteral("pcExternalTM"));
  FProjectPage = CreateProjectPage();
  FWorkspacePage = CreateWorkspacePage();
  FTranslatorWindows = std::make_unique<TQEMTranslatorWindowHost>(*this, *FTranslatorPanel, FTree);
  FPages->addTab(FProjectPage, QStr(SPageProject));
  FPages->addTab(FWorkspacePage, QStr(SPageWorkspace));
  FDockPanel = new QWidget(this);
  FDockPanel->setObjectName(QStringLiteral("pnlDock"));
  new QVBoxLayout(FDockPanel);
  FDockPanel->layout()->setContentsMargins(0, 0, 0, 0);
  FDockPanel->hide(); // until a tool window docks there
  FDockSplitter = new QSplitter(Qt::Vertical, this);
  FDockSplitter->addWidget(FPages);
  FDockSplitter->addWidget(FDockPanel);
  FDockSplitter->setStretchFactor(0, 1);
  setCentralWidget(FDockSplitter);
  // One results panel for Find and Find in Files, docked below the pages.
  FSearchResults = new TQEMSearchResultsPanel(this);
  FSearchResults->DockInto(FDockPanel);
  FTranslatorWindows->OnFind = [this](TQEMTranslatorWindow& Window) { FindInWindow(Window); };
  FNeedUpdatePanel = new QLabel(this);
  statusBar()->addPermanentWidget(FNeedUpdatePanel);
  connect(FPages, &QTabWidget::currentChanged, this, &TQEMMainWindow::PageChanged);

  FWorkspace.OnStatus = [this](const std::u16string& Msg) {
    FFilesPanel1->setText(QStr(Msg));
    if (Msg.empty())
      statusBar()->clearMessage();
    else
      statusBar()->showMessage(QStr(Msg));
  };
  QEMTreeViewHooks.TreeExists = [] { return true; };
  QEMTreeViewHooks.BeginUpdate = [this] { FTree->setUpdatesEnabled(false); };
  QEMTreeViewHooks.EndUpdate = [this] {
    FTree->setUpdatesEnabled(true);
    FTree->viewport()->update();
  };
  QEMTreeViewHooks.GlobalUpdateTMImages = [this] { FTree->viewport()->update(); };

  const TQEMINTOptionProps* o = QEMINTOptionProps;
  if (o && o->HLXWidth > 0 && o->HLXHeight > 0) {
    move(o->HLXLeft, o->HLXTop);
    resize(o->HLXWidth, o->HLXHeight);
  } else
    resize(1000, 680);

  FIdle = new QTimer(this);
  connect(FIdle, &QTimer::timeout, this, &TQEMMainWindow::UpdateIdleState);
  FIdle->start(kIdleIntervalMs);
  ApplyIntegrationTools();
  RefreshAll();
}

TQEMMainWindow::~TQEMMainWindow() {
  // The windows hold managers of the packages, which unload after us.
  FTranslatorWindows.reset();
  SaveGeometryToOptions();
  FIdle->stop();
  FWorkspace.OnStatus = nullptr;
  QEMTreeViewHooks = {};
  // The tree's panes and nodes are the workspace's; the image list is ours and goes with us.
  if (QEMFileTypesStarted()) QEMFileTypes().SetImageList(nullptr);
}

void TQEMMainWindow::CreateActions() {
  FActNew = NewAction(this, "actFileNew", SActFileNew, QKeySequence(Qt::CTRL | Qt::Key_N));
  FActOpen = NewAction(this, "actFileOpen", SActFileOpen, QKeySequence(Qt::CTRL | Qt::Key_O));
  FActSave = NewAction(this, "actFileSave", SActFileSave, QKeySequence(Qt::CTRL | Qt::Key_S));
  FActSaveAs = NewAction(this, "actFileSaveAs", SActFileSaveAs);
  FActExit = NewAction(this, "actFileExit", SActFileExit);
  FActAddFiles = NewAction(this, "actAddFiles", SActAddFiles, QKeySequence(Qt::CTRL | Qt::Key_A));
  FActAddFromDir = NewAction(this, "actAddFromDirectory", SActAddFromDirectory,
                             QKeySequence(Qt::CTRL | Qt::Key_D));
  FActRemoveFiles =
      NewAction(this, "actRemoveFiles", SActRemoveFiles, QKeySequence(Qt::CTRL | Qt::Key_R));
  FActRunUpdaters = NewAction(this, "actRunUpdaters", SActRunUpdaters, QKeySequence(Qt::Key_F9));
  FRunUpdatersHint = FActRunUpdaters->toolTip();
  FActAddPackage = NewAction(this, "actAddPackage", SActAddPackage);
  FActOptions = NewAction(this, "actOptions", SActOptions);
  FActMakeDictionary =
      NewAction(this, "actMakeDictionary", SActMakeDictionary, QKeySequence(Qt::CTRL | Qt::Key_M));
  FActRepository = NewAction(this, "actRepository", SActRepository);
  connect(FActRepository, &QAction::triggered, this, [this] { QEMShowRepositoryWindow(this); });
  FActHelp = NewAction(this, "actHelpContents", SActHelpContents, QKeySequence(Qt::Key_F1));
  FActAbout = NewAction(this, "actAbout", SActAbout);
  FActRefresh = NewAction(this, "actRefresh", SActRefresh, QKeySequence(Qt::CTRL | Qt::Key_F5));
  FActPurge = NewAction(this, "actPurge", SActPurge, QKeySequence(Qt::CTRL | Qt::Key_F7));
  FActEggBuild = NewAction(this, "actEggBuild", SActEggBuild, QKeySequence(Qt::CTRL | Qt::Key_F8));
  FActRecreateXlat = NewAction(this, "actRecreateXlat", SActRecreateXlat);
  FActAddToRepository = NewAction(this, "actAddToRepository", SActAddToRepository);
  FActGetFromRepository = NewAction(this, "actGetFromRepository", SActGetFromRepository);
  FActChangeStatus = NewAction(this, "actChangeStatus", SActChangeStatus);
  FActFindInFiles = NewAction(this, "actFindInFiles", SActFindInFiles);
  FActListWarnings = NewAction(this, "actListWarnings", SActListWarnings);
  connect(FActFindInFiles, &QAction::triggered, this, [this] {
    Guard([&] {
      // Its lines open through their file types, not through a window's own Find.
      FSearchResults->Results().OnOpen = nullptr;
      QEMFindInFiles(FWorkspace, this, *FSearchResults);
    });
  });
  FActExpandOne = NewAction(this, "actExpandOneLevel", SActExpandOneLevel);
  FActExpandAll = NewAction(this, "actExpandAll", SActExpandAll);
  FActCollapse = NewAction(this, "actCollapse", SActCollapse);
  ConnectActions();
  // The workspace actions are in no main menu; their shortcuts work anywhere in the window.
  addActions({FActRefresh, FActPurge, FActEggBuild, FActRecreateXlat, FActAddToRepository,
              FActGetFromRepository, FActChangeStatus, FActFindInFiles});
}

void TQEMMainWindow::ConnectActions() {
  connect(FActNew, &QAction::triggered, this, &TQEMMainWindow::FileNew);
  connect(FActOpen, &QAction::triggered, this, &TQEMMainWindow::FileOpen);
  connect(FActSave, &QAction::triggered, this, &TQEMMainWindow::FileSave);
  connect(FActSaveAs, &QAction::triggered, this, &TQEMMainWindow::FileSaveAs);
  connect(FActExit, &QAction::triggered, this, &QWidget::close);
  connect(FActOptions, &QAction::triggered, this, [this] {
    // Options such as hiding empty files change what the pages and the tree show.
    if (QEMShowOptionsDialog(this)) RefreshAll();
  });
  connect(FActAddFiles, &QAction::triggered, this, &TQEMMainWindow::AddFiles);
  connect(FActAddFromDir, &QAction::triggered, this, &TQEMMainWindow::AddFromDirectory);
  connect(FActRemoveFiles, &QAction::triggered, this, &TQEMMainWindow::RemoveFiles);
  connect(FActRunUpdaters, &QAction::triggered, this, &TQEMMainWindow::RunUpdaters);
  connect(FActAddPackage, &QAction::triggered, this, &TQEMMainWindow::AddPackage);
  connect(FActHelp, &QAction::triggered, this, &TQEMMainWindow::HelpContents);
  connect(FActAbout, &QAction::triggered, this, &TQEMMainWindow::About);
  connect(FActRefresh, &QAction::triggered, this, &TQEMMainWindow::RefreshTree);
  connect(FActPurge, &QAction::triggered, this,
          [this] { RunBatch([this] { return FWorkspace.Purge(); }); });
  connect(FActEggBuild, &QAction::triggered, this,
          [this] { RunBatch([this] { return FWorkspace.EggBuild(); }); });
  connect(FActMakeDictionary, &QAction::triggered, this,
          [this] { RunBatch([this] { return FWorkspace.MakeDictionary(); }); });
  connect(FActRecreateXlat, &QAction::triggered, this,
          [this] { RunBatch([this] { return FWorkspace.RecreateXlat(); }); });
  connect(FActAddToRepository, &QAction::triggered, this, &TQEMMainWindow::AddToRepository);
  connect(FActGetFromRepository, &QAction::triggered, this, &TQEMMainWindow::GetFromRepository);
  connect(FActChangeStatus, &QAction::triggered, this, &TQEMMainWindow::ChangeStatus);
  connect(FActListWarnings, &QAction::triggered, this, &TQEMMainWindow::ListWarnings);
  connect(FActExpandOne, &QAction::triggered, this, &TQEMMainWindow::ExpandOneLevel);
  connect(FActExpandAll, &QAction::triggered, this, [this] {
    FTree->expandAll();
    FExpandDepth = 3;
  });
  connect(FActCollapse, &QAction::triggered, this, [this] {
    FTree->collapseAll();
    FExpandDepth = 0;
  });
}

void TQEMMainWindow::CreateMenus() {
  FFileMenu = menuBar()->addMenu(QStr(SMenuFile));
  FFileMenu->setObjectName(QStringLiteral("mnuFile"));
  FFileMenu->addAction(FActNew);
  FFileMenu->addAction(FActOpen);
  FReopenMenu = FFileMenu->addMenu(QStr(SActFileReopen));
  FReopenMenu->setObjectName(QStringLiteral("mnuReopen"));
  FFileMenu->addAction(FActSave);
  FFileMenu->addAction(FActSaveAs);
  FFileMenu->addSeparator();
  FFileMenu->addAction(FActExit);
  connect(FFileMenu, &QMenu::aboutToShow, this, &TQEMMainWindow::RebuildReopenMenu);

  QMenu* project = menuBar()->addMenu(QStr(SMenuProject));
  project->setObjectName(QStringLiteral("mnuProject"));
  project->addActions({FActAddFiles, FActAddFromDir, FActRemoveFiles});
  project->addSeparator();
  project->addAction(FActRunUpdaters);

  FTranslatorsMenu = menuBar()->addMenu(QStr(SMenuTranslators));
  FTranslatorsMenu->setObjectName(QStringLiteral("mnuTranslators"));
  FTranslatorsMenu->addAction(FActAddPackage);
  FRemovePackageMenu = FTranslatorsMenu->addMenu(QStr(SActRemovePackage));
  FRemovePackageMenu->setObjectName(QStringLiteral("mnuRemovePackage"));
  connect(FTranslatorsMenu, &QMenu::aboutToShow, this, &TQEMMainWindow::RebuildRemovePackageMenu);

  QMenu* tools = menuBar()->addMenu(QStr(SMenuTools));
  tools->setObjectName(QStringLiteral("mnuTools"));
  tools->addActions({FActOptions, FActMakeDictionary, FActRepository});

  QMenu* help = menuBar()->addMenu(QStr(SMenuHelp));
  help->setObjectName(QStringLiteral("mnuHelp"));
  help->addActions({FActHelp, FActAbout});

  FTreeMenu = new QMenu(this);
  FTreeMenu->setObjectName(QStringLiteral("pmWorkspace"));
  FTreeMenu->addAction(FActRefresh);
  FTreeMenu->addSeparator();
  FTreeMenu->addActions({FActPurge, FActEggBuild, FActMakeDictionary, FActRecreateXlat});
  FTreeMenu->addSeparator();
  FTreeMenu->addActions({FActAddToRepository, FActGetFromRepository, FActChangeStatus});
  FTreeMenu->addSeparator();
  FTreeMenu->addAction(FActListWarnings);
  FTreeMenu->addAction(FActFindInFiles);
}

QWidget* TQEMMainWindow::CreateProjectPage() {
  auto* page = new QWidget(this);
  page->setObjectName(QStringLiteral("tsEnv"));
  auto* split = new QSplitter(Qt::Horizontal, page);
  FProjectList = new QListWidget(split);
  FProjectList->setObjectName(QStringLiteral("lvProject"));
  FProjectPages = new QTabWidget(split);
  FProjectPages->setObjectName(QStringLiteral("pcProject"));
  split->setStretchFactor(1, 1);
  split->setSizes({200, 800});
  (new QVBoxLayout(page))->addWidget(split);
  connect(FProjectList, &QListWidget::currentRowChanged, this, &TQEMMainWindow::ProjectRowChanged);
  CreateLanguagesPage();
  CreateFilesPage();
  // Languages in the base-language box: every known one, found by LCID without a search.
  if (QEMLanguages)
    for (int i = 0; i < QEMLanguages->GetCount(); ++i)
      FBaseLang->addItem(QStr(QEMLanguages->GetName(i)), uint(QEMLanguages->GetLCID(i)));
  return page;
}

void TQEMMainWindow::CreateLanguagesPage() {
  FLanguagesPage = new QWidget(FProjectPages);
  FLanguagesPage->setObjectName(QStringLiteral("tsProjLang"));
  auto* langLayout = new QVBoxLayout(FLanguagesPage);
  auto* form = new QFormLayout;
  auto* rootRow = new QHBoxLayout;
  FRootDir = new QLineEdit(FLanguagesPage);
  FRootDir->setObjectName(QStringLiteral("ebRootPath"));
  auto* browse = new QToolButton(FLanguagesPage);
  browse->setObjectName(QStringLiteral("btnBrowseRootPath"));
  browse->setText(QStr(SBrowseButton));
  rootRow->addWidget(FRootDir, 1);
  rootRow->addWidget(browse);
  form->addRow(QStr(SLabelRootDirectory), rootRow);
  FBaseLang = new QComboBox(FLanguagesPage);
  FBaseLang->setObjectName(QStringLiteral("cbBaseLang"));
  FBaseLang->setMaxVisibleItems(25);
  form->addRow(QStr(SLabelBaseLanguage), FBaseLang);
  langLayout->addLayout(form);
  FLanguages = new QTreeWidget(FLanguagesPage);
  FLanguages->setObjectName(QStringLiteral("lvEnv"));
  FLanguages->setRootIsDecorated(false);
  FLanguages->setUniformRowHeights(true);
  FLanguages->setAlternatingRowColors(true);
  FLanguages->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FLanguages->setHeaderLabels(
      {QStr(SColLanguage), QStr(SColLocaleID), QStr(SColExtension), QStr(SColXlatDirectory)});
  FLanguages->setColumnWidth(lcLanguage, 260);
  FLanguages->setColumnWidth(lcLocaleID, 80);
  FLanguages->setColumnWidth(lcExtension, 90);
  langLayout->addWidget(FLanguages, 1);
  FProjectPages->addTab(FLanguagesPage, QStr(SPageLanguages));
  connect(browse, &QToolButton::clicked, this, &TQEMMainWindow::BrowseRootDir);
  connect(FRootDir, &QLineEdit::editingFinished, this,
          [this] { FWorkspace.SetRootDir(U16(FRootDir->text())); });
  connect(FBaseLang, &QComboBox::activated, this, [this](int Index) {
    FWorkspace.SetBaseLang(FBaseLang->itemData(Index).toUInt());
    UpdateIdleState();
  });
  connect(FLanguages, &QTreeWidget::itemChanged, this, &TQEMMainWindow::LanguageItemChanged);
  connect(FLanguages, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* Item, int Column) {
            if (Column == lcExtension || Column == lcXlatDir) FLanguages->editItem(Item, Column);
          });
}

void TQEMMainWindow::CreateFilesPage() {
  FFilesPage = new QWidget(FProjectPages);
  FFilesPage->setObjectName(QStringLiteral("tsProjFiles"));
  auto* filesLayout = new QVBoxLayout(FFilesPage);
  auto* bar = new QToolBar(FFilesPage);
  bar->setObjectName(QStringLiteral("tbFiles"));
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  bar->addActions({FActAddFiles, FActAddFromDir, FActRemoveFiles});
  bar->addSeparator();
  bar->addAction(FActRunUpdaters);
  filesLayout->addWidget(bar);
  FFiles = new QTreeWidget(FFilesPage);
  FFiles->setObjectName(QStringLiteral("lvFiles"));
  FFiles->setRootIsDecorated(false);
  FFiles->setUniformRowHeights(true);
  FFiles->setAlternatingRowColors(true);
  FFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FFiles->setHeaderLabels({QStr(SColFilename), QStr(SColPath), QStr(SColKind)});
  FFiles->setColumnWidth(fcFileName, 220);
  FFiles->setColumnWidth(fcPath, 300);
  FFiles->setItemDelegateForColumn(fcKind, new TKindDelegate(
                                               [this](int Row, const QString& Kind) {
                                                 FWorkspace.SetFileKind(Row, U16(Kind));
                                                 RefreshFiles();
                                               },
                                               FFiles));
  connect(FFiles, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* Item, int Column) {
    if (Column == fcKind)
      FFiles->editItem(Item, Column);
    else
      Guard([&] { FWorkspace.OpenSourceFile(FFiles->indexOfTopLevelItem(Item)); });
  });
  filesLayout->addWidget(FFiles, 1);
  auto* filesStatus = new QStatusBar(FFilesPage);
  filesStatus->setObjectName(QStringLiteral("sbFiles"));
  filesStatus->setSizeGripEnabled(false);
  FFilesPanel0 = new QLabel(filesStatus);
  FFilesPanel0->setObjectName(QStringLiteral("sbFilesPanel0"));
  FFilesPanel1 = new QLabel(filesStatus);
  FFilesPanel1->setObjectName(QStringLiteral("sbFilesPanel1"));
  filesStatus->addWidget(FFilesPanel0, 1);
  filesStatus->addWidget(FFilesPanel1, 2);
  filesLayout->addWidget(filesStatus);
  FProjectPages->addTab(FFilesPage, QStr(SPageFiles));
}

QWidget* TQEMMainWindow::CreateWorkspacePage() {
  auto* page = new QWidget(this);
  page->setObjectName(QStringLiteral("tsWorkspace"));
  auto* split = new QSplitter(Qt::Horizontal, page);
  auto* left = new QWidget(split);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QToolBar(left);
  bar->setObjectName(QStringLiteral("tbWorkspace"));
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  bar->addAction(FActRefresh);
  bar->addSeparator();
  bar->addActions({FActExpandOne, FActExpandAll, FActCollapse});
  leftLayout->addWidget(bar);
  FTree = new QTreeView(left);
  FTree->setObjectName(QStringLiteral("tvWorkspace"));
  FTree->setHeaderHidden(true);
  FTree->setUniformRowHeights(true);
  FTree->setContextMenuPolicy(Qt::CustomContextMenu);
  FTreeModel = new TQEMWorkspaceTreeModel(FWorkspace, FImages, this);
  FTree->setModel(FTreeModel);
  leftLayout->addWidget(FTree, 1);
  connect(FTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TQEMMainWindow::TreeCurrentChanged);
  // Double click or Enter on a file opens it (again, when it changed on disk) and goes there.
  connect(FTree, &QTreeView::activated, this, [this](const QModelIndex& Index) {
    TQEMTreeNode* node = FTreeModel->Node(Index);
    if (!node || node->Level != 3 || !node->Info.TypeId) return;
    if (FWorkspace.Selected() != node) FTree->setCurrentIndex(Index);
    if (FWorkspace.Selected() != node) return;
    Guard([&] { node->Info.TypeId->Edit(node->Info.Path); });
    ShowPane();
    FTranslatorWindows->FocusShown();
  });
  connect(FTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& At) {
    UpdateWorkspaceActions();
    FTreeMenu->popup(FTree->viewport()->mapToGlobal(At));
  });

  FPane = new QStackedWidget(split);
  FPane->setObjectName(QStringLiteral("pnlPane"));
  FPane->addWidget(new QWidget(FPane)); // paNone
  auto* status = new QWidget(FPane);
  auto* statusLayout = new QVBoxLayout(status);
  statusLayout->setContentsMargins(0, 0, 0, 0);
  FStatusTable = NewTable(status);
  FStatusTable->setObjectName(QStringLiteral("tblProjectStatus"));
  FStatusTotals = new QLabel(status);
  FStatusTotals->setObjectName(QStringLiteral("lblStatusTotals"));
  statusLayout->addWidget(FStatusTable, 1);
  statusLayout->addWidget(FStatusTotals);
  FPane->addWidget(status); // paStatus
  FExplorer = NewTable(FPane);
  FExplorer->setObjectName(QStringLiteral("tblExplorer"));
  FPane->addWidget(FExplorer); // paExplorer
  FTranslatorPanel = new QWidget(FPane);
  FTranslatorPanel->setObjectName(QStringLiteral("pnlWorkspace"));
  new QVBoxLayout(FTranslatorPanel);
  FTranslatorPanel->layout()->setContentsMargins(0, 0, 0, 0);
  FPane->addWidget(FTranslatorPanel); // paTranslator
  split->setStretchFactor(1, 1);
  split->setSizes({420, 760});
  (new QVBoxLayout(page))->addWidget(split);
  connect(FStatusTable, &QTableWidget::cellDoubleClicked, this,
          [this](int Row, int) { SelectFileNode(FWorkspace.ProjectStatus().Row(Row).FileName); });
  connect(FExplorer, &QTableWidget::cellDoubleClicked, this,
          [this](int Row, int) { SelectFileNode(FWorkspace.ExplorerRows().at(size_t(Row)).Path); });
  return page;
}

// ---- helpers ----

template <class F> void TQEMMainWindow::Guard(F&& Call) {
  try {
    Call();
  } catch (const std::exception& e) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
  }
}

template <class F> void TQEMMainWindow::TreeChange(F&& Call) {
  FTreeModel->BeginChange();
  try {
    Call();
  } catch (...) {
    FTreeModel->EndChange();
    throw;
  }
  FTreeModel->EndChange();
}

void TQEMMainWindow::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  // The command line runs once the window is up, as on a first activation.
  if (!FActivated) QTimer::singleShot(0, this, &TQEMMainWindow::ProcessCommandLine);
}

void TQEMMainWindow::ProcessCommandLine() {
  if (FActivated) return;
  FActivated = true;
  // An obsolete setting is pointed out once per start, before anything else is done.
  Guard([] { QEMCheckIntegrationToolsValue(); });
  Guard([&] { TreeChange([&] { FExitCode = FWorkspace.ExecuteCmdLine(FArgs); }); });
  ApplyIntegrationTools();
  RefreshAll();
  // A batch command line ends the program, as the close request of an unattended run does.
  if (FExitCode >= 0) QTimer::singleShot(0, this, &QWidget::close);
  emit started();
}

void TQEMMainWindow::closeEvent(QCloseEvent* Event) {
  // The browser asks about its own unsaved changes and commits an open cell edit first.
  if (auto* browser = QEMRepositoryWindow(); browser && FExitCode < 0 && !browser->close()) {
    Event->ignore();
    return;
  }
  bool close = false;
  Guard([&] { close = FExitCode >= 0 || FWorkspace.CanQuit(); });
  if (close)
    Event->accept();
  else
    Event->ignore();
  RefreshCaption();
}

void TQEMMainWindow::SaveGeometryToOptions() {
  if (!QEMINTOptionProps) return;
  TQEMINTOptionProps& o = *QEMINTOptionProps;
  const QRect r = isMaximized() ? normalGeometry() : QRect(pos(), size());
  o.HLXLeft = r.left();
  o.HLXTop = r.top();
  o.HLXWidth = r.width();
  o.HLXHeight = r.height();
  try {
    TRegistry reg;
    o.HLXPropSet.Save(reg);
  } catch (const std::exception&) {
    // The settings cannot be written: the window opens at its default place next time.
  }
}

// ---- refreshing the controls ----

void TQEMMainWindow::RefreshAll() {
  RefreshCaption();
  RefreshProjectList();
  RefreshProjectFields();
  RefreshLanguages();
  RefreshFiles();
  UpdateIdleState();
}

void TQEMMainWindow::RefreshCaption() {
  setWindowTitle(QStr(FWorkspace.WindowCaption()) + QStringLiteral("[*]"));
  setWindowModified(FWorkspace.Modified);
}

void TQEMMainWindow::RefreshProjectList() {
  const QSignalBlocker block(FProjectList);
  FProjectList->clear();
  for (int i = 0; i < FWorkspace.Projects().GetCount(); ++i)
    FProjectList->addItem(QStr(FWorkspace.ProjectCaption(i)));
  FProjectList->setCurrentRow(FWorkspace.ProjectIndex());
}

void TQEMMainWindow::RefreshProjectFields() {
  FRootDir->setText(QStr(FWorkspace.RootDir));
  const QSignalBlocker block(FBaseLang);
  const LCID base = FWorkspace.BaseLang;
  int index = base == 0 ? -1 : FBaseLang->findData(uint(base));
  if (index < 0 && base != 0) {
    FBaseLang->addItem(QStr(LCIDToLangName(base)), uint(base));
    index = FBaseLang->count() - 1;
  }
  FBaseLang->setCurrentIndex(index);
}

void TQEMMainWindow::RefreshLanguages() {
  const QSignalBlocker block(FLanguages);
  FLanguages->clear();
  QList<QTreeWidgetItem*> items;
  const auto& rows = FWorkspace.LangRows();
  items.reserve(qsizetype(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    const TQEMLangRow& r = rows[i];
    auto* item = new QTreeWidgetItem(
        {QStr(r.Name), QString::number(r.Locale), QStr(r.Ext), QStr(r.XlatDir)});
    item->setData(lcLanguage, Qt::UserRole, int(i));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemIsEditable);
    item->setCheckState(lcLanguage, r.Checked ? Qt::Checked : Qt::Unchecked);
    items.push_back(item);
  }
  FLanguages->addTopLevelItems(items);
}

void TQEMMainWindow::RefreshLanguageDirs() {
  const QSignalBlocker block(FLanguages);
  const auto& rows = FWorkspace.LangRows();
  for (int i = 0; i < FLanguages->topLevelItemCount() && size_t(i) < rows.size(); ++i) {
    QTreeWidgetItem* item = FLanguages->topLevelItem(i);
    item->setText(lcXlatDir, QStr(rows[size_t(i)].XlatDir));
    item->setText(lcExtension, QStr(rows[size_t(i)].Ext));
  }
}

void TQEMMainWindow::RefreshFiles() {
  FFiles->clear();
  QList<QTreeWidgetItem*> items;
  for (const TQEMFileRow& r : FWorkspace.FileRows())
    items.push_back(new QTreeWidgetItem({QStr(r.FileName), QStr(r.Path), QStr(r.Kind)}));
  FFiles->addTopLevelItems(items);
}

void TQEMMainWindow::UpdateIdleState() {
  // A run in progress pumps events; its status texts are not overwritten meanwhile.
  if (QApplication::activeModalWidget()) return;
  FWorkspace.AllFieldsEntered(false);
  const std::u16string& problem = FWorkspace.ProblemList();
  // Without the fields it needs, Run updaters says why in its hint and gives up its key.
  const QString hint = problem.empty() ? FRunUpdatersHint : QStr(problem);
  const QKeySequence key = problem.empty() ? QKeySequence(Qt::Key_F9) : QKeySequence();
  if (FActRunUpdaters->toolTip() != hint) FActRunUpdaters->setToolTip(hint);
  if (FActRunUpdaters->shortcut() != key) FActRunUpdaters->setShortcut(key);
  FFilesPanel0->setText(QStr(problem));
  const QString need = QStr(FWorkspace.IdleStatusText());
  FFilesPanel1->setText(need);
  FNeedUpdatePanel->setText(need);
  setWindowModified(FWorkspace.Modified);
  if (QEMFileTypesStarted()) {
    auto& types = QEMFileTypes();
    for (int i = 0; i < types.Count(); ++i) {
      bool done = true;
      types.GetQEMFileType(i)->Idle(this, done);
    }
  }
  UpdateWorkspaceActions();
}

void TQEMMainWindow::UpdateWorkspaceActions() {
  const bool batch = FWorkspace.CanRunBatch();
  for (QAction* a :
       {FActPurge, FActEggBuild, FActMakeDictionary, FActRecreateXlat, FActAddToRepository,
        FActGetFromRepository, FActChangeStatus, FActListWarnings})
    a->setEnabled(batch);
  FActFindInFiles->setVisible(FWorkspace.CanFindInFiles());
  FActRefresh->setEnabled(WorkspacePageShown());
}

void TQEMMainWindow::ApplyIntegrationTools() {
  const bool on = FWorkspace.IntegrationToolsVisible();
  FTranslatorsMenu->menuAction()->setVisible(on);
  for (QAction* a : {FActMakeDictionary, FActEggBuild, FActRecreateXlat})
    a->setVisible(on);
}

void TQEMMainWindow::ShowPane() {
  switch (FWorkspace.NodeView()) {
  case TQEMNodeView::nvProjectStatus: {
    const TQEMProjectStatusModel& m = FWorkspace.ProjectStatus();
    FStatusTable->setRowCount(m.RowCount());
    for (int r = 0; r < m.RowCount(); ++r)
      for (int c = 0; c < TQEMProjectStatusModel::ColumnCount; ++c)
        SetCell(FStatusTable, r, c, m.CellText(r, c), c >= TQEMProjectStatusModel::scTranslated);
    QStringList totals;
    for (const auto& t : m.StatusTexts())
      totals << QStr(t);
    FStatusTotals->setText(totals.join(QStringLiteral("    ")));
    FPane->setCurrentIndex(paStatus);
    break;
  }
  case TQEMNodeView::nvExplorer: {
    const int rows = int(FWorkspace.ExplorerRows().size());
    FExplorer->setRowCount(rows);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < TQEMProjectStatusModel::ColumnCount; ++c)
        SetCell(FExplorer, r, c, FWorkspace.ExplorerCellText(r, c),
                c >= TQEMProjectStatusModel::scTranslated);
    FPane->setCurrentIndex(paExplorer);
    break;
  }
  case TQEMNodeView::nvTranslator:
    FPane->setCurrentIndex(paTranslator);
    break;
  default:
    FPane->setCurrentIndex(paNone);
  }
}

// ---- pages ----

void TQEMMainWindow::ShowProjectPage() {
  FPages->setCurrentWidget(FProjectPage);
}

void TQEMMainWindow::ShowFilesPage() {
  FPages->setCurrentWidget(FProjectPage);
  FProjectPages->setCurrentWidget(FFilesPage);
}

void TQEMMainWindow::ShowWorkspacePage() {
  FPages->setCurrentWidget(FWorkspacePage);
}

bool TQEMMainWindow::WorkspacePageShown() const {
  return FPages->currentWidget() == FWorkspacePage;
}

void TQEMMainWindow::PageChanged(int) {
  if (WorkspacePageShown()) EnterWorkspace();
  UpdateWorkspaceActions();
}

void TQEMMainWindow::EnterWorkspace() {
  // An edit still open in a list belongs to the project before the tree is built from it.
  if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
  Guard([&] { TreeChange([&] { FWorkspace.BuildTree(); }); });
  FTree->expandToDepth(0);
  FExpandDepth = 1;
  const QModelIndex first = FTreeModel->index(0, 0);
  if (first.isValid()) {
    FTree->setCurrentIndex(first);
    // Selecting the node the workspace already holds fills its pane as well.
    if (FWorkspace.NodeView() == TQEMNodeView::nvNone)
      Guard([&] { FWorkspace.SelectNode(FTreeModel->Node(first)); });
  }
  ShowPane();
  RefreshCaption();
  UpdateIdleState();
}

void TQEMMainWindow::ProjectRowChanged(int Row) {
  if (Row < 0 || Row == FWorkspace.ProjectIndex()) return;
  Guard([&] {
    FWorkspace.SaveData();
    FWorkspace.SelectProject(Row);
  });
  RefreshProjectFields();
  RefreshLanguages();
  RefreshFiles();
  UpdateIdleState();
}

void TQEMMainWindow::LanguageItemChanged(QTreeWidgetItem* Item, int Column) {
  const int row = Item->data(lcLanguage, Qt::UserRole).toInt();
  if (row < 0 || size_t(row) >= FWorkspace.LangRows().size()) return;
  switch (Column) {
  case lcLanguage: {
    const bool checked = Item->checkState(lcLanguage) == Qt::Checked;
    if (checked == FWorkspace.LangRows()[size_t(row)].Checked) return;
    FWorkspace.SetLangChecked(row, checked);
    break;
  }
  case lcExtension:
    FWorkspace.SetLangExt(row, U16(Item->text(lcExtension)));
    break;
  case lcXlatDir:
    FWorkspace.SetLangXlatDir(row, U16(Item->text(lcXlatDir)));
    break;
  default:
    return;
  }
  RefreshLanguageDirs();
  UpdateIdleState();
}

void TQEMMainWindow::TreeCurrentChanged(const QModelIndex& Current, const QModelIndex&) {
  if (FRestoringSelection) return;
  TQEMTreeNode* previous = FWorkspace.Selected();
  TQEMTreeNode* node = FTreeModel->Node(Current);
  bool selected = true;
  Guard([&] { selected = FWorkspace.SelectNode(node); });
  if (!selected) {
    // The translator window keeps its file: the selection goes back to it.
    FRestoringSelection = true;
    FTree->setCurrentIndex(FTreeModel->IndexOf(FWorkspace.Selected()));
    FRestoringSelection = false;
    return;
  }
  if (previous && previous != node) FTreeModel->NodeChanged(previous);
  ShowPane();
  UpdateWorkspaceActions();
}

void TQEMMainWindow::SelectFileNode(const std::u16string& Path) {
  const QModelIndex index = FTreeModel->IndexOf(FWorkspace.FindFileNode(Path));
  if (!index.isValid()) return;
  FTree->scrollTo(index);
  FTree->setCurrentIndex(index);
}

// ---- File ----

void TQEMMainWindow::FileNew() {
  Guard([&] { TreeChange([&] { FWorkspace.FileNew(); }); });
  RefreshAll();
  ShowProjectPage();
}

void TQEMMainWindow::FileOpen() {
  Guard([&] {
    if (!FWorkspace.CanProjectClose()) return;
    std::u16string name = ExtractFilePath(FWorkspace.CurrFileName());
    if (!QEMUIServices().ChooseOpenFile(std::u16string(SOpenProjectTitle),
                                        std::u16string(SProjectFilter), name))
      return;
    OpenProject(name);
  });
  RefreshCaption();
}

void TQEMMainWindow::OpenProject(const std::u16string& FileName) {
  Guard([&] { TreeChange([&] { FWorkspace.OpenFile(FileName); }); });
  RefreshAll();
  ShowProjectPage();
}

void TQEMMainWindow::RebuildReopenMenu() {
  FReopenMenu->clear();
  for (const std::u16string& file : FWorkspace.History()) {
    QAction* a = FReopenMenu->addAction(QStr(file));
    connect(a, &QAction::triggered, this, [this, file] {
      bool go = false;
      Guard([&] { go = FWorkspace.CanProjectClose(); });
      if (go) OpenProject(file);
    });
  }
  FReopenMenu->setEnabled(!FWorkspace.History().empty());
}

void TQEMMainWindow::FileSave() {
  Guard([&] { FWorkspace.FileSave(); });
  RefreshAll();
}

void TQEMMainWindow::FileSaveAs() {
  Guard([&] {
    const std::u16string current = FWorkspace.CurrFileName();
    std::u16string name =
        ChangeFileExt(current.empty() ? std::u16string(SNewProjectName) : current, u".hlx");
    if (!QEMUIServices().ChooseSaveFile(u"", std::u16string(SProjectFilter), name)) return;
    FWorkspace.SaveAs(name);
  });
  RefreshAll();
}

// ---- Project ----

void TQEMMainWindow::BrowseRootDir() {
  Guard([&] {
    std::u16string dir = FWorkspace.RootDir;
    if (!QEMUIServices().ChooseFolder(std::u16string(SChooseRootDirectory), dir)) return;
    FWorkspace.SetRootDir(dir);
  });
  RefreshProjectFields();
  UpdateIdleState();
}

void TQEMMainWindow::AddFiles() {
  ShowFilesPage();
  Guard([&] {
    TQEMQtUIServices* qt = QEMQtUIServices();
    if (!qt) {
      FWorkspace.FileAddExecute();
      return;
    }
    std::vector<std::u16string> files;
    if (!qt->ChooseOpenFiles(std::u16string(SAddFilesTitle), FWorkspace.AddFilesFilter(),
                             FWorkspace.GetBaseDir(), files))
      return;
    for (const auto& f : files)
      FWorkspace.AddItemToListView(f, false);
  });
  RefreshFiles();
  UpdateIdleState();
}

void TQEMMainWindow::AddFromDirectory() {
  ShowFilesPage();
  Guard([&] { FWorkspace.AddFromDirectory(nullptr); });
  RefreshFiles();
  UpdateIdleState();
}

void TQEMMainWindow::RemoveFiles() {
  ShowFilesPage();
  std::vector<int> rows;
  for (const QModelIndex& i : FFiles->selectionModel()->selectedRows())
    rows.push_back(i.row());
  Guard([&] { FWorkspace.RemoveFiles(rows); });
  RefreshFiles();
  UpdateIdleState();
}

void TQEMMainWindow::RunUpdaters() {
  const bool onTree = WorkspacePageShown();
  // The run goes through the managers of open files: their windows save or drop their edits
  // first and read the files again afterwards.
  if (!FTranslatorWindows->BeforeBatch()) return;
  Guard([&] { FWorkspace.ProjectRunUpdatersExecute(nullptr); });
  FTranslatorWindows->AfterBatch();
  // The run let go of the selection; the tree shows the new counts.
  if (onTree) EnterWorkspace();
  UpdateIdleState();
}

// ---- Translators ----

void TQEMMainWindow::AddPackage() {
  Guard([&] {
    std::u16string file = QEMBinDir();
    if (!QEMUIServices().ChooseOpenFile(std::u16string(SAddPackageTitle),
                                        std::u16string(SPackageFilter), file))
      return;
    FWorkspace.AddPackage(file);
  });
  RefreshFiles();
}

void TQEMMainWindow::RebuildRemovePackageMenu() {
  FRemovePackageMenu->clear();
  TQEMPackageManager& packages = FWorkspace.Packages();
  for (int i = 0; i < packages.Count(); ++i) {
    QAction* a = FRemovePackageMenu->addAction(QStr(packages.Entry(i).Caption));
    a->setToolTip(QStr(packages.Entry(i).FileName));
    const void* module = packages.Entry(i).Module;
    connect(a, &QAction::triggered, this, [this, module] {
      TQEMPackageManager& p = FWorkspace.Packages();
      for (int k = 0; k < p.Count(); ++k)
        if (p.Entry(k).Module == module) {
          if (!FTranslatorWindows->ReleaseForms(p.Entry(k).Types)) break;
          Guard([&] { TreeChange([&] { FWorkspace.RemovePackage(k); }); });
          break;
        }
      ShowPane();
      RefreshFiles();
    });
  }
  FRemovePackageMenu->setEnabled(packages.Count() > 0);
}

// ---- Help ----

void TQEMMainWindow::HelpContents() {
  QEMUIServices().MessageBox(std::u16string(SHelpText));
}

void TQEMMainWindow::About() {
  TQEMAboutDialog about(this);
  about.exec();
}

// ---- the workspace tree ----

void TQEMMainWindow::RefreshTree() {
  // The same node stays selected when the rebuilt tree still has it.
  std::vector<std::u16string> path;
  for (const TQEMTreeNode* n = FWorkspace.Selected(); n; n = n->Parent)
    path.insert(path.begin(), n->Caption);
  EnterWorkspace();
  const TQEMTreeNode* found = nullptr;
  const std::vector<std::unique_ptr<TQEMTreeNode>>* level = &FWorkspace.Tree();
  for (const auto& caption : path) {
    const auto it = std::find_if(level->begin(), level->end(),
                                 [&](const auto& N) { return N->Caption == caption; });
    if (it == level->end()) break;
    found = it->get();
    level = &found->Children;
  }
  if (found && found != FWorkspace.Selected()) {
    const QModelIndex index = FTreeModel->IndexOf(found);
    FTree->scrollTo(index);
    FTree->setCurrentIndex(index);
  }
}

void TQEMMainWindow::ExpandOneLevel() {
  FExpandDepth = std::min(FExpandDepth + 1, 3);
  FTree->expandToDepth(FExpandDepth - 1);
}

void TQEMMainWindow::RunBatch(const std::function<bool()>& Operation) {
  if (!FTranslatorWindows->BeforeBatch()) return;
  Guard([&] { Operation(); });
  FTranslatorWindows->AfterBatch();
  UpdateWorkspaceActions();
}

void TQEMMainWindow::ListWarnings() {
  Guard([&] {
    if (!FWorkspace.ListWarnings()) return;
    const TQEMListWarningsData& found = FWorkspace.LastWarnings();
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("dlgWarnings"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStr(SListWarningsCaption));
    auto* table = new QTableWidget(int(found.Warnings.size()), 4, dialog);
    table->setObjectName(QStringLiteral("tblWarnings"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setHorizontalHeaderLabels({QStr(SListWarningsColFile), QStr(SListWarningsColItem),
                                      QStr(SListWarningsColKind), QStr(SListWarningsColMessage)});
    for (int r = 0; r < table->rowCount(); ++r) {
      const TQEMFileWarning& w = found.Warnings[size_t(r)];
      const std::u16string cells[] = {w.File, w.ItemId, QEMQualityWarningName(w.Kind), w.Message};
      for (int c = 0; c < 4; ++c)
        table->setItem(r, c, new QTableWidgetItem(QStr(cells[c])));
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(table);
    layout->addWidget(new QLabel(
        QStr(Format(SListWarningsDone, int(found.Warnings.size()), found.Files)), dialog));
    dialog->resize(800, 400);
    dialog->show();
  });
}

void TQEMMainWindow::AddToRepository() {
  TQEMINTOptionProps& o = *QEMINTOptionProps;
  TQEMBatchOptionsDialog dialog(SActAddToRepository,
                                {{SStatusTranslated, &o.AddToRepositoryTranslated},
                                 {SStatusUntranslated, &o.AddToRepositoryUntranslated},
                                 {SStatusNewlyTranslated, &o.AddToRepositoryNewlyTranslated},
                                 {SStatusUnused, &o.AddToRepositoryUnused},
                                 {SStatusHold, &o.AddToRepositoryHold},
                                 {SStatusDoNotTranslate, &o.AddToRepositoryDoNotTranslate}},
                                nullptr, {{SOptIncludeContext, &o.AddToRepositoryIncludeContext}},
                                &o.AddToRepositoryComment, o.AddToRepositoryPropSet, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const auto data = QEMAddToRepositoryOptions(dialog.CommentText());
  RunBatch([&] { return FWorkspace.AddToRepository(data); });
}

void TQEMMainWindow::GetFromRepository() {
  TQEMINTOptionProps& o = *QEMINTOptionProps;
  TQEMBatchOptionsDialog dialog(SActGetFromRepository,
                                {{SStatusUntranslated, &o.GetFromRepositoryUntranslated},
                                 {SStatusTranslated, &o.GetFromRepositoryTranslated},
                                 {SStatusAutoTranslated, &o.GetFromRepositoryAutoTranslated},
                                 {SStatusNewlyTranslated, &o.GetFromRepositoryNewlyTranslated},
                                 {SStatusHold, &o.GetFromRepositoryHold},
                                 {SStatusDoNotTranslate, &o.GetFromRepositoryDoNotTranslate}},
                                &o.GetFromRepositoryNewStatus,
                                {{SOptUseContext, &o.GetFromRepositoryUseContext}},
                                &o.GetFromRepositoryComment, o.GetFromRepositoryPropSet, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const auto data = QEMGetFromRepositoryOptions(dialog.CommentText());
  RunBatch([&] { return FWorkspace.GetFromRepository(data); });
}

void TQEMMainWindow::ChangeStatus() {
  TQEMINTOptionProps& o = *QEMINTOptionProps;
  TQEMBatchOptionsDialog dialog(SActChangeStatus,
                                {{SStatusUntranslated, &o.ChangeStatusUntranslated},
                                 {SStatusTranslated, &o.ChangeStatusTranslated},
                                 {SStatusAutoTranslated, &o.ChangeStatusAutoTranslated},
                                 {SStatusNewlyTranslated, &o.ChangeStatusNewlyTranslated},
                                 {SStatusHold, &o.ChangeStatusHold},
                                 {SStatusDoNotTranslate, &o.ChangeStatusDoNotTranslate}},
                                &o.ChangeStatusNewStatus,
                                {{SOptRevertToOriginal, &o.ChangeStatusRevertToOriginal},
                                 {SOptUseRepository, &o.ChangeStatusUseRepository},
                                 {SOptUseContext, &o.ChangeStatusUseContext}},
                                &o.ChangeStatusComment, o.ChangeStatusPropSet, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const auto data = QEMChangeStatusOptions(dialog.CommentText());
  RunBatch([&] { return FWorkspace.ChangeStatus(data); });
}

void TQEMMainWindow::FindInWindow(TQEMTranslatorWindow& Window) {
  Guard([&] {
    TQEMTranslatorFormModel& model = Window.Model();
    TfrmQEMSearchForm form;
    form.Tabs = 1u << stSearch;
    form.ActivePage = stSearch;
    form.ColumnCaption = [&model](TQEMAllColId Col) { return model.ColumnCaption(Col); };
    if (!QEMShowSearchDialog(this, form)) return;
    TfrmQEMSearchResults& results = FSearchResults->Results();
    // Lines of this search lead back to their item in the window they came from.
    results.OnOpen = [&model](const TQEMSearchLine& Line) {
      model.GotoItem(Line.Rec().AMgrLine, Line.Rec().AColAsEnum);
    };
    model.Find(form, results);
  });
}
