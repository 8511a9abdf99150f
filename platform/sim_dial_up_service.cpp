#include "platform/sim_dial_up_service.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <optional>
#include <thread>

#include "platform/clock.h"
#include "platform/sim_link_frames.h"
#include "platform/sim_modem_channel.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// A step of the dial that a hang-up ended (no error, no callback).
constexpr uint32_t kHungUp = UINT32_MAX;

// How long a call being taken down waits for the card to confirm, in real
// time: the card answers at once, and a card that stopped answering must not
// keep HangUp waiting for a clock that nobody moves.
constexpr std::chrono::milliseconds kConfirmationBound{1000};

template <size_t N>
std::u16string_view FieldOf(const char16_t (&field)[N]) {
  return std::u16string_view(field, std::find(field, field + N, u'\0') - field);
}

template <size_t N>
void CopyField(char16_t (&field)[N], std::u16string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), n, field);
  field[n] = u'\0';
}

bool IsValidEntryName(std::u16string_view name) {
  if (name.empty() || name.size() > RAS_MaxEntryName || name.front() == u'.') return false;
  return std::none_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20 || c == u'/' || c == u'\\'; });
}

uint32_t OpenFailure(uint32_t error) {
  switch (error) {
    case kErrorAccessDenied:
    case kErrorSharingViolation:
    case kErrorBusy:
      return kRasErrorPortNotAvailable;
    default:
      return kRasErrorDeviceNotFound;
  }
}

}  // namespace

struct SimDialUpService::Call {
  HRASCONN handle = 0;
  RasDialFunc1 callback;
  std::string port_path;
  std::string dial_string;
  std::string user;
  std::string password;
  std::u16string device_type;
  std::u16string device_name;
  std::u16string phone_number;
  SimModemChannel channel;
  std::thread thread;
  std::atomic<bool> finished{false};

  // Under the service's lock.
  uint32_t state = RASCS_OpenPort;
  uint32_t error = 0;
  std::string adapter;  // while the link is up
  uint32_t adapter_index = 0;
  std::string address;  // likewise
  uint64_t connected_at = 0;
  uint64_t ended_at = 0;
  uint64_t bytes_sent = 0;  // the adapter's counters when it went
  uint64_t bytes_received = 0;
  uint32_t frames_sent = 0;
  uint32_t frames_received = 0;
};

// The call's thread: the stages, the link while it is up, and its end.
class SimDialUpService::Dialler {
 public:
  Dialler(SimDialUpService& service, Call& call) : service_(service), call_(call), channel_(call.channel) {}

  void Run() {
    { std::lock_guard wait_for_dial(service_.mutex_); }  // Dial has stored the thread
    uint32_t failed_in = RASCS_OpenPort;
    uint32_t error = Dial(failed_in);
    bool unrequested = false;
    if (error == kErrorSuccess) {
      error = Connected();
      unrequested = error != kHungUp;
    }
    End();
    {
      std::lock_guard lock(service_.mutex_);
      call_.state = RASCS_Disconnected;
      call_.error = error == kHungUp ? kRasErrorPortDisconnected : error;
    }
    if (error != kHungUp) Notify(unrequested ? RASCS_Disconnected : failed_in, error);
    call_.finished = true;
  }

 private:
  // kErrorSuccess once RASCS_Connected was reported; else the error (or
  // kHungUp), with `stage` the stage it happened in.
  uint32_t Dial(uint32_t& stage) {
    if (!Enter(stage = RASCS_OpenPort)) return kHungUp;
    if (const uint32_t error = channel_.Open(call_.port_path)) return OpenFailure(error);
    if (!Enter(stage = RASCS_PortOpened)) return kHungUp;
    if (!Enter(stage = RASCS_ConnectDevice)) return kHungUp;
    if (const uint32_t error = ConnectDevice()) return error;
    if (!Enter(stage = RASCS_DeviceConnected)) return kHungUp;
    if (!Enter(stage = RASCS_AllDevicesConnected)) return kHungUp;
    if (!Enter(stage = RASCS_Authenticate)) return kHungUp;
    if (const uint32_t error = Authenticate()) return error;
    if (!Enter(stage = RASCS_Authenticated)) return kHungUp;
    std::string address;
    if (const uint32_t error = RequestAddress(address)) return error;
    {
      std::lock_guard lock(service_.mutex_);
      if (channel_.Interrupted()) return kHungUp;
      call_.adapter = service_.FreeAdapterNameLocked();
      call_.adapter_index = service_.ip_helper_.AddAdapter(call_.adapter, MIB_IF_TYPE_PPP, false);
      service_.ip_helper_.SetAddress(call_.adapter, address);
      call_.address = address;
      call_.connected_at = CurrentClock().NowMs();
      call_.state = stage = RASCS_Connected;
    }
    channel_.TakeReceivedBytes();  // the dial's own bytes are no traffic
    Notify(RASCS_Connected, kErrorSuccess);
    return kErrorSuccess;
  }

  // Reports the stage, then lets its time pass; false on a hang-up.
  bool Enter(uint32_t stage) {
    {
      std::lock_guard lock(service_.mutex_);
      call_.state = stage;
    }
    Notify(stage, kErrorSuccess);
    return channel_.Pause(DeadlineAfter(kStageMs)) != SimModemChannel::Event::kInterrupted;
  }

  void Notify(uint32_t stage, uint32_t error) {
    if (call_.callback && !channel_.Interrupted()) call_.callback(call_.handle, stage, error);
  }

  // The card's next line before `deadline`: 0 with it in `line`, else
  // kHungUp, `timeout_error` or kRasErrorPortDisconnected.
  uint32_t WaitForLine(uint64_t deadline, uint32_t timeout_error, std::string& line) {
    switch (channel_.NextLine(deadline, true, line)) {
      case SimModemChannel::Event::kInterrupted:
        return kHungUp;
      case SimModemChannel::Event::kTimeout:
        return timeout_error;
      case SimModemChannel::Event::kPortGone:
        return kRasErrorPortDisconnected;
      case SimModemChannel::Event::kLine:
        break;
    }
    return kErrorSuccess;
  }

  uint32_t ConnectDevice() {
    if (!channel_.Write("ATD" + call_.dial_string + "\r")) return kRasErrorPortDisconnected;
    dial_pending_ = true;
    const uint64_t deadline = DeadlineAfter(kDialAnswerMs);
    for (;;) {
      std::string line;
      if (const uint32_t error = WaitForLine(deadline, kRasErrorNoAnswer, line)) {
        if (error == kRasErrorNoAnswer) dial_pending_ = false;  // nothing more to wait for
        return error;
      }
      switch (ClassifyModemLine(line)) {
        case ModemLineKind::kConnect:
          dial_pending_ = false;
          data_mode_ = true;
          return kErrorSuccess;
        case ModemLineKind::kError:
        case ModemLineKind::kNoCarrier:
          dial_pending_ = false;
          return kRasErrorFromDevice;
        case ModemLineKind::kOk:
        case ModemLineKind::kOther:
          break;  // the card's echo of the dial string
      }
    }
  }

  // Sends `request` and waits for a frame; kErrorSuccess with it in `answer`.
  uint32_t Ask(const LinkFrame& request, LinkFrame& answer) {
    if (!channel_.Write(FormatLinkFrame(request))) return kRasErrorPortDisconnected;
    const uint64_t deadline = DeadlineAfter(kLinkAnswerMs);
    for (;;) {
      std::string line;
      if (const uint32_t error = WaitForLine(deadline, kRasErrorPppTimeout, line)) return error;
      if (ClassifyModemLine(line) == ModemLineKind::kNoCarrier) {
        data_mode_ = false;
        return kRasErrorPortDisconnected;
      }
      if (auto frame = ParseLinkFrame(line)) {
        answer = std::move(*frame);
        return kErrorSuccess;
      }
    }
  }

  uint32_t Authenticate() {
    LinkFrame answer;
    if (const uint32_t error = Ask({LinkFrameType::kAuth, {call_.user, call_.password}}, answer)) return error;
    switch (answer.type) {
      case LinkFrameType::kAuthAck:
        return kErrorSuccess;
      case LinkFrameType::kAuthNak:
        return kRasErrorAuthenticationFailure;
      case LinkFrameType::kAuth:
      case LinkFrameType::kAddressRequest:
      case LinkFrameType::kAddress:
      case LinkFrameType::kEcho:
      case LinkFrameType::kEchoReply:
      case LinkFrameType::kReject:
        return kRasErrorPppTimeout;  // the other side speaks no login
    }
    return kRasErrorPppTimeout;
  }

  uint32_t RequestAddress(std::string& address) {
    LinkFrame answer;
    if (const uint32_t error = Ask({LinkFrameType::kAddressRequest, {}}, answer)) return error;
    if (answer.type != LinkFrameType::kAddress) return kRasErrorProtocolNotConfigured;
    address = answer.fields[0];
    // 0.0.0.0 and 255.255.255.255 are no address of a host.
    const uint32_t parsed = ParseIpv4Address(address);
    if (parsed == 0 || parsed == 0xFFFFFFFFu) return kRasErrorProtocolNotConfigured;
    return kErrorSuccess;
  }

  // The link while it is up; kHungUp, or kRasErrorPortDisconnected when it
  // ended by itself.
  uint32_t Connected() {
    uint64_t next_echo = DeadlineAfter(kEchoIntervalMs);
    uint32_t echoes = 0;
    for (;;) {
      std::string line;
      uint64_t sent = 0;
      uint32_t frames_received = 0;
      std::optional<uint32_t> end;
      switch (channel_.NextLine(next_echo, true, line)) {
        case SimModemChannel::Event::kInterrupted:
          end = kHungUp;
          break;
        case SimModemChannel::Event::kPortGone:
          end = kRasErrorPortDisconnected;
          break;
        case SimModemChannel::Event::kTimeout: {
          // Some bytes each way, as an idle link's keep-alives would be.
          const std::string frame =
              FormatLinkFrame({LinkFrameType::kEcho, {std::to_string(++echoes) + "-vombel-sim-link-keepalive"}});
          if (!channel_.Write(frame)) {
            end = kRasErrorPortDisconnected;
            break;
          }
          sent = frame.size();
          next_echo += kEchoIntervalMs;
          break;
        }
        case SimModemChannel::Event::kLine:
          if (ClassifyModemLine(line) == ModemLineKind::kNoCarrier) {
            data_mode_ = false;
            end = kRasErrorPortDisconnected;
          } else if (auto frame = ParseLinkFrame(line); frame && frame->type == LinkFrameType::kEchoReply) {
            frames_received = 1;
          }
          break;
      }
      const uint64_t received = channel_.TakeReceivedBytes();
      {
        std::lock_guard lock(service_.mutex_);
        service_.ip_helper_.AddTraffic(call_.adapter, sent, received);
        call_.frames_sent += sent > 0 ? 1 : 0;
        call_.frames_received += frames_received;
      }
      if (end) return *end;
    }
  }

  // The card back in command mode, the port closed, the adapter gone.
  void End() {
    std::string line;
    // A hang-up while the card was still answering the dial string: its
    // answer decides whether it is in the call now.
    while (dial_pending_ && channel_.ConfirmationLine(kConfirmationBound, line)) {
      const ModemLineKind kind = ClassifyModemLine(line);
      if (kind == ModemLineKind::kConnect) data_mode_ = true;
      if (kind == ModemLineKind::kConnect || kind == ModemLineKind::kError || kind == ModemLineKind::kNoCarrier) {
        dial_pending_ = false;
      }
    }
    if (data_mode_ && channel_.Write("+++")) {
      while (channel_.ConfirmationLine(kConfirmationBound, line)) {
        const ModemLineKind kind = ClassifyModemLine(line);
        if (kind == ModemLineKind::kOk || kind == ModemLineKind::kNoCarrier) break;
      }
    }
    channel_.Close();
    std::lock_guard lock(service_.mutex_);
    call_.ended_at = CurrentClock().NowMs();
    if (call_.adapter.empty()) return;
    IfRow row;
    if (service_.ip_helper_.GetIfEntry(call_.adapter_index, row) == kErrorSuccess) {
      call_.bytes_sent = row.OutOctets;
      call_.bytes_received = row.InOctets;
    }
    service_.ip_helper_.RemoveAdapter(call_.adapter);
    call_.adapter.clear();
    call_.address.clear();
  }

  SimDialUpService& service_;
  Call& call_;
  SimModemChannel& channel_;
  bool dial_pending_ = false;  // "ATD" sent, its answer not yet read
  bool data_mode_ = false;     // the card is in the call ("CONNECT" and no "NO CARRIER" since)
};

SimDialUpService::SimDialUpService(SimIpHelper& ip_helper) : ip_helper_(ip_helper) {}

SimDialUpService::~SimDialUpService() {
  std::vector<std::shared_ptr<Call>> calls;
  {
    std::lock_guard lock(mutex_);
    for (auto& [handle, call] : calls_) calls.push_back(call);
    calls_.clear();
    for (auto& call : orphans_) calls.push_back(call);
    orphans_.clear();
  }
  for (auto& call : calls) call->channel.Interrupt();
  for (auto& call : calls) {
    if (call->thread.joinable()) call->thread.join();
  }
}

uint32_t SimDialUpService::ValidateEntryName(std::u16string_view phonebook, std::u16string_view entry) {
  if (!IsValidEntryName(entry)) return kErrorInvalidName;
  std::lock_guard lock(mutex_);
  return entries_.contains({std::u16string(phonebook), std::u16string(entry)}) ? kErrorAlreadyExists
                                                                               : kErrorSuccess;
}

uint32_t SimDialUpService::DeleteEntry(std::u16string_view phonebook, std::u16string_view entry) {
  if (!IsValidEntryName(entry)) return kErrorInvalidName;
  std::lock_guard lock(mutex_);
  return entries_.erase({std::u16string(phonebook), std::u16string(entry)}) ? kErrorSuccess
                                                                            : kRasErrorCannotFindPhonebookEntry;
}

uint32_t SimDialUpService::GetEntryProperties(std::u16string_view phonebook, std::u16string_view entry,
                                              RasEntry& out) {
  if (out.dwSize != sizeof(RasEntry)) return kRasErrorInvalidSize;
  if (!IsValidEntryName(entry)) return kErrorInvalidName;
  std::lock_guard lock(mutex_);
  auto it = entries_.find({std::u16string(phonebook), std::u16string(entry)});
  if (it == entries_.end()) return kRasErrorCannotFindPhonebookEntry;
  out = it->second;
  return kErrorSuccess;
}

uint32_t SimDialUpService::SetEntryProperties(std::u16string_view phonebook, std::u16string_view entry,
                                              const RasEntry& entry_image) {
  if (entry_image.dwSize != sizeof(RasEntry)) return kRasErrorInvalidSize;
  if (!IsValidEntryName(entry)) return kErrorInvalidName;
  std::lock_guard lock(mutex_);
  entries_[{std::u16string(phonebook), std::u16string(entry)}] = entry_image;
  return kErrorSuccess;
}

uint32_t SimDialUpService::Dial(std::u16string_view phonebook, const RasDialParams& params, RasDialFunc1 callback,
                                HRASCONN* connection) {
  if (connection == nullptr) return kErrorInvalidParameter;
  *connection = 0;
  if (params.dwSize != sizeof(RasDialParams)) return kRasErrorInvalidSize;
  ReapOrphans();
  RasEntry entry{};
  {
    std::lock_guard lock(mutex_);
    auto it = entries_.find({std::u16string(phonebook), std::u16string(FieldOf(params.szEntryName))});
    if (it == entries_.end()) return kRasErrorCannotFindPhonebookEntry;
    entry = it->second;
  }
  auto call = std::make_shared<Call>();
  call->port_path = FindModemPort(FieldOf(entry.szDeviceName));
  if (call->port_path.empty()) return kRasErrorDeviceNotFound;
  call->callback = std::move(callback);
  call->phone_number = FieldOf(params.szPhoneNumber);
  if (call->phone_number.empty()) call->phone_number = FieldOf(entry.szLocalPhoneNumber);
  call->dial_string = Utf16ToUtf8(call->phone_number);
  call->user = Utf16ToUtf8(FieldOf(params.szUserName));
  call->password = Utf16ToUtf8(FieldOf(params.szPassword));
  call->device_type = FieldOf(entry.szDeviceType);
  call->device_name = FieldOf(entry.szDeviceName);

  std::lock_guard lock(mutex_);
  call->handle = next_handle_++;
  calls_[call->handle] = call;
  // The thread waits for this lock before it calls back: by then the
  // handle and the thread are stored.
  call->thread = std::thread([this, call] { Dialler(*this, *call).Run(); });
  *connection = call->handle;
  return kErrorSuccess;
}

std::shared_ptr<SimDialUpService::Call> SimDialUpService::FindLocked(HRASCONN connection) {
  auto it = calls_.find(connection);
  return it == calls_.end() ? nullptr : it->second;
}

uint32_t SimDialUpService::GetConnectStatus(HRASCONN connection, RasConnStatus& status) {
  if (status.dwSize != sizeof(RasConnStatus)) return kRasErrorInvalidSize;
  std::lock_guard lock(mutex_);
  const auto call = FindLocked(connection);
  if (!call) return kErrorInvalidHandle;
  status.rasconnstate = call->state;
  status.dwError = call->error;
  CopyField(status.szDeviceType, call->device_type);
  CopyField(status.szDeviceName, call->device_name);
  CopyField(status.szPhoneNumber, call->phone_number);
  return kErrorSuccess;
}

uint32_t SimDialUpService::HangUp(HRASCONN connection) {
  std::shared_ptr<Call> call;
  {
    std::lock_guard lock(mutex_);
    call = FindLocked(connection);
    if (!call) return kErrorInvalidHandle;
    calls_.erase(connection);
    call->channel.Interrupt();
    if (call->thread.get_id() == std::this_thread::get_id()) {
      // From the call's own callback: the thread ends once it returns.
      orphans_.push_back(call);
      return kErrorSuccess;
    }
  }
  call->thread.join();
  ReapOrphans();
  return kErrorSuccess;
}

void SimDialUpService::ReapOrphans() {
  std::vector<std::shared_ptr<Call>> ended;
  {
    std::lock_guard lock(mutex_);
    auto done = [](const std::shared_ptr<Call>& call) {
      return call->finished.load() && call->thread.get_id() != std::this_thread::get_id();
    };
    std::copy_if(orphans_.begin(), orphans_.end(), std::back_inserter(ended), done);
    std::erase_if(orphans_, done);
  }
  for (auto& call : ended) call->thread.join();
}

uint32_t SimDialUpService::GetConnectionStatistics(HRASCONN connection, RasStats& stats) {
  if (stats.dwSize != sizeof(RasStats)) return kRasErrorInvalidSize;
  std::lock_guard lock(mutex_);
  const auto call = FindLocked(connection);
  if (!call) return kErrorInvalidHandle;
  uint64_t sent = call->bytes_sent;
  uint64_t received = call->bytes_received;
  IfRow row;
  if (!call->adapter.empty() && ip_helper_.GetIfEntry(call->adapter_index, row) == kErrorSuccess) {
    sent = row.OutOctets;
    received = row.InOctets;
  }
  stats = RasStats{};
  stats.dwSize = sizeof(RasStats);
  // The record's counters are 32 bits wide and wrap, as the system's do.
  stats.dwBytesXmited = static_cast<uint32_t>(sent);
  stats.dwBytesRcved = static_cast<uint32_t>(received);
  stats.dwFramesXmited = call->frames_sent;
  stats.dwFramesRcved = call->frames_received;
  if (call->connected_at != 0) {
    stats.dwBps = kLinkBps;
    const uint64_t until = call->ended_at != 0 ? call->ended_at : CurrentClock().NowMs();
    stats.dwConnectDuration = static_cast<uint32_t>(until - call->connected_at);
  }
  return kErrorSuccess;
}

uint32_t SimDialUpService::GetProjectionInfo(HRASCONN connection, uint32_t projection, RasPppIp& info) {
  if (projection != RASP_PppIp) return kErrorInvalidParameter;
  if (info.dwSize != sizeof(RasPppIp)) return kRasErrorInvalidSize;
  std::lock_guard lock(mutex_);
  const auto call = FindLocked(connection);
  if (!call) return kErrorInvalidHandle;
  if (call->address.empty()) return kRasErrorProtocolNotConfigured;
  info.dwError = kErrorSuccess;
  CopyField(info.szIpAddress, Utf8ToUtf16(call->address));
  CopyField(info.szServerIpAddress, u"");
  info.dwOptions = 0;
  info.dwServerOptions = 0;
  return kErrorSuccess;
}

std::string SimDialUpService::FreeAdapterNameLocked() const {
  for (int n = 0;; ++n) {
    std::string name = "ppp" + std::to_string(n);
    if (!ip_helper_.HasAdapter(name)) return name;
  }
}

}  // namespace platform
