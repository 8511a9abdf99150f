// Questions about single device nodes and their subtrees: whether a node is
// up and running, whether its descendants' instance IDs carry a marker
// ("_MDM\", "MI_00" ...), and whether it sits close enough below the card.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "carddetect/os_type.h"
#include "platform/device_tree.h"

// The Windows 9x platform (98, Me): a few node rules differ there.
bool IsWin9xOs(NwOsType os);

// Active: driver loaded, started, no problem, not about to be removed; with
// `reenumeration_allowed` false the node must also not wait for
// re-enumeration. A node whose status cannot be read is inactive. Logs the
// status and the verdict.
bool IsDeviceNodeActive(platform::DEVINST node, bool reenumeration_allowed);

// Depth-first through the subtree below `node` (first child, its
// descendants, then the next sibling): true on the first descendant whose
// instance ID contains `marker` (case-sensitive); its ID goes to `found_id`
// when given.
bool HasDeviceNameSubString(platform::DEVINST node, std::u16string_view marker,
                            std::u16string* found_id = nullptr);

// Among the direct children of `node`: 1, 2 or 3 for the first child whose
// ID contains `first`, `second` or `third` (tried in that order per child),
// 0 when none does.
int HasDeviceNameSubStrings(platform::DEVINST node, std::u16string_view first,
                            std::u16string_view second, std::u16string_view third);

// True when `node` is `card` or `card` is its parent, grandparent or
// great-grandparent.
bool IsNodeWithinCard(platform::DEVINST node, platform::DEVINST card);

// The setup class of the card's first interface (the descendant whose ID
// contains "MI_00"), read from its enumeration key. 2 when there is no such
// descendant, else the registry read's error.
uint32_t QueryFirstInterfaceClassGuid(platform::DEVINST card, std::u16string& class_guid);
