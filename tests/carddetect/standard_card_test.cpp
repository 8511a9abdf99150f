#include "carddetect/standard_card.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "carddetect/detection_state.h"
#include "carddetect/enumeration.h"
#include "carddetect/library_globals.h"
#include "carddetect/notification_window.h"
#include "carddetect/port_probe.h"
#include "foundation/card_models.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/modem_manager_sim.h"
#include "platform/named_event.h"
#include "platform/port_holder_text.h"
#include "platform/win32_error.h"
#include "platform/pty.h"
#include "platform/serial_port.h"
#include "platform/sysfs_device_tree.h"
#include "platform/text.h"
#include "tests/carddetect/nw_library_fixture.h"
#include "tests/carddetect/real_modem_layouts.h"
#include "tests/support/log_capture.h"
#include "tests/support/sysfs_fixture.h"

namespace {

using testing_support::RealModemLayout;

std::string Text(const char16_t (&field)[kNwCardInfoTextSize]) {
  return platform::Utf16ToUtf8(CardInfoText(field));
}

// One tty of a modem played over a pseudo-terminal: it records every byte
// the program writes and answers "OK" to "AT\r" when the real modem does.
// A silent port lets the probe's wait pass on the virtual clock instead.
class ScriptedPort {
 public:
  ScriptedPort(platform::VirtualClock& clock, bool answers) : clock_(clock), answers_(answers) {
    EXPECT_TRUE(pty_.Open());
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedPort() {
    stop_ = true;
    thread_.join();
  }
  ScriptedPort(const ScriptedPort&) = delete;
  ScriptedPort& operator=(const ScriptedPort&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }
  std::string Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  void Run() {
    size_t handled = 0;
    while (!stop_) {
      char buffer[64];
      size_t read = 0;
      if (!pty_.Read(buffer, sizeof buffer, &read, 20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // nobody has the port open
        continue;
      }
      std::string text;
      {
        std::lock_guard lock(mutex_);
        received_.append(buffer, read);
        text = received_;
      }
      for (size_t at = text.find("AT\r", handled); at != std::string::npos; at = text.find("AT\r", handled)) {
        handled = at + 3;
        if (answers_) {
          pty_.Write("AT\r\r\nOK\r\n");  // with the echo, as modems start out
        } else {
          while (!stop_ && !clock_.AdvanceIfWaitBegun(kPortProbeWaitMs)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
        }
      }
    }
  }

  platform::VirtualClock& clock_;
  const bool answers_;
  platform::PseudoTerminal pty_;
  std::mutex mutex_;
  std::string received_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(ProbeAnswerTest, OnlyAnOkLineCounts) {
  struct Row {
    std::string received;
    ProbeAnswer answer;
  };
  const std::vector<Row> rows = {
      {"", ProbeAnswer::kPending},
      {"AT\r", ProbeAnswer::kPending},                       // the echo alone
      {"AT\r\r\nOK\r\n", ProbeAnswer::kOk},                  // echo on, verbose results
      {"\r\nOK\r\n", ProbeAnswer::kOk},                      // ATE0
      {"\r\n^RSSI:17\r\n\r\nOK\r\n", ProbeAnswer::kOk},      // Huawei unsolicited report first
      {"\r\nOK", ProbeAnswer::kPending},                     // the line has not ended
      {"\r\nOK then\r\n", ProbeAnswer::kPending},
      {"\r\nERROR\r\n", ProbeAnswer::kFailed},
      {"\r\n+CME ERROR: 3\r\n", ProbeAnswer::kFailed},
      {"$GPGSV,3,1,12,01,,,*7B\r\n$GPRMC,,V,,,,,,,,,,N*53\r\n", ProbeAnswer::kPending},  // a GPS receiver
      {std::string("\0\xff\x7e\r\n", 5), ProbeAnswer::kPending},  // a diagnostics protocol frame
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ReadProbeAnswer(row.received), row.answer) << testing::PrintToString(row.received);
  }
  const std::vector<std::pair<std::u16string, std::optional<unsigned>>> ids = {
      {u"TTY\\VID_2C7C&PID_0125&MI_02\\ttyUSB2", 2u},
      {u"USB\\VID_04CC&PID_2259&MI_0a", 10u},
      {u"USB\\VID_2C7C&PID_0125", std::nullopt},
      {u"USB\\VID_1&MI_", std::nullopt},
      {u"USB\\VID_1&MI_0", std::nullopt},
      {u"USB\\VID_1&MI_G1", std::nullopt},
  };
  for (const auto& [id, number] : ids) EXPECT_EQ(InterfaceNumberInId(id), number) << platform::Utf16ToUtf8(id);
}

// Detection on fixture trees of real modems whose ports are played over
// pseudo-terminals, with an empty card database.
class StandardCardTest : public ::testing::Test {
 protected:
  StandardCardTest() { ResetCardInfo(state_); }

  // Adds the modem with each port played as the real one behaves.
  void AddModem(const RealModemLayout& layout) {
    fixture_.AddUsbDevice(layout.device);
    for (const testing_support::ModemPort& port : layout.ports) {
      auto played = std::make_unique<ScriptedPort>(clock_, port.answers_at);
      fixture_.LinkDevNode(port.tty, played->SlavePath());
      ports_[port.tty] = std::move(played);
    }
  }
  std::string Received(const std::string& tty) { return ports_.at(tty)->Received(); }
  std::string PortPath(const std::string& tty) { return fixture_.Root() + "/dev/" + tty; }

  testing_support::LogCapture log_{kXLogTrace};
  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  testing_support::SysfsFixture fixture_;
  platform::SysfsDeviceTree tree_{fixture_.Roots()};
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimModemManager modem_manager_{platform::SimModemManager::Behaviour::kAbsent};
  platform::ScopedModemManager scoped_modem_manager_{modem_manager_};
  NwLibraryState state_;
  std::map<std::string, std::unique_ptr<ScriptedPort>> ports_;
};

TEST_F(StandardCardTest, PicksTheApplicationAndModemPortsOfRealModems) {
  struct Row {
    RealModemLayout layout;
    std::string app_port;
    std::string modem_port;
    std::string modem_interface;
    std::map<std::string, std::string> written;  // per tty
  };
  const std::vector<Row> rows = {
      // Two answering ports found: the diagnostics port is never asked.
      {testing_support::HuaweiStick(), "ttyUSB0", "ttyUSB1", "USB\\VID_12D1&PID_1506&MI_01",
       {{"ttyUSB0", "AT\r"}, {"ttyUSB1", "AT\r"}, {"ttyUSB2", ""}}},
      {testing_support::QuectelModule(), "ttyUSB2", "ttyUSB3", "USB\\VID_2C7C&PID_0125&MI_03",
       {{"ttyUSB0", "AT\r"}, {"ttyUSB1", "AT\r"}, {"ttyUSB2", "AT\r"}, {"ttyUSB3", "AT\r"}}},
      // The silent ACM port with the AT protocol is the modem; the one
      // without it is no modem.
      {testing_support::AcmModem(), "ttyACM0", "ttyACM1", "USB\\VID_04CC&PID_2259&MI_03",
       {{"ttyACM0", "AT\r"}, {"ttyACM1", "AT\r"}, {"ttyACM2", "AT\r"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.layout.name);
    testing_support::SysfsFixture fixture;
    platform::SysfsDeviceTree tree(fixture.Roots());
    platform::ScopedDeviceTree scoped(tree);
    std::map<std::string, std::unique_ptr<ScriptedPort>> ports;
    fixture.AddUsbDevice(row.layout.device);
    for (const testing_support::ModemPort& port : row.layout.ports) {
      auto played = std::make_unique<ScriptedPort>(clock_, port.answers_at);
      fixture.LinkDevNode(port.tty, played->SlavePath());
      ports[port.tty] = std::move(played);
    }
    NwLibraryState state;
    ResetCardInfo(state);
    log_.Clear();

    ASSERT_TRUE(DetectAnyCard(state));
    const NwCardInfo& info = state.card_info;
    EXPECT_EQ(info.Model, kCardModelStandard);
    EXPECT_EQ(info.Family, 0);
    EXPECT_EQ(info.Stack, 0);
    EXPECT_EQ(info.WwanCapabilities, 0u);
    EXPECT_EQ(info.WlanCapabilities, 0u);
    EXPECT_EQ(info.DriverCapabilities, CardDriverCapabilitiesModem | CardDriverCapabilitiesMultiplexing);
    EXPECT_EQ(info.AppPortType, 0);
    EXPECT_EQ(Text(info.AppPortName), "\\\\.\\" + row.app_port);
    EXPECT_EQ(Text(info.ModemName), row.modem_interface + " (" + row.modem_port + ")");
    EXPECT_EQ(Text(info.DeviceInstanceId).rfind(row.modem_interface.substr(0, 21) + "\\", 0), 0u)
        << Text(info.DeviceInstanceId);
    EXPECT_NE(info.DevNode, 0u);
    EXPECT_NE(state.DetectedCard(), nullptr);
    EXPECT_TRUE(log_.Contains("Nw: Standard card detected with hardware ID [" + row.modem_interface.substr(0, 21) +
                              "&REV_"));
    for (const auto& [tty, bytes] : row.written) EXPECT_EQ(ports.at(tty)->Received(), bytes) << tty;
  }
}

TEST_F(StandardCardTest, ProbesEachPortOnceAndNeverOneAnotherProgramHolds) {
  // A USB serial adapter with nothing AT-speaking behind it, and the Huawei
  // stick whose PCUI port another program has open.
  testing_support::SysfsFixture::UsbDevice adapter;
  adapter.name = "1-2";
  adapter.vendor = 0x0403;
  adapter.product = 0x6001;
  adapter.interfaces = {testing_support::SerialInterface(0, 0xFF, 0xFF, "ttyUSB9")};
  adapter.interfaces[0].driver = adapter.interfaces[0].serial_driver = "ftdi_sio";
  fixture_.AddUsbDevice(adapter);
  auto adapter_port = std::make_unique<ScriptedPort>(clock_, false);
  fixture_.LinkDevNode("ttyUSB9", adapter_port->SlavePath());
  RealModemLayout stick = testing_support::HuaweiStick();
  stick.device.name = "2-1";  // after the adapter
  AddModem(stick);
  platform::SerialPort holder;
  ASSERT_TRUE(holder.Open(PortPath("ttyUSB0")));

  ASSERT_TRUE(DetectAnyCard(state_));
  EXPECT_EQ(adapter_port->Received(), "AT\r");
  EXPECT_EQ(Received("ttyUSB0"), "");
  EXPECT_EQ(Received("ttyUSB1"), "AT\r");
  EXPECT_EQ(Received("ttyUSB2"), "AT\r");
  // One answering port: it is both, without multiplexing.
  EXPECT_EQ(Text(state_.card_info.AppPortName), "\\\\.\\ttyUSB1");
  EXPECT_EQ(state_.card_info.DriverCapabilities, CardDriverCapabilitiesModem);

  // Detection again (a device event, a re-check): nothing probed twice,
  // and the card found again without asking its port. The held port is
  // still to be asked, once it is free.
  ResetCardInfo(state_);
  EXPECT_TRUE(HasUnprobedStandardPorts(state_));
  ASSERT_TRUE(DetectAnyCard(state_));
  EXPECT_EQ(Text(state_.card_info.AppPortName), "\\\\.\\ttyUSB1");
  EXPECT_EQ(adapter_port->Received(), "AT\r");
  EXPECT_EQ(Received("ttyUSB0"), "");
  EXPECT_EQ(Received("ttyUSB1"), "AT\r");
  EXPECT_EQ(Received("ttyUSB2"), "AT\r");

  // The adapter goes and comes back: it is a new device, asked anew.
  fixture_.RemoveUsbDevice("1-2");
  ForgetGoneStandardPorts(state_);  // as the removal's device event does
  fixture_.AddUsbDevice(adapter);
  fixture_.LinkDevNode("ttyUSB9", adapter_port->SlavePath());
  ResetCardInfo(state_);
  ASSERT_TRUE(DetectAnyCard(state_));
  EXPECT_EQ(adapter_port->Received(), "AT\rAT\r");
  EXPECT_EQ(Received("ttyUSB0"), "");
}

TEST_F(StandardCardTest, DatabaseCardsAreNeverProbed) {
  AddModem(testing_support::QuectelModule());
  // Named, even unsupported: the database knows better than a probe.
  ASSERT_EQ(ReadCardDb(testing_support::CardSection{}.Ids("USB\\VID_2C7C&PID_0125").Text() +
                           testing_support::CardSection{}.Named("Other").Ids("USB\\VID_1111&PID_0001").Text(),
                       kNwOsXp, state_.card_db.entries),
            0u);
  state_.card_db.entries[0].Supported = false;
  EXPECT_FALSE(DetectAnyCard(state_));
  EXPECT_FALSE(HasUnprobedStandardPorts(state_));
  for (const char* tty : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3"}) EXPECT_EQ(Received(tty), "") << tty;
}

// The simulated standard card's tree (a modem on MI_00, an AT port on
// MI_02), built as the simulation builds it, through the library's own
// event path: the ports are probed once the card has settled.
class StandardCardLibraryTest : public testing_support::NwLibraryFixture {
 protected:
  platform::SimDeviceTree::Node Interface(uint8_t number) {
    platform::SimDeviceTree::Node node;
    node.enumerator = "USB";
    const std::string id = "USB\\VID_F7A7&PID_0701&MI_0" + std::to_string(number);
    node.hardware_id = platform::SimDeviceTree::MultiSz({id});
    node.instance_id = platform::Utf8ToUtf16(id + "\\VSIM0-1:1." + std::to_string(number));
    return node;
  }
  platform::SimDeviceTree::Node Tty(uint8_t number, bool modem, const std::string& path) {
    const std::string name = path.substr(5);  // below /dev
    const std::string shown = "USB\\VID_F7A7&PID_0701&MI_0" + std::to_string(number) + " (" + name + ")";
    platform::SimDeviceTree::Node node = testing_support::SerialNode(
        modem ? platform::kDeviceClassModem : platform::kDeviceClassPorts, shown, platform::Utf8ToUtf16(name));
    node.enumerator = modem ? "MODEM" : "TTY";
    node.instance_id = platform::Utf8ToUtf16(std::string(modem ? "MODEM" : "TTY") + "\\VID_F7A7&PID_0701&MI_0" +
                                             std::to_string(number) + "\\" + std::to_string(number));
    return node;
  }
};

TEST_F(StandardCardLibraryTest, SimulatedStandardCardIsProbedOnceItHasSettled) {
  Initialize(EventCard().Text());
  ScriptedPort modem(clock_, true);
  ScriptedPort at_port(clock_, true);
  platform::SimDeviceTree::Node card = testing_support::CardNode("USB", "USB\\VID_F7A7&PID_0701&REV_0100",
                                                                 u"USB\\VID_F7A7&PID_0701\\VSIM0-1");
  card.class_guid = std::string(platform::kDeviceClassUsb);
  card.driver_version = 5ull << 48;
  const platform::DEVINST node = tree_.Add(0, std::move(card));
  const platform::DEVINST mi00 = tree_.Add(node, Interface(0));
  const platform::DEVINST mi02 = tree_.Add(node, Interface(2));
  tree_.Add(mi00, Tty(0, false, modem.SlavePath()));
  tree_.Add(mi00, Tty(0, true, modem.SlavePath()));
  Pump();
  // The AT port's tty is still to come: nothing is asked yet.
  EXPECT_EQ(modem.Received(), "");
  tree_.Add(mi02, Tty(2, false, at_port.SlavePath()));
  Pump();
  EXPECT_EQ(State(), CardStateStopped);

  clock_.Advance(kStandardProbeSettleMs);
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }));
  const NwCardInfo info = Record();
  EXPECT_EQ(info.Model, kCardModelStandard);
  EXPECT_EQ(info.DriverCapabilities, CardDriverCapabilitiesModem | CardDriverCapabilitiesMultiplexing);
  // The modem is the port with a Modem node, though it comes first.
  EXPECT_EQ(Text(info.AppPortName), "\\\\.\\" + at_port.SlavePath().substr(5));
  EXPECT_EQ(Text(info.ModemName), "USB\\VID_F7A7&PID_0701&MI_00 (" + modem.SlavePath().substr(5) + ")");
  EXPECT_EQ(modem.Received(), "AT\r");
  EXPECT_EQ(at_port.Received(), "AT\r");
  EXPECT_TRUE(HasNote({NwEventReasonCardEvent, CardStateStarted, kCardModelStandard}));

  // Pulled: stopped, and its ports forgotten with it.
  tree_.Remove(node);
  Pump();
  EXPECT_EQ(State(), CardStateStopped);
}

// Another program holding ports: a child process that opens them
// exclusively (TIOCEXCL and flock, as SerialPort does) under the name
// `name`. It ends when this object goes, or when the test's process does.
class OtherProgramHolding {
 public:
  OtherProgramHolding(const char* name, const std::vector<std::string>& paths) {
    int ready[2];
    int stay[2];
    if (::pipe(ready) != 0 || ::pipe(stay) != 0) return;
    std::vector<const char*> raw;
    for (const std::string& path : paths) raw.push_back(path.c_str());
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only system calls here: the test's other threads are gone.
      ::close(ready[0]);
      ::close(stay[1]);
      for (const char* path : raw) {
        const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || ::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) ::_exit(1);
      }
      ::prctl(PR_SET_NAME, name);
      if (::write(ready[1], "x", 1) != 1) ::_exit(1);
      char c;
      while (::read(stay[0], &c, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(stay[0]);
    stay_ = stay[1];
    char c;
    holding_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
  }
  ~OtherProgramHolding() {
    if (stay_ >= 0) ::close(stay_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  OtherProgramHolding(const OtherProgramHolding&) = delete;
  OtherProgramHolding& operator=(const OtherProgramHolding&) = delete;

  bool Holding() const { return holding_; }

 private:
  pid_t pid_ = -1;
  int stay_ = -1;
  bool holding_ = false;
};

// The simulated standard card with both its ports held, as ModemManager
// holds a modem it has taken up: the held port is asked about, and the card
// is ours while ModemManager leaves it alone.
class HeldStandardCardTest : public StandardCardLibraryTest {
 protected:
  static constexpr char kUid[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4";

  HeldStandardCardTest() {
    modem_manager_.AddModem(kUid, modem_.SlavePath());
    modem_manager_.AddModem(kUid, at_port_.SlavePath());
    // The real service closes the ports before it answers.
    modem_manager_.OnInhibit([this](const std::string&) {
      for (platform::SerialPort& held : held_) held.Close();
    });
  }

  // Plugs the card with the ports held in this process (the /proc scan
  // cannot see it: as with a ModemManager of another user) and lets it
  // settle; its node.
  platform::DEVINST PlugHeldCard(bool held_here = true) {
    if (held_here) {
      EXPECT_TRUE(held_[0].Open(modem_.SlavePath()));
      EXPECT_TRUE(held_[1].Open(at_port_.SlavePath()));
    }
    platform::SimDeviceTree::Node card = testing_support::CardNode("USB", "USB\\VID_F7A7&PID_0701&REV_0100",
                                                                   u"USB\\VID_F7A7&PID_0701\\VSIM0-1");
    card.class_guid = std::string(platform::kDeviceClassUsb);
    const platform::DEVINST node = tree_.Add(0, std::move(card));
    const platform::DEVINST mi00 = tree_.Add(node, Interface(0));
    const platform::DEVINST mi02 = tree_.Add(node, Interface(2));
    tree_.Add(mi00, Tty(0, false, modem_.SlavePath()));
    tree_.Add(mi00, Tty(0, true, modem_.SlavePath()));
    tree_.Add(mi02, Tty(2, false, at_port_.SlavePath()));
    Pump();
    clock_.Advance(kStandardProbeSettleMs);
    Pump();
    return node;
  }

  size_t HeldNotes() const {
    return static_cast<size_t>(std::count_if(notes_.begin(), notes_.end(), [](const testing_support::Notification& n) {
      return n.reason == NwEventReasonCardHeld;
    }));
  }
  std::string HeldText() {
    char16_t buffer[kNwCardHeldTextSize];
    held_rc_ = NwGetCardHeldText(buffer, kNwCardHeldTextSize);
    return platform::Utf16ToUtf8(buffer);
  }

  ScriptedPort modem_{clock_, true};
  ScriptedPort at_port_{clock_, true};
  platform::SerialPort held_[2];
  uint32_t held_rc_ = 0;
};

TEST_F(HeldStandardCardTest, WillingModemManagerLeavesTheCardAloneForAsLongAsTheLibraryHasIt) {
  modem_manager_.Return(platform::SimModemManager::Behaviour::kWilling);
  Initialize(EventCard().Text());
  platform::DEVINST card = PlugHeldCard();
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }));
  EXPECT_TRUE(modem_manager_.IsInhibited(kUid));
  EXPECT_EQ(modem_.Received(), "AT\r");
  EXPECT_EQ(HeldNotes(), 0u);
  EXPECT_EQ(HeldText(), "");
  EXPECT_EQ(held_rc_, platform::kErrorDevNotExist);

  // Given to another program: ModemManager may have it meanwhile; back,
  // it is asked again.
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("New listener thread duty is 'WaitForSuspend'"); }));
  platform::UniqueHandle request(platform::CreateNamedEvent(kSuspensionEventName, true, false));
  bool inhibited_while_suspended = true;
  on_suspended_ = [&] {
    inhibited_while_suspended = modem_manager_.IsInhibited(kUid);
    platform::ResetEvent(request.get());
  };
  platform::SetEvent(request.get());
  ASSERT_TRUE(PumpUntil([&] { return HasNote({NwEventReasonCardEvent, CardStateSuspended, 0}); }, 1));
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }, 1));
  EXPECT_FALSE(inhibited_while_suspended);
  EXPECT_TRUE(modem_manager_.IsInhibited(kUid));

  // ModemManager restarts: the loss is noted, and the card is asked for
  // again when it is next found (here: after a standby).
  modem_manager_.GoAway();
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("Nw: ModemManager has left the bus"); }));
  modem_manager_.Return(platform::SimModemManager::Behaviour::kWilling);
  EXPECT_FALSE(modem_manager_.IsInhibited(kUid));
  platform::BroadcastPowerEvent(platform::PBT_APMSUSPEND);
  platform::BroadcastPowerEvent(platform::PBT_APMRESUMESUSPEND);
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }));
  EXPECT_TRUE(modem_manager_.IsInhibited(kUid));

  // Pulled: handed back.
  tree_.Remove(card);
  Pump();
  EXPECT_EQ(State(), CardStateStopped);
  EXPECT_FALSE(modem_manager_.IsInhibited(kUid));

  // Plugged again and held again: taken over again, and handed back at
  // shut-down.
  card = PlugHeldCard();
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }));
  EXPECT_TRUE(modem_manager_.IsInhibited(kUid));
  NwShutdown();
  EXPECT_FALSE(modem_manager_.IsInhibited(kUid));
}

TEST_F(HeldStandardCardTest, RefusingModemManagerIsNamedOnceUntilThePortIsFree) {
  modem_manager_.Return(platform::SimModemManager::Behaviour::kRefusing);
  Initialize(EventCard().Text());
  PlugHeldCard();
  ASSERT_TRUE(PumpUntil([&] { return HeldNotes() == 1; }));
  EXPECT_EQ(State(), CardStateStopped);
  EXPECT_EQ(HeldText(), platform::PortInUseText(modem_.SlavePath(), platform::kModemManagerProgram));
  EXPECT_EQ(held_rc_, 0u);
  EXPECT_EQ(modem_.Received(), "");
  char16_t small[8];
  EXPECT_EQ(NwGetCardHeldText(small, 8), platform::kErrorInsufficientBuffer);
  EXPECT_EQ(small[0], u'\0');

  // Looked at again while held: neither asked nor announced again.
  log_.Clear();
  clock_.Advance(kHeldCardRecheckMs);
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: Standard card probe timer event"));
  EXPECT_FALSE(log_.Contains("asking ModemManager"));
  EXPECT_EQ(HeldNotes(), 1u);

  // The holder lets go: the sentence goes, with one more notice, and the
  // card is found.
  held_[0].Close();
  held_[1].Close();
  clock_.Advance(kHeldCardRecheckMs);
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }));
  EXPECT_EQ(HeldNotes(), 2u);
  EXPECT_EQ(HeldText(), "");
  EXPECT_EQ(held_rc_, platform::kErrorDevNotExist);
}

TEST_F(HeldStandardCardTest, WithoutModemManagerTheHoldingProgramIsNamed) {
  Initialize(EventCard().Text());
  OtherProgramHolding other("minicom", {modem_.SlavePath(), at_port_.SlavePath()});
  ASSERT_TRUE(other.Holding());
  PlugHeldCard(false);
  ASSERT_TRUE(PumpUntil([&] { return HeldNotes() == 1; }));
  EXPECT_EQ(State(), CardStateStopped);
  EXPECT_EQ(HeldText(), platform::PortInUseText(modem_.SlavePath(), "minicom"));
  EXPECT_FALSE(log_.Contains("asking ModemManager"));
}

}  // namespace
