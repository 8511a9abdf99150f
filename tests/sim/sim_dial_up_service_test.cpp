// The simulated dial-up service dialling a simulated card found in a
// simulated device tree by its modem's name, on the virtual clock: the
// stages, the link's adapter and traffic, its ends, and the faults a real
// dial meets.
#include "platform/sim_dial_up_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/device_tree.h"
#include "platform/serial_port.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_ip_helper.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "sim/sim_card_builder.h"
#include "tests/support/eventually.h"

namespace {

using platform::SimDialUpService;
using sim::CardKind;
using testing_support::Eventually;
using Stage = std::pair<uint32_t, uint32_t>;  // state, error

template <size_t N>
void Put(char16_t (&field)[N], std::u16string_view text) {
  std::copy(text.begin(), text.end(), field);
  field[text.size()] = u'\0';
}

// What the dial callback was told, in order.
class Stages {
 public:
  platform::RasDialFunc1 Callback() {
    return [this](platform::HRASCONN, uint32_t state, uint32_t error) {
      std::function<void()> then;
      {
        std::lock_guard lock(mutex_);
        seen_.emplace_back(state, error);
        then = on_error_ && error != 0 ? on_error_ : nullptr;
      }
      if (then) then();
    };
  }
  // Runs on the service's thread after a stage with an error was recorded.
  void OnError(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    on_error_ = std::move(action);
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    seen_.clear();
  }
  std::vector<Stage> Seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  bool Saw(uint32_t state) const {
    for (const Stage& s : Seen()) {
      if (s.first == state) return true;
    }
    return false;
  }
  bool SawError() const {
    for (const Stage& s : Seen()) {
      if (s.second != 0) return true;
    }
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Stage> seen_;
  std::function<void()> on_error_;
};

const std::vector<Stage> kAllStages = {
    {platform::RASCS_OpenPort, 0},       {platform::RASCS_PortOpened, 0},
    {platform::RASCS_ConnectDevice, 0},  {platform::RASCS_DeviceConnected, 0},
    {platform::RASCS_AllDevicesConnected, 0}, {platform::RASCS_Authenticate, 0},
    {platform::RASCS_Authenticated, 0},  {platform::RASCS_Connected, 0},
};

// Sends "AT" as the device library does after it took the port back; the
// card must be in command mode with nothing left over in the line.
std::string AskAt(const std::string& path) {
  platform::SerialPort port;
  if (!port.Open(path)) return "cannot open: " + std::to_string(platform::GetLastError());
  platform::CommTimeouts timeouts;
  timeouts.read_interval_timeout = platform::kMaxDword;
  port.SetCommState(platform::Dcb{});
  port.SetCommTimeouts(timeouts);
  port.PurgeComm(platform::kPurgeRxClear);
  size_t n = 0;
  port.WriteFile("ATE0\r", 5, &n);
  std::string got;
  Eventually([&] {
    char buffer[64];
    size_t read = 0;
    if (port.ReadFile(buffer, sizeof buffer, &read)) got.append(buffer, read);
    return got.find("OK\r\n") != std::string::npos;
  });
  return got;
}

class SimDialUpServiceTest : public ::testing::Test {
 protected:
  SimDialUpServiceTest() {
    // Only the plugging thread sleeps (the insertion delays); the service
    // waits on the clock, which the tests move.
    clock_.SetSleepAdvances(true);
  }

  void Plug(const sim::SimCardBuilder& builder) {
    presence_ = builder.BuildIn(tree_);
    ASSERT_NE(presence_, nullptr);
    // The modem's friendly name, as card detection reads it for the entry.
    std::vector<platform::DEVINST> modems;
    ASSERT_EQ(tree_.PresentDevicesOfClass(platform::kDeviceClassModem, modems), 0u);
    ASSERT_EQ(modems.size(), 1u);
    platform::DevicePropertyValue name;
    ASSERT_EQ(tree_.GetProperty(modems[0], platform::DeviceProperty::FriendlyName, name), 0u);
    ASSERT_FALSE(name.texts.empty());
    modem_name_ = platform::Utf8ToUtf16(name.texts[0]);

    platform::RasEntry entry{};
    entry.dwSize = sizeof entry;
    Put(entry.szLocalPhoneNumber, u"*99***1#");
    Put(entry.szDeviceType, u"modem");
    Put(entry.szDeviceName, modem_name_);
    entry.dwfNetProtocols = platform::RASNP_Ip;
    entry.dwFramingProtocol = platform::RASFP_Ppp;
    ASSERT_EQ(service_.SetEntryProperties(u"", u"VLConnect", entry), 0u);
  }

  sim::SimCard& Card() { return presence_->Card(); }

  // For failure messages: the stages so far.
  std::string Seen() const {
    std::string text = "stages:";
    for (const Stage& s : stages_.Seen()) text += " " + std::to_string(s.first) + "/" + std::to_string(s.second);
    return text;
  }

  platform::RasDialParams Params(std::u16string_view user = u"web", std::u16string_view password = u"web") {
    platform::RasDialParams params{};
    params.dwSize = sizeof params;
    Put(params.szEntryName, u"VLConnect");
    Put(params.szUserName, user);
    Put(params.szPassword, password);
    return params;
  }

  platform::HRASCONN Dial(const platform::RasDialParams& params) {
    platform::HRASCONN handle = 0;
    EXPECT_EQ(service_.Dial(u"", params, stages_.Callback(), &handle), 0u);
    EXPECT_NE(handle, 0u);
    return handle;
  }

  // Lets the waits of `steps` pass as the service reaches them (each a wait
  // that nothing but time ends, so moving the clock cannot overtake an
  // answer on its way), until `done` holds.
  template <typename Predicate>
  bool Drive(Predicate done, std::vector<uint32_t> steps = {SimDialUpService::kStageMs}) {
    const auto deadline = std::chrono::steady_clock::now() + testing_support::kSafetyNet;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      bool moved = false;
      for (uint32_t step : steps) moved = moved || clock_.AdvanceIfWaitedFor(clock_.NowMs() + step);
      if (!moved) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  bool DialUntilConnected(platform::HRASCONN& handle, const platform::RasDialParams& params) {
    handle = Dial(params);
    return Drive([&] { return stages_.Saw(platform::RASCS_Connected) || stages_.SawError(); });
  }

  platform::RasConnStatus Status(platform::HRASCONN handle, uint32_t expected_rc = 0) {
    platform::RasConnStatus status{};
    status.dwSize = sizeof status;
    EXPECT_EQ(service_.GetConnectStatus(handle, status), expected_rc);
    return status;
  }

  platform::RasStats Statistics(platform::HRASCONN handle) {
    platform::RasStats stats{};
    stats.dwSize = sizeof stats;
    EXPECT_EQ(service_.GetConnectionStatistics(handle, stats), 0u);
    return stats;
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_tree_{tree_};
  platform::SimIpHelper ip_;
  std::unique_ptr<sim::SimPresence> presence_;
  std::u16string modem_name_;
  Stages stages_;
  SimDialUpService service_{ip_};  // hangs up before the card goes
};

TEST_F(SimDialUpServiceTest, DialsTheCardsModemMovesTrafficAndHangsUp) {
  for (CardKind kind : {CardKind::kMultiplexing3g, CardKind::kGprs}) {
    SCOPED_TRACE(std::string(sim::ClassOf(kind).db_name));
    stages_.Clear();
    Plug(sim::NewSimCard(kind));
    if (kind == CardKind::kGprs) {
      // The device library's own use of the one port ends before it dials.
      ASSERT_NE(AskAt(Card().ModemPortPath()).find("OK"), std::string::npos);
    }
    platform::HRASCONN handle = 0;
    ASSERT_TRUE(DialUntilConnected(handle, Params()));
    EXPECT_EQ(stages_.Seen(), kAllStages);
    EXPECT_TRUE(Card().Snapshot().data_call);

    EXPECT_EQ(Status(handle).rasconnstate, platform::RASCS_Connected);
    EXPECT_EQ(std::u16string(Status(handle).szDeviceName), modem_name_);
    EXPECT_EQ(std::u16string(Status(handle).szPhoneNumber), u"*99***1#") << "the entry's number";
    std::vector<platform::IpAdapterInfo> adapters;
    ASSERT_EQ(ip_.GetAdaptersInfo(adapters), 0u);
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_EQ(adapters[0].AdapterName, "ppp0");
    EXPECT_EQ(adapters[0].Type, platform::MIB_IF_TYPE_PPP);
    EXPECT_EQ(adapters[0].IpAddress, "10.64.12.34");
    platform::RasPppIp ip{};
    ip.dwSize = sizeof ip;
    ASSERT_EQ(service_.GetProjectionInfo(handle, platform::RASP_PppIp, ip), 0u);
    EXPECT_EQ(std::u16string(ip.szIpAddress), u"10.64.12.34");

    // Three echo intervals: three frames each way, counted on the adapter.
    EXPECT_EQ(Statistics(handle).dwConnectDuration, 0u);
    for (int i = 0; i < 3; ++i) clock_.AdvanceWhenWaiting(SimDialUpService::kEchoIntervalMs);
    ASSERT_TRUE(Eventually([&] { return Statistics(handle).dwFramesRcved == 3; }));
    const platform::RasStats stats = Statistics(handle);
    EXPECT_EQ(stats.dwFramesXmited, 3u);
    EXPECT_GT(stats.dwBytesXmited, 0u);
    EXPECT_GT(stats.dwBytesRcved, stats.dwBytesXmited) << "each reply is a little longer than its echo";
    EXPECT_EQ(stats.dwConnectDuration, 3 * SimDialUpService::kEchoIntervalMs);
    platform::IfRow row;
    ASSERT_EQ(ip_.GetIfEntry(adapters[0].Index, row), 0u);
    EXPECT_EQ(row.OutOctets, stats.dwBytesXmited);

    EXPECT_EQ(service_.HangUp(handle), 0u);
    EXPECT_FALSE(ip_.HasAdapter("ppp0"));
    EXPECT_FALSE(Card().Snapshot().data_call);
    Status(handle, platform::kErrorInvalidHandle);
    EXPECT_EQ(service_.HangUp(handle), platform::kErrorInvalidHandle);
    EXPECT_EQ(stages_.Seen(), kAllStages) << "a hang-up is not reported";
    // The port is free and the card back in command mode with a clean line.
    EXPECT_EQ(AskAt(Card().ModemPortPath()), kind == CardKind::kGprs ? "\r\nOK\r\n" : "ATE0\r\r\nOK\r\n")
        << "the one-port card's echo went off before the dial";

    const platform::HRASCONN next = Dial(Params());
    EXPECT_GT(next, handle) << "handles are not reused";
    EXPECT_EQ(service_.HangUp(next), 0u);
    presence_.reset();
  }
}

TEST_F(SimDialUpServiceTest, FailuresReachTheCallbackInTheirStage) {
  struct Row {
    const char* name;
    CardKind kind;
    std::function<void(sim::SimCardBuilder&)> card;
    std::u16string password;
    uint32_t stage;
    uint32_t error;
    uint32_t waited_ms = 0;  // a wait that runs out
  };
  const Row rows[] = {
      {"not registered for packet data", CardKind::kMultiplexing3g, [](auto& c) { c.NotRegistered(); }, u"web",
       platform::RASCS_ConnectDevice, platform::kRasErrorFromDevice},
      {"the dial string refused", CardKind::kMultiplexing3g,
       [](auto& c) { c.WithFault("D", sim::Fault{sim::FaultKind::kError, 0, false}); }, u"web",
       platform::RASCS_ConnectDevice, platform::kRasErrorFromDevice},
      {"the dial string unanswered", CardKind::kMultiplexing3g,
       [](auto& c) { c.WithFault("D", sim::Fault{sim::FaultKind::kSilent, 0, false}); }, u"web",
       platform::RASCS_ConnectDevice, platform::kRasErrorNoAnswer, SimDialUpService::kDialAnswerMs},
      {"the login refused", CardKind::kGprs,
       [](auto& c) {
         c.Change([](sim::CardState& s) {
           s.dial_up_accepts_any = false;
           s.dial_up_user = "web";
           s.dial_up_password = "secret";
         });
       },
       u"wrong", platform::RASCS_Authenticate, platform::kRasErrorAuthenticationFailure},
      {"no usable address", CardKind::kMultiplexing3g,
       [](auto& c) { c.Change([](sim::CardState& s) { s.dial_up_address = "0.0.0.0"; }); }, u"web",
       platform::RASCS_Authenticated, platform::kRasErrorProtocolNotConfigured},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    stages_.Clear();
    sim::SimCardBuilder builder = sim::NewSimCard(row.kind);
    row.card(builder);
    Plug(builder);
    const platform::HRASCONN handle = Dial(Params(u"web", row.password));
    std::vector<uint32_t> steps = {SimDialUpService::kStageMs};
    if (row.waited_ms) steps.push_back(row.waited_ms);
    ASSERT_TRUE(Drive([&] { return stages_.SawError(); }, steps)) << Seen();
    ASSERT_TRUE(Eventually([&] { return Status(handle).rasconnstate == platform::RASCS_Disconnected; }));
    EXPECT_EQ(stages_.Seen().back(), Stage(row.stage, row.error));
    EXPECT_EQ(Status(handle).dwError, row.error);
    EXPECT_FALSE(ip_.HasAdapter("ppp0"));
    EXPECT_FALSE(Card().Snapshot().data_call) << "the card left the call";
    EXPECT_EQ(service_.HangUp(handle), 0u);
    presence_.reset();
  }
}

TEST_F(SimDialUpServiceTest, PortHeldByTheDeviceLibrary) {
  Plug(sim::NewSimCard(CardKind::kGprs));
  platform::SerialPort held;
  ASSERT_TRUE(held.Open(Card().AtPortPath()));
  const platform::HRASCONN handle = Dial(Params());
  ASSERT_TRUE(Drive([&] { return stages_.SawError(); }));
  EXPECT_EQ(stages_.Seen(), (std::vector<Stage>{{platform::RASCS_OpenPort, 0},
                                                {platform::RASCS_OpenPort, platform::kRasErrorPortNotAvailable}}));
  EXPECT_EQ(service_.HangUp(handle), 0u);
}

TEST_F(SimDialUpServiceTest, NoEntryOrNoModemKeepsTheDialFromStarting) {
  Plug(sim::NewSimCard());
  platform::HRASCONN handle = 7;
  platform::RasDialParams params = Params();
  Put(params.szEntryName, u"Other");
  EXPECT_EQ(service_.Dial(u"", params, stages_.Callback(), &handle), platform::kRasErrorCannotFindPhonebookEntry);
  EXPECT_EQ(handle, 0u);
  params = Params();
  params.dwSize = 1000;
  EXPECT_EQ(service_.Dial(u"", params, stages_.Callback(), &handle), platform::kRasErrorInvalidSize);
  presence_->Pull();
  EXPECT_EQ(service_.Dial(u"", Params(), stages_.Callback(), &handle), platform::kRasErrorDeviceNotFound);
  EXPECT_TRUE(stages_.Seen().empty());
}

TEST_F(SimDialUpServiceTest, LinkEndsByItself) {
  struct Row {
    const char* name;
    std::function<void(sim::SimPresence&)> end;
  };
  const Row rows[] = {
      {"the network drops the call", [](sim::SimPresence& p) { p.Card().DropDataCall(); }},
      {"the card is pulled", [](sim::SimPresence& p) { p.Pull(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    stages_.Clear();
    Plug(sim::NewSimCard());
    platform::HRASCONN handle = 0;
    ASSERT_TRUE(DialUntilConnected(handle, Params()));
    clock_.AdvanceWhenWaiting(SimDialUpService::kEchoIntervalMs);
    ASSERT_TRUE(ip_.HasAdapter("ppp0"));
    row.end(*presence_);
    ASSERT_TRUE(Eventually([&] { return stages_.Seen().size() == kAllStages.size() + 1; }));
    EXPECT_EQ(stages_.Seen().back(), Stage(platform::RASCS_Disconnected, platform::kRasErrorPortDisconnected));
    EXPECT_FALSE(ip_.HasAdapter("ppp0"));
    const platform::RasConnStatus status = Status(handle);
    EXPECT_EQ(status.rasconnstate, platform::RASCS_Disconnected);
    EXPECT_EQ(status.dwError, platform::kRasErrorPortDisconnected);
    platform::RasPppIp ip{};
    ip.dwSize = sizeof ip;
    EXPECT_EQ(service_.GetProjectionInfo(handle, platform::RASP_PppIp, ip), platform::kRasErrorProtocolNotConfigured);
    EXPECT_EQ(Statistics(handle).dwConnectDuration, SimDialUpService::kEchoIntervalMs) << "counted until the end";
    EXPECT_EQ(service_.HangUp(handle), 0u);
    presence_.reset();
  }
}

TEST_F(SimDialUpServiceTest, HangUpWhileDialling) {
  Plug(sim::NewSimCard());
  platform::RasDialParams params = Params();
  Put(params.szPhoneNumber, u"*99#");  // instead of the entry's number
  const platform::HRASCONN handle = Dial(params);
  ASSERT_TRUE(Drive([&] { return stages_.Saw(platform::RASCS_DeviceConnected); }));
  ASSERT_TRUE(Card().Snapshot().data_call);
  EXPECT_EQ(std::u16string(Status(handle).szPhoneNumber), u"*99#");
  EXPECT_EQ(service_.HangUp(handle), 0u);
  EXPECT_FALSE(Card().Snapshot().data_call) << "the card was taken out of the call";
  EXPECT_EQ(stages_.Seen().back(), Stage(platform::RASCS_DeviceConnected, 0)) << "nothing after the hang-up";
  EXPECT_FALSE(ip_.HasAdapter("ppp0"));
  Status(handle, platform::kErrorInvalidHandle);
}

// The device library hangs up from inside the callback when a dial fails.
TEST_F(SimDialUpServiceTest, HangUpFromTheCallback) {
  Plug(sim::NewSimCard().NotRegistered());
  platform::HRASCONN handle = 0;
  std::promise<uint32_t> hung_up;
  stages_.OnError([&] { hung_up.set_value(service_.HangUp(handle)); });
  handle = Dial(Params());
  ASSERT_TRUE(Drive([&] { return stages_.SawError(); }));
  EXPECT_EQ(hung_up.get_future().get(), 0u);
  Status(handle, platform::kErrorInvalidHandle);
}

TEST_F(SimDialUpServiceTest, PhonebookEntries) {
  platform::RasEntry entry{};
  entry.dwSize = sizeof entry;
  Put(entry.szLocalPhoneNumber, u"*99#");
  struct Row {
    std::u16string name;
    uint32_t rc;
  } names[] = {
      {u"VLConnect", 0},
      {std::u16string(256, u'x'), 0},
      {std::u16string(257, u'x'), platform::kErrorInvalidName},
      {u"", platform::kErrorInvalidName},
      {u".hidden", platform::kErrorInvalidName},
      {u"a/b", platform::kErrorInvalidName},
      {u"a\\b", platform::kErrorInvalidName},
      {u"tab\there", platform::kErrorInvalidName},
  };
  for (const Row& row : names) {
    SCOPED_TRACE(platform::Utf16ToUtf8(row.name));
    EXPECT_EQ(service_.ValidateEntryName(u"", row.name), row.rc);
    EXPECT_EQ(service_.SetEntryProperties(u"", row.name, entry), row.rc);
    if (row.rc == 0) {
      EXPECT_EQ(service_.ValidateEntryName(u"", row.name), platform::kErrorAlreadyExists);
    }
  }
  EXPECT_EQ(service_.ValidateEntryName(u"/other/phonebook", u"VLConnect"), 0u) << "phonebooks are apart";
  platform::RasEntry read{};
  read.dwSize = sizeof read;
  ASSERT_EQ(service_.GetEntryProperties(u"", u"VLConnect", read), 0u);
  EXPECT_EQ(std::u16string(read.szLocalPhoneNumber), u"*99#");
  read.dwSize = 4;
  EXPECT_EQ(service_.GetEntryProperties(u"", u"VLConnect", read), platform::kRasErrorInvalidSize);
  EXPECT_EQ(service_.SetEntryProperties(u"", u"VLConnect", read), platform::kRasErrorInvalidSize);
  EXPECT_EQ(service_.DeleteEntry(u"", u"VLConnect"), 0u);
  EXPECT_EQ(service_.DeleteEntry(u"", u"VLConnect"), platform::kRasErrorCannotFindPhonebookEntry);
  read.dwSize = sizeof read;
  EXPECT_EQ(service_.GetEntryProperties(u"", u"VLConnect", read), platform::kRasErrorCannotFindPhonebookEntry);
}

}  // namespace
