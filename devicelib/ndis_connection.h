// The packet-data connection of a card with a WWAN NDIS port: the requests
// go to the driver's NDIS control device, which the connection holds open
// from the card's take-up to its release. At open the driver's
// configuration is put right once (its command slots); the credentials the
// driver keeps are read and written through DvGetNdisCredentials and
// DvSetNdisCredentials. A composite card also starts its own WAN call after
// the driver's connect, and the library then polls that call every second
// until it is up.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "devicelib/ndis_connection_base.h"
#include "platform/device_tree.h"

namespace GSM {

class NdisConnection final : public NdisConnectionBase {
 public:
  explicit NdisConnection(Device& device);
  ~NdisConnection() override;

  DvResult Open() override;
  DvResult Connect(const char16_t* apn, const char16_t* user_name, const char16_t* password,
                   int authentication) override;
  DvResult GetStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) override;
  void PollDataCallState() override;

  // The credentials in the driver's configuration.
  DvResult GetCredentials(std::u16string& user_name, std::u16string& password);
  // Null texts leave their field empty.
  DvResult SetCredentials(const char16_t* user_name, const char16_t* password);

 protected:
  bool HasDriverHandle() const override;
  uint32_t DriverRequest(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                         uint32_t& returned) override;
  void AfterMonitorStopped() override;

 private:
  DvResult DevIoConnect(const char16_t* user_name, const char16_t* password);
  DvResult ReadConfig(std::vector<uint8_t>& record);
  DvResult WriteConfig(const std::vector<uint8_t>& record);
  DvResult FixDriverConfiguration();
  void CloseNdisHandle();

  // Shared so that a request in progress keeps the file open even past a
  // stop that timed out.
  std::shared_ptr<platform::DeviceFile> File() const;
  mutable std::mutex file_lock_;
  std::shared_ptr<platform::DeviceFile> file_;  // under file_lock_
};

}  // namespace GSM
