// The "List Warnings" batch operation and the warning counts of the run statistics, over the
// bundled example with the default packages as built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/QEMStrs.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"
#include "translator/QEMTranslator.h"
#include "workspace/ExampleRunFixture.h"
#include "workspace/QEMWorkspace.h"

namespace fs = std::filesystem;

namespace {

class WorkspaceWarningsTest : public ExampleRunFixture {
protected:
  void TearDown() override {
    ExampleRunFixture::TearDown();
    QEMINTOptionProps->QualityWarnEndPunctuation = true;
  }

  // Types Text into the first untranslated row of a file whose original is a plain word run,
  // saves, and returns that item's id.
  std::u16string Translate(TQEMWorkspace& W, const char* File, const std::u16string& Text) {
    const TQEMTreeNode* node = W.FindFileNode(Dir.U16(File));
    if (!node) return u"";
    auto* type = dynamic_cast<TQEMBaseFileType*>(node->Info.TypeId.get());
    const TQEMTranslatorMgrClass& cls = type->Translator()->GetMgrClass();
    TQEMTranslatorFormModel window(cls, TQEMTranslatorFormModel::SettingsFor(cls));
    window.LoadFromFile(Dir.U16(File), idColCurr, 0);
    for (int r = 0; r < window.RowCount(); ++r) {
      const IQEMNotesItemPtr item = window.RowItem(r);
      const std::u16string orig = item->GetOrigText();
      if (item->GetStatus() != rsUnTranslated || orig.size() < 4 ||
          !std::all_of(orig.begin() + 1, orig.end() - 1,
                       [](char16_t c) { return (c < 128 && std::isalpha(int(c))) || c == u' '; }))
        continue;
      if (!window.AcceptEdit(r, idColCurr, Text) || !window.FileSave()) return u"";
      return item->GetID();
    }
    return u"";
  }

  static int Count(const TQEMListWarningsData& D, const std::u16string& Id, TQEMQualityWarning K) {
    return int(std::count_if(D.Warnings.begin(), D.Warnings.end(), [&](const TQEMFileWarning& w) {
      return w.ItemId == Id && w.Kind == K;
    }));
  }
};

TEST_F(WorkspaceWarningsTest, ListsEachFileByTheKindsSwitchedOnAndCountsThemInTheRun) {
  TQEMWorkspace w;
  w.ExecuteCmdLine({Dir.U16("demo.hlx")});
  w.BuildTree();
  const std::u16string doubled = Translate(w, "de/src/MainForm.ofm", u"'Ein  Text'");
  const std::u16string stop = Translate(w, "de/src/ContactForm.ofm", u"'Ein Text.'");
  ASSERT_FALSE(doubled.empty());
  ASSERT_FALSE(stop.empty());
  w.BuildTree();
  // The German form files: a warning in each of the two edited files.
  const TQEMTreeNode* forms = w.FindFileNode(Dir.U16("de/src/MainForm.ofm"))->Parent;
  w.Select(const_cast<TQEMTreeNode*>(forms));
  ASSERT_TRUE(w.ListWarnings());
  const TQEMListWarningsData& all = w.LastWarnings();
  EXPECT_EQ(all.Files, forms->FileCount());
  EXPECT_EQ(Count(all, doubled, qwDoubledSpace), 1);
  EXPECT_EQ(Count(all, stop, qwEndPunctuation), 1);
  const size_t before = all.Warnings.size();
  QEMINTOptionProps->QualityWarnEndPunctuation = false;
  ASSERT_TRUE(w.ListWarnings());
  const TQEMListWarningsData& some = w.LastWarnings();
  EXPECT_EQ(Count(some, doubled, qwDoubledSpace), 1);
  EXPECT_TRUE(std::none_of(some.Warnings.begin(), some.Warnings.end(),
                           [](const TQEMFileWarning& x) { return x.Kind == qwEndPunctuation; }));
  EXPECT_LT(some.Warnings.size(), before);
  // An unchanged rerun still counts every file's warnings, by the same switches.
  TQEMWorkspace run;
  ASSERT_EQ(run.ExecuteCmdLine({u"-I", Dir.U16("demo.hlx"), u"-O", Dir.U16("stats.json")}), 0);
  int32_t counted = 0;
  for (const TQEMRunFile& f : run.RunReport().Files) {
    ASSERT_TRUE(f.Warnings.has_value()) << UTF16ToUTF8(f.File);
    if (fs::path(UTF16ToUTF8(f.File)).parent_path() == Dir.Path() / "de/src" &&
        f.FileType == forms->Info.TypeId->GetName())
      counted += *f.Warnings;
  }
  EXPECT_EQ(size_t(counted), some.Warnings.size());
}

} // namespace
