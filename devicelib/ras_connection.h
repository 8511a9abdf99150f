// The dial-up connection: cards without a network adapter of their own make
// their packet-data call as a dial-up link over the card's modem through
// the system's dial-up service. The connection keeps a phonebook entry for
// the card's modem (checked, and corrected, before each dial), dials
// "*99***1#", follows the service's progress events, watches the link with
// a monitor thread every 250 ms, and hangs up.
//
// A card that cannot multiplex has one serial port for commands and data:
// its application port is closed for the call and opened again once the
// call is over. The reopening runs on the client thread (the monitor and
// the service's thread hand it over through the communicator window), and
// only what the connection closed is opened again; a port that does not
// open again takes the device down.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "devicelib/connection.h"
#include "platform/dial_up.h"
#include "platform/handle.h"

namespace GSM {

// The number every entry dials, and the device type of its modem.
inline constexpr char16_t kPacketDataNumber[] = u"*99***1#";
inline constexpr char16_t kModemDeviceType[] = u"modem";

class RasConnection final : public Connection {
 public:
  static constexpr uint32_t kMonitorPeriodMs = 250;

  explicit RasConnection(Device& device);
  ~RasConnection() override;

  DvResult Open() override;
  void Close(bool end_call) override;
  DvResult ConnectToEntry(std::u16string_view phonebook, std::u16string_view entry, const char16_t* apn,
                          const char16_t* user_name, const char16_t* password) override;
  DvResult Connect(const char16_t* apn, const char16_t* user_name, const char16_t* password,
                   int authentication) override;
  DvResult Disconnect() override;
  DvResult GetStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) override;
  DvResult GetIpInterfaceIndex(uint32_t* index) override;
  void OnConnectionStateSet(int state) override;
  void OnPostedWork(uint32_t work) override;

  // The entry the library writes for a modem: the card's modem, the packet
  // data number, PPP over IP, idle disconnection off.
  static platform::RasEntry EntryImage(std::u16string_view modem_name);
  // Brings `entry` in line with the modem: true when a field had to change.
  static bool CorrectEntry(platform::RasEntry& entry, std::u16string_view modem_name);

  // The last progress stage the service reported.
  uint32_t LastRasState() const { return ras_state_.load(); }
  bool HasHandle() const;

 protected:
  void Run() override;
  int RequestStop() override;

 private:
  enum Work : uint32_t { kWorkCallEnded = 1 };

  DvResult DoConnect(std::u16string_view phonebook, std::u16string_view entry, bool temporary,
                     const char16_t* apn, const char16_t* user_name, const char16_t* password);
  DvResult CreateRasEntry();
  DvResult CheckRasEntry(std::u16string_view modem_name);
  void OnRasEvent(platform::HRASCONN connection, uint32_t state, uint32_t error);
  // Hangs the current call up; `forget` drops the handle.
  uint32_t HangUp(bool forget);
  uint32_t DetermineRasInterfaceIndex();
  // On the client thread once a call is over: lets the service release the
  // handles of ended calls, then gives the card its port back.
  void FinishEndedCalls();
  platform::HRASCONN Handle() const;

  mutable std::mutex lock_;  // the fields below up to ended_
  std::u16string phonebook_;
  std::u16string entry_;
  bool temporary_ = false;
  platform::HRASCONN handle_ = 0;
  std::vector<platform::HRASCONN> ended_;  // calls over, to be hung up on the client thread
  bool port_closed_ = false;               // the connection closed the application port

  std::atomic<uint32_t> ras_state_{platform::RASCS_Disconnected};
  std::atomic<uint32_t> interface_index_{0};
  std::atomic<bool> stop_{false};
  platform::UniqueHandle wake_;  // auto-reset: the monitor is asked to stop
};

}  // namespace GSM
