#include "QEMRepositoryWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "QEMRepositoryGrid.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

namespace {

QPointer<TfrmRepository> gWindow;

// A menu or button caption shows an ampersand only when it is doubled.
QString Literal(const std::u16string& Text) {
  return QStr(Text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

// ---- TfrmRepositoryFind ----

TfrmRepositoryFind::TfrmRepositoryFind(const TQEMRepositoryFindOptions& Options,
                                       const std::vector<std::u16string>& History, QWidget* Parent)
    : QDialog(Parent) {
  setObjectName(QStringLiteral("frmRepositoryFind"));
  setWindowTitle(QStr(SRpsFindTitle));
  FText = new QComboBox(this);
  FText->setEditable(true);
  FText->setInsertPolicy(QComboBox::NoInsert);
  FText->setMinimumContentsLength(30);
  for (const auto& h : History)
    FText->addItem(QStr(h));
  FText->setCurrentText(QStr(!Options.Text.empty() || History.empty() ? Options.Text : History[0]));
  FText->lineEdit()->selectAll();
  auto* label = new QLabel(QStr(SSearchTextToFind), this);
  label->setBuddy(FText);

  auto* options = new QGroupBox(QStr(SRpsFindOptions), this);
  FCase = new QCheckBox(QStr(SSearchCaseSensitive), options);
  FWords = new QCheckBox(QStr(SSearchWholeWords), options);
  FCase->setChecked(Options.CaseSensitive);
  FWords->setChecked(Options.WholeWords);
  auto* ol = new QVBoxLayout(options);
  ol->addWidget(FCase);
  ol->addWidget(FWords);
  auto* direction = new QGroupBox(QStr(SRpsFindDirection), this);
  FForward = new QRadioButton(QStr(SRpsFindForward), direction);
  FBackward = new QRadioButton(QStr(SRpsFindBackward), direction);
  (Options.Forward ? FForward : FBackward)->setChecked(true);
  auto* dl = new QVBoxLayout(direction);
  dl->addWidget(FForward);
  dl->addWidget(FBackward);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setText(QStr(SButtonOK));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStr(SButtonCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  const auto enable = [this, ok] { ok->setEnabled(!FText->currentText().isEmpty()); };
  connect(FText, &QComboBox::currentTextChanged, this, enable);
  enable();

  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(FText, 0, 1);
  grid->addWidget(options, 1, 0);
  grid->addWidget(direction, 1, 1);
  grid->addWidget(buttons, 2, 0, 1, 2);
  FText->setFocus();
}

TQEMRepositoryFindOptions TfrmRepositoryFind::Options() const {
  TQEMRepositoryFindOptions o;
  o.Text = U16(FText->currentText());
  o.CaseSensitive = FCase->isChecked();
  o.WholeWords = FWords->isChecked();
  o.Forward = FForward->isChecked();
  return o;
}

// ---- TfrmRepository: construction ----

TfrmRepository::TfrmRepository(QWidget* Parent, std::shared_ptr<IQEMRepository> Repository)
    : QMainWindow(Parent, Qt::Window),
      FFrame(std::make_unique<TQEMRepositoryFrame>(std::move(Repository))) {
  setObjectName(QStringLiteral("frmRepository"));
  FModel = new TQEMRepositoryModel(*FFrame, this);
  FGrid = new TQEMRepositoryGrid(*FModel, this);
  setCentralWidget(FGrid);
  CreateActions();
  CreateToolBars();
  CreateStatusBar();
  HookFrame();

  FGrid->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(FGrid, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& P) { ShowPopup(FGrid->viewport()->mapToGlobal(P)); });
  QHeaderView* header = FGrid->horizontalHeader();
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& P) {
    const int col = header->logicalIndexAt(P);
    if (col >= 0) FFrame->SetCurrent(col, FFrame->CurrentRow());
    ShowPopup(header->mapToGlobal(P));
  });
  connect(header, &QHeaderView::sectionClicked, this, [this](int Col) {
    FGrid->CommitEdit();
    FFrame->HeaderClicked(Col);
  });
  connect(FGrid, &TQEMRepositoryGrid::EditingEnded, this, [this] {
    if (FSyncPending) SyncCurrent();
  });
  connect(FGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Current) { GridCurrentChanged(Current); });

  LoadWindowOptions();
  RefreshColumns();
  SyncCurrent();
  RefreshCaption();
  RefreshStatus();
}

TfrmRepository::~TfrmRepository() {
  FFrame->OnReset = nullptr;
  FFrame->OnCellChanged = nullptr;
  FFrame->OnCurrentChanged = nullptr;
  FFrame->OnCaptionChanged = nullptr;
  FFrame->OnStatusChanged = nullptr;
  // The grid and its model read the frame: they go before it does.
  delete FGrid;
  delete FModel;
}

QAction* TfrmRepository::Action(const char* Name) const {
  return findChild<QAction*>(QString::fromLatin1(Name));
}

void TfrmRepository::CreateActions() {
  const auto make = [this](const char* Name, std::u16string_view Caption,
                           QStyle::StandardPixmap Icon, const QKeySequence& Key = {}) {
    auto* a = new QAction(QStr(Caption), this);
    a->setObjectName(QString::fromLatin1(Name));
    if (Icon != QStyle::SP_CustomBase) a->setIcon(style()->standardIcon(Icon));
    if (!Key.isEmpty()) a->setShortcut(Key);
    return a;
  };
  constexpr auto none = QStyle::SP_CustomBase;
  FActNew = make("NewRepository", SActFileNew, QStyle::SP_FileIcon);
  FActOpen = make("OpenRepository", SRpsActionOpen, QStyle::SP_DialogOpenButton);
  FActSave = make("SaveRepository", SRpsActionSave, QStyle::SP_DialogSaveButton);
  FActSaveAs = make("SaveAsRepository", SRpsActionSaveAs, QStyle::SP_DriveFDIcon);
  FActFind = make("FindRepository", SRpsActionFind, QStyle::SP_FileDialogContentsView,
                  QKeySequence(Qt::CTRL | Qt::Key_F));
  FActFindNext = make("FindNextRepository", SRpsActionFindNext, QStyle::SP_ArrowForward,
                      QKeySequence(Qt::Key_F3));
  FActHelp =
      make("HelpRepository", SMenuHelp, QStyle::SP_DialogHelpButton, QKeySequence(Qt::Key_F1));
  FActExit = make("ExitRepository", SActFileExit, QStyle::SP_DialogCloseButton,
                  QKeySequence(Qt::ALT | Qt::Key_F4));
  FActCopy = make("CopyCell", SRpsActionCopy, none, QKeySequence(Qt::CTRL | Qt::Key_C));
  FActEdit = make("EditRepository", SRpsActionEdit, QStyle::SP_FileDialogDetailedView,
                  QKeySequence(Qt::Key_F2));
  FActFont = make("ChangeFont", SRpsActionFont, QStyle::SP_FileDialogInfoView);
  FActHide = make("HideColumn", SRpsActionHide, QStyle::SP_TitleBarMinButton);
  FActDeleteLang = make("DeleteLang", SColorDeleteButton, QStyle::SP_TrashIcon);
  FActDeleteLangItem = make("DeleteLangItem", SColorDeleteButton, none);
  FActDeleteRegion = make("DeleteRegion", SRpsActionDeleteRegion, none, QKeySequence::Delete);
  FActDeleteRecords =
      make("DeleteRecords", SRpsActionDeleteRecords, none, QKeySequence(Qt::CTRL | Qt::Key_Delete));
  FActTextLabels = make("TextLabels", SOptTextLabels, none);
  FActTextLabels->setCheckable(true);

  // The cell's own keys act on the grid only: in the editor, Ctrl+C and Del are the editor's.
  for (QAction* a : {FActCopy, FActEdit, FActDeleteRegion, FActDeleteRecords}) {
    a->setShortcutContext(Qt::WidgetShortcut);
    FGrid->addAction(a);
  }
  addActions({FActFind, FActFindNext, FActHelp, FActExit});

  connect(FActNew, &QAction::triggered, this, &TfrmRepository::NewRepository);
  connect(FActOpen, &QAction::triggered, this, &TfrmRepository::OpenRepository);
  connect(FActSave, &QAction::triggered, this, &TfrmRepository::SaveRepository);
  connect(FActSaveAs, &QAction::triggered, this, &TfrmRepository::SaveAsRepository);
  connect(FActFind, &QAction::triggered, this, &TfrmRepository::FindRepository);
  connect(FActFindNext, &QAction::triggered, this, &TfrmRepository::FindNextRepository);
  connect(FActHelp, &QAction::triggered, this, &TfrmRepository::HelpRepository);
  connect(FActExit, &QAction::triggered, this, &QWidget::close);
  connect(FActCopy, &QAction::triggered, this, &TfrmRepository::CopyCell);
  connect(FActEdit, &QAction::triggered, this, &TfrmRepository::EditCell);
  connect(FActFont, &QAction::triggered, this, &TfrmRepository::ChangeFont);
  connect(FActHide, &QAction::triggered, this, &TfrmRepository::HideColumn);
  connect(FActDeleteLang, &QAction::triggered, this, &TfrmRepository::DeleteLanguage);
  connect(FActDeleteLangItem, &QAction::triggered, this, &TfrmRepository::DeleteLanguage);
  connect(FActDeleteRegion, &QAction::triggered, this, &TfrmRepository::DeleteRegion);
  connect(FActDeleteRecords, &QAction::triggered, this, &TfrmRepository::DeleteRecords);
  connect(FActTextLabels, &QAction::toggled, this, &TfrmRepository::ApplyTextLabels);

  FRecentMenu = new QMenu(this);
  FRecentMenu->setObjectName(QStringLiteral("RecentMenu"));
  connect(FRecentMenu, &QMenu::aboutToShow, this, &TfrmRepository::FillRecentMenu);

  FPopup = new QMenu(this);
  FPopup->setObjectName(QStringLiteral("PopupMenu"));
  FPopup->addActions({FActCopy, FActEdit});
  FPopup->addSeparator();
  FPopup->addActions({FActFont, FActHide, FActDeleteLangItem});
  FPopup->addSeparator();
  FPopup->addActions({FActDeleteRegion, FActDeleteRecords});
  connect(FPopup, &QMenu::aboutToShow, this, &TfrmRepository::FillPopupMenu);
}

void TfrmRepository::CreateToolBars() {
  FBar = addToolBar(QStr(SRpsMainToolBar));
  FBar->setObjectName(QStringLiteral("ToolBar"));
  FBar->addActions({FActNew, FActOpen, FActSave, FActSaveAs});
  FBar->addSeparator();
  FBar->addActions({FActFind, FActFindNext});
  FBar->addSeparator();
  FBar->addActions({FActEdit, FActFont, FActHide, FActDeleteLang});
  FBar->addSeparator();
  FBar->addActions({FActHelp, FActExit});
  FOpenButton = qobject_cast<QToolButton*>(FBar->widgetForAction(FActOpen));
  FOpenButton->setMenu(FRecentMenu);
  FOpenButton->setPopupMode(QToolButton::MenuButtonPopup);

  addToolBarBreak();
  FLangBar = addToolBar(QStr(SRpsLangToolBar));
  FLangBar->setObjectName(QStringLiteral("LangToolBar"));
  FLangBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  QAction* all = FLangBar->addAction(QStr(SRpsAllLanguages));
  all->setObjectName(QStringLiteral("ShowAllLanguages"));
  connect(all, &QAction::triggered, this, [this] {
    FGrid->CommitEdit();
    FFrame->ShowAllColumns();
  });
  FLangBar->addSeparator();
}

void TfrmRepository::CreateStatusBar() {
  FPosition = new QLabel(this);
  FPosition->setObjectName(QStringLiteral("StatusPosition"));
  FPosition->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000/0000000")));
  FContext = new QLabel(this);
  FContext->setObjectName(QStringLiteral("StatusContext"));
  statusBar()->addWidget(FPosition);
  statusBar()->addWidget(FContext, 1);
}

void TfrmRepository::HookFrame() {
  FFrame->OnReset = [this] { FrameReset(); };
  FFrame->OnCellChanged = [this](int Col, int Row) { FModel->CellChanged(Col, Row); };
  FFrame->OnCurrentChanged = [this](int, int) { SyncCurrent(); };
  FFrame->OnCaptionChanged = [this] { RefreshCaption(); };
  FFrame->OnStatusChanged = [this] {
    RefreshStatus();
    UpdateActions();
  };
}

// ---- options ----

void TfrmRepository::LoadWindowOptions() {
  const TQEMRepositoryFrameOptions o = TQEMRepositoryFrame::LoadOptions();
  if (o.Width > 0 && o.Height > 0) {
    move(o.Left, o.Top);
    resize(o.Width, o.Height);
  } else
    resize(820, 520);
  {
    const QSignalBlocker block(FActTextLabels);
    FActTextLabels->setChecked(o.TextLabels);
  }
  ApplyTextLabels();
  FLangBar->setVisible(o.LangToolBarExpanded);
}

void TfrmRepository::SaveWindowOptions() {
  TQEMRepositoryFrameOptions o = TQEMRepositoryFrame::LoadOptions(); // keeps what we do not show
  const QRect r = isMaximized() ? normalGeometry() : QRect(pos(), size());
  o.Left = r.left();
  o.Top = r.top();
  o.Width = r.width();
  o.Height = r.height();
  o.TextLabels = FActTextLabels->isChecked();
  o.LangToolBarExpanded = !FLangBar->isHidden();
  try {
    TQEMRepositoryFrame::SaveOptions(o);
  } catch (const std::exception&) {
    // The settings cannot be written: the window opens at its default place next time.
  }
}

void TfrmRepository::ApplyTextLabels() {
  FBar->setToolButtonStyle(FActTextLabels->isChecked() ? Qt::ToolButtonTextUnderIcon
                                                       : Qt::ToolButtonIconOnly);
}

QMenu* TfrmRepository::createPopupMenu() {
  QMenu* menu = QMainWindow::createPopupMenu();
  if (!menu) menu = new QMenu(this);
  menu->addSeparator();
  menu->addAction(FActTextLabels);
  return menu;
}

// ---- events ----

void TfrmRepository::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (FShown) return;
  FShown = true;
  FGrid->FitColumns();
  FGrid->setFocus();
}

void TfrmRepository::closeEvent(QCloseEvent* Event) {
  FGrid->CommitEdit();
  if (!FFrame->QueryClose()) {
    Event->ignore();
    return;
  }
  SaveWindowOptions();
  Event->accept();
}

// ---- what the frame reports ----

void TfrmRepository::FrameReset() {
  FModel->Refresh();
  RefreshColumns();
  SyncCurrent();
}

void TfrmRepository::RefreshColumns() {
  const TQEMRepositoryFrame& f = *FFrame;
  std::vector<std::u16string> tags;
  std::vector<bool> visible;
  for (int c = 0; c < f.ColCount(); ++c) {
    tags.push_back(f.Column(c).LangTag);
    visible.push_back(f.Column(c).Visible);
    FGrid->setColumnHidden(c, !f.Column(c).Visible);
  }
  const bool newColumns = tags != FTags;
  const bool newShown = newColumns || visible != FVisible;
  FTags = std::move(tags);
  FVisible = std::move(visible);
  if (newColumns) RebuildLangBar();
  for (size_t c = 0; c < FLangActions.size(); ++c) {
    const QSignalBlocker block(FLangActions[c]);
    FLangActions[c]->setChecked(FVisible[c]);
  }
  FGrid->horizontalHeader()->setSortIndicator(
      f.SortColumn(), f.SortDirection() == TQEMSortDirection::sdAscending ? Qt::AscendingOrder
                                                                          : Qt::DescendingOrder);
  if (newShown && FShown) FGrid->FitColumns();
  UpdateActions();
}

void TfrmRepository::RebuildLangBar() {
  for (QAction* a : FLangActions)
    delete a; // leaves the bar with it
  FLangActions.clear();
  for (int c = 0; c < FFrame->ColCount(); ++c) {
    auto* a = new QAction(Literal(FFrame->Column(c).Caption), this);
    a->setObjectName(QStr(u"Lang_" + FFrame->Column(c).LangTag));
    a->setToolTip(QStr(FFrame->Column(c).LangTag));
    a->setCheckable(true);
    a->setChecked(FFrame->Column(c).Visible);
    connect(a, &QAction::toggled, this, [this, a, c](bool On) {
      FGrid->CommitEdit();
      if (!FFrame->SetColumnVisible(c, On)) { // the last column shown stays
        const QSignalBlocker block(a);
        a->setChecked(true);
      }
    });
    FLangBar->addAction(a);
    FLangActions.push_back(a);
  }
}

void TfrmRepository::SyncCurrent() {
  // A commit into the sort column moves its row; the view keeps its editor's cell until the
  // editor has closed.
  if (FGrid->Editing()) {
    FSyncPending = true;
    return;
  }
  FSyncPending = false;
  const int col = FFrame->CurrentCol(), row = FFrame->CurrentRow();
  if (col < 0 || FFrame->IsEmpty()) return;
  const QModelIndex i = FModel->index(row, col);
  if (!i.isValid()) return;
  if (FGrid->currentIndex() != i) {
    FSyncing = true;
    FGrid->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    FSyncing = false;
  }
  FGrid->scrollTo(i);
}

void TfrmRepository::GridCurrentChanged(const QModelIndex& Current) {
  if (FSyncing || !Current.isValid()) return;
  FFrame->SetCurrent(Current.column(), Current.row());
}

void TfrmRepository::RefreshCaption() {
  setWindowTitle(QStr(FFrame->Caption()));
}

void TfrmRepository::RefreshStatus() {
  FPosition->setText(QStr(FFrame->StatusPosition()));
  FContext->setText(QStr(FFrame->StatusContext()));
}

void TfrmRepository::UpdateActions() {
  const bool rows = !FFrame->IsEmpty();
  const bool cols = FFrame->ColCount() > 0;
  for (QAction* a : {FActCopy, FActEdit, FActDeleteRegion, FActDeleteRecords})
    a->setEnabled(rows && cols);
  FActFont->setEnabled(cols);
  FActDeleteLang->setEnabled(cols);
  FActDeleteLangItem->setEnabled(cols);
  FActHide->setEnabled(FFrame->VisibleColCount() > 1);
}

void TfrmRepository::FillRecentMenu() {
  FRecentMenu->clear();
  const auto files = FFrame->RecentFiles();
  for (int i = 0; i < int(files.size()); ++i) {
    QAction* a = FRecentMenu->addAction(QStr(FFrame->RecentFileCaption(i)));
    connect(a, &QAction::triggered, this, [this, i] { OpenRecent(i); });
  }
}

void TfrmRepository::FillPopupMenu() {
  const int col = FFrame->CurrentCol();
  FActDeleteLangItem->setText(col >= 0 ? QStr(FFrame->DeleteLanguageCaption(col))
                                       : QStr(SColorDeleteButton));
  UpdateActions();
}

void TfrmRepository::ShowPopup(const QPoint& GlobalPos) {
  FPopup->popup(GlobalPos);
}

// ---- actions ----

void TfrmRepository::NewRepository() {
  FGrid->CommitEdit();
  FFrame->NewRepository();
}

void TfrmRepository::OpenRepository() {
  FGrid->CommitEdit();
  FFrame->OpenRepository();
}

void TfrmRepository::OpenRecent(int Index) {
  FGrid->CommitEdit();
  FFrame->OpenRecent(Index);
}

void TfrmRepository::SaveRepository() {
  FGrid->CommitEdit();
  FFrame->SaveRepository();
}

void TfrmRepository::SaveAsRepository() {
  FGrid->CommitEdit();
  FFrame->SaveAsRepository();
}

void TfrmRepository::FindRepository() {
  FGrid->CommitEdit();
  TfrmRepositoryFind find(FFrame->FindOptions(), FFrame->FindHistory(), this);
  if (find.exec() == QDialog::Accepted) FFrame->Find(find.Options());
  FGrid->setFocus();
}

void TfrmRepository::FindNextRepository() {
  FGrid->CommitEdit();
  if (FFrame->FindOptions().Text.empty())
    FindRepository();
  else
    FFrame->FindNext();
}

void TfrmRepository::HelpRepository() {
  QEMUIServices().MessageBox(std::u16string(SRpsHelpText));
}

void TfrmRepository::CopyCell() {
  QApplication::clipboard()->setText(QStr(FFrame->CurrentText()));
}

void TfrmRepository::EditCell() {
  FGrid->setFocus();
  FGrid->edit(FGrid->currentIndex());
}

void TfrmRepository::ChangeFont() {
  const int col = FFrame->CurrentCol();
  if (col < 0) return;
  QFontDialog dialog(FModel->ColumnFont(col), this);
  dialog.setWindowTitle(QStr(FFrame->Column(col).Caption));
  if (dialog.exec() == QDialog::Accepted)
    FFrame->SetColumnFont(col, QEMFontFromQt(dialog.selectedFont(), FFrame->Column(col).Font));
}

void TfrmRepository::HideColumn() {
  FGrid->CommitEdit();
  FFrame->SetColumnVisible(FFrame->CurrentCol(), false);
}

void TfrmRepository::DeleteLanguage() {
  FGrid->CommitEdit();
  FFrame->DeleteLanguage(FFrame->CurrentCol());
}

void TfrmRepository::DeleteRegion() {
  FGrid->CommitEdit();
  const QRect r = FGrid->SelectedRegion();
  if (r.isValid()) FFrame->DeleteRegion(r.left(), r.top(), r.right(), r.bottom());
}

void TfrmRepository::DeleteRecords() {
  FGrid->CommitEdit();
  const QRect r = FGrid->SelectedRegion();
  if (r.isValid()) FFrame->DeleteRecords(r.top(), r.bottom());
}

// ---- the one window ----

void QEMShowRepositoryWindow(QWidget* Parent) {
  if (!gWindow) {
    gWindow = new TfrmRepository(Parent);
    gWindow->setAttribute(Qt::WA_DeleteOnClose);
  }
  if (gWindow->isMinimized())
    gWindow->showNormal();
  else
    gWindow->show();
  gWindow->raise();
  gWindow->activateWindow();
}

TfrmRepository* QEMRepositoryWindow() {
  return gWindow;
}
