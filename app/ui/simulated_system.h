// What `vombel-connect --simulate` runs on instead of the machine: a
// simulated device tree and its device events, network adapters, dial-up
// service and an absent ModemManager, installed as the program's for the object's life, and one
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
#include <string>

#include "platform/handle.h"
#include "platform/modem_manager_sim.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_dial_up_service.h"
#include "platform/sim_ip_helper.h"
#include "sim/card_class.h"
#include "sim/sim_presence.h"

class SimulatedSystem {
 public:
  // From the start to the card's plugging.
  static constexpr uint32_t kPlugDelayMs = 1500;

  // Installs the simulated system and starts the thread that plugs a card
  // of class `card` (the multiplexing 3G card by default).
  SimulatedSystem();
  explicit SimulatedSystem(const sim::CardClass& card);
  // Stops the plugging (waiting out an insertion under way), pulls the card
  // and gives the program back the machine's system.
  ~SimulatedSystem();
  SimulatedSystem(const SimulatedSystem&) = delete;
  SimulatedSystem& operator=(const SimulatedSystem&) = delete;

  // True once the card's nodes are all in.
  bool Plugged() const;
  platform::SimDeviceTree& Tree() { return tree_; }

  // Runs one line of the simulated card's console ("roam on", "sms 123
  // hello", "pull", ...; "help" lists them) and returns what it printed.
  // Lines run one at a time, on the calling thread; before the card is
  // plugged the answer says so.
  std::string RunConsoleLine(const std::string& line);
  // What the card holds now (a fresh card's state before it is plugged).
  sim::CardState CardSnapshot() const;

 private:
  uint32_t PlugLater();

  const sim::CardClass& card_;
  std::mutex console_mutex_;  // one console line at a time

  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimIpHelper adapters_;
  platform::ScopedIpHelper scoped_adapters_{adapters_};
  platform::SimDialUpService dial_up_{adapters_};
  platform::ScopedDialUpService scoped_dial_up_{dial_up_};
  platform::SimDeviceEvents events_{tree_};
  // The simulated card's ports are nobody else's: card detection never asks
  // the system's ModemManager about them.
  platform::SimModemManager modem_manager_{platform::SimModemManager::Behaviour::kAbsent};
  platform::ScopedModemManager scoped_modem_manager_{modem_manager_};

  mutable std::mutex mutex_;
  std::unique_ptr<sim::SimPresence> presence_;  // under mutex_
  platform::UniqueHandle stop_;
  platform::UniqueHandle plugger_;
};
