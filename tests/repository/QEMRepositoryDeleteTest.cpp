#include <gtest/gtest.h>

#include <map>

#include "core/QEMIntlUtils.h"
#include "core/QEMUtils.h"
#include "platform/QEMSysUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "support/TestSupport.h"

namespace {

constexpr LCID En = 0x0409, De = 0x0407, Fr = 0x040C;

std::u16string N(int I) {
  return UTF8ToUTF16(std::to_string(I));
}

class RepositoryDeleteTest : public ::testing::Test {
protected:
  void SetUp() override {
    QEMRepositorySetFileName(Dir.U16("rep.tmx"));
    // Enough records for several index chunks, added in an order unlike the sorted one.
    for (int i = 0; i < Count; ++i) {
      const int k = (i * 7919) % Count;
      QEMRepositoryAddString(u"k" + N(k), En, u"d" + N(k), De, u"");
      if (k % 3 == 0) QEMRepositoryAddString(u"k" + N(k), En, u"f" + N(k), Fr, u"");
    }
    Rep = QEMRepositoryGetRepository();
  }

  // Every index holds every record once, in text order, and maps both ways.
  void CheckIndexes() {
    const auto& list = Rep->GetIndexList();
    for (int l = 0; l < list.Count(); ++l) {
      const std::u16string tag = list.Languages().LangTag(l);
      const LCID lcid = LangTagToLCID(tag);
      const auto& ix = list.Index(l);
      ASSERT_EQ(ix.Count(), Rep->RecCount()) << UTF16ToUTF8(tag);
      std::u16string prev;
      for (int p = 0; p < ix.Count(); ++p) {
        ASSERT_EQ(ix.PositionOf(ix.Item(p)), p);
        const std::u16string t = Rep->GetRecord(ix.Item(p))->GetString(tag);
        if (p > 0) {
          ASSERT_LE(QEMWideCompareStr(lcid, prev, t), 0) << p;
        }
        prev = t;
      }
    }
  }

  std::vector<std::u16string> Get(const std::u16string& Orig, LCID Xlat) {
    TQEMWideStringList l;
    QEMRepositoryGetString(Orig, En, l, Xlat, u"");
    std::vector<std::u16string> out;
    for (int i = 0; i < l.GetCount(); ++i)
      out.push_back(l.Get(i));
    return out;
  }

  static constexpr int Count = 3000;
  qemtest::TTempDir Dir;
  std::shared_ptr<IQEMRepository> Rep;
};

TEST_F(RepositoryDeleteTest, DeleteLanguageRemovesItEverywhere) {
  Rep->GetRecord(Rep->GetIndexList().Index(0).Item(0))->SetNote(u"fr-FR", u"note fr");
  QEMRepositorySave();
  EXPECT_FALSE(Rep->DeleteLanguage(u"it-IT"));
  EXPECT_FALSE(QEMRepositoryModified());

  EXPECT_TRUE(Rep->DeleteLanguage(u"FR-fr")); // tags compare without case
  EXPECT_TRUE(QEMRepositoryModified());
  const auto& langs = Rep->GetIndexList().Languages();
  ASSERT_EQ(langs.Count(), 2);
  EXPECT_EQ(langs.IndexOf(u"fr-FR"), -1);
  EXPECT_EQ(langs.IndexOf(u"de-DE"), 1);
  EXPECT_EQ(Rep->RecCount(), Count);
  CheckIndexes();
  EXPECT_EQ(Get(u"k300", De), std::vector<std::u16string>{u"d300"});
  EXPECT_TRUE(Get(u"k300", Fr).empty());
  int pos = -1;
  ASSERT_TRUE(Rep->Find(u"d42", u"de-DE", pos));
  EXPECT_EQ(Rep->GetRecord(Rep->GetIndexList().Index(1).Item(pos))->GetString(u"en-US"), u"k42");

  // Deleting the first language moves the others' indexes down and keeps them right.
  EXPECT_TRUE(Rep->DeleteLanguage(u"en-US"));
  ASSERT_EQ(langs.Count(), 1);
  CheckIndexes();
  ASSERT_TRUE(Rep->Find(u"d42", u"de-DE", pos));
  EXPECT_EQ(pos, Rep->GetIndexList().Index(0).PositionOf(Rep->GetIndexList().Index(0).Item(pos)));
  Rep->GetRecord(5)->SetString(u"de-DE", u"a first");
  CheckIndexes();

  QEMRepositorySave();
  const std::string saved = qemtest::ReadTextFile(Dir.Path() / "rep.tmx");
  EXPECT_EQ(saved.find("fr-FR"), std::string::npos);
  EXPECT_EQ(saved.find("note fr"), std::string::npos);
  EXPECT_EQ(saved.find("en-US"), std::string::npos);
  EXPECT_NE(saved.find("adminlang=\"de-DE\""), std::string::npos);
  QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  EXPECT_EQ(Rep->RecCount(), Count);
  ASSERT_EQ(Rep->GetIndexList().Count(), 1);
  CheckIndexes();
  ASSERT_TRUE(Rep->Find(u"a first", u"de-DE", pos));
  EXPECT_EQ(pos, 0);
}

TEST_F(RepositoryDeleteTest, DeleteRecordsKeepsLookupsIndexesAndFile) {
  // What each original should still translate to, by record.
  std::map<std::u16string, std::u16string> expected;
  std::vector<std::u16string> removed;
  std::vector<int> doomed{Count - 1, 0, 17, 17, -4, Count + 9};
  for (int r = 2; r < Count; r += 3)
    doomed.push_back(r);
  std::vector<bool> gone(Count);
  for (int r : doomed)
    if (r >= 0 && r < Count) gone[size_t(r)] = true;
  for (int r = 0; r < Count; ++r) {
    auto rec = Rep->GetRecord(r);
    if (!gone[size_t(r)])
      expected[rec->GetString(u"en-US")] = rec->GetString(u"de-DE");
    else
      removed.push_back(rec->GetString(u"en-US"));
  }
  auto held = Rep->GetRecord(Count - 1);
  EXPECT_EQ(Rep->DeleteRecords(doomed), int(Count - expected.size()));
  EXPECT_EQ(Rep->RecCount(), int(expected.size()));
  EXPECT_ANY_THROW(held->GetString(u"en-US")); // past the end now, never another record's text
  CheckIndexes();
  for (const auto& [orig, xlat] : expected)
    ASSERT_EQ(Get(orig, De), std::vector<std::u16string>{xlat});
  for (int r = 0; r < Rep->RecCount(); ++r) {
    auto rec = Rep->GetRecord(r);
    ASSERT_EQ(expected.at(rec->GetString(u"en-US")), rec->GetString(u"de-DE"));
  }
  for (const auto& orig : removed)
    ASSERT_TRUE(Get(orig, De).empty()) << UTF16ToUTF8(orig);

  EXPECT_FALSE(Rep->DeleteRecord(-1));
  EXPECT_FALSE(Rep->DeleteRecord(Rep->RecCount()));
  const std::u16string first = Rep->GetRecord(0)->GetString(u"en-US");
  EXPECT_TRUE(Rep->DeleteRecord(0));
  expected.erase(first);
  EXPECT_TRUE(Get(first, De).empty());

  // The indexes keep working incrementally after a delete.
  QEMRepositoryAddString(u"a new one", En, u"neu", De, u"");
  expected[u"a new one"] = u"neu";
  CheckIndexes();

  QEMRepositorySave();
  QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  EXPECT_EQ(Rep->RecCount(), int(expected.size()));
  CheckIndexes();
  for (int r = 0; r < Rep->RecCount(); ++r) {
    auto rec = Rep->GetRecord(r);
    ASSERT_EQ(expected.at(rec->GetString(u"en-US")), rec->GetString(u"de-DE"));
  }
}

TEST_F(RepositoryDeleteTest, DeleteBeforeAnIndexIsBuilt) {
  QEMRepositorySave();
  QEMRepositorySetFileName(Dir.U16("rep.tmx")); // indexes are built on first use
  std::vector<int> all;
  for (int r = 0; r < Count; r += 2)
    all.push_back(r);
  EXPECT_EQ(Rep->DeleteRecords(all), Count / 2);
  CheckIndexes();
  EXPECT_EQ(Rep->DeleteRecords({}), 0);
}

TEST_F(RepositoryDeleteTest, ProcessWideRepositoryStaysOneObject) {
  struct TCounter : IQEMRepositoryNotifier {
    int N = 0;
    void Changed() override { ++N; }
  };
  auto counter = std::make_shared<TCounter>();
  Rep->SetNotifier(counter);
  QEMRepositorySave();
  QEMRepositorySetFileName(Dir.U16("missing.tmx"));
  EXPECT_EQ(QEMRepositoryGetRepository(), Rep);
  EXPECT_EQ(Rep->RecCount(), 0);
  EXPECT_FALSE(Rep->Modified());
  QEMRepositorySetFileName(Dir.U16("rep.tmx"));
  EXPECT_EQ(Rep->RecCount(), Count);
  EXPECT_EQ(counter->N, 2);
  Rep->SetNotifier(nullptr);

  // A failed Save As keeps the old name, so the next plain save goes where it went before.
  EXPECT_ANY_THROW(QEMRepositorySaveAs(Dir.U16("no/such/dir/x.tmx")));
  EXPECT_EQ(QEMRepositoryGetFileName(), Dir.U16("rep.tmx"));
}

} // namespace
