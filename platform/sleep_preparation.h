// What the program does when the machine is about to sleep and when it wakes.
// logind holds a sleep back while someone holds a *delay inhibitor*; the power
// monitor keeps one, so that before the machine sleeps the windows hear
// PBT_APMSUSPEND and let go of the card, and only then is the inhibitor given
// back. After waking the windows hear PBT_APMRESUMESUSPEND and a new inhibitor
// is taken for the next sleep.
//
// The inhibitor itself is behind an interface, so this logic runs without a
// bus (the power monitor gives it logind's; tests give it a fake).
#pragma once

#include <cstdint>

namespace platform {

class SleepInhibitor {
 public:
  virtual ~SleepInhibitor() = default;
  // Takes a delay inhibitor; false when none could be had (the machine then
  // sleeps without waiting for us).
  virtual bool Take() = 0;
  // Gives the inhibitor back, so the sleep may go on.
  virtual void Release() = 0;
};

// How long a suspend waits for the windows: a fraction of the 5 s that logind
// waits for delay inhibitors by default, so the card is let go of in time.
inline constexpr uint32_t kSuspendWaitMs = 4000;

class SleepPreparation {
 public:
  explicit SleepPreparation(SleepInhibitor& inhibitor, uint32_t suspend_wait_ms = kSuspendWaitMs);
  SleepPreparation(const SleepPreparation&) = delete;
  SleepPreparation& operator=(const SleepPreparation&) = delete;

  // Takes the first inhibitor. False when it could not be taken.
  bool Start();
  // logind's PrepareForSleep: true before a sleep, false after waking. A
  // repeated signal is not passed on twice, and a wake-up without a sleep
  // that we saw (the monitor started mid-way) only takes the inhibitor.
  void OnPrepareForSleep(bool going_to_sleep);

  bool HoldsInhibitor() const { return held_; }

 private:
  void Take();
  void Release();

  SleepInhibitor& inhibitor_;
  const uint32_t suspend_wait_ms_;
  bool held_ = false;
  bool sleeping_ = false;
};

}  // namespace platform
