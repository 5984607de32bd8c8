#include "QEMTranslatorAids.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

#include "QEMQtText.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

namespace {

constexpr int MarkedRole = Qt::UserRole + 1;

// Paints a cell's marked HTML (MarkedRole) instead of its plain text.
class TMarkedDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
             const QModelIndex& Index) const override {
    const QVariant html = Index.data(MarkedRole);
    if (!html.isValid()) {
      QStyledItemDelegate::paint(Painter, Option, Index);
      return;
    }
    QStyleOptionViewItem o = Option;
    initStyleOption(&o, Index);
    o.text.clear();
    QStyle* style = o.widget ? o.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &o, Painter, o.widget);
    QTextDocument doc;
    doc.setDefaultFont(o.font);
    doc.setDocumentMargin(1);
    doc.setHtml(html.toString());
    Painter->save();
    const QRect r = o.rect.adjusted(3, 0, -3, 0);
    Painter->translate(r.left(),
                       r.top() + std::max(0, (r.height() - int(doc.size().height())) / 2));
    Painter->setClipRect(QRect(0, 0, r.width(), r.height()));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = o.palette;
    doc.documentLayout()->draw(Painter, context);
    Painter->restore();
  }
};

void SetUpList(QTreeWidget* List, const char* Name, const QStringList& Headers) {
  QTreeWidget* list = List;
  list->setObjectName(QString::fromLatin1(Name));
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setHeaderLabels(Headers);
  list->setItemDelegate(new TMarkedDelegate(list));
}

} // namespace

QString QEMMarkedHtml(const std::u16string& Text, const std::vector<TQEMFuzzyRange>& Ranges) {
  QString html;
  int32_t at = 0;
  const auto plain = [&](int32_t From, int32_t To) {
    const std::u16string_view part =
        std::u16string_view(Text).substr(size_t(From), size_t(To - From));
    html += QStr(part).toHtmlEscaped();
  };
  for (const TQEMFuzzyRange& r : Ranges) {
    if (r.Start < at || r.Start + r.Length > int32_t(Text.size())) continue;
    plain(at, r.Start);
    if (r.Length == 0) {
      html += QStringLiteral("<span style=\"color:#c00000\"><b>&#x2038;</b></span>");
    } else {
      html += QStringLiteral("<span style=\"background-color:#ffd966\">");
      plain(r.Start, r.Start + r.Length);
      html += QStringLiteral("</span>");
    }
    at = r.Start + r.Length;
  }
  plain(at, int32_t(Text.size()));
  return html.replace(QLatin1Char('\n'), QChar(0x21B5));
}

// ---- suggestions ----

TQEMSuggestionsPanel::TQEMSuggestionsPanel(TQEMTranslatorFormModel& Model, QWidget* Parent)
    : QTreeWidget(Parent), FModel(Model) {
  const QStringList headers = {QStr(SAidsScore), QStr(SAidsTranslation), QStr(SAidsOriginal)};
  SetUpList(this, "lvSuggestions", headers);
  header()->resizeSection(0, 70);
  header()->resizeSection(1, 320);
  connect(this, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* Item) { Accept(indexOfTopLevelItem(Item)); });
}

void TQEMSuggestionsPanel::ShowRow(int Row) {
  FRow = Row;
  FMatches = Row >= 0 ? FModel.Suggestions(Row) : std::vector<TQEMFuzzyMatch>();
  clear();
  for (size_t i = 0; i < FMatches.size(); ++i) {
    const TQEMFuzzyMatch& m = FMatches[i];
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, QStringLiteral("%1  %2%").arg(i + 1).arg(m.Score));
    item->setText(1, QStr(m.Translation));
    item->setText(2, QStr(m.Original));
    item->setData(2, MarkedRole, QEMMarkedHtml(m.Original, m.Differences));
    item->setToolTip(1, QStringLiteral("Ctrl+%1").arg(i + 1));
  }
  if (FMatches.empty() && Row >= 0) {
    auto* item = new QTreeWidgetItem(this);
    item->setText(1, QStr(SAidsNoSuggestions));
    item->setFlags(Qt::NoItemFlags);
  }
}

bool TQEMSuggestionsPanel::Accept(int Index) {
  if (FRow < 0 || Index < 0 || size_t(Index) >= FMatches.size()) return false;
  return FModel.AcceptSuggestion(FRow, FMatches[size_t(Index)]);
}

// ---- concordance ----

TQEMConcordancePanel::TQEMConcordancePanel(TQEMTranslatorFormModel& Model, QWidget* Parent)
    : QWidget(Parent), FModel(Model) {
  setObjectName(QStringLiteral("pnlConcordance"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* bar = new QHBoxLayout;
  FField = new QLineEdit(this);
  FField->setObjectName(QStringLiteral("edConcordance"));
  FField->setPlaceholderText(QStr(SAidsSearchHint));
  FField->setClearButtonEnabled(true);
  FCase = new QCheckBox(QStr(SOptCaseSensitive), this);
  FCase->setObjectName(QStringLiteral("cbConcordanceCase"));
  FWhole = new QCheckBox(QStr(SOptWholeWords), this);
  FWhole->setObjectName(QStringLiteral("cbConcordanceWhole"));
  FWhole->setChecked(true);
  auto* go = new QPushButton(QStr(SAidsSearch), this);
  go->setObjectName(QStringLiteral("btConcordance"));
  bar->addWidget(FField, 1);
  bar->addWidget(FCase);
  bar->addWidget(FWhole);
  bar->addWidget(go);
  layout->addLayout(bar);
  FResults = new QTreeWidget(this);
  SetUpList(FResults, "lvConcordance", {QStr(SAidsOriginal), QStr(SAidsTranslation)});
  FResults->header()->resizeSection(0, 420);
  layout->addWidget(FResults, 1);
  connect(FField, &QLineEdit::returnPressed, this, &TQEMConcordancePanel::Search);
  connect(go, &QPushButton::clicked, this, &TQEMConcordancePanel::Search);
}

void TQEMConcordancePanel::Search() {
  FResults->clear();
  TQEMConcordanceOptions options;
  options.CaseSensitive = FCase->isChecked();
  options.WholeWordsOnly = FWhole->isChecked();
  for (const TQEMConcordanceHit& hit : FModel.Concordance(U16(FField->text()), options)) {
    auto* item = new QTreeWidgetItem(FResults);
    item->setText(0, QStr(hit.Original));
    item->setText(1, QStr(hit.Translation));
    item->setData(0, MarkedRole, QEMMarkedHtml(hit.Original, hit.OriginalMatches));
    item->setData(1, MarkedRole, QEMMarkedHtml(hit.Translation, hit.TranslationMatches));
  }
}

// ---- warnings ----

TQEMWarningsPanel::TQEMWarningsPanel(TQEMTranslatorFormModel& Model, QWidget* Parent)
    : QTreeWidget(Parent), FModel(Model) {
  SetUpList(this, "lvWarnings", {QStr(SAidsItem), QStr(SAidsWarning)});
  header()->resizeSection(0, 90);
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* Item) {
    FModel.GotoItem(Item->data(0, Qt::UserRole).toInt(), idColCurr);
  });
}

void TQEMWarningsPanel::Refresh() {
  clear();
  const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
  for (const TQEMItemWarning& w : FModel.FileWarnings()) {
    auto* item = new QTreeWidgetItem(this);
    item->setIcon(0, icon);
    item->setText(0, QString::number(w.ItemIndex + 1));
    item->setData(0, Qt::UserRole, w.ItemIndex);
    item->setText(1, QStr(w.Issue.Message));
  }
}

// ---- spelling ----

TQEMSpellHighlighter::TQEMSpellHighlighter(QPlainTextEdit& Editor, TQEMSpellChecker& Speller)
    : QSyntaxHighlighter(Editor.document()), FEditor(Editor), FSpeller(Speller) {
  FEditor.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&FEditor, &QWidget::customContextMenuRequested, this, &TQEMSpellHighlighter::ShowMenu);
}

void TQEMSpellHighlighter::highlightBlock(const QString& Text) {
  if (!FSpeller.Enabled()) return;
  QTextCharFormat bad;
  bad.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
  bad.setUnderlineColor(Qt::red);
  for (const TQEMTextRange& r : FSpeller.Check(U16(Text)))
    setFormat(r.Start, r.Length, bad);
}

TQEMTextRange TQEMSpellHighlighter::WordAt(int Position) const {
  const QTextBlock block = FEditor.document()->findBlock(Position);
  if (!block.isValid() || !FSpeller.Enabled()) return {};
  const int in = Position - block.position();
  for (const TQEMTextRange& r : FSpeller.Check(U16(block.text())))
    if (in >= r.Start && in <= r.Start + r.Length) return {block.position() + r.Start, r.Length};
  return {};
}

void TQEMSpellHighlighter::ShowMenu(const QPoint& At) {
  QMenu* menu = FEditor.createStandardContextMenu(At);
  const TQEMTextRange word = WordAt(FEditor.cursorForPosition(At).position());
  if (word.Length > 0) {
    const QString text = FEditor.toPlainText().mid(word.Start, word.Length);
    QAction* first = menu->actions().value(0);
    const auto replace = [this, word](const QString& With) {
      QTextCursor c(FEditor.document());
      c.setPosition(word.Start);
      c.setPosition(word.Start + word.Length, QTextCursor::KeepAnchor);
      c.insertText(With);
    };
    const std::vector<std::u16string> offers = FSpeller.Suggest(U16(text));
    for (const std::u16string& s : offers) {
      QAction* a = new QAction(QStr(s), menu);
      connect(a, &QAction::triggered, this, [replace, s] { replace(QStr(s)); });
      menu->insertAction(first, a);
    }
    if (offers.empty()) {
      auto* none = new QAction(QStr(SAidsNoSpellSuggestions), menu);
      menu->insertAction(first, none);
    }
    QAction* add = new QAction(QStr(SAidsAddToDictionary), menu);
    add->setObjectName(QStringLiteral("actAddToDictionary"));
    connect(add, &QAction::triggered, this, [this, text] {
      try {
        FSpeller.AddToUserDictionary(U16(text));
      } catch (const EQEMError& E) {
        QEMUIServices().ErrorBox(E.Message());
      }
      rehighlight();
    });
    menu->insertAction(first, add);
    menu->insertSeparator(first);
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(FEditor.viewport()->mapToGlobal(At));
}
