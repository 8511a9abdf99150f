#include "devicelib/cli/connect_session.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/auto_profiles.h"
#include "devicelib/cli/connection_report.h"
#include "devicelib/cli/device_report.h"
#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "platform/ip_helper.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace vombel_device {
namespace {

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string AddressText(uint32_t network_order) {
  const auto* b = reinterpret_cast<const uint8_t*>(&network_order);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace

ConnectSession::ConnectSession(const Options& options, platform::HWND window) : options_(options), window_(window) {
  // vombel-device disconnect finds this one by its class.
  listener_ = platform::WindowClassListener::Start(kConnectionWindowClass, [window](uint32_t message, uintptr_t, intptr_t) {
    if (message == kDisconnectRequest) platform::PostMessage(window, kDisconnectRequest, 0, 0);
  });
}

ConnectSession::~ConnectSession() { platform::KillTimer(window_, kTrafficTimer); }

bool ConnectSession::Start() {
  GSM::Connection* connection = GSM::Device::Instance().CurrentConnection();
  if (connection == nullptr) {
    std::fprintf(stderr, "This card has no data connection.\n");
    End(1);
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
    Print("connecting with APN " + options_.apn);
  } else {
    char16_t imsi[kDvNumberSize] = {};
    const CProfile* profile = DvGetImsiNumber(imsi) == DV_S_OK ? CAutoProfiles::Instance().Find(imsi) : nullptr;
    if (profile != nullptr) {
      apn = profile->GetApn();
      user = profile->GetUserName();
      password = profile->GetPassword();
      have_apn = true;
      Print("connecting with APN " + platform::Utf16ToUtf8(apn) + " (the automatic profile of " +
            platform::Utf16ToUtf8(profile->GetCaption().empty() ? std::u16string(imsi).substr(0, 5) : profile->GetCaption()) +
            ")");
    } else {
      Print("connecting with the APN the card holds");
    }
  }
  const bool credentials = !user.empty() && !password.empty();
  const DvResult rc = connection->Connect(have_apn ? apn.c_str() : nullptr, credentials ? user.c_str() : nullptr,
                                          credentials ? password.c_str() : nullptr, credentials ? 1 : 0);
  std::fill(password.begin(), password.end(), u'\0');
  if (rc != DV_S_OK) {
    std::fprintf(stderr, "The connection could not be made: %s\n", ResultText(rc).c_str());
    End(1);
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
  Print("connection: " + ConnectionStateText(state));
  state_ = state;
  if (state == GSM::ConnectionState::Connected && !was_connected_) {
    was_connected_ = true;
    ShowAddress();
    platform::SetTimer(window_, kTrafficTimer, kTrafficPeriodMs);
  } else if (state == GSM::ConnectionState::Disconnected) {
    platform::KillTimer(window_, kTrafficTimer);
    // Ended by the user: success; by the network or a failure: not.
    End(user_ended_ ? 0 : 1);
  }
}

void ConnectSession::OnError(DvResult primary) {
  std::fprintf(stderr, "The connection failed: %s\n", ResultText(primary).c_str());
}

void ConnectSession::OnTrafficTimer() { ShowTraffic(); }

bool ConnectSession::RequestDisconnect() {
  if (over_) return false;
  GSM::Connection* connection = GSM::Device::Instance().CurrentConnection();
  if (!started_ || connection == nullptr) {
    End(1);
    return false;
  }
  user_ended_ = true;
  if (was_connected_) ShowTraffic();
  Print("disconnecting...");
  GSM::Device::Instance().SetUserDisconnect(true);
  const DvResult rc = connection->Disconnect();
  if (rc != DV_S_OK) {
    std::fprintf(stderr, "Disconnecting failed: %s\n", ResultText(rc).c_str());
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
    Print("  address: -- (" + ResultText(rc) + ")");
    return;
  }
  platform::IpHelper& ip = platform::CurrentIpHelper();
  platform::IfRow row;
  const std::string name = ip.GetIfEntry(index, row) == 0 ? row.Name : "interface " + std::to_string(index);
  std::vector<platform::IpAddrRow> addresses;
  std::string address = "--";
  if (ip.GetIpAddrTable(addresses) == 0) {
    for (const auto& a : addresses) {
      if (a.dwIndex == index) address = AddressText(a.dwAddr);
    }
  }
  Print("  address: " + address + " on " + name);
}

void ConnectSession::ShowTraffic() {
  GSM::Connection* connection = GSM::Device::Instance().CurrentConnection();
  uint32_t sent = 0;
  uint32_t received = 0;
  uint32_t duration = 0;
  const DvResult rc = connection ? connection->GetStatistics(&sent, &received, &duration) : DV_E_NO_CONNECTION;
  if (rc == DV_S_OK) Print("  " + TrafficLine(sent, received, duration));
}

void ConnectSession::End(int exit_code) {
  if (over_) return;
  over_ = true;
  exit_code_ = exit_code;
  platform::PostQuitMessage(exit_code);
}

int AskRunningConnectionToDisconnect() {
  std::unique_ptr<platform::RemoteWindow> running = platform::FindWindow(kConnectionWindowClass);
  if (!running) {
    std::fprintf(stderr, "No vombel-device connect is running.\n");
    return 1;
  }
  if (!running->Post(kDisconnectRequest, 0, 0)) {
    std::fprintf(stderr, "The running vombel-device connect did not take the request.\n");
    return 1;
  }
  std::printf("Asked vombel-device connect (process %d) to disconnect.\n", static_cast<int>(running->ProcessId()));
  return 0;
}

}  // namespace vombel_device
