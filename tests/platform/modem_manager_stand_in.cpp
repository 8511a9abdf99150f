#include "tests/platform/modem_manager_stand_in.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/modem_manager.h"

namespace testing_support {
ModemManagerStandIn::ModemManagerStandIn(const std::string& address, Answer answer) : answer_(answer) {
  sd_bus* raw = nullptr;
  if (sd_bus_new(&raw) < 0) return;
  bus_.reset(raw);
  if (sd_bus_set_address(raw, address.c_str()) < 0 || sd_bus_set_bus_client(raw, 1) < 0 ||
      sd_bus_start(raw) < 0) {
    return;
  }
  // One method is all it answers: a plain object callback is enough.
  sd_bus_slot* slot = nullptr;
  if (sd_bus_add_object(raw, &slot, platform::kModemManagerPath, &ModemManagerStandIn::OnInhibitDevice,
                        this) < 0) {
    return;
  }
  object_.reset(slot);
  slot = nullptr;
  if (sd_bus_match_signal(raw, &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus", "NameOwnerChanged", &ModemManagerStandIn::OnOwnerChanged,
                          this) < 0) {
    return;
  }
  watch_.reset(slot);
  if (sd_bus_request_name(raw, platform::kModemManagerName, 0) < 0) return;
  stop_.reset(::eventfd(0, EFD_CLOEXEC));
  if (!stop_) return;
  thread_ = std::thread([this] { Run(); });
  started_ = true;
}

ModemManagerStandIn::~ModemManagerStandIn() { Leave(); }

void ModemManagerStandIn::Leave() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
  }
  std::lock_guard lock(bus_mutex_);
  watch_.reset();
  object_.reset();
  bus_.reset();
}

std::vector<std::string> ModemManagerStandIn::Journal() {
  std::lock_guard lock(mutex_);
  return journal_;
}

bool ModemManagerStandIn::WaitFor(const std::string& entry) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(5), [&] {
    return std::find(journal_.begin(), journal_.end(), entry) != journal_.end();
  });
}

void ModemManagerStandIn::Write(std::string entry) {
  std::lock_guard lock(mutex_);
  journal_.push_back(std::move(entry));
  changed_.notify_all();
}

// A filter over every call to the object: InhibitDevice is answered here,
// everything else is left to sd-bus (which answers UnknownMethod).
int ModemManagerStandIn::OnInhibitDevice(sd_bus_message* message, void* self_ptr, sd_bus_error* error) {
  if (!sd_bus_message_is_method_call(message, platform::kModemManagerInterface, "InhibitDevice")) return 0;
  auto* self = static_cast<ModemManagerStandIn*>(self_ptr);
  const char* uid = nullptr;
  int inhibit = 0;
  if (sd_bus_message_read(message, "sb", &uid, &inhibit) < 0) {
    return sd_bus_error_set(error, "org.freedesktop.DBus.Error.InvalidArgs", "expected (sb)");
  }
  if (self->answer_ == Answer::kRefusing) {
    return sd_bus_error_set(error, kRefusalName,
                            "PolicyKit authorization failed: not authorized for "
                            "'org.freedesktop.ModemManager1.Device.Control'");
  }
  const std::string sender = sd_bus_message_get_sender(message) ? sd_bus_message_get_sender(message) : "";
  {
    std::lock_guard lock(self->mutex_);
    if (inhibit) {
      self->inhibited_[uid] = sender;
    } else {
      self->inhibited_.erase(uid);
    }
  }
  self->Write(std::string(inhibit ? "inhibit " : "release ") + uid);
  return sd_bus_reply_method_return(message, "");
}

int ModemManagerStandIn::OnOwnerChanged(sd_bus_message* message, void* self_ptr, sd_bus_error*) {
  auto* self = static_cast<ModemManagerStandIn*>(self_ptr);
  const char* name = nullptr;
  const char* old_owner = nullptr;
  const char* new_owner = nullptr;
  if (sd_bus_message_read(message, "sss", &name, &old_owner, &new_owner) < 0 || *new_owner) return 0;
  std::vector<std::string> ended;
  {
    std::lock_guard lock(self->mutex_);
    for (auto it = self->inhibited_.begin(); it != self->inhibited_.end();) {
      if (it->second == name) {
        ended.push_back(it->first);
        it = self->inhibited_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& uid : ended) self->Write("caller left " + uid);
  return 0;
}

void ModemManagerStandIn::Run() {
  for (;;) {
    pollfd fds[2] = {{-1, 0, 0}, {stop_.get(), POLLIN, 0}};
    {
      std::lock_guard lock(bus_mutex_);
      int r;
      while ((r = sd_bus_process(bus_.get(), nullptr)) > 0) {
      }
      const int events = r < 0 ? r : sd_bus_get_events(bus_.get());
      if (events < 0) return;
      fds[0] = {sd_bus_get_fd(bus_.get()), static_cast<short>(events), 0};
    }
    if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return;
    if (fds[1].revents) return;
  }
}

}  // namespace testing_support
