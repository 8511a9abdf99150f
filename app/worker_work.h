// The worker thread's work, on the worker thread only: the library's event
// and error handlers, the requests of the main window, and the queries they
// share. Internal to the worker's files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/cached_dravik.h"
#include "app/traffic.h"
#include "app/worker_thread.h"
#include "devicelib/result_codes.h"
#include "platform/window.h"

class CProfile;
class CSmsMessages;
struct SmsDraft;
struct SmsMessage;

class CWorkerThread::Work {
 public:
  Work(platform::HWND main_window, CachedDravik& cache);
  ~Work();
  Work(const Work&) = delete;
  Work& operator=(const Work&) = delete;

  // Thread start and end: the library, the radio timer, the stored profile.
  void Begin(platform::HMODULE module);
  void End();

  // A request of the main window (app_messages.h); the records it carries
  // are freed here.
  void OnRequest(uint32_t request, uintptr_t wparam, intptr_t lparam);
  void OnEvent(uint32_t event, uintptr_t parameter);
  void OnError(uint32_t type, DvResult primary, DvResult secondary);
  // The radio-state timer.
  void OnTimer();

 private:
  // --- posting (worker_thread.cpp) ---
  void Notify(uint32_t message, uintptr_t wparam = 0, intptr_t lparam = 0);
  void NotifyError(DvResult code, intptr_t flag = 0);
  void NotifyStateChanged();

  // --- events (worker_events.cpp) ---
  void OnDeviceStateChanged();
  void OnDeviceReady();
  void OnConnectionStateChanged();
  void OnNetworkStateChanged(bool packet_switched);
  void OnSignalStrengthChanged();
  void OnWcdmaSignalStrengthChanged();
  void OnSimStateChanged();
  void OnTemporarySms(uintptr_t parameter);
  void OnStatusReport(uintptr_t parameter);
  void OnCardHeld(uintptr_t parameter);

  // --- shared queries (worker_queries.cpp) ---
  DvResult QueryRetryCounters();
  DvResult QueryPinPukState();
  DvResult QueryPinMode();
  DvResult QueryTechnologyMode();
  void RefreshRadioState();
  void QueryNetworkInfo(int state, int other_state);
  void QueryImsi();
  void QueryProfile();
  DvResult RefreshSmsCapacity();
  void ReadSms(int index);  // -1: every message
  void SetSmsReading(bool reading);
  // The user's stored profile, the current one after every reset.
  std::shared_ptr<const CProfile> StoredProfile() const;

  // --- requests (worker_requests.cpp) ---
  void EnterPin(const PinText* pin);
  void EnterPuk(const PinText* puk, const PinText* new_pin);
  void ChangePin(const PinText* old_pin, const PinText* new_pin);
  void SetPinMode(bool enable, const PinText* pin);
  void SetTechnologyMode(int mode);
  void SaveProfile(const CProfile* profile);
  void ConnectOrDisconnect(bool connect);
  // After the PIN/PUK state query of a PIN request: the SIM is open.
  void AfterPinAccepted(DvResult entered, DvResult state_query);

  // --- USSD (worker_ussd.cpp) ---
  void RunUssdOperation(uintptr_t operation, const std::u16string* text);
  void OnUssdMessage(uintptr_t parameter);

  // --- traffic (worker_traffic.cpp) ---
  // After the connection state was stored: a new connection's figures start
  // from nothing, a connection that went down takes its figures along.
  void FollowConnectionForTraffic(int state);
  // The radio timer while connected: one sample of the statistics.
  void SampleTraffic();

  // --- SMS store (worker_sms.cpp) and diagnostics (worker_diagnostics.cpp) ---
  void RunSmsOperation(uintptr_t operation, SmsMessage* record);
  // Send or save of a text of any length.
  void RunTextOperation(bool send, SmsDraft* draft);
  // Writes the parts of a long message; their slots in order, or none
  // after a failure (told, and the parts written before it deleted).
  std::vector<uint32_t> WriteParts(const SmsDraft& draft, const std::vector<std::u16string>& parts);
  // Sends the stored parts in order; stops at the first failure (told).
  void SendParts(const std::vector<uint32_t>& slots, bool report_requested);
  // The next reference for a long message: counted up for each, passing
  // over those of long messages the SIM still holds.
  uint32_t NextLongMessageReference(const CSmsMessages& store);
  DvResult DeleteFromSim(uint32_t index);
  void RunDiagnostics();

  platform::HWND main_window_;
  CachedDravik& cache_;
  std::u16string timer_class_;
  platform::HWND timer_window_ = nullptr;
  bool library_ready_ = false;
  TrafficMeter traffic_;
  bool traffic_failure_logged_ = false;  // once a connection
  uint32_t long_message_reference_ = 0;  // of the last long message; for the program's run
};
