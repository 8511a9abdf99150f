// DvGetNdisCredentials and DvSetNdisCredentials: the credentials in the
// configuration of the card's WWAN driver, through the NDIS connection.
#include <string>

#include "devicelib/command_pattern.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "devicelib/ndis_connection.h"

namespace {

using GSM::Device;
using GSM::NdisConnection;

// The NDIS connection if it is the card's.
NdisConnection& CurrentNdisConnection(Device& device) {
  auto* connection = device.CurrentConnectionKind() == GSM::ConnectionKind::Ndis
                         ? dynamic_cast<NdisConnection*>(device.CurrentConnection())
                         : nullptr;
  if (connection == nullptr) DvRaise(DV_E_NOT_AVAILABLE);
  return *connection;
}

}  // namespace

DvResult DvGetNdisCredentials(char16_t* user, char16_t* password) {
  GSM::ClearText(user, kDvNdisCredentialSize);
  GSM::ClearText(password, kDvNdisCredentialSize);
  return GSM::RunCommandCall([&] {
    Device& device = Device::Instance();
    // Without the port-busy step: the driver is asked, not the card's port.
    device.Guard(GSM::GuardSkipPortBusy);
    if (user == nullptr || password == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    NdisConnection& connection = CurrentNdisConnection(device);
    std::u16string user_text;
    std::u16string password_text;
    GSM::RaiseIfFailed(connection.GetCredentials(user_text, password_text));
    GSM::CopyText(user, kDvNdisCredentialSize, user_text);
    GSM::CopyText(password, kDvNdisCredentialSize, password_text);
  });
}

DvResult DvSetNdisCredentials(const char16_t* user, const char16_t* password) {
  return GSM::RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard(GSM::GuardSkipPortBusy);
    NdisConnection& connection = CurrentNdisConnection(device);
    GSM::RaiseIfFailed(connection.SetCredentials(user, password));
  });
}
