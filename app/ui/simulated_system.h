// What `vombel-connect --simulate` runs on instead of the machine: a
// simulated device tree and its device events, network adapters and dial-up
// service, installed as the program's for the object's life, and one
// simulated data card (registered with its home network) plugged into the
// tree shortly after start, as a user plugs a card into a running program.
//
// Create it before the main window (whose worker looks at the device tree
// from its start) and destroy it after the window and its worker are gone.
// Qt-free; everything runs on the platform clock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/handle.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_dial_up_service.h"
#include "platform/sim_ip_helper.h"
#include "sim/sim_presence.h"

class SimulatedSystem {
 public:
  // From the start to the card's plugging.
  static constexpr uint32_t kPlugDelayMs = 1500;

  // Installs the simulated system and starts the thread that plugs the card.
  SimulatedSystem();
  // Stops the plugging (waiting out an insertion under way), pulls the card
  // and gives the program back the machine's system.
  ~SimulatedSystem();
  SimulatedSystem(const SimulatedSystem&) = delete;
  SimulatedSystem& operator=(const SimulatedSystem&) = delete;

  // True once the card's nodes are all in.
  bool Plugged() const;
  platform::SimDeviceTree& Tree() { return tree_; }

 private:
  uint32_t PlugLater();

  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimIpHelper adapters_;
  platform::ScopedIpHelper scoped_adapters_{adapters_};
  platform::SimDialUpService dial_up_{adapters_};
  platform::ScopedDialUpService scoped_dial_up_{dial_up_};
  platform::SimDeviceEvents events_{tree_};

  mutable std::mutex mutex_;
  std::unique_ptr<sim::SimPresence> presence_;  // under mutex_
  platform::UniqueHandle stop_;
  platform::UniqueHandle plugger_;
};
