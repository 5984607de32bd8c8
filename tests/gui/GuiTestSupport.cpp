#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <cstdlib>

#include "QEMLibrary.h"
#include "QEMQtText.h"
#include "QEMQtUIServices.h"
#include "core/QEMStrs.h"
#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace hlxguitest {

int Main(int argc, char** argv, const std::function<std::unique_ptr<QObject>()>& Make) {
  // As the GoogleTest suites do: a private hive and temporary folder, removed afterwards.
  qemtest::TTempDir home;
  setenv("HLX_REGISTRY", (home.Path() / "registry.db").c_str(), 1);
  setenv("TMPDIR", home.Path().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QEMSetProgramArgs(argc, argv);
  QEMInitialize();
  int rc = 0;
  {
    QApplication app(argc, argv);
    // The default packages beside the test binary, as hlx finds its own.
    TRegistry reg;
    if (reg.OpenKey(QEMBaseRegKey(), true)) reg.WriteInteger(u"TranslatorCount", 0);
    auto tests = Make();
    rc = QTest::qExec(tests.get(), argc, argv);
  }
  QEMFinalize();
  return rc;
}

TModalAnswerer::TModalAnswerer() {
  connect(&FTimer, &QTimer::timeout, this, &TModalAnswerer::Poll);
  FTimer.start(10);
}

void TModalAnswerer::Poll() {
  QWidget* w = QApplication::activeModalWidget();
  if (!w || !w->isVisible() || qobject_cast<TQEMProgressWindow*>(w)) return;
  auto* box = qobject_cast<QMessageBox*>(w);
  FSeen << (box ? box->text() : w->windowTitle());
  TAnswer answer = FQueue.empty() ? Key(Qt::Key_Return) : std::move(FQueue.front());
  if (!FQueue.empty()) FQueue.pop_front();
  answer(*w);
}

TModalAnswerer::TAnswer TModalAnswerer::Key(int Key) {
  return [Key](QWidget& W) {
    QWidget* target = W.focusWidget() ? W.focusWidget() : &W;
    QTest::keyClick(target, Qt::Key(Key));
  };
}

TModalAnswerer::TAnswer TModalAnswerer::Click(std::u16string_view Text) {
  const QString wanted = QStr(Text).remove(QLatin1Char('&'));
  return [wanted](QWidget& W) {
    for (QAbstractButton* b : W.findChildren<QAbstractButton*>())
      if (QString(b->text()).remove(QLatin1Char('&')) == wanted) {
        b->click();
        return;
      }
    QFAIL(qPrintable(QStringLiteral("no button ") + wanted));
  };
}

struct TExample::TImpl {
  qemtest::TTempDir Dir;
};

TExample::TExample() : FImpl(std::make_unique<TImpl>()) {
  fs::copy(HLX_EXAMPLE_DIR, FImpl->Dir.Path(), fs::copy_options::recursive);
  QEMRepositorySetFileName(FImpl->Dir.U16("demo.tmx"));
}

TExample::~TExample() {
  QEMRepositorySetFileName(u"");
}

const fs::path& TExample::Dir() const {
  return FImpl->Dir.Path();
}

std::u16string TExample::Project() const {
  return FImpl->Dir.U16("demo.hlx");
}

int TExample::NotesFileCount() const {
  int n = 0;
  for (const auto& e : fs::recursive_directory_iterator(Dir()))
    if (e.path().extension() == ".xlf") ++n;
  return n;
}

} // namespace hlxguitest
