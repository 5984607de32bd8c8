// Selecting workspace tree nodes, and the file groups Find in Files visits.
#include "workspace/QEMWorkspace.h"

#include <algorithm>
#include <set>

#include "core/QEMUtilsFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
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

std::u16string TQEMWorkspace::ExplorerCellText(int Row, int Column) const {
  const TQEMExplorerRow& r = FExplorerRows.at(size_t(Row));
  using M = TQEMProjectStatusModel;
  if (Column == M::scFile) return r.Caption;
  if (Column == M::scFileType)
    return r.FileType.empty() ? std::u16string(SStatusUnknown) : r.FileType;
  if (Column < 0 || Column >= M::ColumnCount) return u"";
  if (r.XCount < 0 || r.UnXCount < 0) return std::u16string(SStatusUnknown);
  const int64_t total = int64_t(r.XCount) + r.UnXCount;
  switch (Column) {
  case M::scTranslated:
    return IntToStr(r.XCount);
  case M::scUntranslated:
    return IntToStr(r.UnXCount);
  case M::scTotal:
    return IntToStr(total);
  default:
    return M::PercentText(r.XCount, total);
  }
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

std::vector<TQEMSearchFileGroup> TQEMWorkspace::SearchGroups(TQEMSearchArea Area) const {
  std::vector<const TQEMTreeNode*> roots;
  if (Area == saNode) {
    if (FSelected && !FSelected->Placeholder) roots.push_back(FSelected);
  } else {
    const int project = FSelected ? FSelected->Project : FProjectIndex;
    for (const auto& root : FTree)
      if (!root->Placeholder && (Area == saAllProjects || root->Project == project))
        roots.push_back(root.get());
  }
  std::vector<TQEMSearchFileGroup> groups;
  auto& types = QEMFileTypes();
  for (int t = 0; t < types.Count(); ++t) {
    TQEMSearchFileGroup group{types.GetQEMFileType(t), {}};
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

void TQEMWorkspace::PrepareFindInFiles(TfrmQEMSearchForm& Form) const {
  Form.Tabs = 1u << stSearchInFiles;
  Form.ActivePage = stSearchInFiles;
  Form.LoadRegisteredFileTypes();
}

int32_t TQEMWorkspace::FindInFiles(const TfrmQEMSearchForm& Form, TfrmQEMSearchResults& Results) {
  const auto groups = SearchGroups(Form.Area);
  int total = 0;
  for (const auto& g : groups)
    total += int(g.Files.size());
  auto progress = QEMUIServices().CreateProgress(std::u16string(SProcessing));
  progress->SetRange(total);
  int done = 0;
  return QEMRunFindInFiles(groups, Form, Results, [&](const std::u16string&, void*) {
    progress->SetPosition(++done);
    QEMUIServices().ProcessMessages();
    return !progress->Cancelled();
  });
}
