#include <gtest/gtest.h>

#include "core/QEMTypes.h"

TEST(Statuses, StoredOrdinalsAndTheirNamesNeverMove) {
  // Notes files store the ordinal: these pairs are a file format.
  EXPECT_EQ(rsHold, 5);
  EXPECT_EQ(rsDoNotTranslate, 6);
  EXPECT_EQ(rsEgged, 7);
  EXPECT_EQ(QEMStatusToString(TResStatus(6)), u"Don't Translate");
  EXPECT_EQ(QEMStatusToString(TResStatus(5)), u"Hold");
  EXPECT_EQ(QEMStatusDesignName(rsUnTranslated), u"UnTranslated");
  EXPECT_EQ(QEMStatusDesignName(rsDoNotTranslate), u"DoNotTranslate");
  EXPECT_EQ(QEMFilterCaption(fiShowAutoTranslated), u"Show Auto Translated");
  EXPECT_EQ(QEMStatusToString(TResStatus(8)), u"");
}

TEST(Statuses, DisplayTextLookupIgnoresCase) {
  EXPECT_EQ(QEMStatusFromString(u"newly translated"), rsNewlyTranslated);
  EXPECT_EQ(QEMStatusFromString(u"DON'T TRANSLATE"), rsDoNotTranslate);
  EXPECT_EQ(QEMStatusFromString(u""), -1);
  EXPECT_EQ(QEMStatusFromString(u"Translated "), -1);
}

TEST(Statuses, SetsAndStatisticsClasses) {
  TResStatuses s{rsHold, rsEgged};
  EXPECT_EQ(s.Bits(), 0xA0);
  EXPECT_TRUE(s.Contains(rsHold));
  EXPECT_FALSE(s.Contains(rsTranslated));
  s.Exclude(rsHold).Include(rsUnused);
  EXPECT_EQ(s, (TResStatuses{rsUnused, rsEgged}));
  for (int i = 0; i < QEMStatusCount; ++i) {
    const auto st = TResStatus(i);
    // Each status is counted at most once; Unused and Egged in neither class.
    EXPECT_FALSE(QEMTranslatedStatuses.Contains(st) && QEMUnTranslatedStatuses.Contains(st));
    const bool neither =
        !QEMTranslatedStatuses.Contains(st) && !QEMUnTranslatedStatuses.Contains(st);
    EXPECT_EQ(neither, st == rsUnused || st == rsEgged) << i;
  }
  EXPECT_EQ(TranslatedStatus, rsTranslated);
}
