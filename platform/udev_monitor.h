// Listens to the device events udev re-broadcasts once its rules have run
// (sd-device's monitor), in the subsystems the broadcast mapping knows: tty,
// usb, usb-serial, net, pci and pcmcia. One thread runs an sd-event loop
// that an eventfd stops, so an idle machine costs nothing.
#pragma once

#include <functional>
#include <memory>

#include "platform/uevent.h"
#include "platform/uevent_monitor.h"

namespace platform {

// `deliver` is called on the monitor's thread for each event. Null with the
// last error set when the monitor cannot be opened. Without a udev daemon
// sd-device opens a monitor that hears nothing (UeventMonitor::Start listens
// to the kernel then).
std::unique_ptr<UeventMonitor> StartUdevMonitor(std::function<void(const Uevent&)> deliver);

}  // namespace platform
