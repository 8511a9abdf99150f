// The ModemManager link over D-Bus (sd-bus). One connection per link, and one
// thread that blocks in poll on it, on a stop eventfd and on a wake eventfd,
// to hear NameOwnerChanged for ModemManager's name. sd-bus is not
// thread-safe: every use of the connection is under one mutex, and a caller
// that made a call wakes the thread afterwards, so that a signal which
// arrived during the call (sd-bus queues it) is dispatched at once.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/modem_manager.h"
#include "platform/sd_bus_handles.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kModemInterface = "org.freedesktop.ModemManager1.Modem";
constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";

// ModemManager asks PolicyKit before it answers an InhibitDevice; a
// PolicyKit that shows the user a dialog can take a while, a hung service
// must not hang the card's start for sd-bus's default 25 s.
constexpr uint64_t kInhibitTimeoutUs = 10'000'000;
constexpr uint64_t kQueryTimeoutUs = 5'000'000;

constexpr const char* kOwnerWatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.freedesktop.ModemManager1'";

void Signal(int eventfd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(eventfd, &one, sizeof one);
}

void Drain(int eventfd) {
  uint64_t count = 0;
  [[maybe_unused]] ssize_t n = ::read(eventfd, &count, sizeof count);
}

// Reads the Device and Ports properties of one interface's a{sv}; the
// message stands at the array. False on a malformed message.
bool ReadModemProperties(sd_bus_message* m, std::string& device, std::vector<std::string>& ports) {
  if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return false;
  int r;
  while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
    const char* property = nullptr;
    if (sd_bus_message_read(m, "s", &property) < 0) return false;
    const std::string_view name(property);
    if (name == "Device") {
      const char* value = nullptr;
      if (sd_bus_message_read(m, "v", "s", &value) < 0) return false;
      device = value;
    } else if (name == "Ports") {
      if (sd_bus_message_enter_container(m, 'v', "a(su)") < 0) return false;
      if (sd_bus_message_enter_container(m, 'a', "(su)") < 0) return false;
      const char* port = nullptr;
      uint32_t type = 0;
      while ((r = sd_bus_message_read(m, "(su)", &port, &type)) > 0) ports.emplace_back(port);
      if (r < 0) return false;
      if (sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0) return false;
    } else if (sd_bus_message_skip(m, "v") < 0) {
      return false;
    }
    if (sd_bus_message_exit_container(m) < 0) return false;
  }
  return r >= 0 && sd_bus_message_exit_container(m) >= 0;
}

// The Device of the modem among GetManagedObjects' a{oa{sa{sv}}} that has
// `port`; empty when none has it or the message is malformed.
std::string DeviceOfPortIn(sd_bus_message* m, std::string_view port) {
  if (sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}") < 0) return {};
  while (sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}") > 0) {
    const char* path = nullptr;
    if (sd_bus_message_read(m, "o", &path) < 0) return {};
    if (sd_bus_message_enter_container(m, 'a', "{sa{sv}}") < 0) return {};
    while (sd_bus_message_enter_container(m, 'e', "sa{sv}") > 0) {
      const char* interface = nullptr;
      if (sd_bus_message_read(m, "s", &interface) < 0) return {};
      if (std::string_view(interface) == kModemInterface) {
        std::string device;
        std::vector<std::string> ports;
        if (!ReadModemProperties(m, device, ports)) return {};
        if (!device.empty() && ModemHasPort(ports, port)) return device;
      } else if (sd_bus_message_skip(m, "a{sv}") < 0) {
        return {};
      }
      if (sd_bus_message_exit_container(m) < 0) return {};
    }
    if (sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0) return {};
  }
  return {};
}

// The connection and what is held over it, shared by the link and its
// inhibitions. The link's thread holds no reference: the link stops it
// before letting its own reference go.
class Connection {
 public:
  struct Held {
    std::string uid;
    std::string owner;  // ModemManager's unique name when it granted the inhibition
    ModemManagerLink::LostHandler on_lost;
    std::shared_ptr<std::atomic<bool>> lost;
  };

  Connection(SdBus bus, UniqueFd wake) : bus_(std::move(bus)), wake_(std::move(wake)) {}

  // Watches ModemManager's name; before the thread starts.
  bool Watch() {
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus_.get(), &slot, kOwnerWatch, &Connection::OnOwnerChanged, this);
    if (r < 0) {
      SetLastErrorFromErrno(-r);
      return false;
    }
    watch_.reset(slot);
    return true;
  }

  // ModemManager's unique name; empty when it is not on the bus.
  std::string Owner() {
    std::lock_guard lock(mutex_);
    return OwnerLocked();
  }

  std::string DeviceOfPort(std::string_view port) {
    std::unique_lock lock(mutex_);
    SdBusMessage reply;
    {
      SdBusMessage call;
      sd_bus_message* raw = nullptr;
      if (sd_bus_message_new_method_call(bus_.get(), &raw, kModemManagerName, kModemManagerPath,
                                         kObjectManager, "GetManagedObjects") < 0) {
        return {};
      }
      call.reset(raw);
      SdBusError error;
      raw = nullptr;
      const int r = sd_bus_call(bus_.get(), call.get(), kQueryTimeoutUs, error.get(), &raw);
      reply.reset(raw);
      if (r < 0) return {};
    }
    std::string device = DeviceOfPortIn(reply.get(), port);
    lock.unlock();
    Signal(wake_.get());
    return device;
  }

  // Sends InhibitDevice(uid, true) to ModemManager's present owner and, when
  // granted, records the inhibition under `id` before anyone can dispatch a
  // NameOwnerChanged that came in behind the answer.
  InhibitResult Inhibit(uint64_t id, const std::string& uid, ModemManagerLink::LostHandler on_lost,
                        std::shared_ptr<std::atomic<bool>> lost) {
    InhibitResult result;
    {
      std::lock_guard lock(mutex_);
      const std::string owner = OwnerLocked();
      if (owner.empty()) {
        result.status = InhibitStatus::kAbsent;
        return result;
      }
      SdBusError error;
      if (CallInhibit(owner, uid, true, kInhibitTimeoutUs, error)) {
        result.status = InhibitStatus::kOk;
        held_.emplace(id, Held{uid, owner, std::move(on_lost), std::move(lost)});
      } else {
        result.error_name = error.name();
        result.error_message = error.message();
        result.status = InhibitStatusOfError(result.error_name, result.error_message);
        // A call that failed because ModemManager left while it ran.
        if (result.status == InhibitStatus::kFailed && OwnerLocked().empty()) {
          result.status = InhibitStatus::kAbsent;
        }
      }
    }
    Signal(wake_.get());
    return result;
  }

  // Hands the device back unless ModemManager has gone; forgets it either way.
  void Release(uint64_t id) {
    {
      std::lock_guard lock(mutex_);
      auto it = held_.find(id);
      if (it == held_.end()) return;
      const Held held = std::move(it->second);
      held_.erase(it);
      if (held.lost->load()) return;
      // Nothing to do about a failure: ModemManager ends the inhibition
      // anyway when this connection closes.
      SdBusError error;
      CallInhibit(held.owner, held.uid, false, kQueryTimeoutUs, error);
    }
    Signal(wake_.get());
  }

  // The thread's loop: dispatches until stopped or until the bus goes.
  void Run(int stop) {
    for (;;) {
      pollfd fds[3] = {{-1, 0, 0}, {stop, POLLIN, 0}, {wake_.get(), POLLIN, 0}};
      int timeout = -1;
      {
        std::unique_lock lock(mutex_);
        int r;
        while ((r = sd_bus_process(bus_.get(), nullptr)) > 0) {
        }
        if (r >= 0 && !departed_.empty()) {
          const std::vector<std::string> gone = std::exchange(departed_, {});
          LoseLocked(lock, [&gone](const Held& held) {
            return std::find(gone.begin(), gone.end(), held.owner) != gone.end();
          });
          continue;  // a handler may have used the bus meanwhile
        }
        const int events = r < 0 ? r : sd_bus_get_events(bus_.get());
        if (events < 0) {
          // The bus went (its daemon ended, or it closed us): every
          // inhibition went with it.
          LoseLocked(lock, [](const Held&) { return true; });
          return;
        }
        fds[0] = {sd_bus_get_fd(bus_.get()), static_cast<short>(events), 0};
        timeout = SdBusPollTimeoutMs(bus_.get());
      }
      if (::poll(fds, 3, timeout) < 0 && errno != EINTR) return;
      if (fds[1].revents) return;
      if (fds[2].revents) Drain(wake_.get());
    }
  }

 private:
  std::string OwnerLocked() {
    SdBusError error;
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_call_method(bus_.get(), kBusName, kBusPath, kBusName, "GetNameOwner",
                                     error.get(), &raw, "s", kModemManagerName);
    SdBusMessage reply(raw);
    const char* owner = nullptr;
    if (r < 0 || sd_bus_message_read(reply.get(), "s", &owner) < 0) return {};
    return owner;
  }

  bool CallInhibit(const std::string& owner, const std::string& uid, bool inhibit, uint64_t timeout_us,
                   SdBusError& error) {
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_.get(), &raw, owner.c_str(), kModemManagerPath,
                                       kModemManagerInterface, "InhibitDevice") < 0) {
      sd_bus_error_set(error.get(), "org.freedesktop.DBus.Error.NoMemory", "cannot make the call");
      return false;
    }
    SdBusMessage call(raw);
    if (sd_bus_message_append(call.get(), "sb", uid.c_str(), static_cast<int>(inhibit)) < 0) {
      sd_bus_error_set(error.get(), "org.freedesktop.DBus.Error.InvalidArgs",
                       "the device uid is not valid UTF-8");
      return false;
    }
    raw = nullptr;
    const int r = sd_bus_call(bus_.get(), call.get(), timeout_us, error.get(), &raw);
    SdBusMessage reply(raw);
    if (r < 0 && !sd_bus_error_is_set(error.get())) sd_bus_error_set_errno(error.get(), r);
    return r >= 0;
  }

  // Marks the inhibitions that `gone` picks as lost and runs their handlers,
  // without the lock, so a handler may release an inhibition.
  template <typename Pick>
  void LoseLocked(std::unique_lock<std::mutex>& lock, Pick gone) {
    std::vector<std::pair<std::string, ModemManagerLink::LostHandler>> notices;
    for (auto& [id, held] : held_) {
      if (held.lost->load() || !gone(held)) continue;
      held.lost->store(true);
      if (held.on_lost) notices.emplace_back(held.uid, held.on_lost);
    }
    lock.unlock();
    for (auto& [uid, handler] : notices) handler(uid);
    lock.lock();
  }

  // Runs inside sd_bus_process, under the lock taken by Run, which runs the
  // handlers once the dispatch is over.
  static int OnOwnerChanged(sd_bus_message* message, void* self, sd_bus_error*) {
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &old_owner, &new_owner) < 0) return 0;
    if (std::string_view(name) != kModemManagerName || !*old_owner) return 0;
    static_cast<Connection*>(self)->departed_.emplace_back(old_owner);
    return 0;
  }

 private:
  std::mutex mutex_;
  SdBus bus_;
  UniqueFd wake_;
  SdBusSlot watch_;
  std::map<uint64_t, Held> held_;
  std::vector<std::string> departed_;  // unique names ModemManager left the bus with
};

class BusInhibition final : public ModemManagerInhibition {
 public:
  BusInhibition(std::weak_ptr<Connection> connection, uint64_t id, std::string uid,
                std::shared_ptr<std::atomic<bool>> lost)
      : connection_(std::move(connection)), id_(id), uid_(std::move(uid)), lost_(std::move(lost)) {}
  ~BusInhibition() override {
    if (auto connection = connection_.lock()) connection->Release(id_);
  }
  const std::string& Uid() const override { return uid_; }
  bool Lost() const override { return lost_->load(); }

 private:
  std::weak_ptr<Connection> connection_;
  uint64_t id_;
  std::string uid_;
  std::shared_ptr<std::atomic<bool>> lost_;
};

class BusModemManagerLink final : public ModemManagerLink {
 public:
  BusModemManagerLink(std::shared_ptr<Connection> connection, UniqueFd stop)
      : connection_(std::move(connection)), stop_(std::move(stop)) {
    thread_ = std::thread([connection = connection_.get(), stop = stop_.get()] { connection->Run(stop); });
  }

  ~BusModemManagerLink() override {
    Signal(stop_.get());
    thread_.join();
  }

  bool Present() override { return !connection_->Owner().empty(); }

  std::string DeviceOfPort(std::string_view port) override { return connection_->DeviceOfPort(port); }

  Inhibited Inhibit(const std::string& uid, LostHandler on_lost) override {
    Inhibited out;
    auto lost = std::make_shared<std::atomic<bool>>(false);
    const uint64_t id = ++next_id_;
    out.result = connection_->Inhibit(id, uid, std::move(on_lost), lost);
    if (out.result.status == InhibitStatus::kOk) {
      out.inhibition = std::make_unique<BusInhibition>(connection_, id, uid, std::move(lost));
    }
    return out;
  }

 private:
  std::shared_ptr<Connection> connection_;
  UniqueFd stop_;
  std::atomic<uint64_t> next_id_{0};
  std::thread thread_;
};

std::unique_ptr<ModemManagerLink> Start(sd_bus* raw) {
  SdBus bus(raw);
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  UniqueFd stop(::eventfd(0, EFD_CLOEXEC));
  if (!wake || !stop) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  auto connection = std::make_shared<Connection>(std::move(bus), std::move(wake));
  if (!connection->Watch()) return nullptr;
  return std::make_unique<BusModemManagerLink>(std::move(connection), std::move(stop));
}

}  // namespace

std::unique_ptr<ModemManagerLink> ConnectModemManager() {
  sd_bus* raw = nullptr;
  const int r = sd_bus_open_system(&raw);
  if (r < 0) {
    SetLastErrorFromErrno(-r);
    return nullptr;
  }
  return Start(raw);
}

std::unique_ptr<ModemManagerLink> ConnectModemManager(const std::string& address) {
  sd_bus* raw = nullptr;
  int r = sd_bus_new(&raw);
  if (r < 0) {
    SetLastErrorFromErrno(-r);
    return nullptr;
  }
  SdBus bus(raw);
  if ((r = sd_bus_set_address(raw, address.c_str())) < 0 || (r = sd_bus_set_bus_client(raw, 1)) < 0 ||
      (r = sd_bus_start(raw)) < 0) {
    SetLastErrorFromErrno(-r);
    return nullptr;
  }
  return Start(bus.release());
}

}  // namespace platform
