#include "QEMWorkspaceTreeModel.h"

#include <QApplication>
#include <QStyle>

#include "QEMQtImageList.h"
#include "QEMQtText.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"
#include "workspace/QEMWorkspace.h"

TQEMWorkspaceTreeModel::TQEMWorkspaceTreeModel(TQEMWorkspace& Workspace,
                                               const TQEMQtImageList& Images, QObject* Parent)
    : QAbstractItemModel(Parent), FWorkspace(Workspace), FImages(Images) {
  IndexRows();
}

void TQEMWorkspaceTreeModel::BeginChange() {
  if (FChanging++ == 0) {
    beginResetModel();
    FRows.clear();
  }
}

void TQEMWorkspaceTreeModel::EndChange() {
  if (--FChanging > 0) return;
  IndexRows();
  endResetModel();
}

void TQEMWorkspaceTreeModel::IndexRows() {
  FRows.clear();
  const std::function<void(const std::vector<std::unique_ptr<TQEMTreeNode>>&)> walk =
      [&](const auto& Nodes) {
        for (size_t i = 0; i < Nodes.size(); ++i) {
          FRows[Nodes[i].get()] = int(i);
          walk(Nodes[i]->Children);
        }
      };
  walk(FWorkspace.Tree());
}

TQEMTreeNode* TQEMWorkspaceTreeModel::Node(const QModelIndex& Index) const {
  return Index.isValid() ? static_cast<TQEMTreeNode*>(Index.internalPointer()) : nullptr;
}

QModelIndex TQEMWorkspaceTreeModel::IndexOf(const TQEMTreeNode* Node) const {
  if (!Node || FChanging) return {};
  const auto it = FRows.find(Node);
  return it == FRows.end() ? QModelIndex()
                           : createIndex(it->second, 0, const_cast<TQEMTreeNode*>(Node));
}

void TQEMWorkspaceTreeModel::NodeChanged(const TQEMTreeNode* Node) {
  for (; Node; Node = Node->Parent) {
    const QModelIndex i = IndexOf(Node);
    if (i.isValid()) emit dataChanged(i, i);
  }
}

QModelIndex TQEMWorkspaceTreeModel::index(int Row, int Column, const QModelIndex& Parent) const {
  if (FChanging || Column != 0 || Row < 0) return {};
  const auto& nodes = Parent.isValid() ? Node(Parent)->Children : FWorkspace.Tree();
  if (size_t(Row) >= nodes.size()) return {};
  return createIndex(Row, 0, nodes[size_t(Row)].get());
}

QModelIndex TQEMWorkspaceTreeModel::parent(const QModelIndex& Index) const {
  const TQEMTreeNode* node = Node(Index);
  return node ? IndexOf(node->Parent) : QModelIndex();
}

int TQEMWorkspaceTreeModel::rowCount(const QModelIndex& Parent) const {
  if (FChanging || Parent.column() > 0) return 0;
  return int(Parent.isValid() ? Node(Parent)->Children.size() : FWorkspace.Tree().size());
}

int TQEMWorkspaceTreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant TQEMWorkspaceTreeModel::data(const QModelIndex& Index, int Role) const {
  const TQEMTreeNode* node = Node(Index);
  if (!node || FChanging) return {};
  switch (Role) {
  case Qt::DisplayRole:
    return QStr(node->CaptionWithCounts());
  case Qt::DecorationRole:
    if (node->Placeholder) return {};
    if (node->Level == 0) return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    return FImages.Icon(FWorkspace.NodeImageIndex(*node));
  case Qt::ToolTipRole:
    if (node->Placeholder || node->Info.XCount < 0) return {};
    return QStr(Format(SNodeCountsHint, node->Info.XCount, node->Info.UnXCount));
  default:
    return {};
  }
}
