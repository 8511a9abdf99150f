// The simulated cards in a simulated device tree, found by the program's own
// card detection against the shipped card database.
#include "sim/sim_presence.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "carddetect/card_db.h"
#include "carddetect/card_driver.h"
#include "carddetect/device_node.h"
#include "carddetect/enumeration.h"
#include "carddetect/subdevice_classification.h"
#include "carddetect/subdevices.h"
#include "carddetect/wwan_device.h"
#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/serial_port.h"
#include "platform/sim_device_events.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"
#include "platform/window.h"
#include "sim/sim_card_builder.h"
#include "tests/support/eventually.h"

namespace {

using platform::Utf16ToUtf8;
using sim::CardKind;
using sim::SimPresence;

std::string Text(const char16_t (&field)[kNwCardInfoTextSize]) { return Utf16ToUtf8(CardInfoText(field)); }

std::string BelowDev(const std::string& path) { return path.substr(std::string("/dev/").size()); }

// Sends "AT" on `path` as a terminal program would and returns what came
// back once "OK" has (or the safety net ran out).
std::string AskAt(const std::string& path) {
  platform::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  if (!fd) return "cannot open " + path;
  termios raw{};
  ::tcgetattr(fd.get(), &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(fd.get(), TCSANOW, &raw);
  if (::write(fd.get(), "AT\r", 3) != 3) return "cannot write";
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + testing_support::kSafetyNet;
  while (got.find("OK\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n > 0) got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

class SimPresenceTest : public ::testing::Test {
 protected:
  SimPresenceTest() : scoped_clock_(clock_), scoped_tree_(tree_) {
    // Only the plugging thread's sleeps matter here: the insertion delays.
    clock_.SetSleepAdvances(true);
    ResetCardInfo(state_);
  }

  void LoadShippedDb() { ASSERT_EQ(InitializeCardDb(state_.card_db, nullptr), 0u); }

  // The searches the detection state machine runs for the card it found,
  // each only where the card's flags and methods call for it, as far as
  // the card's sub-devices go.
  void DetectEverything() {
    ASSERT_TRUE(DetectAnyCard(state_));
    state_.card_info.State = CardStateStarting;
    ASSERT_TRUE(state_.detection.subdevices_ready);
    DetectAllSubdevices(state_);
    const uint32_t flags = state_.card_info.DriverCapabilities;
    if (flags & CardDriverCapabilitiesModem) {
      ASSERT_TRUE(DetectModem(state_));
    }
    if (flags & CardDriverCapabilitiesMultiplexing) {
      ASSERT_TRUE(DetectAppPort(state_));
    }
    ASSERT_TRUE(TestFinalPort(state_));
    if (state_.detection.dbg_port_method.method != 0) {
      ASSERT_TRUE(DetectDefaultDbgPort(state_));
    }
    if (flags & CardDriverCapabilitiesWwanNic) {
      ASSERT_TRUE(DetectWwanDevice(state_));
    }
    if (!BusDevicePattern(state_.card_info).empty()) {
      ASSERT_TRUE(DetectBusDevice(state_));
    }
    ASSERT_TRUE(DetectDriverVersion(state_));
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_;
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_;
  NwLibraryState state_;
};

// One row per simulated card: what detection must make of its tree.
struct ClassRow {
  CardKind kind;
  uint32_t model;
  uint32_t flags;          // DriverCapabilities once every search ran
  bool at_by_name;         // the AT port is the driver's "\\.\VLATP0", not a tty
  bool debug_port;
  std::string wwan_nic;    // interface of the adapter, empty for none
  std::string ndis_port;
  std::string bus_device;
};

TEST_F(SimPresenceTest, DetectionFindsEveryCardClassWithAllItsSubdevices) {
  LoadShippedDb();
  const std::vector<ClassRow> rows = {
      {CardKind::kMultiplexing3g, 0x1000, 0x4C7, false, true, "MI_04", "\\\\.\\VLNDIS0", ""},
      {CardKind::kGprs, 0x100, 0x480, false, false, "", "", ""},
      {CardKind::kTechnologySelection, 0x2100, 0x4C1, false, false, "", "", ""},
      // The classification finds the adapter and with it asks for an NDIS
      // port; this card's database entry names none, so the flag goes again.
      {CardKind::kStack3, 0x2200, 0x4C3, true, false, "MI_03", "", ""},
      {CardKind::kModel0E00, 0xE00, 0x4C1, false, false, "", "", ""},
      {CardKind::kComposite, 0x2300, 0x6C7, false, false, "MI_03", "\\\\.\\VLNDIS0", "\\\\.\\vl72ubus0"},
  };
  ASSERT_EQ(rows.size(), sim::AllCardClasses().size());

  for (const ClassRow& row : rows) {
    SCOPED_TRACE(std::string(sim::ClassOf(row.kind).id));
    ResetCardInfo(state_);
    auto present = sim::NewSimCard(row.kind).BuildIn(tree_);
    ASSERT_NE(present, nullptr);
    sim::SimCard& card = present->Card();
    ASSERT_NO_FATAL_FAILURE(DetectEverything());

    const NwCardInfo& info = state_.card_info;
    const sim::CardLayout& layout = present->Layout();
    char usb[32];
    std::snprintf(usb, sizeof usb, "USB\\VID_%04X&PID_%04X", layout.vendor_id, layout.product_id);
    EXPECT_EQ(info.Model, row.model);
    EXPECT_EQ(info.DevNode, present->CardNode());
    EXPECT_EQ(info.DriverCapabilities, row.flags) << std::hex << info.DriverCapabilities;
    EXPECT_EQ(Text(info.DeviceInstanceId).rfind(std::string(usb) + "\\VSIM0-", 0), 0u) << Text(info.DeviceInstanceId);
    EXPECT_EQ(Text(info.ModemName), std::string(usb) + "&MI_00 (" + BelowDev(card.ModemPortPath()) + ")");
    EXPECT_EQ(info.DriverVersionMs, 5u << 16 | 2u);
    EXPECT_EQ(info.DriverVersionLs, 14u << 16);

    // The application port is the card's AT port, and it answers.
    const std::string app_port = Text(info.AppPortName);
    if (row.at_by_name) {
      EXPECT_EQ(app_port, "\\\\.\\VLATP0");
    } else {
      EXPECT_EQ(app_port, "\\\\.\\" + BelowDev(card.AtPortPath()));
    }
    const std::string path = tree_.DevicePath(CardInfoText(info.AppPortName));
    EXPECT_EQ(path, card.AtPortPath());
    EXPECT_NE(AskAt(path).find("OK\r\n"), std::string::npos);

    EXPECT_EQ(!Text(info.DbgPortName).empty(), row.debug_port);
    if (row.debug_port) {
      EXPECT_NE(Text(info.DbgPortName), app_port);
    }
    if (row.wwan_nic.empty()) {
      EXPECT_EQ(Text(info.WwanNicName), "");
    } else {
      EXPECT_EQ(Text(info.WwanNicName), std::string(usb) + "&" + row.wwan_nic + " (wwan0)");
      EXPECT_EQ(Text(info.NetCfgInstanceId), "wwan0");
    }
    EXPECT_EQ(Text(info.WwanNdisPortName), row.ndis_port);
    EXPECT_EQ(Text(info.BusDeviceName), row.bus_device);

    present.reset();
    EXPECT_EQ(tree_.NodeCount(), 0u);
  }
}

TEST_F(SimPresenceTest, PlugTakesAFewHundredMillisecondsAndPullRemovesEverything) {
  LoadShippedDb();
  const uint64_t start = clock_.NowMs();
  auto present = sim::NewSimCard(CardKind::kComposite).BuildIn(tree_);
  ASSERT_NE(present, nullptr);
  // Card, then three interfaces, then modem tty, AT tty and adapter.
  EXPECT_EQ(clock_.NowMs() - start, SimPresence::kEnumerationMs + 2 * SimPresence::kInterfaceStepMs +
                                        3 * SimPresence::kFunctionStepMs);
  EXPECT_EQ(tree_.NodeCount(), 1u + 3u + 4u);
  const std::vector<std::u16string> names = present->DeviceNames();
  EXPECT_EQ(names, (std::vector<std::u16string>{u"\\\\.\\vl72ubus0", u"\\\\.\\VLNDIS0"}));

  ASSERT_NO_FATAL_FAILURE(DetectEverything());
  const std::string at_path = present->Card().AtPortPath();
  platform::SerialPort port;  // the program's own port, left open
  ASSERT_TRUE(port.Open(at_path));

  present->Pull();
  EXPECT_EQ(tree_.NodeCount(), 0u);
  EXPECT_EQ(present->CardNode(), 0u);
  EXPECT_TRUE(present->DeviceNames().empty());
  for (const std::u16string& name : names) {
    std::unique_ptr<platform::DeviceFile> file;
    EXPECT_EQ(tree_.OpenDevice(name, platform::kDeviceAccessNone, file), platform::kErrorFileNotFound);
  }
  // The open port hangs up, as a pulled card's does: waiting on it and
  // writing to it fail with access denied.
  ASSERT_TRUE(port.SetCommMask(platform::kEvRxChar));
  uint32_t events = 0;
  EXPECT_FALSE(port.WaitCommEvent(&events));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
  size_t written = 0;
  EXPECT_FALSE(port.WriteFile("AT\r", 3, &written));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
  // And detection finds nothing any more.
  EXPECT_FALSE(IsDeviceNodeActive(state_.card_info.DevNode, true));
  EXPECT_FALSE(TestFinalPort(state_));
  ResetCardInfo(state_);
  EXPECT_FALSE(DetectAnyCard(state_));

  // Plugged again: the same names, new nodes.
  ASSERT_TRUE(present->Plug());
  EXPECT_EQ(present->DeviceNames(), names);
  EXPECT_EQ(tree_.NodeCount(), 8u);
}

// Two cards in one tree take different device numbers.
TEST_F(SimPresenceTest, ASecondCardTakesTheNextNumbers) {
  LoadShippedDb();
  auto first = sim::NewSimCard(CardKind::kComposite).BuildIn(tree_);
  auto second = sim::NewSimCard(CardKind::kComposite).BuildIn(tree_);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->DeviceNames(), (std::vector<std::u16string>{u"\\\\.\\vl72ubus1", u"\\\\.\\VLNDIS1"}));
  std::unique_ptr<platform::DeviceFile> ndis;
  ASSERT_EQ(tree_.OpenDevice(u"\\\\.\\VLNDIS1", platform::kDeviceAccessNone, ndis), 0u);
  uint8_t answer[96] = {};
  uint32_t returned = 0;
  ASSERT_EQ(ndis->IoControl(kIoctlQueryNetCfgInstanceId, {}, answer, returned), 0u);
  EXPECT_EQ(returned, 12u);  // "wwan1" and its terminating zero, UTF-16LE
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), 10), std::string("w\0w\0a\0n\x00" "1\0", 10));
  uint8_t small[4];
  EXPECT_EQ(ndis->IoControl(kIoctlQueryNetCfgInstanceId, {}, small, returned), platform::kErrorInsufficientBuffer);
  EXPECT_EQ(ndis->IoControl(0x1B2844, {}, answer, returned), platform::kErrorInvalidFunction);
}

class PresenceBroadcastTest : public SimPresenceTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::RegisterClass(kClass, [this](platform::HWND, uint32_t m, platform::WPARAM w,
                                                       platform::LPARAM l) {
      if (m != platform::WM_DEVICECHANGE) return platform::LRESULT{0};
      auto b = platform::DeviceBroadcastFromLParam(l);
      if (b && w != platform::DBT_DEVNODES_CHANGED) seen_.push_back(std::to_string(b->device_type) + ":" + b->name);
      return platform::LRESULT{0};
    }));
    hwnd_ = platform::CreateWindow(kClass);
    for (auto guid : {platform::kInterfaceComPort, platform::kInterfaceModem, platform::kInterfaceNetwork,
                      platform::kInterfaceUsbDevice}) {
      registrations_.push_back(platform::RegisterDeviceNotification(hwnd_, guid));
    }
  }
  void TearDown() override {
    for (auto r : registrations_) platform::UnregisterDeviceNotification(r);
    platform::DestroyWindow(hwnd_);
    platform::UnregisterClass(kClass);
  }

  static constexpr std::u16string_view kClass = u"PresenceBroadcastTest";
  platform::HWND hwnd_ = nullptr;
  std::vector<platform::HDEVNOTIFY> registrations_;
  std::vector<std::string> seen_;
};

TEST_F(PresenceBroadcastTest, PlugBroadcastsInInsertionOrder) {
  platform::SimDeviceEvents events(tree_);
  auto present = sim::NewSimCard(CardKind::kMultiplexing3g).BuildIn(tree_);
  ASSERT_NE(present, nullptr);
  platform::PumpMessages();
  const std::string modem = BelowDev(present->Card().ModemPortPath());
  const std::string at = BelowDev(present->Card().AtPortPath());
  ASSERT_EQ(seen_.size(), 9u);
  const std::string diag = seen_[5].substr(2);
  const std::vector<std::string> want = {
      "5:USB\\VID_F1A1&PID_0101\\VSIM0-1",
      "5:TTY\\VID_F1A1&PID_0101&MI_00\\" + modem.substr(0, 3) + "_" + modem.substr(4),
      "3:" + modem,
      "5:MODEM\\VID_F1A1&PID_0101&MI_00_MDM\\" + modem.substr(0, 3) + "_" + modem.substr(4),
      "5:TTY\\VID_F1A1&PID_0101&MI_01\\" + diag.substr(0, 3) + "_" + diag.substr(4),
      "3:" + diag,
      "5:TTY\\VID_F1A1&PID_0101&MI_02_APP\\" + at.substr(0, 3) + "_" + at.substr(4),
      "3:" + at,
      "5:wwan0",
  };
  EXPECT_EQ(seen_, want);
  EXPECT_NE(diag, modem);
  EXPECT_NE(diag, at);
}

// A family 7 card is re-created by its driver after standby: the old card
// is still there right after resume (and detection must leave it alone),
// then it goes and a new card node with new IDs and ports comes.
TEST_F(SimPresenceTest, AFamily7CardComesBackAsANewCardAfterResume) {
  const std::string db =
      "[Replugging Card]\r\nSupported=1\r\nModel=0x1000\r\nFamily=7\r\nStackType=1\r\nBusType=USB\r\n"
      "HardwareId=USB\\VID_F1A1&PID_0101\r\nWwanNicName=VID_F1A1&PID_0101&MI_04\r\nAdPortType=0\r\n"
      "AdDriverCap=0x487\r\nAdWwanCap=0xF\r\nAdWlanCap=0x0\r\nAdModemName=VID_F1A1&PID_0101&MI_00\r\n"
      "AdModemDetect=0x2,0x2\r\nAdAppPortName=VID_F1A1&PID_0101&MI_02\r\nAdAppPortDetect=0x2,0x41\r\n"
      "AdWwanNdisPortName=\\\\.\\VLNDIS%d\r\nAdWwanNdisPortDetect=0x1\r\n";
  ASSERT_EQ(ReadCardDb(db, kNwOsXp, state_.card_db.entries), 0u);
  sim::CardClass family7 = sim::ClassOf(CardKind::kMultiplexing3g);
  family7.family = 7;
  SimPresence present(std::make_unique<sim::SimCard>(family7, sim::CardState{}), tree_,
                      sim::LayoutOf(CardKind::kMultiplexing3g));
  ASSERT_TRUE(present.Plug());
  ASSERT_NO_FATAL_FAILURE(DetectEverything());
  const platform::DEVINST old_card = state_.card_info.DevNode;
  const std::string old_id = Text(state_.card_info.DeviceInstanceId);

  // Standby, as the library does it: the adapter is remembered.
  present.Standby();
  state_.replug_node = state_.detection.wwan_nic_node;
  ResetCardInfo(state_);
  EXPECT_FALSE(DetectAnyCard(state_));  // right after resume: the old card, ignored
  EXPECT_EQ(present.CardNode(), old_card);

  const uint64_t resumed = clock_.NowMs();
  ASSERT_TRUE(present.Resume());
  EXPECT_GE(clock_.NowMs() - resumed, SimPresence::kReplugDelayMs);
  EXPECT_FALSE(IsDeviceNodeActive(state_.replug_node, true));  // so the library forgets it
  state_.replug_node = 0;

  ASSERT_NO_FATAL_FAILURE(DetectEverything());
  EXPECT_NE(state_.card_info.DevNode, old_card);
  EXPECT_GT(state_.card_info.DevNode, old_card);  // handles are never reused
  EXPECT_NE(Text(state_.card_info.DeviceInstanceId), old_id);
  const std::string path = tree_.DevicePath(CardInfoText(state_.card_info.AppPortName));
  EXPECT_NE(path, "");
  EXPECT_NE(AskAt(path).find("OK\r\n"), std::string::npos);
  EXPECT_EQ(path, present.Card().AtPortPath());
}

// Any other card keeps its nodes and ports across standby.
TEST_F(SimPresenceTest, OtherFamiliesStayThroughStandby) {
  LoadShippedDb();
  auto present = sim::NewSimCard(CardKind::kMultiplexing3g).BuildIn(tree_);
  ASSERT_NE(present, nullptr);
  const platform::DEVINST card = present->CardNode();
  const std::string port = present->Card().AtPortPath();
  const size_t nodes = tree_.NodeCount();
  present->Standby();
  const uint64_t resumed = clock_.NowMs();
  ASSERT_TRUE(present->Resume());
  EXPECT_EQ(clock_.NowMs(), resumed);
  EXPECT_EQ(present->CardNode(), card);
  EXPECT_EQ(present->Card().AtPortPath(), port);
  EXPECT_EQ(tree_.NodeCount(), nodes);
  ASSERT_NO_FATAL_FAILURE(DetectEverything());
  EXPECT_EQ(state_.card_info.DevNode, card);
}

// The card's own pull (the console's "pull", a pull fault) takes its nodes
// out as well, and its plug puts them back.
TEST_F(SimPresenceTest, TheCardsOwnPullAndPlugMoveItsNodes) {
  std::mutex mutex;
  std::vector<bool> told;  // under `mutex`: the reader thread tells too
  auto told_now = [&] {
    std::lock_guard lock(mutex);
    return told;
  };
  auto present = sim::NewSimCard(CardKind::kGprs).BuildIn(tree_);
  ASSERT_NE(present, nullptr);
  present->SetObserver([&](bool in) {
    std::lock_guard lock(mutex);
    told.push_back(in);
  });
  present->Card().Pull();
  EXPECT_EQ(tree_.NodeCount(), 0u);
  ASSERT_TRUE(present->Card().Plug());
  EXPECT_EQ(tree_.NodeCount(), 1u + 1u + 2u);
  EXPECT_EQ(told_now(), (std::vector<bool>{false, true}));

  // Pulled in the middle of a command, on the card's own reader thread.
  present->Card().InjectFault("+CGMM", sim::Fault{sim::FaultKind::kPull, 0, false});
  platform::UniqueFd fd(::open(present->Card().AtPortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  ASSERT_TRUE(fd);
  ASSERT_EQ(::write(fd.get(), "AT+CGMM\r", 8), 8);
  EXPECT_TRUE(testing_support::Eventually([&] { return told_now().size() == 3; }));
  EXPECT_EQ(told_now(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(tree_.NodeCount(), 0u);
  EXPECT_EQ(present->CardNode(), 0u);
  present->SetObserver({});
}

}  // namespace
