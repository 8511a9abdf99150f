#include "carddetect/card_driver.h"

#include <memory>
#include <string>

#include "carddetect/device_text.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"

namespace {

constexpr int kLastBusDeviceNumber = 19;

}  // namespace

std::u16string_view BusDevicePattern(const NwCardInfo& info) {
  if (info.DriverCapabilities & CardDriverCapabilitiesComposite) return u"\\\\.\\vl72ubus%d";
  const uint32_t model = info.Model;
  if (IsModelInRange(model, kCardModel0B00, 0xB03) || IsModelInRange(model, 0xF00, 0xF03) || model == 0x1500) {
    return u"\\\\.\\vlfbus%d";
  }
  if (model == kCardModel0901 || model == 0x1100) return u"\\\\.\\vlmbus%d";
  if (model == kCardModel0C00) return u"\\\\.\\vlsbus%d";
  if (model == kCardModel0D00 || model == 0x1200 || model == 0x1300 || model == 0x1400 || model == 0x1600 ||
      model == 0x1700) {
    return u"\\\\.\\vlvbus%d";
  }
  return {};
}

bool DetectBusDevice(NwLibraryState& state) {
  NwCardInfo& info = state.card_info;
  if (info.State != CardStateStarting || state.DetectedCard() == nullptr ||
      !CardInfoText(info.BusDeviceName).empty()) {
    return false;
  }
  const std::u16string_view pattern = BusDevicePattern(info);
  if (pattern.empty()) return false;
  platform::DeviceTree& tree = platform::CurrentDeviceTree();
  for (int number = 0; number <= kLastBusDeviceNumber; ++number) {
    const std::u16string name = FormatDevicePattern(pattern, number);
    std::unique_ptr<platform::DeviceFile> device;
    if (tree.OpenDevice(name, platform::kDeviceAccessNone, device) != 0) continue;
    XLogLevel(kXLogTrace, "Nw: Bus device found (%s)", Narrow(name).c_str());
    SetCardInfoText(info.BusDeviceName, name);
    return true;
  }
  XLogLevel(kXLogTrace, "Nw: Bus device is not found");
  return false;
}

bool DetectDriverVersion(NwLibraryState& state) {
  NwCardInfo& info = state.card_info;
  if (info.State != CardStateStarting || state.DetectedCard() == nullptr) return false;
  const DetectionState& detection = state.detection;
  const platform::DEVINST node = detection.wwan_nic_node   ? detection.wwan_nic_node
                                 : detection.modem_node    ? detection.modem_node
                                                           : detection.app_port_node;
  if (node == 0) {
    XLogLevel(kXLogWarning, "Nw: Could not determine driver version since no major subdevice is found");
    return false;
  }
  uint64_t version = 0;
  const uint32_t rc = platform::CurrentDeviceTree().GetCompatibleDriverVersion(node, version);
  if (rc != 0) {
    XLogLevel(kXLogError, "Nw: Failed to determine driver version (0x%x)", rc);
    return false;
  }
  info.DriverVersionMs = static_cast<uint32_t>(version >> 32);
  info.DriverVersionLs = static_cast<uint32_t>(version);
  XLogLevel(kXLogTrace, "Nw: Driver version: %d.%d.%d.%d", static_cast<int>(info.DriverVersionMs >> 16),
            static_cast<int>(info.DriverVersionMs & 0xFFFF), static_cast<int>(info.DriverVersionLs >> 16),
            static_cast<int>(info.DriverVersionLs & 0xFFFF));
  return true;
}
