// The application's cache of the device state. Only the worker thread
// writes it, by changing a copy of the values under the cache's lock; every
// other thread reads a snapshot, so a reader never sees a half-written text
// or a card record being freed. The worker writes a value before it posts
// the notification that makes a window read it.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/diagnostics.h"
#include "app/profile.h"
#include "app/sms_messages.h"
#include "app/traffic.h"
#include "carddetect/nw_card_info.h"

// The cached values, in the order the worker fills them; every value starts
// as the device-gone value.
struct CachedDravikValues {
  // Device states.
  static constexpr int kDeviceNotPresent = 0;
  static constexpr int kDeviceInitializing = 1;
  static constexpr int kDeviceReady = 2;
  static constexpr int kDeviceFailed = 3;
  // PIN/PUK states.
  static constexpr int kPinPukUnknown = 0;
  static constexpr int kPinPukReady = 1;
  static constexpr int kPinRequired = 2;
  static constexpr int kPukRequired = 3;
  // 6..13: the device or the network locks the card.
  static constexpr bool IsDeviceLock(int state) { return state >= 6 && state <= 13; }

  CachedDravikValues();

  std::u16string NetworkName;                      // operator of the current registration
  std::shared_ptr<const CProfile> CurrentProfile;  // never null; replaced, never changed in place
  int WcdmaSignalSupported = 0;
  int SignalValue = 0;
  int ExtendedSignalValue = 0;
  int DeviceState = kDeviceNotPresent;
  int RadioState = 0;                              // 1 radio on
  int RetryCountersSupported = 0;
  int PinRetryCounter = -1;
  int PukRetryCounter = -1;
  int PinPukState = 0;                             // 0 unknown, 1 ready, 2 PIN, 3 PUK, 6..13 locked
  int PinEnabled = 0;
  int CsNetworkState = 0;                          // 0 not registered, 1 home, 2 searching, 3 denied, 4 unknown, 5 roaming
  int PsNetworkState = 0;
  int NetworkType = 0;                             // 1 GPRS, 2 UMTS, 3 LTE, 4 5G
  int EdgeState = 0;
  int HsdpaState = 0;
  int ConnectionState = 0;                         // 0 disconnected, 1 connecting, 2 connected, 3 disconnecting
  int TechnologySelectionMode = 0;
  int TechnologySelectionSupported = 0;
  CDiagnostics Diagnostics;
  std::shared_ptr<const NwCardInfo> CardRecord;    // null while unknown
  int SimInserted = 0;
  std::shared_ptr<const CSmsMessages> SmsStore;    // never null; replaced, never changed in place
  int RemovableKind = 0;
  TrafficFigures Traffic;                          // while connected: sampled once a second
  // Which program holds the card's port and what to do, as the library
  // said it (EventCardHeld); empty while no card is held. Card detection's,
  // not the device's: a reset keeps it.
  std::u16string CardHeldText;

  // The card's driver capability flags; 0 without a card record.
  uint32_t DriverCapabilities() const { return CardRecord ? CardRecord->DriverCapabilities : 0; }
  // The card's family; -1 without a card record.
  int Family() const { return CardRecord ? CardRecord->Family : -1; }
  bool Registered() const;  // the CS or the PS state is 1 or 5
};

class CachedDravik {
 public:
  // The process-wide cache.
  static CachedDravik& Instance();

  CachedDravik() = default;
  CachedDravik(const CachedDravik&) = delete;
  CachedDravik& operator=(const CachedDravik&) = delete;
  virtual ~CachedDravik() = default;

  // A copy of the values as they are now.
  CachedDravikValues Snapshot() const;
  // The worker's write: `change` runs on the values under the lock.
  void Update(const std::function<void(CachedDravikValues&)>& change);
  // Every value back to its device-gone value, with `profile` (when not
  // null) as the current profile: the user's stored profile stays in use
  // across a pull. The held card's sentence stays too: a held card is no
  // device, so it goes only when the library says its port is free.
  void Reset(std::shared_ptr<const CProfile> profile = nullptr);

 private:
  mutable std::mutex mutex_;
  CachedDravikValues values_;
};
