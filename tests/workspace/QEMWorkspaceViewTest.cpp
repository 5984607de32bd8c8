// What the desktop window reads from and hands to the workspace: edits that mark the project,
// window and node captions, node images, explorer cells, and a cancelled updater run.
#include <gtest/gtest.h>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "platform/QEMFiles.h"
#include "platform/QEMRegistry.h"
#include "resources/QEMConst.h"
#include "support/TestSupport.h"
#include "translator/FakeFileType.h"
#include "workspace/QEMWorkspace.h"

namespace {

using qemtest::TTempDir;
using qemtest::WriteTextFile;

std::u16string LinesProject(const TTempDir& Dir) {
  WriteTextFile(Dir.Path() / "src/a.lines", "title = \"Hello\"\n");
  WriteTextFile(Dir.Path() / "src/b.lines", "ok = \"OK\"\n");
  WriteTextFile(Dir.Path() / "src/c.lines", "no = \"No\"\n");
  WriteTextFile(Dir.Path() / "P.hlx",
                "[Environment]\nLCID=$00000409\n\n[Extensions]\n1=DEU,$00000407,de\n"
                "2=FRA,$0000040C,fr\n\n[Files]\n1=src/c.lines\n2=src/a.lines\n3=src/b.lines\n");
  return Dir.U16("P.hlx");
}

TEST(WorkspaceViewTest, EditsMarkTheProjectOnlyWhenTheyChangeIt) {
  auto type = std::make_shared<TFakeFileType>(u"Fake", u"Fake files",
                                              std::initializer_list<std::u16string>{u".FAKE"});
  RegisterQEMFileType(type);
  TQEMWorkspace w;
  w.SetRootDir(u"");
  w.SetBaseLang(0);
  w.SetLangExt(0, w.LangRows()[0].Ext);
  w.SetLangXlatDir(0, u"");
  EXPECT_FALSE(w.Modified);
  EXPECT_FALSE(w.FilesAddedButNotUpdated);
  w.SetBaseLang(1033);
  EXPECT_TRUE(w.Modified && w.FilesAddedButNotUpdated);

  w.Modified = w.FilesAddedButNotUpdated = false;
  w.SetRootDir(u"/work/app");
  EXPECT_TRUE(w.Modified && w.FilesAddedButNotUpdated);
  w.Modified = false;
  w.SetLangXlatDir(3, u"xx/");
  EXPECT_TRUE(w.Modified);

  // The Kind drop-down: a registered description sets the type, anything else is unknown.
  ASSERT_EQ(w.AddItemToListView(u"/work/app/a.txt", true), 0);
  EXPECT_EQ(w.FileRows()[0].Kind, SUnknownKind);
  w.SetFileKind(0, u"Fake files");
  EXPECT_EQ(w.FileRows()[0].Kind, u"Fake files");
  EXPECT_EQ(w.FileRows()[0].TypeName, u"Fake");
  w.SaveData();
  EXPECT_EQ(w.Projects().GetProject(0)->SourceFiles.Get2(0), u"Fake");
  w.SetFileKind(0, u"No such files");
  EXPECT_EQ(w.FileRows()[0].Kind, SUnknownKind);
  EXPECT_EQ(w.FileRows()[0].TypeName, u"");
  const std::u16string filter = w.AddFilesFilter();
  EXPECT_EQ(filter.find(u"Fake files (*.fake)|*.fake|"), 0u);
  EXPECT_TRUE(filter.ends_with(SAllFilesFilter));
  UnRegisterQEMFileType(type);
}

TEST(WorkspaceViewTest, CaptionsAndIntegrationTools) {
  TTempDir dir;
  TQEMWorkspace w;
  EXPECT_EQ(w.WindowCaption(), QEMProductName() + u" - " + std::u16string(SNewProject));
  w.OpenFile(LinesProject(dir));
  EXPECT_EQ(w.WindowCaption(), QEMProductName() + u" - P.hlx");

  EXPECT_FALSE(w.IntegrationToolsVisible());
  bIntegrationTools = true;
  EXPECT_TRUE(w.IntegrationToolsVisible());
  bIntegrationTools = false;

  TQEMTreeNode node;
  node.Caption = u"German";
  node.Info.XCount = 3;
  node.Info.UnXCount = 12;
  EXPECT_EQ(node.CaptionWithCounts(), u"German (3/12)");
  node.Info.XCount = node.Info.UnXCount = -1;
  EXPECT_EQ(node.CaptionWithCounts(), u"German (?)");
  node.Placeholder = true;
  node.Caption = std::u16string(SNoFilesToDisplay);
  EXPECT_EQ(node.CaptionWithCounts(), SNoFilesToDisplay);
}

TEST(WorkspaceViewTest, NodeImagesFollowTheirVariant) {
  TQEMImage image;
  image.Width = image.Height = 2;
  image.Pixels = {0xFF00FF, 0x112233, 0x445566, 0xFF00FF};
  auto type = std::make_shared<TFakeFileType>(
      u"Img", u"Image files", std::initializer_list<std::u16string>{u".IMG"}, &image);
  TQEMMemoryImageList list;
  list.Add(image, image.TransparentColor()); // the globe
  QEMFileTypes().SetImageList(&list);
  RegisterQEMFileType(type);
  TQEMWorkspace w;

  TQEMTreeNode file;
  file.Level = 3;
  file.Image = TQEMNodeImage::niFile;
  file.Info.TypeId = type;
  EXPECT_EQ(w.NodeImageIndex(file), type->FFile[0].Index);
  file.ImageVariant = 1;
  EXPECT_EQ(w.NodeImageIndex(file), type->FFile[1].Index);
  EXPECT_NE(type->FFile[1].Index, type->FFile[0].Index);
  // The type has no kind image: its node shows none rather than another type's.
  TQEMTreeNode kind;
  kind.Image = TQEMNodeImage::niKind;
  kind.ImageVariant = 1;
  kind.Info.TypeId = type;
  EXPECT_EQ(w.NodeImageIndex(kind), -1);
  TQEMTreeNode globe;
  globe.Image = TQEMNodeImage::niGlobe;
  EXPECT_EQ(w.NodeImageIndex(globe), 0);
  globe.ImageVariant = 1;
  EXPECT_EQ(w.NodeImageIndex(globe), QEMFileTypes().GlobeBitmap(1).Index);
  TQEMTreeNode project;
  EXPECT_EQ(w.NodeImageIndex(project), -1);

  UnRegisterQEMFileType(type);
  QEMFileTypes().SetImageList(nullptr);
}

TEST(WorkspaceViewTest, ExplorerCellsAndACancelledUpdaterRun) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
  reg.WriteInteger(u"TranslatorCount", 1);
  reg.WriteString(u"Translator0", UTF8ToUTF16(HLX_TEST_PACKAGE));
  TTempDir dir;
  const std::u16string project = LinesProject(dir);
  auto ui = std::make_shared<TQEMScriptedUIServices>();
  const auto old = QEMSetUIServices(ui);
  {
    TQEMWorkspace w;
    EXPECT_EQ(w.ExecuteCmdLine({project}), -1);
    // The updater has no notion of cancelling; the run stops after the file it was on, which
    // is the first in the updater's own order.
    ui->CancelAfter(1);
    EXPECT_TRUE(w.ProjectRunUpdatersExecute(nullptr));
    ui->CancelAfter(-1);
    int notes = 0;
    for (const char* f : {"de/src/a.lines.xlf", "de/src/b.lines.xlf", "de/src/c.lines.xlf",
                          "fr/src/a.lines.xlf", "fr/src/b.lines.xlf", "fr/src/c.lines.xlf"})
      notes += FileExists(dir.U16(f));
    EXPECT_EQ(notes, 1);
    EXPECT_TRUE(FileExists(dir.U16("de/src/a.lines.xlf")));

    EXPECT_TRUE(w.ProjectRunUpdatersExecute(nullptr));
    w.BuildTree();
    w.SelectNode(w.Tree()[0]->Children[0].get());
    ASSERT_EQ(w.NodeView(), TQEMNodeView::nvExplorer);
    ASSERT_EQ(w.ExplorerRows().size(), 3u);
    using M = TQEMProjectStatusModel;
    EXPECT_EQ(w.ExplorerCellText(0, M::scFile), u"a");
    EXPECT_EQ(w.ExplorerCellText(0, M::scUntranslated), u"1");
    EXPECT_EQ(w.ExplorerCellText(0, M::scTotal), u"1");
    EXPECT_EQ(w.ExplorerCellText(0, M::scDone), M::PercentText(0, 1));
    EXPECT_EQ(w.ExplorerCellText(0, M::ColumnCount), u"");
  }
  QEMSetUIServices(old);
  reg.WriteInteger(u"TranslatorCount", 0);
}

} // namespace
