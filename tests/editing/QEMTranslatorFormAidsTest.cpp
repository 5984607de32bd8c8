#include <gtest/gtest.h>

#include <filesystem>

#include "HLXLines.h"
#include "editing/QEMTranslatorForm.h"
#include "platform/QEMFiles.h"
#include "platform/QEMSysUtils.h"
#include "platform/QEMUIServices.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "settings/QEMINTOptionProp.h"
#include "support/TestSupport.h"

namespace {

struct TItemDef {
  std::u16string Orig;
  std::u16string Xlat;
  TResStatus Status;
};

// A translated file of the line format (English to German) and its notes.
std::u16string MakeFile(const qemtest::TTempDir& Dir, const std::vector<TItemDef>& Items) {
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

namespace {

// A repository of its own under a temporary name, with English-German pairs.
struct TRepositoryFixture {
  explicit TRepositoryFixture(const qemtest::TTempDir& Dir) {
    QEMRepositorySetFileName(Dir.U16("rep.tmx"));
    Rep = QEMRepositoryGetRepository();
  }
  ~TRepositoryFixture() { QEMRepositorySetFileName(u""); }
  void Add(const std::u16string& En, const std::u16string& De) {
    const auto rec = Rep->AddRecord();
    rec->SetString(u"en-US", En);
    rec->SetString(u"de-DE", De);
  }
  std::shared_ptr<IQEMRepository> Rep;
};

struct TScriptedUI {
  std::shared_ptr<TQEMScriptedUIServices> UI = std::make_shared<TQEMScriptedUIServices>();
  std::shared_ptr<IQEMUIServices> Old = QEMSetUIServices(UI);
  ~TScriptedUI() { QEMSetUIServices(Old); }
};

} // namespace

TEST(TranslatorFormAids, SuggestionAcceptedIsTypedWithItsStatusAndValidation) {
  TScriptedUI ui;
  qemtest::TTempDir dir;
  TRepositoryFixture repo(dir);
  repo.Add(u"Open the folder", u"Den Ordner \u00f6ffnen");
  repo.Add(u"Print %d pages", u"%s Seiten drucken"); // a specifier the original does not have
  const std::u16string file = MakeFile(dir, {{u"Open the file", u"", rsUnTranslated},
                                             {u"Print %d page", u"", rsUnTranslated},
                                             {u"Nothing like it", u"", rsUnTranslated}});
  TQEMTranslatorFormSettings settings;
  settings.CheckFormatSpecifiers = true;
  TQEMTranslatorFormModel form(hlxtest::LinesMgrClass(), settings);
  form.LoadFromFile(file, idColCurr, 0);
  ASSERT_EQ(form.RowCount(), 3);

  auto s = form.Suggestions(0);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].Score, 76);
  EXPECT_EQ(s[0].Differences, (std::vector<TQEMFuzzyRange>{{9, 6}}));
  ASSERT_TRUE(form.AcceptSuggestion(0, s[0]));
  EXPECT_EQ(form.CellText(0, idColCurr), u"Den Ordner \u00f6ffnen");
  EXPECT_EQ(form.RowItem(0)->GetStatus(), TQEMTranslatorFormModel::EditedStatus());
  EXPECT_TRUE(form.IsDirty());

  // Validation refuses a suggestion as it would refuse the typed text.
  s = form.Suggestions(1);
  ASSERT_EQ(s.size(), 1u);
  const std::u16string before = form.CellText(1, idColCurr);
  EXPECT_FALSE(form.AcceptSuggestion(1, s[0]));
  EXPECT_EQ(form.CellText(1, idColCurr), before);
  EXPECT_EQ(form.RowItem(1)->GetStatus(), rsUnTranslated);
  EXPECT_FALSE(ui.UI->Shown().empty());

  EXPECT_TRUE(form.Suggestions(2).empty());
  // The threshold comes from the options.
  QEMINTOptionProps->FuzzyThreshold = 77;
  EXPECT_TRUE(form.Suggestions(0).empty());
  QEMINTOptionProps->FuzzyThreshold = 70;
  EXPECT_TRUE(form.Suggestions(99).empty());
}

TEST(TranslatorFormAids, ConcordanceFindsAPhraseInBothLanguages) {
  TScriptedUI ui;
  qemtest::TTempDir dir;
  TRepositoryFixture repo(dir);
  repo.Add(u"Save the file", u"Datei speichern");
  repo.Add(u"Profile of the FILE", u"Profil der Datei");
  repo.Add(u"Open a folder", u"Einen Ordner \u00f6ffnen");
  const std::u16string file = MakeFile(dir, {{u"File", u"", rsUnTranslated}});
  TQEMTranslatorFormModel form(hlxtest::LinesMgrClass());
  form.LoadFromFile(file, idColCurr, 0);

  auto hits = form.Concordance(u"the file");
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].OriginalMatches, (std::vector<TQEMFuzzyRange>{{5, 8}}));
  EXPECT_EQ(hits[1].OriginalMatches, (std::vector<TQEMFuzzyRange>{{11, 8}}));
  EXPECT_TRUE(hits[0].TranslationMatches.empty());

  // Whole words: "file" is not found inside "Profile".
  TQEMConcordanceOptions options;
  options.CaseSensitive = true;
  hits = form.Concordance(u"file", options);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].Record, 0);

  hits = form.Concordance(u"Datei");
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].TranslationMatches, (std::vector<TQEMFuzzyRange>{{0, 5}}));
  EXPECT_EQ(hits[1].TranslationMatches, (std::vector<TQEMFuzzyRange>{{11, 5}}));
  EXPECT_EQ(hits[1].Translation, u"Profil der Datei");

  options.WholeWordsOnly = false;
  options.CaseSensitive = false;
  EXPECT_EQ(form.Concordance(u"file", options).size(), 2u);
  options.MaxRecords = 1;
  EXPECT_EQ(form.Concordance(u"file", options).size(), 1u);
  EXPECT_TRUE(form.Concordance(u"").empty());
}
