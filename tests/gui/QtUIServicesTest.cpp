// The Qt side of the UI services: every question can be answered from the keyboard, filters
// reach Qt's dialogs in its form, and the progress window cancels and keeps the program alive.
#include <QCheckBox>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "GuiTestSupport.h"
#include "QEMQtText.h"
#include "QEMQtUIServices.h"
#include "resources/QEMConst.h"

using hlxguitest::TModalAnswerer;

class QtUIServicesTest : public QObject {
  Q_OBJECT
  TQEMQtUIServices FUI;

private slots:
  void FiltersTakeQtsForm() {
    QCOMPARE(QEMQtNameFilters(u"Form files (*.ofm;*.xofm)|*.ofm;*.xofm|All files (*.*)|*.*"),
             QStringList({"Form files (*.ofm *.xofm)", "All files (*)"}));
    QCOMPARE(QEMQtNameFilters(SProjectFilter).size(), 5);
    QCOMPARE(QEMQtNameFilters(SProjectFilter)[3],
             QStringLiteral("MSBuild projects (*.oproj *.tmproj)"));
    // A description without its patterns, and a dangling one, are taken as they come.
    QCOMPARE(QEMQtNameFilters(u"Dictionary|*.dct|Broken"), QStringList({"Dictionary (*.dct)"}));
    QVERIFY(QEMQtNameFilters(u"").isEmpty());
  }

  // Enter takes the answer the headless services would take; Escape the safe one.
  void QuestionsHaveDefaultAndEscape() {
    TModalAnswerer answers;
    answers.Queue(TModalAnswerer::Key(Qt::Key_Return));
    QCOMPARE(FUI.AskYesNo(u"Q1", true, nullptr), true);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Return));
    QCOMPARE(FUI.AskYesNo(u"Q2", false, nullptr), false);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    QCOMPARE(FUI.AskYesNo(u"Q3", true, nullptr), false);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Return));
    QCOMPARE(FUI.AskYesNoCancel(u"Q4", TQEMAnswer::anYes, nullptr), TQEMAnswer::anYes);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Return));
    QCOMPARE(FUI.AskYesNoCancel(u"Q5", TQEMAnswer::anNo, nullptr), TQEMAnswer::anNo);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    QCOMPARE(FUI.AskYesNoCancel(u"Q6", TQEMAnswer::anYes, nullptr), TQEMAnswer::anCancel);
    answers.Queue(TModalAnswerer::Click(SButtonNo));
    QCOMPARE(FUI.AskYesNoCancel(u"Q7", TQEMAnswer::anYes, nullptr), TQEMAnswer::anNo);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    QCOMPARE(FUI.WarningQuestion(u"Q8", true), false);
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    FUI.ErrorBox(u"E1");
    answers.Queue(TModalAnswerer::Key(Qt::Key_Return));
    FUI.MessageBox(u"M1");
    QCOMPARE(answers.Seen(),
             QStringList({"Q1", "Q2", "Q3", "Q4", "Q5", "Q6", "Q7", "Q8", "E1", "M1"}));
    QCOMPARE(answers.Pending(), size_t(0));
  }

  void DontShowAgainIsOfferedOnlyWhenAsked() {
    TModalAnswerer answers;
    bool offered = false;
    answers.Queue([&](QWidget& W) {
      auto* check = static_cast<QMessageBox&>(W).checkBox();
      offered = check && check->text() == QStr(SDontShowAgain) && !check->isChecked();
      if (check) check->setChecked(true);
      QTest::keyClick(&W, Qt::Key_Return);
    });
    bool dontShow = false;
    QVERIFY(FUI.AskYesNo(u"again?", true, &dontShow));
    QVERIFY(offered);
    QVERIFY(dontShow);
    answers.Queue([&](QWidget& W) {
      offered = static_cast<QMessageBox&>(W).checkBox() != nullptr;
      QTest::keyClick(&W, Qt::Key_Escape);
    });
    QCOMPARE(FUI.AskYesNoCancel(u"plain", TQEMAnswer::anYes, nullptr), TQEMAnswer::anCancel);
    QVERIFY(!offered);
  }

  // Cancel, Escape and the window's close all raise the flag; the window stays until the
  // operation lets it go, and each step lets queued events run.
  void ProgressCancelsAndPumps() {
    TQEMProgressWindow* shown = nullptr;
    const auto c = connect(&FUI, &TQEMQtUIServices::progressCreated, this,
                           [&](TQEMProgressWindow* W) { shown = W; });
    auto progress = FUI.CreateProgress(u"Working...");
    disconnect(c);
    QVERIFY(shown && shown->isVisible());
    QCOMPARE(shown->windowTitle(), QStringLiteral("Working..."));
    QVERIFY(shown->isModal());
    progress->SetRange(3);
    progress->SetMessage(u"first");
    progress->SetMessage(u"second");
    QCOMPARE(shown->Messages()->count(), 2);
    int fired = 0;
    QTimer::singleShot(0, this, [&] { ++fired; });
    QTest::qWait(20);
    progress->SetPosition(1);
    QCOMPARE(fired, 1);
    QCOMPARE(shown->Bar()->value(), 1);
    QVERIFY(!progress->Cancelled());
    QTest::mouseClick(shown->CancelButton(), Qt::LeftButton);
    QVERIFY(progress->Cancelled());
    QVERIFY(shown->isVisible());
    progress->SetPosition(7); // past the range: the bar stays full
    QCOMPARE(shown->Bar()->value(), 3);
    progress.reset();

    auto second = FUI.CreateProgress(u"");
    auto* window = static_cast<TQEMProgressWindow*>(second.get());
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(second->Cancelled());
    QVERIFY(window->isVisible());
    second = FUI.CreateProgress(u"");
    static_cast<TQEMProgressWindow*>(second.get())->close();
    QVERIFY(second->Cancelled());
  }

  void InputQueryAndPixels() {
    TModalAnswerer answers;
    answers.Queue([](QWidget& W) {
      QTest::keyClick(W.focusWidget(), Qt::Key_End);
      QTest::keyClicks(W.focusWidget(), QStringLiteral("ab"));
      QTest::keyClick(W.focusWidget(), Qt::Key_Return);
    });
    std::u16string value = u"Gr";
    QVERIFY(FUI.InputQuery(u"Name", u"Enter:", value));
    QCOMPARE(QStr(value), QStringLiteral("Grab"));
    answers.Queue(TModalAnswerer::Key(Qt::Key_Escape));
    QVERIFY(!FUI.InputQuery(u"Name", u"Enter:", value));
    QCOMPARE(QStr(value), QStringLiteral("Grab"));
    QVERIFY(FUI.ScreenPixelsPerInch() > 0);
  }
};

HLX_GUI_TEST_MAIN(QtUIServicesTest)
#include "QtUIServicesTest.moc"
