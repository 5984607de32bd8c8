// The main window driven offscreen over the bundled example: menus, the project page, the
// updater run with its progress window, the workspace tree, the close question, the kept
// geometry, the obsolete-setting notice, and screenshots for the documentation.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include "GuiTestSupport.h"
#include "QEMMainWindow.h"
#include "QEMQtText.h"
#include "QEMQtUIServices.h"
#include "QEMWorkspaceTreeModel.h"
#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "platform/QEMRegistry.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "translator/QEMTranslator.h"
#include "workspace/QEMWorkspace.h"

using hlxguitest::TExample;
using hlxguitest::TModalAnswerer;

namespace {

// A workspace and its window, as hlx makes them; the window goes first.
struct TProgram {
  TQEMWorkspace Workspace;
  TQEMMainWindow Window;
  explicit TProgram(std::vector<std::u16string> Args = {}) : Window(Workspace, std::move(Args)) {
    Window.show();
    Window.ProcessCommandLine();
  }
  template <class T> T* Find(const char* Name) {
    return Window.findChild<T*>(QString::fromLatin1(Name));
  }
  QAction* Action(const char* Name) { return Find<QAction>(Name); }
};

// "&Open|Ctrl+O" per entry, hidden ones marked "(hidden)", sub-menus by their title.
QStringList Describe(const QMenu* Menu) {
  QStringList r;
  for (const QAction* a : Menu->actions()) {
    if (a->isSeparator()) continue;
    QString s = a->text();
    if (!a->shortcut().isEmpty()) s += QLatin1Char('|') + a->shortcut().toString();
    if (!a->isVisible()) s += QStringLiteral(" (hidden)");
    r << s;
  }
  return r;
}

QMenu* MenuOf(QMainWindow& W, std::u16string_view Title) {
  for (QAction* a : W.menuBar()->actions())
    if (a->text() == QStr(Title)) return a->menu();
  return nullptr;
}

QString LangName(LCID Locale) {
  return QStr(LCIDToLangName(Locale));
}

// A translator window that keeps its file while it has unsaved edits.
class TKeepingForm : public TQEMTranslatorForm {
public:
  bool CanQuit(bool) override { return !Dirty; }
  void ChangeSize() override {}
  void HideDockPanel() override {}
  void LoadFromFile(const std::u16string&, int32_t, int32_t) override {}
  void Search() override {}
  void ShowDockPanel() override {}
  void EditFile(const std::u16string& AFileName) override { Edited = AFileName; }
  void Idle(void*, bool&) override {}
  void SetVisible(bool) override {}
  bool Dirty = false;
  std::u16string Edited;
};

} // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
  std::shared_ptr<IQEMUIServices> FPrevious;

private slots:
  void initTestCase() { FPrevious = QEMSetUIServices(std::make_shared<TQEMQtUIServices>()); }
  void cleanupTestCase() { QEMSetUIServices(FPrevious); }

  void MenusCaptionsAndShortcuts() {
    TExample example;
    TModalAnswerer answers;
    {
      TProgram p({example.Project()});
      QCOMPARE(Describe(MenuOf(p.Window, SMenuFile)),
               QStringList({"&New|Ctrl+N", "&Open|Ctrl+O", "&Reopen", "&Save Project|Ctrl+S",
                            "Save Project &As...", "E&xit"}));
      QCOMPARE(Describe(MenuOf(p.Window, SMenuProject)),
               QStringList({"&Add Files|Ctrl+A", "Add from &directory|Ctrl+D",
                            "&Remove Files|Ctrl+R", "Run updaters|F9"}));
      QVERIFY(!MenuOf(p.Window, SMenuTranslators)->menuAction()->isVisible());
      QCOMPARE(Describe(MenuOf(p.Window, SMenuTranslators)), QStringList({"&Add...", "&Remove"}));
      QCOMPARE(Describe(MenuOf(p.Window, SMenuTools)),
               QStringList(
                   {"&Options...", "&Make Dictionary|Ctrl+M (hidden)", "Translation Repository"}));
      QCOMPARE(Describe(MenuOf(p.Window, SMenuHelp)), QStringList({"&Contents|F1", "&About..."}));
      QCOMPARE(
          Describe(p.Window.TreeMenu()),
          QStringList({"Refresh|Ctrl+F5", "Purge|Ctrl+F7", "Egg Build|Ctrl+F8 (hidden)",
                       "&Make Dictionary|Ctrl+M (hidden)", "Recreate translated files (hidden)",
                       "Add strings to repository", "Get strings from repository", "Change status",
                       "List warnings", "Find in Files (hidden)"}));
      QVERIFY(p.Window.RepositoryAction()->isEnabled());
      // Reopen lists the history, newest first.
      QMenu* file = MenuOf(p.Window, SMenuFile);
      emit file->aboutToShow();
      QMenu* reopen = p.Find<QMenu>("mnuReopen");
      QVERIFY(!reopen->actions().isEmpty());
      QCOMPARE(reopen->actions().front()->text(), QStr(example.Project()));
    }
    // Translator mode offers the integration tools.
    bIntegrationTools = true;
    {
      TProgram p;
      QVERIFY(MenuOf(p.Window, SMenuTranslators)->menuAction()->isVisible());
      QVERIFY(p.Action("actMakeDictionary")->isVisible());
      QVERIFY(p.Action("actEggBuild")->isVisible());
      QVERIFY(p.Action("actRecreateXlat")->isVisible());
      // A new project is incomplete: Run updaters says why instead of taking F9.
      QVERIFY(p.Action("actRunUpdaters")->shortcut().isEmpty());
      QCOMPARE(p.Action("actRunUpdaters")->toolTip(), QStr(SNoRootDirectory));
      // The Remove sub-menu names each loaded package.
      emit MenuOf(p.Window, SMenuTranslators)->aboutToShow();
      QCOMPARE(p.Find<QMenu>("mnuRemovePackage")->actions().size(), 2);
    }
    bIntegrationTools = false;
    QVERIFY(answers.Seen().isEmpty());
  }

  void ProjectPageShowsTheExample() {
    TExample example;
    TModalAnswerer answers;
    TProgram p({example.Project()});
    auto* projects = p.Find<QListWidget>("lvProject");
    QCOMPARE(projects->count(), 1);
    QCOMPARE(projects->item(0)->text(), QStringLiteral("demo.hlx"));
    QCOMPARE(QFileInfo(p.Find<QLineEdit>("ebRootPath")->text()).canonicalFilePath(),
             QFileInfo(QString::fromStdString(example.Dir().string())).canonicalFilePath());
    QCOMPARE(p.Find<QComboBox>("cbBaseLang")->currentText(), LangName(0x409));
    QStringList checked;
    auto* langs = p.Find<QTreeWidget>("lvEnv");
    QCOMPARE(langs->headerItem()->text(1), QStr(SColLocaleID));
    for (int i = 0; i < langs->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = langs->topLevelItem(i);
      if (item->checkState(0) == Qt::Checked)
        checked << item->text(0) + QLatin1Char('|') + item->text(1) + QLatin1Char('|') +
                       item->text(2) + QLatin1Char('|') + item->text(3);
    }
    checked.sort();
    QStringList expected = {LangName(0x407) + "|1031|DEU|de", LangName(0x40C) + "|1036|FRA|fr",
                            LangName(0x411) + "|1041|JPN|ja"};
    expected.sort();
    QCOMPARE(checked, expected);
    auto* files = p.Find<QTreeWidget>("lvFiles");
    QCOMPARE(files->topLevelItemCount(), 5);
    QCOMPARE(files->topLevelItem(0)->text(0), QStringLiteral("MainForm.ofm"));
    QCOMPARE(files->topLevelItem(0)->text(1), QStringLiteral("src/"));
    for (int i = 0; i < 5; ++i)
      QVERIFY(files->topLevelItem(i)->text(2) != QStr(SUnknownKind));
    QCOMPARE(p.Find<QLabel>("sbFilesPanel1")->text(), QStr(SNoNeedToRunUpdaters));
    QVERIFY(!p.Window.isWindowModified());
    QVERIFY(p.Window.windowTitle().contains(QStringLiteral("demo.hlx")));

    // A language unchecked in the list loses its directory, checked again it gets its
    // extension as directory, and the project needs an update.
    QTreeWidgetItem* german = nullptr;
    for (int i = 0; i < langs->topLevelItemCount() && !german; ++i)
      if (langs->topLevelItem(i)->text(0) == LangName(0x407)) german = langs->topLevelItem(i);
    QVERIFY(german);
    german->setCheckState(0, Qt::Unchecked);
    QCOMPARE(german->text(3), QString());
    QCOMPARE(p.Find<QLabel>("sbFilesPanel1")->text(), QStr(SNeedToRunUpdaters));
    QVERIFY(p.Window.isWindowModified());
    german->setCheckState(0, Qt::Checked);
    QCOMPARE(german->text(3), QStringLiteral("DEU/"));
    // The close question follows; No leaves the copy as it was.
    answers.Queue(TModalAnswerer::Click(SButtonNo));
    QVERIFY(p.Window.close());
  }

  void RunUpdatersFillsTheTree() {
    TExample example;
    TModalAnswerer answers;
    TProgram p({example.Project()});
    p.Action("actRunUpdaters")->trigger();
    // The summary of the run is the one box shown.
    QCOMPARE(answers.Seen().size(), 1);
    QVERIFY(answers.Seen().front().contains(QStr(STimeElapsed).trimmed()));
    QCOMPARE(example.NotesFileCount(), 15);

    p.Window.ShowWorkspacePage();
    TQEMWorkspaceTreeModel& model = *p.Window.TreeModel();
    QCOMPARE(model.rowCount(), 1);
    const QModelIndex project = model.index(0, 0);
    QCOMPARE(model.rowCount(project), 3);
    QStringList languages;
    for (int l = 0; l < 3; ++l) {
      const QModelIndex lang = model.index(l, 0, project);
      const TQEMTreeNode& node = *model.Node(lang);
      languages << QStr(node.Caption);
      // The caption carries the counts; they are the sums over the language's files.
      QCOMPARE(lang.data().toString(),
               QStr(node.Caption) +
                   QStringLiteral(" (%1/%2)").arg(node.Info.XCount).arg(node.Info.UnXCount));
      QVERIFY(!lang.data(Qt::DecorationRole).value<QIcon>().isNull());
      int files = 0, x = 0, unx = 0;
      for (int t = 0; t < model.rowCount(lang); ++t) {
        const QModelIndex type = model.index(t, 0, lang);
        QVERIFY(!type.data(Qt::DecorationRole).value<QIcon>().isNull());
        for (int f = 0; f < model.rowCount(type); ++f) {
          const TQEMTreeNode& file = *model.Node(model.index(f, 0, type));
          QVERIFY(file.Info.XCount >= 0);
          x += file.Info.XCount;
          unx += file.Info.UnXCount;
          ++files;
          QVERIFY(!model.index(f, 0, type).data(Qt::DecorationRole).value<QIcon>().isNull());
        }
      }
      QCOMPARE(files, 5);
      QCOMPARE(x, node.Info.XCount);
      QCOMPARE(unx, node.Info.UnXCount);
      QVERIFY(x + unx > 30);
    }
    // The memory holds German, French and Japanese translations of the example.
    QVERIFY(model.Node(model.index(0, 0, project))->Info.XCount > 0);
    QCOMPARE(languages.size(), 3);

    // The project node shows the project status, a language the explorer of its files.
    auto* pane = p.Find<QStackedWidget>("pnlPane");
    auto* tree = p.Window.WorkspaceTree();
    tree->setCurrentIndex(project);
    QCOMPARE(pane->currentWidget(), p.Find<QTableWidget>("tblProjectStatus")->parentWidget());
    QCOMPARE(p.Find<QTableWidget>("tblProjectStatus")->rowCount(), 15);
    tree->setCurrentIndex(model.index(1, 0, project));
    QCOMPARE(pane->currentWidget(), p.Find<QTableWidget>("tblExplorer"));
    QCOMPARE(p.Find<QTableWidget>("tblExplorer")->rowCount(), 5);
    QVERIFY(p.Action("actPurge")->isEnabled());
    QVERIFY(p.Action("actFindInFiles")->isVisible());
    // A file node opens its translator window's panel; Find in Files is not offered there.
    const QModelIndex type = model.index(0, 0, model.index(1, 0, project));
    tree->setCurrentIndex(model.index(0, 0, type));
    QCOMPARE(pane->currentWidget(), p.Window.TranslatorPanel());
    QVERIFY(!p.Action("actFindInFiles")->isVisible());
    // A batch operation asks first; Escape answers No and nothing runs.
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    p.Action("actPurge")->trigger();
    QCOMPARE(answers.Seen().back(), QStr(SPurgeQuestion));
    // List warnings only reads: it asks nothing and shows the selected node's list.
    tree->setCurrentIndex(model.index(1, 0, project));
    p.Action("actListWarnings")->trigger();
    auto* warnings = p.Find<QTableWidget>("tblWarnings");
    QVERIFY(warnings);
    QCOMPARE(warnings->rowCount(), int(p.Workspace.LastWarnings().Warnings.size()));
    QCOMPARE(p.Workspace.LastWarnings().Files, 5);
    // Refresh keeps the selected node.
    const std::u16string selected = p.Workspace.Selected()->Caption;
    p.Action("actRefresh")->trigger();
    QCOMPARE(QStr(p.Workspace.Selected()->Caption), QStr(selected));
    QCOMPARE(answers.Pending(), size_t(0));
  }

  void CancelStopsAfterTheCurrentFile() {
    TExample example;
    TModalAnswerer answers;
    TProgram p({example.Project()});
    int pumped = 0, positions = 0;
    bool pumpedBeforeFirstFile = false;
    QTimer::singleShot(0, this, [&] { ++pumped; });
    const auto c = connect(QEMQtUIServices(), &TQEMQtUIServices::progressCreated, this,
                           [&](TQEMProgressWindow* W) {
                             connect(W, &TQEMProgressWindow::positionChanged, W, [&, W](int Pos) {
                               ++positions;
                               if (Pos == 1) {
                                 pumpedBeforeFirstFile = pumped == 1;
                                 QTest::mouseClick(W->CancelButton(), Qt::LeftButton);
                               }
                             });
                           });
    p.Action("actRunUpdaters")->trigger();
    disconnect(c);
    QVERIFY(pumpedBeforeFirstFile);
    QCOMPARE(positions, 1);
    QCOMPARE(example.NotesFileCount(), 1);
    QCOMPARE(answers.Seen().size(), 1); // the summary of what was done
  }

  void ABadProjectOnTheCommandLineIsReported() {
    TModalAnswerer answers;
    TProgram p({u"/nowhere/project.xyz"});
    QVERIFY(p.Window.CommandLineProcessed());
    QCOMPARE(answers.Seen(), QStringList({QStr(SUnknownFileExtension).replace("%s", ".xyz")}));
    QCOMPARE(p.Find<QListWidget>("lvProject")->item(0)->text(), QStr(SNewProject));
  }

  void ARefusedSelectionStaysOnTheFile() {
    TExample example;
    TModalAnswerer answers;
    TKeepingForm form;
    QEMDefaultTranslatorForm = [&](TQEMBaseFileType&) { return &form; };
    {
      TProgram p({example.Project()});
      p.Action("actRunUpdaters")->trigger();
      p.Window.ShowWorkspacePage();
      TQEMWorkspaceTreeModel& model = *p.Window.TreeModel();
      QTreeView* tree = p.Window.WorkspaceTree();
      const QModelIndex lang = model.index(0, 0, model.index(0, 0));
      const QModelIndex file = model.index(0, 0, model.index(0, 0, lang));
      tree->setCurrentIndex(file);
      QCOMPARE(QStr(form.Edited), QStr(model.Node(file)->Info.Path));
      form.Dirty = true;
      tree->setCurrentIndex(lang);
      QCOMPARE(tree->currentIndex(), file);
      QCOMPARE(p.Workspace.Selected(), model.Node(file));
      // The window refuses to let the program end as well.
      QVERIFY(!p.Window.close());
      form.Dirty = false;
      tree->setCurrentIndex(lang);
      QCOMPARE(p.Workspace.Selected(), model.Node(lang));
    }
    QEMDefaultTranslatorForm = nullptr;
  }

  void CloseQuestionKeepsAModifiedProjectOpen() {
    TExample example;
    TModalAnswerer answers;
    TProgram p({example.Project()});
    QVERIFY(p.Window.isVisible());
    auto* langs = p.Find<QTreeWidget>("lvEnv");
    for (int i = 0; i < langs->topLevelItemCount(); ++i)
      if (langs->topLevelItem(i)->text(1) == QStringLiteral("1031"))
        langs->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    QVERIFY(p.Workspace.Modified);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    QVERIFY(!p.Window.close());
    QVERIFY(p.Window.isVisible());
    answers.Queue(TModalAnswerer::Click(SButtonCancel));
    QVERIFY(!p.Window.close());
    answers.Queue(TModalAnswerer::Click(SButtonNo));
    QVERIFY(p.Window.close());
    QCOMPARE(answers.Seen(), QStringList(3, QStr(SProjectChanged)));
    // Nothing was saved.
    QVERIFY(qemtest_ReadDemo(example).find("DEU") != std::string::npos);
  }

  void GeometryIsKeptInTheOptions() {
    TModalAnswerer answers;
    {
      TProgram p;
      p.Window.move(40, 50);
      p.Window.resize(910, 620);
    }
    QCOMPARE(QEMINTOptionProps->HLXWidth, 910);
    QCOMPARE(QEMINTOptionProps->HLXHeight, 620);
    QCOMPARE(QEMINTOptionProps->HLXLeft, 40);
    QCOMPARE(QEMINTOptionProps->HLXTop, 50);
    TRegistry reg;
    QVERIFY(reg.OpenKeyReadOnly(QEMINTOptionProps->HLXPropSet.Key()));
    QCOMPARE(reg.ReadInteger(u"Width"), 910);
    TProgram again;
    QCOMPARE(again.Window.size(), QSize(910, 620));
    QCOMPARE(again.Window.pos(), QPoint(40, 50));
  }

  void ObsoleteSettingIsPointedOutOnce() {
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(QEMBaseRegKey(), true));
      reg.WriteInteger(u"IntegrationTools", 1);
    }
    TModalAnswerer answers;
    {
      TProgram p;
      p.Window.ProcessCommandLine(); // the first show's run has been done: nothing again
      QTest::qWait(30);
    }
    QCOMPARE(answers.Seen(), QStringList({QStr(SIntegrationToolsObsolete)}));
    TRegistry reg;
    QVERIFY(reg.OpenKey(QEMBaseRegKey(), false));
    reg.DeleteValue(u"IntegrationTools");
  }

  void AboutBoxNamesTheProduct() {
    TModalAnswerer answers;
    TProgram p;
    QStringList labels;
    answers.Queue([&](QWidget& W) {
      for (const char* name : {"lblProductName", "lblVersion", "lblCopyright"})
        labels << W.findChild<QLabel*>(QString::fromLatin1(name))->text();
      QTest::keyClick(&W, Qt::Key_Escape);
    });
    p.Action("actAbout")->trigger();
    QCOMPARE(labels, QStringList({QStr(QEMProductName()),
                                  QStr(SAboutVersion).replace("%s", QStr(QEMProductVersion())),
                                  QStr(QEMLegalCopyright())}));
    QCOMPARE(answers.Seen(), QStringList({QStr(SAboutCaption)}));
  }

  void Screenshots() {
    TExample example;
    TModalAnswerer answers;
    TProgram p({example.Project()});
    p.Window.resize(1180, 720);
    p.Action("actRunUpdaters")->trigger();
    QDir().mkpath(QStringLiteral(HLX_SCREENSHOT_DIR));
    const auto shoot = [&](const char* Name) {
      QTest::qWait(50);
      const QString file = QStringLiteral(HLX_SCREENSHOT_DIR "/") + QLatin1String(Name);
      QVERIFY(p.Window.grab().save(file));
    };
    p.Window.ShowProjectPage();
    shoot("main-window-project.png");
    p.Window.ShowFilesPage();
    shoot("main-window-files.png");
    p.Window.ShowWorkspacePage();
    p.Window.WorkspaceTree()->expandAll();
    shoot("main-window-workspace.png");
    TQEMWorkspaceTreeModel& model = *p.Window.TreeModel();
    p.Window.WorkspaceTree()->setCurrentIndex(model.index(0, 0, model.index(0, 0)));
    shoot("main-window-explorer.png");
    p.Window.WorkspaceTree()->setCurrentIndex(model.index(0, 0));
    p.Action("actListWarnings")->trigger();
    auto* warnings = p.Window.findChild<QDialog*>(QStringLiteral("dlgWarnings"));
    QVERIFY(warnings);
    QTest::qWait(50);
    QVERIFY(warnings->grab().save(QStringLiteral(HLX_SCREENSHOT_DIR "/list-warnings.png")));
  }

private:
  static std::string qemtest_ReadDemo(const TExample& Example) {
    QFile f(QString::fromStdString((Example.Dir() / "demo.hlx").string()));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
  }
};

HLX_GUI_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
