#include "QEMSearchDialog.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "QEMQtFont.h"
#include "QEMQtText.h"
#include "core/QEMIntlUtils.h"
#include "editing/QEMSearchForm.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMGridFont.h"

namespace {

void SetChecked(QListWidgetItem* Item, bool Checked) {
  Item->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

QListWidgetItem* AddCheckItem(QListWidget* List, const QString& Text, bool Checked) {
  auto* item = new QListWidgetItem(Text, List);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  SetChecked(item, Checked);
  return item;
}

QLabel* BuddyLabel(std::u16string_view Caption, QWidget* Buddy, QWidget* Parent) {
  auto* label = new QLabel(QStr(Caption), Parent);
  label->setBuddy(Buddy);
  return label;
}

} // namespace

TQEMSearchDialog::TQEMSearchDialog(TfrmQEMSearchForm& Form, QWidget* Parent)
    : QDialog(Parent), FForm(Form) {
  setObjectName(QStringLiteral("frmQEMSearchForm"));
  setWindowTitle(QStr(SSearchCaption));
  auto* layout = new QVBoxLayout(this);
  FPages = new QTabWidget(this);
  FPages->setObjectName(QStringLiteral("pcSearch"));
  if (FForm.Tabs & (1u << stSearch))
    FPages->addTab(FFindPage = CreateFindPage(), QStr(SSearchFindPage));
  if (FForm.Tabs & (1u << stSearchInFiles))
    FPages->addTab(FFilesPage = CreateFilesPage(), QStr(SSearchFilesPage));
  layout->addWidget(FPages, 1);

  auto* buttons = new QDialogButtonBox(this);
  FOK = buttons->addButton(QStr(SButtonOK), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStr(SButtonCancel), QDialogButtonBox::RejectRole);
  FHelp = buttons->addButton(QStr(SMenuHelp), QDialogButtonBox::HelpRole);
  FOK->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &TQEMSearchDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TQEMSearchDialog::reject);
  connect(buttons, &QDialogButtonBox::helpRequested, this,
          [] { QEMUIServices().MessageBox(std::u16string(SSearchHelpText)); });
  layout->addWidget(buttons);

  QWidget* active = FForm.ActivePage == stSearchInFiles ? FFilesPage : FFindPage;
  if (active) FPages->setCurrentWidget(active);
  for (int page : {stSearch, stSearchInFiles})
    if (FText[page].Text) SetTextLanguage(page, Options(page).TextLCID);
  if (QComboBox* text = TextBox(FPages->currentWidget() == FFilesPage ? stSearchInFiles : stSearch))
    text->setFocus();
  resize(560, 470);
}

TQEMSearchOptions& TQEMSearchDialog::Options(int Page) const {
  return Page == stSearchInFiles ? FForm.Files : FForm.Find;
}

QComboBox* TQEMSearchDialog::TextBox(int Page) const {
  return Page == stSearch || Page == stSearchInFiles ? FText[Page].Text : nullptr;
}

QToolButton* TQEMSearchDialog::FontButton(int Page) const {
  return Page == stSearch || Page == stSearchInFiles ? FText[Page].Font : nullptr;
}

QMenu* TQEMSearchDialog::CheckListMenu(QListWidget* List) const {
  return List ? List->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// ---- building ----

QWidget* TQEMSearchDialog::CreateTextRow(TPage& Page, TQEMSearchOptions& Options) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  Page.Text = new QComboBox(row);
  Page.Text->setEditable(true);
  Page.Text->setInsertPolicy(QComboBox::NoInsert);
  Page.Text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  for (const auto& item : FForm.History())
    Page.Text->addItem(QStr(item));
  Page.Text->setEditText(QStr(Options.Text));
  connect(Page.Text, &QComboBox::editTextChanged, this,
          [&Options](const QString& Text) { Options.Text = U16(Text); });
  Page.Font = new QToolButton(row);
  Page.Font->setText(QStr(SSearchFontButton));
  Page.Font->setPopupMode(QToolButton::InstantPopup);
  Page.FontMenu = new QMenu(Page.Font);
  Page.Font->setMenu(Page.FontMenu);
  layout->addWidget(BuddyLabel(SSearchTextToFind, Page.Text, row));
  layout->addWidget(Page.Text, 1);
  layout->addWidget(Page.Font);
  return row;
}

QWidget* TQEMSearchDialog::CreateOptions(TQEMSearchOptions& Options) {
  auto* box = new QGroupBox;
  auto* layout = new QVBoxLayout(box);
  const auto add = [&](std::u16string_view Caption, const char* Name, bool& Field) {
    auto* check = new QCheckBox(QStr(Caption), box);
    check->setObjectName(QLatin1String(Name));
    check->setChecked(Field);
    connect(check, &QCheckBox::toggled, this, [&Field](bool On) { Field = On; });
    layout->addWidget(check);
  };
  add(SSearchIgnorePickLetters, "cbIgnorePickLetters", Options.IgnorePickLetters);
  add(SSearchCaseSensitive, "cbCaseSensitive", Options.CaseSensitive);
  add(SSearchWholeWords, "cbWholeWordsOnly", Options.WholeWordsOnly);
  layout->addStretch(1);
  return box;
}

QListWidget* TQEMSearchDialog::CreateCheckList(const char* Name,
                                               const std::function<void(bool)>& CheckAll) {
  auto* list = new QListWidget;
  list->setObjectName(QLatin1String(Name));
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* menu = new QMenu(list);
  for (bool on : {true, false})
    connect(menu->addAction(QStr(on ? SSearchCheckAll : SSearchUncheckAll)), &QAction::triggered,
            this, [CheckAll, on] { CheckAll(on); });
  connect(list, &QWidget::customContextMenuRequested, menu,
          [list, menu](const QPoint& At) { menu->popup(list->viewport()->mapToGlobal(At)); });
  return list;
}

QWidget* TQEMSearchDialog::CreateFindPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("tsFind"));
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(CreateTextRow(FText[stSearch], FForm.Find));

  auto* middle = new QHBoxLayout;
  QWidget* options = CreateOptions(FForm.Find);
  options->setParent(page);
  middle->addWidget(options, 1);
  auto* scope = new QGroupBox(page);
  auto* scopeLayout = new QVBoxLayout(scope);
  auto* global = new QRadioButton(QStr(SSearchScopeGlobal), scope);
  auto* selected = new QRadioButton(QStr(SSearchScopeSelected), scope);
  global->setObjectName(QStringLiteral("rbGlobal"));
  selected->setObjectName(QStringLiteral("rbSelectedRows"));
  (FForm.Scope == gssSelectedRows ? selected : global)->setChecked(true);
  connect(selected, &QRadioButton::toggled, this,
          [this](bool On) { FForm.Scope = On ? gssSelectedRows : gssGlobal; });
  scopeLayout->addWidget(global);
  scopeLayout->addWidget(selected);
  scopeLayout->addStretch(1);
  middle->addWidget(scope, 1);
  layout->addLayout(middle);

  FColumns = CreateCheckList("lstColumns", [this](bool On) {
    FForm.CheckAllColumns(On);
    FillColumns();
  });
  FColumns->setParent(page);
  connect(FColumns, &QListWidget::itemChanged, this, [this](QListWidgetItem* Item) {
    if (FFilling) return;
    const auto col = TQEMAllColId(Item->data(Qt::UserRole).toInt());
    Item->checkState() == Qt::Checked ? FForm.Columns.Include(col) : FForm.Columns.Exclude(col);
  });
  layout->addWidget(BuddyLabel(SSearchColumns, FColumns, page));
  layout->addWidget(FColumns, 1);
  FillColumns();
  return page;
}

QWidget* TQEMSearchDialog::CreateFilesPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("tsFindInFiles"));
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(CreateTextRow(FText[stSearchInFiles], FForm.Files));

  auto* middle = new QHBoxLayout;
  auto* where = new QGroupBox(page);
  auto* whereLayout = new QVBoxLayout(where);
  const std::pair<std::u16string_view, TQEMSearchArea> areas[] = {
      {SSearchInProject, saProject},
      {SSearchInAllProjects, saAllProjects},
      {SSearchInNode, saNode}};
  const char* names[] = {"rbProject", "rbAllProjects", "rbNode"};
  int n = 0;
  for (const auto& [caption, area] : areas) {
    auto* radio = new QRadioButton(QStr(caption), where);
    radio->setObjectName(QLatin1String(names[n++]));
    radio->setChecked(FForm.Area == area);
    connect(radio, &QRadioButton::toggled, this, [this, a = area](bool On) {
      if (On) FForm.Area = a;
    });
    whereLayout->addWidget(radio);
  }
  whereLayout->addStretch(1);
  middle->addWidget(where, 1);
  QWidget* options = CreateOptions(FForm.Files);
  options->setParent(page);
  middle->addWidget(options, 1);
  layout->addLayout(middle);

  FFileTypes = CreateCheckList("lstFileTypes", [this](bool On) {
    FForm.CheckAllFileTypes(On);
    FillFileTypes();
  });
  FFields = CreateCheckList("lstFields", [this](bool On) {
    if (FForm.SelectedFileType < 0) return;
    FForm.CheckAllFields(FForm.SelectedFileType, On);
    FillFields();
  });
  FFileTypes->setParent(page);
  FFields->setParent(page);
  connect(FFileTypes, &QListWidget::itemChanged, this, [this](QListWidgetItem* Item) {
    if (!FFilling) FForm.CheckFileType(FFileTypes->row(Item), Item->checkState() == Qt::Checked);
  });
  connect(FFileTypes, &QListWidget::currentRowChanged, this, [this](int Row) {
    if (FFilling || Row < 0) return;
    FForm.SelectedFileType = Row;
    FillFields();
  });
  connect(FFields, &QListWidget::itemChanged, this, [this](QListWidgetItem* Item) {
    if (FFilling || FForm.SelectedFileType < 0) return;
    FForm.CheckField(FForm.SelectedFileType, TQEMAllColId(Item->data(Qt::UserRole).toInt()),
                     Item->checkState() == Qt::Checked);
  });
  auto* lists = new QGridLayout;
  FFieldsLabel = new QLabel(page);
  FFieldsLabel->setObjectName(QStringLiteral("lblFields"));
  FFieldsLabel->setBuddy(FFields);
  lists->addWidget(BuddyLabel(SSearchFileTypes, FFileTypes, page), 0, 0);
  lists->addWidget(FFieldsLabel, 0, 1);
  lists->addWidget(FFileTypes, 1, 0);
  lists->addWidget(FFields, 1, 1);
  lists->setRowStretch(1, 1);
  layout->addLayout(lists, 1);

  FKeepSync = new QCheckBox(QStr(SSearchKeepSynchronized), page);
  FKeepSync->setObjectName(QStringLiteral("cbKeepSynchronized"));
  FKeepSync->setChecked(FForm.KeepSynchronized());
  connect(FKeepSync, &QCheckBox::toggled, this, [this](bool On) {
    FForm.SetKeepSynchronized(On);
    FillFields();
  });
  layout->addWidget(FKeepSync);
  FillFileTypes();
  return page;
}

// ---- the check lists ----

void TQEMSearchDialog::FillColumns() {
  FFilling = true;
  FColumns->clear();
  for (int c = QEMColIdLow; c <= QEMColIdHigh; ++c) {
    const auto col = TQEMAllColId(c);
    AddCheckItem(FColumns, QStr(FForm.ColumnName(col)), FForm.Columns.Contains(col))
        ->setData(Qt::UserRole, c);
  }
  FFilling = false;
}

void TQEMSearchDialog::FillFileTypes() {
  FFilling = true;
  const int current = FForm.SelectedFileType;
  FFileTypes->clear();
  for (const auto& type : FForm.FileTypes) {
    QListWidgetItem* item = AddCheckItem(FFileTypes, QStr(type.FileType->GetName()), type.Checked);
    item->setToolTip(QStr(type.FileType->GetDesc()));
  }
  FFileTypes->setCurrentRow(current);
  FFilling = false;
  FillFields();
}

void TQEMSearchDialog::FillFields() {
  FFilling = true;
  FFields->clear();
  const int type = FForm.SelectedFileType;
  const bool valid = type >= 0 && type < int(FForm.FileTypes.size());
  FFieldsLabel->setText(valid ? QStr(FForm.FileTypes[size_t(type)].FileType->GetName())
                              : QString());
  if (valid)
    for (int c = QEMColIdLow; c <= QEMColIdHigh; ++c) {
      const auto col = TQEMAllColId(c);
      AddCheckItem(FFields, QStr(QEMSearchColumnName(col)),
                   FForm.FileTypes[size_t(type)].Fields.Contains(col))
          ->setData(Qt::UserRole, c);
    }
  FFields->setEnabled(valid);
  FFilling = false;
}

// ---- the font buttons ----

void TQEMSearchDialog::SetTextLanguage(int Page, LCID Lang) {
  if (!TextBox(Page)) return;
  TPage& page = FText[Page];
  Options(Page).TextLCID = Lang;
  // A language without a font of its own writes in the grids' default font.
  const TQEMFont* f = QEMGridFonts && Lang ? QEMGridFonts->GetFont(Lang) : nullptr;
  page.Text->setFont(f ? QEMQtFont(*f) : font());
  page.Font->setToolTip(Lang ? QStr(LCIDToLangName(Lang)) : QString());
  FillFontMenu(Page);
}

void TQEMSearchDialog::FillFontMenu(int Page) {
  TPage& page = FText[Page];
  page.FontMenu->clear();
  auto* group = new QActionGroup(page.FontMenu);
  const LCID current = Options(Page).TextLCID;
  for (LCID lang : FForm.TextLanguages()) {
    QAction* a = page.FontMenu->addAction(QStr(LCIDToLangName(lang)));
    a->setCheckable(true);
    a->setChecked(lang == current);
    a->setData(uint(lang));
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, Page, lang] { SetTextLanguage(Page, lang); });
  }
  if (!group->actions().isEmpty()) page.FontMenu->addSeparator();
  connect(page.FontMenu->addAction(QStr(SSearchFontOther)), &QAction::triggered, this,
          [this, Page] { ChooseOtherFont(Page); });
}

void TQEMSearchDialog::ChooseOtherFont(int Page) {
  QComboBox* text = TextBox(Page);
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, text->font(), this);
  if (ok) text->setFont(chosen);
}

// ---- OK ----

void TQEMSearchDialog::accept() {
  FForm.ActivePage =
      FPages->currentWidget() && FPages->currentWidget() == FFilesPage ? stSearchInFiles : stSearch;
  // The form's own messages say what is missing; the dialog stays for the user to mend it.
  if (!FForm.OK()) return;
  QDialog::accept();
}

bool QEMShowSearchDialog(QWidget* Parent, TfrmQEMSearchForm& Form) {
  TQEMSearchDialog dialog(Form, Parent);
  return dialog.exec() == QDialog::Accepted;
}
