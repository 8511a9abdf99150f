// The name searches for a card's sub-devices: present devices of one setup
// class whose property text contains one of the card database's names, that
// sit at most three levels below the card node and (mostly) are active.
// The four searches differ only in class, property, returned value, activity
// rule and log texts.
#pragma once

#include <optional>
#include <string>

#include "platform/device_tree.h"

struct ModemMatch {
  std::u16string friendly_name;
  std::u16string port_name;  // "\\.\%s"; empty unless asked for
  platform::DEVINST node = 0;
};

struct PortMatch {
  std::u16string port_name;  // "\\.\%s"
  platform::DEVINST node = 0;
};

struct NetAdapterMatch {
  std::u16string description;
  std::u16string net_cfg_instance_id;
  platform::DEVINST node = 0;
};

struct SmartCardReaderMatch {
  std::u16string description;
  platform::DEVINST node = 0;
};

// `names` is the card database's comma-separated list (nullopt when the card
// has none, which finds nothing). `card` is the card's device node.
std::optional<ModemMatch> HaveModem(const std::optional<std::u16string>& names,
                                    platform::DEVINST card, bool want_port_name);
std::optional<PortMatch> HavePort(const std::optional<std::u16string>& names,
                                  platform::DEVINST card);
std::optional<NetAdapterMatch> HaveNetAdapter(const std::optional<std::u16string>& names,
                                              platform::DEVINST card);
std::optional<SmartCardReaderMatch> HaveSmartCardReader(
    const std::optional<std::u16string>& names, platform::DEVINST card, bool check_state);
