#include "platform/uevent_monitor.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/device_notification.h"
#include "platform/event.h"
#include "platform/udev_monitor.h"
#include "platform/wait.h"
#include "platform/win32_error.h"
#include "platform/window.h"

namespace platform {
namespace {

// On a machine that lets the test replay a serial port's "add" event (root
// with a writable sysfs), the kernel's event must come back as a COM-port
// arrival. Elsewhere only starting and stopping the monitor is checked.
TEST(UeventMonitorTest, AKernelPortEventBecomesAComPortArrival) {
  auto monitor = UeventMonitor::Start();
  if (!monitor) GTEST_SKIP() << "no kernel event socket here";

  constexpr const char* kTrigger = "/sys/class/tty/ttyS0/uevent";
  std::ofstream trigger(kTrigger);
  if (!trigger) GTEST_SKIP() << "cannot replay device events here";

  UniqueHandle arrived(CreateEvent(true, false));
  HANDLE arrived_handle = arrived.get();
  RegisterClass(u"UeventMonitorTest", [arrived_handle](HWND, uint32_t m, WPARAM w, LPARAM l) {
    if (m == WM_DEVICECHANGE && w == DBT_DEVICEARRIVAL) {
      auto broadcast = DeviceBroadcastFromLParam(l);
      if (broadcast && broadcast->device_type == DBT_DEVTYP_PORT && broadcast->name == "ttyS0") {
        SetEvent(arrived_handle);
      }
    }
    return LRESULT{0};
  });
  HWND hwnd = CreateWindow(u"UeventMonitorTest");
  HDEVNOTIFY registration = RegisterDeviceNotification(hwnd, kInterfaceComPort);

  trigger << "add" << std::flush;
  if (!trigger) GTEST_SKIP() << "the kernel refused to replay the event";
  SetTimer(hwnd, 1, 30'000);  // a safety net only: the event comes in milliseconds
  MSG msg;
  while (WaitForSingleObject(arrived.get(), 0) != kWaitObject0 && GetMessage(msg)) {
    ASSERT_NE(msg.message, WM_TIMER) << "no arrival broadcast within 30 s";
    DispatchMessage(msg);
  }
  UnregisterDeviceNotification(registration);
  DestroyWindow(hwnd);
  UnregisterClass(u"UeventMonitorTest");
}

// Whether or not a udev daemon runs here (without one sd-device's monitor
// hears nothing), the monitor opens, and destroying it stops its loop.
TEST(UeventMonitorTest, TheUdevMonitorStopsWhenDestroyed) {
  for (int round = 0; round < 3; ++round) {
    auto monitor = StartUdevMonitor([](const Uevent&) {});
    if (!monitor) GTEST_SKIP() << "no device monitor here: error " << GetLastError();
  }
}

}  // namespace
}  // namespace platform
