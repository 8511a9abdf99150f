#include "devicelib/ras_connection.h"

#include <algorithm>
#include <cstring>

#include "devicelib/command_pattern.h"
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/library.h"
#include "foundation/xlog.h"
#include "platform/event.h"
#include "platform/ip_helper.h"
#include "platform/system_info.h"
#include "platform/text.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

using platform::DialUpService;

DialUpService& Service() { return platform::CurrentDialUpService(); }

// The phonebook's entries were replaced with every connection before the
// NT 6 systems; from those on the entry is kept and checked.
bool OlderThanVista() {
  platform::OSVERSIONINFO version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!platform::GetVersionEx(&version)) return false;
  return version.dwPlatformId == 2 && version.dwMajorVersion < 6;
}

template <size_t N>
void SetField(char16_t (&field)[N], std::u16string_view text) {
  // Character by character: GCC's bounds check cannot follow a bounded
  // copy_n out of a short constant.
  size_t i = 0;
  for (; i < N - 1 && i < text.size(); ++i) field[i] = text[i];
  for (; i < N; ++i) field[i] = u'\0';
}

// The field's text, at most `limit` characters (the width compared).
template <size_t N>
std::u16string_view FieldText(const char16_t (&field)[N], size_t limit) {
  const size_t bound = std::min(limit, N);
  return std::u16string_view(field, std::find(field, field + bound, u'\0') - field);
}

// Compares at most `limit` characters and copies the wanted text when they
// differ.
template <size_t N>
bool CorrectField(char16_t (&field)[N], std::u16string_view wanted, size_t limit) {
  if (FieldText(field, limit) == wanted.substr(0, std::min(limit, wanted.size()))) return false;
  SetField(field, wanted.substr(0, std::min(limit, wanted.size())));
  return true;
}

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

std::u16string_view TextOrEmpty(const char16_t* text) { return text ? std::u16string_view(text) : std::u16string_view(); }

}  // namespace

RasConnection::RasConnection(Device& device)
    : Connection(device), wake_(platform::CreateEvent(false, false)) {}

RasConnection::~RasConnection() { Stop(); }

platform::RasEntry RasConnection::EntryImage(std::u16string_view modem_name) {
  platform::RasEntry entry{};
  entry.dwSize = sizeof(platform::RasEntry);
  entry.dwfOptions = platform::RASEO_IpHeaderCompression | platform::RASEO_RemoteDefaultGateway |
                     platform::RASEO_ModemLights | platform::RASEO_SecureLocalFiles;
  entry.dwCountryID = 1;
  entry.dwCountryCode = 1;
  SetField(entry.szLocalPhoneNumber, kPacketDataNumber);
  entry.dwfNetProtocols = platform::RASNP_Ip;
  entry.dwFramingProtocol = platform::RASFP_Ppp;
  SetField(entry.szDeviceType, kModemDeviceType);
  SetField(entry.szDeviceName, modem_name);
  entry.dwSubEntries = 1;
  entry.dwDialMode = 2;
  entry.dwIdleDisconnectSeconds = 0xFFFFFFFF;
  return entry;
}

bool RasConnection::CorrectEntry(platform::RasEntry& entry, std::u16string_view modem_name) {
  bool changed = CorrectField(entry.szDeviceName, modem_name, platform::RAS_MaxDeviceName);
  changed |= CorrectField(entry.szDeviceType, kModemDeviceType, platform::RAS_MaxDeviceType);
  changed |= CorrectField(entry.szLocalPhoneNumber, kPacketDataNumber, platform::RAS_MaxPhoneNumber);
  return changed;
}

bool RasConnection::HasHandle() const { return Handle() != 0; }

platform::HRASCONN RasConnection::Handle() const {
  std::lock_guard lock(lock_);
  return handle_;
}

// --- Open and close ----------------------------------------------------------

DvResult RasConnection::Open() {
  interface_index_.store(0);
  stop_.store(false);
  const DvResult rc = RunCommandCall([&] { Start(); });
  if (DvFailed(rc)) return rc;
  device().SetConnectionState(ConnectionState::Disconnected);
  return DV_S_OK;
}

void RasConnection::Close(bool end_call) {
  Stop();
  if (end_call) {
    HangUp(true);
    device().SetConnectionState(ConnectionState::Disconnected);
  }
  // The card is being released: its port is not to be opened again by us.
  {
    std::lock_guard lock(lock_);
    port_closed_ = false;
  }
  interface_index_.store(0);
}

int RasConnection::RequestStop() {
  stop_.store(true);
  platform::SetEvent(wake_.get());
  return 1;
}

void RasConnection::Run() {
  XLogLevel(kXLogTrace, "Dv: RasConnection status monitor has started");
  while (!stop_.load()) {
    const platform::HRASCONN connection = Handle();
    const int state = device().GetConnectionState();
    if (connection != 0 && (state == ConnectionState::Connected || state == ConnectionState::Disconnecting)) {
      platform::RasConnStatus status{};
      status.dwSize = sizeof(status);
      const uint32_t rc = Service().GetConnectStatus(connection, status);
      if (rc == platform::kErrorInvalidHandle || (rc == 0 && status.rasconnstate == platform::RASCS_Disconnected)) {
        XLogLevel(kXLogTrace, "Dv: RAS monitor detected a disconnection event");
        device().SetConnectionState(ConnectionState::Disconnected);
      } else if (rc != 0) {
        XLogLevel(kXLogWarning, "Dv: RasGetConnectStatus() failed with 0x%x", rc);
      }
    }
    platform::WaitForSingleObject(wake_.get(), kMonitorPeriodMs);
  }
  XLogLevel(kXLogTrace, "Dv: RasConnection status monitor has ended");
}

// --- Connect -----------------------------------------------------------------

DvResult RasConnection::ConnectToEntry(std::u16string_view phonebook, std::u16string_view entry,
                                       const char16_t* apn, const char16_t* user_name, const char16_t* password) {
  return DoConnect(phonebook, entry, false, apn, user_name, password);
}

DvResult RasConnection::Connect(const char16_t* apn, const char16_t* user_name, const char16_t* password,
                                int authentication) {
  (void)authentication;  // the dial-up link negotiates its own
  return DoConnect(u"", ApplicationName(), true, apn, user_name, password);
}

DvResult RasConnection::DoConnect(std::u16string_view phonebook, std::u16string_view entry, bool temporary,
                                  const char16_t* apn, const char16_t* user_name, const char16_t* password) {
  DvResult rc = RunCommandCall([&] { device().Guard(); });
  if (DvFailed(rc)) return rc;
  if (device().GetConnectionState() != ConnectionState::Disconnected) return DV_E_CONNECTION_BUSY;

  {
    std::lock_guard lock(lock_);
    phonebook_ = phonebook;
    entry_ = entry;
    temporary_ = temporary;
  }

  bool check = true;
  if (temporary && (OlderThanVista() || Service().ValidateEntryName(phonebook, entry) != platform::kErrorAlreadyExists)) {
    rc = CreateRasEntry();
    if (DvFailed(rc)) {
      XLogLevel(kXLogError, "Dv: RasConnection::Connect(): CreateRasEntry() failed with 0x%x", rc);
      return rc;
    }
    check = !OlderThanVista();
  }
  if (check) {
    rc = CheckRasEntry(CardInfoText(device().CardInfo().ModemName));
    if (DvFailed(rc)) {
      XLogLevel(kXLogError, "Dv: RasConnection::Connect(): CheckRasEntry() failed with 0x%x", rc);
      return rc;
    }
  }

  XLogLevel(kXLogTrace, "Dv: RAS connect with phonebook=[%s], entry=[%s], temporary=%d", Narrow(phonebook).c_str(),
            Narrow(entry).c_str(), temporary ? 1 : 0);
  device().SetConnectionState(ConnectionState::Connecting);

  if (apn != nullptr) rc = SetApnOnCard(apn, false);

  // The dial-up service opens the card's one serial port itself.
  if (!DvFailed(rc) && !device().PortUsableDuringDataCall()) {
    device().Close();
    std::lock_guard lock(lock_);
    port_closed_ = true;
  }

  if (!DvFailed(rc)) {
    platform::RasDialParams params{};
    params.dwSize = sizeof(params);
    SetField(params.szEntryName, entry);
    SetField(params.szUserName, TextOrEmpty(user_name));
    SetField(params.szPassword, TextOrEmpty(password));
    platform::HRASCONN connection = 0;
    const uint32_t error = Service().Dial(
        phonebook, params,
        [this](platform::HRASCONN handle, uint32_t state, uint32_t err) { OnRasEvent(handle, state, err); },
        &connection);
    std::memset(params.szPassword, 0, sizeof(params.szPassword));
    {
      std::lock_guard lock(lock_);
      handle_ = connection;
    }
    if (error != 0) {
      rc = DvFromSystemError(error);
      XLogLevel(kXLogError, "Dv: RasConnection::Connect(): RasDial failed with 0x%x", rc);
      HangUp(true);
    }
  }

  if (DvFailed(rc)) {
    device().SetConnectionState(ConnectionState::Disconnected);
    // Give the port back before the caller goes on, not only when the
    // window gets to it.
    FinishEndedCalls();
    return rc;
  }
  return DV_S_OK;
}

DvResult RasConnection::CreateRasEntry() {
  std::u16string phonebook;
  std::u16string entry;
  {
    std::lock_guard lock(lock_);
    phonebook = phonebook_;
    entry = entry_;
  }
  if (Service().ValidateEntryName(phonebook, entry) == platform::kErrorAlreadyExists) {
    if (const uint32_t error = Service().DeleteEntry(phonebook, entry)) return DvFromSystemError(error);
  }
  const platform::RasEntry image = EntryImage(CardInfoText(device().CardInfo().ModemName));
  return DvFromSystemError(Service().SetEntryProperties(phonebook, entry, image));
}

DvResult RasConnection::CheckRasEntry(std::u16string_view modem_name) {
  if (modem_name.empty()) return DV_E_INVALID_ARGUMENT;
  std::u16string phonebook;
  std::u16string entry_name;
  {
    std::lock_guard lock(lock_);
    phonebook = phonebook_;
    entry_name = entry_;
  }
  platform::RasEntry entry{};
  entry.dwSize = sizeof(entry);
  if (const uint32_t error = Service().GetEntryProperties(phonebook, entry_name, entry)) {
    return DvFromSystemError(error);
  }
  if (!CorrectEntry(entry, modem_name)) {
    XLogLevel(kXLogTrace, "Dv: RAS entry is o.k.");
    return DV_S_OK;
  }
  if (const uint32_t error = Service().SetEntryProperties(phonebook, entry_name, entry)) {
    return DvFromSystemError(error);
  }
  XLogLevel(kXLogTrace, "Dv: RAS entry has been corrected");
  return DV_S_OK;
}

// --- Progress ------------------------------------------------------------------

void RasConnection::OnRasEvent(platform::HRASCONN connection, uint32_t state, uint32_t error) {
  (void)connection;
  XLogLevel(kXLogTrace, "Dv: Ras event %d arrived, error=%d", static_cast<int>(state), static_cast<int>(error));
  ras_state_.store(state);
  if (error != 0) {
    XLogLevel(kXLogError, "Dv: RasConnection::RasEvent(): Connection failed with error %d", static_cast<int>(error));
    if (device().GetConnectionState() == ConnectionState::Connecting) {
      RaiseError(0, DvFromSystemError(error));
      device().SetConnectionState(ConnectionState::Disconnecting);
    } else {
      XLogLevel(kXLogWarning, "Dv: ...RAS error ignored since there is no active connection in progress");
    }
    HangUp(false);
    return;
  }
  if (state == platform::RASCS_Connected && device().GetConnectionState() == ConnectionState::Connecting) {
    device().SetConnectionState(ConnectionState::Connected);
  }
}

// --- Disconnect ----------------------------------------------------------------

DvResult RasConnection::Disconnect() {
  const DvResult rc = RunCommandCall([&] { device().Guard(GuardSkipPortBusy); });
  if (DvFailed(rc)) return rc;
  const int state = device().GetConnectionState();
  if ((state != ConnectionState::Connecting && state != ConnectionState::Connected) || !HasHandle()) {
    return DV_E_NO_CONNECTION;
  }
  XLogLevel(kXLogTrace, "Dv: RAS disconnect");
  device().SetConnectionState(ConnectionState::Disconnecting);
  if (const uint32_t error = HangUp(false)) {
    XLogLevel(kXLogWarning, "Dv: RasConnection::Disconnect(): HangUp failed with 0x%x", DvFromSystemError(error));
  }
  return DV_S_OK;
}

uint32_t RasConnection::HangUp(bool forget) {
  platform::HRASCONN connection = 0;
  {
    std::lock_guard lock(lock_);
    connection = handle_;
    if (forget) handle_ = 0;
  }
  if (connection == 0) return 0;
  const uint32_t error = Service().HangUp(connection);
  XLogLevel(kXLogTrace, "Dv: RAS connection has been hung up");
  return error;
}

// --- What the state change does ------------------------------------------------

void RasConnection::OnConnectionStateSet(int state) {
  if (state == ConnectionState::Connected) {
    PostToCommunicator(WM_ENABLE_EX_ERRORS);
    return;
  }
  if (state != ConnectionState::Disconnected) return;
  {
    std::lock_guard lock(lock_);
    if (handle_ != 0) ended_.push_back(handle_);
    handle_ = 0;
  }
  ras_state_.store(platform::RASCS_Disconnected);
  interface_index_.store(0);
  // Hanging up, deleting an entry and opening a port are not for the
  // thread that set the state: the client thread does them.
  PostToCommunicator(WM_CONNECTION_WORK, kWorkCallEnded, static_cast<platform::LPARAM>(ConnectionKind::Ras));
}

void RasConnection::OnPostedWork(uint32_t work) {
  if (work == kWorkCallEnded) FinishEndedCalls();
}

void RasConnection::FinishEndedCalls() {
  std::vector<platform::HRASCONN> ended;
  bool reopen = false;
  bool delete_entry = false;
  std::u16string phonebook;
  std::u16string entry;
  {
    std::lock_guard lock(lock_);
    ended.swap(ended_);
    // A call that is being made again keeps the port.
    if (handle_ == 0) {
      reopen = port_closed_;
      port_closed_ = false;
    }
    delete_entry = temporary_ && OlderThanVista() && handle_ == 0;
    phonebook = phonebook_;
    entry = entry_;
  }
  // The service keeps an ended call until it is hung up; only then is the
  // modem port free again.
  for (platform::HRASCONN connection : ended) Service().HangUp(connection);
  if (delete_entry) Service().DeleteEntry(phonebook, entry);

  if (!device().Available() || device().GetDeviceState() == DeviceState::NotFound) return;
  if (reopen) {
    const DvResult rc = RunCommandCall([&] { device().OpenApplicationPort(); });
    if (DvFailed(rc)) {
      XLogLevel(kXLogError, "Dv: Could not reopen application port after non-mux RAS data connection (0x%x)", rc);
      // Without its port the card cannot be used: give it up rather than
      // keep a device that answers nothing.
      PostToCommunicator(WM_DEVICE_EXIT);
      return;
    }
  }
  PostToCommunicator(WM_ENABLE_EX_ERRORS);
}

// --- Statistics and the interface ----------------------------------------------

DvResult RasConnection::GetStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) {
  if (bytes_sent == nullptr || bytes_received == nullptr || duration == nullptr) return DV_E_INVALID_ARGUMENT;
  const platform::HRASCONN connection = Handle();
  if (connection == 0) return DV_E_NO_CONNECTION;
  platform::RasStats stats{};
  stats.dwSize = sizeof(stats);
  if (const uint32_t error = Service().GetConnectionStatistics(connection, stats)) {
    const DvResult rc = DvFromSystemError(error);
    XLogLevel(kXLogError, "RasDevice::GetStatistics(): RasGetConnectionStatistics() failed with 0x%x", rc);
    return rc;
  }
  *bytes_sent = stats.dwBytesXmited;
  *bytes_received = stats.dwBytesRcved;
  *duration = stats.dwConnectDuration;
  return DV_S_OK;
}

DvResult RasConnection::GetIpInterfaceIndex(uint32_t* index) {
  if (index == nullptr) return DV_E_INVALID_ARGUMENT;
  const DvResult rc = RunCommandCall([&] { device().Guard(GuardSkipPortBusy); });
  if (DvFailed(rc)) return rc;
  if (!HasHandle()) return DV_E_NO_CONNECTION;
  uint32_t known = interface_index_.load();
  if (known == 0) {
    known = DetermineRasInterfaceIndex();
    interface_index_.store(known);
  }
  if (known == 0) return DV_E_NO_CONNECTION;
  *index = known;
  return DV_S_OK;
}

uint32_t RasConnection::DetermineRasInterfaceIndex() {
  const platform::HRASCONN connection = Handle();
  platform::RasPppIp projection{};
  projection.dwSize = sizeof(projection);
  if (const uint32_t error = Service().GetProjectionInfo(connection, platform::RASP_PppIp, projection)) {
    XLogLevel(kXLogWarning, "Dv: DetermineRasInterfaceIndex(): RasGetProjectionInfo failed with 0x%x",
              DvFromSystemError(error));
    return 0;
  }
  const std::string address = Narrow(FieldText(projection.szIpAddress, platform::RAS_MaxIpAddress));
  XLogLevel(kXLogTrace, "Dv: Client IP address: %s", address.c_str());
  const uint32_t wanted = platform::ParseIpv4Address(address);
  if (wanted == 0xFFFFFFFFu) return 0;
  std::vector<platform::IpAddrRow> rows;
  if (platform::CurrentIpHelper().GetIpAddrTable(rows) != 0) return 0;
  for (const platform::IpAddrRow& row : rows) {
    if (row.dwAddr == wanted) return row.dwIndex;
  }
  return 0;
}

}  // namespace GSM
