#include "carddetect/held_ports.h"

#include <algorithm>

#include "carddetect/library_globals.h"
#include "carddetect/notification_window.h"
#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/port_holder.h"
#include "platform/port_holder_text.h"
#include "platform/text.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

using platform::CurrentDeviceTree;
using platform::DEVINST;

struct HeldPorts::Port {
  DEVINST node = 0;
  std::string path;
  // ModemManager's device with this port; empty when it has none.
  std::string uid;
  std::unique_ptr<platform::ModemManagerInhibition> inhibition;
  // ModemManager let go of the device once: it is asked again after a
  // suspension or a restart of ModemManager.
  bool granted = false;
};

namespace {

// Called on a thread of the link: the window's thread does the rest.
void PostInhibitionLost(const std::string&) {
  const platform::HWND window = NwGlobals().notification_window.load();
  if (window != nullptr) platform::PostMessage(window, kMsgInhibitionLost, 0, 0);
}

std::u16string CutToHeldTextSize(std::u16string text) {
  if (text.size() < kNwCardHeldTextSize) return text;
  text.resize(kNwCardHeldTextSize - 1);
  // Never half a surrogate pair.
  if (text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
  return text;
}

}  // namespace

HeldPorts::HeldPorts() = default;

// Inhibitions first: they may still use the link.
HeldPorts::~HeldPorts() { Reset(); }

HeldPorts::Port* HeldPorts::Find(DEVINST node) {
  auto it = std::find_if(ports_.begin(), ports_.end(), [node](const Port& p) { return p.node == node; });
  return it == ports_.end() ? nullptr : &*it;
}

const HeldPorts::Port* HeldPorts::Find(DEVINST node) const {
  auto it = std::find_if(ports_.begin(), ports_.end(), [node](const Port& p) { return p.node == node; });
  return it == ports_.end() ? nullptr : &*it;
}

platform::ModemManagerLink* HeldPorts::Link() {
  if (!link_) {
    link_ = platform::OpenModemManager();
    if (!link_) {
      XLogLevel(kXLogWarning, "Nw: The system bus cannot be reached (0x%x), ModemManager cannot be asked",
                platform::GetLastError());
    }
  }
  return link_.get();
}

bool HeldPorts::Inhibit(Port& port) {
  platform::ModemManagerLink* link = Link();
  if (link == nullptr || port.uid.empty()) return false;
  platform::Inhibited answer = link->Inhibit(port.uid, PostInhibitionLost);
  if (answer.result.status != platform::InhibitStatus::kOk) {
    XLogLevel(kXLogWarning, "Nw: ModemManager would not leave device %s alone (%s: %s %s)", port.uid.c_str(),
              platform::InhibitStatusName(answer.result.status), answer.result.error_name.c_str(),
              answer.result.error_message.c_str());
    port.granted = false;
    return false;
  }
  XLogLevel(kXLogTrace, "Nw: ModemManager leaves device %s alone now", port.uid.c_str());
  port.inhibition = std::move(answer.inhibition);
  port.granted = true;
  return true;
}

bool HeldPorts::TakeOver(DEVINST port_node, const std::string& path, const std::function<bool()>& busy) {
  Port* port = Find(port_node);
  if (port != nullptr && (port->inhibition || !port->granted)) {
    // Asked before: held by someone else than ModemManager, or refused.
    return false;
  }
  if (port == nullptr) {
    ports_.push_back(Port{port_node, path, {}, nullptr, false});
    port = &ports_.back();
  }
  platform::ModemManagerLink* link = Link();
  if (link == nullptr || !link->Present()) {
    XLogLevel(kXLogTrace, "Nw: Port %s is held and ModemManager is not running", path.c_str());
    port->uid.clear();
    port->granted = false;
    return false;
  }
  port->uid = link->DeviceOfPort(path);
  if (port->uid.empty()) {
    XLogLevel(kXLogTrace, "Nw: Port %s is held and ModemManager has no modem on it", path.c_str());
    port->granted = false;
    return false;
  }
  XLogLevel(kXLogTrace, "Nw: Port %s is held, asking ModemManager to leave device %s alone", path.c_str(),
            port->uid.c_str());
  if (!Inhibit(*port)) return false;
  const uint64_t deadline = platform::DeadlineAfter(kHeldPortFreeWaitMs);
  for (;;) {
    if (!busy()) return true;
    const uint32_t left = platform::RemainingMs(deadline);
    if (left == 0) break;
    platform::Sleep(std::min(left, kHeldPortRetryMs));
  }
  XLogLevel(kXLogWarning, "Nw: Port %s is still held although ModemManager left it alone", path.c_str());
  return false;
}

void HeldPorts::Resume(DEVINST port_node) {
  Port* port = Find(port_node);
  if (port == nullptr || !port->granted || port->inhibition) return;
  XLogLevel(kXLogTrace, "Nw: Asking ModemManager again to leave device %s alone", port->uid.c_str());
  Inhibit(*port);
}

bool HeldPorts::SetHeld(DEVINST port_node, const std::string& path, bool only_known_holder) {
  const Port* port = Find(port_node);
  if (held_node_ == port_node && !text_.empty()) return false;
  const std::vector<platform::PortHolder> holders = platform::FindPortHolders(path);
  std::string holder;
  if (!holders.empty()) {
    holder = holders.front().name;
  } else if (port != nullptr && !port->uid.empty() && !port->inhibition) {
    holder = std::string(platform::kModemManagerProgram);
  } else if (only_known_holder) {
    return false;
  }
  const std::string sentence = platform::PortInUseText(path, holder);
  XLog("Nw: %s", sentence.c_str());
  held_node_ = port_node;
  text_ = CutToHeldTextSize(platform::Utf8ToUtf16(sentence));
  return true;
}

bool HeldPorts::Freed(DEVINST port_node) {
  if (text_.empty() || held_node_ != port_node) return false;
  XLogLevel(kXLogTrace, "Nw: The held port is free now");
  text_.clear();
  held_node_ = 0;
  return true;
}

void HeldPorts::Suspend() {
  for (Port& port : ports_) {
    if (!port.inhibition) continue;
    XLogLevel(kXLogTrace, "Nw: Handing device %s back to ModemManager while another program has the card",
              port.uid.c_str());
    port.inhibition.reset();
  }
}

void HeldPorts::CollectLost() {
  for (Port& port : ports_) {
    if (!port.inhibition || !port.inhibition->Lost()) continue;
    XLogLevel(kXLogWarning, "Nw: ModemManager has left the bus: it may take device %s (port %s) again",
              port.uid.c_str(), port.path.c_str());
    port.inhibition.reset();  // sends nothing: the new ModemManager never granted it
  }
}

bool HeldPorts::ForgetGone() {
  platform::DeviceTree& tree = CurrentDeviceTree();
  bool held_gone = false;
  std::erase_if(ports_, [&](const Port& port) {
    uint32_t status = 0;
    uint32_t problem = 0;
    if (tree.GetStatus(port.node, status, problem) == 0) return false;
    if (port.inhibition) XLogLevel(kXLogTrace, "Nw: Device %s has gone, handing it back to ModemManager", port.uid.c_str());
    return true;
  });
  if (held_node_ != 0) {
    uint32_t status = 0;
    uint32_t problem = 0;
    if (tree.GetStatus(held_node_, status, problem) != 0) {
      text_.clear();
      held_node_ = 0;
      held_gone = true;
    }
  }
  return held_gone;
}

void HeldPorts::Reset() {
  ports_.clear();
  link_.reset();
  text_.clear();
  held_node_ = 0;
}

bool HeldPorts::Inhibiting(DEVINST port_node) const {
  const Port* port = Find(port_node);
  return port != nullptr && port->inhibition && !port->inhibition->Lost();
}
