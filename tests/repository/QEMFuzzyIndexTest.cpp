// Fuzzy suggestions: the score, the marked differences, and the n-gram index against a scan of
// every record while the repository changes under it.
#include <gtest/gtest.h>

#include <random>

#include "core/QEMUtils.h"
#include "repository/QEMFuzzyIndex.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "support/TestSupport.h"

namespace {

std::vector<int> Scores(const std::vector<TQEMFuzzyMatch>& Matches) {
  std::vector<int> out;
  for (const auto& m : Matches)
    out.push_back(m.Score);
  return out;
}

class FuzzyTest : public ::testing::Test {
protected:
  void SetUp() override {
    QEMRepositorySetFileName(FDir.U16("rep.tmx"));
    FRep = std::static_pointer_cast<TQEMRepository>(QEMRepositoryGetRepository());
  }
  void TearDown() override { QEMRepositorySetFileName(u""); }
  int Add(const std::u16string& En, const std::u16string& De) {
    const auto rec = FRep->AddRecord();
    rec->SetString(u"en-US", En);
    if (!De.empty()) rec->SetString(u"de-DE", De);
    return rec->Index();
  }
  std::vector<TQEMFuzzyMatch> Find(std::u16string_view Text, int Threshold = 70) {
    return QEMRepositoryFuzzyFind(*FRep, Text, u"en-US", u"de-DE", Threshold);
  }

  qemtest::TTempDir FDir;
  std::shared_ptr<TQEMRepository> FRep;
};

TEST(FuzzyScoreTest, ScoreWeighsCharactersTwiceAndWordsOnce) {
  EXPECT_EQ(QEMFuzzySimilarity(u"Open the file", u"Open the file"), 100);
  // 3 of 15 characters and 1 of 3 words differ: (2 * 80 + 66.7) / 3.
  EXPECT_EQ(QEMFuzzySimilarity(u"Open the file", u"Open the folder"), 76);
  EXPECT_EQ(QEMFuzzySimilarity(u"Open the folder", u"Open the file"), 76);
  // Only equal texts score 100, however long.
  std::u16string many;
  for (int i = 0; i < 100; ++i)
    many += u"word ";
  EXPECT_EQ(QEMFuzzySimilarity(many, many + u"s"), 99);
  EXPECT_EQ(QEMFuzzySimilarity(u"", u""), 100);
  EXPECT_EQ(QEMFuzzySimilarity(u"", u"x"), 0);
  // Case counts as a difference.
  EXPECT_LT(QEMFuzzySimilarity(u"save", u"Save"), 100);
}

TEST(FuzzyScoreTest, DifferencesMarkChangedInsertedAndDroppedWords) {
  using R = TQEMFuzzyRange;
  EXPECT_EQ(QEMFuzzyDifferences(u"Open the folder", u"Open the file"), (std::vector<R>{{9, 6}}));
  // Neighbouring changed words become one range, spaces included.
  EXPECT_EQ(QEMFuzzyDifferences(u"Close all windows now", u"Close the file now"),
            (std::vector<R>{{6, 11}}));
  EXPECT_EQ(QEMFuzzyDifferences(u"Open the file.", u"Open the file"), (std::vector<R>{{13, 1}}));
  // A word the current text has and the suggestion lacks: a place, not a range.
  EXPECT_EQ(QEMFuzzyDifferences(u"Open file", u"Open the file"), (std::vector<R>{{5, 0}}));
  EXPECT_EQ(QEMFuzzyDifferences(u"Open", u"Open it"), (std::vector<R>{{4, 0}}));
  EXPECT_TRUE(QEMFuzzyDifferences(u"Same text", u"Same text").empty());
}

TEST_F(FuzzyTest, OneWordChangeFindsItsNeighbourAboveTheThresholdOnly) {
  Add(u"Open the folder", u"Den Ordner \u00f6ffnen");
  Add(u"Close the window", u"Das Fenster schlie\u00dfen");
  Add(u"Open the file", u""); // no translation: nothing to suggest
  const auto m = Find(u"Open the file");
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Score, 76);
  EXPECT_EQ(m[0].Original, u"Open the folder");
  EXPECT_EQ(m[0].Translation, u"Den Ordner \u00f6ffnen");
  EXPECT_EQ(m[0].Differences, (std::vector<TQEMFuzzyRange>{{9, 6}}));
  EXPECT_TRUE(Find(u"Open the file", 77).empty());
  EXPECT_TRUE(Find(u"Something else entirely").empty());
  EXPECT_TRUE(QEMRepositoryFuzzyFind(*FRep, u"Open the file", u"fr-FR", u"de-DE", 70).empty());
  // Languages stored under their bare tags serve their regions.
  const auto rec = FRep->AddRecord();
  rec->SetString(u"fr", u"Ouvrir le fichier");
  rec->SetString(u"de", u"Die Datei \u00f6ffnen");
  const auto bare = QEMRepositoryFuzzyFind(*FRep, u"Ouvrir les fichiers", u"fr-FR", u"de-DE", 70);
  ASSERT_EQ(bare.size(), 1u);
  EXPECT_EQ(bare[0].Translation, u"Die Datei \u00f6ffnen");
}

TEST_F(FuzzyTest, AtMostFiveBestFirstOncePerPair) {
  for (int i = 0; i < 3; ++i) // the same pair thrice counts once
    Add(u"Print the page", u"Seite drucken");
  Add(u"Print the pages", u"Seiten drucken");
  Add(u"Print the page now", u"Seite jetzt drucken");
  Add(u"Print a page", u"Eine Seite drucken");
  Add(u"Print this page", u"Diese Seite drucken");
  Add(u"Print the pane", u"Bereich drucken");
  Add(u"Print the page", u"Die Seite drucken");
  const auto m = Find(u"Print the page");
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[0].Score, 100);
  EXPECT_EQ(m[1].Score, 100);
  EXPECT_EQ(m[0].Translation, u"Seite drucken");
  EXPECT_EQ(m[1].Translation, u"Die Seite drucken");
  EXPECT_TRUE(m[0].Differences.empty());
  for (size_t i = 1; i < m.size(); ++i)
    EXPECT_GE(m[i - 1].Score, m[i].Score);
}

TEST_F(FuzzyTest, IndexFollowsAddsChangesAndDeletes) {
  Add(u"Delete the record", u"Datensatz l\u00f6schen");
  ASSERT_EQ(Find(u"Delete the records").size(), 1u); // the index exists from here on
  const int added = Add(u"Delete the records now", u"Datens\u00e4tze jetzt l\u00f6schen");
  auto m = Find(u"Delete the records");
  ASSERT_EQ(m.size(), 2u);
  FRep->GetRecord(0)->SetString(u"en-US", u"Nothing alike at all");
  m = Find(u"Delete the records");
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Record, added);
  EXPECT_EQ(Find(u"Nothing alike at all").size(), 1u);
  ASSERT_TRUE(FRep->DeleteRecord(0));
  m = Find(u"Delete the records");
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Record, 0);
  EXPECT_EQ(m[0].Translation, u"Datens\u00e4tze jetzt l\u00f6schen");
  EXPECT_TRUE(Find(u"Nothing alike at all").empty());
}

TEST_F(FuzzyTest, IndexAgreesWithTheScanOfEveryRecord) {
  const std::vector<std::u16string> words = {u"open",   u"save", u"file",    u"folder", u"the",
                                             u"print",  u"page", u"window",  u"cannot", u"be",
                                             u"found",  u"all",  u"records", u"name",   u"new",
                                             u"delete", u"copy", u"options", u"text",   u"%s"};
  std::mt19937 rnd(11);
  const auto sentence = [&] {
    std::u16string s;
    for (int k = 0, n = 2 + int(rnd() % 6); k < n; ++k)
      s += (k ? u" " : u"") + words[rnd() % words.size()];
    return s;
  };
  FRep->BeginUpdate();
  for (int i = 0; i < 2000; ++i)
    Add(sentence(), UTF8ToUTF16("t" + std::to_string(i)));
  FRep->EndUpdate();
  for (int q = 0; q < 24; ++q) {
    const std::u16string text = sentence();
    const auto indexed = Find(text);
    const auto scanned = QEMRepositoryFuzzyScan(*FRep, text, u"en-US", u"de-DE", 70);
    EXPECT_EQ(Scores(indexed), Scores(scanned)) << UTF16ToUTF8(text);
    if (q % 8 == 0) Add(text + u" again", u"neu"); // adds between queries
  }
}

} // namespace
