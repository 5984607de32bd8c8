#pragma once
// A stop-watch that times operations with named laps.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/QEMClasses.h"

// Milliseconds of a monotonic clock.
using TQEMTickFunc = std::function<int64_t()>;
QEM_API int64_t QEMTickCount();

struct TLap {
  int64_t Tick = 0;
  std::u16string Name;
};

class QEM_API TStopWatch {
public:
  // Clock is for tests; the default is QEMTickCount.
  explicit TStopWatch(TQEMTickFunc Clock = {});

  void Start();
  // Ignored unless running; an empty name becomes "Lap n".
  void Lap(const std::u16string& Name = {});
  // Ignored unless running; Show puts the times in a message.
  void Stop(bool Show, const std::u16string& Name = {});
  void ClearLaps() { FLaps.clear(); }

  bool Running() const { return FRunning; }
  const std::vector<TLap>& Laps() const { return FLaps; }
  // -1: the whole run; 0: the first lap; i: lap i since lap i - 1. 0 outside the laps.
  int64_t GetTime(int Index) const;
  void GetTimes(TStringList& List) const;
  // "1 hour, 2 minutes, 3.5 seconds"; hours and minutes only when not zero; a named lap's time
  // as "name = time".
  std::u16string GetTimeStr(int Index) const;
  std::u16string GetAllTimesStr() const;

private:
  int64_t Now() const { return FClock ? FClock() : QEMTickCount(); }

  TQEMTickFunc FClock;
  bool FRunning = false;
  int64_t FStartTick = 0;
  std::vector<TLap> FLaps;
};

// The process's stop-watch, between the unit's start-up and shut-down.
QEM_API extern TStopWatch* QEMStopWatch;
QEM_API void QEMTimingInitialize();
QEM_API void QEMTimingFinalize();
