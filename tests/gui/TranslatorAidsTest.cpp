// The translator window's aids over the bundled example: suggestions taken by key and by double
// click, the concordance search, the warnings on rows and in the list, and misspelt words
// underlined in the translation editor with their context menu.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "GuiTestSupport.h"
#include "QEMMainWindow.h"
#include "QEMQtText.h"
#include "QEMTranslatorAids.h"
#include "QEMTranslatorGrid.h"
#include "QEMTranslatorWindow.h"
#include "QEMTranslatorWindowHost.h"
#include "QEMWorkspaceTreeModel.h"
#include "core/QEMIntlUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "settings/QEMINTOptionProp.h"
#include "workspace/QEMWorkspace.h"

using hlxguitest::TExample;

namespace {

constexpr LCID En = 0x0409, De = 0x0407;
// The example's hint "Open an address book" and the items around it.
constexpr int HintRow = 3, OpenRow = 2;

struct TProgram {
  TQEMWorkspace Workspace;
  TQEMMainWindow Window;
  explicit TProgram(const TExample& Example) : Window(Workspace, {Example.Project()}) {
    Window.resize(1280, 820);
    Window.show();
    Window.activateWindow();
    (void)QTest::qWaitForWindowActive(&Window);
    Window.ProcessCommandLine();
    Window.findChild<QAction*>(QStringLiteral("actRunUpdaters"))->trigger();
    Window.ShowWorkspacePage();
  }
  TQEMTranslatorWindowForm* Open(const std::string& Tail) {
    TQEMTreeNode* found = nullptr;
    std::function<void(TQEMTreeNode&)> walk = [&](TQEMTreeNode& N) {
      if (N.Level == 3 && UTF16ToUTF8(N.Info.Path).ends_with(Tail)) found = &N;
      for (auto& c : N.Children)
        walk(*c);
    };
    for (auto& root : Workspace.Tree())
      walk(*root);
    if (!found) return nullptr;
    Window.WorkspaceTree()->setCurrentIndex(Window.TreeModel()->IndexOf(found));
    return Window.TranslatorWindows()->ShownForm();
  }
};

void Grab(QWidget& W, const char* Name) {
  QDir().mkpath(QStringLiteral(HLX_SCREENSHOT_DIR));
  QTest::qWait(50);
  QVERIFY(W.grab().save(QStringLiteral(HLX_SCREENSHOT_DIR "/") + QLatin1String(Name)));
}

bool HasUnderline(const QPlainTextEdit& Editor) {
  for (const QTextLayout::FormatRange& f : Editor.document()->firstBlock().layout()->formats())
    if (f.format.fontUnderline() ||
        f.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
      return true;
  return false;
}

} // namespace

class TranslatorAidsTest : public QObject {
  Q_OBJECT
  std::shared_ptr<TQEMScriptedUIServices> FUI;
  std::shared_ptr<IQEMUIServices> FOld;

private slots:
  void initTestCase() { FOld = QEMSetUIServices(nullptr); }
  void cleanupTestCase() { QEMSetUIServices(FOld); }
  void init() {
    FUI = std::make_shared<TQEMScriptedUIServices>();
    QEMSetUIServices(FUI);
    QEMINTOptionProps->AutomaticSaveFiles = false;
  }

  void SuggestionsAreShownAndTakenByKeyOrDoubleClick() {
    TExample example;
    TProgram p(example);
    QEMRepositoryAddString(u"Open the address book", En, u"Das Adressbuch \u00f6ffnen", De, u"");
    QEMRepositoryAddString(u"Open an address list", En, u"Eine Adressliste \u00f6ffnen", De, u"");
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    QCOMPARE(m.CellText(HintRow, idColOrig), u"'Open an address book'");
    w.Grid()->setCurrentIndex(w.GridModel().index(HintRow, idColCurr));
    TQEMSuggestionsPanel& panel = *w.Suggestions();
    QCOMPARE(panel.Row(), HintRow);
    QVERIFY(panel.Matches().size() >= 2);
    QCOMPARE(panel.Matches()[0].Original, u"Open the address book");
    QCOMPARE(panel.Matches()[0].Score, 82);
    QVERIFY(panel.topLevelItem(0)->text(0).contains(QStringLiteral("82%")));
    // The difference to the row's original is marked in the suggestion.
    QVERIFY(panel.topLevelItem(0)
                ->data(2, Qt::UserRole + 1)
                .toString()
                .contains(QStringLiteral("background-color:#ffd966\">the</span>")));
    w.Aids()->setCurrentWidget(w.Suggestions());
    Grab(w, "translator-suggestions.png");

    QTest::keyClick(w.Grid(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(m.CellText(HintRow, idColCurr), u"'Das Adressbuch \u00f6ffnen'");
    QCOMPARE(m.RowItem(HintRow)->GetStatus(), TQEMTranslatorFormModel::EditedStatus());

    // A double click takes the second one instead.
    const std::u16string second = panel.Matches()[1].Translation;
    QCOMPARE(second, u"'Eine Adressliste \u00f6ffnen'");
    const QRect r = panel.visualItemRect(panel.topLevelItem(1));
    QTest::mouseClick(panel.viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(panel.viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(m.CellText(HintRow, idColCurr), second);
    QVERIFY(!w.AcceptSuggestion(4)); // there is no fifth

    // Another file in the same window: its row, not the old file's, is offered for.
    QVERIFY(m.FileSave());
    QCOMPARE(p.Open("de/src/AboutBox.ofm"), form);
    QCOMPARE(panel.Row(), m.CurrentRow());
    QCOMPARE(panel.Matches().size(), m.Suggestions(m.CurrentRow()).size());
  }

  void ConcordanceFindsAndMarksThePhrase() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    w.Aids()->setCurrentWidget(w.Concordance());
    QLineEdit* field = w.Concordance()->Field();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("Adressbuch"));
    QTest::keyClick(field, Qt::Key_Return);
    QTreeWidget* results = w.Concordance()->Results();
    QVERIFY(results->topLevelItemCount() >= 1);
    QCOMPARE(results->topLevelItem(0)->text(1), QStringLiteral("Adressbuch"));
    QVERIFY(results->topLevelItem(0)
                ->data(1, Qt::UserRole + 1)
                .toString()
                .contains(QStringLiteral("#ffd966\">Adressbuch</span>")));
    Grab(w, "translator-concordance.png");
  }

  void WarningsOnTheRowAndInTheList() {
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    TQEMTranslatorFormModel& m = form->Model();
    QVERIFY(m.AcceptEdit(OpenRow, idColCurr, u"'\u00d6ffnen'")); // accelerator and "..." gone
    const QModelIndex cell = w.GridModel().index(OpenRow, idColCurr);
    QVERIFY(!cell.data(Qt::DecorationRole).isNull());
    QVERIFY(cell.data(Qt::ToolTipRole).toString().contains(QStringLiteral("accelerator")));
    QVERIFY(w.GridModel().index(OpenRow + 1, idColCurr).data(Qt::DecorationRole).isNull());
    w.Aids()->setCurrentWidget(w.WarningsList());
    QTreeWidget* list = w.WarningsList();
    QCOMPARE(list->topLevelItemCount(), int(m.FileWarnings().size()));
    QVERIFY(list->topLevelItemCount() >= 2);
    Grab(w, "translator-warnings.png");
  }

  void MisspeltWordsAreUnderlinedWithSuggestions() {
    if (!std::filesystem::exists("/usr/share/hunspell/de_DE.dic"))
      QSKIP("no German dictionary installed");
    TExample example;
    TProgram p(example);
    TQEMTranslatorWindowForm* form = p.Open("de/src/MainForm.ofm");
    QVERIFY(form);
    TQEMTranslatorWindow& w = *form->Window();
    w.Grid()->setCurrentIndex(w.GridModel().index(HintRow, idColCurr));
    w.Grid()->edit(w.GridModel().index(HintRow, idColCurr));
    auto* editor = qobject_cast<QPlainTextEdit*>(w.Grid()->Delegate().Editor());
    QVERIFY(editor);
    editor->setPlainText(QStringLiteral("'Ein Adresbuch \u00f6ffnen'"));
    QApplication::processEvents();
    QVERIFY(HasUnderline(*editor));
    auto* speller = editor->document()->findChild<TQEMSpellHighlighter*>();
    QVERIFY(speller);
    QCOMPARE(speller->WordAt(7).Start, 5);
    QCOMPARE(speller->WordAt(2).Length, 0);
    Grab(w, "translator-spelling.png");

    // The context menu offers the dictionary's words and adding this one.
    QTextCursor c = editor->textCursor();
    c.setPosition(7);
    editor->setTextCursor(c);
    emit editor->customContextMenuRequested(editor->cursorRect(c).center());
    QMenu* menu = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* m = qobject_cast<QMenu*>(top); m && m->isVisible()) menu = m;
    QVERIFY(menu);
    QVERIFY(menu->findChild<QAction*>(QStringLiteral("actAddToDictionary")));
    QStringList texts;
    for (QAction* a : menu->actions())
      texts << a->text();
    QVERIFY2(texts.contains(QStringLiteral("Adressbuch")), qPrintable(texts.join(u'|')));
    menu->close();
  }
};

HLX_GUI_TEST_MAIN(TranslatorAidsTest)
#include "TranslatorAidsTest.moc"
