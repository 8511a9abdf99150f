// A stand-in for the WWAN driver of a simulated card, as the NDIS
// connections see it, and a fixture that plugs a card with it.
//
// The driver holds a state record, what its connect and disconnect
// requests turn the record into, statistics and a configuration record;
// any request can be made to fail, and the next state read can be held
// until the test lets it go. StandInDriverTree puts it in front of the
// simulated device tree: the card's NDIS control device (the simulated
// card's "\\.\VLNDIS<n>") answers with it while the card is in, and with
// "access denied" once the card has gone, as the real control device does;
// driver requests on any port (a Broadcom-type card's application port)
// go to it too. Everything else is the simulated tree's.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/device_tree.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_ip_helper.h"
#include "platform/resource_module.h"
#include "platform/wwan_ndis.h"
#include "sim/card_class.h"
#include "tests/devicelib/device_fixture.h"

namespace testing_support {

class StandInNdisDriver {
 public:
  // Fail(kAnyRequest, error) makes every request fail.
  static constexpr uint32_t kAnyRequest = 0;

  StandInNdisDriver();

  uint32_t Request(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output, uint32_t& returned);

  void SetState(uint32_t state, uint32_t reason);
  // The record a connect (default 3, 0) and a disconnect (default 6, 0)
  // request leave.
  void SetAfterConnect(uint32_t state, uint32_t reason);
  void SetAfterDisconnect(uint32_t state, uint32_t reason);
  void SetStatistics(uint32_t sent, uint32_t received, uint32_t duration);
  // `error` 0 clears the failure of `code`.
  void Fail(uint32_t code, uint32_t error);

  // Requests of `code` answered (failed ones too), and the input of the last.
  size_t Count(uint32_t code) const;
  std::vector<uint8_t> LastInput(uint32_t code) const;

  void SetConfigSlot(size_t slot, const std::string& text);
  std::string ConfigSlot(size_t slot) const;
  std::vector<uint8_t> Config() const;

  // The next state read waits (in real time, at most 10 s) until released.
  void HoldNextStateRead();
  // Whether a held read is waiting now.
  bool HoldingRead() const;
  void ReleaseStateRead();
  // The control-device files open when the held read returned.
  int OpenFilesWhenHeldReadReturned() const;

  // Files of the control device, opened and closed by StandInDriverTree.
  void FileOpened();
  void FileClosed();
  int OpenFiles() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable held_cv_;
  platform::NdisStateRecord state_{};
  platform::NdisStateRecord after_connect_{3, 0};
  platform::NdisStateRecord after_disconnect_{6, 0};
  platform::NdisStatisticsRecord statistics_{};
  std::vector<uint8_t> config_;
  std::map<uint32_t, uint32_t> failures_;
  std::map<uint32_t, size_t> counts_;
  std::map<uint32_t, std::vector<uint8_t>> last_inputs_;
  bool hold_next_ = false;
  bool holding_ = false;
  bool released_ = false;
  int open_files_ = 0;
  int open_files_at_release_ = -1;
};

class StandInDriverTree final : public platform::DeviceTree {
 public:
  StandInDriverTree(platform::SimDeviceTree& tree, StandInNdisDriver& driver) : tree_(tree), driver_(driver) {}

  uint32_t PresentDevicesOfEnumerator(std::string_view enumerator, std::vector<platform::DEVINST>& nodes) override {
    return tree_.PresentDevicesOfEnumerator(enumerator, nodes);
  }
  uint32_t PresentDevicesOfClass(std::string_view class_guid, std::vector<platform::DEVINST>& nodes) override {
    return tree_.PresentDevicesOfClass(class_guid, nodes);
  }
  uint32_t GetProperty(platform::DEVINST node, platform::DeviceProperty property,
                       platform::DevicePropertyValue& value) override {
    return tree_.GetProperty(node, property, value);
  }
  uint32_t OpenDeviceKey(platform::DEVINST node, platform::DeviceKeyKind kind) override {
    return tree_.OpenDeviceKey(node, kind);
  }
  uint32_t ReadDeviceKeyString(platform::DEVINST node, platform::DeviceKeyKind kind, std::u16string_view name,
                               std::u16string& value) override {
    return tree_.ReadDeviceKeyString(node, kind, name, value);
  }
  uint32_t ReadEnumKeyString(std::u16string_view instance_id, std::u16string_view name,
                             std::u16string& value) override {
    return tree_.ReadEnumKeyString(instance_id, name, value);
  }
  uint32_t GetStatus(platform::DEVINST node, uint32_t& status, uint32_t& problem) override {
    return tree_.GetStatus(node, status, problem);
  }
  uint32_t GetParent(platform::DEVINST node, platform::DEVINST& parent) override {
    return tree_.GetParent(node, parent);
  }
  uint32_t GetChild(platform::DEVINST node, platform::DEVINST& child) override { return tree_.GetChild(node, child); }
  uint32_t GetSibling(platform::DEVINST node, platform::DEVINST& sibling) override {
    return tree_.GetSibling(node, sibling);
  }
  uint32_t GetDeviceId(platform::DEVINST node, std::u16string& instance_id) override {
    return tree_.GetDeviceId(node, instance_id);
  }
  uint32_t GetCompatibleDriverVersion(platform::DEVINST node, uint64_t& version) override {
    return tree_.GetCompatibleDriverVersion(node, version);
  }
  std::string DevicePath(std::u16string_view name) override { return tree_.DevicePath(name); }

  uint32_t OpenDevice(std::u16string_view name, uint32_t access, std::unique_ptr<platform::DeviceFile>& file) override;
  uint32_t PortIoControl(const std::string& path, uint32_t code, std::span<const uint8_t> input,
                         std::span<uint8_t> output, uint32_t& returned) override;

 private:
  platform::SimDeviceTree& tree_;
  StandInNdisDriver& driver_;
};

// The library with the stand-in driver under every NDIS control device and
// application port, and the simulated adapters as the IP helper. The card
// database is the shipped one with one card more: the 3G card without the
// multiplexing capability (PlugNonMultiplexing3g).
class NdisFixture : public DeviceFixture {
 protected:
  void SetUp() override;
  // Before the driver and the adapters go: a card still taken up is
  // released through them.
  void TearDown() override { Shutdown(); }

  // Plugs and initialises a registered card of `kind`, adds its adapter
  // (no address yet, DHCP on) and waits for the monitor's first look.
  bool PlugCard(sim::CardKind kind);
  bool PlugNonMultiplexing3g();

  GSM::Connection& Current() { return *Device().CurrentConnection(); }
  int ConnectionState() { return Device().GetConnectionState(); }
  bool PumpUntilState(int state) {
    return PumpUntil([&] { return ConnectionState() == state; });
  }
  // Lets the monitor read the driver's state `reads` more times.
  bool PumpReads(size_t reads);
  size_t CountErrors(DvResult code) const;

  // Connect, then the driver at (1, 0) and the adapter with an address.
  bool ConnectAndReachConnected();

  StandInNdisDriver driver_;
  StandInDriverTree driver_tree_{tree_, driver_};
  platform::ScopedDeviceTree scoped_driver_tree_{driver_tree_};
  platform::SimIpHelper ip_;
  platform::ScopedIpHelper scoped_ip_{ip_};
  std::string adapter_;  // the plugged card's adapter name

 private:
  bool FinishPlug();
  static void RecordEvent(uint32_t event, uintptr_t parameter, void* context);
  static void RecordError(uint32_t type, DvResult primary, DvResult secondary, void* context);
};

}  // namespace testing_support
