#include "QEMTranslatorWindowHost.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMainWindow>
#include <algorithm>

#include "QEMTranslatorGrid.h"
#include "QEMTranslatorWindow.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "translator/QEMTranslator.h"

namespace {
// One dispatcher sees the keys of the program, however many hosts a test makes.
TQEMTranslatorWindowHost* gKeyHost = nullptr;
} // namespace

TQEMTranslatorWindowHost::TQEMTranslatorWindowHost(QMainWindow& Main, QWidget& Panel, QWidget* Tree)
    : FMain(Main), FPanel(&Panel), FTree(Tree), FDispatcher(&Main) {
  setObjectName(QStringLiteral("TranslatorWindows"));
  if (!QEMDefaultTranslatorForm) {
    QEMDefaultTranslatorForm = [this](TQEMBaseFileType& Type) -> TQEMTranslatorForm* {
      return FormOf(Type);
    };
    FOwnsDefaultForm = true;
  }
  if (!QEMParentTranslatorForm) {
    QEMParentTranslatorForm = [this](TQEMTranslatorForm& Form) {
      auto* form = dynamic_cast<TQEMTranslatorWindowForm*>(&Form);
      TQEMTranslatorWindow* window = form ? form->Window() : nullptr;
      if (!window || !FPanel || window->parentWidget() == FPanel) return;
      window->setParent(FPanel);
      if (FPanel->layout()) FPanel->layout()->addWidget(window);
    };
    FOwnsParentForm = true;
  }

  FDispatcher.OnToggleMaximized = [this] {
    if (FMain.isMaximized())
      FMain.showNormal();
    else
      FMain.showMaximized();
  };
  FDispatcher.OnSwitchFocus = [this](void* Shown) {
    auto* form = static_cast<TQEMTranslatorWindowForm*>(static_cast<TQEMTranslatorForm*>(Shown));
    TQEMTranslatorWindow* window = form ? form->Window() : nullptr;
    QWidget* focus = QApplication::focusWidget();
    if (window && window->isVisible() && !(focus && window->isAncestorOf(focus)))
      window->FocusGrid();
    else if (FTree)
      FTree->setFocus(Qt::ShortcutFocusReason);
  };
  // A shortcut without a handler hands its key to the window itself.
  FDispatcher.WindowKeyDown = [this](uint16_t&, TShiftState) {
    TQEMTranslatorWindowForm* form = ShownForm();
    if (!FCurrentKey || !form || !form->Window()) return;
    FForwarding = true;
    QApplication::sendEvent(form->Window()->Grid(), FCurrentKey);
    FForwarding = false;
  };
  if (!gKeyHost) {
    gKeyHost = this;
    FOwnsKeys = true;
    qApp->installEventFilter(this);
  }
}

TQEMTranslatorWindowHost::~TQEMTranslatorWindowHost() {
  if (FOwnsKeys) {
    qApp->removeEventFilter(this);
    gKeyHost = nullptr;
  }
  if (FOwnsDefaultForm) QEMDefaultTranslatorForm = nullptr;
  if (FOwnsParentForm) QEMParentTranslatorForm = nullptr;
  FForms.clear();
}

TQEMTranslatorWindowForm* TQEMTranslatorWindowHost::FormOf(TQEMBaseFileType& Type) {
  for (const auto& [type, form] : FForms)
    if (type == &Type) return form.get();
  if (!Type.Translator() || !FPanel) return nullptr;
  auto form = std::make_unique<TQEMTranslatorWindowForm>(Type.Translator()->GetMgrClass(), FPanel);
  form->Window()->OnFind = [this](TQEMTranslatorWindow& W) {
    if (OnFind) OnFind(W);
  };
  FForms.emplace_back(&Type, std::move(form));
  return FForms.back().second.get();
}

std::vector<TQEMTranslatorWindowForm*> TQEMTranslatorWindowHost::Forms() const {
  std::vector<TQEMTranslatorWindowForm*> forms;
  for (const auto& entry : FForms)
    forms.push_back(entry.second.get());
  return forms;
}

TQEMTranslatorWindowForm* TQEMTranslatorWindowHost::ShownForm() const {
  for (const auto& entry : FForms)
    if (entry.second->Window() && entry.second->Window()->isVisible()) return entry.second.get();
  return nullptr;
}

void TQEMTranslatorWindowHost::FocusShown() {
  if (TQEMTranslatorWindowForm* form = ShownForm()) form->Window()->FocusGrid();
}

bool TQEMTranslatorWindowHost::BeforeBatch() {
  for (const auto& entry : FForms) {
    TQEMTranslatorWindowForm& form = *entry.second;
    if (form.Window() && !form.Window()->CommitEditor()) return false;
    if (!form.Model().BeforeBatch()) return false;
  }
  return true;
}

void TQEMTranslatorWindowHost::AfterBatch() {
  for (const auto& entry : FForms) {
    try {
      entry.second->Model().AfterBatch();
    } catch (const std::exception& E) {
      QEMUIServices().ErrorBox(QEMExceptionMessage(E));
    }
  }
}

bool TQEMTranslatorWindowHost::ReleaseForms(const std::vector<IQEMFileTypePtr>& Types) {
  const auto going = [&](const TQEMBaseFileType* Type) {
    return std::any_of(Types.begin(), Types.end(),
                       [&](const IQEMFileTypePtr& T) { return T.get() == Type; });
  };
  for (const auto& [type, form] : FForms)
    if (going(type) && !form->CanQuit(true)) return false;
  std::erase_if(FForms, [&](const auto& Entry) { return going(Entry.first); });
  return true;
}

bool TQEMTranslatorWindowHost::TakesKey(const void* Form, uint16_t Key, TShiftState Shift) const {
  if (!Form || !FDispatcher.Shortcuts) return false;
  return std::any_of(
      FDispatcher.Shortcuts->begin(), FDispatcher.Shortcuts->end(), [&](const TQEMShortcut& S) {
        return S.FKeyEvent == keDown && S.FForm == Form && S.FKey == Key && S.FShift == Shift;
      });
}

bool TQEMTranslatorWindowHost::eventFilter(QObject* Object, QEvent* Event) {
  const QEvent::Type type = Event->type();
  if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
    return false;
  if (FForwarding || !Object->isWidgetType() || static_cast<QWidget*>(Object)->window() != &FMain)
    return false;
  auto* key = static_cast<QKeyEvent*>(Event);
  TQEMTranslatorWindowForm* shown = ShownForm();
  FDispatcher.ShownWindow = static_cast<TQEMTranslatorForm*>(shown);
  const uint16_t vk = QEMVirtualKey(key->key());
  const TShiftState shift = QEMShiftState(key->modifiers());
  bool taken = false;
  switch (type) {
  case QEvent::ShortcutOverride:
    // The window's key must reach us as a key press, not as one of the main window's
    // shortcuts.
    taken = vk && TakesKey(FDispatcher.ShownWindow, vk, shift);
    break;
  case QEvent::KeyPress:
    FCurrentKey = key;
    // Every key runs through KeyDown, named or not, so a key taken before is forgotten.
    {
      uint16_t k = vk;
      taken = FDispatcher.KeyDown(k, shift);
    }
    if (!taken && !key->text().isEmpty()) {
      char16_t c = key->text().at(0).unicode();
      taken = FDispatcher.KeyPress(c);
    }
    FCurrentKey = nullptr;
    break;
  default: {
    uint16_t k = vk;
    taken = FDispatcher.KeyUp(k, shift);
  } break;
  }
  if (taken) key->accept();
  return taken;
}
