#pragma once
// The workspace tree as a Qt item model: one row per TQEMTreeNode, the caption with its counts,
// the node's image from the file types' image list (plain or tinted) and the counts as a hint.
#include <QAbstractItemModel>
#include <unordered_map>

class TQEMQtImageList;
class TQEMWorkspace;
struct TQEMTreeNode;

class TQEMWorkspaceTreeModel : public QAbstractItemModel {
  Q_OBJECT
public:
  TQEMWorkspaceTreeModel(TQEMWorkspace& Workspace, const TQEMQtImageList& Images,
                         QObject* Parent = nullptr);

  // Around every workspace call that drops or rebuilds the tree: the views must let go of the
  // nodes first.
  void BeginChange();
  void EndChange();

  TQEMTreeNode* Node(const QModelIndex& Index) const;
  QModelIndex IndexOf(const TQEMTreeNode* Node) const;
  // The node's counts or image changed: it and its ancestors are redrawn.
  void NodeChanged(const TQEMTreeNode* Node);

  QModelIndex index(int Row, int Column, const QModelIndex& Parent = {}) const override;
  QModelIndex parent(const QModelIndex& Index) const override;
  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;

private:
  void IndexRows();

  TQEMWorkspace& FWorkspace;
  const TQEMQtImageList& FImages;
  // Each node's row among its siblings, so parent() is not a search.
  std::unordered_map<const TQEMTreeNode*, int> FRows;
  int FChanging = 0;
};
