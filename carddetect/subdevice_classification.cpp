#include "carddetect/subdevice_classification.h"

#include <string>

#include "carddetect/card_info.h"
#include "carddetect/device_node.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/text.h"

namespace {

constexpr int32_t kStackNdisCredentials = 2;

struct Functions {
  bool modem = false;
  bool nic = false;
};

Functions ClassifyByInterfaceClass(platform::DEVINST card) {
  std::u16string class_guid;
  const uint32_t rc = QueryFirstInterfaceClassGuid(card, class_guid);
  if (rc != 0) {
    XLogLevel(kXLogError,
              "Nw: DetectAllSubdevices(): Could not query Tovalk/Merrox's ClassGUID, assuming both modem & WWAN NIC... (%d)",
              static_cast<int>(rc));
    return {true, true};
  }
  if (class_guid == platform::Utf8ToUtf16(platform::kDeviceClassMultifunction)) return {true, true};
  if (class_guid == platform::Utf8ToUtf16(platform::kDeviceClassModem)) return {true, false};
  return {false, true};
}

Functions ClassifyByChildren(platform::DEVINST card, uint32_t model) {
  const int found = model == kCardModel0800 ? HasDeviceNameSubStrings(card, u"VLNOZ_MODEM", u"VLNOZ_NET", u"VLNOZ_FF")
                                   : HasDeviceNameSubStrings(card, u"_FF_SER", u"_FF_NET", u"_FF\\");
  return {found == 1 || found == 3, found == 2 || found == 3};
}

}  // namespace

void DetectAllSubdevices(NwLibraryState& state) {
  NwCardInfo& info = state.card_info;
  const uint32_t model = info.Model;
  if (!IsClassifiedModel(model)) return;
  const platform::DEVINST card = info.DevNode;
  uint32_t& flags = info.DriverCapabilities;
  const bool composite = (flags & CardDriverCapabilitiesComposite) != 0;

  Functions functions;
  if (IsCompositeInterfaceModel(model)) {
    functions = ClassifyByInterfaceClass(card);
  } else if (composite || model == kCardModel1800) {
    functions.modem = HasDeviceNameSubString(card, u"_MDM\\");
    functions.nic = HasDeviceNameSubString(card, u"_NET\\");
  } else {
    functions = ClassifyByChildren(card, model);
  }
  XLogLevel(kXLogTrace, "Nw: This card %s modem device and %s WWAN NIC device",
            functions.modem ? "has a" : "has NO", functions.nic ? "has a" : "has NO");

  if (functions.modem) {
    flags |= CardDriverCapabilitiesModem;
  } else {
    flags &= ~CardDriverCapabilitiesModem;
  }
  flags &= ~CardDriverCapabilitiesNdisCredentials;
  if (functions.nic) {
    flags |= CardDriverCapabilitiesWwanNic | CardDriverCapabilitiesWwanNdisPort;
    if (model >= kCardModel0900 && !composite && info.Stack == kStackNdisCredentials) {
      flags |= CardDriverCapabilitiesNdisCredentials;
    }
  } else {
    flags &= ~(CardDriverCapabilitiesWwanNic | CardDriverCapabilitiesWwanNdisPort);
  }
  if (model == kCardModel1800) flags &= ~(CardDriverCapabilitiesWwanNdisPort | CardDriverCapabilitiesNdisCredentials);

  const bool later_models = HasTaggedApplicationPorts(model);
  if (model == kCardModel1800 || later_models) {
    // A port found missing here does not take back a flag the database set.
    if (HasDeviceNameSubString(card, u"_APP\\")) {
      flags |= CardDriverCapabilitiesAppPort;
      XLogLevel(kXLogTrace, "Nw: This card has a primary application port");
    } else {
      XLogLevel(kXLogTrace, "Nw: This card has NO primary application port");
    }
  }
  if (!composite && later_models) {
    if (HasDeviceNameSubString(card, u"_APL\\")) {
      flags |= CardDriverCapabilitiesApp2Port;
      XLogLevel(kXLogTrace, "Nw: This card has a secondary application port");
    } else {
      XLogLevel(kXLogTrace, "Nw: This card has NO secondary application port");
    }
  }
  state.detection.subdevices_classified = true;
}
