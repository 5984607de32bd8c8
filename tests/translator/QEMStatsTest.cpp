#include <gtest/gtest.h>

#include "platform/QEMDateTime.h"
#include "platform/QEMUIServices.h"
#include "translator/FakeFileType.h"
#include "translator/QEMStats.h"
#include "translator/QEMTiming.h"

namespace {

TEST(StatsTest, ClearSumAndSummary) {
  QEMFileTypesInitialize();
  auto ofm = std::make_shared<TFakeFileType>(u"OFM", u"OFM"),
       rc = std::make_shared<TFakeFileType>(u"RC", u"RC");
  RegisterQEMFileType(ofm);
  RegisterQEMFileType(rc);
  ofm->Count = 5;
  rc->Count = 9;
  TStats total{1, 1, 1, 1, 1, 1};
  ClearStats(total);
  EXPECT_EQ(rc->Count, 0);
  EXPECT_EQ(total.UnusedCount, 0);
  SumStats(total, TStats{1, 2, 3, 4, 5, 6});
  SumStats(total, TStats{1, 2, 3, 4, 5, 6});
  ofm->Count = 2;

  auto ui = std::make_shared<TQEMScriptedUIServices>();
  auto old = QEMSetUIServices(ui);
  ShowStats(total);
  QEMSetUIServices(old);
  UnRegisterQEMFileType(ofm);
  UnRegisterQEMFileType(rc);
  ASSERT_EQ(ui->Shown().size(), 1u);
  EXPECT_EQ(ui->Shown()[0].Text,
            u"Processed\nFiles\n  OFM: 2\n  Total: 2\nItems\n  New: 6\n  Changed: 8\n"
            u"  Unchanged: 10\n  Unused: 12\n  Total: 36\nProjects: 2\nLanguages: 4\n");
}

TEST(StatsTest, ProjectStatusPercentages) {
  TQEMProjectStatusModel m;
  EXPECT_EQ(m.StatusTexts().back(), u"% Done: 100%"); // empty project
  TFakeFileType type(u"OFM", u"OFM");
  TFileStats none, some;
  type.Stats.Translated = 1;
  type.Stats.UnTranslated = 2;
  some.Translated = 2;
  some.UnTranslated = 1;
  m.AddRow(u"b.ofm", &type, some);
  m.AddRow(u"a.ofm", &type, none);
  m.AddFile(u"broken", &type);
  m.AddFile(u"c.xyz", nullptr);
  m.AddFile(u"d.ofm", &type);
  EXPECT_EQ(m.CellText(0, TQEMProjectStatusModel::scDone), u"66%");
  EXPECT_EQ(m.CellText(1, TQEMProjectStatusModel::scDone), u"0%");
  EXPECT_EQ(m.CellText(2, TQEMProjectStatusModel::scDone), u"<unknown>");
  EXPECT_EQ(m.CellText(2, TQEMProjectStatusModel::scTotal), u"<unknown>");
  EXPECT_EQ(m.CellText(3, TQEMProjectStatusModel::scFileType), u"<unknown>");
  EXPECT_EQ(m.StatusTexts(), (std::vector<std::u16string>{u"Translated: 3", u"Untranslated: 3",
                                                          u"Total: 6", u"% Done: 50%"}));
  m.SortBy(TQEMProjectStatusModel::scDone, true);
  EXPECT_EQ(m.Row(0).FileName, u"b.ofm");
  EXPECT_EQ(m.Row(4).FileName, u"c.xyz"); // unknown last when descending, in input order
  m.SortBy(TQEMProjectStatusModel::scFile);
  EXPECT_EQ(m.Row(0).FileName, u"a.ofm");
}

TEST(StopWatchTest, Texts) {
  int64_t now = 1000;
  TStopWatch w([&] { return now; });
  w.Lap(u"early");
  w.Stop(false);
  EXPECT_TRUE(w.Laps().empty()); // neither counts before Start
  w.Start();
  now += 1500;
  w.Stop(false, u"ignored");
  EXPECT_EQ(w.GetAllTimesStr(), u"  1.5 seconds");
  w.Start();
  now += 1000;
  w.Lap();
  now += 3600000 + 60000 + 20;
  w.Lap(u"load");
  now += 2 * 3600000 + 120000;
  auto ui = std::make_shared<TQEMScriptedUIServices>();
  auto old = QEMSetUIServices(ui);
  w.Stop(true);
  QEMSetUIServices(old);
  EXPECT_EQ(w.GetTimeStr(0), u"Lap 1 = 1 second");
  EXPECT_EQ(w.GetTimeStr(1), u"load = 1 hour, 1 minute, 0.02 seconds");
  EXPECT_EQ(w.GetTimeStr(2), u"Lap 3 = 2 hours, 2 minutes, 0 seconds");
  EXPECT_EQ(w.GetTime(-1), 3 * 3600000 + 3 * 60000 + 1020);
  EXPECT_EQ(w.GetTime(7), 0);
  ASSERT_EQ(ui->Shown().size(), 1u);
  EXPECT_EQ(ui->Shown()[0].Text,
            u"Elapsed time: \r\n  Lap 1 = 1 second\r\n  load = 1 hour, 1 minute, 0.02 seconds\r\n"
            u"  Lap 3 = 2 hours, 2 minutes, 0 seconds\r\nTotal = 3 hours, 3 minutes, 1.02 seconds");
  TStringList times;
  w.GetTimes(times);
  EXPECT_EQ(times.Get(0), u"1000");
}

} // namespace

// With a fixed clock a run's times are as reproducible as its dates.
TEST(StopWatchTest, FollowsAFixedClock) {
  TDateTime now = EncodeDateTime(2026, 1, 2, 3, 4, 5);
  QEMSetClockForTesting([&] { return now; });
  TStopWatch w;
  w.Start();
  now += 90.5 / 86400;
  w.Stop(false);
  const int64_t elapsed = w.GetTime(-1);
  QEMSetClockForTesting({});
  EXPECT_EQ(elapsed, 90500);
}
