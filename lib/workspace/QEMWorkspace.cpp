#include "workspace/QEMWorkspace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsFiles.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"

extern char** environ;

namespace {

constexpr int kHistoryMax = 30;

// Drops the target languages not in Keep from every project; each of Keep must be in one.
void KeepLanguages(TQEMBaseProjectFileList& List, const std::vector<LCID>& Keep,
                   const std::u16string& FileName) {
  std::vector<bool> found(Keep.size());
  for (int p = 0; p < List.GetCount(); ++p) {
    TQEMBaseProjectFile& project = *List.GetProject(p);
    for (int l = project.GetLangCount(); l-- > 0;) {
      const auto it = std::find(Keep.begin(), Keep.end(), project.GetLang(l).LocaleID);
      if (it == Keep.end())
        project.DeleteLang(l);
      else
        found[size_t(it - Keep.begin())] = true;
    }
  }
  for (size_t i = 0; i < Keep.size(); ++i)
    if (!found[i])
      throw EQEMError(Format(SRunLanguageNotInProject, FileName, LCIDToLangTag(Keep[i])));
}

} // namespace

int TQEMTreeNode::FileCount() const {
  if (Placeholder) return 0;
  if (Level == 3) return 1;
  int n = 0;
  for (const auto& c : Children)
    n += c->FileCount();
  return n;
}

std::u16string TQEMTreeNode::CaptionWithCounts() const {
  if (Placeholder) return Caption;
  if (Info.XCount < 0) return Format(SNodeCaptionUnknown, Caption);
  return Format(SNodeCaptionCounts, Caption, Info.XCount, Info.UnXCount);
}

TQEMWorkspace::TQEMWorkspace() : FProjects(std::make_unique<TQEMBaseProjectFileList>()) {
  FPackages.OnMessage = [this](const std::u16string& S) { ShowHLXMessage(S); };
  FPackages.OnError = [this](const std::u16string& S) { ShowHLXError(S); };
  ShowErrorFunc = [this](const std::u16string& S) { ShowHLXError(S); };
  ShowNoticeFunc = [this](const std::u16string& S) {
    if (InBatch()) FCmdLine->AddLog(S);
    UpdateStatusBar(S);
  };
  LoadHistory();
  FileNew();
}

TQEMWorkspace::~TQEMWorkspace() {
  ShowErrorFunc = nullptr;
  ShowNoticeFunc = nullptr;
  try {
    FTree.clear();
    FPackages.UnloadAll();
    FPackages.SaveToRegistry();
    SaveHistory();
  } catch (...) {
    // The settings cannot be written; nothing else is lost.
  }
}

// ---- reporting ----

void TQEMWorkspace::UpdateStatusBar(const std::u16string& Msg) {
  if (OnStatus) OnStatus(Msg);
  QEMUIServices().ProcessMessages();
}

void TQEMWorkspace::ShowHLXError(const std::u16string& Msg) {
  ++FErrorsShown;
  FLastError = Msg;
  if (InBatch()) {
    FCmdLine->CountError();
    FCmdLine->AddLog(Format(SCmdErrorLine, Msg));
    if (OnBatchError) OnBatchError(Msg);
    FCmdLine->AddLog(u"");
  } else if (!InIDE)
    QEMUIServices().ErrorBox(Msg);
}

void TQEMWorkspace::ShowHLXMessage(const std::u16string& Msg) {
  if (InBatch()) {
    FCmdLine->AddLog(Msg);
    UpdateStatusBar(Msg);
  } else
    QEMUIServices().MessageBox(Msg);
}

bool TQEMWorkspace::SenderIsCmdLine(const void* Sender) const {
  return FCmdLine && Sender == FCmdLine.get() && FCmdLine->BatchMode();
}

// ---- the open project ----

bool TQEMWorkspace::CanProjectClose() {
  if (!Modified || InBatch()) return true;
  switch (QEMUIServices().AskYesNoCancel(std::u16string(SProjectChanged), TQEMAnswer::anYes)) {
  case TQEMAnswer::anYes:
    return FileSave();
  case TQEMAnswer::anNo:
    return true;
  default:
    return false;
  }
}

void TQEMWorkspace::FileNew() {
  if (!CanProjectClose()) return;
  FSelected = nullptr;
  FTree.clear();
  FProjects = std::make_unique<TQEMBaseProjectFileList>();
  // A new project is the user's own, so it can be saved.
  FProjects->Add(u"")->ReadOnly = false;
  FCurrFileName.clear();
  RootDir.clear();
  BaseLang = 0;
  FFileRows.clear();
  LoadLanguages();
  FProjectIndex = 0;
  Modified = false;
  FilesAddedButNotUpdated = false;
}

void TQEMWorkspace::OpenFile(const std::u16string& FileName) {
  FSelected = nullptr;
  AddReopenItem(FileName);
  const std::u16string ext = QEMLowerCase(ExtractFileExt(FileName));
  auto list = std::make_unique<TQEMBaseProjectFileList>();
  if (ext == u".rqxproj")
    list->LoadFromProjectFile(FileName);
  else if (ext == u".rqxgroup")
    list->LoadFromProjectGroup(FileName);
  else if (ext == u".hlx")
    list->LoadFromHLXFile(FileName);
  else if (ext == u".oproj" || ext == u".tmproj")
    list->LoadFromMSBuildProjectFile(FileName);
  else if (ext == u".groupproj")
    list->LoadFromMSBProjectGroup(FileName);
  else
    throw EQEMError(Format(SUnknownFileExtension, ExtractFileExt(FileName)));
  if (list->GetCount() == 0) throw EQEMError(Format(SNoTranslationProjects, FileName));
  if (!RunLanguages.empty()) KeepLanguages(*list, RunLanguages, FileName);
  FTree.clear();
  FProjects = std::move(list);
  FCurrFileName = FileName;
  Modified = false;
  SelectProject(0);
}

std::u16string TQEMWorkspace::ProjectCaption(int Index) const {
  const std::u16string& name = FProjects->GetProject(Index)->FileName;
  if (name.empty()) return std::u16string(SNewProject);
  const std::u16string base = ExtractFilePath(FCurrFileName);
  return !base.empty() && name.starts_with(base) ? name.substr(base.size()) : name;
}

bool TQEMWorkspace::GetReadOnly() const {
  return FProjects->GetCount() > 1 ||
         (FProjects->GetCount() == 1 && FProjects->GetProject(0)->ReadOnly &&
          !FProjects->GetProject(0)->FileName.empty());
}

namespace {

// Entry Index of the language table as the language list shows it, unchecked.
TQEMLangRow TableRow(int Index) {
  TQEMLangRow row;
  row.Locale = QEMLanguages->GetLCID(Index);
  row.Name = QEMLanguages->GetName(Index);
  row.Ext = QEMDefaultLangExt(row.Locale);
  return row;
}

bool HasLang(const TQEMBaseProjectFile& P, LCID Locale) {
  for (int i = 0; i < P.GetLangCount(); ++i)
    if (P.GetLang(i).LocaleID == Locale) return true;
  return false;
}

} // namespace

void TQEMWorkspace::LoadLanguages() {
  FLangRows.clear();
  FLangRowsPending = true;
}

std::vector<TQEMLangRow>& TQEMWorkspace::Rows() {
  if (!FLangRowsPending) return FLangRows;
  FLangRowsPending = false;
  if (!QEMLanguages) return FLangRows;
  FLangRows.reserve(size_t(QEMLanguages->GetCount()));
  for (int i = 0; i < QEMLanguages->GetCount(); ++i)
    FLangRows.push_back(TableRow(i));
  return FLangRows;
}

void TQEMWorkspace::SelectProject(int Index) {
  FProjectIndex = Index;
  const TQEMBaseProjectFile& p = *FProjects->GetProject(Index);
  if (!p.FileName.empty()) RootDir = ExtractFilePath(p.FileName);
  BaseLang = p.BaseLang;
  // A read-only project lists its own languages only: rows for the rest of the table would
  // be dropped again below.
  const bool ownOnly = p.ReadOnly && !p.FileName.empty();
  if (!ownOnly) {
    LoadLanguages();
    Rows();
  } else {
    FLangRows.clear();
    FLangRowsPending = false;
    for (int i = 0; QEMLanguages && i < QEMLanguages->GetCount(); ++i)
      if (HasLang(p, QEMLanguages->GetLCID(i))) FLangRows.push_back(TableRow(i));
  }
  for (int i = 0; i < p.GetLangCount(); ++i) {
    const TQEMLang& l = p.GetLang(i);
    auto row = std::find_if(FLangRows.begin(), FLangRows.end(),
                            [&](auto& r) { return r.Locale == l.LocaleID; });
    if (row == FLangRows.end()) {
      FLangRows.push_back({LCIDToLangName(l.LocaleID), l.LocaleID, u"", u"", false});
      row = FLangRows.end() - 1;
    }
    row->Checked = true;
    row->Ext = l.Ext;
    row->XlatDir = l.XlatPath;
  }
  if (ownOnly) std::erase_if(FLangRows, [](const TQEMLangRow& r) { return !r.Checked; });
  FFileRows.clear();
  const std::u16string dir = ExtractFilePath(p.FileName);
  for (int i = 0; i < p.SourceFiles.Count(); ++i) {
    const std::u16string full = AbsoluteFileName(RootDir, dir, p.SourceFiles.Get(i));
    const auto type = QEMFileTypeOfProjectFile(full, p.SourceFiles.Get2(i));
    FFileRows.push_back({ExtractFileName(full), RelativeDir(ExtractFilePath(full)),
                         type ? type->GetDesc() : std::u16string(SUnknownKind),
                         p.SourceFiles.Get2(i)});
  }
}

std::u16string TQEMWorkspace::GetBaseDir() const {
  return RootDir.empty() ? u"" : IncludeTrailingPathDelimiter(QEMSlashes(RootDir));
}

void TQEMWorkspace::SetRootDir(const std::u16string& Dir) {
  if (Dir == RootDir) return;
  RootDir = Dir;
  FilesAddedButNotUpdated = true;
  Modified = true;
}

void TQEMWorkspace::SetBaseLang(LCID Locale) {
  if (Locale == BaseLang) return;
  BaseLang = Locale;
  FilesAddedButNotUpdated = true;
  Modified = true;
}

std::u16string TQEMWorkspace::WindowCaption() const {
  return Format(SMainCaption, QEMProductName(),
                FCurrFileName.empty() ? std::u16string(SNewProject)
                                      : ExtractFileName(FCurrFileName));
}

bool TQEMWorkspace::IntegrationToolsVisible() const {
  return bIntegrationTools || (FCmdLine && FCmdLine->IntegrationTools());
}

void TQEMWorkspace::SetLangChecked(int Row, bool Checked) {
  Rows().at(size_t(Row)).Checked = Checked;
  for (auto& r : FLangRows) {
    if (!r.Checked && !r.XlatDir.empty())
      r.XlatDir.clear();
    else if (r.Checked && r.XlatDir.empty())
      r.XlatDir = r.Ext + u"/";
  }
  FilesAddedButNotUpdated = true;
  Modified = true;
}

void TQEMWorkspace::SetLangExt(int Row, const std::u16string& Ext) {
  TQEMLangRow& r = Rows().at(size_t(Row));
  if (r.Ext == Ext) return;
  r.Ext = Ext;
  FilesAddedButNotUpdated = true;
  Modified = true;
}

void TQEMWorkspace::SetLangXlatDir(int Row, const std::u16string& Dir) {
  TQEMLangRow& r = Rows().at(size_t(Row));
  if (r.XlatDir == Dir) return;
  r.XlatDir = Dir;
  FilesAddedButNotUpdated = true;
  Modified = true;
}

std::u16string TQEMWorkspace::RelativeDir(const std::u16string& Dir) const {
  const std::u16string base = GetBaseDir();
  const std::u16string d = IncludeTrailingPathDelimiter(QEMSlashes(Dir));
  if (!base.empty() && d.starts_with(base)) return d.substr(base.size());
  return d;
}

std::u16string TQEMWorkspace::GetFullName(int Row) const {
  const TQEMFileRow& r = FFileRows.at(size_t(Row));
  return AbsoluteFileName(u"", GetBaseDir(), r.Path + r.FileName);
}

IQEMFileTypePtr TQEMWorkspace::TypeOfRow(const TQEMFileRow& Row) const {
  auto& types = QEMFileTypes();
  for (int i = 0; i < types.Count(); ++i)
    if (types.GetQEMFileType(i)->GetDesc() == Row.Kind) return types.GetQEMFileType(i);
  return nullptr;
}

int TQEMWorkspace::AddItemToListView(const std::u16string& FullName, bool AddUnknown) {
  FilesAddedButNotUpdated = true;
  Modified = true;
  const std::u16string name = ExtractFileName(FullName),
                       path = RelativeDir(ExtractFilePath(FullName));
  for (size_t i = 0; i < FFileRows.size(); ++i)
    if (FFileRows[i].FileName == name && FFileRows[i].Path == path) return int(i);
  const int t = QEMFileTypes().ExtIndexOf(QEMUpperCase(ExtractFileExt(FullName)));
  if (t < 0 && !AddUnknown) return -1;
  const IQEMFileTypePtr type = t < 0 ? nullptr : QEMFileTypes().GetQEMFileType(t);
  FFileRows.push_back({name, path, type ? type->GetDesc() : std::u16string(SUnknownKind),
                       type ? type->GetName() : u""});
  return int(FFileRows.size()) - 1;
}

std::u16string TQEMWorkspace::AddFilesFilter() const {
  auto& types = QEMFileTypes();
  std::u16string filter;
  for (int i = 0; i < types.Count(); ++i)
    filter += types.GetFilter(i) + u"|";
  return filter + std::u16string(SAllFilesFilter);
}

bool TQEMWorkspace::FileAddExecute() {
  std::u16string file = GetBaseDir();
  if (!QEMUIServices().ChooseOpenFile(u"", AddFilesFilter(), file)) return false;
  AddItemToListView(file, false);
  return true;
}

void TQEMWorkspace::SetFileKind(int Row, const std::u16string& Desc) {
  TQEMFileRow& r = FFileRows.at(size_t(Row));
  if (r.Kind == Desc) return;
  const IQEMFileTypePtr type = TypeOfRow({u"", u"", Desc, u""});
  r.Kind = type ? Desc : std::u16string(SUnknownKind);
  r.TypeName = type ? type->GetName() : u"";
  FilesAddedButNotUpdated = true;
  Modified = true;
}

bool TQEMWorkspace::AddFromDirectory(const void* Sender) {
  std::u16string dir = GetBaseDir();
  if (!SenderIsCmdLine(Sender)) {
    if (!QEMUIServices().ChooseFolder(std::u16string(SSelectDirectory), dir)) return false;
    FImportDirectory = dir;
  }
  std::vector<std::u16string> found, unreadable;
  // Links to folders are not followed, so no link can make the walk loop.
  const std::function<void(const std::filesystem::path&)> walk =
      [&](const std::filesystem::path& Dir) {
        std::error_code ec;
        std::filesystem::directory_iterator it(Dir, ec);
        for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
          std::error_code e2;
          if (it->is_symlink(e2)) {
            if (it->is_regular_file(e2)) found.push_back(UTF8ToUTF16(it->path().string()));
          } else if (it->is_directory(e2))
            walk(it->path());
          else if (it->is_regular_file(e2))
            found.push_back(UTF8ToUTF16(it->path().string()));
        }
        if (ec) unreadable.push_back(UTF8ToUTF16(Dir.string()));
      };
  walk(QEMNativePath(dir));
  if (!unreadable.empty()) {
    std::u16string list;
    for (const auto& u : unreadable)
      list += (list.empty() ? u"" : u"\r\n") + u;
    ShowHLXMessage(Format(SCannotReadFolders, list));
  }
  std::sort(found.begin(), found.end());
  FilesAddedButNotUpdated = true;
  Modified = true;
  for (const auto& f : found)
    if (QEMFileTypes().ExtIndexOf(QEMUpperCase(ExtractFileExt(f))) >= 0)
      AddItemToListView(f, false);
  std::sort(FFileRows.begin(), FFileRows.end(), [](const TQEMFileRow& A, const TQEMFileRow& B) {
    return A.Path != B.Path ? A.Path < B.Path : A.FileName < B.FileName;
  });
  return true;
}

bool TQEMWorkspace::RemoveFiles(const std::vector<int>& Rows) {
  if (Rows.empty()) {
    QEMUIServices().ErrorBox(std::u16string(SNoFilesToRemove));
    return false;
  }
  if (!QEMUIServices().AskYesNo(std::u16string(SRemoveFiles), false)) return false;
  FSelected = nullptr;
  std::vector<int> rows = Rows;
  std::sort(rows.rbegin(), rows.rend());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (int r : rows)
    if (r >= 0 && size_t(r) < FFileRows.size()) FFileRows.erase(FFileRows.begin() + r);
  Modified = true;
  return true;
}

void TQEMWorkspace::OpenSourceFile(int Row) {
  std::u16string file = GetFullName(Row);
  // A form opens as a read-only copy, so a look at it cannot change the source.
  if (QEMLowerCase(ExtractFileExt(file)) == u".ofm") {
    try {
      // Created exclusively in the private temporary folder, so no link is followed.
      const std::u16string copy = QEMCreateTempFile(ExtractFileName(file) + u".", u".$QEMOFM$");
      QEMAddTempFile(copy);
      std::error_code ec;
      std::filesystem::copy_file(QEMNativePath(file), QEMNativePath(copy),
                                 std::filesystem::copy_options::overwrite_existing, ec);
      std::filesystem::permissions(QEMNativePath(copy), std::filesystem::perms::owner_read,
                                   std::filesystem::perm_options::replace, ec);
      if (!ec) file = copy;
    } catch (const EQEMError&) {
      // No copy: the editor gets the source itself.
    }
  }
  // The editor command is split into words without a shell and started with an argument
  // vector, so no file name is ever read as shell syntax.
  std::u16string editor = QEMINTOptionProps ? QEMINTOptionProps->EditorFilename : u"";
  if (editor.empty() || QEMUpperCase(editor) == u"NOTEPAD.EXE") {
    const char* v = std::getenv("VISUAL");
    if (!v || !*v) v = std::getenv("EDITOR");
    editor = UTF8ToUTF16(v && *v ? v : "xdg-open");
  }
  std::vector<std::string> words;
  std::string word;
  for (char c : UTF16ToUTF8(editor)) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(std::move(word)), word.clear();
    } else
      word += c;
  }
  if (!word.empty()) words.push_back(word);
  words.push_back(QEMNativePath(file));
  std::vector<char*> argv;
  for (auto& w : words)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  // Editors of earlier calls that have ended are reaped here; the program never waits for one.
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc != 0)
    ShowHLXError(
        Format(SEditorNotStarted, UTF8ToUTF16(words.front()), UTF8ToUTF16(std::strerror(rc))));
}

void TQEMWorkspace::SaveData() {
  if (FProjectIndex < 0 || FProjectIndex >= FProjects->GetCount()) return;
  TQEMBaseProjectFile& p = *FProjects->GetProject(FProjectIndex);
  p.BaseLang = BaseLang;
  p.ClearLang();
  for (const auto& r : Rows())
    if (r.Checked) {
      TQEMLang& l = p.AddLang(r.Locale);
      l.XlatPath = r.XlatDir;
      l.Ext = r.Ext;
      l.Path = ExtractFilePath(p.FileName) + r.XlatDir;
    }
  p.SourceFiles.Clear();
  for (int i = 0; i < int(FFileRows.size()); ++i) {
    const auto type = TypeOfRow(FFileRows[size_t(i)]);
    const std::u16string full = GetFullName(i);
    p.SourceFiles.AddPair(full, full, type ? type->GetName() : FFileRows[size_t(i)].TypeName);
  }
}

void TQEMWorkspace::Save() {
  SaveData();
  FProjects->SaveAs(FCurrFileName);
  Modified = false;
}

bool TQEMWorkspace::SaveAs(const std::u16string& FileName) {
  if (FileExists(FileName) && !QEMUIServices().AskYesNo(Format(SReplaceFile, FileName), false))
    return false;
  // A refused save raises and leaves the project as it was: modified, under its old name.
  const std::u16string previous = FCurrFileName;
  FCurrFileName = FileName;
  try {
    Save();
  } catch (...) {
    FCurrFileName = previous;
    throw;
  }
  return true;
}

bool TQEMWorkspace::FileSave() {
  if (!FCurrFileName.empty()) {
    Save();
    return true;
  }
  std::u16string name = std::u16string(SNewProjectName);
  if (!QEMUIServices().ChooseSaveFile(u"", std::u16string(SProjectFilter), name)) return false;
  return SaveAs(name);
}

bool TQEMWorkspace::AllFieldsEntered(bool ShowErrors) {
  FProblemList.clear();
  std::u16string_view problem;
  if (RootDir.empty())
    problem = SNoRootDirectory;
  else if (BaseLang == 0)
    problem = SNoBaseLanguage;
  else if (std::ranges::none_of(Rows(), [](auto& r) { return r.Checked; }))
    problem = SNoLanguages;
  else if (FFileRows.empty())
    problem = SNoFilesToProcess;
  if (problem.empty()) return true;
  if (ShowErrors)
    ShowHLXError(std::u16string(problem));
  else
    FProblemList = problem;
  return false;
}

std::u16string TQEMWorkspace::IdleStatusText() const {
  return std::u16string(FilesAddedButNotUpdated ? SNeedToRunUpdaters : SNoNeedToRunUpdaters);
}

// ---- packages ----

bool TQEMWorkspace::AddPackage(const std::u16string& FileName) {
  return FPackages.ProcessLoadTranslator(FileName);
}

void TQEMWorkspace::RemovePackage(int Index) {
  ClearTree();
  FPackages.Remove(FPackages.Entry(Index).Module);
}

// ---- history ----

void TQEMWorkspace::AddReopenItem(const std::u16string& FileName) {
  std::erase_if(FHistory, [&](const std::u16string& H) { return QEMSameText(H, FileName); });
  FHistory.insert(FHistory.begin(), FileName);
  if (FHistory.size() > size_t(kHistoryMax)) FHistory.resize(kHistoryMax);
}

void TQEMWorkspace::LoadHistory() {
  FHistory.clear();
  FStoredHistory.clear();
  FHistoryStored = false;
  TQEMRegCount count;
  {
    TRegistry reg;
    TQEMHiveReadBatch batch(reg.Hive()); // one lock for the whole list
    if (!reg.OpenKeyReadOnly(QEMBaseRegKey())) return;
    const bool typed = reg.GetDataType(u"FileHistoryCount") == TRegDataType::rdInteger;
    count = QEMRegReadCount(reg, u"FileHistoryCount", kHistoryMax);
    for (int32_t i = 0; i < count.Count; ++i) {
      const auto entry = QEMRegReadEntry(reg, Format(u"FileHistory%d", i));
      if (!entry) break;
      FHistory.push_back(*entry);
    }
    // Only a list stored just as SaveHistory writes it may be left alone at the end.
    FHistoryStored =
        typed && count.Warning.empty() && FHistory.size() == size_t(std::max(count.Count, 0));
    if (FHistoryStored) FStoredHistory = FHistory;
  }
  if (!count.Warning.empty()) ShowHLXMessage(count.Warning);
}

void TQEMWorkspace::SaveHistory() const {
  if (FHistoryStored && FHistory == FStoredHistory) return;
  TRegistry reg;
  // An unchanged list is only read: under one lock.
  TQEMHiveReadBatch batch(reg.Hive());
  if (!reg.OpenKey(QEMBaseRegKey(), true)) return;
  QEMRegDeleteNumbered(reg, u"FileHistory", int32_t(FHistory.size()));
  reg.WriteInteger(u"FileHistoryCount", int32_t(FHistory.size()));
  for (size_t i = 0; i < FHistory.size(); ++i)
    reg.WriteString(Format(u"FileHistory%d", int(i)), FHistory[i]);
}
