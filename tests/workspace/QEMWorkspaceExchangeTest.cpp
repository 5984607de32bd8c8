// XLIFF and PO export and import over the bundled example, with the default packages as built.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/QEMStrs.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMRegistry.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "support/TestSupport.h"
#include "translator/QEMTranslator.h"
#include "workspace/ExampleRunFixture.h"
#include "workspace/QEMWorkspace.h"

namespace fs = std::filesystem;

namespace {

class WorkspaceExchangeTest : public ExampleRunFixture {
protected:
  // The workspace of the example with its tree, as the desktop program has it.
  std::unique_ptr<TQEMWorkspace> Open() {
    auto w = std::make_unique<TQEMWorkspace>();
    w->ExecuteCmdLine({Dir.U16("demo.hlx")});
    w->BuildTree();
    return w;
  }
  void Replace(const fs::path& File, const std::string& From, const std::string& To) {
    std::string text = qemtest::ReadTextFile(File);
    const size_t at = text.find(From);
    ASSERT_NE(at, std::string::npos) << From;
    qemtest::WriteTextFile(File, text.replace(at, From.size(), To));
  }

  qemtest::TTempDir Out;
};

TEST_F(WorkspaceExchangeTest, ImportAppliesAsTypedAndReportsRefusals) {
  auto w = Open();
  const TQEMExchangeReport e = w->ExportNode(
      *w->Tree().front(), Out.U16(), TQEMExchangeFormat::efXliff, {0x407}, {u"MainForm.ofm"});
  ASSERT_EQ(e.Files, 1);
  const fs::path xlf = Out.Path() / "de-DE/src/MainForm.ofm.xlf";
  Replace(xlf, "<source>Search by name or city</source>",
          "<source>Search by name or city</source>\n<target>Suchen &lt;Name&gt;</target>");
  Replace(xlf, "<source>Save the address book</source>",
          "<source>Save the address book</source>\n<target>%s speichern</target>");
  Replace(xlf, "<source>Open an address book</source>",
          "<source>Open an address book!</source>\n<target>Offen</target>");
  const TQEMExchangeReport i = w->ImportExchange(Out.U16());
  EXPECT_EQ(i.Changed, 1);
  EXPECT_EQ(i.Files, 1);
  ASSERT_EQ(i.Errors.size(), 2u);
  EXPECT_NE(i.Errors[0].find(u"source of the item"), std::u16string::npos);
  EXPECT_NE(i.Errors[1].find(u"was refused: Format specifiers"), std::u16string::npos)
      << UTF16ToUTF8(i.Errors[1]);
  const std::string ofm = qemtest::ReadTextFile(Dir.Path() / "de/src/MainForm.ofm");
  EXPECT_NE(ofm.find("TextHint = 'Suchen <Name>'"), std::string::npos);
  EXPECT_NE(ofm.find("Hint = 'Save the address book'"), std::string::npos);
}

// A file open in a translator window is imported through that window, which shows the result
// and keeps its filters.
TEST_F(WorkspaceExchangeTest, ImportGoesThroughTheOpenWindow) {
  auto w = Open();
  const std::u16string file = Dir.U16("de/src/MainForm.ofm");
  const TQEMTreeNode* node = w->FindFileNode(file);
  ASSERT_NE(node, nullptr);
  auto* type = dynamic_cast<TQEMBaseFileType*>(node->Info.TypeId.get());
  ASSERT_NE(type, nullptr);
  const TQEMTranslatorMgrClass& cls = type->Translator()->GetMgrClass();
  TQEMTranslatorFormModel window(cls, TQEMTranslatorFormModel::SettingsFor(cls));
  window.LoadFromFile(file, idColCurr, 0);
  window.SetFilter(fiShowUntranslated, false);
  ASSERT_EQ(w->ExportNode(*node, Out.U16(), TQEMExchangeFormat::efPO).Files, 1);
  const fs::path po = Out.Path() / "de-DE/src/MainForm.ofm.po";
  Replace(po, "msgid \"Search by name or city\"\nmsgstr \"\"",
          "msgid \"Search by name or city\"\nmsgstr \"Suchen\"");
  const TQEMExchangeReport i = w->ImportExchange(Out.U16());
  EXPECT_TRUE(i.Errors.empty()) << UTF16ToUTF8(i.Errors.front());
  EXPECT_EQ(i.Changed, 1);
  EXPECT_FALSE(window.Filter(fiShowUntranslated));
  EXPECT_FALSE(window.IsDirty());
  bool shown = false;
  for (int r = 0; r < window.RowCount(); ++r)
    shown = shown || window.CellText(r, idColCurr) == u"'Suchen'";
  EXPECT_TRUE(shown);
  EXPECT_NE(qemtest::ReadTextFile(Dir.Path() / "de/src/MainForm.ofm").find("TextHint = 'Suchen'"),
            std::string::npos);
}

} // namespace
