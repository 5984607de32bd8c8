#include "QEMOptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "QEMColorSchemeDialog.h"
#include "QEMGridFontDialog.h"
#include "QEMQtText.h"
#include "core/QEMTypes.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"

// How the dialog presents a field. Fields the model has and this table lacks still get an
// editor, captioned with their registry value name.
struct TQEMOptionView {
  enum TExtra { exNone, exBrowseProgram, exBrowseRepository, exBesidePrevious, exNewStatus };
  std::u16string_view Field = {};
  std::u16string_view Caption = {}; // a check box's text, else the editor's label (may be empty)
  std::u16string_view Group = {};   // consecutive fields with the same group share a box
  // An enumeration's captions by ordinal; for a boolean, a choice of (false, true).
  std::vector<std::u16string_view> Choices = {};
  TExtra Extra = exNone;
};

namespace {

struct TPageView {
  std::u16string_view Set;
  std::u16string_view Caption;
  std::vector<TQEMOptionView> Fields;
};

using V = TQEMOptionView;

// The pages as data: one entry per option set, in the order the dialog shows them.
const std::vector<TPageView> kPageViews = {
    {u"HLXPropSet",
     SOptPageDesktop,
     {
         {.Field = u"EditorFilename", .Caption = SOptEditorFilename, .Extra = V::exBrowseProgram},
         {.Field = u"HLXLeft", .Caption = SOptLeft, .Group = SOptMainWindow},
         {.Field = u"HLXTop", .Caption = SOptTop, .Group = SOptMainWindow},
         {.Field = u"HLXWidth", .Caption = SOptWidth, .Group = SOptMainWindow},
         {.Field = u"HLXHeight", .Caption = SOptHeight, .Group = SOptMainWindow},
     }},
    {u"CommonPropSet",
     SOptPageGeneral,
     {
         {.Field = u"AutomaticallyQueryRepository", .Caption = SOptQueryRepository},
         {.Field = u"AutomaticQuoteStrings", .Caption = SOptQuoteStrings},
         {.Field = u"AutomaticSaveFiles", .Caption = SOptSaveFiles},
         {.Field = u"UseNewlyTranslated", .Caption = SOptUseNewlyTranslated},
         {.Field = u"HideEmptyItems", .Caption = SOptHideEmptyItems},
     }},
    {u"FormDesignerPropSet",
     SOptPageFormDesigner,
     {
         {.Field = u"DisplayGrid", .Caption = SOptDisplayGrid},
         {.Field = u"SnapToGrid", .Caption = SOptSnapToGrid},
         {.Field = u"GridSizeX", .Caption = SOptGridSizeX},
         {.Field = u"GridSizeY", .Caption = SOptGridSizeY},
     }},
    {u"AddToRepositoryPropSet",
     SActAddToRepository,
     {
         {.Field = u"AddToRepositoryTranslated",
          .Caption = SOptAddTranslated,
          .Group = SOptStatuses},
         {.Field = u"AddToRepositoryUntranslated",
          .Caption = SOptAddUntranslated,
          .Group = SOptStatuses},
         {.Field = u"AddToRepositoryNewlyTranslated",
          .Caption = SOptAddNewlyTranslated,
          .Group = SOptStatuses},
         {.Field = u"AddToRepositoryHold", .Caption = SOptAddHold, .Group = SOptStatuses},
         {.Field = u"AddToRepositoryDoNotTranslate",
          .Caption = SOptAddDoNotTranslate,
          .Group = SOptStatuses},
         {.Field = u"AddToRepositoryUnused", .Caption = SOptAddUnused, .Group = SOptStatuses},
         {.Field = u"AddToRepositoryDuplicateAction",
          .Group = SOptDuplicateAction,
          .Choices = {SOptDuplicateSkip, SRepAddDialogAdd, SOptDuplicateForceAdd,
                      SOptDuplicateReplace, SOptDisplaySelection}},
         {.Field = u"AddToRepositoryValue",
          .Group = SOptValue,
          .Choices = {SOptValueChanged, SOptValueUnchanged, SOptValueDontCare}},
         {.Field = u"AddToRepositoryIncludeContext", .Caption = SOptAddIncludeContext},
         {.Field = u"AddToRepositoryComment", .Caption = SOptCommentSwitch},
         {.Field = u"AddToRepositoryCommentAction",
          .Caption = SOptCommentSwitch,
          .Choices = {SOptCommentNotInclude, SOptCommentInclude},
          .Extra = V::exBesidePrevious},
     }},
    {u"ChangeStatusPropSet",
     SActChangeStatus,
     {
         {.Field = u"ChangeStatusUntranslated",
          .Caption = SStatusUntranslated,
          .Group = SOptStatuses},
         {.Field = u"ChangeStatusTranslated", .Caption = SStatusTranslated, .Group = SOptStatuses},
         {.Field = u"ChangeStatusAutoTranslated",
          .Caption = SStatusAutoTranslated,
          .Group = SOptStatuses},
         {.Field = u"ChangeStatusNewlyTranslated",
          .Caption = SStatusNewlyTranslated,
          .Group = SOptStatuses},
         {.Field = u"ChangeStatusHold", .Caption = SStatusHold, .Group = SOptStatuses},
         {.Field = u"ChangeStatusDoNotTranslate",
          .Caption = SStatusDoNotTranslate,
          .Group = SOptStatuses},
         {.Field = u"ChangeStatusNewStatus", .Caption = SOptNewStatus, .Extra = V::exNewStatus},
         {.Field = u"ChangeStatusRevertToOriginal", .Caption = SOptRevertToOriginal},
         {.Field = u"ChangeStatusUseRepository", .Caption = SOptUseRepository},
         {.Field = u"ChangeStatusUseContext", .Caption = SOptUseContext},
         {.Field = u"ChangeStatusComment", .Caption = SOptCommentSwitch},
         {.Field = u"ChangeStatusCommentAction",
          .Caption = SOptCommentSwitch,
          .Choices = {SOptCommentRemove, SRepAddDialogAdd},
          .Extra = V::exBesidePrevious},
     }},
    {u"GetFromRepositoryPropSet",
     SActGetFromRepository,
     {
         {.Field = u"GetFromRepositoryUntranslated",
          .Caption = SStatusUntranslated,
          .Group = SOptCurrentStatus},
         {.Field = u"GetFromRepositoryTranslated",
          .Caption = SStatusTranslated,
          .Group = SOptCurrentStatus},
         {.Field = u"GetFromRepositoryAutoTranslated",
          .Caption = SStatusAutoTranslated,
          .Group = SOptCurrentStatus},
         {.Field = u"GetFromRepositoryNewlyTranslated",
          .Caption = SStatusNewlyTranslated,
          .Group = SOptCurrentStatus},
         {.Field = u"GetFromRepositoryHold", .Caption = SStatusHold, .Group = SOptCurrentStatus},
         {.Field = u"GetFromRepositoryDoNotTranslate",
          .Caption = SStatusDoNotTranslate,
          .Group = SOptCurrentStatus},
         {.Field = u"GetFromRepositoryNewStatus",
          .Group = SOptNewStatusGroup,
          .Extra = V::exNewStatus},
         {.Field = u"GetFromRepositoryMultipleFindAction",
          .Group = SOptMultipleFindAction,
          .Choices = {SRepDialogSkip, SOptUseFirst, SOptDisplaySelection}},
         {.Field = u"GetFromRepositoryUseContext", .Caption = SOptGetUseContext},
         {.Field = u"GetFromRepositoryComment", .Caption = SOptCommentSwitch},
         {.Field = u"GetFromRepositoryCommentAction",
          .Caption = SOptCommentSwitch,
          .Choices = {SOptCommentRemove, SRepAddDialogAdd},
          .Extra = V::exBesidePrevious},
     }},
    {u"RepositoryPropSet",
     SOptPageRepository,
     {
         {.Field = u"RepositoryFilename",
          .Caption = SOptRepositoryFilename,
          .Extra = V::exBrowseRepository},
         {.Field = u"RepositoryFormattedXML", .Caption = SOptFormattedXML},
         {.Field = u"RepositoryTextLabels", .Caption = SOptTextLabels},
         {.Field = u"RepositoryLangToolBarExpanded", .Caption = SOptLangToolBarExpanded},
         {.Field = u"RepositoryLeft", .Caption = SOptLeft, .Group = SOptRepositoryWindow},
         {.Field = u"RepositoryTop", .Caption = SOptTop, .Group = SOptRepositoryWindow},
         {.Field = u"RepositoryWidth", .Caption = SOptWidth, .Group = SOptRepositoryWindow},
         {.Field = u"RepositoryHeight", .Caption = SOptHeight, .Group = SOptRepositoryWindow},
     }},
    {u"RepositorySearchPropSet",
     SOptPageRepositorySearch,
     {
         {.Field = u"RepositorySearchCaseSensitive", .Caption = SOptCaseSensitive},
         {.Field = u"RepositorySearchForward", .Caption = SOptSearchForward},
         {.Field = u"RepositorySearchWholeWords", .Caption = SOptWholeWords},
     }},
    {u"QualityWarningsPropSet",
     SOptPageQualityWarnings,
     {
         {.Field = u"QualityWarnWhitespace", .Caption = SQualityKindWhitespace},
         {.Field = u"QualityWarnEndPunctuation", .Caption = SQualityKindEndPunctuation},
         {.Field = u"QualityWarnNumbers", .Caption = SQualityKindNumbers},
         {.Field = u"QualityWarnDoubledSpaces", .Caption = SQualityKindDoubledSpaces},
         {.Field = u"QualityWarnSameAsOriginal", .Caption = SQualityKindSameAsOriginal},
         {.Field = u"QualityWarnAccelerator", .Caption = SQualityKindAccelerator},
         {.Field = u"FuzzyThreshold", .Caption = SOptFuzzyThreshold},
     }},
    {u"PascalPropSet",
     SOptPagePascal,
     {
         {.Field = u"PascalGenerateXlat", .Caption = SOptGenerateXlat},
     }},
    {u"QEMPropSet",
     SOptPageDevelopment,
     {
         {.Field = u"AutomaticallyCompileProjects", .Caption = SOptCompileProjects},
         {.Field = u"ShowTranslationManagerAfterVUD", .Caption = SOptShowManagerAfterUpdate},
     }},
};

const std::vector<TPageView>& PageViews() {
  return kPageViews;
}

const TPageView* FindPage(std::u16string_view Set) {
  for (const auto& p : PageViews())
    if (p.Set == Set) return &p;
  return nullptr;
}

const TQEMOptionView* FindView(const TPageView* Page, std::u16string_view Field) {
  if (!Page) return nullptr;
  for (const auto& f : Page->Fields)
    if (f.Field == Field) return &f;
  return nullptr;
}

QString EditorName(std::u16string_view Set, std::u16string_view Field) {
  return QStr(Set) + QLatin1Char('.') + QStr(Field);
}

// A caption with its accelerator marks taken out, for places that show them literally.
QString PlainCaption(std::u16string_view Caption) {
  QString r;
  const QString s = QStr(Caption);
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == QLatin1Char('&') && i + 1 < s.size()) ++i;
    r += s[i];
  }
  return r;
}

} // namespace

std::u16string_view QEMOptionCaption(std::u16string_view Set, std::u16string_view Field) {
  const TQEMOptionView* v = FindView(FindPage(Set), Field);
  if (!v) return {};
  return v->Caption.empty() ? v->Group : v->Caption;
}

TQEMOptionsDialog::TQEMOptionsDialog(TQEMINTOptionProps& Options, QWidget* Parent)
    : QDialog(Parent), FOptions(Options), FEdited(Options.Clone()) {
  setWindowTitle(QStr(SOptionsCaption));
  auto* layout = new QVBoxLayout(this);
  auto* body = new QHBoxLayout;
  FPageList = new QListWidget(this);
  FPageList->setObjectName(QStringLiteral("lstPages"));
  FStack = new QStackedWidget(this);
  body->addWidget(FPageList);
  body->addWidget(FStack, 1);
  layout->addLayout(body, 1);

  // Pages in the order the table gives, then any set it does not know.
  std::vector<TQEMPropertySet*> sets;
  for (const auto& p : PageViews())
    if (TQEMPropertySet* s = FEdited->FindPropertySet(std::u16string(p.Set))) sets.push_back(s);
  for (TQEMPropertySet* s : FEdited->PropertySets())
    if (!FindPage(s->Name())) sets.push_back(s);
  for (TQEMPropertySet* s : sets) {
    // A set the run mode neither reads nor writes would take edits and silently drop them.
    if (!s->Matches(FEdited->Mask())) continue;
    const TPageView* view = FindPage(s->Name());
    FPageList->addItem(view ? PlainCaption(view->Caption) : QStr(s->Name()));
    FStack->addWidget(MakePage(*s, FPageList->item(FPageList->count() - 1)->text()));
    FPageSets.push_back(s->Name());
  }
  FPageList->setSpacing(2);
  FPageList->setFixedWidth(FPageList->sizeHintForColumn(0) + 2 * FPageList->frameWidth() + 20);
  connect(FPageList, &QListWidget::currentRowChanged, FStack, &QStackedWidget::setCurrentIndex);
  FPageList->setCurrentRow(0);

  // The grid colours and fonts keep their own OK and Cancel: they are saved apart from these.
  auto* bottom = new QHBoxLayout;
  auto* colors = new QPushButton(QStr(SOptColorsButton), this);
  auto* fonts = new QPushButton(QStr(SOptFontsButton), this);
  for (QPushButton* b : {colors, fonts}) {
    b->setAutoDefault(false);
    bottom->addWidget(b);
  }
  bottom->addStretch(1);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStr(SButtonOK), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStr(SButtonCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &TQEMOptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TQEMOptionsDialog::reject);
  connect(colors, &QPushButton::clicked, this, [this] { QEMShowColorSchemeDialog(this); });
  connect(fonts, &QPushButton::clicked, this, [this] { QEMShowGridFontDialog(this); });
  bottom->addWidget(buttons);
  layout->addLayout(bottom);
}

TQEMOptionsDialog::~TQEMOptionsDialog() = default;

QWidget* TQEMOptionsDialog::MakePage(TQEMPropertySet& Set, const QString& Title) {
  const TPageView* page = FindPage(Set.Name());
  struct TRow {
    const TQEMOptionView* View;
    std::u16string Caption;
    QWidget* Editor;
  };
  std::vector<TRow> rows;
  // The table's order first, then fields it lacks.
  std::vector<int> order;
  if (page)
    for (const auto& f : page->Fields)
      if (const int i = Set.IndexOf(std::u16string(f.Field)); i >= 0) order.push_back(i);
  for (int i = 0; i < Set.Count(); ++i)
    if (!FindView(page, Set.FieldName(i))) order.push_back(i);
  static const TQEMOptionView unknown;
  for (int i : order) {
    const TQEMOptionView* view = FindView(page, Set.FieldName(i));
    const std::u16string caption = view ? std::u16string(view->Caption) : Set.ValueName(i);
    if (!view) view = &unknown;
    rows.push_back({view, caption, MakeEditor(Set, i, *view, caption)});
  }

  auto* widget = new QWidget;
  auto* layout = new QVBoxLayout(widget);
  auto* title = new QLabel(Title, widget);
  QFont bold = title->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  title->setFont(bold);
  layout->addWidget(title);
  QFormLayout* form = nullptr;
  std::u16string_view group;
  bool first = true;
  for (size_t r = 0; r < rows.size(); ++r) {
    const TRow& row = rows[r];
    if (first || row.View->Group != group) {
      first = false;
      group = row.View->Group;
      form = new QFormLayout;
      form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
      if (group.empty()) {
        layout->addLayout(form);
      } else {
        auto* box = new QGroupBox(QStr(group), widget);
        box->setLayout(form);
        layout->addWidget(box);
      }
    }
    // A switch and the choice that goes with it share a row.
    if (r + 1 < rows.size() && rows[r + 1].View->Extra == TQEMOptionView::exBesidePrevious &&
        rows[r + 1].View->Group == group && qobject_cast<QCheckBox*>(row.Editor)) {
      form->addRow(row.Editor, rows[r + 1].Editor);
      ++r;
      continue;
    }
    if (qobject_cast<QCheckBox*>(row.Editor) || row.Caption.empty()) {
      form->addRow(row.Editor);
    } else {
      auto* label = new QLabel(QStr(row.Caption), widget);
      label->setBuddy(row.Editor->focusProxy() ? row.Editor->focusProxy() : row.Editor);
      form->addRow(label, row.Editor);
    }
  }
  layout->addStretch(1);
  return widget;
}

QWidget* TQEMOptionsDialog::WithBrowseButton(QLineEdit* Edit, bool Program) {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(Edit, 1);
  auto* browse = new QToolButton(box);
  browse->setText(QStr(SBrowseButton));
  row->addWidget(browse);
  box->setFocusProxy(Edit);
  connect(browse, &QToolButton::clicked, this, [Edit, Program] {
    std::u16string file = U16(Edit->text());
    const std::u16string filter =
        Program ? std::u16string(SAllFilesFilter)
                : std::u16string(SRepSaveFilter) + u"|" + std::u16string(SAllFilesFilter);
    if (QEMUIServices().ChooseOpenFile(
            std::u16string(Program ? SOptChooseEditor : SOptChooseRepository), filter, file))
      Edit->setText(QStr(file));
  });
  return box;
}

QWidget* TQEMOptionsDialog::MakeEditor(TQEMPropertySet& Set, int Index, const TQEMOptionView& View,
                                       const std::u16string& Caption) {
  TQEMPropertySet* set = &Set;
  const QString name = EditorName(Set.Name(), Set.FieldName(Index));
  const auto changed = [this] { FEdited->OptionChange(); };

  switch (Set.FieldType(Index)) {
  case TQEMOptionType::otText: {
    auto* edit = new QLineEdit(QStr(Set.GetText(Index)));
    edit->setObjectName(name);
    connect(edit, &QLineEdit::textChanged, this, [set, Index, changed](const QString& Text) {
      set->SetText(Index, U16(Text));
      changed();
    });
    if (View.Extra != TQEMOptionView::exBrowseProgram &&
        View.Extra != TQEMOptionView::exBrowseRepository)
      return edit;
    return WithBrowseButton(edit, View.Extra == TQEMOptionView::exBrowseProgram);
  }
  case TQEMOptionType::otBoolean:
    if (View.Choices.size() != 2) {
      auto* check = new QCheckBox(QStr(Caption));
      check->setObjectName(name);
      check->setChecked(Set.GetValue(Index) != 0);
      connect(check, &QCheckBox::toggled, this, [set, Index, changed](bool On) {
        set->SetValue(Index, On ? 1 : 0);
        changed();
      });
      return check;
    }
    [[fallthrough]]; // offered as a choice of two named actions
  case TQEMOptionType::otEnumeration: {
    auto* combo = new QComboBox;
    combo->setObjectName(name);
    const int32_t lo = Set.FieldMin(Index);
    const int32_t hi = Set.FieldMax(Index);
    for (int32_t v = lo; v <= hi; ++v) {
      const size_t i = size_t(v - lo);
      if (View.Extra == TQEMOptionView::exNewStatus)
        combo->addItem(QStr(QEMStatusToString(QEMNewStatusAt(v))));
      else if (i < View.Choices.size())
        combo->addItem(PlainCaption(View.Choices[i]));
      else
        combo->addItem(QString::number(v));
    }
    combo->setCurrentIndex(Set.GetValue(Index) - lo);
    connect(combo, &QComboBox::currentIndexChanged, this, [set, Index, lo, changed](int Row) {
      if (Row >= 0 && set->SetValue(Index, lo + Row)) changed();
    });
    return combo;
  }
  case TQEMOptionType::otInteger: {
    auto* spin = new QSpinBox;
    spin->setObjectName(name);
    spin->setRange(Set.FieldMin(Index), Set.FieldMax(Index));
    spin->setValue(Set.GetValue(Index));
    connect(spin, &QSpinBox::valueChanged, this, [set, Index, changed](int Value) {
      if (set->SetValue(Index, Value)) changed();
    });
    return spin;
  }
  }
  return nullptr;
}

QWidget* TQEMOptionsDialog::Editor(std::u16string_view Set, std::u16string_view Field) const {
  return findChild<QWidget*>(EditorName(Set, Field));
}

bool TQEMOptionsDialog::ShowPage(std::u16string_view Set) {
  for (size_t i = 0; i < FPageSets.size(); ++i)
    if (FPageSets[i] == Set) {
      FPageList->setCurrentRow(int(i));
      return true;
    }
  return false;
}

void TQEMOptionsDialog::accept() {
  try {
    FOptions.SaveEdited(*FEdited);
  } catch (const std::exception& e) {
    // Nothing was kept: the dialog stays open with the edits, so the user may retry or cancel.
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
    return;
  }
  QDialog::accept();
}

bool QEMShowOptionsDialog(QWidget* Parent) {
  if (!QEMINTOptionProps) return false;
  TQEMOptionsDialog dialog(*QEMINTOptionProps, Parent);
  return dialog.exec() == QDialog::Accepted;
}
