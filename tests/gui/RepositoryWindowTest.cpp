// The "Translation Repository" window driven offscreen over the example's translation memory:
// sorting by header clicks, editing cells (multi-line, input methods, an edit left open when
// saving), deleting, the language tool bar, find, copy, the recent files, the close question,
// the kept window options, and that scrolling reads only the rows on screen.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFontDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <fstream>

#include "GuiTestSupport.h"
#include "QEMQtText.h"
#include "QEMRepositoryGrid.h"
#include "QEMRepositoryWindow.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "settings/QEMGridFont.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

using hlxguitest::TExample;
using hlxguitest::TModalAnswerer;
using TKind = TQEMScriptedUIServices::TKind;

namespace {

const QStringList EnglishAscending = {"&File",  "&Help", "%d contacts found", "Address Book",
                                      "Cancel", "Close", "Find Contact",      "Ready"};

QStringList ColumnTexts(TfrmRepository& W, int Col) {
  QStringList r;
  for (int row = 0; row < W.Model().rowCount(); ++row)
    r << W.Model().data(W.Model().index(row, Col)).toString();
  return r;
}

QStringList Reversed(QStringList L) {
  std::reverse(L.begin(), L.end());
  return L;
}

void ClickHeader(TfrmRepository& W, int Col) {
  QHeaderView* h = W.Grid()->horizontalHeader();
  const QPoint p(h->sectionViewportPosition(Col) + h->sectionSize(Col) / 2, h->height() / 2);
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, p);
}

// The row whose text in Col is Text, else -1.
int RowOf(TfrmRepository& W, int Col, const QString& Text) {
  return int(ColumnTexts(W, Col).indexOf(Text));
}

// The record's text in Lang, found by its English text, as a fresh load of File reads it.
std::u16string Stored(const std::u16string& File, const std::u16string& English,
                      const std::u16string& Lang) {
  auto rep = std::make_shared<TQEMRepository>();
  rep->LoadFromFile(File);
  for (int i = 0; i < rep->RecCount(); ++i)
    if (rep->GetRecord(i)->GetString(u"en-US") == English)
      return rep->GetRecord(i)->GetString(Lang);
  return u"<no record>";
}

QStringList LangButtons(TfrmRepository& W) {
  QStringList r;
  for (QAction* a : W.LangToolBar()->actions())
    if (!a->isSeparator()) r << a->text() + (a->isCheckable() && !a->isChecked() ? "-" : "");
  return r;
}

// Typing on the grid: the first key opens the editor, which has the keys after it.
void Type(TQEMRepositoryGrid* G, const QString& Text) {
  QTest::keyClicks(G, Text.left(1));
  QVERIFY(G->Editor());
  QTest::keyClicks(G->Editor(), Text.mid(1));
}

// Back from a modal dialog: the window has the keys again.
void Activate(QWidget& W) {
  W.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&W));
}

void Show(TfrmRepository& W) {
  W.show();
  QVERIFY(QTest::qWaitForWindowActive(&W));
  W.Grid()->setFocus();
  QApplication::processEvents();
}

} // namespace

class RepositoryWindowTest : public QObject {
  Q_OBJECT
  std::shared_ptr<TQEMScriptedUIServices> FUI;
  std::shared_ptr<IQEMUIServices> FOld;

  TQEMScriptedUIServices::TShown Last() const { return FUI->Shown().back(); }
  size_t ShownCount() const { return FUI->Shown().size(); }

private slots:
  void initTestCase() {
    FUI = std::make_shared<TQEMScriptedUIServices>();
    FOld = QEMSetUIServices(FUI);
  }
  void cleanupTestCase() { QEMSetUIServices(FOld); }

  void ActionsCaptionsAndShortcuts() {
    TExample example;
    TfrmRepository w;
    Show(w);
    QStringList actions;
    for (const char* name :
         {"NewRepository", "OpenRepository", "SaveRepository", "SaveAsRepository", "FindRepository",
          "FindNextRepository", "HelpRepository", "ExitRepository", "CopyCell", "EditRepository",
          "ChangeFont", "HideColumn", "DeleteLang"}) {
      QAction* a = w.Action(name);
      actions << a->text() + (a->shortcut().isEmpty() ? "" : "|" + a->shortcut().toString());
    }
    QCOMPARE(actions, QStringList({"&New", "&Open...", "&Save", "Save &As...", "&Find...|Ctrl+F",
                                   "Find &Next|F3", "&Help|F1", "E&xit|Alt+F4", "&Copy|Ctrl+C",
                                   "&Edit|F2", "F&ont", "&Hide", "&Delete"}));

    const size_t shown = ShownCount();
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(ShownCount(), shown + 1);
    QCOMPARE(Last().Kind, TKind::skMessage);
    QVERIFY(QStr(Last().Text).startsWith("The translation repository"));

    // Ctrl+Del removes the records of the selected rows.
    TQEMRepositoryGrid* g = w.Grid();
    g->selectionModel()->select(QItemSelection(w.Model().index(1, 2), w.Model().index(2, 2)),
                                QItemSelectionModel::ClearAndSelect);
    FUI->QueueAnswer(TQEMAnswer::anYes);
    QTest::keyClick(g, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(QStr(Last().Text), QStringLiteral("Delete 2 record(s)?"));
    QCOMPARE(w.Model().rowCount(), 6);
    QCOMPARE(ColumnTexts(w, 0), QStringList({"&Datei", "Abbrechen", "Adressbuch", "Bereit",
                                             "Kontakt suchen", "Schlie\u00dfen"}));
    QCOMPARE(w.PositionPanel()->text().section('/', 1), QStringLiteral("6"));

    FUI->QueueAnswer(TQEMAnswer::anNo);
    QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
    QCOMPARE(Last().Kind, TKind::skYesNoCancel);
    QVERIFY(!w.isVisible());
  }

  void SortedBothWaysByHeaderClicks() {
    TExample example;
    TfrmRepository w;
    Show(w);
    TQEMRepositoryFrame& f = w.Frame();
    const int de = f.ColumnOf(u"de-DE"), en = f.ColumnOf(u"en-US");
    QHeaderView* h = w.Grid()->horizontalHeader();
    QVERIFY(h->isSortIndicatorShown());
    QCOMPARE(h->sortIndicatorSection(), de); // the first language
    QCOMPARE(h->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(ColumnTexts(w, de).front(), QStringLiteral("&Datei"));

    w.Frame().SetCurrent(en, RowOf(w, en, "Ready"));
    ClickHeader(w, en);
    QCOMPARE(h->sortIndicatorSection(), en);
    QCOMPARE(h->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(ColumnTexts(w, en), EnglishAscending);
    // The current cell follows its record; the click selects no column.
    QCOMPARE(w.Grid()->currentIndex().row(), 7);
    QCOMPARE(w.PositionPanel()->text(), QStringLiteral("8/8"));
    QCOMPARE(w.Grid()->selectionModel()->selection().size(), 1);

    ClickHeader(w, en);
    QCOMPARE(h->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(ColumnTexts(w, en), Reversed(EnglishAscending));
    QCOMPARE(w.Grid()->currentIndex().row(), 0);
    QCOMPARE(w.PositionPanel()->text(), QStringLiteral("1/8"));
    // The rows are whole records whichever way they go.
    QCOMPARE(ColumnTexts(w, de).front(), QStringLiteral("Bereit"));

    ClickHeader(w, de);
    QCOMPARE(h->sortIndicatorSection(), de);
    QCOMPARE(h->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(ColumnTexts(w, en).front(), QStringLiteral("&File"));
  }

  // Typing replaces, F2 keeps and appends, Shift+Enter breaks the line and the row grows, CR LF
  // stays CR LF, an input method's text opens the editor, an edit still open when saving is
  // saved, Escape drops an edit, and the saved file reads back.
  void EditedCellsSavedAndReadBack() {
    TExample example;
    const std::u16string file = QEMRepositoryGetFileName();
    TfrmRepository w;
    Show(w);
    TQEMRepositoryFrame& f = w.Frame();
    TQEMRepositoryGrid* g = w.Grid();
    const int en = f.ColumnOf(u"en-US"), fr = f.ColumnOf(u"fr-FR"), ja = f.ColumnOf(u"ja-JP");
    const int cancel = RowOf(w, en, "Cancel");

    f.SetCurrent(fr, cancel);
    Type(g, QStringLiteral("Abandon"));
    QVERIFY(g->Editor());
    QCOMPARE(g->Editor()->font().family(), w.Model().ColumnFont(fr).family());
    QTest::keyClick(g->Editor(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(g->Editor(), QStringLiteral("sans retour"));
    QTest::keyClick(g->Editor(), Qt::Key_Return);
    QVERIFY(!g->Editor());
    QCOMPARE(f.GetCell(fr, cancel), std::u16string(u"Abandon\nsans retour"));
    QApplication::processEvents();
    QCOMPARE(g->rowHeight(cancel),
             g->LineRowHeight() + QFontMetrics(w.Model().ColumnFont(fr)).lineSpacing());

    const int close = RowOf(w, en, "Close");
    f.SetCell(fr, close, u"Fermer\r\nla fen\u00eatre");
    f.SetCurrent(fr, close);
    QTest::keyClick(g, Qt::Key_F2);
    QVERIFY(g->Editor());
    QCOMPARE(g->Editor()->toPlainText(), QStringLiteral("Fermer\nla fen\u00eatre"));
    QTest::keyClicks(g->Editor(), QStringLiteral(" active"));
    QTest::keyClick(g->Editor(), Qt::Key_Return);
    QCOMPARE(f.GetCell(fr, close), std::u16string(u"Fermer\r\nla fen\u00eatre active"));

    // Escape keeps the old text.
    const std::u16string ready = f.GetCell(fr, RowOf(w, en, "Ready"));
    f.SetCurrent(fr, RowOf(w, en, "Ready"));
    Type(g, QStringLiteral("oops"));
    QTest::keyClick(g->Editor(), Qt::Key_Escape);
    QCOMPARE(f.GetCell(fr, RowOf(w, en, "Ready")), ready);

    // A composition on a cell: its text reaches the editor it opens.
    const int help = RowOf(w, en, "&Help");
    f.SetCurrent(ja, help);
    QInputMethodEvent preedit(QStringLiteral("\u3078\u308b"), {});
    QApplication::sendEvent(g, &preedit);
    QVERIFY(g->Editor());
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("\u30d8\u30eb\u30d7"));
    QApplication::sendEvent(g->Editor(), &commit);
    QTest::keyClick(g->Editor(), Qt::Key_Return);
    QCOMPARE(f.GetCell(ja, help), std::u16string(u"\u30d8\u30eb\u30d7"));

    // Into the sort column: the row moves when the editor has closed, the current cell with it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("closeEditor")));
    const int de = f.ColumnOf(u"de-DE");
    f.SetCurrent(de, RowOf(w, de, "Abbrechen"));
    Type(g, QStringLiteral("Zuletzt"));
    QTest::keyClick(g->Editor(), Qt::Key_Return);
    QVERIFY(!g->Editor());
    QCOMPARE(RowOf(w, de, "Zuletzt"), 7);
    QCOMPARE(g->currentIndex(), w.Model().index(7, de));
    QCOMPARE(w.PositionPanel()->text(), QStringLiteral("8/8"));

    // Left open while saving: written all the same.
    f.SetCurrent(en, RowOf(w, en, "Address Book"));
    w.Action("EditRepository")->trigger();
    QVERIFY(g->Editor());
    QTest::keyClicks(g->Editor(), QStringLiteral(" (all)"));
    w.Action("SaveRepository")->trigger();
    QVERIFY(!g->Editor());
    QVERIFY(!f.Repository().Modified());
    QCOMPARE(Stored(file, u"Address Book (all)", u"de-DE"), std::u16string(u"Adressbuch"));
    QCOMPARE(Stored(file, u"Cancel", u"fr-FR"), std::u16string(u"Abandon\nsans retour"));
    QCOMPARE(Stored(file, u"Cancel", u"de-DE"), std::u16string(u"Zuletzt"));
    // XML reads every line end as LF.
    QCOMPARE(Stored(file, u"Close", u"fr-FR"), std::u16string(u"Fermer\nla fen\u00eatre active"));
    QCOMPARE(Stored(file, u"&Help", u"ja-JP"), std::u16string(u"\u30d8\u30eb\u30d7"));
  }

  void DeleteLanguageNoThenYesAndDeleteRegion() {
    TExample example;
    const std::u16string file = QEMRepositoryGetFileName();
    TfrmRepository w;
    Show(w);
    TQEMRepositoryFrame& f = w.Frame();
    const int en = f.ColumnOf(u"en-US"), fr = f.ColumnOf(u"fr-FR");
    f.SetCurrent(fr, 0);
    w.FillPopupMenu();
    QAction* item = w.Action("DeleteLangItem");
    QVERIFY(w.PopupMenu()->actions().contains(item));
    QCOMPARE(item->text(), QStringLiteral("&Delete French (France)"));
    QCOMPARE(w.Action("DeleteLang")->text(), QStringLiteral("&Delete"));

    FUI->QueueAnswer(TQEMAnswer::anNo);
    item->trigger();
    QCOMPARE(Last().Kind, TKind::skYesNo);
    QCOMPARE(QStr(Last().Text), QStringLiteral("Delete 'French (France)'?"));
    QCOMPARE(w.Model().columnCount(), 4);

    FUI->QueueAnswer(TQEMAnswer::anYes);
    w.Action("DeleteLang")->trigger();
    QCOMPARE(w.Model().columnCount(), 3);
    QCOMPARE(f.ColumnOf(u"fr-FR"), -1);
    QCOMPARE(LangButtons(w), QStringList({"All", "German (Germany)", "English (United States)",
                                          "Japanese (Japan)"}));
    QStringList headers;
    for (int c = 0; c < w.Model().columnCount(); ++c)
      headers << w.Model().headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers,
             QStringList({"German (Germany)", "English (United States)", "Japanese (Japan)"}));
    QVERIFY(f.Repository().Modified());

    // Del over a selected block of cells clears them, after the question.
    QVERIFY(en < 2);
    TQEMRepositoryGrid* g = w.Grid();
    g->selectionModel()->select(QItemSelection(w.Model().index(0, 0), w.Model().index(1, 1)),
                                QItemSelectionModel::ClearAndSelect);
    FUI->QueueAnswer(TQEMAnswer::anYes);
    QTest::keyClick(g, Qt::Key_Delete);
    QCOMPARE(QStr(Last().Text), QStringLiteral("Delete region?"));
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 2; ++c)
        QCOMPARE(f.GetCell(c, r), std::u16string());
    QVERIFY(!f.GetCell(2, 0).empty());

    w.Action("SaveRepository")->trigger();
    std::ifstream in(UTF16ToUTF8(file));
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    QVERIFY(text.find("fr-FR") == std::string::npos);
    QVERIFY(text.find("ja-JP") != std::string::npos);
  }

  void LanguageToolBarHideAndFont() {
    TExample example;
    TfrmRepository w;
    Show(w);
    TQEMRepositoryFrame& f = w.Frame();
    TQEMRepositoryGrid* g = w.Grid();
    QCOMPARE(LangButtons(w), QStringList({"All", "German (Germany)", "English (United States)",
                                          "French (France)", "Japanese (Japan)"}));
    QList<QAction*> langs;
    for (QAction* a : w.LangToolBar()->actions())
      if (a->isCheckable()) langs << a;
    QCOMPARE(langs.size(), 4);

    QTest::mouseClick(w.LangToolBar()->widgetForAction(langs[0]), Qt::LeftButton);
    QVERIFY(g->isColumnHidden(0));
    QVERIFY(!f.Column(0).Visible);
    QVERIFY(!langs[0]->isChecked());
    langs[1]->trigger();
    langs[2]->trigger();
    QCOMPARE(f.VisibleColCount(), 1);
    QVERIFY(!w.Action("HideColumn")->isEnabled());
    langs[3]->trigger(); // the last one shown stays
    QVERIFY(langs[3]->isChecked());
    QVERIFY(!g->isColumnHidden(3));
    QCOMPARE(f.CurrentCol(), 3);

    QTest::mouseClick(w.LangToolBar()->widgetForAction(w.LangToolBar()->actions().front()),
                      Qt::LeftButton);
    QCOMPARE(f.VisibleColCount(), 4);
    for (int c = 0; c < 4; ++c) {
      QVERIFY(!g->isColumnHidden(c));
      QVERIFY(langs[c]->isChecked());
      QVERIFY(g->columnWidth(c) > 40);
    }

    f.SetCurrent(2, 0);
    w.Action("HideColumn")->trigger();
    QVERIFY(g->isColumnHidden(2));
    QVERIFY(!langs[2]->isChecked());
    QCOMPARE(f.CurrentCol(), 3); // the current cell moved to a column one can see

    // The font of the current language: kept as that language's grid font, shown in its column.
    const QString family = QApplication::font().family();
    TModalAnswerer answers;
    answers.Queue([family](QWidget& W) {
      auto* d = qobject_cast<QFontDialog*>(&W);
      QVERIFY(d);
      QCOMPARE(d->windowTitle(), QStringLiteral("Japanese (Japan)"));
      d->setCurrentFont(QFont(family, 15));
      d->accept();
    });
    w.Action("ChangeFont")->trigger();
    QCOMPARE(answers.Pending(), size_t(0));
    QCOMPARE(w.Model().ColumnFont(3).pointSize(), 15);
    QCOMPARE(w.Model().data(w.Model().index(0, 3), Qt::FontRole).value<QFont>().pointSize(), 15);
    QCOMPARE(QEMGridFonts->GetFont(f.Column(3).Lang)->Size, 15);
    QApplication::processEvents();
    QVERIFY(g->rowHeight(0) >= QFontMetrics(w.Model().ColumnFont(3)).lineSpacing());
    QEMGridFonts->Delete(QEMGridFonts->IndexOf(f.Column(3).Lang));
    QEMGridFonts->FontChanged();
  }

  void FindAndFindNextWithTheDialog() {
    TExample example;
    TfrmRepository w;
    Show(w);
    TQEMRepositoryFrame& f = w.Frame();
    const int en = f.ColumnOf(u"en-US"), fr = f.ColumnOf(u"fr-FR");
    f.SetCurrent(0, 0);
    TModalAnswerer answers;
    answers.Queue([](QWidget& W) {
      auto* d = qobject_cast<TfrmRepositoryFind*>(&W);
      QVERIFY(d);
      QCOMPARE(d->windowTitle(), QStringLiteral("Find Text"));
      QStringList boxes;
      for (QGroupBox* b : d->findChildren<QGroupBox*>())
        boxes << b->title();
      QCOMPARE(boxes, QStringList({" Options ", " Direction "}));
      QCOMPARE(d->findChild<QLabel*>()->text(), QStringLiteral("&Text to find:"));
      QCOMPARE(d->CaseSensitiveBox()->text(), QStringLiteral("&Case sensitive"));
      QCOMPARE(d->WholeWordsBox()->text(), QStringLiteral("&Whole words only"));
      QCOMPARE(d->ForwardButton()->text(), QStringLiteral("Forwar&d"));
      QCOMPARE(d->BackwardButton()->text(), QStringLiteral("&Backward"));
      QVERIFY(d->ForwardButton()->isChecked());
      QTest::keyClicks(d->TextBox()->lineEdit(), QStringLiteral("contact"));
      d->WholeWordsBox()->setChecked(true);
      QTest::keyClick(d->TextBox(), Qt::Key_Return);
    });
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(answers.Pending(), size_t(0));
    // "contacts" is not the whole word; "Find Contact" is.
    QCOMPARE(w.Grid()->currentIndex(), w.Model().index(RowOf(w, en, "Find Contact"), en));
    QCOMPARE(w.PositionPanel()->text(), QStringLiteral("7/8"));

    Activate(w);
    QTest::keyClick(w.Grid(), Qt::Key_F3);
    QCOMPARE(w.Grid()->currentIndex(), w.Model().index(RowOf(w, en, "Find Contact"), fr));
    const size_t shown = ShownCount();
    QTest::keyClick(w.Grid(), Qt::Key_F3);
    QCOMPARE(ShownCount(), shown + 1);
    QCOMPARE(Last().Kind, TKind::skMessage);
    QCOMPARE(QStr(Last().Text), QStringLiteral("Search string 'contact' not found"));

    // The dialog comes back with the last search and its history; backward, not whole words.
    answers.Queue([](QWidget& W) {
      auto* d = qobject_cast<TfrmRepositoryFind*>(&W);
      QVERIFY(d);
      QCOMPARE(d->TextBox()->currentText(), QStringLiteral("contact"));
      QCOMPARE(d->TextBox()->itemText(0), QStringLiteral("contact"));
      QVERIFY(d->WholeWordsBox()->isChecked());
      d->WholeWordsBox()->setChecked(false);
      d->BackwardButton()->setChecked(true);
      d->accept();
    });
    w.Action("FindRepository")->trigger();
    QCOMPARE(w.Grid()->currentIndex(), w.Model().index(RowOf(w, en, "Find Contact"), fr));
    Activate(w);
    QTest::keyClick(w.Grid(), Qt::Key_F3);
    QCOMPARE(w.Grid()->currentIndex(), w.Model().index(RowOf(w, en, "Find Contact"), en));
    QTest::keyClick(w.Grid(), Qt::Key_F3);
    QCOMPARE(w.Grid()->currentIndex(), w.Model().index(RowOf(w, en, "%d contacts found"), fr));
  }

  void CopyCaptionAndStatus() {
    TExample example;
    const std::u16string file = QEMRepositoryGetFileName();
    TfrmRepository w;
    Show(w);
    TQEMRepositoryFrame& f = w.Frame();
    QCOMPARE(w.windowTitle(), QStr(u"Translation Repository - " + file));
    QCOMPARE(w.PositionPanel()->text(), QStringLiteral("1/8"));
    QCOMPARE(w.ContextPanel()->text(), QString());

    const int ja = f.ColumnOf(u"ja-JP");
    f.SetCurrent(ja, 3);
    QTest::keyClick(w.Grid(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStr(f.GetCell(ja, 3)));
    QCOMPARE(w.PositionPanel()->text(), QStringLiteral("4/8"));
    // In the editor, Ctrl+C copies the editor's selection, not the cell.
    w.Grid()->edit(w.Grid()->currentIndex());
    QVERIFY(w.Grid()->Editor());
    w.Grid()->Editor()->setPlainText(QStringLiteral("xyz"));
    w.Grid()->Editor()->selectAll();
    QTest::keyClick(w.Grid()->Editor(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("xyz"));
    QTest::keyClick(w.Grid()->Editor(), Qt::Key_Escape);

    // A context id set underneath shows for its row.
    f.Repository().GetRecord(f.RowToRecord(3))->SetID(u"frmMain.btnClose");
    QCOMPARE(w.ContextPanel()->text(), QStringLiteral("frmMain.btnClose"));
    f.SetCurrent(ja, 2);
    QCOMPARE(w.ContextPanel()->text(), QString());

    FUI->QueueAnswer(TQEMAnswer::anNo);
    w.Action("NewRepository")->trigger();
    QCOMPARE(w.windowTitle(), QStringLiteral("Translation Repository"));
    QCOMPARE(w.PositionPanel()->text(), QStringLiteral("Empty"));
    QCOMPARE(w.Model().rowCount(), 0);
    QCOMPARE(LangButtons(w), QStringList({"All"}));
    QVERIFY(!w.Action("CopyCell")->isEnabled());
  }

  void RecentFilesDropDown() {
    TExample example;
    const std::u16string file = QEMRepositoryGetFileName();
    const std::u16string gone = UTF8ToUTF16((example.Dir() / "gone.tmx").string());
    QEMINTOptionProps->QEMHistoryManager.SetHistory(std::u16string(QEMRepositoryFileHistory),
                                                    {gone, file});
    TfrmRepository w;
    Show(w);
    QCOMPARE(w.OpenButton()->menu(), w.RecentMenu());
    QCOMPARE(w.OpenButton()->popupMode(), QToolButton::MenuButtonPopup);
    QCOMPARE(w.OpenButton()->defaultAction(), w.Action("OpenRepository"));
    emit w.RecentMenu()->aboutToShow();
    const QList<QAction*> items = w.RecentMenu()->actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0]->text(), QStr(u"&1 " + gone));
    QCOMPARE(items[1]->text(), QStr(u"&2 " + file));

    const int en = w.Frame().ColumnOf(u"en-US");
    w.Frame().SetCell(en, 0, u"changed");
    const size_t shown = ShownCount();
    items[0]->trigger();
    QCOMPARE(ShownCount(), shown + 1); // nothing asked: there is nothing to open
    QCOMPARE(Last().Kind, TKind::skError);
    QCOMPARE(QStr(Last().Text), QStr(u"File " + gone + u" does not exist."));
    QCOMPARE(w.Frame().GetCell(en, 0), std::u16string(u"changed"));

    FUI->QueueAnswer(TQEMAnswer::anNo);
    items[1]->trigger();
    QCOMPARE(Last().Kind, TKind::skYesNoCancel);
    QCOMPARE(w.Frame().GetCell(en, 0), std::u16string(u"&File"));
    QVERIFY(!w.Frame().Repository().Modified());
  }

  // Cancel keeps the window and the edits; No closes it and drops them; the window's options
  // are kept for the next one.
  void CloseQuestionAndKeptOptions() {
    TExample example;
    const std::u16string file = QEMRepositoryGetFileName();
    {
      TfrmRepository w;
      Show(w);
      w.resize(700, 400);
      QVERIFY(w.Action("TextLabels")->isChecked());
      QCOMPARE(w.ToolBar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
      w.Action("TextLabels")->trigger();
      QCOMPARE(w.ToolBar()->toolButtonStyle(), Qt::ToolButtonIconOnly);
      w.LangToolBar()->hide();

      const int en = w.Frame().ColumnOf(u"en-US");
      w.Frame().SetCurrent(en, 0);
      Type(w.Grid(), QStringLiteral("Unsaved"));
      FUI->QueueAnswer(TQEMAnswer::anCancel);
      QVERIFY(!w.close());
      QCOMPARE(Last().Kind, TKind::skYesNoCancel);
      QCOMPARE(QStr(Last().Text), QStr(u"Save changes to " + file + u"?"));
      QVERIFY(w.isVisible());
      QCOMPARE(w.Frame().GetCell(en, 0), std::u16string(u"Unsaved")); // the open edit went in

      FUI->QueueAnswer(TQEMAnswer::anNo);
      QVERIFY(w.close());
      QVERIFY(!QEMRepositoryModified()); // nothing left for the end of the run to save
      QCOMPARE(Stored(file, u"&File", u"de-DE"), std::u16string(u"&Datei"));
    }
    const TQEMRepositoryFrameOptions o = TQEMRepositoryFrame::LoadOptions();
    QCOMPARE(o.Width, 700);
    QCOMPARE(o.Height, 400);
    QVERIFY(!o.TextLabels);
    QVERIFY(!o.LangToolBarExpanded);
    {
      TfrmRepository w;
      QCOMPARE(w.size(), QSize(700, 400));
      QVERIFY(!w.Action("TextLabels")->isChecked());
      QCOMPARE(w.ToolBar()->toolButtonStyle(), Qt::ToolButtonIconOnly);
      QVERIFY(w.LangToolBar()->isHidden());
      w.LangToolBar()->show();
      w.Action("TextLabels")->trigger();
      QVERIFY(w.close());
    }
    QVERIFY(TQEMRepositoryFrame::LoadOptions().TextLabels);
  }

  void OneWindowShownAgain() {
    TExample example;
    QVERIFY(!QEMRepositoryWindow());
    QEMShowRepositoryWindow(nullptr);
    QPointer<TfrmRepository> first = QEMRepositoryWindow();
    QVERIFY(first && first->isVisible());
    first->hide();
    QEMShowRepositoryWindow(nullptr);
    QCOMPARE(QEMRepositoryWindow(), first.data());
    QVERIFY(first->isVisible());
    QVERIFY(first->close());
    QTRY_VERIFY(!first);
    QVERIFY(!QEMRepositoryWindow());
  }

  // Twenty thousand records: a page of scrolling reads the cells of the rows shown and no more,
  // and the rows shown that hold two lines grow to two lines.
  void ScrollingReadsOnlyShownRows() {
    qemtest::TTempDir dir;
    const std::filesystem::path path = dir.Path() / "big.tmx";
    {
      std::ofstream out(path, std::ios::binary);
      out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<tmx version=\"1.4\"><header/><body>";
      for (int i = 0; i < 20000; ++i)
        out << "<tu><tuv xml:lang=\"en-US\"><seg>Text " << 100000 + i
            << "</seg></tuv><tuv xml:lang=\"de-DE\"><seg>Zeile " << i
            << (i % 10 == 3 ? "&#10;zwei" : "") << "</seg></tuv></tu>";
      out << "</body></tmx>";
    }
    auto rep = std::make_shared<TQEMRepository>();
    rep->LoadFromFile(UTF8ToUTF16(path.string()));
    TfrmRepository w(nullptr, rep);
    w.resize(600, 500);
    Show(w);
    TQEMRepositoryGrid* g = w.Grid();
    QCOMPARE(w.Model().rowCount(), 20000);
    const int en = w.Frame().ColumnOf(u"en-US");
    ClickHeader(w, en);

    for (const int target : {10000, 19990, 5000}) {
      w.Model().ResetCellReads();
      g->verticalScrollBar()->setValue(target);
      QApplication::processEvents();
      w.grab(); // paints what is shown
      const int first = g->rowAt(0), last = g->rowAt(g->viewport()->height() - 1);
      const int shown = (last < 0 ? 20000 : last + 1) - first;
      QVERIFY(shown > 5);
      // Each shown cell is read a few times (painted, measured for its lines, grabbed).
      QVERIFY2(
          w.Model().CellReads() <= int64_t(6 * shown * 2),
          qPrintable(QStringLiteral("%1 reads for %2 rows").arg(w.Model().CellReads()).arg(shown)));
      for (int r = first; r < first + shown; ++r) {
        const bool two = w.Model().data(w.Model().index(r, 1 - en)).toString().contains('\n');
        QCOMPARE(g->rowHeight(r) > g->LineRowHeight(), two);
      }
    }
  }

  void Screenshot() {
    TExample example;
    TfrmRepository w;
    w.resize(900, 330);
    Show(w);
    const int ja = w.Frame().ColumnOf(u"ja-JP");
    w.Frame().SetCurrent(ja, 2);
    QApplication::processEvents();
    QDir().mkpath(QStringLiteral(HLX_SCREENSHOT_DIR));
    QVERIFY(w.grab().save(QStringLiteral(HLX_SCREENSHOT_DIR "/repository-browser.png")));
  }
};

HLX_GUI_TEST_MAIN(RepositoryWindowTest)
#include "RepositoryWindowTest.moc"
