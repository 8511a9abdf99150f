#include "carddetect/device_node.h"

#include "carddetect/device_text.h"
#include "foundation/xlog.h"
#include "platform/win32_error.h"

using platform::CurrentDeviceTree;
using platform::DEVINST;

bool IsWin9xOs(NwOsType os) { return os == kNwOs98 || os == kNwOsMe; }

bool IsDeviceNodeActive(DEVINST node, bool reenumeration_allowed) {
  uint32_t status = 0;
  uint32_t problem = 0;
  const uint32_t rc = CurrentDeviceTree().GetStatus(node, status, problem);
  if (rc != 0) {
    XLogLevel(kXLogTrace, "Nw: IsDeviceNodeActive(): CM_Get_DevNode_Status for devnode 0x%x failed with 0x%x",
              node, rc);
    return false;
  }
  const bool win9x_reenum =
      reenumeration_allowed && (status & platform::DN_NEED_TO_ENUM) && IsWin9xOs(DetermineOsType());
  const bool active = (status & platform::DN_DRIVER_LOADED) &&
                      ((status & platform::DN_STARTED) || win9x_reenum) &&
                      !(status & platform::DN_HAS_PROBLEM) &&
                      !(status & platform::DN_WILL_BE_REMOVED) &&
                      (reenumeration_allowed || !(status & platform::DN_NEED_TO_ENUM));
  const char* verdict = reenumeration_allowed ? (active ? "active" : "inactive")
                                              : (active ? "active w/o reenum" : "inactive w/o reenum");
  XLogLevel(kXLogTrace, "Nw: DevNode 0x%x status is 0x%x, problem# is %d (%s)", node, status,
            static_cast<int>(problem), verdict);
  return active;
}

namespace {

// The children of `first` and their siblings, each followed by its own
// subtree.
bool SearchSiblings(DEVINST first, std::u16string_view marker, std::u16string* found_id) {
  platform::DeviceTree& tree = CurrentDeviceTree();
  for (DEVINST node = first; node != 0;) {
    std::u16string id;
    const uint32_t rc = tree.GetDeviceId(node, id);
    if (rc != 0) {
      XLogLevel(kXLogError, "HasDeviceNameSubString(): CM_Get_Device_ID failed with 0x%x", rc);
    } else if (id.find(marker) != std::u16string::npos) {
      if (found_id != nullptr) *found_id = std::move(id);
      return true;
    }
    DEVINST child = 0;
    if (tree.GetChild(node, child) == 0 && SearchSiblings(child, marker, found_id)) return true;
    DEVINST next = 0;
    if (tree.GetSibling(node, next) != 0) break;
    node = next;
  }
  return false;
}

}  // namespace

bool HasDeviceNameSubString(DEVINST node, std::u16string_view marker, std::u16string* found_id) {
  DEVINST child = 0;
  const uint32_t rc = CurrentDeviceTree().GetChild(node, child);
  if (rc != 0) {
    XLogLevel(kXLogWarning, "Nw: Device 0x%x has no children at all (err 0x%x)", node, rc);
    return false;
  }
  return SearchSiblings(child, marker, found_id);
}

int HasDeviceNameSubStrings(DEVINST node, std::u16string_view first, std::u16string_view second,
                            std::u16string_view third) {
  platform::DeviceTree& tree = CurrentDeviceTree();
  DEVINST child = 0;
  if (tree.GetChild(node, child) != 0) return 0;
  while (child != 0) {
    std::u16string id;
    const uint32_t rc = tree.GetDeviceId(child, id);
    if (rc != 0) {
      XLogLevel(kXLogError, "HasDeviceNameSubStrings(): CM_Get_Device_ID failed with 0x%x", rc);
    } else if (id.find(first) != std::u16string::npos) {
      return 1;
    } else if (id.find(second) != std::u16string::npos) {
      return 2;
    } else if (id.find(third) != std::u16string::npos) {
      return 3;
    }
    DEVINST next = 0;
    if (tree.GetSibling(child, next) != 0) break;
    child = next;
  }
  return 0;
}

bool IsNodeWithinCard(DEVINST node, DEVINST card) {
  // The card's own node, or up to three levels above the sub-device: the
  // drivers put ports and adapters at most that deep below the card.
  constexpr int kMaxParentSteps = 3;
  DEVINST current = node;
  for (int step = 0; step <= kMaxParentSteps; ++step) {
    if (current == card) return true;
    if (step == kMaxParentSteps) break;
    DEVINST parent = 0;
    if (CurrentDeviceTree().GetParent(current, parent) != 0) return false;
    current = parent;
  }
  return false;
}

uint32_t QueryFirstInterfaceClassGuid(DEVINST card, std::u16string& class_guid) {
  std::u16string id;
  if (!HasDeviceNameSubString(card, u"MI_00", &id)) return platform::kErrorFileNotFound;
  return CurrentDeviceTree().ReadEnumKeyString(id, u"ClassGUID", class_guid);
}
