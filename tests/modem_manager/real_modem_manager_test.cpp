// The link and the simulated standard card against the real ModemManager: on
// a bus of the test's own, in its test mode (no udev; only the generic
// plugin, so only standard 3GPP behaviour), handed the card's modem port
// through a Unix socket that socat bridges to the card's pseudo-terminal.
// Skipped when ModemManager, socat or dbus-daemon is not installed. These
// waits are in real time (the other side is a real program); each is bounded.
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/modem_manager.h"
#include "platform/port_holder.h"
#include "platform/sd_bus_handles.h"
#include "platform/unique_fd.h"
#include "tests/platform/private_bus.h"
#include "tests/platform/spawned_program.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using testing_support::SpawnedProgram;
using testing_support::WaitUntil;
using namespace std::chrono_literals;

constexpr const char* kModemPath = "/org/freedesktop/ModemManager1/Modem/0";
constexpr const char* kModem = "org.freedesktop.ModemManager1.Modem";
constexpr const char* kModem3gpp = "org.freedesktop.ModemManager1.Modem.Modem3gpp";
constexpr const char* kProfile = "vombel-standard";
constexpr int kStateDisabled = 3;
constexpr int kStateRegistered = 8;

std::string GenericPlugin() {
  for (const char* pattern : {"/usr/lib*/*/ModemManager/libmm-plugin-generic.so",
                              "/usr/lib*/ModemManager/libmm-plugin-generic.so"}) {
    glob_t found{};
    const bool ok = ::glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    std::string path = ok ? found.gl_pathv[0] : "";
    ::globfree(&found);
    if (!path.empty()) return path;
  }
  return {};
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The commands in ModemManager's debug log that got ERROR back.
std::set<std::string> CommandsAnsweredError(const std::string& log) {
  std::set<std::string> refused;
  std::istringstream lines(log);
  std::string line;
  std::string last_command;
  while (std::getline(lines, line)) {
    const size_t sent = line.find("--> '");
    if (sent != std::string::npos) {
      last_command = line.substr(sent + 5, line.find("<CR>", sent) - sent - 5);
    } else if (line.find("<-- '") != std::string::npos && line.find("ERROR") != std::string::npos) {
      refused.insert(last_command);
    }
  }
  return refused;
}

class RealModemManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string modem_manager = testing_support::FindProgram("ModemManager");
    const std::string socat = testing_support::FindProgram("socat");
    const std::string plugin = GenericPlugin();
    if (modem_manager.empty() || socat.empty() || plugin.empty()) {
      GTEST_SKIP() << "ModemManager (Debian package modemmanager) or socat is not installed";
    }
    std::string why_not;
    bus_ = testing_support::PrivateBus::Start(why_not);
    if (!bus_) GTEST_SKIP() << "no private bus: " << why_not;

    const std::string plugins = dir_.Path() + "/plugins";
    ASSERT_EQ(::mkdir(plugins.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(plugin.c_str(), (plugins + "/libmm-plugin-generic.so").c_str()), 0);

    // The card, instant (no start-up delays), its console kept open on a pipe.
    int to_card[2];
    int from_card[2];
    ASSERT_EQ(::pipe2(to_card, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(from_card, O_CLOEXEC), 0);
    console_.reset(to_card[1]);
    UniqueFd console_in(to_card[0]);
    UniqueFd card_out(from_card[0]);
    {
      UniqueFd card_out_w(from_card[1]);
      SpawnedProgram::Options options;
      options.stdin_fd = console_in.get();
      options.stdout_pipe = card_out_w.get();
      options.output = dir_.Path() + "/card.log";
      card_ = std::make_unique<SpawnedProgram>(
          std::vector<std::string>{VOMBEL_SIM_BINARY, "--card", "standard", "--instant"}, options);
    }
    for (std::string line; testing_support::ReadLine(card_out.get(), line, 5s);) {
      if (line.starts_with("modem port: ")) {
        pty_ = line.substr(12);
        break;
      }
    }
    ASSERT_FALSE(pty_.empty()) << "the simulated card printed no modem port";

    // socat -v traces the line both ways: what the card answered.
    socket_ = dir_.Path() + "/modem.sock";
    SpawnedProgram::Options socat_options;
    socat_options.output = dir_.Path() + "/line.log";
    socat_ = std::make_unique<SpawnedProgram>(
        std::vector<std::string>{socat, "-v", "-t", "0", "UNIX-LISTEN:" + socket_ + ",fork",
                                 "FILE:" + pty_ + ",raw,echo=0"},
        socat_options);
    ASSERT_TRUE(WaitUntil(5000ms, [this] { return ::access(socket_.c_str(), F_OK) == 0; }))
        << "socat made no socket";

    SpawnedProgram::Options mm_options;
    mm_options.extra_env = {"DBUS_SESSION_BUS_ADDRESS=" + bus_->Address()};
    log_ = dir_.Path() + "/modem-manager.log";
    mm_options.output = log_;
    modem_manager_ = std::make_unique<SpawnedProgram>(
        std::vector<std::string>{modem_manager, "--test-session", "--test-enable", "--test-no-udev",
                                 "--test-plugin-dir=" + plugins, "--log-level=DEBUG"},
        mm_options);

    link_ = ConnectModemManager(bus_->Address());
    ASSERT_TRUE(link_);
    ASSERT_TRUE(WaitUntil(5000ms, [this] { return link_->Present(); })) << "ModemManager did not start";

    sd_bus* raw = nullptr;
    ASSERT_GE(sd_bus_new(&raw), 0);
    client_.reset(raw);
    ASSERT_GE(sd_bus_set_address(raw, bus_->Address().c_str()), 0);
    ASSERT_GE(sd_bus_set_bus_client(raw, 1), 0);
    ASSERT_GE(sd_bus_start(raw), 0);
    SdBusError error;
    sd_bus_message* reply = nullptr;
    ASSERT_GE(sd_bus_call_method(raw, kModemManagerName, kModemManagerPath,
                                 "org.freedesktop.ModemManager1.Test", "SetProfile", error.get(), &reply,
                                 "ssas", kProfile, "generic", 1, socket_.c_str()),
              0)
        << error.name() << ": " << error.message();
    sd_bus_message_unref(reply);
  }

  void TearDown() override {
    if (log_.empty()) return;
    const std::string log = FileText(log_);
    if (HasFailure()) {
      // The end of ModemManager's account, for what it was doing when we gave up.
      const size_t from = log.size() > 6000 ? log.find('\n', log.size() - 6000) : 0;
      std::cout << "ModemManager's log, its end:\n" << log.substr(from == std::string::npos ? 0 : from) << "\n";
    }
    const std::set<std::string> refused = CommandsAnsweredError(log);
    std::cout << "commands the simulated standard card answered with ERROR (" << refused.size() << "):";
    for (const auto& command : refused) std::cout << " " << command;
    std::cout << std::endl;
  }

  int ModemState() {
    int state = -2;
    SdBusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_get_property(client_.get(), kModemManagerName, kModemPath, kModem, "State", error.get(), &reply,
                            "i") < 0) {
      return state;
    }
    SdBusMessage owned(reply);
    sd_bus_message_read(reply, "i", &state);
    return state;
  }

  // The socat children that hold the card's line (the card keeps its own
  // side open too).
  int SocatHolders() {
    const std::vector<PortHolder> holders = FindPortHolders(pty_);
    return static_cast<int>(
        std::count_if(holders.begin(), holders.end(), [](const PortHolder& h) { return h.name == "socat"; }));
  }

  uint32_t SignalPercent() {
    SdBusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_get_property(client_.get(), kModemManagerName, kModemPath, kModem, "SignalQuality", error.get(),
                            &reply, "(ub)") < 0) {
      return 0;
    }
    SdBusMessage owned(reply);
    uint32_t percent = 0;
    int recent = 0;
    sd_bus_message_read(reply, "(ub)", &percent, &recent);
    return percent;
  }

  std::string Text(const char* interface, const char* property) {
    SdBusError error;
    char* value = nullptr;
    if (sd_bus_get_property_string(client_.get(), kModemManagerName, kModemPath, interface, property, error.get(),
                                   &value) < 0) {
      return "(" + std::string(error.message()) + ")";
    }
    std::string text(value);
    ::free(value);
    return text;
  }

  testing_support::TempDir dir_{"vombel-mm"};
  std::unique_ptr<testing_support::PrivateBus> bus_;
  UniqueFd console_;
  std::unique_ptr<SpawnedProgram> card_;
  std::unique_ptr<SpawnedProgram> socat_;
  std::unique_ptr<SpawnedProgram> modem_manager_;
  std::unique_ptr<ModemManagerLink> link_;
  SdBus client_;
  std::string pty_;
  std::string socket_;
  std::string log_;
};

TEST_F(RealModemManagerTest, BringsTheStandardCardUpToRegistered) {
  ASSERT_TRUE(WaitUntil(10s, [this] { return ModemState() >= kStateDisabled; }))
      << "no modem object; ModemManager's log: " << log_;
  // ModemManager closes the port after probing and opens it again to enable
  // the modem; socat serves each connection with a child of its own. Two
  // children on the pseudo-terminal at once would share out the card's
  // answers between them, so enable only once the first has gone.
  ASSERT_TRUE(WaitUntil(5s, [this] { return SocatHolders() == 0; }))
      << "the probing connection still holds " << pty_;
  SdBusError error;
  sd_bus_message* reply = nullptr;
  sd_bus_message* call = nullptr;
  ASSERT_GE(sd_bus_message_new_method_call(client_.get(), &call, kModemManagerName, kModemPath, kModem, "Enable"),
            0);
  SdBusMessage owned_call(call);
  ASSERT_GE(sd_bus_message_append(call, "b", 1), 0);
  ASSERT_GE(sd_bus_call(client_.get(), call, 10'000'000, error.get(), &reply), 0)
      << error.name() << ": " << error.message();
  SdBusMessage owned_reply(reply);
  ASSERT_TRUE(WaitUntil(10s, [this] { return ModemState() >= kStateRegistered; }))
      << "state " << ModemState() << "; ModemManager's log: " << log_;

  // An enabled modem keeps its port: the card's line is socat's now.
  EXPECT_EQ(SocatHolders(), 1) << "socat not seen holding " << pty_;
  EXPECT_EQ(Text(kModem, "Manufacturer"), "Vombel");
  EXPECT_EQ(Text(kModem, "Model"), "VSIM LTE Modem");
  EXPECT_EQ(Text(kModem3gpp, "Imei"), "358709050123456");
  EXPECT_TRUE(WaitUntil(5s, [this] { return !Text(kModem3gpp, "OperatorName").empty(); }));
  EXPECT_EQ(Text(kModem3gpp, "OperatorName"), "Vombel Net");
  EXPECT_EQ(Text(kModem3gpp, "OperatorCode"), "26299");
  // ModemManager polls the signal level after the registration: it may come
  // a moment after the state.
  uint32_t percent = 0;
  EXPECT_TRUE(WaitUntil(5s, [&] { return (percent = SignalPercent()) > 0; })) << "no signal level";
  EXPECT_LE(percent, 100u);
}

// Without a PolicyKit authority, ModemManager refuses every inhibition: the
// "present and refusing" case as the program meets it. The uid is the one
// ModemManager reports for the port.
TEST_F(RealModemManagerTest, RefusesTheInhibitionWithoutAnAuthority) {
  std::string uid;
  ASSERT_TRUE(WaitUntil(10s, [&] { return !(uid = link_->DeviceOfPort(socket_)).empty(); }))
      << "ModemManager reports no modem on " << socket_;
  EXPECT_EQ(uid, std::string("/virtual/") + kProfile);
  EXPECT_EQ(link_->DeviceOfPort("/dev/ttyUSB9"), "");

  Inhibited got = link_->Inhibit(uid);
  EXPECT_EQ(got.result.status, InhibitStatus::kRefused)
      << InhibitStatusName(got.result.status) << ": " << got.result.error_name << ": " << got.result.error_message;
  EXPECT_NE(got.result.error_message.find("PolicyKit"), std::string::npos) << got.result.error_message;
  EXPECT_FALSE(got.inhibition);

}

}  // namespace
}  // namespace platform
