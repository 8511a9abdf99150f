// The library's process-wide state: the card table, the card information
// record, the detection state that goes with the record, and the power and
// replug state that outlives a reset of the record.
//
// All of it is read and written on the client's thread (the one that runs
// the library's calls and its notification window); nothing here takes a
// lock.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "carddetect/card_db.h"
#include "carddetect/detection_method.h"
#include "carddetect/held_ports.h"
#include "carddetect/nw_card_info.h"
#include "platform/device_tree.h"

// What detection has found out about the detected card beyond the record.
struct DetectionState {
  int card_index = -1;  // into the card table; -1 when no card is detected
  // A card no database entry names, found by probing its ports
  // (standard_card.h); card_index is -1 then.
  bool standard_card = false;

  // Device nodes of the sub-devices found so far (0: not found).
  platform::DEVINST modem_node = 0;
  platform::DEVINST app_port_node = 0;
  platform::DEVINST app2_port_node = 0;
  platform::DEVINST dbg_port_node = 0;
  platform::DEVINST wwan_nic_node = 0;
  platform::DEVINST smart_card_reader_node = 0;

  bool final_port_verified = false;
  bool subdevices_classified = false;
  bool subdevices_ready = false;
  bool fake_removal_tested = false;

  std::u16string first_hardware_id;  // at most kNwCardInfoTextMax characters
  bool slow_wake_up = false;

  DetectionMethod modem_method;
  DetectionMethod app_port_method;
  DetectionMethod app2_port_method;
  DetectionMethod dbg_port_method;
};

struct NwLibraryState {
  CardDb card_db;
  NwCardInfo card_info{};
  DetectionState detection;
  // The WWAN adapter node of a card that its driver re-creates after
  // standby; 0 when none. Survives ResetCardInfo.
  platform::DEVINST replug_node = 0;
  // Tty nodes probed for a standard card, and whether each answered "AT".
  // Survives ResetCardInfo; entries of nodes that have gone are dropped.
  std::map<platform::DEVINST, bool> probed_ports;
  // Ports another program held when detection wanted them, ModemManager's
  // inhibitions and the held-card sentence. Survives ResetCardInfo.
  HeldPorts held_ports;

  // The detected card's table entry (StandardCardEntry() for a standard
  // card), null when none is detected.
  const CardDbEntry* DetectedCard() const;
};

// The one state of the process.
NwLibraryState& NwState();

// Zeroes the record (State becomes CardStateStopped, Model 0) and resets the
// detection state (no card detected). The card table, the replug node, the
// probed ports and the held ports are left as they are.
void ResetCardInfo(NwLibraryState& state);
