#include "platform/udev_monitor.h"

#include <systemd/sd-device.h>
#include <systemd/sd-event.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/udev_event.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr const char* kSubsystems[] = {"tty", "usb", "usb-serial", "net", "pci", "pcmcia"};

struct EventUnref {
  void operator()(sd_event* event) const { sd_event_unref(event); }
};
struct MonitorUnref {
  void operator()(sd_device_monitor* monitor) const { sd_device_monitor_unref(monitor); }
};
struct SourceUnref {
  void operator()(sd_event_source* source) const { sd_event_source_unref(source); }
};

class UdevMonitor final : public UeventMonitor {
 public:
  explicit UdevMonitor(std::function<void(const Uevent&)> deliver) : deliver_(std::move(deliver)) {}

  ~UdevMonitor() override {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
  }

  // Everything is set up here, before the thread runs the loop; a negative
  // errno on failure.
  int Open() {
    sd_event* event = nullptr;
    if (int r = sd_event_new(&event); r < 0) return r;
    event_.reset(event);

    stop_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop_) return -errno;
    sd_event_source* source = nullptr;
    if (int r = sd_event_add_io(event_.get(), &source, stop_.get(), EPOLLIN, OnStop, nullptr);
        r < 0) {
      return r;
    }
    stop_source_.reset(source);

    sd_device_monitor* monitor = nullptr;
    if (int r = sd_device_monitor_new(&monitor); r < 0) return r;
    monitor_.reset(monitor);
    for (const char* subsystem : kSubsystems) {
      if (int r = sd_device_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr);
          r < 0) {
        return r;
      }
    }
    if (int r = sd_device_monitor_filter_update(monitor); r < 0) return r;
    if (int r = sd_device_monitor_attach_event(monitor, event_.get()); r < 0) return r;
    if (int r = sd_device_monitor_start(monitor, OnDevice, this); r < 0) return r;

    thread_ = std::thread([this] { sd_event_loop(event_.get()); });
    return 0;
  }

 private:
  static int OnStop(sd_event_source* source, int, uint32_t, void*) {
    return sd_event_exit(sd_event_source_get_event(source), 0);
  }

  static int OnDevice(sd_device_monitor*, sd_device* device, void* userdata) {
    // Nothing may unwind into sd-event's C frames: an event that cannot be
    // delivered is dropped, and detection's polling still finds the change.
    try {
      auto* self = static_cast<UdevMonitor*>(userdata);
      if (auto event = UeventFromDevice(device)) self->deliver_(*event);
    } catch (...) {
    }
    return 0;
  }

  // Released in reverse: the loop's sources before the loop itself.
  std::unique_ptr<sd_event, EventUnref> event_;
  UniqueFd stop_;
  std::unique_ptr<sd_event_source, SourceUnref> stop_source_;
  std::unique_ptr<sd_device_monitor, MonitorUnref> monitor_;
  std::function<void(const Uevent&)> deliver_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<UeventMonitor> StartUdevMonitor(std::function<void(const Uevent&)> deliver) {
  auto monitor = std::make_unique<UdevMonitor>(std::move(deliver));
  if (const int r = monitor->Open(); r < 0) {
    SetLastErrorFromErrno(-r);
    return nullptr;
  }
  return monitor;
}

}  // namespace platform
