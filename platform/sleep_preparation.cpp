#include "platform/sleep_preparation.h"

#include "platform/device_broadcast.h"
#include "platform/device_notification.h"

namespace platform {

SleepPreparation::SleepPreparation(SleepInhibitor& inhibitor, uint32_t suspend_wait_ms)
    : inhibitor_(inhibitor), suspend_wait_ms_(suspend_wait_ms) {}

bool SleepPreparation::Start() {
  Take();
  return held_;
}

void SleepPreparation::OnPrepareForSleep(bool going_to_sleep) {
  if (going_to_sleep) {
    if (!sleeping_) {
      sleeping_ = true;
      // Sent, not posted: the windows have let go of the card when it returns
      // (or the wait ran out, and the machine must not wait longer).
      SendPowerEvent(PBT_APMSUSPEND, suspend_wait_ms_);
    }
    Release();
    return;
  }
  if (sleeping_) {
    sleeping_ = false;
    BroadcastPowerEvent(PBT_APMRESUMESUSPEND);
  }
  Take();
}

void SleepPreparation::Take() {
  if (!held_) held_ = inhibitor_.Take();
}

void SleepPreparation::Release() {
  if (!held_) return;
  inhibitor_.Release();
  held_ = false;
}

}  // namespace platform
