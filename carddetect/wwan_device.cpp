#include "carddetect/wwan_device.h"

#include <algorithm>
#include <array>
#include <memory>

#include "carddetect/device_text.h"
#include "carddetect/subdevice_search.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"

namespace {

constexpr int kLastNdisPortNumber = 19;
constexpr size_t kNdisAnswerBytes = 96;
// The NetCfgInstanceId is compared over this many characters.
constexpr size_t kNetCfgInstanceIdCompareLength = 48;

bool UsesNdisPortSearch(const NwCardInfo& info) {
  if (info.Model > kClassifiedModelLast || !(info.DriverCapabilities & CardDriverCapabilitiesWwanNdisPort)) {
    return false;
  }
  return (info.Family >= 5 && info.Family <= 7) || info.Model >= kCardModel0B00;
}

// The answer's UTF-16LE text, up to its terminator or 48 characters.
std::u16string DecodeInstanceId(const std::array<uint8_t, kNdisAnswerBytes>& answer, uint32_t returned) {
  const size_t bytes = std::min<size_t>(returned, answer.size());
  std::u16string id;
  for (size_t i = 0; i + 1 < bytes && id.size() < kNetCfgInstanceIdCompareLength; i += 2) {
    const char16_t unit = static_cast<char16_t>(answer[i] | (answer[i + 1] << 8));
    if (unit == u'\0') break;
    id += unit;
  }
  return id;
}

}  // namespace

std::optional<std::u16string> FindWwanNdisPort(const NwLibraryState& state) {
  const CardDbEntry* card = state.DetectedCard();
  const NwCardInfo& info = state.card_info;
  if (card == nullptr || !card->WwanNdisPortPattern || !UsesNdisPortSearch(info)) return std::nullopt;
  const std::u16string_view pattern = *card->WwanNdisPortPattern;
  const std::u16string_view wanted = CardInfoText(info.NetCfgInstanceId).substr(0, kNetCfgInstanceIdCompareLength);
  platform::DeviceTree& tree = platform::CurrentDeviceTree();
  for (int number = 0; number <= kLastNdisPortNumber; ++number) {
    const std::u16string name = FormatDevicePattern(pattern, number);
    std::unique_ptr<platform::DeviceFile> device;
    if (tree.OpenDevice(name, platform::kDeviceAccessNone, device) != 0) continue;
    std::array<uint8_t, kNdisAnswerBytes> answer{};
    uint32_t returned = 0;
    const uint32_t rc = device->IoControl(kIoctlQueryNetCfgInstanceId, {}, answer, returned);
    device.reset();
    if (rc != 0 || returned == 0) {
      XLogLevel(kXLogWarning,
                "Nw: VLNDISx NetCfgInstanceId could not be queried (rc=0x%x), old driver? Assuming \\\\.\\VLNDIS0 as WWAN NDIS port name.",
                rc);
      return FormatDevicePattern(pattern, 0);
    }
    if (DecodeInstanceId(answer, returned) == wanted) return name;
  }
  return std::nullopt;
}

bool DetectWwanDevice(NwLibraryState& state) {
  const CardDbEntry* card = state.DetectedCard();
  NwCardInfo& info = state.card_info;
  if (card == nullptr || !(info.DriverCapabilities & CardDriverCapabilitiesWwanNic)) return false;
  std::optional<NetAdapterMatch> adapter = HaveNetAdapter(card->WwanNicNames, info.DevNode);
  if (!adapter) return false;
  if (adapter->description.empty() || adapter->net_cfg_instance_id.empty()) {
    XLogLevel(kXLogWarning,
              "Nw: DetectWwanDevice(): Inconsistent state, a valid WWAN network adapter found but its name a/o net cfg instance id is empty - skipping it");
    return false;
  }
  XLogLevel(kXLogTrace, "Nw: Corresponding WWAN network adapter %s found with devnode 0x%x (NetCfgInstanceId=%s)",
            Narrow(adapter->description).c_str(), adapter->node, Narrow(adapter->net_cfg_instance_id).c_str());
  SetCardInfoText(info.WwanNicName, adapter->description);
  SetCardInfoText(info.NetCfgInstanceId, adapter->net_cfg_instance_id);
  state.detection.wwan_nic_node = adapter->node;

  if (info.DriverCapabilities & CardDriverCapabilitiesWwanNdisPort) {
    if (std::optional<std::u16string> port = FindWwanNdisPort(state)) {
      XLogLevel(kXLogTrace, "Nw: Corresponding WWAN NDIS port found under %s", Narrow(*port).c_str());
      SetCardInfoText(info.WwanNdisPortName, *port);
    } else {
      XLogLevel(kXLogError,
                "Nw: WWAN NDIS port name could not be detected, removing CardDriverCapabilitiesWwanNdisPort flag...");
      info.DriverCapabilities &= ~CardDriverCapabilitiesWwanNdisPort;
    }
  }
  return true;
}
