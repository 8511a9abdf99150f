#include "platform/power_monitor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/sd_bus_handles.h"
#include "platform/sleep_preparation.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr uint32_t kErrorServiceNotActive = 1062;

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";

using Bus = SdBus;
using Slot = SdBusSlot;
using Message = SdBusMessage;
using BusError = SdBusError;

// Calls a method with arguments `args` of D-Bus `types`; the reply, or null with
// the last error set.
template <typename... Args>
Message Call(sd_bus* bus, const char* destination, const char* path, const char* interface,
             const char* member, const char* types, Args... args) {
  BusError error;
  sd_bus_message* reply = nullptr;
  const int r = sd_bus_call_method(bus, destination, path, interface, member, error.get(), &reply,
                                   types, args...);
  Message owned(reply);
  if (r < 0) {
    SetLastErrorFromErrno(-r);
    return nullptr;
  }
  return owned;
}

// True when logind is on the bus. Asked of the bus itself, so a machine
// without logind answers at once instead of trying to start it.
bool LogindIsRunning(sd_bus* bus) {
  Message reply = Call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                       "org.freedesktop.DBus", "NameHasOwner", "s", kLogind);
  int has_owner = 0;
  if (!reply || sd_bus_message_read(reply.get(), "b", &has_owner) < 0) return false;
  return has_owner != 0;
}

// logind's delay inhibitor: held while its file descriptor is open.
class LogindInhibitor final : public SleepInhibitor {
 public:
  explicit LogindInhibitor(sd_bus* bus) : bus_(bus) {}

  bool Take() override {
    Message reply = Call(bus_, kLogind, kLogindPath, kLogindManager, "Inhibit", "ssss", "sleep",
                         "Vombel Connect", "Releasing the data card before sleep", "delay");
    int fd = -1;
    if (!reply || sd_bus_message_read(reply.get(), "h", &fd) < 0) return false;
    // The descriptor belongs to the reply; keep a copy of our own.
    fd_.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    return static_cast<bool>(fd_);
  }

  void Release() override { fd_.reset(); }

 private:
  sd_bus* bus_;
  UniqueFd fd_;
};

class LogindPowerMonitor final : public PowerMonitor {
 public:
  LogindPowerMonitor(Bus bus, UniqueFd stop)
      : bus_(std::move(bus)), inhibitor_(bus_.get()), preparation_(inhibitor_),
        stop_(std::move(stop)) {}

  ~LogindPowerMonitor() override {
    if (thread_.joinable()) {
      const uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(stop_.get(), &one, sizeof one);
      thread_.join();
    }
  }

  // Subscribes to the sleep signal, then takes the first inhibitor (in this
  // order, so no sleep slips in between) and starts the thread. False with the
  // last error set when the subscription fails; a refused inhibitor is not
  // fatal: the windows still hear of sleeps, only without the delay.
  bool Begin() {
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_match_signal(bus_.get(), &slot, kLogind, kLogindPath, kLogindManager,
                                      "PrepareForSleep", &LogindPowerMonitor::OnSignal, this);
    if (r < 0) {
      SetLastErrorFromErrno(-r);
      return false;
    }
    slot_.reset(slot);
    preparation_.Start();
    thread_ = std::thread([this] { Run(); });
    return true;
  }

 private:
  static int OnSignal(sd_bus_message* message, void* self, sd_bus_error*) {
    int going_to_sleep = 0;
    if (sd_bus_message_read(message, "b", &going_to_sleep) < 0) return 0;
    static_cast<LogindPowerMonitor*>(self)->preparation_.OnPrepareForSleep(going_to_sleep != 0);
    return 0;
  }

  void Run() {
    sd_bus* bus = bus_.get();
    for (;;) {
      int r;
      while ((r = sd_bus_process(bus, nullptr)) > 0) {
      }
      if (r < 0) break;  // the bus went away
      const int events = sd_bus_get_events(bus);
      if (events < 0) break;
      pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(events), 0},
                       {stop_.get(), POLLIN, 0}};
      if (::poll(fds, 2, SdBusPollTimeoutMs(bus)) < 0 && errno != EINTR) break;
      if (fds[1].revents) return;
    }
    // Nobody hears of sleeps any more: do not hold them back.
    inhibitor_.Release();
  }

  Bus bus_;
  LogindInhibitor inhibitor_;
  SleepPreparation preparation_;
  Slot slot_;
  UniqueFd stop_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<PowerMonitor> PowerMonitor::Start() {
  sd_bus* raw = nullptr;
  const int r = sd_bus_open_system(&raw);
  if (r < 0) {
    SetLastErrorFromErrno(-r);
    return nullptr;
  }
  Bus bus(raw);
  if (!LogindIsRunning(bus.get())) {
    SetLastError(kErrorServiceNotActive);
    return nullptr;
  }
  UniqueFd stop(::eventfd(0, EFD_CLOEXEC));
  if (!stop) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  auto monitor = std::make_unique<LogindPowerMonitor>(std::move(bus), std::move(stop));
  if (!monitor->Begin()) return nullptr;
  return monitor;
}

}  // namespace platform
