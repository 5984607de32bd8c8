#pragma once
// A unit's process-wide object that is made, settings read and all, on its first use rather
// than at start-up: a batch run never draws a grid. Reads like the pointer it replaces: true
// and usable between Start and Stop, made by the first thread that uses it.
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

template <class T> class TQEMLazyUnit {
public:
  using TMake = std::unique_ptr<T> (*)();
  explicit constexpr TQEMLazyUnit(TMake Make) : FMake(Make) {}
  TQEMLazyUnit(const TQEMLazyUnit&) = delete;
  TQEMLazyUnit& operator=(const TQEMLazyUnit&) = delete;

  void Start() { FStarted.store(true); }
  // The object if it was made, for the unit to save; made or not, the unit has stopped.
  std::unique_ptr<T> Stop() {
    std::lock_guard lock(FMutex);
    FStarted.store(false);
    return std::unique_ptr<T>(FObject.exchange(nullptr));
  }
  bool Started() const { return FStarted.load(); }
  // Without making it: nullptr when nobody has used it yet.
  T* Made() const { return FObject.load(std::memory_order_acquire); }
  // nullptr outside Start..Stop.
  T* Get() {
    if (T* p = Made()) return p;
    std::lock_guard lock(FMutex);
    if (T* p = FObject.load(std::memory_order_relaxed)) return p;
    if (!FStarted.load()) return nullptr;
    T* p = FMake().release();
    FObject.store(p, std::memory_order_release);
    return p;
  }

  T* operator->() { return Get(); }
  T& operator*() { return *Get(); }
  explicit operator bool() const { return Started(); }
  bool operator==(std::nullptr_t) const { return !Started(); }

private:
  TMake FMake;
  std::atomic<bool> FStarted{false};
  std::atomic<T*> FObject{nullptr};
  std::mutex FMutex;
};
