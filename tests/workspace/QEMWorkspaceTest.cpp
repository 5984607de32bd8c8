#include "workspace/QEMWorkspace.h"

#include <gtest/gtest.h>

#include "core/QEMIntlUtils.h"
#include "core/QEMStrs.h"
#include "core/QEMUtilsRegistry.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "platform/QEMRegistry.h"
#include "resources/QEMConst.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"
#include "translator/QEMTranslatorMgr.h"

namespace {

using qemtest::ReadTextFile;
using qemtest::TTempDir;
using qemtest::WriteTextFile;

// The settings name the test package as the only package, as a user's would.
void UseTestPackage() {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
  reg.WriteInteger(u"TranslatorCount", 1);
  reg.WriteString(u"Translator0", UTF8ToUTF16(HLX_TEST_PACKAGE));
}

struct TProject {
  TTempDir Dir;
  std::string Hlx;
  TProject() {
    WriteTextFile(Dir.Path() / "src/a.lines", "title = \"Hello\"\nbye = \"Good bye\"\n");
    WriteTextFile(Dir.Path() / "src/b.lines", "ok = \"OK\"\n");
    Hlx = (Dir.Path() / "Demo.hlx").string();
    WriteTextFile(
        Hlx,
        "[Environment]\nLCID=$00000409\n\n[Extensions]\n1=DEU,$00000407,de\n2=FRA,$0000040C,fr\n\n"
        "[Files]\n1=src/a.lines\n2=src/b.lines\n");
  }
};

TEST(WorkspaceTest, FieldsLanguagesFilesAndHistory) {
  TTempDir dir;
  TQEMWorkspace w;
  EXPECT_FALSE(w.AllFieldsEntered(false));
  EXPECT_EQ(w.ProblemList(), SNoRootDirectory);
  w.RootDir = dir.U16();
  w.BaseLang = 1033;
  EXPECT_FALSE(w.AllFieldsEntered(false));
  EXPECT_EQ(w.ProblemList(), SNoLanguages);

  auto& rows = w.LangRows();
  const auto de = std::find_if(rows.begin(), rows.end(), [](auto& r) { return r.Locale == 1031; }) -
                  rows.begin();
  ASSERT_LT(size_t(de), rows.size());
  w.SetLangChecked(int(de), true);
  EXPECT_EQ(rows[size_t(de)].XlatDir, u"DEU/");
  w.SetLangChecked(int(de), false);
  EXPECT_EQ(rows[size_t(de)].XlatDir, u"");
  w.SetLangChecked(int(de), true);
  EXPECT_FALSE(w.AllFieldsEntered(false));
  EXPECT_EQ(w.ProblemList(), SNoFilesToProcess);

  // Files of no known type are skipped unless asked for, and a file is listed once.
  EXPECT_EQ(w.AddItemToListView(dir.U16("x/readme.txt"), false), -1);
  EXPECT_EQ(w.AddItemToListView(dir.U16("x/readme.txt"), true), 0);
  EXPECT_EQ(w.AddItemToListView(dir.U16("x/readme.txt"), true), 0);
  // A namesake with another extension is another file, not a duplicate.
  EXPECT_EQ(w.AddItemToListView(dir.U16("x/readme.md"), true), 1);
  EXPECT_EQ(w.FileRows().size(), 2u);
  EXPECT_EQ(w.FileRows()[0].Path, u"x/");
  EXPECT_EQ(w.FileRows()[0].Kind, SUnknownKind);
  EXPECT_TRUE(w.AllFieldsEntered(false));

  for (int i = 0; i < 31; ++i)
    w.AddReopenItem(u"/p/" + UTF8ToUTF16(std::to_string(i)) + u".hlx");
  EXPECT_EQ(w.History().size(), 30u);
  EXPECT_EQ(w.History().back(), u"/p/1.hlx");
  w.AddReopenItem(u"/P/5.HLX");
  EXPECT_EQ(w.History().front(), u"/P/5.HLX");
  EXPECT_EQ(w.History().size(), 30u);
}

TEST(WorkspaceTest, OpenKeepsThePreviousProjectOnFailure) {
  TProject p;
  TQEMWorkspace w;
  const std::u16string upper = UTF8ToUTF16(p.Hlx.substr(0, p.Hlx.size() - 4) + ".HLX");
  std::filesystem::rename(p.Hlx, QEMNativePath(upper));
  w.OpenFile(upper);
  EXPECT_EQ(w.Projects().GetCount(), 1);
  try {
    w.OpenFile(p.Dir.U16("notes.txt"));
    FAIL();
  } catch (const EQEMError& e) {
    EXPECT_EQ(e.Message(), u"Unknown file extension: .txt");
  }
  EXPECT_EQ(w.CurrFileName(), upper);
  EXPECT_EQ(w.FileRows().size(), 2u);
}

TEST(WorkspaceTest, IntegrationRunTranslatesAndBuildsTheTree) {
  UseTestPackage();
  TProject p;
  {
    TQEMWorkspace w;
    EXPECT_EQ(w.ExecuteCmdLine({u"-I", UTF8ToUTF16(p.Hlx)}), 0);
    EXPECT_EQ(w.LastStats().NewCount, 6); // three items, two languages
    EXPECT_EQ(w.LastStats().LangCount, 2);
    EXPECT_EQ(ReadTextFile(p.Dir.Path() / "de/src/a.lines"),
              ReadTextFile(p.Dir.Path() / "src/a.lines"));
    EXPECT_TRUE(FileExists(p.Dir.U16("fr/src/b.lines.xlf")));

    w.BuildTree();
    ASSERT_EQ(w.Tree().size(), 1u);
    const TQEMTreeNode& project = *w.Tree()[0];
    ASSERT_EQ(project.Children.size(), 2u); // languages, sorted by name
    EXPECT_EQ(project.Children[0]->Caption, LCIDToLangName(1036));
    EXPECT_EQ(project.Info.UnXCount, 6);
    EXPECT_EQ(project.FileCount(), 4);
    const TQEMTreeNode& file = *project.Children[0]->Children[0]->Children[0];
    EXPECT_EQ(file.Caption, u"a");
    EXPECT_EQ(file.Image, TQEMNodeImage::niFile);
    EXPECT_EQ(file.ImageVariant, 1);

    // A dictionary over a language node holds the pairs of both of its files.
    auto ui = std::make_shared<TQEMScriptedUIServices>();
    const auto old = QEMSetUIServices(ui);
    ui->QueueValue(p.Dir.U16("words.dct"));
    ui->QueueAnswer(TQEMAnswer::anYes);
    w.Select(project.Children[1].get());
    EXPECT_TRUE(w.MakeDictionary());
    QEMSetUIServices(old);
    const std::string dict = ReadTextFile(p.Dir.Path() / "words.dct");
    EXPECT_NE(dict.find("Good bye"), std::string::npos);
    EXPECT_NE(dict.find("OK"), std::string::npos);
  }
}

TEST(WorkspaceTest, DialogOptionsAndTheEditor) {
  QEMINTOptionProps->AddToRepositoryTranslated = true;
  QEMINTOptionProps->AddToRepositoryHold = true;
  const TQEMAddToRepositoryData add = QEMAddToRepositoryOptions(u"checked");
  EXPECT_TRUE(add.Status.Contains(rsAutoTranslated));
  EXPECT_TRUE(add.Status.Contains(rsHold));
  EXPECT_EQ(add.CommentString, u"checked");

  // The editor starts without a shell; one that cannot start is reported.
  TTempDir dir;
  TQEMWorkspace w;
  w.RootDir = dir.U16();
  WriteTextFile(dir.Path() / "a b.ofm", "object A: TA\nend\n");
  w.FileRows().push_back({u"a b.ofm", u"", u"", u""});
  auto ui = std::make_shared<TQEMScriptedUIServices>();
  const auto old = QEMSetUIServices(ui);
  QEMINTOptionProps->EditorFilename = u"/nonexistent/editor --wait";
  w.OpenSourceFile(0);
  QEMINTOptionProps->EditorFilename = u"true";
  w.OpenSourceFile(0);
  QEMSetUIServices(old);
  ASSERT_EQ(ui->Shown().size(), 1u);
  EXPECT_NE(ui->Shown()[0].Text.find(u"/nonexistent/editor"), std::u16string::npos);
}

// A damaged history count costs one message and nothing else.
TEST(WorkspaceTest, HugeAndTextualHistoryCounts) {
  auto ui = std::make_shared<TQEMScriptedUIServices>();
  const auto previous = QEMSetUIServices(ui);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
    QEMRegDeleteNumbered(reg, u"FileHistory", 0);
    reg.WriteInteger(u"FileHistoryCount", 2147483647);
    reg.WriteString(u"FileHistory0", u"/p/a.hlx");
    reg.WriteString(u"FileHistory1", u"/p/b.hlx");
    reg.WriteString(u"FileHistory3", u"/p/after-a-gap.hlx");
  }
  {
    TQEMWorkspace w;
    EXPECT_EQ(w.History(), (std::vector<std::u16string>{u"/p/a.hlx", u"/p/b.hlx"}));
    ASSERT_EQ(ui->Shown().size(), 1u);
    EXPECT_EQ(ui->Shown()[0].Text,
              Format(SSettingsCountClamped, u"FileHistoryCount", u"2147483647", 30, 30));
  }
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
    EXPECT_EQ(reg.ReadInteger(u"FileHistoryCount"), 2);
    EXPECT_FALSE(reg.ValueExists(u"FileHistory3"));
    reg.WriteString(u"FileHistoryCount", u"many");
  }
  {
    TQEMWorkspace w;
    EXPECT_TRUE(w.History().empty());
    ASSERT_EQ(ui->Shown().size(), 2u);
    EXPECT_EQ(ui->Shown()[1].Text, Format(SBadSettingsCount, u"FileHistoryCount", u"many", 30));
  }
  QEMSetUIServices(previous);
}

// The history is written back only when it changed or was not stored as it would be written.
TEST(WorkspaceTest, UnchangedHistoryIsNotWrittenBack) {
  const auto plant = [](bool TextCount) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), true));
    QEMRegDeleteNumbered(reg, u"FileHistory", 0);
    if (TextCount)
      reg.WriteString(u"FileHistoryCount", u"1");
    else
      reg.WriteInteger(u"FileHistoryCount", 1);
    reg.WriteString(u"FileHistory0", u"/p/a.hlx");
    reg.WriteString(u"FileHistory7", u"/p/stray.hlx"); // a rewrite would drop it
  };
  const auto stored = [](const std::u16string& Name) {
    TRegistry reg;
    return reg.OpenKeyReadOnly(QEMBaseRegKey()) ? reg.GetDataType(Name) : TRegDataType::rdUnknown;
  };
  plant(false);
  { TQEMWorkspace w; }
  EXPECT_EQ(stored(u"FileHistory7"), TRegDataType::rdString);

  plant(true);
  { TQEMWorkspace w; }
  EXPECT_EQ(stored(u"FileHistoryCount"), TRegDataType::rdInteger);
  EXPECT_EQ(stored(u"FileHistory7"), TRegDataType::rdUnknown);

  plant(false);
  {
    TQEMWorkspace w;
    w.AddReopenItem(u"/p/b.hlx");
  }
  EXPECT_EQ(stored(u"FileHistory1"), TRegDataType::rdString);
  EXPECT_EQ(stored(u"FileHistory7"), TRegDataType::rdUnknown);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QEMBaseRegKey(), false));
  QEMRegDeleteNumbered(reg, u"FileHistory", 0);
  reg.DeleteValue(u"FileHistoryCount");
}

// The rows of the whole table are made when first asked for, by any edit as by the list.
TEST(WorkspaceTest, NewProjectRowsAreTheWholeTableWhenFirstUsed) {
  TQEMWorkspace w;
  w.SetLangExt(0, u"ZZZ");
  ASSERT_EQ(w.LangRows().size(), size_t(QEMLanguages->GetCount()));
  EXPECT_EQ(w.LangRows()[0].Locale, QEMLanguages->GetLCID(0));
  EXPECT_EQ(w.LangRows()[0].Ext, u"ZZZ");
  EXPECT_EQ(w.LangRows()[1].Ext, QEMDefaultLangExt(QEMLanguages->GetLCID(1)));
  w.Modified = false; // nothing to ask about
  w.FileNew();
  EXPECT_EQ(w.LangRows()[0].Ext, QEMDefaultLangExt(QEMLanguages->GetLCID(0)));
}

} // namespace
