// A simulated card's presence in a simulated device tree: what the system's
// device tree shows while the card is in.
//
// Plugging the card inserts, one after the other with the delays of a real
// USB insertion (a few hundred milliseconds in all, on the platform clock),
// the nodes its driver creates: the card, its interfaces, the device names
// the driver offers, and below the interfaces the ttys (a Ports node each,
// and a Modem node for the modem tty) and the WWAN network adapter. Pulling
// removes the card node (the tree removes the subtree with it), then the
// device names, then pulls the card, whose ports hang up.
//
// Standby and resume: a card of family 7 is re-created by its driver some
// time after resume, as a new card node with new instance IDs and fresh
// ports (and a model powered up afresh); every other card keeps its nodes
// and ports through standby, as a USB modem whose bus power stays on.
//
// The card's WWAN adapter is also an adapter of the simulated IP helper the
// presence is given (named as the network node's NetCfgInstanceId), from
// its insertion to the pull; the card's WWAN driver answers on its NDIS
// control device or, Broadcom-type, on the application port, and sets the
// adapter's address.
//
// Threads: Plug, Pull, Standby and Resume may be called from any thread. The
// nodes are inserted on the thread that plugs the card (the one that calls
// Plug here, or SimCard::Plug, e.g. the console's "plug"); that thread waits
// out the insertion delays on the platform clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pty.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_ip_helper.h"
#include "sim/card_layout.h"
#include "sim/sim_card.h"

namespace sim {

class SimPresence {
 public:
  // Told after the nodes are all in (true) or gone (false), outside the
  // presence's lock.
  using Observer = std::function<void(bool present)>;

  // The family whose driver re-creates the card after standby.
  static constexpr int kReplugFamily = 7;
  // From the start of Resume to the old card's removal.
  static constexpr uint32_t kReplugDelayMs = 3000;
  // A real insertion: the hub reads the card's descriptors and loads its
  // driver, then the interfaces come, then their functions register.
  static constexpr uint32_t kEnumerationMs = 120;
  static constexpr uint32_t kInterfaceStepMs = 15;
  static constexpr uint32_t kFunctionStepMs = 40;
  // What the nodes of every simulated card report: 5.2.14.0.
  static constexpr uint64_t kDriverVersion = 5ull << 48 | 2ull << 32 | 14ull << 16;

  // Takes the card (plugged or not; a plugged one is inserted by the next
  // Plug after a Pull). The layout is the card kind's unless given.
  SimPresence(std::unique_ptr<SimCard> card, platform::SimDeviceTree& tree);
  SimPresence(std::unique_ptr<SimCard> card, platform::SimDeviceTree& tree, const CardLayout& layout);
  ~SimPresence();
  SimPresence(const SimPresence&) = delete;
  SimPresence& operator=(const SimPresence&) = delete;

  SimCard& Card() { return *card_; }
  const CardLayout& Layout() const { return layout_; }
  platform::SimDeviceTree& Tree() { return tree_; }

  // Plugs the card; its nodes are in when this returns true.
  bool Plug();
  void Pull();
  // Around a power event: call Standby before the machine sleeps and Resume
  // after it woke (after the resume broadcast). Resume returns once a
  // family 7 card is back (or could not be plugged: false).
  void Standby();
  bool Resume();

  // The card node, 0 while the card is out.
  platform::DEVINST CardNode() const;
  // The device names the driver offers while the card is in.
  std::vector<std::u16string> DeviceNames() const;
  void SetObserver(Observer observer);
  // The IP helper whose adapters the card's adapter joins from its next
  // insertion on; null (the default): none, the driver still answers.
  void SetIpHelper(platform::SimIpHelper* helper);

 private:
  struct Insertion;

  void InstallHandler();
  void OnPresence(bool present, const std::vector<SimCard::PortInfo>& ports);
  void Insert(const std::vector<SimCard::PortInfo>& ports);
  void RemoveNodes();
  // Each false when the card was pulled meanwhile (nothing is added then).
  bool AddNode(const Insertion& insertion, platform::DEVINST parent, platform::SimDeviceTree::Node node,
               platform::DEVINST& handle);
  bool AddName(const Insertion& insertion, std::u16string name, std::string path);
  bool AddVirtualDevice(const Insertion& insertion, std::u16string name,
                        platform::SimDeviceTree::IoControlHandler handler);
  bool AddPortDriver(const Insertion& insertion, const std::string& path);
  bool AddAdapter(const Insertion& insertion, const std::string& name);
  void RemovePortDriver();
  // Under the lock: the lowest number whose device names, adapter name and
  // card instance ID are all free in the tree.
  int FreeUnitLocked() const;
  void Notify(bool present);
  // Tells "present" unless the card was pulled since `insertion` began.
  void NotifyInserted(const Insertion& insertion);

  std::unique_ptr<SimCard> card_;
  platform::SimDeviceTree& tree_;
  const CardLayout& layout_;

  mutable std::mutex mutex_;
  platform::DEVINST card_node_ = 0;
  std::vector<std::u16string> names_;
  // Ports the card model does not serve (diagnostics): they exist and open,
  // and never answer.
  std::vector<std::unique_ptr<platform::PseudoTerminal>> silent_ports_;
  uint64_t epoch_ = 0;  // moves on each removal: an insertion in progress stops
  uint64_t plugs_ = 0;  // part of the card's instance ID, new on every insertion
  bool replug_on_resume_ = false;
  platform::SimIpHelper* ip_helper_ = nullptr;
  std::string adapter_;                             // while the card is in
  platform::SimIpHelper* adapter_helper_ = nullptr;  // the helper it is in
  // The application port the driver answers on. It stays registered after
  // a pull, answering 5 on a handle the program still holds, until the
  // next insertion or the presence's end.
  std::string port_driver_path_;

  std::mutex observer_mutex_;
  Observer observer_;
};

}  // namespace sim
