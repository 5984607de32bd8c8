#pragma once
// The workspace: the open project with its languages and files, the packages, the history,
// the updater run, the workspace tree and the batch operations over it. The desktop window is
// a view over this model; an unattended run drives it without one.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/QEMTypes.h"
#include "editing/QEMSearchForm.h"
#include "platform/QEMUIServices.h"
#include "project/QEMProjectFile.h"
#include "translator/QEMExchange.h"
#include "translator/QEMFileTypes.h"
#include "translator/QEMFileWarnings.h"
#include "translator/QEMPackages.h"
#include "translator/QEMStats.h"
#include "workspace/QEMCommandLine.h"

// One row of the language list: every known language, checked when it is a target language.
struct TQEMLangRow {
  std::u16string Name;
  LCID Locale = 0;
  std::u16string Ext;
  std::u16string XlatDir;
  bool Checked = false;
};

// One row of the file list.
struct TQEMFileRow {
  std::u16string FileName;
  std::u16string Path; // the folder relative to the root directory, with "/" at the end
  std::u16string Kind; // the file type's description, or "<unknown>"
  // The type name the project stores, kept for a file whose package is not loaded.
  std::u16string TypeName;
};

struct TNodeInfo {
  bool Modified = false;
  std::u16string Path;
  IQEMFileTypePtr TypeId;
  int32_t XCount = 0; // -1: the counts could not be read
  int32_t UnXCount = 0;
};

// Which image a node shows; the GUI maps it to its image list.
enum class TQEMNodeImage : uint8_t { niNone, niGlobe, niKind, niFile };

struct QEM_API TQEMTreeNode {
  std::u16string Caption;
  int Level = 0; // 0 project, 1 language, 2 file type, 3 file
  TNodeInfo Info;
  LCID Locale = 0;  // language nodes
  int Project = -1; // index of the project the node belongs to
  bool Placeholder = false;
  TQEMNodeImage Image = TQEMNodeImage::niNone;
  int ImageVariant = 0; // 0 plain, 1 untranslated
  TQEMTreeNode* Parent = nullptr;
  std::vector<std::unique_ptr<TQEMTreeNode>> Children;

  // Files below the node (a file node counts itself).
  int FileCount() const;
  // The caption with the node's translated and untranslated counts, as the tree shows it.
  std::u16string CaptionWithCounts() const;
};

// What the pane beside the tree shows for the selected node.
enum class TQEMNodeView : uint8_t { nvNone, nvProjectStatus, nvExplorer, nvTranslator };

// One file below a language or file-type node, as the explorer lists it.
struct TQEMExplorerRow {
  std::u16string Caption;
  std::u16string Path;
  std::u16string FileType;
  int32_t XCount = 0; // -1: the counts could not be read
  int32_t UnXCount = 0;
};

// The options of the three repository and status dialogs as the records their operations take;
// CommentString is the dialog's edit field.
QEM_API TQEMAddToRepositoryData QEMAddToRepositoryOptions(const std::u16string& CommentString);
QEM_API TQEMGetFromRepositoryData QEMGetFromRepositoryOptions(const std::u16string& CommentString);
QEM_API TQEMChangeStatusData QEMChangeStatusOptions(const std::u16string& CommentString);

class QEM_API TQEMWorkspace {
public:
  // Loads the history and starts a new project; the packages load with the command line
  // (ExecuteCmdLine), so that a batch run logs their reports.
  TQEMWorkspace();
  // Unloads the packages and writes the package list and the history back.
  ~TQEMWorkspace();
  TQEMWorkspace(const TQEMWorkspace&) = delete;
  TQEMWorkspace& operator=(const TQEMWorkspace&) = delete;

  // ---- reporting ----
  // The files status bar; an unattended run prints it.
  std::function<void(const std::u16string&)> OnStatus;
  // Each file the updaters take, counted against all files of the run, with its language.
  std::function<void(int Done, int Total, const std::u16string& File, LCID Locale)> OnProgress;
  // Each error of an unattended run as it is logged, so a build server sees it at once.
  std::function<void(const std::u16string&)> OnBatchError;
  // At the end of an unattended run, before the log is written: the host gives its summary.
  // A summary it cannot write goes to ShowHLXError, so it is counted and logged.
  std::function<void()> OnRunEnd;
  void UpdateStatusBar(const std::u16string& Msg);
  void ShowHLXError(const std::u16string& Msg);
  void ShowHLXMessage(const std::u16string& Msg);
  THlxCommandLine* CmdLine() const { return FCmdLine.get(); }
  bool SenderIsCmdLine(const void* Sender) const;
  bool InBatch() const { return FCmdLine && FCmdLine->BatchMode(); }

  // ---- command line ----
  // Parses Args, opens the project and runs the batch; returns the exit code. Interactive
  // requests (no batch switch) return -1 after opening the project.
  int ExecuteCmdLine(const std::vector<std::u16string>& Args);
  // The target languages the projects opened from now on keep (for a run over some of them);
  // empty: all. Opening a project that has one of them in none of its projects raises.
  std::vector<LCID> RunLanguages;
  void ProcessIntegration();
  void ProcessEggIntegration();
  // --warnings: every project's warnings, a line each and a summary, to Report.
  void ProcessListWarnings(const std::function<void(const std::u16string&)>& Report);

  // ---- the open project ----
  bool CanProjectClose();
  void FileNew();
  // Raises EQEMError for an unknown extension or a file without projects; the previous
  // project stays open then.
  void OpenFile(const std::u16string& FileName);
  const TQEMBaseProjectFileList& Projects() const { return *FProjects; }
  std::u16string ProjectCaption(int Index) const;
  void SelectProject(int Index);
  int ProjectIndex() const { return FProjectIndex; }
  const std::u16string& CurrFileName() const { return FCurrFileName; }
  bool GetReadOnly() const;

  std::u16string RootDir;
  LCID BaseLang = 0;
  // Root directory with "/" at the end.
  std::u16string GetBaseDir() const;
  // Edits of the project page; a real change marks the project changed and not yet updated.
  void SetRootDir(const std::u16string& Dir);
  void SetBaseLang(LCID Locale);
  // The window caption: the product and the open project's file name.
  std::u16string WindowCaption() const;
  // The hidden integration tools are offered in translator mode or when the command line asks.
  bool IntegrationToolsVisible() const;

  std::vector<TQEMLangRow>& LangRows() { return Rows(); }
  // A checked row without a translation directory gets its extension and "/"; an unchecked
  // one loses its directory.
  void SetLangChecked(int Row, bool Checked);
  void SetLangExt(int Row, const std::u16string& Ext);
  void SetLangXlatDir(int Row, const std::u16string& Dir);

  std::vector<TQEMFileRow>& FileRows() { return FFileRows; }
  std::u16string GetFullName(int Row) const;
  // The row of FullName, added when missing; -1 when the file has no type and AddUnknown is off.
  int AddItemToListView(const std::u16string& FullName, bool AddUnknown);
  // Asks for files with the filter of the registered types.
  bool FileAddExecute();
  // The filter of Add Files: every registered type in registry order, then all files.
  std::u16string AddFilesFilter() const;
  // Gives a row another kind by the file type's description (the drop-down of the Kind column).
  void SetFileKind(int Row, const std::u16string& Desc);
  // Adds every file of a known type below a folder (asked for unless the command line runs).
  bool AddFromDirectory(const void* Sender);
  bool RemoveFiles(const std::vector<int>& Rows);
  // Starts the editor of the options on the source file of a row.
  void OpenSourceFile(int Row);

  void SaveData();
  void Save();
  bool SaveAs(const std::u16string& FileName);
  bool FileSave();
  bool AllFieldsEntered(bool ShowErrors);
  const std::u16string& ProblemList() const { return FProblemList; }
  std::u16string IdleStatusText() const;

  bool FilesAddedButNotUpdated = false;
  bool Modified = false;

  // ---- history ----
  const std::vector<std::u16string>& History() const { return FHistory; }
  void AddReopenItem(const std::u16string& FileName);

  TQEMPackageManager& Packages() { return FPackages; }
  // Loads a translator package; false when it could not be loaded (reported already).
  bool AddPackage(const std::u16string& FileName);
  // Unloads a package. The tree goes first: its nodes hold the package's file types.
  void RemovePackage(int Index);

  // ---- updater run ----
  // False when the fields are incomplete. Shows the summary unless the command line runs.
  bool ProjectRunUpdatersExecute(const void* Sender);
  // Data: null, or a TQEMCallBackData (a status bar or a progress window).
  bool UpdaterCallBack(const std::u16string& Mess, void* Data);
  const TStats& LastStats() const { return FLastStats; }
  const std::u16string& LastElapsed() const { return FLastElapsed; }
  // The last run per file, with the errors counted so far.
  TQEMRunReport RunReport() const;

  // ---- workspace tree ----
  // Runs the updaters first when files were added since the last run.
  void BuildTree();
  const std::vector<std::unique_ptr<TQEMTreeNode>>& Tree() const { return FTree; }
  TQEMTreeNode* Selected() const { return FSelected; }
  void Select(TQEMTreeNode* Node) { FSelected = Node; }
  void SetOneIcon(TQEMTreeNode& Node) const;
  void SetIconAndParents(TQEMTreeNode& Node) const;
  // The node's image in the file types' image list (variant by ImageVariant); -1 when none.
  int NodeImageIndex(const TQEMTreeNode& Node) const;
  // Drops the tree and the selection's pane, as a new project or an unloaded package needs.
  void ClearTree();
  // Whether the workspace actions apply: a node is selected and it is not the placeholder.
  bool CanRunBatch() const { return FSelected && !FSelected->Placeholder; }

  // ---- selecting nodes ----
  // Leaves the selected file node, whose window may refuse to close (unsaved edits the user
  // keeps): then the selection stays and the result is false. Otherwise Node becomes the
  // selection and its pane is filled: the project status, the explorer, or the file opened in
  // its type's window with every other translator window hidden. Null or the placeholder
  // selects without a pane.
  bool SelectNode(TQEMTreeNode* Node);
  TQEMNodeView NodeView() const { return FNodeView; }
  const TQEMProjectStatusModel& ProjectStatus() const { return FProjectStatus; }
  const std::vector<TQEMExplorerRow>& ExplorerRows() const { return FExplorerRows; }
  // An explorer cell in the columns of the project status (TQEMProjectStatusModel::TColumn).
  std::u16string ExplorerCellText(int Row, int Column) const;
  // The file node of a translated file, for the project status's double-click; null if none.
  TQEMTreeNode* FindFileNode(const std::u16string& Path) const;
  // Re-reads a file node's counts after its window closed; the parents change by the
  // differences and are marked changed.
  void RefreshFileNode(TQEMTreeNode& Node);
  // Asks every open translator window, then the project, whether the program may end.
  bool CanQuit();

  // ---- Find in Files ----
  // Offered for a selected node that is neither the placeholder nor a file.
  bool CanFindInFiles() const;
  // The files of the selected node's project, of all projects or of the node, by type in
  // registry order, each file once.
  std::vector<TQEMSearchFileGroup> SearchGroups(TQEMSearchArea Area) const;
  // The dialog for the selected node: its Find in Files page alone, the registered types.
  void PrepareFindInFiles(TfrmQEMSearchForm& Form) const;
  // Runs what the dialog asks for over its area, with a progress window that can cancel;
  // returns the number of matches.
  int32_t FindInFiles(const TfrmQEMSearchForm& Form, TfrmQEMSearchResults& Results);

  // ---- batch operations over the selected node ----
  // Data is the operation's own (TQEMListRequestData::UserData of the file types' List).
  bool ProcessListRequest(const std::u16string& Question, const std::u16string& DoneMessage,
                          const std::u16string& ProgressCaption, TListEventType EventType,
                          const void* Data);
  // The progress callback of the file types' List; Data is the TQEMCallBackData of the window.
  bool ProcessListRequestCallBackFunc(const std::u16string& Mess, void* Data);
  bool Purge();
  bool EggBuild();
  bool MakeDictionary(); // asks for the dictionary file
  bool RecreateXlat();
  bool AddToRepository(const TQEMAddToRepositoryData& Data);
  bool GetFromRepository(const TQEMGetFromRepositoryData& Data);
  bool ChangeStatus(const TQEMChangeStatusData& Data);
  // Collects the quality warnings of the translated files below the selected node, of the
  // kinds the options switch on, into LastWarnings; reads only, so it never asks first.
  bool ListWarnings();
  const TQEMListWarningsData& LastWarnings() const { return FWarnings; }

  // ---- export and import: XLIFF 1.2 and PO ----
  // Writes a catalogue per translated file below Node (narrowed to Languages and to Files,
  // named as the source or translated file, its path below the root or below the language's
  // folder, when given) as Dir/<language tag>/<path below the language's folder> + ".xlf" or
  // ".po". Files counts the catalogues written.
  TQEMExchangeReport ExportNode(const TQEMTreeNode& Node, const std::u16string& Dir,
                                TQEMExchangeFormat Format, const std::vector<LCID>& Languages = {},
                                const std::vector<std::u16string>& Files = {});
  // Reads one catalogue, or every .xlf, .xliff and .po below a folder, and applies it to the
  // translated files of the open projects as the translator window applies typed entries, then
  // saves them. Files counts the translated files changed, Changed their items.
  TQEMExchangeReport ImportExchange(const std::u16string& Path);
  // The unattended --export or --import run: the same as ExecuteCmdLine for those switches.
  int ExecuteExchange(const std::vector<std::u16string>& Args);
  // What the last export or import did, in one line for the summary.
  const std::u16string& ExchangeSummary() const { return FExchangeSummary; }

private:
  // The rows of the whole language table are made on first use: a batch run never looks.
  void LoadLanguages();
  std::vector<TQEMLangRow>& Rows();
  void LoadHistory();
  void SaveHistory() const;
  void FillFromProject();
  void BatchPreparation();
  void WriteOutput();
  std::u16string RelativeDir(const std::u16string& Dir) const;
  IQEMFileTypePtr TypeOfRow(const TQEMFileRow& Row) const;
  void CollectFiles(const TQEMTreeNode& Node, TStringList& List) const;
  // The steps of the updater run.
  struct TRunPlan;
  std::vector<TRunPlan> PlanUpdaterRun();
  std::vector<std::u16string> RefuseSharedFolders(const TRunPlan& Plan);
  void ShowRunBullets(IQEMProgress& Progress) const;
  // False once the run was cancelled.
  bool RunLanguageUpdaters(const TRunPlan& Plan, int Lang, TStats& Stats,
                           TQEMCallBackData& StatusBar);
  bool UpdateOneFile(const TRunPlan& Plan, const TQEMLang& Lang, const IQEMFileTypePtr& Type,
                     const std::u16string& File, const std::u16string& XlatDir, TStats& Stats,
                     TQEMCallBackData& StatusBar);
  void RefuseLanguage(const TRunPlan& Plan, LCID Locale, const std::u16string& Why);
  TQEMRunFile& RecordRunFile(const std::u16string& Project, LCID Locale,
                             const IQEMFileTypePtr& Type, const std::u16string& Source,
                             const std::u16string& Message);
  // One batch operation's lists, each file-type group to its type; stops once cancelled.
  void DispatchListRequest(const TQEMTreeNode& Node, TListEventType EventType,
                           TQEMListRequestData& Request, const TCallBackFunc& CallBack,
                           const IQEMProgress& Progress) const;

  std::unique_ptr<THlxCommandLine> FCmdLine;
  std::unique_ptr<TQEMBaseProjectFileList> FProjects;
  int FProjectIndex = -1;
  std::u16string FCurrFileName;
  std::vector<TQEMLangRow> FLangRows;
  bool FLangRowsPending = false;
  std::vector<TQEMFileRow> FFileRows;
  std::u16string FProblemList;
  std::u16string FImportDirectory;
  std::vector<std::u16string> FHistory;
  std::vector<std::u16string> FStoredHistory; // as read at start
  bool FHistoryStored = false;                // the hive holds FStoredHistory as we write it
  TQEMPackageManager FPackages;
  TStats FLastStats;
  std::u16string FLastElapsed;
  TQEMRunReport FReport;
  LCID FRunLocale = 0; // the language the updaters work on
  int FErrorsShown = 0;
  std::u16string FLastError;
  std::vector<std::unique_ptr<TQEMTreeNode>> FTree;
  TQEMTreeNode* FSelected = nullptr;
  TQEMNodeView FNodeView = TQEMNodeView::nvNone;
  TQEMProjectStatusModel FProjectStatus;
  std::vector<TQEMExplorerRow> FExplorerRows;
  int FProgress = 0; // the shared progress counter
  int FProgressTotal = 0;
  std::u16string FExchangeSummary;
  TQEMListWarningsData FWarnings;
};
