#include "carddetect/smart_card_reader.h"

#include "carddetect/device_node.h"
#include "carddetect/device_text.h"
#include "carddetect/subdevice_search.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"

namespace {

// Family 3 cards name their reader interface by number.
constexpr int32_t kFamilyNumberedReader = 3;

}  // namespace

void DetectSmartCardReaderById(NwLibraryState& state) {
  const NwOsType os = DetermineOsType();
  if (os != kNwOs2k && os != kNwOsXp) return;
  NwCardInfo& info = state.card_info;
  if (!IsClassifiedModel(info.Model) || IsCompositeInterfaceModel(info.Model)) return;
  const std::u16string_view marker = info.Family == kFamilyNumberedReader ? u"&MI_03" : u"_SC\\";
  if (HasDeviceNameSubString(info.DevNode, marker)) {
    XLogLevel(kXLogTrace, "Nw: This card has a smart card reader device");
  } else {
    XLogLevel(kXLogTrace, "Nw: This card has NO smart card reader device");
    info.DriverCapabilities &= ~CardDriverCapabilitiesSmartCardReader;
  }
}

bool DetectSmartCardReader(NwLibraryState& state, bool require_flag) {
  const CardDbEntry* card = state.DetectedCard();
  if (card == nullptr || !card->SmartCardReaderNames || card->SmartCardReaderNames->empty()) return false;
  NwCardInfo& info = state.card_info;
  if (require_flag && !(info.DriverCapabilities & CardDriverCapabilitiesSmartCardReader)) return false;
  std::optional<SmartCardReaderMatch> reader = HaveSmartCardReader(card->SmartCardReaderNames, info.DevNode, false);
  if (!reader) return false;
  if (reader->description.empty()) {
    XLogLevel(kXLogWarning,
              "Nw: DetectSmartCardReader(): Inconsistent state, a valid smart card reader found but its name is empty - skipping it");
    return false;
  }
  XLogLevel(kXLogTrace, "Nw: Corresponding smart card reader %s found with devnode 0x%x",
            Narrow(reader->description).c_str(), reader->node);
  SetCardInfoText(info.SmartCardReaderName, reader->description);
  state.detection.smart_card_reader_node = reader->node;
  return true;
}

bool IsFirstInsertionsFakeRemoval(NwLibraryState& state) {
  DetectionState& detection = state.detection;
  if (state.card_info.State < CardStateStarting || state.DetectedCard() == nullptr ||
      detection.fake_removal_tested) {
    return false;
  }
  detection.fake_removal_tested = true;
  if (!(state.card_info.DriverCapabilities & CardDriverCapabilitiesSmartCardReader) &&
      !DetectSmartCardReader(state, false)) {
    return false;
  }
  const platform::DEVINST reader = detection.smart_card_reader_node;
  uint32_t status = 0;
  uint32_t problem = 0;
  const uint32_t rc = platform::CurrentDeviceTree().GetStatus(reader, status, problem);
  if (rc != 0) {
    XLogLevel(kXLogWarning,
              "Nw: NwIsFirstInsertionsFakeRemoval(): CM_Get_DevNode_Status for devnode 0x%x failed with 0x%x",
              reader, rc);
    return false;
  }
  XLogLevel(kXLogTrace, "Nw: DevNode 0x%x status is 0x%x, problem# is %d", reader, status,
            static_cast<int>(problem));
  if ((status & platform::DN_HAS_PROBLEM) && problem == platform::CM_PROB_NOT_CONFIGURED) {
    XLogLevel(kXLogWarning, "Nw: Fake removal detected due to the first insertion of a device with a smart card reader");
    return true;
  }
  return false;
}
