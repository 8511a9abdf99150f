#include "sim/sim_presence.h"

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "foundation/card_models.h"
#include "platform/wwan_ndis.h"
#include "platform/clock.h"
#include "platform/device_tree.h"
#include "platform/ip_helper.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace sim {
namespace {

using platform::DEVINST;
using Node = platform::SimDeviceTree::Node;

// Device numbers the driver hands out (the patterns' %d): the program probes
// 0 to 19.
constexpr int kMaxUnit = 19;
// The control request that asks the NDIS control device for its adapter.
constexpr uint32_t kIoctlQueryNetCfgInstanceId = platform::IOCTL_VL_QUERY_NET_CFG_INSTANCE_ID;

std::string Format(const char* format, unsigned a, unsigned b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

std::u16string FormatPattern(std::u16string_view pattern, int number) {
  std::u16string out(pattern);
  const size_t at = out.find(u"%d");
  if (at != std::u16string::npos) out.replace(at, 2, platform::Utf8ToUtf16(std::to_string(number)));
  return out;
}

// "USB\VID_F1A1&PID_0101", and with "&REV_rrrr" or "&MI_nn".
std::string UsbId(const CardLayout& layout) {
  return Format("USB\\VID_%04X&PID_%04X", layout.vendor_id, layout.product_id);
}
std::string RevisionId(const CardLayout& layout) {
  return UsbId(layout) + Format("&REV_%04X", layout.revision, 0);
}
std::string InterfaceId(const CardLayout& layout, uint8_t number) {
  return UsbId(layout) + Format("&MI_%02X", number, 0);
}
std::string InterfaceRevisionId(const CardLayout& layout, uint8_t number) {
  return RevisionId(layout) + Format("&MI_%02X", number, 0);
}

std::string CardSerial(int unit, uint64_t plug) {
  return "VSIM" + std::to_string(unit) + "-" + std::to_string(plug);
}

// "/dev/pts/5" is "pts/5", the name below /dev the program opens as
// "\\.\pts/5"; a path elsewhere stands for itself.
std::string NameBelowDev(const std::string& path) {
  constexpr std::string_view kDev = "/dev/";
  return path.starts_with(kDev) ? path.substr(kDev.size()) : path;
}

// An instance ID's last part holds no backslash, and no slash either.
std::string IdPart(std::string text) {
  for (char& c : text) {
    if (c == '\\' || c == '/') c = '_';
  }
  return text;
}

struct Functions {
  bool modem = false;
  bool network = false;
};

// Whether the card (or, given a number, that one interface) carries a modem
// and a network adapter.
Functions FunctionsOf(const CardLayout& layout, std::optional<uint8_t> number) {
  Functions functions;
  for (const CardInterface& i : layout.interfaces) {
    if (number && i.number != *number) continue;
    functions.modem = functions.modem || i.function == InterfaceFunction::kModem;
    functions.network = functions.network || i.function == InterfaceFunction::kNetwork;
  }
  return functions;
}

// What the drivers of models 0x800 to 0x7FFF tag every interface with,
// naming the functions of the card as a whole: "_FF_SER" a modem, "_FF_NET"
// a network adapter, "_FF" both ("VLNOZ_..." for model 0x800). The composite
// drivers (and model 0x1800) name each function on its own node instead, and
// models 0x900 and 0xA00 tell it by the first interface's setup class.
std::string FunctionTag(const CardClass& card, const CardLayout& layout) {
  const uint32_t model = card.model;
  if (!IsClassifiedModel(model) || IsCompositeInterfaceModel(model) || model == kCardModel1800 ||
      (card.driver_capabilities & 0x200) != 0) {
    return {};
  }
  const auto [modem, network] = FunctionsOf(layout, std::nullopt);
  if (!modem && !network) return {};
  if (model == kCardModel0800) return modem && network ? "_VLNOZ_FF" : modem ? "_VLNOZ_MODEM" : "_VLNOZ_NET";
  return modem && network ? "_FF" : modem ? "_FF_SER" : "_FF_NET";
}

// The setup class an interface's functions add up to.
std::string_view InterfaceClass(const CardLayout& layout, uint8_t number) {
  const auto [modem, network] = FunctionsOf(layout, number);
  if (modem && network) return platform::kDeviceClassMultifunction;
  if (modem) return platform::kDeviceClassModem;
  if (network) return platform::kDeviceClassNet;
  return platform::kDeviceClassPorts;
}

std::map<std::u16string, std::u16string> ClassKey(std::string_view class_guid) {
  return {{u"ClassGUID", platform::Utf8ToUtf16(class_guid)}};
}

Node CardNodeOf(const CardClass& card, const CardLayout& layout, const std::string& serial) {
  Node node;
  node.enumerator = std::string(platform::kEnumeratorUsb);
  node.class_guid = std::string(platform::kDeviceClassUsb);
  node.hardware_id = platform::SimDeviceTree::MultiSz({RevisionId(layout), UsbId(layout)});
  node.device_desc = platform::SimDeviceTree::Sz(std::string(card.db_name));
  node.instance_id = platform::Utf8ToUtf16(UsbId(layout) + "\\" + serial);
  node.enum_key = ClassKey(platform::kDeviceClassUsb);
  node.driver_version = SimPresence::kDriverVersion;
  return node;
}

Node InterfaceNodeOf(const CardLayout& layout, uint8_t number, const std::string& tag,
                     const std::string& serial) {
  Node node;
  node.enumerator = std::string(platform::kEnumeratorUsb);
  node.hardware_id =
      platform::SimDeviceTree::MultiSz({InterfaceRevisionId(layout, number), InterfaceId(layout, number)});
  node.instance_id =
      platform::Utf8ToUtf16(InterfaceId(layout, number) + tag + "\\" + serial + Format(":1.%u", number, 0));
  node.enum_key = ClassKey(InterfaceClass(layout, number));
  node.driver_version = SimPresence::kDriverVersion;
  return node;
}

// A function node below an interface, named as the device tree names them:
// "<the interface's hardware ID> (<the system's name>)". `tag` is the
// function's name in its instance ID ("_MDM", "_APP", ...).
Node FunctionNode(const CardLayout& layout, uint8_t number, std::string enumerator, std::string_view class_guid,
                  const std::string& tag, const std::string& name) {
  Node node;
  const std::string interface_id = InterfaceId(layout, number);
  const std::string shown = interface_id + " (" + name + ")";
  node.enumerator = enumerator;
  node.class_guid = std::string(class_guid);
  node.hardware_id =
      platform::SimDeviceTree::MultiSz({InterfaceRevisionId(layout, number), interface_id});
  node.friendly_name = platform::SimDeviceTree::Sz(shown);
  node.device_desc = platform::SimDeviceTree::Sz(shown);
  node.instance_id = platform::Utf8ToUtf16(enumerator + "\\" + interface_id.substr(4) + tag + "\\" + IdPart(name));
  if (!class_guid.empty()) node.enum_key = ClassKey(class_guid);
  node.driver_version = SimPresence::kDriverVersion;
  return node;
}

Node TtyNode(const CardLayout& layout, uint8_t number, bool modem, const std::string& tag,
             const std::string& port_name) {
  Node node = FunctionNode(layout, number, modem ? "MODEM" : "TTY",
                           modem ? platform::kDeviceClassModem : platform::kDeviceClassPorts, tag, port_name);
  node.device_key.emplace();
  (*node.device_key)[u"PortName"] = platform::Utf8ToUtf16(port_name);
  return node;
}

Node NetNode(const CardLayout& layout, uint8_t number, const std::string& interface_name) {
  Node node = FunctionNode(layout, number, "NET", platform::kDeviceClassNet, "_NET", interface_name);
  node.driver_key.emplace();
  (*node.driver_key)[u"NetCfgInstanceId"] = platform::Utf8ToUtf16(interface_name);
  return node;
}

// The NDIS control device answers which adapter it drives: the adapter's
// NetCfgInstanceId as UTF-16LE text with its terminating zero.
platform::SimDeviceTree::IoControlHandler NdisHandler(const std::string& net_cfg_instance_id) {
  std::vector<uint8_t> answer;
  for (char16_t unit : platform::Utf8ToUtf16(net_cfg_instance_id) + u'\0') {
    answer.push_back(static_cast<uint8_t>(unit & 0xFF));
    answer.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return [answer](uint32_t code, std::span<const uint8_t>, std::span<uint8_t> output, uint32_t& returned) {
    returned = 0;
    if (code != kIoctlQueryNetCfgInstanceId) return platform::kErrorInvalidFunction;
    if (output.size() < answer.size()) return platform::kErrorInsufficientBuffer;
    std::copy(answer.begin(), answer.end(), output.begin());
    returned = static_cast<uint32_t>(answer.size());
    return platform::kErrorSuccess;
  };
}

// The bus device is only ever looked for; it answers no request.
uint32_t BusDeviceHandler(uint32_t, std::span<const uint8_t>, std::span<uint8_t>, uint32_t& returned) {
  returned = 0;
  return platform::kErrorInvalidFunction;
}

}  // namespace

struct SimPresence::Insertion {
  uint64_t epoch;
  int unit;
  std::string serial;
};

SimPresence::SimPresence(std::unique_ptr<SimCard> card, platform::SimDeviceTree& tree)
    : card_(std::move(card)), tree_(tree), layout_(LayoutOf(card_->Class().kind)) {
  InstallHandler();
}

SimPresence::SimPresence(std::unique_ptr<SimCard> card, platform::SimDeviceTree& tree, const CardLayout& layout)
    : card_(std::move(card)), tree_(tree), layout_(layout) {
  InstallHandler();
}

void SimPresence::InstallHandler() {
  card_->SetPresenceHandler([this](bool present, const std::vector<SimCard::PortInfo>& ports) {
    OnPresence(present, ports);
  });
}

SimPresence::~SimPresence() {
  // Nobody is told about the removal of a presence that goes away: the
  // observer's owner may already be gone.
  SetObserver({});
  card_->SetPresenceHandler({});
  RemoveNodes();
  RemovePortDriver();
  card_.reset();
}

bool SimPresence::Plug() { return card_->Plug(); }

void SimPresence::Pull() {
  RemoveNodes();
  card_->Pull();
}

void SimPresence::Standby() {
  std::lock_guard lock(mutex_);
  replug_on_resume_ = card_node_ != 0 && card_->Class().family == kReplugFamily;
}

bool SimPresence::Resume() {
  {
    std::lock_guard lock(mutex_);
    if (!std::exchange(replug_on_resume_, false)) return true;
  }
  // Until the driver gets round to it, the old card is still there.
  platform::Sleep(kReplugDelayMs);
  if (!card_->Present()) return true;  // pulled meanwhile: nothing to re-create
  Pull();
  return Plug();
}

platform::DEVINST SimPresence::CardNode() const {
  std::lock_guard lock(mutex_);
  return card_node_;
}

std::vector<std::u16string> SimPresence::DeviceNames() const {
  std::lock_guard lock(mutex_);
  return names_;
}

void SimPresence::SetObserver(Observer observer) {
  std::lock_guard lock(observer_mutex_);
  observer_ = std::move(observer);
}

void SimPresence::SetIpHelper(platform::SimIpHelper* helper) {
  std::lock_guard lock(mutex_);
  ip_helper_ = helper;
}

void SimPresence::Notify(bool present) {
  std::lock_guard lock(observer_mutex_);
  if (observer_) observer_(present);
}

void SimPresence::NotifyInserted(const Insertion& insertion) {
  // Checked under the observer's lock: a removal that came first tells its
  // own "gone" and must not be followed by "present"; one that comes later
  // waits here, so its "gone" is told after this "present".
  std::lock_guard observer_lock(observer_mutex_);
  {
    std::lock_guard lock(mutex_);
    if (insertion.epoch != epoch_) return;
  }
  if (observer_) observer_(true);
}

void SimPresence::OnPresence(bool present, const std::vector<SimCard::PortInfo>& ports) {
  if (present) {
    Insert(ports);
  } else {
    RemoveNodes();
  }
}

int SimPresence::FreeUnitLocked() const {
  std::set<std::u16string> adapters;
  std::vector<DEVINST> nodes;
  if (tree_.PresentDevicesOfClass(platform::kDeviceClassNet, nodes) == 0) {
    for (DEVINST node : nodes) {
      std::u16string id;
      if (tree_.ReadDeviceKeyString(node, platform::DeviceKeyKind::Driver, u"NetCfgInstanceId", id) == 0) {
        adapters.insert(id);
      }
    }
  }
  std::set<std::u16string> cards;
  if (tree_.PresentDevicesOfEnumerator(platform::kEnumeratorUsb, nodes) == 0) {
    for (DEVINST node : nodes) {
      std::u16string id;
      if (tree_.GetDeviceId(node, id) == 0) cards.insert(id);
    }
  }
  for (int unit = 0; unit <= kMaxUnit; ++unit) {
    bool taken = adapters.count(platform::Utf8ToUtf16("wwan" + std::to_string(unit))) != 0;
    const std::u16string card_prefix = platform::Utf8ToUtf16(UsbId(layout_) + "\\VSIM" + std::to_string(unit) + "-");
    for (const std::u16string& id : cards) taken = taken || id.starts_with(card_prefix);
    for (std::u16string_view pattern : {layout_.at_port_pattern, layout_.ndis_pattern, layout_.bus_device_pattern}) {
      if (pattern.empty() || taken) continue;
      std::unique_ptr<platform::DeviceFile> file;
      taken = tree_.OpenDevice(FormatPattern(pattern, unit), platform::kDeviceAccessNone, file) == 0;
    }
    if (!taken) return unit;
  }
  return kMaxUnit;  // twenty cards at once: the last one shares its numbers
}

bool SimPresence::AddNode(const Insertion& insertion, DEVINST parent, Node node, DEVINST& handle) {
  std::lock_guard lock(mutex_);
  if (insertion.epoch != epoch_) return false;
  handle = tree_.Add(parent, std::move(node));
  if (handle == 0) return false;
  if (parent == 0) card_node_ = handle;
  return true;
}

bool SimPresence::AddName(const Insertion& insertion, std::u16string name, std::string path) {
  std::lock_guard lock(mutex_);
  if (insertion.epoch != epoch_) return false;
  names_.push_back(name);
  tree_.AddDeviceName(std::move(name), std::move(path));
  return true;
}

bool SimPresence::AddVirtualDevice(const Insertion& insertion, std::u16string name,
                                   platform::SimDeviceTree::IoControlHandler handler) {
  std::lock_guard lock(mutex_);
  if (insertion.epoch != epoch_) return false;
  names_.push_back(name);
  tree_.AddVirtualDevice(std::move(name), std::move(handler));
  return true;
}

bool SimPresence::AddPortDriver(const Insertion& insertion, const std::string& path) {
  NdisDriver* driver = card_->Ndis();
  if (driver == nullptr || driver->options().port != NdisPort::kApplicationPort) return true;
  auto handler = driver->Handler();
  std::lock_guard lock(mutex_);
  if (insertion.epoch != epoch_) return false;
  port_driver_path_ = path;
  tree_.AddPortDriver(path, std::move(handler));
  return true;
}

void SimPresence::RemovePortDriver() {
  std::string path;
  {
    std::lock_guard lock(mutex_);
    path = std::exchange(port_driver_path_, {});
  }
  if (!path.empty()) tree_.RemovePortDriver(path);
}

bool SimPresence::AddAdapter(const Insertion& insertion, const std::string& name) {
  std::lock_guard lock(mutex_);
  if (insertion.epoch != epoch_) return false;
  adapter_ = name;
  adapter_helper_ = ip_helper_;
  // Before the network node arrives: the program looks for the adapter then.
  if (ip_helper_ != nullptr) ip_helper_->AddAdapter(name, platform::MIB_IF_TYPE_ETHERNET, true);
  if (NdisDriver* driver = card_->Ndis()) driver->AttachAdapter(ip_helper_, name);
  return true;
}

void SimPresence::Insert(const std::vector<SimCard::PortInfo>& ports) {
  Insertion insertion;
  {
    std::lock_guard lock(mutex_);
    if (card_node_ != 0) return;
    const int unit = FreeUnitLocked();
    insertion = Insertion{epoch_, unit, CardSerial(unit, ++plugs_)};
  }
  std::string modem_path;
  std::string at_path;
  for (const SimCard::PortInfo& port : ports) {
    if (port.role != PortRole::kApplication) modem_path = port.path;
    if (port.role != PortRole::kModem) at_path = port.path;
  }
  const CardClass& card = card_->Class();
  const int unit = insertion.unit;
  RemovePortDriver();  // the last insertion's, left for a handle held past the pull

  // The card, and with it its driver's bus device.
  DEVINST card_node = 0;
  if (!AddNode(insertion, 0, CardNodeOf(card, layout_, insertion.serial), card_node)) return;
  if (!layout_.bus_device_pattern.empty() &&
      !AddVirtualDevice(insertion, FormatPattern(layout_.bus_device_pattern, unit), BusDeviceHandler)) {
    return;
  }
  platform::Sleep(kEnumerationMs);

  // Its interfaces.
  const std::string tag = FunctionTag(card, layout_);
  std::map<uint8_t, DEVINST> interfaces;
  for (const CardInterface& i : layout_.interfaces) {
    if (interfaces.count(i.number)) continue;
    if (!interfaces.empty()) platform::Sleep(kInterfaceStepMs);
    DEVINST node = 0;
    if (!AddNode(insertion, card_node, InterfaceNodeOf(layout_, i.number, tag, insertion.serial), node)) return;
    interfaces[i.number] = node;
  }

  // The AT port the driver offers by name only. It comes before the ttys:
  // their arrivals are the events the program looks for it on.
  for (const CardInterface& i : layout_.interfaces) {
    if (i.function != InterfaceFunction::kAtPort || layout_.at_port_pattern.empty()) continue;
    const std::u16string name = FormatPattern(layout_.at_port_pattern, unit);
    DEVINST node = 0;
    if (!AddName(insertion, name, at_path) || !AddPortDriver(insertion, at_path) ||
        !AddNode(insertion, interfaces[i.number],
                 FunctionNode(layout_, i.number, "VLATP", {}, "_APP", std::to_string(unit)), node)) {
      return;
    }
  }

  // The ttys and the network adapter, one after the other.
  for (const CardInterface& i : layout_.interfaces) {
    const DEVINST parent = interfaces[i.number];
    DEVINST node = 0;
    switch (i.function) {
      case InterfaceFunction::kModem: {
        if (modem_path.empty()) continue;
        platform::Sleep(kFunctionStepMs);
        const std::string name = NameBelowDev(modem_path);
        if (!AddNode(insertion, parent, TtyNode(layout_, i.number, false, "", name), node) ||
            !AddNode(insertion, parent, TtyNode(layout_, i.number, true, "_MDM", name), node)) {
          return;
        }
        break;
      }
      case InterfaceFunction::kAtPort:
        if (!layout_.at_port_pattern.empty() || at_path.empty()) continue;
        platform::Sleep(kFunctionStepMs);
        if (!AddNode(insertion, parent, TtyNode(layout_, i.number, false, "_APP", NameBelowDev(at_path)), node)) {
          return;
        }
        break;
      case InterfaceFunction::kDiagnostics: {
        auto pty = std::make_unique<platform::PseudoTerminal>();
        if (!pty->Open()) continue;  // the card works without it
        platform::Sleep(kFunctionStepMs);
        const std::string name = NameBelowDev(pty->SlavePath());
        {
          std::lock_guard lock(mutex_);
          if (insertion.epoch != epoch_) return;
          silent_ports_.push_back(std::move(pty));
        }
        if (!AddNode(insertion, parent, TtyNode(layout_, i.number, false, "", name), node)) return;
        break;
      }
      case InterfaceFunction::kNetwork: {
        platform::Sleep(kFunctionStepMs);
        const std::string name = "wwan" + std::to_string(unit);
        if (!AddAdapter(insertion, name)) return;
        if (!layout_.ndis_pattern.empty()) {
          // The control device answers which adapter it drives, and the
          // driver's requests when the card's driver has them there.
          platform::SimDeviceTree::IoControlHandler handler = NdisHandler(name);
          NdisDriver* driver = card_->Ndis();
          if (driver != nullptr && driver->options().port == NdisPort::kControlDevice) {
            handler = driver->Handler(std::move(handler));
          }
          if (!AddVirtualDevice(insertion, FormatPattern(layout_.ndis_pattern, unit), std::move(handler))) return;
        }
        if (!AddNode(insertion, parent, NetNode(layout_, i.number, name), node)) return;
        break;
      }
    }
  }
  NotifyInserted(insertion);
}

void SimPresence::RemoveNodes() {
  DEVINST node = 0;
  std::vector<std::u16string> names;
  std::vector<std::unique_ptr<platform::PseudoTerminal>> silent;
  std::string adapter;
  platform::SimIpHelper* helper = nullptr;
  {
    std::lock_guard lock(mutex_);
    ++epoch_;
    adapter = std::exchange(adapter_, {});
    helper = std::exchange(adapter_helper_, nullptr);
    node = std::exchange(card_node_, 0);
    names = std::move(names_);
    names_.clear();
    silent = std::move(silent_ports_);
    silent_ports_.clear();
  }
  if (node != 0) tree_.Remove(node);
  for (const std::u16string& name : names) tree_.RemoveDeviceName(name);
  if (!adapter.empty()) {
    if (NdisDriver* driver = card_->Ndis()) driver->DetachAdapter();
    if (helper != nullptr) helper->RemoveAdapter(adapter);
  }
  silent.clear();  // their ports hang up
  if (node != 0) Notify(false);
}

}  // namespace sim
