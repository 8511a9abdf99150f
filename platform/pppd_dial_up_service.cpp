#include "platform/pppd_dial_up_service.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/event.h"
#include "platform/handle.h"
#include "platform/pppd_dial_progress.h"
#include "platform/pppd_log_line.h"
#include "platform/pppd_peer_file.h"
#include "platform/pppd_phonebook.h"
#include "platform/pppd_process.h"
#include "platform/net_interface_text.h"
#include "platform/sysfs_file.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

#ifndef VOMBEL_PPP_DIR
#define VOMBEL_PPP_DIR "/etc/ppp"
#endif

namespace platform {
namespace {

// The folder pppd takes "call" names from (its _PATH_PEERFILES).
constexpr std::string_view kPppdOwnDir = "/etc/ppp";
constexpr const char* kChatScriptName = "vombel-connect.chat";
// pppd's passwordfd plugin reads at most this much of the password.
constexpr size_t kMaxPasswordBytes = 255;

// A zero-terminated text of a record, never read past its array.
std::u16string_view Bounded(const char16_t* text, size_t capacity) {
  size_t length = 0;
  while (length < capacity && text[length] != u'\0') ++length;
  return {text, length};
}

template <size_t N>
std::u16string_view Bounded(const char16_t (&text)[N]) {
  return Bounded(text, N);
}

template <size_t N>
void CopyText(char16_t (&target)[N], std::u16string_view text) {
  const size_t length = std::min(text.size(), N - 1);
  std::copy_n(text.data(), length, target);
  std::fill(target + length, target + N, u'\0');
}

template <size_t N>
void CopyText(char16_t (&target)[N], std::string_view utf8) {
  CopyText(target, std::u16string_view(Utf8ToUtf16(utf8)));
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Tells apart what keeps the port from us, before pppd tries: the open as
// the serial port does it, and its flock (which the program's own serial
// port and well-behaved terminal programs hold).
uint32_t CheckPortFree(const std::string& port) {
  UniqueFd fd(::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    switch (errno) {
      case EBUSY:
        return kRasErrorPortNotAvailable;
      case EACCES:
      case EPERM:
        return kDialUpErrorPortNotPermitted;
      case ENOENT:
      case ENOTDIR:
      case ENXIO:
      case ENODEV:
      case EIO:
        return kRasErrorDeviceNotFound;
      default:
        return ErrorFromErrno(errno);
    }
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return kRasErrorPortNotAvailable;
    return ErrorFromErrno(errno);
  }
  return kErrorSuccess;
}

std::optional<uint64_t> ReadCounter(const std::string& path) {
  const std::optional<std::string> text = ReadSysfsFile(path);
  return text ? ParseCounterText(*text) : std::nullopt;
}

}  // namespace

// --- one call ---------------------------------------------------------------

struct PppdDialUpService::Connection {
  HRASCONN handle = 0;
  RasDialFunc1 callback;
  std::u16string device_type;
  std::u16string device_name;
  std::u16string phone_number;
  PppdProcess process;
  UniqueHandle ended_event;  // manual reset: pppd has ended and is reaped

  std::mutex mutex;  // guards the fields below
  std::thread monitor;  // taken by whoever ends the call
  PppdDialProgress progress;
  bool ended = false;
  bool hung_up = false;
  uint32_t end_error = 0;
  uint64_t connected_at = 0;
  uint64_t ended_at = 0;
  // The last counters read, for a call whose interface has gone.
  uint64_t tx_bytes = 0, rx_bytes = 0, tx_frames = 0, rx_frames = 0;
};

// The callbacks of every call, in order, on one thread that holds no lock
// of the service while it calls, so a callback may call the service. Shared
// with the monitor threads, so that one left running (its pppd would not
// die) never reaches a service that is gone.
class PppdDialUpService::CallbackQueue {
 public:
  ~CallbackQueue() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    cv_.notify_all();
    // The thread holds no reference to the queue: the last one never goes
    // on it.
    if (thread_.joinable()) thread_.join();
  }

  // False when no thread could be made.
  bool Start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return true;
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  void Push(std::shared_ptr<Connection> connection, uint32_t state, uint32_t error) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back({std::move(connection), state, error});
    }
    cv_.notify_one();
  }

 private:
  struct Event {
    std::shared_ptr<Connection> connection;
    uint32_t state;
    uint32_t error;
  };

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      Event event = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      bool hung_up;
      {
        std::lock_guard call_lock(event.connection->mutex);
        hung_up = event.connection->hung_up;
      }
      // A call that was hung up calls back no more.
      if (!hung_up) {
        try {
          event.connection->callback(event.connection->handle, event.state, event.error);
        } catch (...) {
          ReportDiagnostic(kDiagnosticError, "Dial-up: the dial callback threw; the exception was dropped.");
        }
      }
      event.connection.reset();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Event> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

namespace {

// Reads what the log pipe holds; false once it is at its end (every writer
// gone) or broken.
bool ReadLog(int fd, PppdLogAssembler& assembler, std::vector<std::string>& lines) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      assembler.Feed(std::string_view(buffer, static_cast<size_t>(n)), lines);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;
  }
}

}  // namespace

const char* PppdDialUpService::DefaultPppDir() { return VOMBEL_PPP_DIR; }

PppdDialUpService::PppdDialUpService() : PppdDialUpService(Options{}) {}

PppdDialUpService::PppdDialUpService(Options options)
    : options_(std::move(options)), callbacks_(std::make_shared<CallbackQueue>()) {}

PppdDialUpService::~PppdDialUpService() {
  std::map<HRASCONN, std::shared_ptr<Connection>> calls;
  {
    std::lock_guard lock(mutex_);
    calls.swap(connections_);
  }
  for (auto& [handle, call] : calls) EndCall(*call);
}

std::shared_ptr<PppdDialUpService::Connection> PppdDialUpService::Find(HRASCONN connection) {
  std::lock_guard lock(mutex_);
  const auto it = connections_.find(connection);
  return it == connections_.end() ? nullptr : it->second;
}

// --- the phonebook ------------------------------------------------------------

uint32_t PppdDialUpService::ValidateEntryName(std::u16string_view phonebook, std::u16string_view entry) {
  std::string file_name;
  if (const uint32_t error = EntryFileName(entry, file_name)) return error;
  return EntryFileExists(PhonebookFolder(phonebook), file_name);
}

uint32_t PppdDialUpService::DeleteEntry(std::u16string_view phonebook, std::u16string_view entry) {
  std::string file_name;
  if (const uint32_t error = EntryFileName(entry, file_name)) return error;
  return DeleteEntryFile(PhonebookFolder(phonebook), file_name);
}

uint32_t PppdDialUpService::GetEntryProperties(std::u16string_view phonebook, std::u16string_view entry,
                                               RasEntry& out) {
  if (out.dwSize != sizeof(RasEntry)) return kRasErrorInvalidSize;
  std::string file_name;
  if (const uint32_t error = EntryFileName(entry, file_name)) return error;
  std::string text;
  if (const uint32_t error = ReadEntryFile(PhonebookFolder(phonebook), file_name, text)) return error;
  const PeerFileEntry parsed = ParsePeerFile(text);
  std::memset(&out, 0, sizeof out);
  out.dwSize = sizeof(RasEntry);
  out.dwfOptions = parsed.options;
  out.dwCountryID = parsed.country_id;
  out.dwCountryCode = parsed.country_code;
  CopyText(out.szLocalPhoneNumber, std::string_view(parsed.phone_number));
  out.dwfNetProtocols = parsed.net_protocols;
  out.dwFramingProtocol = parsed.framing_protocol;
  CopyText(out.szDeviceType, std::string_view(parsed.device_type));
  CopyText(out.szDeviceName, std::string_view(parsed.device_name));
  out.dwSubEntries = parsed.sub_entries;
  out.dwDialMode = parsed.dial_mode;
  out.dwIdleDisconnectSeconds = parsed.idle_disconnect_seconds;
  return kErrorSuccess;
}

uint32_t PppdDialUpService::SetEntryProperties(std::u16string_view phonebook, std::u16string_view entry,
                                               const RasEntry& image) {
  if (image.dwSize != sizeof(RasEntry)) return kRasErrorInvalidSize;
  std::string file_name;
  if (const uint32_t error = EntryFileName(entry, file_name)) return error;
  PeerFileEntry fields;
  fields.options = image.dwfOptions;
  fields.country_id = image.dwCountryID;
  fields.country_code = image.dwCountryCode;
  fields.phone_number = Utf16ToUtf8(Bounded(image.szLocalPhoneNumber));
  fields.net_protocols = image.dwfNetProtocols;
  fields.framing_protocol = image.dwFramingProtocol;
  fields.device_type = Utf16ToUtf8(Bounded(image.szDeviceType));
  fields.device_name = Utf16ToUtf8(Bounded(image.szDeviceName));
  fields.sub_entries = image.dwSubEntries;
  fields.dial_mode = image.dwDialMode;
  fields.idle_disconnect_seconds = image.dwIdleDisconnectSeconds;
  // The number reaches chat and the card; the texts stand on lines of their own.
  if (!IsDialString(fields.phone_number) || !IsCommentText(fields.device_type) ||
      !IsCommentText(fields.device_name)) {
    return kErrorInvalidParameter;
  }
  return WriteEntryFile(PhonebookFolder(phonebook), file_name,
                        FormatPeerFile(Utf16ToUtf8(entry), fields));
}

// --- dialling -------------------------------------------------------------------

uint32_t PppdDialUpService::CheckInstallation() const {
  struct stat info{};
  if (::stat(options_.pppd.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return kDialUpErrorPppdMissing;
    if (errno == EACCES) return kDialUpErrorPppdNotPermitted;
    return ErrorFromErrno(errno);
  }
  // Debian's pppd is 4754 root:dip: only the dip group may run it.
  if (::access(options_.pppd.c_str(), X_OK) != 0) return kDialUpErrorPppdNotPermitted;
  const std::string dir = WithoutTrailingSlash(options_.ppp_dir);
  const std::string peer = dir + "/peers/" + std::string(kInstalledPeerName);
  if (::stat(peer.c_str(), &info) != 0) {
    // /etc/ppp/peers is 2750 root:dip: outside the group the file cannot
    // even be seen.
    if (errno == EACCES) return kDialUpErrorPppdNotPermitted;
    return kDialUpErrorNotInstalled;
  }
  // chat runs as the user and reads its script itself.
  const std::string chat = dir + "/" + kChatScriptName;
  if (::access(chat.c_str(), R_OK) != 0) {
    return errno == EACCES ? kDialUpErrorPppdNotPermitted : kDialUpErrorNotInstalled;
  }
  return kErrorSuccess;
}

uint32_t PppdDialUpService::Dial(std::u16string_view phonebook, const RasDialParams& params,
                                 RasDialFunc1 callback, HRASCONN* connection) {
  if (connection == nullptr || !callback) return kErrorInvalidParameter;
  *connection = 0;
  if (params.dwSize != sizeof(RasDialParams)) return kRasErrorInvalidSize;

  std::string file_name;
  if (const uint32_t error = EntryFileName(Bounded(params.szEntryName), file_name)) return error;
  const std::string folder = PhonebookFolder(phonebook);
  std::string text;
  if (const uint32_t error = ReadEntryFile(folder, file_name, text)) return error;
  const PeerFileEntry entry = ParsePeerFile(text);

  // A number given for this call only overrides the entry's ("set" on the
  // command line comes after the entry's file).
  const std::string number_override = Utf16ToUtf8(Bounded(params.szPhoneNumber));
  if (!IsDialString(number_override)) return kErrorInvalidParameter;
  const std::string user = Utf16ToUtf8(Bounded(params.szUserName));
  const std::string password = Utf16ToUtf8(Bounded(params.szPassword));
  if (password.size() > kMaxPasswordBytes || !IsCommentText(user)) return kErrorInvalidParameter;

  if (const uint32_t error = CheckInstallation()) return error;
  const std::string port = FindModemPort(Utf8ToUtf16(entry.device_name));
  if (port.empty()) return kRasErrorDeviceNotFound;
  if (const uint32_t error = CheckPortFree(port)) return error;

  // The unprivileged part of the options; the rest is the installed file's.
  std::vector<std::string> args;
  const std::string dir = WithoutTrailingSlash(options_.ppp_dir);
  if (dir == kPppdOwnDir) {
    args = {"call", std::string(kInstalledPeerName)};
  } else {
    args = {"file", dir + "/peers/" + std::string(kInstalledPeerName)};
  }
  args.insert(args.end(), {"file", EntryFilePath(folder, file_name), port, "nodetach", "logfd", "2", "passwordfd",
                           std::to_string(PppdProcess::kPasswordFd)});
  if (!user.empty()) args.insert(args.end(), {"user", user});
  if (!number_override.empty()) {
    args.insert(args.end(), {"set", std::string(kDialNumberVariable) + "=" + number_override});
  }

  auto call = std::make_shared<Connection>();
  call->callback = std::move(callback);
  call->device_type = Utf8ToUtf16(entry.device_type);
  call->device_name = Utf8ToUtf16(entry.device_name);
  call->phone_number = Utf8ToUtf16(number_override.empty() ? entry.phone_number : number_override);
  call->ended_event.reset(CreateEvent(true, false));
  if (!call->ended_event || !callbacks_->Start()) return kErrorNoSystemResources;
  if (const uint32_t error = call->process.Start(options_.pppd, args, password)) return error;
  ReportDiagnostic(kDiagnosticTrace, "Dial-up: pppd (process %d) dials entry \"%s\" on %s.",
                   static_cast<int>(call->process.Pid()), Utf16ToUtf8(Bounded(params.szEntryName)).c_str(),
                   port.c_str());

  {
    std::lock_guard lock(mutex_);
    call->handle = next_handle_++;
    connections_[call->handle] = call;
  }
  bool started = true;
  {
    // Under the call's lock: a callback's HangUp sees the monitor only once
    // it is stored, and the monitor reports its first stage only after
    // RASCS_OpenPort is queued.
    std::lock_guard lock(call->mutex);
    try {
      callbacks_->Push(call, RASCS_OpenPort, 0);
      call->monitor = std::thread([call, callbacks = callbacks_] { Monitor(call, callbacks); });
    } catch (const std::system_error&) {
      call->hung_up = true;
      started = false;
    }
  }
  if (!started) {
    std::lock_guard lock(mutex_);
    connections_.erase(call->handle);
    return kErrorNoSystemResources;  // the process goes with the call
  }
  *connection = call->handle;
  return kErrorSuccess;
}

// The monitor of one call: pppd's log lines become stages, its end becomes
// the call's end. Blocks in poll on the log and the pidfd, nothing else.
void PppdDialUpService::Monitor(const std::shared_ptr<Connection>& call,
                                const std::shared_ptr<CallbackQueue>& callbacks) {
  PppdLogAssembler assembler;
  std::vector<std::string> lines;
  auto handle_lines = [&] {
    for (const std::string& line : lines) {
      const std::string_view text = TrimPppdLogLine(line);
      if (text.empty()) continue;
      ReportDiagnostic(kDiagnosticTrace, "pppd: %.*s", static_cast<int>(text.size()), text.data());
      std::vector<RasConnState> reached;
      {
        std::lock_guard lock(call->mutex);
        reached = call->progress.OnLine(ParsePppdLogLine(text));
        if (call->progress.Connected() && call->connected_at == 0) call->connected_at = CurrentClock().NowMs();
      }
      for (RasConnState stage : reached) callbacks->Push(call, stage, 0);
    }
    lines.clear();
  };

  pollfd fds[2] = {{call->process.LogFd(), POLLIN, 0}, {call->process.PidFd(), POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      ReportDiagnostic(kDiagnosticError, "Dial-up: waiting for pppd failed (errno %d).", errno);
      break;
    }
    const bool ended = fds[1].revents != 0;
    // What pppd wrote before it ended is in the pipe: read it all first.
    if ((fds[0].revents != 0 || ended) && fds[0].fd >= 0 && !ReadLog(fds[0].fd, assembler, lines)) fds[0].fd = -1;
    handle_lines();
    if (ended) break;
  }
  if (auto rest = assembler.Finish()) {
    lines.push_back(std::move(*rest));
    handle_lines();
  }

  const int exit_code = call->process.Reap();
  bool report;
  uint32_t error;
  RasConnState stage;
  {
    std::lock_guard lock(call->mutex);
    call->ended = true;
    call->ended_at = CurrentClock().NowMs();
    call->end_error = call->progress.ErrorOnExit(exit_code);
    error = call->end_error;
    stage = call->progress.Stage();
    report = !call->hung_up && !call->progress.Connected();
  }
  ReportDiagnostic(kDiagnosticTrace, "Dial-up: pppd (process %d) ended with exit code %d (error %u).",
                   static_cast<int>(call->process.Pid()), exit_code, error);
  SetEvent(call->ended_event.get());
  if (report) callbacks->Push(call, stage, error);
}

void PppdDialUpService::EndCall(Connection& call) {
  bool ended;
  std::thread monitor;
  {
    std::lock_guard lock(call.mutex);
    call.hung_up = true;
    ended = call.ended;
    monitor = std::move(call.monitor);
  }
  if (!monitor.joinable()) return;
  if (!ended) {
    call.process.Signal(SIGTERM);
    if (WaitForSingleObject(call.ended_event.get(), kTerminateGraceMs) == kWaitTimeout) {
      ReportDiagnostic(kDiagnosticWarning, "Dial-up: pppd (process %d) did not end within %u ms; killing it.",
                       static_cast<int>(call.process.Pid()), kTerminateGraceMs);
      call.process.Signal(SIGKILL);
      if (WaitForSingleObject(call.ended_event.get(), kKillGraceMs) == kWaitTimeout) {
        // The monitor keeps its own references; it ends with the process.
        ReportDiagnostic(kDiagnosticError, "Dial-up: pppd (process %d) did not end when killed; left to itself.",
                         static_cast<int>(call.process.Pid()));
        monitor.detach();
        return;
      }
    }
  }
  monitor.join();
}

uint32_t PppdDialUpService::HangUp(HRASCONN connection) {
  std::shared_ptr<Connection> call;
  {
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(connection);
    if (it == connections_.end()) return kErrorInvalidHandle;
    call = std::move(it->second);
    connections_.erase(it);
  }
  EndCall(*call);
  return kErrorSuccess;
}

// --- what a call is doing -----------------------------------------------------------

uint32_t PppdDialUpService::GetConnectStatus(HRASCONN connection, RasConnStatus& status) {
  if (status.dwSize != sizeof(RasConnStatus)) return kRasErrorInvalidSize;
  const auto call = Find(connection);
  if (!call) return kErrorInvalidHandle;
  {
    std::lock_guard lock(call->mutex);
    status.rasconnstate = call->ended ? RASCS_Disconnected : call->progress.Stage();
    status.dwError = call->ended ? call->end_error : 0;
  }
  CopyText(status.szDeviceType, std::u16string_view(call->device_type));
  CopyText(status.szDeviceName, std::u16string_view(call->device_name));
  CopyText(status.szPhoneNumber, std::u16string_view(call->phone_number));
  return kErrorSuccess;
}

uint32_t PppdDialUpService::GetConnectionStatistics(HRASCONN connection, RasStats& stats) {
  if (stats.dwSize != sizeof(RasStats)) return kRasErrorInvalidSize;
  const auto call = Find(connection);
  if (!call) return kErrorInvalidHandle;
  std::string interface;
  bool live;
  {
    std::lock_guard lock(call->mutex);
    interface = call->progress.Interface();
    live = call->connected_at != 0 && !call->ended;
  }
  if (live && !interface.empty()) {
    // The kernel's counters of the pppN interface; one that cannot be read
    // (the interface just went) keeps its last value.
    const std::string base = options_.net_class_dir + "/" + interface + "/statistics/";
    const auto tx_bytes = ReadCounter(base + "tx_bytes");
    const auto rx_bytes = ReadCounter(base + "rx_bytes");
    const auto tx_frames = ReadCounter(base + "tx_packets");
    const auto rx_frames = ReadCounter(base + "rx_packets");
    std::lock_guard lock(call->mutex);
    if (tx_bytes) call->tx_bytes = *tx_bytes;
    if (rx_bytes) call->rx_bytes = *rx_bytes;
    if (tx_frames) call->tx_frames = *tx_frames;
    if (rx_frames) call->rx_frames = *rx_frames;
  }
  std::memset(&stats, 0, sizeof stats);
  stats.dwSize = sizeof(RasStats);
  std::lock_guard lock(call->mutex);
  // DWORD counters, as the callers know them: they wrap.
  stats.dwBytesXmited = static_cast<uint32_t>(call->tx_bytes);
  stats.dwBytesRcved = static_cast<uint32_t>(call->rx_bytes);
  stats.dwFramesXmited = static_cast<uint32_t>(call->tx_frames);
  stats.dwFramesRcved = static_cast<uint32_t>(call->rx_frames);
  if (call->connected_at != 0) {
    const uint64_t until = call->ended ? call->ended_at : CurrentClock().NowMs();
    stats.dwConnectDuration = static_cast<uint32_t>(until - call->connected_at);
  }
  return kErrorSuccess;
}

uint32_t PppdDialUpService::GetProjectionInfo(HRASCONN connection, uint32_t projection, RasPppIp& info) {
  const auto call = Find(connection);
  if (!call) return kErrorInvalidHandle;
  if (projection != RASP_PppIp) return kRasErrorProtocolNotConfigured;
  if (info.dwSize != sizeof(RasPppIp)) return kRasErrorInvalidSize;
  std::string local, remote;
  {
    std::lock_guard lock(call->mutex);
    if (call->ended || !call->progress.Connected()) return kRasErrorProtocolNotConfigured;
    local = call->progress.LocalAddress();
    remote = call->progress.RemoteAddress();
  }
  info.dwError = 0;
  CopyText(info.szIpAddress, std::string_view(local));
  CopyText(info.szServerIpAddress, std::string_view(remote));
  info.dwOptions = 0;
  info.dwServerOptions = 0;
  return kErrorSuccess;
}

DialUpService& SystemDialUpService() {
  static PppdDialUpService service;
  return service;
}

}  // namespace platform
