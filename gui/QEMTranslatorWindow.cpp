#include "QEMTranslatorWindow.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "QEMTranslatorAids.h"
#include "QEMTranslatorGrid.h"
#include "platform/QEMFormat.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

namespace {

constexpr std::array<std::u16string_view, QEMStatusCount> kFilterCaptions = {
    SFilterShowUntranslated,    SFilterShowTranslated, SFilterShowAutoTranslated, SFilterShowUnused,
    SFilterShowNewlyTranslated, SFilterShowHold,       SFilterShowDoNotTranslate, SFilterShowEgged};

// A path shortened in the middle to the width it is given, so the file name stays readable.
class TElidedLabel : public QLabel {
public:
  explicit TElidedLabel(QWidget* Parent) : QLabel(Parent) {
    setMinimumWidth(40);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  void SetFullText(const QString& Text) {
    FFull = Text;
    setToolTip(Text);
    Elide();
  }
  const QString& FullText() const { return FFull; }

protected:
  void resizeEvent(QResizeEvent* Event) override {
    QLabel::resizeEvent(Event);
    Elide();
  }

private:
  void Elide() { setText(fontMetrics().elidedText(FFull, Qt::ElideMiddle, std::max(width(), 40))); }
  QString FFull;
};

// The current cell in a larger editor; Ctrl+Enter takes the text, Enter starts a new line.
class TMultiLineDialog : public QDialog {
public:
  TMultiLineDialog(QWidget* Parent, const QString& Caption, const QString& Text, const QFont& Font)
      : QDialog(Parent) {
    setObjectName(QStringLiteral("dlgMultiLineEdit"));
    setWindowTitle(QStr(SXlatMultiLineTitle) + QStringLiteral(" - ") + Caption);
    auto* layout = new QVBoxLayout(this);
    FEdit = new QPlainTextEdit(this);
    FEdit->setObjectName(QStringLiteral("edMultiLine"));
    FEdit->setAttribute(Qt::WA_InputMethodEnabled);
    FEdit->setFont(Font);
    FEdit->setPlainText(Text);
    layout->addWidget(FEdit, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStr(SButtonOK));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStr(SButtonCancel));
    buttons->button(QDialogButtonBox::Ok)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(520, 260);
  }
  QString Text() const { return FEdit->toPlainText(); }

private:
  QPlainTextEdit* FEdit;
};

QString PlainCaption(std::u16string_view Caption) {
  return QStr(Caption).remove(QLatin1Char('&'));
}

} // namespace

uint16_t QEMVirtualKey(int QtKey) {
  if (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) return uint16_t(0x41 + (QtKey - Qt::Key_A));
  if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) return uint16_t(0x30 + (QtKey - Qt::Key_0));
  if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F24) return uint16_t(0x70 + (QtKey - Qt::Key_F1));
  switch (QtKey) {
  case Qt::Key_Backspace:
    return 0x08;
  case Qt::Key_Tab:
  case Qt::Key_Backtab:
    return 0x09;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return 0x0D;
  case Qt::Key_Escape:
    return 0x1B;
  case Qt::Key_Space:
    return 0x20;
  case Qt::Key_PageUp:
    return 0x21;
  case Qt::Key_PageDown:
    return 0x22;
  case Qt::Key_End:
    return 0x23;
  case Qt::Key_Home:
    return 0x24;
  case Qt::Key_Left:
    return 0x25;
  case Qt::Key_Up:
    return 0x26;
  case Qt::Key_Right:
    return 0x27;
  case Qt::Key_Down:
    return 0x28;
  case Qt::Key_Insert:
    return 0x2D;
  case Qt::Key_Delete:
    return 0x2E;
  default:
    return 0;
  }
}

TShiftState QEMShiftState(Qt::KeyboardModifiers Modifiers) {
  TShiftState s = 0;
  if (Modifiers & Qt::ShiftModifier) s |= ssShift;
  if (Modifiers & Qt::AltModifier) s |= ssAlt;
  if (Modifiers & Qt::ControlModifier) s |= ssCtrl;
  return s;
}

// ---- the window ----

TQEMTranslatorWindow::TQEMTranslatorWindow(TQEMTranslatorFormModel& Model,
                                           TQEMTranslatorForm* FormId, QWidget* Parent)
    : QWidget(Parent), FModel(Model), FFormId(FormId) {
  setObjectName(QStringLiteral("frmTranslator"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FToolBar = new QToolBar(QStr(SXlatToolBar), this);
  FToolBar->setObjectName(QStringLiteral("tbTranslator"));
  FToolBar->setIconSize(QSize(16, 16));
  layout->addWidget(FToolBar);
  CreateGridAndAids(*layout);
  CreateStatusBar(*layout);
  CreateActions();
  CreateMenus();
  RegisterShortcuts();
  SetUpHeader();
  ConnectGrid();
  ConnectModel();
  SyncHeader();
  UpdateStatus();
  if (FModel.CurrentRow() >= 0) SyncCurrent(FModel.CurrentRow(), FModel.CurrentCol());
}

void TQEMTranslatorWindow::CreateGridAndAids(QVBoxLayout& Layout) {
  FGridModel = new TQEMTranslatorGridModel(FModel, this);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->setObjectName(QStringLiteral("spAids"));
  FStack = new QStackedWidget(split);
  FGrid = new TQEMTranslatorGridView(*FGridModel, FStack);
  FEmpty = new QLabel(FStack);
  FEmpty->setObjectName(QStringLiteral("lblNoFile"));
  FEmpty->setAlignment(Qt::AlignCenter);
  FStack->addWidget(FGrid);
  FStack->addWidget(FEmpty);
  FStack->setCurrentWidget(FModel.GridVisible() ? static_cast<QWidget*>(FGrid) : FEmpty);
  FAids = new QTabWidget(split);
  FAids->setObjectName(QStringLiteral("tabAids"));
  FSuggestions = new TQEMSuggestionsPanel(FModel, FAids);
  FConcordance = new TQEMConcordancePanel(FModel, FAids);
  FWarnings = new TQEMWarningsPanel(FModel, FAids);
  FAids->addTab(FSuggestions, QStr(SAidsSuggestions));
  FAids->addTab(FConcordance, QStr(SAidsConcordance));
  FAids->addTab(FWarnings, QStr(SAidsWarnings));
  split->addWidget(FStack);
  split->addWidget(FAids);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  Layout.addWidget(split, 1);
  // Ctrl+1 .. Ctrl+5 take the suggestion of that number (keys registered with the others).
  for (int i = 0; i < int(FActSuggestion.size()); ++i) {
    FActSuggestion[size_t(i)] = new QAction(QString::number(i + 1), this);
    FActSuggestion[size_t(i)]->setObjectName(QStringLiteral("actSuggestion%1").arg(i + 1));
    connect(FActSuggestion[size_t(i)], &QAction::triggered, this,
            [this, i] { AcceptSuggestion(i); });
  }
  connect(FAids, &QTabWidget::currentChanged, this, [this] {
    if (FAids->currentWidget() == FWarnings) FWarnings->Refresh();
  });
  // Another file, or the rows filtered anew: the same row number may be another item.
  connect(FGridModel, &QAbstractItemModel::modelReset, this, [this] {
    FSuggestions->ShowRow(FModel.CurrentRow());
    if (FAids->currentWidget() == FWarnings) FWarnings->Refresh();
  });
}

void TQEMTranslatorWindow::CreateStatusBar(QVBoxLayout& Layout) {
  auto* status = new QStatusBar(this);
  status->setObjectName(QStringLiteral("sbTranslator"));
  status->setSizeGripEnabled(false);
  const char* names[QEMStatusPanelCount] = {"sbPosition", "sbTranslated", "sbUntranslated",
                                            "sbItemId", "sbFileName"};
  for (int p = 0; p < QEMStatusPanelCount; ++p) {
    FPanels[size_t(p)] = p == spFileName ? new TElidedLabel(status) : new QLabel(status);
    FPanels[size_t(p)]->setObjectName(QString::fromLatin1(names[p]));
  }
  FMessage = new QLabel(status);
  FMessage->setObjectName(QStringLiteral("sbMessage"));
  FPanels[spPosition]->setMinimumWidth(
      fontMetrics().horizontalAdvance(QStringLiteral("000000/000000")));
  status->addWidget(FPanels[spPosition]);
  status->addWidget(FPanels[spTranslated]);
  status->addWidget(FPanels[spUntranslated]);
  status->addWidget(FPanels[spItemId]);
  status->addWidget(FMessage);
  status->addWidget(FPanels[spFileName], 1);
  Layout.addWidget(status);
}

void TQEMTranslatorWindow::SetUpHeader() {
  QHeaderView* header = FGrid->horizontalHeader();
  const int digits = fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12;
  // Dates are shown whole (fitted to the grid's fonts on load): a cut-off time is no use.
  const int date = fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 16;
  const std::array<int, QEMGridColumnCount> widths = {digits, 140,  200, 120, 200,
                                                      date,   date, 150, 150, 150};
  for (int c = 0; c < QEMGridColumnCount; ++c)
    header->resizeSection(c, widths[size_t(c)]);
  // Dates are fitted to the grid's fonts once a file is in: they never shrink below the default.
  connect(FGridModel, &QAbstractItemModel::modelReset, this, [this, header] {
    for (int c : {idColCreated, idColModified}) {
      const int least = header->sectionSize(c);
      FGrid->resizeColumnToContents(c);
      if (header->sectionSize(c) < least) header->resizeSection(c, least);
    }
  });
  connect(header, &QHeaderView::sectionMoved, this, [this, header] {
    if (FSyncingHeader) return;
    TQEMColumnOrder order;
    for (int v = 0; v < QEMGridColumnCount; ++v)
      order[size_t(v)] = TQEMAllColId(header->logicalIndex(v));
    FModel.SetColIds(order);
  });
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QWidget::customContextMenuRequested, this,
          [this, header](const QPoint& At) { FColumnMenu->popup(header->mapToGlobal(At)); });
  connect(FGridModel, &TQEMTranslatorGridModel::columnsChanged, this,
          &TQEMTranslatorWindow::SyncHeader);
}

void TQEMTranslatorWindow::ConnectGrid() {
  connect(FGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Current) {
            if (FSyncingCurrent || !Current.isValid()) return;
            FSyncingCurrent = true;
            FModel.SetCurrentCell(Current.row(), TQEMTranslatorGridModel::ColumnId(Current));
            FSyncingCurrent = false;
          });
  connect(FGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TQEMTranslatorWindow::SyncSelection);
  connect(&FGrid->Delegate(), &TQEMTranslatorGridDelegate::editingChanged, this,
          &TQEMTranslatorWindow::UpdateStatus);
  connect(&FGrid->Delegate(), &TQEMTranslatorGridDelegate::hintChanged, this,
          [this](const QString& Hint) {
            FHint = Hint;
            UpdateStatus();
          });
}

void TQEMTranslatorWindow::ConnectModel() {
  FModel.Events.StatusTextChanged = [this] { UpdateStatus(); };
  FModel.Events.CurrentCellChanged = [this](int Row, TQEMAllColId Col) {
    SyncCurrent(Row, Col);
    if (Row != FSuggestions->Row()) FSuggestions->ShowRow(Row);
  };
  FModel.Events.GridVisibleChanged = [this](bool Visible) {
    FStack->setCurrentWidget(Visible ? static_cast<QWidget*>(FGrid) : FEmpty);
  };
  FModel.Events.WindowChanged = [this] {
    setVisible(FModel.Visible());
    if (FDockPanelVisible != FModel.DockPanelVisible()) {
      FDockPanelVisible = FModel.DockPanelVisible();
      emit dockPanelVisibleChanged(FDockPanelVisible);
    }
  };
  FModel.OnSearch = [this] {
    if (OnFind) OnFind(*this);
  };
}

bool TQEMTranslatorWindow::AcceptSuggestion(int Index) {
  if (!CommitEditor()) return false;
  const int row = FModel.CurrentRow();
  if (row != FSuggestions->Row()) FSuggestions->ShowRow(row);
  return FSuggestions->Accept(Index);
}

TQEMTranslatorWindow::~TQEMTranslatorWindow() {
  UnRegisterQEMShortcuts(FShortcuts);
  FModel.Events.StatusTextChanged = nullptr;
  FModel.Events.CurrentCellChanged = nullptr;
  FModel.Events.GridVisibleChanged = nullptr;
  FModel.Events.WindowChanged = nullptr;
  FModel.OnSearch = nullptr;
}

void TQEMTranslatorWindow::CreateActions() {
  QStyle* s = style();
  const auto make = [this](const char* Name, std::u16string_view Caption, const QIcon& Icon,
                           void (TQEMTranslatorWindow::*Command)()) {
    auto* a = new QAction(Icon, QStr(Caption), this);
    a->setObjectName(QString::fromLatin1(Name));
    a->setToolTip(PlainCaption(Caption));
    if (Command) connect(a, &QAction::triggered, this, Command);
    return a;
  };
  using W = TQEMTranslatorWindow;
  FActSave =
      make("actFileSave", SXlatActSave, s->standardIcon(QStyle::SP_DialogSaveButton), &W::FileSave);
  FActFind = make("actEditFind", SXlatActFind, s->standardIcon(QStyle::SP_FileDialogContentsView),
                  &W::EditFind);
  FActReset =
      make("actEditReset", SXlatActReset, s->standardIcon(QStyle::SP_BrowserReload), &W::EditReset);
  FActFindNext =
      make("actFindNext", SXlatActFindNext, s->standardIcon(QStyle::SP_ArrowDown), &W::FindNext);
  FActCopyOrig =
      make("actCopyOrig", SXlatActCopyOrig, s->standardIcon(QStyle::SP_ArrowRight), &W::CopyOrig);
  FActCopyPrevXlat = make("actCopyPrevXlat", SXlatActCopyPrevXlat,
                          s->standardIcon(QStyle::SP_ArrowBack), &W::CopyPrevXlat);
  FActCopyPrevLine = make("actCopyPrevLine", SXlatActCopyPrevLine,
                          s->standardIcon(QStyle::SP_ArrowUp), &W::CopyPrevLine);
  FActChangeToXlat = make("actChangeToXlat", SXlatActChangeToXlat,
                          s->standardIcon(QStyle::SP_DialogApplyButton), &W::ChangeToXlat);
  FActAddToRep = make("actRepositoryAddStringsToRep", SActAddToRepository,
                      s->standardIcon(QStyle::SP_DriveHDIcon), &W::AddToRepository);
  FActGetFromRep = make("actRepositoryGetStringsFromRep", SActGetFromRepository,
                        s->standardIcon(QStyle::SP_DirOpenIcon), &W::GetFromRepository);
  FActMultiLine = make("actShowMultiLineEdit", SXlatActMultiLineEdit,
                       s->standardIcon(QStyle::SP_FileDialogDetailedView), &W::ShowMultiLineEdit);
  FActTextLabels = make("actToggleTextLabels", SXlatActTextLabels, QIcon(), nullptr);
  FActTextLabels->setCheckable(true);
  connect(FActTextLabels, &QAction::toggled, this, &W::SetTextLabels);

  FToolBar->addAction(FActSave);
  FToolBar->addAction(FActReset);
  FToolBar->addSeparator();
  FToolBar->addAction(FActFind);
  FToolBar->addAction(FActFindNext);
  FToolBar->addSeparator();
  FToolBar->addActions({FActCopyOrig, FActCopyPrevXlat, FActCopyPrevLine, FActChangeToXlat});
  FToolBar->addSeparator();
  FToolBar->addAction(FActMultiLine);
  FToolBar->addSeparator();
  SetTextLabels(false);
}

void TQEMTranslatorWindow::CreateMenus() {
  const auto button = [this](const char* Name, std::u16string_view Caption, QMenu* Menu) {
    auto* b = new QToolButton(FToolBar);
    b->setObjectName(QString::fromLatin1(Name));
    b->setText(QStr(Caption));
    b->setMenu(Menu);
    b->setPopupMode(QToolButton::InstantPopup);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    FToolBar->addWidget(b);
  };

  FFilterMenu = new QMenu(this);
  FFilterMenu->setObjectName(QStringLiteral("mnuFilter"));
  for (int i = 0; i < QEMStatusCount; ++i) {
    QAction* a = FFilterMenu->addAction(QStr(kFilterCaptions[size_t(i)]));
    a->setObjectName(QStringLiteral("actFilter%1").arg(i));
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, i](bool Checked) {
      Run([this, i, Checked] { FModel.SetFilter(FilterIds(i), Checked); });
      UpdateFilterMenu();
    });
    FFilterActions[size_t(i)] = a;
  }
  FFilterMenu->addSeparator();
  const auto filterCommand = [this](std::u16string_view Caption, std::function<void()> Command) {
    QAction* a = FFilterMenu->addAction(QStr(Caption));
    connect(a, &QAction::triggered, this, [this, Command] {
      Run(Command);
      UpdateFilterMenu();
    });
  };
  filterCommand(SGridShowAll, [this] { FModel.ShowAllFilters(); });
  filterCommand(SGridShowNone, [this] { FModel.ShowNoFilters(); });
  filterCommand(SGridToggle, [this] { FModel.ToggleFilters(); });
  FFilterMenu->addSeparator();
  FOnlyStrings = FFilterMenu->addAction(QStr(SGridShowOnlyStrings));
  FOnlyStrings->setObjectName(QStringLiteral("actShowOnlyStrings"));
  FOnlyStrings->setCheckable(true);
  connect(FOnlyStrings, &QAction::triggered, this, [this](bool Checked) {
    Run([this, Checked] { FModel.SetShowOnlyStrings(Checked); });
    UpdateFilterMenu();
  });
  connect(FFilterMenu, &QMenu::aboutToShow, this, &TQEMTranslatorWindow::UpdateFilterMenu);
  UpdateFilterMenu();

  FColumnMenu = new QMenu(this);
  FColumnMenu->setObjectName(QStringLiteral("mnuColumns"));
  const auto columnCommand = [this](std::u16string_view Caption, std::function<void()> Command) {
    QAction* a = FColumnMenu->addAction(QStr(Caption));
    connect(a, &QAction::triggered, this, [this, Command] { Run(Command); });
  };
  columnCommand(SGridShowAll, [this] { FModel.ShowAllColumns(); });
  columnCommand(SGridShowNone, [this] { FModel.ShowNoColumns(); });
  columnCommand(SGridToggle, [this] { FModel.ToggleColumns(); });
  FColumnMenu->addSeparator();
  for (int c = 0; c < QEMGridColumnCount; ++c) {
    QAction* a = FColumnMenu->addAction(QString());
    a->setObjectName(QStringLiteral("actColumn%1").arg(c));
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, c](bool Checked) {
      Run([this, c, Checked] { FModel.SetColumnVisible(TQEMAllColId(c), Checked); });
      UpdateColumnMenu();
    });
    FColumnActions[size_t(c)] = a;
  }
  connect(FColumnMenu, &QMenu::aboutToShow, this, &TQEMTranslatorWindow::UpdateColumnMenu);

  FRepositoryMenu = new QMenu(this);
  FRepositoryMenu->setObjectName(QStringLiteral("mnuRepository"));
  FRepositoryMenu->addActions({FActAddToRep, FActGetFromRep});

  button("btnFilter", SXlatMenuFilter, FFilterMenu);
  button("btnColumns", SXlatMenuColumns, FColumnMenu);
  button("btnRepository", SXlatMenuRepository, FRepositoryMenu);
  FToolBar->addSeparator();
  FToolBar->addAction(FActTextLabels);
}

void TQEMTranslatorWindow::RegisterShortcuts() {
  struct TKey {
    QAction* Action;
    QKeyCombination Key;
  };
  const TKey keys[] = {
      {FActSuggestion[0], Qt::CTRL | Qt::Key_1},
      {FActSuggestion[1], Qt::CTRL | Qt::Key_2},
      {FActSuggestion[2], Qt::CTRL | Qt::Key_3},
      {FActSuggestion[3], Qt::CTRL | Qt::Key_4},
      {FActSuggestion[4], Qt::CTRL | Qt::Key_5},
      {FActSave, Qt::CTRL | Qt::Key_S},
      {FActFind, Qt::CTRL | Qt::Key_F},
      {FActFindNext, QKeyCombination(Qt::Key_F3)},
      {FActCopyOrig, Qt::CTRL | Qt::SHIFT | Qt::Key_O},
      {FActCopyPrevXlat, Qt::CTRL | Qt::SHIFT | Qt::Key_P},
      {FActCopyPrevLine, Qt::CTRL | Qt::SHIFT | Qt::Key_L},
      {FActChangeToXlat, Qt::CTRL | Qt::SHIFT | Qt::Key_T},
      {FActAddToRep, Qt::CTRL | Qt::SHIFT | Qt::Key_A},
      {FActGetFromRep, Qt::CTRL | Qt::SHIFT | Qt::Key_G},
      {FActMultiLine, Qt::CTRL | Qt::SHIFT | Qt::Key_M},
  };
  for (const TKey& k : keys) {
    QPointer<QAction> action(k.Action);
    FShortcuts.push_back(MakeQEMShortcut(
        FFormId, keDown, QEMVirtualKey(k.Key.key()), QEMShiftState(k.Key.keyboardModifiers()),
        [action](void*) {
          if (action && action->isEnabled()) action->trigger();
        },
        reinterpret_cast<uintptr_t>(k.Action)));
    // The key is the host's to dispatch: a Qt shortcut of its own would run the command twice.
    k.Action->setToolTip(QStr(Format(SXlatShortcutHint, U16(k.Action->toolTip()),
                                     U16(QKeySequence(k.Key).toString(QKeySequence::NativeText)))));
  }
  RegisterQEMShortcuts(FShortcuts);
}

// ---- keeping the view in step with the model ----

void TQEMTranslatorWindow::SyncHeader() {
  QHeaderView* header = FGrid->horizontalHeader();
  FSyncingHeader = true;
  const TQEMColumnOrder& order = FModel.ColIds();
  for (int v = 0; v < QEMGridColumnCount; ++v) {
    const int from = header->visualIndex(order[size_t(v)]);
    if (from != v) header->moveSection(from, v);
  }
  for (int c = 0; c < QEMGridColumnCount; ++c)
    header->setSectionHidden(c, !FModel.ColumnVisible(TQEMAllColId(c)));
  FSyncingHeader = false;
  UpdateColumnMenu();
  UpdateRowHeight();
}

void TQEMTranslatorWindow::UpdateRowHeight() {
  int height = fontMetrics().height();
  for (int c = 0; c < QEMGridColumnCount; ++c)
    if (const TQEMFont* f = FModel.ColumnFont(TQEMAllColId(c)))
      height = std::max(height, QFontMetrics(QEMQtFont(*f)).height());
  FGrid->verticalHeader()->setMinimumSectionSize(1);
  FGrid->verticalHeader()->setDefaultSectionSize(height + 6);
}

void TQEMTranslatorWindow::SyncCurrent(int Row, TQEMAllColId Col) {
  if (FSyncingCurrent) return;
  FSyncingCurrent = true;
  if (Row < 0 || Row >= FGridModel->rowCount()) {
    FGrid->selectionModel()->clear();
  } else {
    // A hidden column cannot hold the cursor: the first column shown takes it.
    if (FModel.EnumToCol(Col) < 0 && FModel.ColumnCount() > 0)
      Col = TQEMAllColId(FModel.ColToEnum(0));
    const QModelIndex index = FGridModel->index(Row, Col);
    // The row comes into view; the columns stay where the user left them.
    const int across = FGrid->horizontalScrollBar()->value();
    FGrid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
    FGrid->scrollTo(index);
    FGrid->horizontalScrollBar()->setValue(across);
  }
  FSyncingCurrent = false;
}

void TQEMTranslatorWindow::SyncSelection() {
  std::vector<int> rows;
  for (const QItemSelectionRange& r : FGrid->selectionModel()->selection())
    for (int row = r.top(); row <= r.bottom(); ++row)
      rows.push_back(row);
  FModel.SetSelection(rows);
}

void TQEMTranslatorWindow::UpdateStatus() {
  for (int p = 0; p < QEMStatusPanelCount; ++p) {
    const QString text = QStr(FModel.StatusPanel(TQEMStatusPanel(p)));
    if (p == spFileName)
      static_cast<TElidedLabel*>(FPanels[size_t(p)])->SetFullText(text);
    else
      FPanels[size_t(p)]->setText(text);
  }
  const QString message = FHint.isEmpty() ? QStr(FModel.StatusMessage()) : FHint;
  FMessage->setText(message);
  FMessage->setVisible(!message.isEmpty());
  FEmpty->setText(QStr(FModel.StatusMessage()));
  const bool open = FModel.Mgr() != nullptr;
  // What is being typed is about to make the file dirty: Save takes it with it.
  FActSave->setEnabled(FModel.CanSave() || (open && FGrid->Delegate().Editor()));
  for (QAction* a :
       {FActFind, FActReset, FActFindNext, FActCopyOrig, FActCopyPrevXlat, FActCopyPrevLine,
        FActChangeToXlat, FActAddToRep, FActGetFromRep, FActMultiLine})
    a->setEnabled(open);
}

void TQEMTranslatorWindow::UpdateFilterMenu() {
  for (int i = 0; i < QEMStatusCount; ++i)
    FFilterActions[size_t(i)]->setChecked(FModel.Filter(FilterIds(i)));
  FOnlyStrings->setChecked(FModel.ShowOnlyStrings());
}

void TQEMTranslatorWindow::UpdateColumnMenu() {
  for (int c = 0; c < QEMGridColumnCount; ++c) {
    QAction* a = FColumnActions[size_t(c)];
    a->setText(QStr(FModel.ColumnCaption(TQEMAllColId(c))));
    a->setChecked(FModel.ColumnVisible(TQEMAllColId(c)));
  }
}

// ---- commands ----

template <class F> void TQEMTranslatorWindow::Run(F&& Command) {
  if (!CommitEditor()) return;
  try {
    Command();
  } catch (const std::exception& E) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(E));
  }
}

bool TQEMTranslatorWindow::CommitEditor() {
  return FGrid->CommitEditor();
}

void TQEMTranslatorWindow::FocusGrid() {
  if (FStack->currentWidget() == FGrid) FGrid->setFocus(Qt::OtherFocusReason);
}

void TQEMTranslatorWindow::FileSave() {
  Run([&] {
    if (FModel.CanSave()) FModel.FileSave();
  });
}

void TQEMTranslatorWindow::EditReset() {
  // Revert means the edit in progress goes as well.
  FGrid->CancelEditor();
  Run([&] { FModel.EditReset(); });
}

void TQEMTranslatorWindow::EditFind() {
  Run([&] { FModel.Search(); });
}

void TQEMTranslatorWindow::FindNext() {
  Run([&] { FModel.FindNext(); });
  FocusGrid();
}

void TQEMTranslatorWindow::CopyOrig() {
  Run([&] { FModel.CopyOrig(); });
}

void TQEMTranslatorWindow::CopyPrevXlat() {
  Run([&] { FModel.CopyPrevXlat(); });
}

void TQEMTranslatorWindow::CopyPrevLine() {
  Run([&] { FModel.CopyPrevLine(); });
}

void TQEMTranslatorWindow::ChangeToXlat() {
  Run([&] { FModel.ChangeToXlat(); });
}

void TQEMTranslatorWindow::AddToRepository() {
  Run([&] { FModel.RepositoryAddStringsToRep(); });
}

void TQEMTranslatorWindow::GetFromRepository() {
  Run([&] { FModel.RepositoryGetStringsFromRep(); });
}

void TQEMTranslatorWindow::ShowMultiLineEdit() {
  Run([&] {
    const int row = FModel.CurrentRow();
    const TQEMAllColId col = FModel.CurrentCol();
    if (row < 0 || col == idColStatus || !FModel.CellEditable(row, col)) return;
    const TQEMFont* font = FModel.ColumnFont(col);
    TMultiLineDialog dialog(this, QStr(FModel.ColumnCaption(col)).remove(QLatin1Char('&')),
                            QStr(FModel.CellText(row, col)),
                            font ? QEMQtFont(*font) : QApplication::font());
    // A refused text stays in the dialog to be mended.
    while (dialog.exec() == QDialog::Accepted)
      if (FModel.AcceptEdit(row, col, U16(dialog.Text()))) break;
  });
}

bool TQEMTranslatorWindow::TextLabels() const {
  return FToolBar->toolButtonStyle() != Qt::ToolButtonIconOnly;
}

void TQEMTranslatorWindow::SetTextLabels(bool Value) {
  FToolBar->setToolButtonStyle(Value ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
  const QSignalBlocker quiet(FActTextLabels);
  FActTextLabels->setChecked(Value);
}

// ---- the editor window of a file type ----

namespace {
std::vector<TQEMTranslatorWindowForm*>& LiveForms() {
  static std::vector<TQEMTranslatorWindowForm*> forms;
  return forms;
}
} // namespace

TQEMTranslatorWindowForm::TQEMTranslatorWindowForm(const TQEMTranslatorMgrClass& MgrClass,
                                                   QWidget* Panel)
    : FModel(std::make_unique<TQEMTranslatorFormModel>(
          MgrClass, TQEMTranslatorFormModel::SettingsFor(MgrClass))) {
  FWindow = new TQEMTranslatorWindow(*FModel, this, Panel);
  FWindow->hide();
  if (Panel && Panel->layout()) Panel->layout()->addWidget(FWindow);
  FModel->OnOpenElsewhere = [this](TQEMTranslatorFormModel& Holder) {
    FShownInstead = FormOf(Holder);
    // The holder shows its own file now, whatever it showed for us before.
    if (FShownInstead && FShownInstead->FShownInstead == this)
      FShownInstead->FShownInstead = nullptr;
    if (FShownInstead && FModel->Visible()) {
      FModel->SetVisible(false);
      FShownInstead->SetVisible(true);
    }
  };
  LiveForms().push_back(this);
}

TQEMTranslatorWindowForm::~TQEMTranslatorWindowForm() {
  std::erase(LiveForms(), this);
  for (auto* other : LiveForms())
    if (other->FShownInstead == this) other->FShownInstead = nullptr;
  // The window reads the model to its end.
  delete FWindow.data();
}

TQEMTranslatorWindowForm* TQEMTranslatorWindowForm::FormOf(const TQEMTranslatorFormModel& Model) {
  for (auto* form : LiveForms())
    if (form->FModel.get() == &Model) return form;
  return nullptr;
}

bool TQEMTranslatorWindowForm::CanQuit(bool IsAppEnding) {
  // Leaving the node whose file another window showed leaves that window as well.
  if (FShownInstead && !IsAppEnding && !FShownInstead->CanQuit(false)) return false;
  if (FWindow && !FWindow->CommitEditor()) return false;
  return FModel->CanQuit(IsAppEnding);
}

void TQEMTranslatorWindowForm::HideDockPanel() {
  FModel->HideDockPanel();
}

void TQEMTranslatorWindowForm::ShowDockPanel() {
  FModel->ShowDockPanel();
}

void TQEMTranslatorWindowForm::LoadFromFile(const std::u16string& AFileName, int32_t ACol,
                                            int32_t AMgrIndex) {
  FShownInstead = nullptr;
  if (FWindow && !FWindow->CommitEditor()) return;
  FModel->LoadFromFile(AFileName, ACol, AMgrIndex);
}

void TQEMTranslatorWindowForm::Search() {
  FModel->Search();
}

void TQEMTranslatorWindowForm::EditFile(const std::u16string& AFileName) {
  FShownInstead = nullptr;
  if (FWindow && !FWindow->CommitEditor()) return;
  FModel->EditFile(AFileName);
}

void TQEMTranslatorWindowForm::Idle(void* Sender, bool& Done) {
  FModel->Idle(Sender, Done);
}

void TQEMTranslatorWindowForm::SetVisible(bool Value) {
  if (FShownInstead) {
    FModel->SetVisible(false);
    FShownInstead->SetVisible(Value);
    return;
  }
  FModel->SetVisible(Value);
}
