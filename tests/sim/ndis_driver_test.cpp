// The simulated cards' WWAN network driver, asked as the library asks it: on
// the NDIS control device the tree offers, and on the stack 3 card's
// application port through a serial port.
#include "sim/ndis_driver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_ip_helper.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"
#include "platform/wwan_ndis.h"
#include "sim/sim_card_builder.h"
#include "tests/support/eventually.h"

namespace platform {

// Found by argument-dependent lookup from the assertions below.
bool operator==(const NdisStateRecord& a, const NdisStateRecord& b) {
  return a.state == b.state && a.reason == b.reason;
}
void PrintTo(const NdisStateRecord& record, std::ostream* out) {
  *out << "(" << record.state << ", " << record.reason << ")";
}

}  // namespace platform

namespace {

using platform::NdisStateRecord;
using sim::CardKind;
using sim::NdisDriver;
using sim::NdisPort;
using testing_support::Eventually;

constexpr std::u16string_view kNdisDevice = u"\\\\.\\VLNDIS0";
constexpr uint32_t kStepMs = NdisDriver::kDefaultConnectMs / 4;

std::vector<uint8_t> ConnectRequest(NdisPort port, const std::string& user = "", const std::string& password = "") {
  const bool control = port == NdisPort::kControlDevice;
  std::vector<uint8_t> bytes(control ? platform::kNdisConnectRequestSize : platform::kBroadcomNdisConnectRequestSize);
  const std::string_view dial = control ? sim::kNdisControlDialString : sim::kNdisPortDialString;
  std::memcpy(bytes.data(), dial.data(), dial.size());
  std::memcpy(bytes.data() + platform::kNdisUserNameOffset, user.data(), user.size());
  std::memcpy(bytes.data() + platform::kNdisPasswordOffset, password.data(), password.size());
  return bytes;
}

// One request on an open device; `out` holds what came back.
uint32_t Ask(platform::DeviceFile& file, uint32_t code, const std::vector<uint8_t>& input = {}, size_t output = 0,
             std::vector<uint8_t>* out = nullptr) {
  std::vector<uint8_t> buffer(output);
  uint32_t returned = 0;
  const uint32_t rc = file.IoControl(code, input, buffer, returned);
  buffer.resize(returned);
  if (out) *out = buffer;
  return rc;
}

NdisStateRecord StateOf(platform::DeviceFile& file) {
  std::vector<uint8_t> out;
  NdisStateRecord record{99, 99};
  if (Ask(file, platform::IOCTL_VL_NDIS_GET_STATE, {}, 8, &out) == 0 && out.size() == 8) {
    std::memcpy(&record, out.data(), 8);
  }
  return record;
}

platform::NdisStatisticsRecord StatisticsOf(platform::DeviceFile& file) {
  std::vector<uint8_t> out;
  platform::NdisStatisticsRecord record{};
  if (Ask(file, platform::IOCTL_VL_NDIS_GET_STATISTICS, {}, 24, &out) == 0) std::memcpy(&record, out.data(), 24);
  return record;
}

std::vector<NdisStateRecord> Records(const NdisDriver& driver) {
  std::vector<NdisStateRecord> records;
  for (const auto& change : driver.History()) records.push_back(change.record);
  return records;
}

bool Failed(const NdisDriver& driver) {
  for (const auto& record : Records(driver)) {
    if (record.state == platform::kNdisStateFailed) return true;
  }
  return false;
}

// Sends an AT command on `path` and returns what came back up to its final
// result.
std::string AskAt(const std::string& path, const std::string& command) {
  platform::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  if (!fd) return "cannot open " + path;
  termios raw{};
  ::tcgetattr(fd.get(), &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(fd.get(), TCSANOW, &raw);
  const std::string line = command + "\r";
  if (::write(fd.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "cannot write";
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + testing_support::kSafetyNet;
  while (got.find("OK\r\n") == std::string::npos && got.find("ERROR") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n > 0) got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

class NdisDriverTest : public ::testing::Test {
 protected:
  NdisDriverTest() : scoped_clock_(clock_), scoped_tree_(tree_) {
    clock_.SetSleepAdvances(true);  // the insertion delays
  }

  void PlugIn(CardKind kind, const std::function<void(sim::CardState&)>& change = [](sim::CardState&) {}) {
    present_ = sim::NewSimCard(kind).Change(change).BuildIn(tree_, &adapters_);
    ASSERT_NE(present_, nullptr);
    driver_ = present_->Card().Ndis();
    ASSERT_NE(driver_, nullptr);
  }
  std::unique_ptr<platform::DeviceFile> OpenNdis() {
    std::unique_ptr<platform::DeviceFile> file;
    EXPECT_EQ(tree_.OpenDevice(kNdisDevice, platform::kDeviceAccessNone, file), 0u);
    return file;
  }
  // Lets the driver's next event, `ms` from now, happen, and waits until it
  // shows in `done`.
  template <typename Done>
  bool Next(uint32_t ms, Done done) {
    clock_.AdvanceWhenWaiting(ms);
    return Eventually(done);
  }
  bool NextState(platform::DeviceFile& file, uint32_t ms, NdisStateRecord want) {
    return Next(ms, [&] { return StateOf(file) == want; });
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_;
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_;
  platform::SimIpHelper adapters_;
  std::unique_ptr<sim::SimPresence> present_;
  NdisDriver* driver_ = nullptr;
};

TEST_F(NdisDriverTest, RequestsMustHaveTheSizesOfTheirPort) {
  struct Row {
    NdisPort port;
    uint32_t code;
    size_t input;
    size_t output;
    uint32_t rc;
    uint32_t returned;
  };
  constexpr NdisPort C = NdisPort::kControlDevice;
  constexpr NdisPort P = NdisPort::kApplicationPort;
  const Row rows[] = {
      {C, platform::IOCTL_VL_NDIS_GPRS_CONNECT, 225, 0, 0, 0},
      {C, platform::IOCTL_VL_NDIS_GPRS_CONNECT, 225, 8, 0, 0},  // room to spare: nothing written
      {C, platform::IOCTL_VL_NDIS_GPRS_CONNECT, 228, 0, 87, 0},
      {C, platform::IOCTL_VL_NDIS_GPRS_CONNECT, 224, 0, 87, 0},
      {C, platform::IOCTL_VL_NDIS_GPRS_DISCONNECT, 0, 0, 0, 0},
      {C, platform::IOCTL_VL_NDIS_GPRS_DISCONNECT, 4, 0, 87, 0},
      {C, platform::IOCTL_VL_NDIS_GET_STATE, 0, 8, 0, 8},
      {C, platform::IOCTL_VL_NDIS_GET_STATE, 0, 7, 122, 0},
      {C, platform::IOCTL_VL_NDIS_GET_STATE, 8, 8, 87, 0},
      {C, platform::IOCTL_VL_NDIS_GET_STATISTICS, 0, 24, 0, 24},
      {C, platform::IOCTL_VL_NDIS_GET_STATISTICS, 0, 23, 122, 0},
      {C, platform::IOCTL_VL_NDIS_SET_CONFIG, 3813, 0, 0, 0},
      {C, platform::IOCTL_VL_NDIS_SET_CONFIG, 3812, 0, 87, 0},
      {C, platform::IOCTL_VL_NDIS_GET_CONFIG, 0, 3813, 0, 3813},
      {C, platform::IOCTL_VL_NDIS_GET_CONFIG, 0, 3812, 122, 0},
      {C, platform::IOCTL_VL_QUERY_NET_CFG_INSTANCE_ID, 0, 64, 1, 0},  // the control device's own, not the driver's
      {P, platform::IOCTL_VL_NDIS_GPRS_CONNECT, 228, 8, 0, 8},
      {P, platform::IOCTL_VL_NDIS_GPRS_CONNECT, 228, 7, 122, 0},
      {P, platform::IOCTL_VL_NDIS_GPRS_CONNECT, 225, 8, 87, 0},
      {P, platform::IOCTL_VL_NDIS_GPRS_DISCONNECT, 0, 8, 0, 8},
      {P, platform::IOCTL_VL_NDIS_GPRS_DISCONNECT, 0, 0, 122, 0},
      {P, platform::IOCTL_VL_NDIS_GET_STATE, 0, 8, 0, 8},
      {P, platform::IOCTL_VL_NDIS_GET_CONFIG, 0, 3813, 0, 3813},
      {P, platform::IOCTL_VL_QUERY_NET_CFG_INSTANCE_ID, 0, 64, 1, 0},
      {P, 0x1B2844, 0, 0, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.code) + (row.port == C ? " control " : " port ") + std::to_string(row.input) +
                 "/" + std::to_string(row.output));
    auto driver = std::make_shared<NdisDriver>(NdisDriver::Options{row.port, false, false}, NdisDriver::CardLink{});
    driver->Plug();
    const auto handler = driver->Handler();
    std::vector<uint8_t> input(row.input);
    if (row.code == platform::IOCTL_VL_NDIS_GPRS_CONNECT && row.input == ConnectRequest(row.port).size()) {
      input = ConnectRequest(row.port);
    }
    std::vector<uint8_t> output(row.output);
    uint32_t returned = 99;
    EXPECT_EQ(handler(row.code, input, output, returned), row.rc);
    EXPECT_EQ(returned, row.returned);
  }

  // Each port wants its own dial string.
  auto control = std::make_shared<NdisDriver>(NdisDriver::Options{C, false, false}, NdisDriver::CardLink{});
  control->Plug();
  std::vector<uint8_t> wrong = ConnectRequest(C);
  std::memcpy(wrong.data(), "ATD*99#\0\0\0\0\0", 12);
  uint32_t returned = 0;
  EXPECT_EQ(control->Handler()(platform::IOCTL_VL_NDIS_GPRS_CONNECT, wrong, {}, returned), 87u);
  EXPECT_EQ(control->State(), (NdisStateRecord{0, 0}));
}

TEST_F(NdisDriverTest, ACallGoesThroughItsStagesGetsItsAddressLaterCountsTrafficAndEnds) {
  ASSERT_NO_FATAL_FAILURE(PlugIn(CardKind::kMultiplexing3g));
  auto ndis = OpenNdis();
  ASSERT_TRUE(adapters_.HasAdapter("wwan0"));
  const uint64_t start = clock_.NowMs();
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_CONNECT, ConnectRequest(NdisPort::kControlDevice)), 0u);
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{0, 1}));
  for (uint32_t stage : {3u, 4u, 5u}) ASSERT_TRUE(NextState(*ndis, kStepMs, {stage, 0}));
  ASSERT_TRUE(NextState(*ndis, kStepMs, {1, 0}));

  // Connected, and for a moment without an address.
  std::vector<platform::IpAdapterInfo> infos;
  ASSERT_EQ(adapters_.GetAdaptersInfo(infos), 0u);
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0].AdapterName, "wwan0");
  EXPECT_TRUE(infos[0].DhcpEnabled);
  EXPECT_EQ(infos[0].IpAddress, "0.0.0.0");
  ASSERT_TRUE(Next(NdisDriver::kDefaultAddressMs, [&] { return adapters_.Address("wwan0") == NdisDriver::kAddress; }));
  ASSERT_TRUE(Eventually([&] { return StatisticsOf(*ndis).bytes_transmitted == NdisDriver::kBytesSentPerTick; }));
  ASSERT_TRUE(Next(NdisDriver::kTrafficTickMs,
                   [&] { return StatisticsOf(*ndis).bytes_received == 2 * NdisDriver::kBytesReceivedPerTick; }));
  EXPECT_EQ(StatisticsOf(*ndis).bytes_transmitted, 2 * NdisDriver::kBytesSentPerTick);
  EXPECT_EQ(StatisticsOf(*ndis).duration, 2000u);
  std::vector<platform::IfRow> rows;
  ASSERT_EQ(adapters_.GetIfTable(rows), 0u);
  EXPECT_EQ(rows[0].OutOctets, 2u * NdisDriver::kBytesSentPerTick);
  EXPECT_EQ(rows[0].InOctets, 2u * NdisDriver::kBytesReceivedPerTick);

  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_DISCONNECT), 0u);
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{6, 0}));
  EXPECT_EQ(adapters_.Address("wwan0"), "");
  ASSERT_TRUE(NextState(*ndis, NdisDriver::kDisconnectMs, {0, 0}));
  EXPECT_EQ(StatisticsOf(*ndis).duration, 2000u);  // of the call that ended

  std::vector<std::pair<uint64_t, NdisStateRecord>> seen;
  for (const auto& change : driver_->History()) seen.emplace_back(change.at - start, change.record);
  const std::vector<std::pair<uint64_t, NdisStateRecord>> want = {
      {0, {0, 1}},    {500, {3, 0}},  {1000, {4, 0}}, {1500, {5, 0}},
      {2000, {1, 0}}, {4000, {6, 0}}, {4300, {0, 0}},
  };
  EXPECT_EQ(seen, want);
}

TEST_F(NdisDriverTest, ACallTheCardCannotMakeFailsWithItsReason) {
  struct Row {
    const char* what;
    std::function<void(sim::CardState&)> card;
    std::function<void(NdisDriver&)> driver;
    std::string user, password;
    uint32_t reason;  // 0: the call goes on
  };
  const auto require = [](NdisDriver& d) { d.RequireCredentials("web", "secret"); };
  const auto nothing = [](NdisDriver&) {};
  const auto as_is = [](sim::CardState&) {};
  const Row rows[] = {
      {"no PS registration", [](sim::CardState& s) { s.network_stat = 0; }, nothing, "", "", 33},
      {"no APN", [](sim::CardState& s) { s.contexts[1].apn.clear(); }, nothing, "", "", 27},
      {"no context", [](sim::CardState& s) { s.contexts.clear(); }, nothing, "", "", 27},
      {"wrong password", as_is, require, "web", "wrong", 29},
      {"no credentials", as_is, require, "", "", 29},
      {"the request's credentials", as_is, require, "web", "secret", 0},
      {"those of AT$QCPDPP",
       [](sim::CardState& s) {
         s.auth_type = 1;
         s.auth_user = "web";
         s.auth_password = "secret";
       },
       require, "", "", 0},
      {"those of the configuration",
       as_is,
       [](NdisDriver& d) {
         d.RequireCredentials("web", "secret");
         NdisDriver::ConfigRecord config = d.Config();
         std::memcpy(config.data() + platform::kNdisUserNameOffset, "web", 3);
         std::memcpy(config.data() + platform::kNdisPasswordOffset, "secret", 6);
         d.SetConfig(config);
       },
       "", "", 0},
      {"told to", as_is, [](NdisDriver& d) { d.FailNextConnect(31); }, "", "", 31},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    present_.reset();
    ASSERT_NO_FATAL_FAILURE(PlugIn(CardKind::kMultiplexing3g, row.card));
    row.driver(*driver_);
    auto ndis = OpenNdis();
    ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_CONNECT,
                  ConnectRequest(NdisPort::kControlDevice, row.user, row.password)),
              0u);
    ASSERT_TRUE(NextState(*ndis, kStepMs, {3, 0}));
    // The checks run as the call leaves stage 3.
    const NdisStateRecord after = row.reason == 0 ? NdisStateRecord{4, 0} : NdisStateRecord{7, row.reason};
    ASSERT_TRUE(NextState(*ndis, kStepMs, after));
  }
  // A failed call stays failed until a disconnect clears it.
  auto ndis = OpenNdis();
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_DISCONNECT), 0u);
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{0, 0}));
  EXPECT_EQ(driver_->GetStatus().next_failure, std::nullopt);  // told once
}

TEST_F(NdisDriverTest, DroppedCallsGoSilently) {
  ASSERT_NO_FATAL_FAILURE(PlugIn(CardKind::kMultiplexing3g));
  auto ndis = OpenNdis();
  const auto connect = [&] {
    return Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_CONNECT, ConnectRequest(NdisPort::kControlDevice));
  };

  // While connecting.
  ASSERT_EQ(connect(), 0u);
  ASSERT_TRUE(NextState(*ndis, kStepMs, {3, 0}));
  EXPECT_TRUE(driver_->DropCall());
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{0, 0}));
  EXPECT_FALSE(driver_->DropCall());

  // While connected: the network ends the card's data call.
  driver_->SetConnectDelay(0);
  driver_->SetAddressDelay(0);
  ASSERT_EQ(connect(), 0u);
  ASSERT_TRUE(Eventually([&] { return adapters_.Address("wwan0") == NdisDriver::kAddress; }));
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{1, 0}));
  present_->Card().DropDataCall();
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{0, 0}));
  EXPECT_EQ(adapters_.Address("wwan0"), "");

  // Out of coverage: gone with the next second of traffic.
  ASSERT_EQ(connect(), 0u);
  ASSERT_TRUE(Eventually([&] { return StateOf(*ndis) == NdisStateRecord{1, 0}; }));
  present_->Card().SetRegistration(0);
  ASSERT_TRUE(NextState(*ndis, NdisDriver::kTrafficTickMs, {0, 0}));
  EXPECT_EQ(adapters_.Address("wwan0"), "");
  EXPECT_FALSE(Failed(*driver_));
}

TEST_F(NdisDriverTest, APulledCardsHandlesAnswerAccessDenied) {
  ASSERT_NO_FATAL_FAILURE(PlugIn(CardKind::kMultiplexing3g));
  auto ndis = OpenNdis();
  driver_->SetConnectDelay(0);
  driver_->SetAddressDelay(0);
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_CONNECT, ConnectRequest(NdisPort::kControlDevice)), 0u);
  ASSERT_TRUE(Eventually([&] { return adapters_.Address("wwan0") == NdisDriver::kAddress; }));
  EXPECT_TRUE(driver_->GetStatus().running);

  present_->Pull();
  EXPECT_FALSE(adapters_.HasAdapter("wwan0"));
  EXPECT_FALSE(driver_->GetStatus().running);
  for (uint32_t code : {platform::IOCTL_VL_NDIS_GET_STATE, platform::IOCTL_VL_NDIS_GPRS_DISCONNECT,
                        platform::IOCTL_VL_QUERY_NET_CFG_INSTANCE_ID, 0x1B2844u}) {
    EXPECT_EQ(Ask(*ndis, code, {}, 64), platform::kErrorAccessDenied) << code;
  }

  // Plugged again: the old handle stays dead, a new one finds no call.
  ASSERT_TRUE(present_->Plug());
  EXPECT_TRUE(adapters_.HasAdapter("wwan0"));
  EXPECT_EQ(adapters_.Address("wwan0"), "");
  EXPECT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GET_STATE, {}, 8), platform::kErrorAccessDenied);
  auto fresh = OpenNdis();
  EXPECT_EQ(StateOf(*fresh), (NdisStateRecord{0, 0}));

  // The card and its driver gone altogether.
  present_.reset();
  EXPECT_EQ(Ask(*fresh, platform::IOCTL_VL_NDIS_GET_STATE, {}, 8), platform::kErrorAccessDenied);
  EXPECT_FALSE(adapters_.HasAdapter("wwan0"));
}

TEST_F(NdisDriverTest, TheStack3DriverAnswersOnTheApplicationPort) {
  ASSERT_NO_FATAL_FAILURE(PlugIn(CardKind::kStack3));
  EXPECT_EQ(driver_->options().port, NdisPort::kApplicationPort);
  std::unique_ptr<platform::DeviceFile> none;
  EXPECT_EQ(tree_.OpenDevice(kNdisDevice, platform::kDeviceAccessNone, none), platform::kErrorFileNotFound);

  platform::SerialPort port;
  ASSERT_TRUE(port.Open(tree_.DevicePath(u"\\\\.\\VLATP0")));
  const auto ask = [&](uint32_t code, const std::vector<uint8_t>& input, size_t output, NdisStateRecord* record) {
    std::vector<uint8_t> buffer(output);
    uint32_t returned = 0;
    if (!port.IoControl(code, input, buffer, &returned)) return platform::GetLastError();
    if (record && returned == 8) std::memcpy(record, buffer.data(), 8);
    return returned == output ? 0u : 0xFFFFu;
  };
  NdisStateRecord record{};
  ASSERT_EQ(ask(platform::IOCTL_VL_NDIS_GPRS_CONNECT, ConnectRequest(NdisPort::kApplicationPort), 8, &record), 0u);
  EXPECT_EQ(record, (NdisStateRecord{2, 1}));
  const auto state = [&] {
    NdisStateRecord now{99, 99};
    ask(platform::IOCTL_VL_NDIS_GET_STATE, {}, 8, &now);
    return now;
  };
  for (uint32_t stage : {3u, 4u, 5u, 1u}) {
    ASSERT_TRUE(Next(kStepMs, [&] { return state() == NdisStateRecord{stage, 0}; })) << stage;
  }
  ASSERT_TRUE(Next(NdisDriver::kDefaultAddressMs, [&] { return adapters_.Address("wwan0") == NdisDriver::kAddress; }));
  ASSERT_EQ(ask(platform::IOCTL_VL_NDIS_GPRS_DISCONNECT, {}, 8, &record), 0u);
  EXPECT_EQ(record, (NdisStateRecord{6, 0}));
  EXPECT_FALSE(Failed(*driver_));

  // The modem port has no driver behind it.
  platform::SerialPort modem;
  ASSERT_TRUE(modem.Open(present_->Card().ModemPortPath()));
  std::vector<uint8_t> buffer(8);
  EXPECT_FALSE(modem.IoControl(platform::IOCTL_VL_NDIS_GET_STATE, {}, buffer, nullptr));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidFunction);

  present_->Pull();
  EXPECT_EQ(ask(platform::IOCTL_VL_NDIS_GET_STATE, {}, 8, nullptr), platform::kErrorAccessDenied);
}

TEST_F(NdisDriverTest, TheCompositeCardsCallComesUpWithItsWanCall) {
  ASSERT_NO_FATAL_FAILURE(PlugIn(CardKind::kComposite));
  sim::SimCard& card = present_->Card();
  const std::string at = card.AtPortPath();
  auto ndis = OpenNdis();
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_CONNECT, ConnectRequest(NdisPort::kControlDevice)), 0u);
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{0, 1}));
  EXPECT_TRUE(driver_->GetStatus().armed);
  EXPECT_NE(AskAt(at, "AT_OWANCALL?").find("_OWANCALL: 1, 0"), std::string::npos);

  EXPECT_NE(AskAt(at, "AT_OWANCALL=1,1,1").find("OK"), std::string::npos);
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{3, 0}));
  EXPECT_NE(AskAt(at, "AT_OWANCALL?").find("_OWANCALL: 1, 2"), std::string::npos);
  for (uint32_t stage : {4u, 5u, 1u}) ASSERT_TRUE(NextState(*ndis, kStepMs, {stage, 0}));
  EXPECT_NE(AskAt(at, "AT_OWANCALL?").find("_OWANCALL: 1, 1"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return card.Snapshot().wan_state == 1; }));

  EXPECT_NE(AskAt(at, "AT_OWANCALL=1,0,1").find("OK"), std::string::npos);
  EXPECT_EQ(StateOf(*ndis), (NdisStateRecord{6, 0}));
  EXPECT_NE(AskAt(at, "AT_OWANCALL?").find("_OWANCALL: 1, 0"), std::string::npos);
  ASSERT_TRUE(NextState(*ndis, NdisDriver::kDisconnectMs, {0, 0}));

  // Out of coverage the WAN call fails, and so does the driver's call.
  card.SetRegistration(0);
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GPRS_CONNECT, ConnectRequest(NdisPort::kControlDevice)), 0u);
  EXPECT_NE(AskAt(at, "AT_OWANCALL=1,1,1").find("OK"), std::string::npos);
  ASSERT_TRUE(NextState(*ndis, kStepMs, {7, NdisDriver::kReasonNotSubscribed}));
  EXPECT_NE(AskAt(at, "AT_OWANCALL?").find("_OWANCALL: 1, 3"), std::string::npos);
}

TEST_F(NdisDriverTest, TheConfigurationRecordKeepsWhatWasWritten) {
  ASSERT_NO_FATAL_FAILURE(PlugIn(CardKind::kMultiplexing3g));
  auto ndis = OpenNdis();
  std::vector<uint8_t> config;
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GET_CONFIG, {}, platform::kNdisConfigSize, &config), 0u);
  const NdisDriver::ConfigRecord fresh = NdisDriver::InitialConfig();
  ASSERT_EQ(config, std::vector<uint8_t>(fresh.begin(), fresh.end()));
  // Work for the library's repair, and the driver's own bytes, none zero.
  EXPECT_EQ(driver_->CommandSlot(1).substr(0, 8), "AT+CREG?");
  EXPECT_EQ(driver_->CommandSlot(2), "AT+CGREG?^0,1~0,5~");
  for (size_t own : {size_t{0}, size_t{128}, size_t{209}, size_t{2016}, size_t{3812}}) EXPECT_NE(config[own], 0) << own;

  std::memcpy(config.data() + platform::kNdisUserNameOffset, "web", 3);
  const size_t slot2 = platform::kNdisConfigCommandOffset + 2 * platform::kNdisConfigCommandSize;
  std::memcpy(config.data() + slot2 + 18, "1,1~1,5~", 8);
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_SET_CONFIG, config), 0u);
  ndis.reset();

  // Reopened, and across a pull.
  present_->Pull();
  ASSERT_TRUE(present_->Plug());
  ndis = OpenNdis();
  std::vector<uint8_t> again;
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_GET_CONFIG, {}, platform::kNdisConfigSize, &again), 0u);
  EXPECT_EQ(again, config);
  EXPECT_EQ(driver_->CommandSlot(2), "AT+CGREG?^0,1~0,5~1,1~1,5~");
  EXPECT_TRUE(driver_->ConfigOwnBytesIntact());

  // A record built from zeros instead of the one read.
  std::vector<uint8_t> blank(platform::kNdisConfigSize);
  ASSERT_EQ(Ask(*ndis, platform::IOCTL_VL_NDIS_SET_CONFIG, blank), 0u);
  EXPECT_FALSE(driver_->ConfigOwnBytesIntact());
}

}  // namespace
