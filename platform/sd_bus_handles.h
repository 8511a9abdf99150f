// Owners for sd-bus's reference-counted objects: a connection (flushed and
// closed when it goes), a message, a slot (a match or an object vtable,
// removed when it goes) and an error; and how long a thread that polls a
// connection may sleep.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>

namespace platform {

struct SdBusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct SdBusSlotUnref {
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
struct SdBusMessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using SdBus = std::unique_ptr<sd_bus, SdBusCloser>;
using SdBusSlot = std::unique_ptr<sd_bus_slot, SdBusSlotUnref>;
using SdBusMessage = std::unique_ptr<sd_bus_message, SdBusMessageUnref>;

class SdBusError {
 public:
  SdBusError() = default;
  ~SdBusError() { sd_bus_error_free(&error_); }
  SdBusError(const SdBusError&) = delete;
  SdBusError& operator=(const SdBusError&) = delete;
  sd_bus_error* get() { return &error_; }
  const char* name() const { return error_.name ? error_.name : ""; }
  const char* message() const { return error_.message ? error_.message : ""; }

 private:
  sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

// Milliseconds until sd-bus wants to be called again; -1 for never.
int SdBusPollTimeoutMs(sd_bus* bus);

}  // namespace platform
