// The translator window driven offscreen over the bundled example's German main form: typing a
// translation, refused entries, the status drop-down, saving, columns, filters, the next
// untranslated item, the window's keys, typing never lost on save, switch, batch or close, one
// window per file, a 100,000-row file scrolled without reading the rows not shown, and the
// screenshot for the documentation.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "GuiTestSupport.h"
#include "QEMMainWindow.h"
#include "QEMQtText.h"
#include "QEMTranslatorGrid.h"
#include "QEMTranslatorWindow.h"
#include "QEMTranslatorWindowHost.h"
#include "QEMWorkspaceTreeModel.h"
#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"
#include "translator/QEMTranslator.h"
#include "workspace/QEMWorkspace.h"

using hlxguitest::TExample;
using TKind = TQEMScriptedUIServices::TKind;

namespace {

// The example open in the program, its translated files made, on the workspace page.
struct TProgram {
  TQEMWorkspace Workspace;
  TQEMMainWindow Window;
  explicit TProgram(const TExample& Example) : Window(Workspace, {Example.Project()}) {
    Window.resize(1180, 720);
    Window.show();
    Window.activateWindow();
    (void)QTest::qWaitForWindowActive(&Window);
    Window.ProcessCommandLine();
    Action("actRunUpdaters")->trigger();
    Window.ShowWorkspacePage();
  }
  QAction* Action(const char* Name) {
    return Window.findChild<QAction*>(QString::fromLatin1(Name));
  }
  TQEMTreeNode* Node(const std::string& Tail) {
    TQEMTreeNode* found = nullptr;
    std::function<void(TQEMTreeNode&)> walk = [&](TQEMTreeNode& N) {
      if (N.Level == 3 && UTF16ToUTF8(N.Info.Path).ends_with(Tail)) found = &N;
      for (auto& c : N.Children)
        walk(*c);
    };
    for (auto& root : Workspace.Tree())
      walk(*root);
    return found;
  }
  // Selects the file's node, which opens it in its type's window.
  TQEMTranslatorWindowForm* Open(const std::string& Tail) {
    TQEMTreeNode* node = Node(Tail);
    if (!node) return nullptr;
    Window.WorkspaceTree()->setCurrentIndex(Window.TreeModel()->IndexOf(node));
    return Window.TranslatorWindows()->ShownForm();
  }
};

// A translator manager over N generated items, for a file too large to make on disk in a test.
class TBigNotes : public TQEMCustomNotesFile {
public:
  static std::u16string ClassExts() { return u".big"; }
  std::u16string GetExts() const override { return ClassExts(); }
  std::u16string GetDataType() override { return u"x-big"; }
};

class TBigMgr : public TQEMTranslatorMgr {
public:
  TBigMgr(const TQEMTranslatorMgrClass& Class, const std::u16string& FileName, int Count)
      : TQEMTranslatorMgr(Class) {
    FFileName = FileName;
    const auto items = Items();
    for (int i = 0; i < Count; ++i) {
      auto item = FNotesFile->CreateNotesItem();
      const std::u16string n = UTF8ToUTF16(std::to_string(i));
      item->SetID(u"item" + n);
      item->SetOrigText(u"Text " + n);
      item->SetXlatText(u"Text " + n);
      items->Add(item);
    }
  }
  void Reload() override {}
  void CheckStats() override {}
  void EggBuild() override {}
  void MakeDictionary(TStringList&) override {}
  void Purge() override {}
  void Save(bool, LCID, LCID, bool) override {}
};

class TBigMgrClass : public TQEMTranslatorMgrClass {
public:
  static constexpr int kItems = 100000;
  std::unique_ptr<TQEMTranslatorMgr> Create(const std::u16string& FileName, bool) const override {
    return std::make_unique<TBigMgr>(*this, FileName, kItems);
  }
  const TQEMBaseNotesFileClass& GetNotesClass() const override {
    static const TQEMNotesFileClassOf<TBigNotes> notes;
    return notes;
  }
};

QString ReadFile(const std::filesystem::path& Path) {
  QFile f(QString::fromStdString(Path.string()));
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString Cell(TQEMTranslatorFormModel& M, int Row, TQEMAllColId Col) {
  return QStr(M.CellText(Row, Col));
}

} // namespace

class TranslatorWindowTest : public QObject {
  Q_OBJECT
  std::shared_ptr<TQEMScriptedUIServices> FUI;
  std::shared_ptr<IQEMUIServices> FOld;

  QString LastShown() const {
    return FUI->Shown().empty() ? QString() : QStr(FUI->Shown().back().Text);
  }
  int Count(TKind Kind, std::u16string_view Text) const {
    return int(std::count_if(FUI->Shown().begin(), FUI->Shown().end(),
                             [&](const auto& S) { return S.Kind == Kind && S.Text == Text; }));
  }
  // Opens the in-place editor of a cell by typing its first character, types the rest into it.
  static QWidget* Type(TQEMTranslatorWindow& W, int Row, TQEMAllColId Col, const QString& Text) {
    TQEMTranslatorGridView* grid = W.Grid();
    grid->setCurrentIndex(W.GridModel().index(Row, Col));
    QTest::keyClicks(grid, Text.left(1));
    QWidget* editor = grid->Delegate().Editor();
    if (editor) QTest::keyClicks(editor, Text.mid(1));
    return editor;
  }

private slots:
  void initTestCase() { FOld = QEMSetUIServices(nullptr); }
  void cleanupTestCase() { QEMSetUIServices(FOld); }
  // Each test answers its own questions.
  void init() {
    FUI = std::make_shared<TQEMScriptedUIServices>();
    QEMSetUIServices(FUI);
    QEMINTOptionProps->AutomaticSaveFiles = false;
  }

  void TypingATranslation() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    QVERIFY(w.isVisible());
    // The repository translated what it knew; "&Open..." it did not know.
    QCOMPARE(Cell(m, 0, idColStatus), QStr(SStatusAutoTranslated));
    QCOMPARE(Cell(m, 2, idColOrig), QStringLiteral("'&Open...'"));
    QCOMPARE(Cell(m, 2, idColStatus), QStr(SStatusUntranslated));
    const size_t shown = FUI->Shown().size();
    const int translated = m.TranslatedCount();
    // The captions name the languages.
    QCOMPARE(w.GridModel().headerData(idColOrig, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStr(LCIDToLangName(0x409)));
    QCOMPARE(w.GridModel().headerData(idColCurr, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStr(LCIDToLangName(0x407)));
    const QModelIndex status = w.GridModel().index(2, idColStatus);
    w.Grid()->setCurrentIndex(w.GridModel().index(5, idColCurr));
    const QColor untranslated = status.data(Qt::BackgroundRole).value<QBrush>().color();

    QWidget* editor = Type(w, 2, idColCurr, QStringLiteral("Oeffnen..."));
    QVERIFY(editor);
    QVERIFY(editor->testAttribute(Qt::WA_InputMethodEnabled));
    QCOMPARE(static_cast<TQEMTranslatorCellEditor*>(editor)->Hint(), QString());
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(!w.Grid()->Delegate().Editor());
    // The literal is quoted for the file; the item is translated and the window dirty.
    QCOMPARE(Cell(m, 2, idColCurr), QStringLiteral("'Oeffnen...'"));
    QCOMPARE(Cell(m, 2, idColStatus), QStr(SStatusTranslated));
    QVERIFY(m.IsDirty());
    QVERIFY(w.findChild<QAction*>(QStringLiteral("actFileSave"))->isEnabled());
    QCOMPARE(w.StatusPanel(spTranslated)->text(),
             QStringLiteral("Translated: %1").arg(translated + 1));
    w.Grid()->setCurrentIndex(w.GridModel().index(5, idColCurr));
    QVERIFY(status.data(Qt::BackgroundRole).value<QBrush>().color() != untranslated);
    QCOMPARE(w.StatusPanel(spPosition)->text(), QStringLiteral("6/%1").arg(m.RowCount()));
    QCOMPARE(w.StatusPanel(spItemId)->text(), Cell(m, 5, idColId));
    QCOMPARE(FUI->Shown().size(), shown); // nothing asked, nothing reported

    // Input methods compose into the cell like typing does.
    w.Grid()->setCurrentIndex(w.GridModel().index(3, idColCurr));
    QInputMethodEvent compose;
    compose.setCommitString(QStringLiteral("Öffnen…"));
    QApplication::sendEvent(w.Grid(), &compose);
    editor = w.Grid()->Delegate().Editor();
    QVERIFY(editor);
    QCOMPARE(static_cast<QPlainTextEdit*>(editor)->toPlainText(), QStringLiteral("Öffnen…"));
    // Shift+Enter keeps a line break; Enter takes the text.
    QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(editor, QStringLiteral("Datei"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(Cell(m, 3, idColCurr), QStringLiteral("'Öffnen…\nDatei'"));

    // The multi-line dialog edits the current cell.
    w.Grid()->setCurrentIndex(w.GridModel().index(5, idColComment));
    QTimer::singleShot(0, this, [] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->findChild<QPlainTextEdit*>()->setPlainText(QStringLiteral("one\ntwo"));
      dialog->accept();
    });
    w.findChild<QAction*>(QStringLiteral("actShowMultiLineEdit"))->trigger();
    QCOMPARE(Cell(m, 5, idColComment), QStringLiteral("one\ntwo"));
  }

  void RefusedEntryKeepsTheOldText() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    const QString old = Cell(m, 4, idColCurr);
    auto* editor =
        static_cast<TQEMTranslatorCellEditor*>(Type(w, 4, idColCurr, QStringLiteral("'Datei")));
    QVERIFY(editor);
    // The problem shows while typing, before anything is committed.
    QCOMPARE(editor->Hint(), QStr(SQuotesIncorrect));
    QCOMPARE(w.MessagePanel()->text(), QStr(SQuotesIncorrect));
    const size_t shown = FUI->Shown().size();
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(FUI->Shown().size(), shown + 1);
    QCOMPARE(LastShown(), QStr(SQuotesIncorrect));
    QCOMPARE(w.Grid()->Delegate().Editor(), editor); // still editing what was typed
    QCOMPARE(editor->toPlainText(), QStringLiteral("'Datei"));
    QCOMPARE(Cell(m, 4, idColCurr), old);
    QCOMPARE(Cell(m, 4, idColStatus), QStr(SStatusUntranslated));
    QVERIFY(!m.IsDirty());

    // Moving away does not lose it either: it comes back to be mended.
    w.Grid()->setCurrentIndex(w.GridModel().index(6, idColCurr));
    QTRY_VERIFY(w.Grid()->Delegate().Editor());
    QCOMPARE(w.Grid()->currentIndex().row(), 4);
    auto* again = qobject_cast<QPlainTextEdit*>(w.Grid()->Delegate().Editor());
    QVERIFY(again);
    QCOMPARE(again->toPlainText(), QStringLiteral("'Datei"));
    QTest::keyClicks(again, QStringLiteral("'"));
    QCOMPARE(static_cast<TQEMTranslatorCellEditor*>(again)->Hint(), QString());
    QTest::keyClick(again, Qt::Key_Escape);
    QVERIFY(!w.Grid()->Delegate().Editor());
    QCOMPARE(Cell(m, 4, idColCurr), old);
  }

  void StatusDropDownOffersTheTable() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    const auto entries = [&](int Row) {
      w.Grid()->setCurrentIndex(w.GridModel().index(Row, idColStatus));
      w.Grid()->edit(w.GridModel().index(Row, idColStatus));
      auto* combo = qobject_cast<QComboBox*>(w.Grid()->Delegate().Editor());
      QStringList items;
      for (int i = 0; combo && i < combo->count(); ++i)
        items << combo->itemText(i);
      return std::make_pair(combo, items);
    };
    auto [combo, items] = entries(0);
    QVERIFY(combo);
    QCOMPARE(items, QStringList({QStr(SStatusUntranslated), QStr(SStatusTranslated),
                                 QStr(SStatusDoNotTranslate), QStr(SStatusHold),
                                 QStr(SStatusAutoTranslated)}));
    QTest::keyClick(combo, Qt::Key_Escape);
    QTRY_VERIFY(!w.Grid()->Delegate().Editor());
    std::tie(combo, items) = entries(2);
    QVERIFY(combo);
    QCOMPARE(items, QStringList({QStr(SStatusUntranslated), QStr(SStatusTranslated),
                                 QStr(SStatusDoNotTranslate), QStr(SStatusHold)}));
    QCOMPARE(combo->currentText(), QStr(SStatusUntranslated));
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    QTRY_VERIFY(!w.Grid()->Delegate().Editor());
    QCOMPARE(Cell(m, 2, idColStatus), QStr(SStatusDoNotTranslate));
    QCOMPARE(m.UntranslatedCount() + m.TranslatedCount(), m.RowCount());

    std::tie(combo, items) = entries(2);
    QCOMPARE(items, QStringList({QStr(SStatusUntranslated), QStr(SStatusDoNotTranslate),
                                 QStr(SStatusHold)}));
    QTest::keyClick(combo, Qt::Key_Escape);
    QTRY_VERIFY(!w.Grid()->Delegate().Editor());
    QCOMPARE(Cell(m, 2, idColStatus), QStr(SStatusDoNotTranslate));
  }

  // Ctrl+S reaches the window through the main window's dispatcher and takes the text being
  // typed with it.
  void SaveAndReopen() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    QWidget* editor = Type(w, 2, idColCurr, QStringLiteral("Oeffnen..."));
    QVERIFY(editor);
    QCOMPARE(QApplication::focusWidget(), editor);
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!w.Grid()->Delegate().Editor());
    QVERIFY(!m.IsDirty());
    QVERIFY(!w.findChild<QAction*>(QStringLiteral("actFileSave"))->isEnabled());
    const auto dir = example.Dir() / "de" / "src";
    QVERIFY(ReadFile(dir / "MainForm.ofm.xlf").contains(QStringLiteral("'Oeffnen...'")));
    QVERIFY(ReadFile(dir / "MainForm.ofm").contains(QStringLiteral("Caption = 'Oeffnen...'")));

    // Another file in the same window (a double click on its node), then back: read from disk
    // again.
    emit p.Window.WorkspaceTree()->activated(
        p.Window.TreeModel()->IndexOf(p.Node("de/src/ContactForm.ofm")));
    QCOMPARE(p.Window.TranslatorWindows()->ShownForm(), form);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Grid()));
    QVERIFY(QStr(m.FileName()).endsWith(QStringLiteral("ContactForm.ofm")));
    QVERIFY(p.Open("de/src/MainForm.ofm") == form);
    QCOMPARE(Cell(m, 2, idColCurr), QStringLiteral("'Oeffnen...'"));
    QCOMPARE(Cell(m, 2, idColStatus), QStr(SStatusTranslated));
  }

  void ColumnsHideAndMove() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    QHeaderView* header = w.Grid()->horizontalHeader();
    QMenu* menu = w.ColumnMenu();
    QAction* idColumn = menu->findChild<QAction*>(QStringLiteral("actColumn%1").arg(idColId));
    QVERIFY(idColumn && idColumn->isChecked());
    QCOMPARE(idColumn->text(), QStr(SGridColId));
    idColumn->trigger();
    QVERIFY(header->isSectionHidden(idColId));
    QVERIFY(!m.ColumnVisible(idColId));
    QCOMPARE(m.ColumnCount(), 9);

    // Dragging a header moves the column in the window's order.
    header->moveSection(header->visualIndex(idColCurr), header->visualIndex(idColOrig));
    QCOMPARE(m.ColIds()[2], idColCurr);
    QCOMPARE(m.ColIds()[3], idColOrig);
    QCOMPARE(m.ColToEnum(1), int(idColCurr)); // the hidden id column is not counted

    for (QAction* a : menu->actions())
      if (a->text() == QStr(SGridShowNone)) a->trigger();
    QCOMPARE(m.ColumnCount(), 0);
    for (int c = 0; c < QEMGridColumnCount; ++c)
      QVERIFY(header->isSectionHidden(c));
    for (QAction* a : menu->actions())
      if (a->text() == QStr(SGridToggle)) a->trigger();
    QCOMPARE(m.ColumnCount(), QEMGridColumnCount);
    QVERIFY(!header->isSectionHidden(idColId));
    QCOMPARE(header->visualIndex(idColCurr), 2); // the order survived
  }

  void FilterMenuAndNextUntranslated() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    const int rows = m.RowCount();
    QVERIFY(m.AcceptEdit(2, idColCurr, u"'Ö&ffnen...'"));
    QAction* translated = w.FilterMenu()->findChild<QAction*>(QStringLiteral("actFilter1"));
    QVERIFY(translated && translated->isChecked());
    QCOMPARE(translated->text(), QStr(SFilterShowTranslated));
    translated->trigger();
    QCOMPARE(m.RowCount(), rows - 1);
    QCOMPARE(w.Grid()->model()->rowCount(), rows - 1);
    for (QAction* a : w.FilterMenu()->actions())
      if (a->text() == QStr(SGridShowAll)) a->trigger();
    QCOMPARE(m.RowCount(), rows);
    QVERIFY(translated->isChecked());

    // F3: the next untranslated item after the current one, through the dispatcher.
    w.Grid()->setCurrentIndex(w.GridModel().index(0, idColCurr));
    QTest::keyClick(w.Grid(), Qt::Key_F3);
    QCOMPARE(m.CurrentRow(), 3);
    QCOMPARE(w.Grid()->currentIndex().row(), 3);
    // Another window's keys are not this one's: hidden, it takes none.
    w.hide();
    QTest::keyClick(p.Window.WorkspaceTree(), Qt::Key_F3);
    QCOMPARE(m.CurrentRow(), 3);
    w.show();

    // F6 between the tree and the window; F11 maximises.
    p.Window.WorkspaceTree()->setFocus();
    QTest::keyClick(p.Window.WorkspaceTree(), Qt::Key_F6);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Grid()));
    QTest::keyClick(w.Grid(), Qt::Key_F6);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(p.Window.WorkspaceTree()));
    const bool maximized = p.Window.isMaximized();
    QTest::keyClick(w.Grid(), Qt::Key_F11);
    QTRY_COMPARE(p.Window.isMaximized(), !maximized);
  }

  // An edit in progress is committed, and the usual question asked, whatever takes the file
  // away: another file, a batch operation, the end of the program.
  void TypingIsNeverLost() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    const auto notes = example.Dir() / "de" / "src" / "MainForm.ofm.xlf";

    QVERIFY(Type(w, 2, idColCurr, QStringLiteral("Oeffnen")));
    FUI->QueueAnswer(TQEMAnswer::anCancel);
    p.Open("de/src/ContactForm.ofm");
    QCOMPARE(LastShown(), QStr(SGridTranslationChanged));
    QVERIFY(QStr(m.FileName()).endsWith(QStringLiteral("MainForm.ofm"))); // kept
    QCOMPARE(Cell(m, 2, idColCurr), QStringLiteral("'Oeffnen'"));
    QVERIFY(m.IsDirty());

    // A batch operation over the file: saved first (Yes), then purged through the window's
    // manager, which the window reads again.
    QVERIFY(Type(w, 3, idColCurr, QStringLiteral("Ein Buch oeffnen")));
    FUI->QueueAnswer(TQEMAnswer::anYes); // save
    FUI->QueueAnswer(TQEMAnswer::anYes); // purge
    p.Action("actPurge")->trigger();
    QCOMPARE(Count(TKind::skYesNo, SPurgeQuestion), 1);
    QVERIFY(!m.IsDirty());
    QVERIFY(ReadFile(notes).contains(QStringLiteral("'Ein Buch oeffnen'")));
    QCOMPARE(Cell(m, 3, idColCurr), QStringLiteral("'Ein Buch oeffnen'"));

    // The program's end.
    QVERIFY(Type(w, 4, idColCurr, QStringLiteral("Adressbuch sichern")));
    FUI->QueueAnswer(TQEMAnswer::anCancel);
    QVERIFY(!p.Window.close());
    QCOMPARE(Cell(m, 4, idColCurr), QStringLiteral("'Adressbuch sichern'"));
    FUI->QueueAnswer(TQEMAnswer::anYes); // save the translation
    FUI->QueueAnswer(TQEMAnswer::anNo);  // the project itself
    p.Window.close();
    QVERIFY(ReadFile(notes).contains(QStringLiteral("'Adressbuch sichern'")));
  }

  // A file open in one window is shown there when another window is asked for it: one manager
  // over the notes file, never two.
  void OneFileOneWindow() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* forms = p.Open("de/src/MainForm.ofm");
    QVERIFY(forms);
    TQEMTreeNode* rc = p.Node("de/src/Resources.rc");
    QVERIFY(rc && rc->Info.TypeId);
    auto* other = dynamic_cast<TQEMTranslatorWindowForm*>(rc->Info.TypeId->GetForm());
    QVERIFY(other && other != forms);
    const std::u16string file = forms->Model().FileName();
    forms->Model().SetCurrentCell(4, idColCurr);
    rc->Info.TypeId->Edit(file);
    QCOMPARE(other->Model().Mgr(), static_cast<TQEMTranslatorMgr*>(nullptr));
    QCOMPARE(other->ShownInstead(), forms);
    QVERIFY(forms->Window()->isVisible());
    QVERIFY(!other->Window()->isVisible());
    QCOMPARE(forms->Model().CurrentRow(), 4);
    int managers = 0;
    for (auto* mgr : QEMTranslatorMgrs())
      managers += QStr(mgr->FileName()) == QStr(file);
    QCOMPARE(managers, 1);
    // Its own file again: its own window.
    rc->Info.TypeId->Edit(rc->Info.Path);
    QVERIFY(other->Window()->isVisible());
    QVERIFY(other->Model().Mgr());

    // Before a package unloads, its windows go: not while they keep unsaved edits.
    TQEMTranslatorWindowHost& host = *p.Window.TranslatorWindows();
    const size_t count = host.Forms().size();
    QVERIFY(other->Model().AcceptEdit(0, idColComment, u"note"));
    FUI->QueueAnswer(TQEMAnswer::anCancel);
    QVERIFY(!host.ReleaseForms({rc->Info.TypeId}));
    QCOMPARE(host.Forms().size(), count);
    FUI->QueueAnswer(TQEMAnswer::anNo);
    QVERIFY(host.ReleaseForms({rc->Info.TypeId}));
    QCOMPARE(host.Forms().size(), count - 1);
  }

  // The updater run goes through the open window's manager; the window saves first and reads
  // the file afterwards, so the run neither loses the edit nor is undone by the window.
  void UpdaterRunOverAnOpenFile() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorFormModel& m = form->Model();
    QVERIFY(m.AcceptEdit(2, idColCurr, u"'Oeffnen'"));
    const size_t runs = size_t(Count(TKind::skProgress, u""));
    FUI->QueueAnswer(TQEMAnswer::anCancel);
    p.Action("actRunUpdaters")->trigger();
    QCOMPARE(size_t(Count(TKind::skProgress, u"")), runs); // not started
    QVERIFY(m.IsDirty());
    FUI->QueueAnswer(TQEMAnswer::anYes);
    p.Action("actRunUpdaters")->trigger();
    QCOMPARE(size_t(Count(TKind::skProgress, u"")), runs + 1);
    QVERIFY(m.Mgr());
    QVERIFY(!m.IsDirty());
    QCOMPARE(Cell(m, 2, idColCurr), QStringLiteral("'Oeffnen'"));
    QCOMPARE(Cell(m, 2, idColStatus), QStr(SStatusTranslated));
    const auto dir = example.Dir() / "de" / "src";
    QVERIFY(ReadFile(dir / "MainForm.ofm.xlf").contains(QStringLiteral("'Oeffnen'")));
    QVERIFY(ReadFile(dir / "MainForm.ofm").contains(QStringLiteral("Caption = 'Oeffnen'")));
  }

  // Scrolling a 100,000-row file from top to bottom reads the cells of the rows shown only.
  void ScrollingReadsOnlyTheRowsShown() {
    qemtest::TTempDir dir;
    std::ofstream(dir.Path() / "big.txt") << "x";
    TBigMgrClass mgrClass;
    TQEMTranslatorFormModel model(mgrClass);
    TQEMTranslatorWindow w(model, nullptr);
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    model.LoadFromFile(dir.U16("big.txt"), idColCurr, 0);
    QCOMPARE(model.RowCount(), TBigMgrClass::kItems);
    QApplication::processEvents();
    TQEMTranslatorGridView* grid = w.Grid();
    grid->viewport()->repaint();
    const int perPage = grid->viewport()->height() / grid->rowHeight(0) + 1;
    QVERIFY(perPage > 5);

    TQEMTranslatorGridModel& gm = w.GridModel();
    gm.ResetCellReads();
    QScrollBar* bar = grid->verticalScrollBar();
    const int pages = 40;
    for (int page = 0; page < pages; ++page) {
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
      grid->viewport()->repaint();
    }
    bar->setValue(bar->maximum());
    grid->viewport()->repaint();
    const int64_t reads = gm.CellReads();
    qInfo("%lld cell reads for %d pages of %d rows", static_cast<long long>(reads), pages + 1,
          perPage);
    // Every cell shown asks a few things (text, colours, editability); never the whole file.
    const int64_t bound = int64_t(pages + 1) * perPage * QEMGridColumnCount * 6;
    QVERIFY2(reads > 0 && reads <= bound,
             qPrintable(QStringLiteral("%1 reads, bound %2").arg(reads).arg(bound)));
    QVERIFY(grid->rowAt(grid->viewport()->height() - 1) == TBigMgrClass::kItems - 1 ||
            grid->rowAt(grid->viewport()->height() / 2) > TBigMgrClass::kItems - perPage);
  }

  void Screenshot() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorFormModel& m = form->Model();
    m.AcceptEdit(2, idColCurr, u"'Ö&ffnen...'");
    m.AcceptEdit(3, idColCurr, u"'Ein Adressbuch öffnen'");
    m.AcceptEdit(4, idColCurr, u"'&Speichern'");
    m.ChooseStatus(6, rsHold);
    p.Window.resize(1440, 820);
    QApplication::processEvents(); // laid out at that size before the cursor moves
    form->Window()->Grid()->setCurrentIndex(form->Window()->GridModel().index(5, idColCurr));
    p.Window.WorkspaceTree()->expandAll();
    QDir().mkpath(QStringLiteral(HLX_SCREENSHOT_DIR));
    QTest::qWait(50);
    // Fitting columns to a file must not scroll the item numbers and ids out of sight.
    QCOMPARE(form->Window()->Grid()->horizontalScrollBar()->value(), 0);
    QVERIFY(p.Window.grab().save(QStringLiteral(HLX_SCREENSHOT_DIR "/translator-window.png")));

    // Japanese in its own window's font: the glyphs must be there, not boxes.
    form = p.Open("ja/src/MainForm.ofm");
    QVERIFY(form);
    form->Model().AcceptEdit(2, idColCurr, u"'開く(&O)...'");
    form->Model().AcceptEdit(3, idColCurr, u"'アドレス帳を開く'");
    QTest::qWait(50);
    QVERIFY(form->Window()->grab().save(
        QStringLiteral(HLX_SCREENSHOT_DIR "/translator-window-ja.png")));
  }
};

HLX_GUI_TEST_MAIN(TranslatorWindowTest)
#include "TranslatorWindowTest.moc"
