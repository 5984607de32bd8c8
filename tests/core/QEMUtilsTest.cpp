#include "core/QEMUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {
// Records the order in which list-owned objects die.
std::vector<int> gDestroyed;

struct TCountedPair : TQEMIntPair {
  explicit TCountedPair(int Id) : TQEMIntPair(u"", 0, 0, u""), FId(Id) {}
  ~TCountedPair() override { gDestroyed.push_back(FId); }
  int FId;
};
} // namespace

TEST(QEMUtilsIntegerList, IndexedAccessAndBounds) {
  TQEMDirtyList l;
  EXPECT_EQ(l.Add(7), 0);
  EXPECT_EQ(l.Add(-3), 1);
  EXPECT_EQ(l.Add(7), 2);
  l.Put(1, INT32_MIN);
  EXPECT_EQ(l.Get(1), INT32_MIN);
  EXPECT_EQ(l.IndexOf(7), 0);
  EXPECT_EQ(l.IndexOf(99), -1);
  l.Delete(0);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.IndexOf(7), 1);
  EXPECT_THROW(l.Get(2), EStringListError);
  EXPECT_THROW(l.Put(-1, 0), EStringListError);
  EXPECT_THROW(l.Delete(2), EStringListError);
}

TEST(QEMUtilsStringIntegerList, AdjustMovesOnlyBeyondPosAndIntsTravelWithText) {
  TQEMStringIntegerList l;
  l.AddItem(u"d", 11);
  l.AddItem(u"a", 10);
  l.InsertObject(1, u"c", nullptr);
  l.SetInt(1, -4);
  l.AddItem(u"b", 1000);
  l.AdjustList(10, 3);
  l.AdjustList(0, 0);
  EXPECT_EQ(l.GetInt(0), 14);
  EXPECT_EQ(l.GetInt(1), -4);
  EXPECT_EQ(l.GetInt(2), 10); // equal to Pos stays
  l.SetSorted(true);
  l.AdjustList(-5, -2);
  EXPECT_EQ(std::vector<int32_t>({8, 1001, -6, 12}),
            std::vector<int32_t>({l.GetInt(0), l.GetInt(1), l.GetInt(2), l.GetInt(3)}));
}

TEST(QEMUtilsIntPairList, AdjustStartsFromIndexAndBeyondPos) {
  TQEMStringIntPairList l;
  l.AddItem(u"s0", u"R", 50, 1, u"x");
  l.AddItem(u"s1", u"R", 50, 2, u"y");
  l.AddItem(u"s2", u"R", 20, 3, u"z");
  l.Add(u"bare");
  l.AddItem(u"s4", u"R", 21, 4, u"w");
  l.AdjustList(1, 20, 5);
  EXPECT_EQ(l.GetStart(0), 50); // before FromIndex
  EXPECT_EQ(l.GetStart(1), 55);
  EXPECT_EQ(l.GetStart(2), 20); // equal to Pos
  EXPECT_EQ(l.GetIntPair(3), nullptr);
  EXPECT_EQ(l.GetStart(4), 26);
  l.AdjustList(0, 0, -6);
  EXPECT_EQ(l.GetStart(2), 14);
}

TEST(QEMUtilsIntPairList, LookupsAreExactAndCaseSensitive) {
  TQEMStringIntPairList l;
  l.AddItem(u"Caption", u"DLG_MAIN", 0, 0, u"");
  l.AddItem(u"caption", u"dlg_main", 0, 0, u"");
  l.AddItem(u"Caption", u"DLG_MAIN", 0, 0, u"");
  l.AddItem(u"Caption ", u"DLG_OTHER", 0, 0, u"");
  EXPECT_FALSE(l.CaseSensitive());
  EXPECT_EQ(l.IndexOf(u"caption"), 1);
  EXPECT_EQ(l.IndexOf(u"CAPTION"), -1);
  EXPECT_EQ(l.NextOf(u"Caption", -1), 0);
  EXPECT_EQ(l.NextOf(u"Caption", 0), 2);
  EXPECT_EQ(l.NextOf(u"Caption", 2), -1);
  EXPECT_EQ(l.NumberOfResName(u"DLG_MAIN"), 2);
  EXPECT_EQ(l.NumberOfResName(u"DLG"), 0);
  // Through the base class the override still decides.
  const TStringList& base = l;
  EXPECT_EQ(base.IndexOf(u"CAPTION"), -1);
}

TEST(QEMUtilsIntPairList, EntryWithoutPairReadsEmptyAndSetterCreatesIt) {
  TQEMStringIntPairList l;
  l.Add(u"bare");
  EXPECT_EQ(l.GetResName(0) + l.GetStr(0), u"");
  EXPECT_EQ(l.GetStart(0) + l.GetSize(0), 0);
  EXPECT_EQ(l.NumberOfResName(u""), 1);
  l.SetSize(0, 9);
  l.SetStr(0, u"text");
  const TQEMIntPair* p = l.GetIntPair(0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->FSize, 9);
  EXPECT_EQ(p->FStr + p->FResname, u"text");
  EXPECT_THROW(l.SetStart(1, 0), EStringListError);
}

TEST(QEMUtilsStringObjectList, OwnsAndFreesItsObjects) {
  gDestroyed.clear();
  {
    TQEMStringIntPairList l;
    for (int i = 0; i < 3; ++i)
      l.AddObject(u"", new TCountedPair(i));
    l.Delete(1);
    l.PutObject(0, new TCountedPair(10));
    l.Clear();
    EXPECT_EQ(gDestroyed, std::vector<int>({1, 0, 10, 2}));
    l.AddObject(u"last", new TCountedPair(7));
  }
  EXPECT_EQ(gDestroyed.size(), 5u);
}

TEST(QEMUtilsStringPairList, KeyLookupIgnoresCaseAndBareEntriesReadEmpty) {
  TQEMStringPairList l;
  l.AddPair(u"Key", u"RES", u"v1");
  EXPECT_EQ(l.GetV(u"KEY"), u"v1");
  EXPECT_EQ(l.GetV(u"missing"), u"");
  l.SetV(u"kEy", u"v2");
  l.SetV(u"New", u"v3");
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Get2(0), u"v2");
  EXPECT_EQ(l.GetResName(0), u"RES");
  EXPECT_EQ(l.NextOf(u"key", -1), -1);
  l.AddPair(u"k2", u"res", u"");
  EXPECT_EQ(l.NumberOfResName(u"RES"), 1);
  EXPECT_EQ(l.NumberOfResName(u""), 1);

  l.Add(u"a");
  l.Add(u"b");
  EXPECT_EQ(l.Get2(3) + l.GetResName(3), u"");
  l.Put2(3, u"value");
  l.PutResName(4, u"R");
  EXPECT_EQ(l.GetV(u"A"), u"value");
  EXPECT_EQ(l.GetResName(3) + l.Get2(4), u"");
  EXPECT_EQ(l.GetResName(4), u"R");
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.GetV(u"KEY"), u"");
}

TEST(QEMUtilsStringWideStringList, PairsAndKeyLookup) {
  TQEMStringWideStringList l;
  EXPECT_EQ(l.AddPair(u"Name", u"w\u00e9rt"), 0);
  l.Add(u"bare");
  EXPECT_EQ(l.GetW(1), u"");
  l.PutW(1, u"filled");
  EXPECT_EQ(l.GetV(u"BARE"), u"filled");
  l.SetV(u"name", u"changed");
  l.SetV(u"other", u"added");
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l.GetW(0), u"changed");
  EXPECT_EQ(l.GetV(u"Other"), u"added");
  EXPECT_EQ(l.NextOf(u"name", -1), -1);
  EXPECT_EQ(l.NumberOfResName(u""), 0);
}

TEST(QEMUtilsWideStringList, InterfaceAccessAndTrimList) {
  std::shared_ptr<IQEMWideStrings> w = std::make_shared<TQEMWideStringList>();
  for (auto s : {u" a ", u"", u" \t\r\n", u"b", u"   ", u"\u00a0"}) // U+00A0 is no white space
    w->Add(s);
  w->Put(3, u"\tc");
  w->TrimList();
  ASSERT_EQ(w->GetCount(), 3);
  EXPECT_EQ(w->Get(0), u" a ");
  EXPECT_EQ(w->Get(1), u"\tc");
  EXPECT_EQ(w->Get(2), u"\u00a0");
  EXPECT_THROW(w->Get(3), EStringListError);
}

// Duplicates are never filtered, whatever AllowDuplicates says; order holds across the
// compaction of long interleaved runs.
TEST(QEMUtilsStringQue, FirstInFirstOutAndEmptyPop) {
  TQEMStringQue q;
  EXPECT_EQ(q.Pop(), u"");
  q.Push(u"one");
  q.Push(u"two");
  q.Push(u"one");
  EXPECT_EQ(q.Pop(), u"one");
  q.SetAllowDuplicates(true);
  q.Push(u"one");
  EXPECT_EQ(q.Pop(), u"two");
  EXPECT_EQ(q.Pop(), u"one");
  EXPECT_EQ(q.Pop(), u"one");
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(q.Pop(), u"");
  q.Push(u"x");
  q.Clear();
  EXPECT_TRUE(q.IsEmpty());

  int pushed = 0, popped = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 700; ++i)
      q.Push(IntToStr(pushed++));
    for (int i = 0; i < 500; ++i)
      ASSERT_EQ(q.Pop(), IntToStr(popped++));
  }
  while (!q.IsEmpty())
    ASSERT_EQ(q.Pop(), IntToStr(popped++));
  EXPECT_EQ(popped, pushed);
}
