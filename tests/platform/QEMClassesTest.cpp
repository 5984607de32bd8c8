#include <gtest/gtest.h>

#include "platform/QEMClasses.h"

namespace {
struct TCounted : TObject {
  explicit TCounted(int& Alive) : FAlive(Alive) { ++FAlive; }
  ~TCounted() override { --FAlive; }
  int& FAlive;
};
} // namespace

TEST(StringList, IndexOfIgnoresCaseUnlessToldOtherwise) {
  TStringList l;
  l.Add(u"Alpha");
  l.Add(u"beta");
  EXPECT_EQ(l.IndexOf(u"ALPHA"), 0);
  EXPECT_EQ(l.IndexOf(u"gamma"), -1);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf(u"ALPHA"), -1);
  EXPECT_THROW(l.Get(2), EStringListError);
}

TEST(StringList, DuplicateRuleActsOnlyWhenSorted) {
  TStringList l;
  l.SetDuplicates(TDuplicates::dupError);
  l.Add(u"x");
  EXPECT_NO_THROW(l.Add(u"x"));
  TStringList s;
  s.SetSorted(true);
  s.SetDuplicates(TDuplicates::dupIgnore);
  s.Add(u"b");
  s.Add(u"a");
  EXPECT_EQ(s.Add(u"B"), 1);
  ASSERT_EQ(s.Count(), 2);
  EXPECT_EQ(s.Get(0), u"a");
  s.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(s.Add(u"a"), EStringListError);
  EXPECT_THROW(s.Insert(0, u"z"), EStringListError);

  // Find gives the insertion point of a missing text.
  s.Add(u"delta");
  int at = -1;
  EXPECT_FALSE(s.Find(u"c", at));
  EXPECT_EQ(at, 2);
  EXPECT_TRUE(s.Find(u"DELTA", at));
  EXPECT_EQ(at, 2);
}

TEST(StringList, OwningListFreesReplacedRemovedAndRefusedObjects) {
  int alive = 0;
  {
    TStringList l(true);
    l.AddObject(u"a", new TCounted(alive));
    l.AddObject(u"b", new TCounted(alive));
    l.PutObject(0, new TCounted(alive));
    EXPECT_EQ(alive, 2);
    l.Delete(1);
    EXPECT_EQ(alive, 1);
    TObject* taken = l.ExtractObject(0);
    EXPECT_EQ(alive, 1);
    delete taken;
    l.SetSorted(true);
    l.SetDuplicates(TDuplicates::dupIgnore);
    l.AddObject(u"c", new TCounted(alive));
    l.AddObject(u"C", new TCounted(alive)); // refused: its object must not leak
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
  {
    TStringList notOwning;
    TCounted kept(alive);
    notOwning.AddObject(u"k", &kept);
    notOwning.Clear();
    EXPECT_EQ(alive, 1);
  }
}
