// What the two connections through a card's WWAN driver share
// (NdisConnection on the driver's NDIS control device,
// BroadcomNdisConnection on the card's application port): the monitor
// thread that reads the driver's state every 200 ms, the check that turns
// a state record into the connection state (connected only once the
// adapter has a usable address), disconnect, close and the interface index.
//
// Threads. Connect, disconnect, close, statistics and the interface index
// run on the client thread, the monitor on its own thread; both check the
// driver's state, one check at a time (the check lock, taken before the
// device's connection-state lock, never after it). The two flags are
// atomics because the state setter clears one under its own lock. The
// adapter name is written only while no monitor runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "carddetect/nw_card_info.h"
#include "devicelib/connection.h"
#include "platform/handle.h"
#include "platform/wwan_ndis.h"

namespace GSM {

class NdisConnectionBase : public Connection {
 public:
  static constexpr uint32_t kMonitorPeriodMs = 200;
  // The adapter name is kept to this many bytes.
  static constexpr size_t kAdapterNameMax = 63;

  ~NdisConnectionBase() override;

  // Dial-up entries are the dial-up connection's.
  DvResult ConnectToEntry(std::u16string_view phonebook, std::u16string_view entry, const char16_t* apn,
                          const char16_t* user_name, const char16_t* password) override;
  DvResult Disconnect() override;
  DvResult GetIpInterfaceIndex(uint32_t* index) override;
  void Close(bool end_call) override;
  void OnConnectionStateSet(int state) override;

  // Reads the driver's state and moves the connection state after it.
  // `origin` is 1 for a check of its own, 0 for the monitor's poll (only the
  // log tells them apart). Returns the read's failure, else 0.
  DvResult CheckNdisState(int origin);

 protected:
  enum class Flavour { Ndis, Broadcom };

  NdisConnectionBase(Device& device, Flavour flavour);

  bool IsBroadcom() const { return flavour_ == Flavour::Broadcom; }

  // The driver's end: whether there is a handle to send on, and one request
  // (the system error, 0 on success; 6 without a handle).
  virtual bool HasDriverHandle() const = 0;
  virtual uint32_t DriverRequest(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                                 uint32_t& returned) = 0;
  // After the monitor has ended, on the closing thread.
  virtual void AfterMonitorStopped() {}

  // The state record; 0x84000009 without a handle.
  DvResult ReadState(platform::NdisStateRecord& record);
  // The driver's disconnect request with its log lines; the request's
  // failure as a result code.
  DvResult SendDisconnectRequest();
  // The statistics request, for GetStatistics after its own checks.
  DvResult ReadStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration);
  // Sets the APN on the card before the call, when one is given.
  DvResult SetApnIfGiven(const char16_t* apn);
  // The shared part of connect: the guard, the busy check, "connect
  // requested" and Connecting. A failure is returned before anything moved.
  DvResult BeginConnect(const char* log_line);
  // The shared part of open: takes the adapter name, forgets the last
  // record, clears the stop flag and the cached index and starts the
  // monitor (a failure to start is returned); then Disconnected.
  DvResult StartMonitor(const NwCardInfo& info);
  // The guard of statistics (also for a card that cannot multiplex: the
  // statistics are the driver's, not the port's) and the two argument
  // checks; a failure is raised.
  void GuardStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) const;

  void Run() override;
  int RequestStop() override;

  std::atomic<bool> connect_requested_{false};
  std::atomic<bool> disconnect_in_progress_{false};

 private:
  void SetStopFlag();
  // Whether the adapter has a usable address; a failure of the adapter
  // list is returned.
  DvResult HasValidIpAddress(bool& valid) const;
  // The connection state a driver state stands for.
  int MapDriverState(uint32_t state) const;
  bool ClearsConnectRequest(uint32_t state) const;

  const Flavour flavour_;
  std::string adapter_name_;  // written only while no monitor runs
  std::mutex check_lock_;
  platform::NdisStateRecord last_record_{};  // under check_lock_
  std::atomic<uint32_t> interface_index_{0};
  std::atomic<bool> stop_{false};
  platform::UniqueHandle stop_event_;  // manual reset; wakes the monitor's pause
};

}  // namespace GSM
