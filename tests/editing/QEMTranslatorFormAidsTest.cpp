#include <gtest/gtest.h>

#include <filesystem>

#include "HLXLines.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMFiles.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

namespace {

struct TSpec {
  std::u16string Orig;
  std::u16string Xlat;
  TResStatus Status;
};

// A translated file of the line format (English to German) and its notes.
std::u16string MakeFile(const qemtest::TTempDir& Dir, const std::vector<TSpec>& Items) {
  std::string body;
  for (size_t i = 0; i < Items.size(); ++i)
    body += "k" + std::to_string(i) + " = \"" + UTF16ToUTF8(Items[i].Xlat) + "\"\n";
  qemtest::WriteTextFile(Dir.Path() / "a.lines", body);
  const std::u16string file = Dir.U16("a.lines");
  auto mgr = hlxtest::LinesMgrClass().Create(file, false);
  mgr->Stats()->SetOrigLCID(0x409);
  mgr->Stats()->SetXlatLCID(0x407);
  for (size_t i = 0; i < Items.size(); ++i) {
    auto item = mgr->NotesFile()->CreateNotesItem();
    item->SetID(u"k" + UTF8ToUTF16(std::to_string(i)));
    item->SetOrigText(Items[i].Orig);
    item->SetXlatText(Items[i].Xlat);
    item->SetStatus(Items[i].Status);
    mgr->Items()->Add(item);
  }
  mgr->Save(false, 0, 0, false);
  return file;
}

std::vector<TQEMQualityWarning> Kinds(const std::vector<TQEMQualityIssue>& Issues) {
  std::vector<TQEMQualityWarning> k;
  for (const auto& i : Issues)
    k.push_back(i.Kind);
  return k;
}

} // namespace

TEST(TranslatorFormAids, WarningsByRowAndFileAdviseButNeverBlockAnEditOrASave) {
  const auto ui = std::make_shared<TQEMScriptedUIServices>();
  struct TRestore {
    std::shared_ptr<IQEMUIServices> Old;
    ~TRestore() { QEMSetUIServices(Old); }
  } restore{QEMSetUIServices(ui)};
  qemtest::TTempDir dir;
  const std::u16string file =
      MakeFile(dir, {
                        {u"Save changes?", u"Änderungen speichern", rsTranslated},
                        {u"&Open", u"Öffnen", rsTranslated},
                        {u"Close", u"Schließen", rsTranslated},
                        {u"Cancel", u"Cancel", rsUnTranslated},
                        {u"Page 1 of 10", u"Seite 1 von", rsNewlyTranslated},
                        {u"Help", u"Ein Fehlr", rsTranslated},
                    });
  {
    TQEMTranslatorFormModel form(hlxtest::LinesMgrClass());
    form.LoadFromFile(file, idColCurr, 0);
    ASSERT_EQ(form.RowCount(), 6);
    EXPECT_EQ(Kinds(form.Warnings(0)), std::vector{qwEndPunctuation});
    EXPECT_EQ(Kinds(form.Warnings(1)), std::vector{qwAccelerator});
    EXPECT_TRUE(form.Warnings(2).empty());
    EXPECT_TRUE(form.Warnings(3).empty()); // untranslated: nothing to query yet
    EXPECT_TRUE(form.Warnings(99).empty());

    // The file's list holds every item in order, with the row the filters give it.
    form.SetFilter(fiShowNewlyTranslated, false);
    auto all = form.FileWarnings();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].ItemIndex, 0);
    EXPECT_EQ(all[1].ItemIndex, 1);
    EXPECT_EQ(all[2].ItemIndex, 4);
    EXPECT_EQ(all[2].Row, -1);
    EXPECT_EQ(all[2].Issue.Message, u"The number 10 of the original is missing");
    form.SetFilter(fiShowNewlyTranslated, true);
    EXPECT_EQ(form.FileWarnings()[2].Row, 4);

    // Switched off in the options, a kind is gone from both.
    QEMINTOptionProps->QualityWarnAccelerator = false;
    EXPECT_TRUE(form.Warnings(1).empty());
    EXPECT_EQ(form.FileWarnings().size(), 2u);
    QEMINTOptionProps->QualityWarnAccelerator = true;

    // Entering a text with warnings is taken as it is, and so is saving it.
    EXPECT_TRUE(form.AcceptEdit(2, idColCurr, u"Schließen  ."));
    EXPECT_EQ(Kinds(form.Warnings(2)), (std::vector{qwEndPunctuation, qwDoubledSpace}));
    EXPECT_TRUE(form.FileSave());
    EXPECT_FALSE(form.IsDirty());
    EXPECT_TRUE(ui->Shown().empty());

    // The speller follows the file's target language.
    if (std::filesystem::exists("/usr/share/hunspell/de_DE.dic")) {
      EXPECT_EQ(form.SpellChecker().DictionaryName(), u"de_DE");
      const auto miss = form.FileMisspellings();
      ASSERT_EQ(miss.size(), 1u);
      EXPECT_EQ(miss[0].ItemIndex, 5);
      EXPECT_EQ(miss[0].Range, (TQEMTextRange{4, 5}));
    }
  }
}
