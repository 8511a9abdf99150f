#include "devicelib/cli/connect_session.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/auto_profiles.h"
#include "devicelib/cli/connection_report.h"
#include "devicelib/cli/device_report.h"
#include "devicelib/cli/json_report.h"
#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "platform/ip_helper.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace vombel_device {
namespace {

std::string AddressText(uint32_t network_order) {
  const auto* b = reinterpret_cast<const uint8_t*>(&network_order);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace

ConnectSession::ConnectSession(const Options& options, const Output& output, platform::HWND window)
    : options_(options), output_(output), window_(window) {
  // vombel-device disconnect finds this one by its class.
  listener_ = platform::WindowClassListener::Start(kConnectionWindowClass, [window](uint32_t message, uintptr_t, intptr_t) {
    if (message == kDisconnectRequest) platform::PostMessage(window, kDisconnectRequest, 0, 0);
  });
}

ConnectSession::~ConnectSession() { platform::KillTimer(window_, kTrafficTimer); }

bool ConnectSession::Start() {
  GSM::Connection* connection = GSM::Device::Instance().CurrentConnection();
  if (connection == nullptr) {
    Fail(Failure::kUnsupported, "This card has no data connection.", 0);
    return false;
  }
  // The APN: the one given, else the operator's automatic profile, else
  // none (the card uses the one it holds).
  std::u16string apn;
  std::u16string user;
  std::u16string password;
  bool have_apn = false;
  if (options_.apn_given) {
    apn = platform::Utf8ToUtf16(options_.apn);
    have_apn = true;
    output_.Line("connecting with APN " + options_.apn);
    output_.JsonLine(ConnectApnLine(options_.apn, "given", ""));
  } else {
    char16_t imsi[kDvNumberSize] = {};
    const CProfile* profile = DvGetImsiNumber(imsi) == DV_S_OK ? CAutoProfiles::Instance().Find(imsi) : nullptr;
    if (profile != nullptr) {
      apn = profile->GetApn();
      user = profile->GetUserName();
      password = profile->GetPassword();
      have_apn = true;
      const std::string owner =
          platform::Utf16ToUtf8(profile->GetCaption().empty() ? std::u16string(imsi).substr(0, 5) : profile->GetCaption());
      output_.Line("connecting with APN " + platform::Utf16ToUtf8(apn) + " (the automatic profile of " + owner + ")");
      output_.JsonLine(ConnectApnLine(platform::Utf16ToUtf8(apn), "automatic-profile", owner));
    } else {
      output_.Line("connecting with the APN the card holds");
      output_.JsonLine(ConnectApnLine("", "card", ""));
    }
  }
  const bool credentials = !user.empty() && !password.empty();
  const DvResult rc = connection->Connect(have_apn ? apn.c_str() : nullptr, credentials ? user.c_str() : nullptr,
                                          credentials ? password.c_str() : nullptr, credentials ? 1 : 0);
  std::fill(password.begin(), password.end(), u'\0');
  if (rc != DV_S_OK) {
    Fail(FailureOfResult(rc), "The connection could not be made: " + ResultText(rc), rc);
    return false;
  }
  started_ = true;
  OnConnectionStateChanged();
  return true;
}

void ConnectSession::OnConnectionStateChanged() {
  if (!started_ || over_) return;
  const int state = GSM::Device::Instance().GetConnectionState();
  if (state == state_) return;
  output_.Line("connection: " + ConnectionStateText(state));
  output_.JsonLine(ConnectStateLine(state));
  state_ = state;
  if (state == GSM::ConnectionState::Connected && !was_connected_) {
    was_connected_ = true;
    ShowAddress();
    platform::SetTimer(window_, kTrafficTimer, kTrafficPeriodMs);
  } else if (state == GSM::ConnectionState::Disconnected) {
    platform::KillTimer(window_, kTrafficTimer);
    // Ended by the user: success; by the network or a failure: not.
    if (user_ended_) {
      End(0);
    } else {
      const DvResult rc = last_error_ != 0 ? last_error_ : DV_E_CONNECTION_DROPPED;
      Fail(Failure::kCard,
           was_connected_ ? "The connection was ended by the card or the network." : "The connection was not made.", rc);
    }
  }
}

void ConnectSession::OnError(DvResult primary) {
  last_error_ = primary;
  output_.Note("The connection failed: " + ResultText(primary));
}

void ConnectSession::OnTrafficTimer() { ShowTraffic(); }

bool ConnectSession::RequestDisconnect() {
  if (over_) return false;
  GSM::Connection* connection = GSM::Device::Instance().CurrentConnection();
  if (!started_ || connection == nullptr) {
    End(ExitCodeOf(Failure::kInterrupted));
    return false;
  }
  user_ended_ = true;
  if (was_connected_) ShowTraffic();
  output_.Line("disconnecting...");
  GSM::Device::Instance().SetUserDisconnect(true);
  const DvResult rc = connection->Disconnect();
  if (rc != DV_S_OK) {
    output_.Note("Disconnecting failed: " + ResultText(rc));
    if (GSM::Device::Instance().GetConnectionState() == GSM::ConnectionState::Disconnected) End(0);
    return false;
  }
  return true;
}

void ConnectSession::ShowAddress() {
  GSM::Connection* connection = GSM::Device::Instance().CurrentConnection();
  uint32_t index = 0;
  const DvResult rc = connection ? connection->GetIpInterfaceIndex(&index) : DV_E_NO_CONNECTION;
  if (rc != DV_S_OK) {
    output_.Line("  address: -- (" + ResultText(rc) + ")");
    return;
  }
  platform::IpHelper& ip = platform::CurrentIpHelper();
  platform::IfRow row;
  const std::string name = ip.GetIfEntry(index, row) == 0 ? row.Name : "interface " + std::to_string(index);
  std::vector<platform::IpAddrRow> addresses;
  std::string address;
  if (ip.GetIpAddrTable(addresses) == 0) {
    for (const auto& a : addresses) {
      if (a.dwIndex == index) address = AddressText(a.dwAddr);
    }
  }
  output_.Line("  address: " + (address.empty() ? std::string("--") : address) + " on " + name);
  output_.JsonLine(ConnectAddressLine(address, name));
}

void ConnectSession::ShowTraffic() {
  GSM::Connection* connection = GSM::Device::Instance().CurrentConnection();
  uint32_t sent = 0;
  uint32_t received = 0;
  uint32_t duration = 0;
  const DvResult rc = connection ? connection->GetStatistics(&sent, &received, &duration) : DV_E_NO_CONNECTION;
  if (rc != DV_S_OK) return;
  output_.Line("  " + TrafficLine(sent, received, duration));
  output_.JsonLine(ConnectTrafficLine(sent, received, duration));
}

void ConnectSession::Fail(Failure failure, const std::string& message, DvResult rc) {
  if (over_) return;
  End(output_.Fail(failure, message, rc));
}

void ConnectSession::End(int exit_code) {
  if (over_) return;
  over_ = true;
  exit_code_ = exit_code;
  platform::PostQuitMessage(exit_code);
}

int AskRunningConnectionToDisconnect(const Output& output) {
  std::unique_ptr<platform::RemoteWindow> running = platform::FindWindow(kConnectionWindowClass);
  if (!running) return output.Fail(Failure::kUnavailable, "No vombel-device connect is running.");
  if (!running->Post(kDisconnectRequest, 0, 0)) {
    return output.Fail(Failure::kUnavailable, "The running vombel-device connect did not take the request.");
  }
  const int process = static_cast<int>(running->ProcessId());
  output.Result({"Asked vombel-device connect (process " + std::to_string(process) + ") to disconnect."},
                DisconnectDocument(process));
  return 0;
}

}  // namespace vombel_device
