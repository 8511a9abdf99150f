// The packet-data connection of a Broadcom-based card: its driver takes the
// WWAN requests on the card's application port, which the device holds
// open, so the connection has no device of its own. It counts the first
// connecting stage as connecting, reads any reason other than 0 and 1 as a
// failure, and has neither a WAN call nor data-call polling.
#pragma once

#include <string>

#include "devicelib/ndis_connection_base.h"

namespace GSM {

class BroadcomNdisConnection final : public NdisConnectionBase {
 public:
  explicit BroadcomNdisConnection(Device& device);
  ~BroadcomNdisConnection() override;

  DvResult Open() override;
  DvResult Connect(const char16_t* apn, const char16_t* user_name, const char16_t* password,
                   int authentication) override;
  DvResult GetStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) override;

 protected:
  bool HasDriverHandle() const override;
  uint32_t DriverRequest(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                         uint32_t& returned) override;

 private:
  std::string port_path_;  // the application port's, taken at open
};

}  // namespace GSM
