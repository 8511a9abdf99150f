// Ports of a card that another program holds open, and what detection did
// about each: ModemManager asked to leave the card alone, the inhibition kept
// for as long as the library has the card, or, when nobody would let go, the
// one sentence that tells the user which program holds the card.
//
// The ModemManager link is opened the first time a port is found held and
// kept until Reset (NwShutdown): detection of a card whose ports are free
// costs no bus call. Each held port is asked about once while its node is
// there; a refusal is not asked again on every check, so a held card costs
// only an open attempt per check.
//
// Everything runs on the client's thread, except the link's notice that an
// inhibition was lost (ModemManager left the bus), which only posts
// kMsgInhibitionLost to the notification window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "carddetect/nw_card_info.h"
#include "platform/device_tree.h"
#include "platform/modem_manager.h"

// How long a port may take to come free once ModemManager let go of it, and
// how often it is tried meanwhile (platform clock).
inline constexpr uint32_t kHeldPortFreeWaitMs = 2000;
inline constexpr uint32_t kHeldPortRetryMs = 100;

class HeldPorts {
 public:
  HeldPorts();
  ~HeldPorts();
  HeldPorts(const HeldPorts&) = delete;
  HeldPorts& operator=(const HeldPorts&) = delete;

  // `port_node`'s port at `path` was found busy. Unless this port was asked
  // about already, asks ModemManager, when it has the port, to leave its
  // device alone, and then tries `busy` (which opens the port and says
  // whether it is still held) until it is free or kHeldPortFreeWaitMs have
  // passed. True when the port is free now.
  bool TakeOver(platform::DEVINST port_node, const std::string& path, const std::function<bool()>& busy);

  // The card is detected on `port_node`: an inhibition of its device given
  // back meanwhile (suspension) or lost (ModemManager restarted) is asked
  // for again.
  void Resume(platform::DEVINST port_node);

  // The card on `port_node` stays held: builds the sentence (the holder from
  // /proc; "ModemManager" when it cannot be seen but ModemManager has the
  // port). True when the held card is a different one from before (the
  // client is to be told). With `only_known_holder`, a port whose holder
  // cannot be named (this program's own client holds it, or a process of
  // another user) is not taken for held.
  bool SetHeld(platform::DEVINST port_node, const std::string& path, bool only_known_holder = false);
  // The port on `port_node` is free now; true when it was the held card's
  // (its sentence is gone).
  bool Freed(platform::DEVINST port_node);
  // The current sentence; empty when no card is held.
  const std::u16string& Text() const { return text_; }

  // Another program has been given the card: ModemManager may have it
  // meanwhile. The devices are remembered and asked for again by Resume.
  void Suspend();
  // Drops the inhibitions ModemManager lost (it left the bus), logging each;
  // their ports count as held again at the next check.
  void CollectLost();
  // Drops the ports whose nodes have gone, handing their devices back; true
  // when the held card was among them.
  bool ForgetGone();
  // Hands everything back and closes the link.
  void Reset();

  // ModemManager leaves `port_node`'s device alone for us now.
  bool Inhibiting(platform::DEVINST port_node) const;

 private:
  struct Port;
  Port* Find(platform::DEVINST node);
  const Port* Find(platform::DEVINST node) const;
  platform::ModemManagerLink* Link();
  bool Inhibit(Port& port);

  std::vector<Port> ports_;
  std::unique_ptr<platform::ModemManagerLink> link_;
  platform::DEVINST held_node_ = 0;
  std::u16string text_;
};
