// What a device-change or power broadcast says: the event (wParam of
// WM_DEVICECHANGE / WM_POWERBROADCAST) and, for device events, the broadcast
// header: its type and, per type, the interface class and the device's name.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// WM_DEVICECHANGE events.
inline constexpr uint32_t DBT_DEVNODES_CHANGED = 0x0007;
inline constexpr uint32_t DBT_DEVICEARRIVAL = 0x8000;
inline constexpr uint32_t DBT_DEVICEQUERYREMOVE = 0x8001;
inline constexpr uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;

// The answer of a window that refuses a DBT_DEVICEQUERYREMOVE.
inline constexpr intptr_t BROADCAST_QUERY_DENY = 0x424D5144;

// Broadcast header types.
inline constexpr uint32_t DBT_DEVTYP_DEVNODE = 1;
inline constexpr uint32_t DBT_DEVTYP_PORT = 3;
inline constexpr uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;
inline constexpr uint32_t DBT_DEVTYP_HANDLE = 6;

// WM_POWERBROADCAST events.
inline constexpr uint32_t PBT_APMSUSPEND = 0x4;
inline constexpr uint32_t PBT_APMRESUMESUSPEND = 0x7;

// Device interface classes a window can ask to hear about.
inline constexpr std::string_view kInterfaceComPort = "{86E0D1E0-8089-11D0-9CE4-08003E301F73}";
inline constexpr std::string_view kInterfaceModem = "{2C7089AA-2E0E-11D1-B114-00C04FC2AAE4}";
inline constexpr std::string_view kInterfaceSerialEnumerator =
    "{4D36E978-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kInterfaceUsbDevice = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
inline constexpr std::string_view kInterfaceNetwork = "{AD498944-762F-11D0-8DCB-00C04FC3358C}";
inline constexpr std::string_view kInterfaceSmartCardReader =
    "{50DD5230-BA8A-11D1-BF5D-0000F805F530}";

// One device broadcast. `size` is the size the system's own record would
// have (header plus name), which receivers log.
struct DeviceBroadcast {
  uint32_t event = 0;        // DBT_*
  uint32_t device_type = 0;  // DBT_DEVTYP_*; 0 for DBT_DEVNODES_CHANGED
  std::string interface_class;  // DBT_DEVTYP_DEVICEINTERFACE only
  std::string name;             // device or port name, UTF-8
  uint32_t size = 0;
};

}  // namespace platform
