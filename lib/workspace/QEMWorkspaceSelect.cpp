// Selecting workspace tree nodes, and the file groups Find in Files visits.
#include "workspace/QEMWorkspace.h"

#include <algorithm>
#include <set>

#include "core/QEMUtilsFiles.h"
#include "translator/QEMTranslator.h"

namespace {

void ForEachFileNode(const TQEMTreeNode& Node, const std::function<void(const TQEMTreeNode&)>& F) {
  if (Node.Level == 3) {
    F(Node);
    return;
  }
  for (const auto& c : Node.Children)
    ForEachFileNode(*c, F);
}

// The distinct translator windows of the registered types, in registry order.
std::vector<TQEMTranslatorForm*> TranslatorForms() {
  std::vector<TQEMTranslatorForm*> forms;
  auto& types = QEMFileTypes();
  for (int i = 0; i < types.Count(); ++i)
    if (auto* form = types.GetQEMFileType(i)->GetForm();
        form && std::find(forms.begin(), forms.end(), form) == forms.end())
      forms.push_back(form);
  return forms;
}

} // namespace

bool TQEMWorkspace::SelectNode(TQEMTreeNode* Node) {
  if (FSelected && FSelected != Node && FSelected->Level == 3 && FSelected->Info.TypeId) {
    if (auto* form = FSelected->Info.TypeId->GetForm()) {
      if (!form->CanQuit(false)) return false;
      RefreshFileNode(*FSelected);
    }
  }
  FSelected = Node;
  FNodeView = TQEMNodeView::nvNone;
  FProjectStatus.Clear();
  FExplorerRows.clear();
  if (!Node || Node->Placeholder) return true;
  switch (Node->Level) {
  case 0:
    ForEachFileNode(*Node, [&](const TQEMTreeNode& f) {
      std::optional<TFileStats> stats;
      if (f.Info.XCount >= 0) {
        stats.emplace();
        stats->Translated = f.Info.XCount;
        stats->UnTranslated = f.Info.UnXCount;
      }
      FProjectStatus.AddRow(f.Info.Path, f.Info.TypeId.get(), stats);
    });
    FNodeView = TQEMNodeView::nvProjectStatus;
    break;
  case 1:
  case 2:
    ForEachFileNode(*Node, [&](const TQEMTreeNode& f) {
      FExplorerRows.push_back({f.Caption, f.Info.Path,
                               f.Info.TypeId ? f.Info.TypeId->GetDesc() : std::u16string(),
                               f.Info.XCount, f.Info.UnXCount});
    });
    FNodeView = TQEMNodeView::nvExplorer;
    break;
  default: {
    if (!Node->Info.TypeId) break;
    auto* form = Node->Info.TypeId->GetForm();
    for (auto* other : TranslatorForms())
      if (other != form) other->SetVisible(false);
    Node->Info.TypeId->Edit(Node->Info.Path);
    FNodeView = TQEMNodeView::nvTranslator;
  }
  }
  return true;
}

TQEMTreeNode* TQEMWorkspace::FindFileNode(const std::u16string& Path) const {
  TQEMTreeNode* found = nullptr;
  for (const auto& root : FTree)
    ForEachFileNode(*root, [&](const TQEMTreeNode& f) {
      if (!found && QEMSameFileName(f.Info.Path, Path)) found = const_cast<TQEMTreeNode*>(&f);
    });
  return found;
}

void TQEMWorkspace::RefreshFileNode(TQEMTreeNode& Node) {
  if (Node.Level != 3 || !Node.Info.TypeId) return;
  int32_t x = -1, unx = -1;
  try {
    const TFileStats s = Node.Info.TypeId->GetStats(Node.Info.Path, true);
    if (s.Translated >= 0 && s.UnTranslated >= 0) x = s.Translated, unx = s.UnTranslated;
  } catch (const std::exception&) {
  }
  if (x == Node.Info.XCount && unx == Node.Info.UnXCount) return;
  // Parents hold sums over readable files only, so an unreadable count adds nothing.
  const int32_t dx = (x < 0 ? 0 : x) - (Node.Info.XCount < 0 ? 0 : Node.Info.XCount);
  const int32_t dunx = (unx < 0 ? 0 : unx) - (Node.Info.UnXCount < 0 ? 0 : Node.Info.UnXCount);
  Node.Info.XCount = x;
  Node.Info.UnXCount = unx;
  Node.Info.Modified = true;
  for (TQEMTreeNode* n = Node.Parent; n; n = n->Parent) {
    n->Info.XCount += dx;
    n->Info.UnXCount += dunx;
    n->Info.Modified = true;
  }
  SetIconAndParents(Node);
}

bool TQEMWorkspace::CanQuit() {
  for (auto* form : TranslatorForms())
    if (!form->CanQuit(true)) return false;
  return CanProjectClose();
}

bool TQEMWorkspace::CanFindInFiles() const {
  return FSelected && !FSelected->Placeholder && FSelected->Level != 3;
}

std::vector<TQEMFileGroup> TQEMWorkspace::SearchGroups(TQEMSearchArea Area) const {
  std::vector<const TQEMTreeNode*> roots;
  if (Area == TQEMSearchArea::saNode) {
    if (FSelected && !FSelected->Placeholder) roots.push_back(FSelected);
  } else {
    const int project = FSelected ? FSelected->Project : FProjectIndex;
    for (const auto& root : FTree)
      if (!root->Placeholder && (Area == TQEMSearchArea::saAllProjects || root->Project == project))
        roots.push_back(root.get());
  }
  std::vector<TQEMFileGroup> groups;
  auto& types = QEMFileTypes();
  for (int t = 0; t < types.Count(); ++t) {
    TQEMFileGroup group{types.GetQEMFileType(t), {}};
    std::set<std::u16string> seen;
    for (const auto* root : roots)
      ForEachFileNode(*root, [&](const TQEMTreeNode& f) {
        if (f.Info.TypeId == group.FileType && seen.insert(QEMNormalizePath(f.Info.Path)).second)
          group.Files.push_back(f.Info.Path);
      });
    if (!group.Files.empty()) groups.push_back(std::move(group));
  }
  return groups;
}
