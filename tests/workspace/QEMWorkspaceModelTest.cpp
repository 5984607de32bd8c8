#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "platform/QEMFiles.h"
#include "platform/QEMRegistry.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"
#include "translator/QEMTranslator.h"
#include "workspace/QEMWorkspace.h"

namespace {

using qemtest::ReadTextFile;
using qemtest::TTempDir;
using qemtest::WriteTextFile;
using TKind = TQEMScriptedUIServices::TKind;

// "de/a.reca": the folder and name of a translated file, as the tests name them.
std::string Short(const std::u16string& Path) {
  const std::filesystem::path p(UTF16ToUTF8(Path));
  return (p.parent_path().filename() / p.filename()).string();
}

// A file type without updater whose counts the test sets per file (a file without counts cannot
// be read) and which records each list of files it is handed.
class TRecordingType : public IQEMFileType {
public:
  TRecordingType(std::u16string Name, const std::u16string& Ext) : FName(std::move(Name)) {
    FExts.Add(Ext);
  }
  std::u16string GetName() override { return FName; }
  const TStringList& GetExts() override { return FExts; }
  std::u16string GetDesc() override { return FName + u" files"; }
  TQEMTranslatorForm* GetForm() override { return Form; }
  std::u16string GetSubKey() override { return {}; }
  TQEMBitmap* GetFileBitmap(int Index) override { return &FBitmaps[Index]; }
  TQEMBitmap* GetKindBitmap(int Index) override { return &FBitmaps[Index]; }
  std::u16string GetPackageVersion() override { return {}; }
  bool AcceptsFile(const std::u16string&) override { return true; }
  TSearchSettings* GetSearchSettings() override { return nullptr; }
  IQEMTranslatorUpdaterPtr GetUpdater() override { return nullptr; }
  int32_t GetTranslatorCount() override { return 0; }
  void SetTranslatorCount(int32_t) override {}
  void ChangeSize(void*) override {}
  void Edit(const std::u16string& AFileName) override {
    if (Form) Form->EditFile(AFileName), Form->SetVisible(true);
  }
  std::u16string FormatItem(const std::u16string& AText, void*) override { return AText; }
  TFileStats GetStats(const std::u16string& AFileName, bool) override {
    const auto it = Counts.find(Short(AFileName));
    if (it == Counts.end()) throw EQEMError(u"unreadable");
    TFileStats s;
    s.Translated = it->second.first;
    s.UnTranslated = it->second.second;
    return s;
  }
  void Idle(void*, bool&) override {}
  // Written to the documented contract: Data is the host's request record.
  void List(TListEventType EventType, const TStringList& Files, void* Data,
            const TCallBackFunc& Step) override {
    const auto& request = *static_cast<const TQEMListRequestData*>(Data);
    UserData.push_back(request.UserData);
    if (EventType == leMakeDictionary)
      Dictionaries.push_back(*static_cast<const std::u16string*>(request.UserData));
    Lists.emplace_back();
    for (int i = 0; i < Files.Count(); ++i) {
      Lists.back().push_back(Short(Files.Get(i)));
      if (!Step(Files.Get(i), request.Data)) return;
    }
  }
  void LoadFile(const std::u16string&, int32_t, int32_t) override {}
  void Search(TSearchInfo& Info, const std::u16string&, bool, bool, bool,
              const TSearchFoundEvent&) override {
    Searched.push_back(Short(Info.FileName));
  }

  std::map<std::string, std::pair<int32_t, int32_t>> Counts;
  std::vector<std::string> Searched;
  std::vector<std::vector<std::string>> Lists;
  std::vector<const void*> UserData; // per list
  std::vector<std::u16string> Dictionaries;
  TQEMTranslatorForm* Form = nullptr;

private:
  std::u16string FName;
  TStringList FExts;
  TQEMBitmapVariants FBitmaps;
};

// A translator window that records what it is asked and refuses to close while Dirty.
class TRecordingForm : public TQEMTranslatorForm {
public:
  bool CanQuit(bool) override {
    ++Asked;
    return !Dirty;
  }
  void ChangeSize() override {}
  void HideDockPanel() override {}
  void LoadFromFile(const std::u16string&, int32_t, int32_t) override {}
  void Search() override {}
  void ShowDockPanel() override {}
  void EditFile(const std::u16string& AFileName) override { Edited.push_back(Short(AFileName)); }
  void Idle(void*, bool&) override {}
  void SetVisible(bool Value) override { Visible = Value; }

  bool Dirty = false;
  bool Visible = false;
  int Asked = 0;
  std::vector<std::string> Edited;
};

// Scripted services that also keep each progress window's maximum and positions.
class TRecordingUI : public TQEMScriptedUIServices {
public:
  std::vector<int> Maxima;
  std::vector<int> Positions;
  std::unique_ptr<IQEMProgress> CreateProgress(const std::u16string& Caption) override {
    struct TProgress : IQEMProgress {
      std::unique_ptr<IQEMProgress> Inner;
      TRecordingUI& UI;
      TProgress(std::unique_ptr<IQEMProgress> I, TRecordingUI& U) : Inner(std::move(I)), UI(U) {}
      void SetMessage(const std::u16string& Msg) override { Inner->SetMessage(Msg); }
      void SetRange(int Max) override {
        UI.Maxima.push_back(Max);
        Inner->SetRange(Max);
      }
      void SetPosition(int Position) override {
        UI.Positions.push_back(Position);
        Inner->SetPosition(Position);
      }
      void StepIt() override { Inner->StepIt(); }
      bool Cancelled() const override { return Inner->Cancelled(); }
      void Done(bool Interactive) override { Inner->Done(Interactive); }
    };
    return std::make_unique<TProgress>(TQEMScriptedUIServices::CreateProgress(Caption), *this);
  }
};

// Two recording types (".reca", ".recb") and recording UI services, installed for one test.
struct WorkspaceModelTest : ::testing::Test {
  std::shared_ptr<TRecordingType> A = std::make_shared<TRecordingType>(u"Alpha", u".RECA");
  std::shared_ptr<TRecordingType> B = std::make_shared<TRecordingType>(u"Beta", u".RECB");
  std::shared_ptr<TRecordingUI> UI = std::make_shared<TRecordingUI>();
  std::shared_ptr<IQEMUIServices> OldUI;
  TTempDir Dir;
  void SetUp() override {
    RegisterQEMFileType(A);
    RegisterQEMFileType(B);
    OldUI = QEMSetUIServices(UI);
  }
  void TearDown() override {
    QEMSetUIServices(OldUI);
    UnRegisterQEMFileType(A);
    UnRegisterQEMFileType(B);
    QEMINTOptionProps->HideEmptyItems = false;
  }
  std::u16string Project(const std::string& Extensions, const std::string& Files) {
    WriteTextFile(Dir.Path() / "P.hlx", "[Environment]\nLCID=$00000409\n\n[Extensions]\n" +
                                            Extensions + "\n[Files]\n" + Files);
    return Dir.U16("P.hlx");
  }
  bool Shown(TKind Kind, const std::u16string& Text) const {
    return std::any_of(UI->Shown().begin(), UI->Shown().end(), [&](auto& S) {
      return S.Kind == Kind && S.Text.find(Text) != std::u16string::npos;
    });
  }
};

void UseTestPackage() {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
  reg.WriteInteger(u"TranslatorCount", 1);
  reg.WriteString(u"Translator0", UTF8ToUTF16(HLX_TEST_PACKAGE));
}

TQEMTreeNode& Child(const TQEMTreeNode& Node, const std::u16string& Caption) {
  for (auto& c : Node.Children)
    if (c->Caption == Caption) return *c;
  throw EQEMError(u"no node " + Caption);
}

TEST_F(WorkspaceModelTest, AddFromDirectoryWalksKnownTypesSortedWithoutFollowingLinks) {
  UseTestPackage();
  Project("1=DEU,$00000407,de\n", "");
  for (const char* f : {"z.lines", "b/y.lines", "b/k.lns", "a/notes.txt", "a/c/deep.lines"})
    WriteTextFile(Dir.Path() / f, "k = \"v\"\n");
  std::filesystem::create_directory_symlink(Dir.Path(), Dir.Path() / "a/loop");
  TQEMWorkspace w;
  EXPECT_EQ(w.ExecuteCmdLine({u"-I", Dir.U16("P.hlx")}), 1); // no files yet
  ASSERT_TRUE(w.AddFromDirectory(w.CmdLine()));
  EXPECT_FALSE(Shown(TKind::skFolder, u""));
  std::vector<std::string> rows;
  for (auto& r : w.FileRows())
    rows.push_back(UTF16ToUTF8(r.Path + r.FileName));
  EXPECT_EQ(rows, (std::vector<std::string>{"z.lines", "a/c/deep.lines", "b/k.lns", "b/y.lines"}));
}

TEST_F(WorkspaceModelTest, SaveAsKeepsTheWorkAndReopens) {
  const std::u16string saved = Dir.U16("Saved.rqxproj");
  {
    TQEMWorkspace w;
    w.RootDir = Dir.U16();
    w.BaseLang = 1033;
    for (size_t i = 0; i < w.LangRows().size(); ++i)
      if (w.LangRows()[i].Locale == 1031 || w.LangRows()[i].Locale == 1041)
        w.SetLangChecked(int(i), true);
    w.AddItemToListView(Dir.U16("src/a.reca"), false);
    w.AddItemToListView(Dir.U16("b.recb"), false);
    ASSERT_TRUE(w.SaveAs(saved));
    EXPECT_FALSE(w.Modified);

    // Replacing asks first; a save that fails raises and leaves the project as it was.
    EXPECT_FALSE(w.SaveAs(saved));
    EXPECT_TRUE(Shown(TKind::skYesNo, u"Replace file"));
    w.AddItemToListView(Dir.U16("c.reca"), false);
    WriteTextFile(Dir.Path() / "file", "");
    EXPECT_THROW(w.SaveAs(Dir.U16("file/x.rqxproj")), std::exception);
    EXPECT_EQ(w.CurrFileName(), saved);
    EXPECT_TRUE(w.Modified);
  }
  TQEMWorkspace again;
  again.OpenFile(saved);
  std::vector<LCID> langs;
  for (auto& r : again.LangRows())
    if (r.Checked) langs.push_back(r.Locale);
  std::sort(langs.begin(), langs.end());
  EXPECT_EQ(langs, (std::vector<LCID>{1031, 1041}));
  ASSERT_EQ(again.FileRows().size(), 2u);
  std::vector<std::u16string> files;
  for (auto& r : again.FileRows())
    files.push_back(r.Path + r.FileName + u" " + r.Kind);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::u16string>{u"b.recb Beta files", u"src/a.reca Alpha files"}));
}

TEST_F(WorkspaceModelTest, TreeSumsAndBatchScopes) {
  A->Counts = {
      {"de/a.reca", {2, 1}}, {"de/b.reca", {0, 0}}, {"fr/a.reca", {1, 2}}}; // fr/b.reca unreadable
  B->Counts = {{"de/c.recb", {5, 0}}, {"fr/c.recb", {0, 4}}};
  TQEMWorkspace w;
  w.OpenFile(Project("1=DEU,$00000407,de\n2=FRA,$0000040C,fr\n", "1=a.reca\n2=b.reca\n3=c.recb\n"));
  w.BuildTree();
  ASSERT_EQ(w.Tree().size(), 1u);
  TQEMTreeNode& project = *w.Tree()[0];
  TQEMTreeNode& de = Child(project, LCIDToLangName(1031));
  TQEMTreeNode& fr = Child(project, LCIDToLangName(1036));
  const auto counts = [](const TQEMTreeNode& N) {
    return std::pair(N.Info.XCount, N.Info.UnXCount);
  };
  // The unreadable file shows -1 and adds nothing to its parents.
  EXPECT_EQ(counts(Child(Child(fr, u"Alpha files"), u"b")), std::pair(-1, -1));
  EXPECT_EQ(counts(Child(fr, u"Alpha files")), std::pair(1, 2));
  EXPECT_EQ(counts(fr), std::pair(1, 6));
  EXPECT_EQ(counts(project), std::pair(8, 7));
  EXPECT_EQ(project.FileCount(), 6);
  EXPECT_TRUE(Shown(TKind::skError, u"File saved: "));
  EXPECT_TRUE(Shown(TKind::skError, u"fr/b.reca"));

  // Each type receives the files of the selected node; the progress counts them.
  const auto run = [&](TQEMTreeNode& Node, bool (TQEMWorkspace::*Op)()) {
    A->Lists.clear();
    B->Lists.clear();
    UI->Maxima.clear();
    UI->QueueAnswer(TQEMAnswer::anYes);
    w.Select(&Node);
    return (w.*Op)();
  };
  using L = std::vector<std::vector<std::string>>;
  EXPECT_TRUE(run(Child(Child(fr, u"Alpha files"), u"a"), &TQEMWorkspace::EggBuild));
  EXPECT_EQ(A->Lists, (L{{"fr/a.reca"}}));
  EXPECT_EQ(UI->Maxima, std::vector<int>{1});
  EXPECT_TRUE(run(Child(de, u"Alpha files"), &TQEMWorkspace::Purge));
  EXPECT_EQ(A->Lists, (L{{"de/a.reca", "de/b.reca"}}));
  EXPECT_TRUE(B->Lists.empty());
  EXPECT_TRUE(run(de, &TQEMWorkspace::RecreateXlat));
  EXPECT_EQ(A->Lists, (L{{"de/a.reca", "de/b.reca"}}));
  EXPECT_EQ(B->Lists, (L{{"de/c.recb"}}));
  EXPECT_EQ(UI->Maxima, std::vector<int>{3});
  EXPECT_TRUE(run(project, &TQEMWorkspace::EggBuild));
  EXPECT_EQ(A->Lists, (L{{"fr/a.reca", "fr/b.reca"}, {"de/a.reca", "de/b.reca"}}));
  EXPECT_EQ(B->Lists, (L{{"fr/c.recb"}, {"de/c.recb"}}));
  EXPECT_EQ(UI->Maxima, std::vector<int>{6});

  // Cancel stops after the current file: the next file and the next type are not reached.
  UI->CancelAfter(1);
  EXPECT_FALSE(run(de, &TQEMWorkspace::Purge));
  EXPECT_EQ(A->Lists, (L{{"de/a.reca"}}));
  EXPECT_TRUE(B->Lists.empty());
  UI->CancelAfter(-1);

  // Empty files are hidden on request, and a type left without files goes with them.
  QEMINTOptionProps->HideEmptyItems = true;
  A->Counts["de/a.reca"] = {0, 0};
  w.BuildTree();
  const TQEMTreeNode& hidden = Child(*w.Tree()[0], LCIDToLangName(1031));
  ASSERT_EQ(hidden.Children.size(), 1u);
  EXPECT_EQ(hidden.Children[0]->Caption, u"Beta files");
  EXPECT_EQ(w.Tree()[0]->FileCount(), 4);
}

// A type that reads List's data as the request record gets the operation's own data and, for
// its callback, the progress window; a run to its end tells the window, a cancelled one not.
TEST_F(WorkspaceModelTest, ListRequestCarriesWindowAndDataAndTheEndIsTold) {
  A->Counts = {{"de/a.reca", {1, 0}}, {"de/b.reca", {0, 1}}};
  TQEMWorkspace w;
  w.OpenFile(Project("1=DEU,$00000407,de\n", "1=a.reca\n2=b.reca\n"));
  w.BuildTree();
  w.Select(w.Tree()[0].get());
  const auto done = [&] {
    return std::count_if(UI->Shown().begin(), UI->Shown().end(),
                         [](auto& S) { return S.Kind == TKind::skProgressDone; });
  };
  UI->Positions.clear();
  UI->QueueAnswer(TQEMAnswer::anYes);
  const TQEMChangeStatusData options = QEMChangeStatusOptions(u"why");
  EXPECT_TRUE(w.ChangeStatus(options));
  EXPECT_EQ(A->UserData, std::vector<const void*>{&options});
  EXPECT_EQ(UI->Positions, (std::vector<int>{1, 2}));
  EXPECT_EQ(done(), 1);
  EXPECT_TRUE(Shown(TKind::skProgressDone, u"interactive"));

  UI->QueueValue(Dir.U16("words"));
  UI->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_TRUE(w.MakeDictionary());
  EXPECT_EQ(A->Dictionaries, std::vector<std::u16string>{Dir.U16("words.dct")});
  EXPECT_EQ(done(), 2);

  UI->CancelAfter(1);
  UI->QueueAnswer(TQEMAnswer::anYes);
  EXPECT_FALSE(w.Purge());
  UI->CancelAfter(-1);
  EXPECT_EQ(done(), 2);
}

// The egg build of a command-line run asks nothing and tells its window it ran unattended.
TEST_F(WorkspaceModelTest, EggIntegrationAsksNothingAndEndsAsBatch) {
  A->Counts = {{"de/a.reca", {1, 0}}};
  TQEMWorkspace w;
  w.ExecuteCmdLine({u"-E", Project("1=DEU,$00000407,de\n", "1=a.reca\n")});
  EXPECT_EQ(A->Lists, (std::vector<std::vector<std::string>>{{"de/a.reca"}}));
  EXPECT_FALSE(Shown(TKind::skYesNo, u""));
  EXPECT_TRUE(Shown(TKind::skProgressDone, u"batch"));
}

TEST_F(WorkspaceModelTest, SelectingNodesOpensFilesAndKeepsUnsavedEdits) {
  A->Counts = {{"de/a.reca", {2, 1}}, {"fr/a.reca", {1, 2}}};
  B->Counts = {{"de/c.recb", {5, 0}}, {"fr/c.recb", {0, 4}}};
  TRecordingForm formA, formB;
  A->Form = &formA;
  B->Form = &formB;
  TQEMWorkspace w;
  w.OpenFile(Project("1=DEU,$00000407,de\n2=FRA,$0000040C,fr\n", "1=a.reca\n3=c.recb\n"));
  w.BuildTree();
  TQEMTreeNode& project = *w.Tree()[0];
  TQEMTreeNode& de = Child(project, LCIDToLangName(1031));
  TQEMTreeNode& deA = Child(Child(de, u"Alpha files"), u"a");
  TQEMTreeNode& deC = Child(Child(de, u"Beta files"), u"c");

  ASSERT_TRUE(w.SelectNode(&project));
  EXPECT_EQ(w.NodeView(), TQEMNodeView::nvProjectStatus);
  EXPECT_EQ(w.ProjectStatus().RowCount(), 4);
  EXPECT_EQ(w.FindFileNode(w.ProjectStatus().Row(0).FileName)->Level, 3);
  ASSERT_TRUE(w.SelectNode(&de));
  EXPECT_EQ(w.NodeView(), TQEMNodeView::nvExplorer);
  EXPECT_EQ(w.ExplorerRows().size(), 2u);
  EXPECT_TRUE(w.CanFindInFiles());

  // A file opens in its type's window; the other type's window is hidden.
  formB.Visible = true;
  ASSERT_TRUE(w.SelectNode(&deA));
  EXPECT_EQ(w.NodeView(), TQEMNodeView::nvTranslator);
  EXPECT_EQ(formA.Edited, std::vector<std::string>{"de/a.reca"});
  EXPECT_TRUE(formA.Visible);
  EXPECT_FALSE(formB.Visible);
  EXPECT_FALSE(w.CanFindInFiles());

  // A window with edits it may not drop keeps the selection; quitting is refused too.
  formA.Dirty = true;
  EXPECT_FALSE(w.SelectNode(&deC));
  EXPECT_EQ(w.Selected(), &deA);
  EXPECT_FALSE(w.CanQuit());
  // Once it may close, the file's new counts reach its parents by the differences.
  formA.Dirty = false;
  A->Counts["de/a.reca"] = {3, 0};
  ASSERT_TRUE(w.SelectNode(&deC));
  EXPECT_EQ(std::pair(deA.Info.XCount, deA.Info.UnXCount), std::pair(3, 0));
  EXPECT_EQ(std::pair(de.Info.XCount, de.Info.UnXCount), std::pair(8, 0));
  EXPECT_EQ(std::pair(project.Info.XCount, project.Info.UnXCount), std::pair(9, 6));
  EXPECT_TRUE(de.Info.Modified);
  EXPECT_EQ(formB.Edited, std::vector<std::string>{"de/c.recb"});
  EXPECT_TRUE(w.CanQuit());

  // Find in Files: the node's files, or every file of the project, grouped by type.
  w.Select(&de);
  const auto names = [](const std::vector<TQEMSearchFileGroup>& Groups) {
    std::vector<std::string> r;
    for (const auto& g : Groups)
      for (const auto& f : g.Files)
        r.push_back(UTF16ToUTF8(g.FileType->GetName()) + ":" + Short(f));
    return r;
  };
  EXPECT_EQ(names(w.SearchGroups(TQEMSearchArea::saNode)),
            (std::vector<std::string>{"Alpha:de/a.reca", "Beta:de/c.recb"}));
  EXPECT_EQ(names(w.SearchGroups(TQEMSearchArea::saProject)).size(), 4u);
  TfrmQEMSearchForm dialog;
  w.PrepareFindInFiles(dialog);
  EXPECT_EQ(dialog.Tabs, 1u << stSearchInFiles);
  dialog.Files.Text = u"x";
  dialog.Area = saNode;
  dialog.CheckAllFileTypes(true);
  TfrmQEMSearchResults results;
  EXPECT_EQ(w.FindInFiles(dialog, results), 0);
  EXPECT_EQ(A->Searched, std::vector<std::string>{"de/a.reca"});
  EXPECT_EQ(B->Searched, std::vector<std::string>{"de/c.recb"});
  EXPECT_TRUE(Shown(TKind::skMessage, u"Search string 'x' not found"));
  A->Form = B->Form = nullptr;
}

TEST_F(WorkspaceModelTest, TranslationsIntoTheSourceFolderAreRefused) {
  UseTestPackage();
  WriteTextFile(Dir.Path() / "src/a.lines", "k = \"v\"\n");
  Project("1=DEU,$00000407,src\n2=FRA,$0000040C,.\n", "1=src/a.lines\n");
  std::vector<std::u16string> errors;
  TQEMWorkspace w;
  w.OnBatchError = [&](const std::u16string& S) { errors.push_back(S); };
  EXPECT_EQ(w.ExecuteCmdLine({u"-I", Dir.U16("P.hlx")}), 2);
  ASSERT_EQ(errors.size(), 2u);
  for (const auto& e : errors)
    EXPECT_NE(e.find(u"holds the source files; nothing is written"), std::u16string::npos)
        << UTF16ToUTF8(e);
  EXPECT_EQ(ReadTextFile(Dir.Path() / "src/a.lines"), "k = \"v\"\n");
  std::vector<std::string> files;
  for (auto& f : std::filesystem::recursive_directory_iterator(Dir.Path()))
    if (f.is_regular_file())
      files.push_back(std::filesystem::relative(f.path(), Dir.Path()).string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"P.hlx", "log.txt", "src/a.lines"}));
}

} // namespace
