#include "platform/sim_device_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/pty.h"
#include "platform/serial_port.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

SimDeviceTree::Node UsbNode(std::u16string id) {
  SimDeviceTree::Node node;
  node.enumerator = "USB";
  node.instance_id = std::move(id);
  return node;
}

TEST(SimDeviceTreeTest, WalkFollowsInsertionOrderAndLinks) {
  SimDeviceTree tree;
  const DEVINST card = tree.Add(0, UsbNode(u"USB\\CARD"));
  const DEVINST other = tree.Add(0, UsbNode(u"USB\\OTHER"));
  const DEVINST first = tree.Add(card, UsbNode(u"USB\\CARD&MI_00"));
  SimDeviceTree::Node modem;
  modem.class_guid = std::string(kDeviceClassModem);
  const DEVINST second = tree.Add(card, modem);
  const DEVINST grandchild = tree.Add(first, UsbNode(u"USB\\DEEP"));
  EXPECT_EQ(tree.Add(999, UsbNode(u"X")), 0u);

  std::vector<DEVINST> nodes;
  ASSERT_EQ(tree.PresentDevicesOfEnumerator("USB", nodes), 0u);
  EXPECT_EQ(nodes, (std::vector<DEVINST>{card, other, first, grandchild}));
  ASSERT_EQ(tree.PresentDevicesOfClass(kDeviceClassModem, nodes), 0u);
  EXPECT_EQ(nodes, std::vector<DEVINST>{second});

  DEVINST relative = 0;
  ASSERT_EQ(tree.GetChild(card, relative), 0u);
  EXPECT_EQ(relative, first);
  ASSERT_EQ(tree.GetSibling(first, relative), 0u);
  EXPECT_EQ(relative, second);
  EXPECT_EQ(tree.GetSibling(second, relative), kErrorFileNotFound);
  ASSERT_EQ(tree.GetSibling(card, relative), 0u);  // roots are siblings too
  EXPECT_EQ(relative, other);
  ASSERT_EQ(tree.GetParent(grandchild, relative), 0u);
  EXPECT_EQ(relative, first);
  EXPECT_EQ(tree.GetParent(card, relative), kErrorFileNotFound);
  EXPECT_EQ(tree.GetChild(second, relative), kErrorFileNotFound);
}

TEST(SimDeviceTreeTest, AbsentDataAnswersWithTheSystemsErrors) {
  SimDeviceTree tree;
  SimDeviceTree::Node node = UsbNode(u"USB\\VID_1&PID_2\\5");
  node.friendly_name = SimDeviceTree::Sz("Modem");
  node.device_key.emplace();
  node.enum_key[u"ClassGUID"] = u"{X}";
  const DEVINST handle = tree.Add(0, node);

  DevicePropertyValue value;
  EXPECT_EQ(tree.GetProperty(handle, DeviceProperty::FriendlyName, value), 0u);
  EXPECT_EQ(tree.GetProperty(handle, DeviceProperty::DeviceDesc, value), kErrorInvalidData);
  EXPECT_EQ(tree.OpenDeviceKey(handle, DeviceKeyKind::Device), 0u);
  EXPECT_EQ(tree.OpenDeviceKey(handle, DeviceKeyKind::Driver), kErrorFileNotFound);
  std::u16string text;
  EXPECT_EQ(tree.ReadDeviceKeyString(handle, DeviceKeyKind::Device, u"PortName", text),
            kErrorFileNotFound);
  EXPECT_EQ(tree.ReadEnumKeyString(u"usb\\vid_1&pid_2\\5", u"ClassGUID", text), 0u);
  EXPECT_EQ(text, u"{X}");
  EXPECT_EQ(tree.ReadEnumKeyString(u"USB\\NONE", u"ClassGUID", text), kErrorFileNotFound);
  uint64_t version = 0;
  EXPECT_EQ(tree.GetCompatibleDriverVersion(handle, version), kErrorFileNotFound);
}

TEST(SimDeviceTreeTest, RemovalTakesTheSubtreeChildrenFirstAndNeverReusesHandles) {
  SimDeviceTree tree;
  const DEVINST card = tree.Add(0, UsbNode(u"CARD"));
  const DEVINST a = tree.Add(card, UsbNode(u"A"));
  const DEVINST a1 = tree.Add(a, UsbNode(u"A1"));
  const DEVINST b = tree.Add(card, UsbNode(u"B"));
  const DEVINST keep = tree.Add(0, UsbNode(u"KEEP"));

  std::vector<std::pair<SimDeviceTree::ChangeKind, DEVINST>> seen;
  tree.SetChangeListener([&](const SimDeviceTree::Change& change) {
    // Outside the lock: the listener may read the tree.
    EXPECT_EQ(tree.NodeCount(), 1u) << "removals are reported after the tree changed";
    seen.emplace_back(change.kind, change.node);
  });
  ASSERT_TRUE(tree.Remove(card));
  using Kind = SimDeviceTree::ChangeKind;
  EXPECT_EQ(seen, (std::vector<std::pair<Kind, DEVINST>>{
                      {Kind::Removal, a1}, {Kind::Removal, a}, {Kind::Removal, b},
                      {Kind::Removal, card}}));
  EXPECT_FALSE(tree.Remove(card));
  tree.SetChangeListener({});

  uint32_t status = 0, problem = 0;
  EXPECT_EQ(tree.GetStatus(a1, status, problem), kErrorDevNotExist);
  const DEVINST fresh = tree.Add(0, UsbNode(u"CARD"));
  EXPECT_GT(fresh, keep);
  std::u16string id;
  EXPECT_EQ(tree.GetDeviceId(card, id), kErrorDevNotExist);
}

TEST(SimDeviceTreeTest, ArrivalAndStatusChangesAreReported) {
  SimDeviceTree tree;
  std::vector<SimDeviceTree::ChangeKind> seen;
  tree.SetChangeListener([&](const SimDeviceTree::Change& change) { seen.push_back(change.kind); });
  const DEVINST node = tree.Add(0, UsbNode(u"CARD"));
  ASSERT_TRUE(tree.Update(node, [](SimDeviceTree::Node& n) { n.instance_id = u"NEW"; }));
  ASSERT_TRUE(tree.SetStatus(node, DN_HAS_PROBLEM, CM_PROB_NOT_CONFIGURED));
  using Kind = SimDeviceTree::ChangeKind;
  EXPECT_EQ(seen, (std::vector<Kind>{Kind::Arrival, Kind::StatusChange}));
  tree.SetChangeListener({});
}

TEST(SimDeviceTreeTest, FaultsHitOneNodeOrEveryNodeUntilCleared) {
  SimDeviceTree tree;
  const DEVINST one = tree.Add(0, UsbNode(u"ONE"));
  const DEVINST two = tree.Add(0, UsbNode(u"TWO"));
  uint32_t status = 0, problem = 0;
  tree.FailCall(SimDeviceTree::Call::GetStatus, one, 31);
  EXPECT_EQ(tree.GetStatus(one, status, problem), 31u);
  EXPECT_EQ(tree.GetStatus(two, status, problem), 0u);
  tree.FailCall(SimDeviceTree::Call::GetStatus, one, 0);
  EXPECT_EQ(tree.GetStatus(one, status, problem), 0u);

  std::vector<DEVINST> nodes;
  tree.FailCall(SimDeviceTree::Call::PresentDevices, 0, 13);
  EXPECT_EQ(tree.PresentDevicesOfEnumerator("USB", nodes), 13u);
  EXPECT_EQ(tree.PresentDevicesOfClass("{X}", nodes), 13u);
  tree.FailCall(SimDeviceTree::Call::GetDeviceId, 0, 5);
  std::u16string id;
  EXPECT_EQ(tree.GetDeviceId(two, id), 5u);
}

TEST(SimDeviceTreeTest, DeviceNamesOpenPathsAndVirtualDevices) {
  SimDeviceTree tree;
  PseudoTerminal pty;
  ASSERT_TRUE(pty.Open()) << GetLastError();
  tree.AddDeviceName(u"\\\\.\\VLATP0", pty.SlavePath());
  EXPECT_EQ(tree.DevicePath(u"\\\\.\\vlatp0"), pty.SlavePath());
  EXPECT_EQ(tree.DevicePath(u"\\\\.\\ttyUSB2"), "/dev/ttyUSB2");

  std::unique_ptr<DeviceFile> file;
  ASSERT_EQ(tree.OpenDevice(u"\\\\.\\VLATP0", kGenericRead | kGenericWrite, file), 0u);
  std::unique_ptr<DeviceFile> second;
  EXPECT_EQ(tree.OpenDevice(u"\\\\.\\VLATP0", kGenericRead | kGenericWrite, second),
            kErrorAccessDenied);
  EXPECT_EQ(tree.OpenDevice(u"\\\\.\\VLATP0", kDeviceAccessNone, second), 0u)
      << "presence is not exclusive";
  uint32_t returned = 7;
  EXPECT_EQ(file->IoControl(0x1B2840, {}, {}, returned), kErrorInvalidFunction);
  EXPECT_EQ(returned, 0u);
  file.reset();
  EXPECT_EQ(tree.OpenDevice(u"\\\\.\\VLATP0", kGenericRead | kGenericWrite, file), 0u);

  EXPECT_EQ(tree.OpenDevice(u"\\\\.\\vombel-no-such-device", kDeviceAccessNone, file),
            kErrorFileNotFound);
  EXPECT_EQ(file, nullptr);

  tree.AddVirtualDevice(u"\\\\.\\VLNDIS0", [](uint32_t code, std::span<const uint8_t>,
                                              std::span<uint8_t> out, uint32_t& written) {
    if (code != 0x1B2840 || out.empty()) return kErrorInvalidFunction;
    out[0] = 'x';
    written = 1;
    return kErrorSuccess;
  });
  ASSERT_EQ(tree.OpenDevice(u"\\\\.\\VLNDIS0", kDeviceAccessNone, file), 0u);
  uint8_t buffer[4] = {};
  ASSERT_EQ(file->IoControl(0x1B2840, {}, buffer, returned), 0u);
  EXPECT_EQ(returned, 1u);
  tree.RemoveDeviceName(u"\\\\.\\VLNDIS0");
  EXPECT_EQ(tree.OpenDevice(u"\\\\.\\VLNDIS0", kDeviceAccessNone, second), kErrorFileNotFound);
  EXPECT_EQ(file->IoControl(0x1B2840, {}, buffer, returned), 0u) << "an open device outlives its name";
}

TEST(SimDeviceTreeTest, ReadersSeeAConsistentTreeWhileAnotherThreadChangesIt) {
  SimDeviceTree tree;
  const DEVINST root = tree.Add(0, UsbNode(u"ROOT"));
  std::thread card([&] {
    for (int i = 0; i < 200; ++i) {
      const DEVINST node = tree.Add(root, UsbNode(u"CARD"));
      tree.Add(node, UsbNode(u"PORT"));
      tree.SetStatus(node, DN_DRIVER_LOADED);
      tree.Remove(node);
    }
  });
  for (int i = 0; i < 200; ++i) {
    std::vector<DEVINST> nodes;
    ASSERT_EQ(tree.PresentDevicesOfEnumerator("USB", nodes), 0u);
    for (DEVINST node : nodes) {
      std::u16string id;
      const uint32_t rc = tree.GetDeviceId(node, id);
      // A node listed a moment ago may have gone; it never answers garbage.
      EXPECT_TRUE(rc == 0 || rc == kErrorDevNotExist) << rc;
      if (rc == 0) {
        EXPECT_FALSE(id.empty());
      }
    }
  }
  card.join();
  EXPECT_EQ(tree.NodeCount(), 1u);
}

}  // namespace
}  // namespace platform
