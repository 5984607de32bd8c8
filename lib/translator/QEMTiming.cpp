#include "translator/QEMTiming.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/QEMDateTime.h"
#include "platform/QEMFormat.h"
#include "platform/QEMUIServices.h"
#include "resources/QEMConst.h"

int64_t QEMTickCount() {
  using namespace std::chrono;
  // A fixed clock makes the times of a run as reproducible as its dates.
  if (QEMClockIsFixed()) return int64_t(std::llround(DateTimeToUnix(QEMNowUTC()) * 1000));
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TStopWatch::TStopWatch(TQEMTickFunc Clock) : FClock(std::move(Clock)) {}

void TStopWatch::Start() {
  if (FRunning) return;
  FRunning = true;
  FLaps.clear();
  FStartTick = Now();
}

void TStopWatch::Lap(const std::u16string& Name) {
  if (!FRunning) return;
  const int64_t tick = Now();
  FLaps.push_back(TLap{tick, Name.empty() ? Format(STimeLap, int(FLaps.size()) + 1) : Name});
}

void TStopWatch::Stop(bool Show, const std::u16string& Name) {
  if (!FRunning) return;
  FRunning = false;
  const int64_t tick = Now();
  std::u16string name;
  if (!FLaps.empty()) name = Name.empty() ? Format(STimeLap, int(FLaps.size()) + 1) : Name;
  FLaps.push_back(TLap{tick, std::move(name)});
  if (Show) QEMUIServices().MessageBox(std::u16string(STimeElapsed) + u"\r\n" + GetAllTimesStr());
}

int64_t TStopWatch::GetTime(int Index) const {
  if (FLaps.empty() || Index < -1 || Index >= int(FLaps.size())) return 0;
  if (Index == -1) return FLaps.back().Tick - FStartTick;
  return FLaps[size_t(Index)].Tick - (Index == 0 ? FStartTick : FLaps[size_t(Index) - 1].Tick);
}

void TStopWatch::GetTimes(TStringList& List) const {
  List.Clear();
  for (int i = 0; i < int(FLaps.size()); ++i)
    List.Add(IntToStr(GetTime(i)));
}

std::u16string TStopWatch::GetTimeStr(int Index) const {
  const int64_t ms = std::max<int64_t>(GetTime(Index), 0);
  auto part = [](std::u16string& S, const std::u16string& Num, std::u16string_view One,
                 std::u16string_view Many) {
    if (!S.empty()) S += u", ";
    S += Num + u" " + std::u16string(Num == u"1" ? One : Many);
  };
  std::u16string s;
  const int64_t hours = ms / 3600000, minutes = ms / 60000 % 60, secMs = ms % 60000;
  if (hours) part(s, IntToStr(hours), STimeHour, STimeHours);
  if (minutes) part(s, IntToStr(minutes), STimeMinute, STimeMinutes);
  std::u16string sec = Format(u"%d.%.3d", secMs / 1000, secMs % 1000);
  while (sec.back() == u'0')
    sec.pop_back();
  if (sec.back() == u'.') sec.pop_back();
  if (sec.empty()) sec = u"0";
  part(s, sec, STimeSecond, STimeSeconds);
  if (Index >= 0 && Index < int(FLaps.size()) && !FLaps[size_t(Index)].Name.empty())
    return Format(STimeNamed, FLaps[size_t(Index)].Name, s);
  return s;
}

std::u16string TStopWatch::GetAllTimesStr() const {
  if (FLaps.size() == 1) return u"  " + GetTimeStr(0);
  std::u16string s;
  for (int i = 0; i < int(FLaps.size()); ++i)
    s += u"  " + GetTimeStr(i) + u"\r\n";
  return s + Format(STimeTotal, GetTimeStr(-1));
}

TStopWatch* QEMStopWatch = nullptr;

void QEMTimingInitialize() {
  if (!QEMStopWatch) QEMStopWatch = new TStopWatch;
}

void QEMTimingFinalize() {
  delete QEMStopWatch;
  QEMStopWatch = nullptr;
}
