#include "QEMSearchResultsPanel.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QToolButton>
#include <algorithm>
#include <exception>

#include "QEMQtText.h"
#include "QEMSearchDialog.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "workspace/QEMWorkspace.h"

namespace {

// A line shows on one row: its breaks become marks of the same length, so the match keeps its
// place.
QString OneRow(const std::u16string& Text) {
  QString r = QStr(Text);
  for (qsizetype i = 0; i < r.size(); ++i) {
    const QChar c = r[i];
    if (c == QLatin1Char('\n'))
      r[i] = QChar(0x21B5); // downwards arrow with corner leftwards
    else if (c == QLatin1Char('\r'))
      r[i] = i + 1 < r.size() && r[i + 1] == QLatin1Char('\n') ? QChar(0x200B) : QChar(0x21B5);
    else if (c == QLatin1Char('\t'))
      r[i] = QLatin1Char(' ');
  }
  return r;
}

// Paints a line with its match in bold on a marker colour.
class TMatchDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
             const QModelIndex& Index) const override {
    QStyleOptionViewItem opt = Option;
    initStyleOption(&opt, Index);
    const QString text = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : nullptr;
    if (!style) return QStyledItemDelegate::paint(Painter, Option, Index);
    style->drawControl(QStyle::CE_ItemViewItem, &opt, Painter, opt.widget);

    const int start = Index.data(TQEMSearchResultsModel::MatchStartRole).toInt();
    const int length = Index.data(TQEMSearchResultsModel::MatchLengthRole).toInt();
    QTextCharFormat match;
    match.setFontWeight(QFont::Bold);
    match.setBackground(QColor(0xFF, 0xE0, 0x66));
    match.setForeground(QColor(Qt::black));
    QTextLayout layout(text, opt.font, Painter->device());
    QTextOption to;
    to.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(to);
    if (length > 0 && start >= 0 && start < text.size())
      layout.setFormats({{start, std::min<int>(length, int(text.size()) - start), match}});
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setLineWidth(1e6);
    layout.endLayout();

    const QRect r = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    const bool selected = opt.state & QStyle::State_Selected;
    Painter->save();
    Painter->setClipRect(r);
    Painter->setPen(
        opt.palette.color(QPalette::Normal, selected ? QPalette::HighlightedText : QPalette::Text));
    const qreal margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    layout.draw(Painter, QPointF(r.left() + margin, r.top() + (r.height() - line.height()) / 2));
    Painter->restore();
  }
};

} // namespace

// ---- the model ----

TQEMSearchResultsModel::TQEMSearchResultsModel(TfrmQEMSearchResults& Results, QObject* Parent)
    : QAbstractListModel(Parent), FResults(Results), FCount(Results.Count()) {
  // A search adds lines by the thousand: the view hears of them once the event loop runs.
  FResults.OnAdded = [this](int) {
    if (FFlushPending) return;
    FFlushPending = true;
    QMetaObject::invokeMethod(this, &TQEMSearchResultsModel::Flush, Qt::QueuedConnection);
  };
  FResults.OnCleared = [this] {
    beginResetModel();
    FCount = 0;
    endResetModel();
  };
}

void TQEMSearchResultsModel::Flush() {
  FFlushPending = false;
  const int count = FResults.Count();
  if (count <= FCount) return;
  beginInsertRows(QModelIndex(), FCount, count - 1);
  FCount = count;
  endInsertRows();
}

TQEMSearchResultsModel::~TQEMSearchResultsModel() {
  FResults.OnAdded = nullptr;
  FResults.OnCleared = nullptr;
}

int TQEMSearchResultsModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : FCount;
}

QVariant TQEMSearchResultsModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= std::min(FCount, FResults.Count())) return {};
  const TQEMSearchLine& line = FResults.Line(Index.row());
  switch (Role) {
  case Qt::DisplayRole:
    return OneRow(line.Text());
  case Qt::ToolTipRole:
    return QStr(line.Rec().AFileName);
  case MatchStartRole:
    return int(line.MatchStart());
  case MatchLengthRole:
    return int(line.MatchLength());
  default:
    return {};
  }
}

TQEMSearchResultsView::TQEMSearchResultsView(QWidget* Parent) : QTableView(Parent) {
  horizontalHeader()->hide();
  horizontalHeader()->setStretchLastSection(true);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  setShowGrid(false);
  setWordWrap(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);
}

void TQEMSearchResultsView::keyPressEvent(QKeyEvent* Event) {
  if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) &&
      currentIndex().isValid()) {
    emit openRequested(currentIndex());
    return;
  }
  QTableView::keyPressEvent(Event);
}

// ---- the panel ----

TQEMSearchResultsPanel::TQEMSearchResultsPanel(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("frmQEMSearchResults"));
  setWindowTitle(QStr(SSearchResultsCaption));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  FTitleBar = new QWidget(this);
  FTitleBar->setObjectName(QStringLiteral("pnlSearchResultsTitle"));
  FTitleBar->setAutoFillBackground(true);
  FTitleBar->setBackgroundRole(QPalette::Button);
  auto* title = new QHBoxLayout(FTitleBar);
  title->setContentsMargins(6, 1, 1, 1);
  title->addWidget(new QLabel(QStr(SSearchResultsCaption), FTitleBar), 1);
  const auto titleButton = [this, title](QStyle::StandardPixmap Icon) {
    auto* b = new QToolButton(FTitleBar);
    b->setIcon(style()->standardIcon(Icon, nullptr, this));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    title->addWidget(b);
    return b;
  };
  FFloat = titleButton(QStyle::SP_TitleBarNormalButton);
  FClose = titleButton(QStyle::SP_TitleBarCloseButton);
  connect(FFloat, &QToolButton::clicked, this, [this] { setFloating(!isFloating()); });
  connect(FClose, &QToolButton::clicked, this, &QWidget::close);
  FTitleBar->installEventFilter(this);
  layout->addWidget(FTitleBar);

  FModel = new TQEMSearchResultsModel(FResults, this);
  FView = new TQEMSearchResultsView(this);
  FView->setObjectName(QStringLiteral("lbSearchResults"));
  FView->setModel(FModel);
  FView->setItemDelegate(new TMatchDelegate(FView));
  FView->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(FView, 1);

  FMenu = new QMenu(this);
  FMenu->setObjectName(QStringLiteral("pmSearchResults"));
  FClear = FMenu->addAction(QStr(SSearchResultsClear));
  FClear->setObjectName(QStringLiteral("actClearResults"));
  FSave = FMenu->addAction(QStr(SSearchResultsSave));
  FSave->setObjectName(QStringLiteral("actSaveResults"));
  connect(FClear, &QAction::triggered, this, &TQEMSearchResultsPanel::ClearResults);
  connect(FSave, &QAction::triggered, this, &TQEMSearchResultsPanel::SaveResults);
  connect(FMenu, &QMenu::aboutToShow, this, [this] {
    FClear->setEnabled(FResults.Count() > 0);
    FSave->setEnabled(FResults.Count() > 0);
  });
  connect(FView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& At) { FMenu->popup(FView->viewport()->mapToGlobal(At)); });
  connect(FView, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& I) { OpenLine(I.row()); });
  connect(FView, &TQEMSearchResultsView::openRequested, this,
          [this](const QModelIndex& I) { OpenLine(I.row()); });

  FResults.OnShow = [this] { ShowForSearch(); };
}

TQEMSearchResultsPanel::~TQEMSearchResultsPanel() {
  FResults.OnShow = nullptr;
  // The model goes before the list it follows.
  delete FView;
  delete FModel;
}

void TQEMSearchResultsPanel::DockInto(QWidget* Area) {
  if (!Area) return;
  FArea = Area;
  if (!Area->layout()) new QVBoxLayout(Area);
  // The panel waits for a search before it takes room.
  const bool shown = isVisible();
  setParent(Area);
  Area->layout()->addWidget(this);
  setVisible(shown);
  UpdateArea();
}

void TQEMSearchResultsPanel::setFloating(bool Value) {
  if (Value == isFloating() || (!Value && !FArea)) return;
  const bool shown = !isHidden();
  if (Value) {
    // The window opens where the docked panel was, with its size.
    const QRect docked(mapToGlobal(QPoint(0, 0)), size());
    setWindowFlags(Qt::Tool);
    setGeometry(docked.translated(24, -24));
  } else {
    setWindowFlags(Qt::Widget);
  }
  setVisible(shown);
  UpdateArea();
  emit floatingChanged(Value);
}

bool TQEMSearchResultsPanel::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == FTitleBar && Event->type() == QEvent::MouseButtonDblClick) {
    setFloating(!isFloating());
    return true;
  }
  return QWidget::eventFilter(Watched, Event);
}

void TQEMSearchResultsPanel::hideEvent(QHideEvent* Event) {
  QWidget::hideEvent(Event);
  // Only the panel's own closing empties the area; a window hiding around it does not.
  if (isHidden()) UpdateArea();
}

void TQEMSearchResultsPanel::ShowForSearch() {
  show();
  if (isFloating()) {
    raise();
    activateWindow();
    return;
  }
  UpdateArea();
  // A splitter gives a newly shown pane nothing: the results take a third of it.
  auto* splitter = FArea ? qobject_cast<QSplitter*>(FArea->parentWidget()) : nullptr;
  if (!splitter || !FArea->isVisible()) return;
  const int i = splitter->indexOf(FArea);
  QList<int> sizes = splitter->sizes();
  if (i < 0 || sizes[i] >= FTitleBar->sizeHint().height() +
                               FView->verticalHeader()->defaultSectionSize() * 3)
    return;
  int total = 0;
  for (int s : sizes)
    total += s;
  const int share = total / 3;
  for (int& s : sizes)
    s = s * (total - share) / std::max(1, total - sizes[i]);
  sizes[i] = share;
  splitter->setSizes(sizes);
}

void TQEMSearchResultsPanel::UpdateArea() {
  if (!FArea) return;
  bool any = false;
  for (QWidget* w : FArea->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    any = any || (!w->isHidden() && !w->isWindow());
  FArea->setVisible(any);
}

void TQEMSearchResultsPanel::OpenLine(int Row) {
  if (Row < 0 || Row >= FResults.Count()) return;
  try {
    FResults.Open(Row);
  } catch (const std::exception& e) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
  }
}

void TQEMSearchResultsPanel::ClearResults() {
  FResults.Clear();
}

bool TQEMSearchResultsPanel::SaveResults() {
  try {
    return FResults.Save();
  } catch (const std::exception& e) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
    return false;
  }
}

// ---- Find in Files ----

int32_t QEMFindInFiles(TQEMWorkspace& Workspace, QWidget* Parent, TQEMSearchResultsPanel& Panel) {
  if (!Workspace.CanFindInFiles()) return -1;
  TfrmQEMSearchForm form;
  Workspace.PrepareFindInFiles(form);
  // The project's languages are what its files are written in.
  form.Languages.push_back(Workspace.BaseLang);
  for (const auto& row : Workspace.LangRows())
    if (row.Checked) form.Languages.push_back(row.Locale);
  if (!QEMShowSearchDialog(Parent, form)) return -1;
  try {
    return Workspace.FindInFiles(form, Panel.Results());
  } catch (const std::exception& e) {
    QEMUIServices().ErrorBox(QEMExceptionMessage(e));
    return -1;
  }
}
