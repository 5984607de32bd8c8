// The search dialog and the results panel driven offscreen: the pages and their captions, the
// check lists, the validation on OK, the history and the font buttons; a Find over a file of the
// example and a Find in Files over its workspace filling the panel, a result opening its file at
// the match, clearing and saving, docking and floating, and screenshots for the documentation.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "GuiTestSupport.h"
#include "QEMMainWindow.h"
#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "QEMSearchDialog.h"
#include "QEMSearchResultsPanel.h"
#include "QEMWorkspaceTreeModel.h"
#include "core/QEMIntlUtils.h"
#include "editing/QEMSearchForm.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMFiles.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMGridFont.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"
#include "translator/QEMTranslator.h"
#include "workspace/QEMWorkspace.h"

using hlxguitest::TExample;
using hlxguitest::TModalAnswerer;

namespace {

QStringList Texts(const QListWidget* List) {
  QStringList r;
  for (int i = 0; i < List->count(); ++i)
    r << List->item(i)->text();
  return r;
}

QStringList Checked(const QListWidget* List) {
  QStringList r;
  for (int i = 0; i < List->count(); ++i)
    if (List->item(i)->checkState() == Qt::Checked) r << List->item(i)->text();
  return r;
}

QStringList ActionTexts(const QMenu* Menu) {
  QStringList r;
  for (const QAction* a : Menu->actions())
    if (!a->isSeparator()) r << a->text();
  return r;
}

// The captions of the page's labels, check boxes and radio buttons, in creation order.
QStringList Captions(const QWidget* Page) {
  QStringList r;
  for (const QWidget* w : Page->findChildren<QWidget*>()) {
    if (w->objectName() == QLatin1String("lblFields")) continue; // the selected type's name
    if (auto* l = qobject_cast<const QLabel*>(w); l && l->buddy() && !l->text().isEmpty())
      r << l->text();
    else if (auto* b = qobject_cast<const QAbstractButton*>(w);
             b && !qobject_cast<const QToolButton*>(w))
      r << b->text();
  }
  return r;
}

QString Caption(std::u16string_view Text) {
  return QStr(Text);
}

void Shoot(QWidget& W, const char* Name) {
  QDir().mkpath(QStringLiteral(HLX_SCREENSHOT_DIR));
  QTest::qWait(30);
  QVERIFY(W.grab().save(QStringLiteral(HLX_SCREENSHOT_DIR "/") + QLatin1String(Name)));
}

// A translator window that only records where it was asked to open a file.
class TRecordingForm : public TQEMTranslatorForm {
public:
  bool CanQuit(bool) override { return true; }
  void ChangeSize() override {}
  void HideDockPanel() override {}
  void LoadFromFile(const std::u16string& AFileName, int32_t ACol, int32_t AMgrIndex) override {
    Loaded.push_back({AFileName, ACol, AMgrIndex});
  }
  void Search() override {}
  void ShowDockPanel() override {}
  void EditFile(const std::u16string&) override {}
  void Idle(void*, bool&) override {}
  void SetVisible(bool) override {}
  struct TLoad {
    std::u16string File;
    int32_t Col, Index;
  };
  std::vector<TLoad> Loaded;
};

// The example opened as the program opens it, with its updaters run, and its main window.
struct TProgram {
  TExample Example;
  TQEMWorkspace Workspace;
  TQEMMainWindow Window;
  TProgram() : Window(Workspace, {Example.Project()}) {
    Window.resize(1000, 680);
    Window.show();
    Window.ProcessCommandLine();
    Workspace.ProjectRunUpdatersExecute(nullptr);
    Window.ShowWorkspacePage();
    Window.RefreshAll();
  }
  // The project's language node of Lang, selected in the tree.
  const TQEMTreeNode* SelectLanguage(LCID Lang) {
    TQEMWorkspaceTreeModel& model = *Window.TreeModel();
    const QModelIndex project = model.index(0, 0);
    for (int l = 0; l < model.rowCount(project); ++l) {
      const QModelIndex lang = model.index(l, 0, project);
      if (model.Node(lang)->Locale != Lang) continue;
      Window.WorkspaceTree()->setCurrentIndex(lang);
      return model.Node(lang);
    }
    return nullptr;
  }
};

const TQEMTreeNode* FileNode(const TQEMTreeNode& Node, std::u16string_view Name) {
  if (Node.Level == 3 && ExtractFileName(Node.Info.Path) == Name) return &Node;
  for (const auto& c : Node.Children)
    if (const TQEMTreeNode* f = FileNode(*c, Name)) return f;
  return nullptr;
}

} // namespace

class SearchTest : public QObject {
  Q_OBJECT
  std::shared_ptr<TQEMScriptedUIServices> FUI;
  std::shared_ptr<IQEMUIServices> FOld;

  QStringList ShownSince(size_t From) const {
    QStringList r;
    for (size_t i = From; i < FUI->Shown().size(); ++i)
      r << QStr(FUI->Shown()[i].Text);
    return r;
  }

private slots:
  void initTestCase() {
    FUI = std::make_shared<TQEMScriptedUIServices>();
    FOld = QEMSetUIServices(FUI);
  }
  void cleanupTestCase() { QEMSetUIServices(FOld); }
  void cleanup() {
    QEMINTOptionProps->QEMHistoryManager.ClearHistory(
        std::u16string(TfrmQEMSearchForm::HistoryName));
    QEMDefaultTranslatorForm = nullptr;
  }

  void PagesAndCaptions() {
    TProgram p; // the registered file types come with the packages, and go with them
    TfrmQEMSearchForm form;
    form.LoadRegisteredFileTypes();
    QVERIFY(form.FileTypes.size() >= 2);
    TQEMSearchDialog d(form, &p.Window);
    QCOMPARE(d.windowTitle(), Caption(SSearchCaption));
    QCOMPARE(d.Pages()->count(), 2);
    QCOMPARE(d.Pages()->tabText(0), Caption(SSearchFindPage));
    QCOMPARE(d.Pages()->tabText(1), Caption(SSearchFilesPage));
    QCOMPARE(Captions(d.FindPage()),
             QStringList({"&Text to find:", "&Ignore pick letters", "&Case sensitive",
                          "&Whole words only", "&Global", "&Selected rows", "C&olumns"}));
    QCOMPARE(Captions(d.FilesPage()),
             QStringList({"&Text to find:", "Search files in &project", "Search in &all projects",
                          "Search in &node", "&Ignore pick letters", "&Case sensitive",
                          "&Whole words only", "&File types", "Keep check lists &synchronized"}));
    QStringList buttons;
    for (const QAbstractButton* b : d.findChildren<QPushButton*>())
      buttons << b->text();
    QCOMPARE(buttons, QStringList({"OK", "Cancel", "&Help"}));
    QCOMPARE(d.FontButton(stSearch)->text(), Caption(SSearchFontButton));
    QVERIFY(d.FindPage()->findChild<QRadioButton*>("rbGlobal")->isChecked());
    QVERIFY(d.FilesPage()->findChild<QRadioButton*>("rbProject")->isChecked());
    // One entry per grid column, by the generic names where no window captions them.
    QCOMPARE(Texts(d.Columns()),
             QStringList({"No.", "Id", "Original", "Status", "Translation", "Created", "Modified",
                          "Previous Original", "Previous Translation", "Comment"}));
    QCOMPARE(Checked(d.Columns()).size(), 10);
    QCOMPARE(d.FileTypes()->count(), int(form.FileTypes.size()));
    QCOMPARE(d.FileTypes()->item(0)->text(), QStr(form.FileTypes[0].FileType->GetName()));
    QCOMPARE(d.Fields()->count(), 10);
    // Help explains the dialog.
    const size_t shown = FUI->Shown().size();
    d.HelpButton()->click();
    QCOMPARE(ShownSince(shown), QStringList({Caption(SSearchHelpText)}));

    d.TextBox(stSearch)->setEditText(QStringLiteral("address"));
    d.TextBox(stSearchInFiles)->setEditText(QStringLiteral("Adressbuch"));
    d.Pages()->setCurrentIndex(0);
    d.show();
    Shoot(d, "search-dialog-find.png");
    d.Pages()->setCurrentIndex(1);
    Shoot(d, "search-dialog-files.png");

    // Only the pages the form offers; a window's captions name the columns.
    form.Tabs = 1u << stSearchInFiles;
    form.ActivePage = stSearchInFiles;
    TQEMSearchDialog files(form);
    QCOMPARE(files.Pages()->count(), 1);
    QVERIFY(!files.FindPage() && !files.Columns());
    QCOMPARE(files.Pages()->tabText(0), Caption(SSearchFilesPage));
    form.Tabs = 1u << stSearch;
    form.ColumnCaption = [](TQEMAllColId C) {
      return C == idColOrig ? std::u16string(u"&English") : std::u16string();
    };
    TQEMSearchDialog find(form);
    QCOMPARE(find.Pages()->count(), 1);
    QVERIFY(!find.FilesPage() && find.FindPage());
    QCOMPARE(find.Columns()->item(idColOrig)->text(), QStringLiteral("English"));
  }

  void CheckListsAndSynchronization() {
    TProgram p;
    TfrmQEMSearchForm form;
    form.LoadRegisteredFileTypes();
    QVERIFY(form.FileTypes.size() >= 2);
    TQEMSearchDialog d(form);
    d.show();

    // The columns' pop-up.
    QMenu* menu = d.CheckListMenu(d.Columns());
    QCOMPARE(ActionTexts(menu), QStringList({"Check all", "Uncheck all"}));
    emit d.Columns()->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(menu->isVisible());
    menu->actions()[1]->trigger();
    menu->hide();
    QVERIFY(Checked(d.Columns()).isEmpty());
    QVERIFY(form.Columns.Empty());
    d.Columns()->item(idColCurr)->setCheckState(Qt::Checked);
    QCOMPARE(form.Columns, (TQEMColIds{idColCurr}));
    menu->actions()[0]->trigger();
    QCOMPARE(form.Columns, QEMAllGridColumns());
    QCOMPARE(Checked(d.Columns()).size(), 10);

    // File types: Uncheck all, then one checked by hand.
    d.Pages()->setCurrentWidget(d.FilesPage());
    QMenu* types = d.CheckListMenu(d.FileTypes());
    types->actions()[1]->trigger();
    QVERIFY(Checked(d.FileTypes()).isEmpty());
    for (const auto& t : form.FileTypes)
      QVERIFY(!t.Checked);
    d.FileTypes()->item(1)->setCheckState(Qt::Checked);
    QVERIFY(form.FileTypes[1].Checked && !form.FileTypes[0].Checked);

    // Each type keeps its own fields until the lists are kept synchronized.
    d.FileTypes()->setCurrentRow(0);
    QCOMPARE(d.findChild<QLabel*>("lblFields")->text(),
             QStr(form.FileTypes[0].FileType->GetName()));
    d.Fields()->item(idColComment)->setCheckState(Qt::Unchecked);
    QVERIFY(!form.FileTypes[0].Fields.Contains(idColComment));
    QVERIFY(form.FileTypes[1].Fields.Contains(idColComment));
    d.KeepSynchronized()->setChecked(true);
    QCOMPARE(form.FileTypes[1].Fields, form.FileTypes[0].Fields);
    d.FileTypes()->setCurrentRow(1);
    QCOMPARE(form.SelectedFileType, 1);
    QCOMPARE(d.Fields()->item(idColComment)->checkState(), Qt::Unchecked);
    d.Fields()->item(idColId)->setCheckState(Qt::Unchecked);
    QVERIFY(!form.FileTypes[0].Fields.Contains(idColId));
    d.CheckListMenu(d.Fields())->actions()[1]->trigger();
    for (const auto& t : form.FileTypes)
      QVERIFY(t.Fields.Empty());
    QVERIFY(Checked(d.Fields()).isEmpty());
    d.KeepSynchronized()->setChecked(false);
    d.CheckListMenu(d.Fields())->actions()[0]->trigger();
    QCOMPARE(form.FileTypes[1].Fields, QEMAllGridColumns());
    QVERIFY(form.FileTypes[0].Fields.Empty());
  }

  void OKValidatesAndKeepsTheHistory() {
    TProgram p;
    TfrmQEMSearchForm form;
    form.LoadRegisteredFileTypes();
    TQEMSearchDialog d(form);
    d.show();
    const size_t shown = FUI->Shown().size();
    // Find: blank text, then no column; the dialog stays open.
    d.OKButton()->click();
    d.CheckListMenu(d.Columns())->actions()[1]->trigger();
    QTest::keyClicks(d.TextBox(stSearch)->lineEdit(), QStringLiteral("Adresse"));
    QCOMPARE(form.Find.Text, std::u16string(u"Adresse"));
    d.OKButton()->click();
    QVERIFY(d.isVisible());
    // Find in Files: blank text, no type, a type without fields.
    d.Pages()->setCurrentWidget(d.FilesPage());
    d.OKButton()->click();
    QTest::keyClicks(d.TextBox(stSearchInFiles)->lineEdit(), QStringLiteral("Buch"));
    d.CheckListMenu(d.FileTypes())->actions()[1]->trigger();
    d.OKButton()->click();
    d.FileTypes()->item(0)->setCheckState(Qt::Checked);
    d.FileTypes()->setCurrentRow(0);
    d.CheckListMenu(d.Fields())->actions()[1]->trigger();
    d.OKButton()->click();
    QVERIFY(d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QCOMPARE(
        ShownSince(shown),
        QStringList(
            {Caption(SSearchBlank), Caption(SSearchNoColumn), Caption(SSearchBlank),
             Caption(SSearchNoFileType),
             Caption(SSearchNoField).replace("%s", QStr(form.FileTypes[0].FileType->GetName()))}));
    for (size_t i = shown; i < FUI->Shown().size(); ++i)
      QVERIFY(FUI->Shown()[i].Kind == TQEMScriptedUIServices::TKind::skError);
    // A field checked: OK passes, closes and stores the page in the type's settings.
    d.Fields()->item(idColCurr)->setCheckState(Qt::Checked);
    d.OKButton()->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(form.ActivePage, stSearchInFiles);
    TSearchSettings* s = form.FileTypes[0].FileType->GetSearchSettings();
    QVERIFY(s->Used);
    QCOMPARE(s->Columns, (TQEMColIds{idColCurr}));
    QCOMPARE(s->Pattern, std::u16string(u"Buch"));

    // The next dialog offers the text again, most recent first; the modal entry point returns
    // whether OK passed.
    TModalAnswerer answers;
    TfrmQEMSearchForm next;
    next.Tabs = 1u << stSearch;
    QStringList history;
    answers.Queue([&](QWidget& W) {
      auto& dialog = static_cast<TQEMSearchDialog&>(W);
      for (int i = 0; i < dialog.TextBox(stSearch)->count(); ++i)
        history << dialog.TextBox(stSearch)->itemText(i);
      dialog.TextBox(stSearch)->setCurrentIndex(0);
      dialog.OKButton()->click();
    });
    QVERIFY(QEMShowSearchDialog(nullptr, next));
    QCOMPARE(history, QStringList({"Buch"}));
    QCOMPARE(next.Find.Text, std::u16string(u"Buch"));
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    QVERIFY(!QEMShowSearchDialog(nullptr, next));
    QCOMPARE(QStr(next.History().front()), QStringLiteral("Buch"));
  }

  void FontButtonSetsTheLanguage() {
    const bool added = QEMGridFonts->IndexOf(0x411) < 0;
    TQEMFont* japanese = QEMGridFonts->Add(0x411);
    const TQEMFont before = *japanese;
    japanese->Name = u"Noto Sans CJK JP";
    japanese->Size = 15;
    TfrmQEMSearchForm form;
    form.Languages = {0x407};
    form.Find.TextLCID = 0x407;
    TQEMSearchDialog d(form);
    // The text's language shows from the start, in its font.
    QCOMPARE(d.TextBox(stSearch)->font().family(),
             QEMQtFont(*QEMGridFonts->GetFont(0x407)).family());
    QMenu* menu = d.FontButton(stSearch)->menu();
    QStringList expected = {QStr(LCIDToLangName(0x407)), QStr(LCIDToLangName(0x411))};
    expected.sort();
    expected << Caption(SSearchFontOther);
    QCOMPARE(ActionTexts(menu), expected);
    // Choosing refills the menu, which deletes the actions: nothing is read after the trigger.
    for (QAction* a : menu->actions())
      if (a->data().toUInt() == 0x411) {
        a->trigger();
        break;
      }
    QCOMPARE(form.Find.TextLCID, LCID(0x411));
    QCOMPARE(form.Files.TextLCID, LCID(0));
    QCOMPARE(d.TextBox(stSearch)->font().family(), QStringLiteral("Noto Sans CJK JP"));
    QCOMPARE(d.TextBox(stSearch)->font().pointSize(), 15);
    QCOMPARE(d.FontButton(stSearch)->toolTip(), QStr(LCIDToLangName(0x411)));
    for (QAction* a : d.FontButton(stSearch)->menu()->actions())
      if (a->isCheckable()) QCOMPARE(a->isChecked(), a->data().toUInt() == 0x411);
    // The other page keeps its own language.
    d.SetTextLanguage(stSearchInFiles, 0x407);
    QCOMPARE(form.Files.TextLCID, LCID(0x407));
    QCOMPARE(form.Find.TextLCID, LCID(0x411));
    if (added)
      QEMGridFonts->Delete(QEMGridFonts->IndexOf(0x411));
    else
      *japanese = before;
  }

  void FindWithWholeWordsFillsThePanel() {
    TProgram p;
    const TQEMTreeNode* german = p.SelectLanguage(0x407);
    QVERIFY(german);
    const TQEMTreeNode* file = FileNode(*german, u"MainForm.ofm");
    QVERIFY(file);
    auto* type = dynamic_cast<TQEMBaseFileType*>(file->Info.TypeId.get());
    QVERIFY(type && type->Translator());
    TQEMTranslatorFormModel window(type->Translator()->GetMgrClass());
    window.LoadFromFile(file->Info.Path, idColCurr, 0);
    QVERIFY(window.Mgr());

    TQEMSearchResultsPanel panel;
    panel.DockInto(p.Window.DockPanel());
    QVERIFY(!p.Window.DockPanel()->isVisible());
    TfrmQEMSearchForm form;
    form.Tabs = 1u << stSearch;
    form.ColumnCaption = [&](TQEMAllColId C) { return window.ColumnCaption(C); };
    TQEMSearchDialog d(form);
    QTest::keyClicks(d.TextBox(stSearch)->lineEdit(), QStringLiteral("it"));
    d.CheckListMenu(d.Columns())->actions()[1]->trigger();
    d.Columns()->item(idColOrig)->setCheckState(Qt::Checked);
    d.findChild<QCheckBox*>("cbWholeWordsOnly")->setChecked(true);
    d.OKButton()->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));

    // Whole words: "it." counts, "Exit", "City" and "edit" do not.
    QCOMPARE(window.Find(form, panel.Results()), 1);
    QVERIFY(panel.isVisible() && p.Window.DockPanel()->isVisible());
    QAbstractItemModel* model = panel.View()->model();
    QTRY_COMPARE(model->rowCount(), 1);
    const QModelIndex row = model->index(0, 0);
    const QString text = row.data().toString();
    QVERIFY2(text.startsWith(QStringLiteral("MainForm.ofm(") + QStr(LCIDToLangName(0x409)) +
                             QStringLiteral(", ")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("edit it.")), qPrintable(text));
    QCOMPARE(text.mid(row.data(TQEMSearchResultsModel::MatchStartRole).toInt(),
                      row.data(TQEMSearchResultsModel::MatchLengthRole).toInt()),
             QStringLiteral("it"));
    QCOMPARE(text.indexOf(QStringLiteral("it.")),
             row.data(TQEMSearchResultsModel::MatchStartRole).toInt());

    // Without whole words every "it" inside a word is listed too; the rows follow the list.
    form.Find.WholeWordsOnly = false;
    const int found = window.Find(form, panel.Results());
    QVERIFY(found > 3);
    QCOMPARE(model->rowCount(), 0); // the list was cleared; the new lines come with the loop
    QTRY_COMPARE(model->rowCount(), found);
    // The splitter gives the panel a share of the window.
    QTest::qWait(30);
    QVERIFY(panel.height() > 60);
    Shoot(p.Window, "search-results-find.png");
  }

  void FindInFilesOpensTheFileAtTheItem() {
    TProgram p;
    TRecordingForm window;
    QEMDefaultTranslatorForm = [&](TQEMBaseFileType&) { return &window; };
    TQEMSearchResultsPanel panel;
    panel.DockInto(p.Window.DockPanel());
    const TQEMTreeNode* german = p.SelectLanguage(0x407);
    QVERIFY(german);
    const QString germanName = QStr(LCIDToLangName(0x407));

    TModalAnswerer answers;
    QStringList pages;
    answers.Queue([&](QWidget& W) {
      auto& d = static_cast<TQEMSearchDialog&>(W);
      for (int i = 0; i < d.Pages()->count(); ++i)
        pages << d.Pages()->tabText(i);
      QTest::keyClicks(d.TextBox(stSearchInFiles)->lineEdit(), QStringLiteral("adressbuch"));
      d.FilesPage()->findChild<QRadioButton*>("rbNode")->setChecked(true);
      d.CheckListMenu(d.FileTypes())->actions()[0]->trigger();
      d.OKButton()->click();
    });
    const int32_t found = QEMFindInFiles(p.Workspace, &p.Window, panel);
    QCOMPARE(pages, QStringList({Caption(SSearchFilesPage)}));
    QVERIFY(found > 0);
    QCOMPARE(panel.Results().Count(), found);
    QVERIFY(panel.isVisible() && p.Window.DockPanel()->isVisible());
    // Only the German node's files, named with their language and the column.
    for (int i = 0; i < panel.Results().Count(); ++i) {
      const TQEMSearchLine& line = panel.Results().Line(i);
      QCOMPARE(line.Rec().AXlatLCID, LCID(0x407));
      QVERIFY(QStr(line.Text()).startsWith(germanName + QStringLiteral(": ")));
    }
    const TQEMSearchLine& first = panel.Results().Line(0);
    QVERIFY2(QStr(first.Text()).contains(QStringLiteral("(") + germanName + QStringLiteral(", ")),
             qPrintable(QStr(first.Text())));
    // A double-click opens the line's file in its type's window, at the item and column.
    QAbstractItemView* view = panel.View();
    QTRY_COMPARE(view->model()->rowCount(), found);
    const QModelIndex row = view->model()->index(0, 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(row).center());
    QVERIFY(window.Loaded.empty());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(row).center());
    QCOMPARE(window.Loaded.size(), size_t(1));
    QCOMPARE(QStr(window.Loaded[0].File), QStr(first.Rec().AFileName));
    QCOMPARE(window.Loaded[0].Col, int32_t(first.Rec().AColAsEnum));
    QCOMPARE(window.Loaded[0].Index, first.Rec().AMgrLine);
    auto* type = dynamic_cast<TQEMBaseFileType*>(first.Rec().AFileType.get());
    QVERIFY(type);
    auto mgr = type->Translator()->GetMgrClass().Create(first.Rec().AFileName, false);
    const auto item = mgr->Items()->Get(first.Rec().AMgrLine);
    const std::u16string cell =
        first.Rec().AColAsEnum == idColCurr ? item->GetXlatText() : item->GetOrigText();
    QVERIFY2(QStr(cell).contains(QStringLiteral("Adressbuch"), Qt::CaseInsensitive),
             qPrintable(QStr(cell)));

    // Enter opens the current line as well; a window's own opener is asked first.
    std::vector<int32_t> opened;
    panel.Results().OnOpen = [&](const TQEMSearchLine& L) { opened.push_back(L.Rec().AMgrLine); };
    view->setCurrentIndex(row);
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(opened, std::vector<int32_t>({first.Rec().AMgrLine}));
    QCOMPARE(window.Loaded.size(), size_t(1));

    // Cancelled: nothing runs and the results stay.
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    QCOMPARE(QEMFindInFiles(p.Workspace, &p.Window, panel), -1);
    QCOMPARE(panel.Results().Count(), found);

    // The whole project: every language's files.
    answers.Queue([&](QWidget& W) {
      auto& d = static_cast<TQEMSearchDialog&>(W);
      QVERIFY(d.FilesPage()->findChild<QRadioButton*>("rbProject")->isChecked());
      d.TextBox(stSearchInFiles)->setEditText(QStringLiteral("adress"));
      d.OKButton()->click();
    });
    QVERIFY(QEMFindInFiles(p.Workspace, &p.Window, panel) > found);
    QSet<LCID> languages;
    for (int i = 0; i < panel.Results().Count(); ++i)
      languages << panel.Results().Line(i).Rec().AXlatLCID;
    QCOMPARE(languages, QSet<LCID>({0x407, 0x40C}));
    QCOMPARE(answers.Pending(), size_t(0));
    Shoot(p.Window, "search-results.png");

    // A file node offers no Find in Files.
    TQEMWorkspaceTreeModel& model = *p.Window.TreeModel();
    const QModelIndex lang = p.Window.WorkspaceTree()->currentIndex();
    p.Window.WorkspaceTree()->setCurrentIndex(model.index(0, 0, model.index(0, 0, lang)));
    QCOMPARE(p.Workspace.Selected()->Level, 3);
    QCOMPARE(QEMFindInFiles(p.Workspace, &p.Window, panel), -1);
    QCOMPARE(answers.Seen().size(), 3);
  }

  void ClearSaveDockAndFloat() {
    TProgram p;
    TQEMSearchResultsPanel panel;
    panel.DockInto(p.Window.DockPanel());
    TSearchLineRec rec;
    rec.AFileName = u"/x/de/Main.ofm";
    rec.AOrigLCID = 0x409;
    rec.AXlatLCID = 0x411;
    rec.AColAsEnum = idColCurr;
    rec.ADisplayLine = 4;
    rec.AFoundPos = 1;
    rec.APattern = u"\u30a2\u30c9\u30ec\u30b9";
    rec.ATemplate = u"\u30a2\u30c9\u30ec\u30b9\u5e33\r\n2";
    rec.AIsFindInFiles = true;
    panel.Results().Show();
    panel.Results().Add(rec);
    QVERIFY(p.Window.DockPanel()->isVisible());
    panel.Model()->Flush();
    // A line break shows as a mark of the same length; the match keeps its place.
    const QModelIndex row = panel.View()->model()->index(0, 0);
    const QString shown = row.data().toString();
    QCOMPARE(shown.size(), qsizetype(panel.Results().Line(0).Text().size()));
    QVERIFY(!shown.contains(QLatin1Char('\n')));
    Shoot(p.Window, "search-results-japanese.png");
    QCOMPARE(shown.mid(row.data(TQEMSearchResultsModel::MatchStartRole).toInt(), 4),
             QStr(rec.APattern));

    // The pop-up.
    QMenu* menu = panel.PopupMenu();
    QCOMPARE(ActionTexts(menu), QStringList({"Clear", "Save..."}));
    emit panel.View()->customContextMenuRequested(QPoint(4, 4));
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(panel.ClearAction()->isEnabled() && panel.SaveAction()->isEnabled());
    menu->hide();
    qemtest::TTempDir dir;
    FUI->QueueValue(dir.U16("found"));
    panel.SaveAction()->trigger();
    QFile saved(QString::fromStdString((dir.Path() / "found.txt").string()));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()), QStr(panel.Results().Line(0).Text()) + "\n");
    // A save that fails says why and leaves the list.
    const size_t shownBefore = FUI->Shown().size();
    FUI->QueueValue(dir.U16("missing/found.txt"));
    QVERIFY(!panel.SaveResults());
    QCOMPARE(FUI->Shown().back().Kind, TQEMScriptedUIServices::TKind::skError);
    QCOMPARE(FUI->Shown().size(), shownBefore + 2); // the chooser, then the error
    panel.ClearAction()->trigger();
    QCOMPARE(panel.Results().Count(), 0);
    QCOMPARE(panel.View()->model()->rowCount(), 0);
    emit menu->aboutToShow();
    QVERIFY(!panel.ClearAction()->isEnabled() && !panel.SaveAction()->isEnabled());

    // Floating takes the panel out of the dock area, which hides while empty; docking brings
    // both back; closing the panel hides the area again. The title bar does both.
    QTest::mouseDClick(panel.TitleBar(), Qt::LeftButton);
    QTRY_VERIFY(panel.isWindow() && panel.isVisible());
    QCOMPARE(panel.windowTitle(), Caption(SSearchResultsCaption));
    panel.FloatButton()->click();
    QTRY_VERIFY(!panel.isWindow() && panel.isVisible());
    panel.setFloating(true);
    QTRY_VERIFY(panel.isWindow() && panel.isVisible());
    QTRY_VERIFY(!p.Window.DockPanel()->isVisible());
    panel.setFloating(false);
    QTRY_VERIFY(!panel.isWindow() && panel.isVisible());
    QCOMPARE(panel.parentWidget(), p.Window.DockPanel());
    QVERIFY(p.Window.DockPanel()->isVisible());
    panel.CloseButton()->click();
    QVERIFY(!panel.isVisible());
    QVERIFY(!p.Window.DockPanel()->isVisible());
    panel.Results().Show();
    QVERIFY(panel.isVisible() && p.Window.DockPanel()->isVisible());
  }
};

HLX_GUI_TEST_MAIN(SearchTest)
#include "SearchTest.moc"
