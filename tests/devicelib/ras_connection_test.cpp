// The dial-up connection against a scripted dial-up service, on simulated
// cards: the entry it keeps, the states its progress events and its monitor
// lead to, and the port of a card that cannot multiplex.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "devicelib/ras_connection.h"
#include "platform/dial_up.h"
#include "platform/serial_port.h"
#include "platform/sim_ip_helper.h"
#include "platform/win32_error.h"
#include "tests/devicelib/device_fixture.h"

namespace {

namespace ConnectionState = GSM::ConnectionState;
namespace DeviceState = GSM::DeviceState;
using sim::CardKind;
using testing_support::DeviceFixture;

std::u16string Text(const char16_t* field) { return field; }

// A dial-up service whose calls answer as the test says and whose progress
// the test fires, from a thread of its own as the real service does.
class ScriptedDialUpService final : public platform::DialUpService {
 public:
  uint32_t ValidateEntryName(std::u16string_view, std::u16string_view entry) override {
    std::lock_guard lock(mutex_);
    return entries_.contains(std::u16string(entry)) ? platform::kErrorAlreadyExists : 0;
  }
  uint32_t DeleteEntry(std::u16string_view, std::u16string_view entry) override {
    std::lock_guard lock(mutex_);
    ++deletes_;
    return entries_.erase(std::u16string(entry)) ? 0 : platform::kRasErrorCannotFindPhonebookEntry;
  }
  uint32_t GetEntryProperties(std::u16string_view, std::u16string_view entry, platform::RasEntry& out) override {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(std::u16string(entry));
    if (it == entries_.end()) return platform::kRasErrorCannotFindPhonebookEntry;
    out = it->second;
    return 0;
  }
  uint32_t SetEntryProperties(std::u16string_view, std::u16string_view entry,
                              const platform::RasEntry& image) override {
    std::lock_guard lock(mutex_);
    ++writes_;
    entries_[std::u16string(entry)] = image;
    return 0;
  }
  uint32_t Dial(std::u16string_view, const platform::RasDialParams& params, platform::RasDialFunc1 callback,
                platform::HRASCONN* connection) override {
    std::lock_guard lock(mutex_);
    ++dials_;
    dialled_entry_ = params.szEntryName;
    dialled_user_ = params.szUserName;
    callback_ = std::move(callback);
    *connection = ++last_handle_;
    live_ = *connection;
    return dial_result_;
  }
  uint32_t GetConnectStatus(platform::HRASCONN connection, platform::RasConnStatus& status) override {
    std::lock_guard lock(mutex_);
    if (connection != live_) return platform::kErrorInvalidHandle;
    status.rasconnstate = link_up_ ? platform::RASCS_Connected : platform::RASCS_Disconnected;
    return 0;
  }
  uint32_t HangUp(platform::HRASCONN connection) override {
    std::lock_guard lock(mutex_);
    ++hang_ups_;
    if (connection != live_) return platform::kErrorInvalidHandle;
    live_ = 0;
    link_up_ = false;
    return 0;
  }
  uint32_t GetConnectionStatistics(platform::HRASCONN connection, platform::RasStats& stats) override {
    std::lock_guard lock(mutex_);
    if (connection != live_) return platform::kErrorInvalidHandle;
    stats.dwBytesXmited = 1200;
    stats.dwBytesRcved = 34000;
    stats.dwConnectDuration = 5000;
    return 0;
  }
  uint32_t GetProjectionInfo(platform::HRASCONN connection, uint32_t, platform::RasPppIp& info) override {
    std::lock_guard lock(mutex_);
    if (connection != live_ || !link_up_) return platform::kRasErrorProtocolNotConfigured;
    std::u16string address = u"10.64.12.34";
    std::copy(address.begin(), address.end(), info.szIpAddress);
    return 0;
  }

  // Delivers one progress event on another thread and waits for it.
  void Fire(uint32_t state, uint32_t error = 0) {
    platform::RasDialFunc1 callback;
    platform::HRASCONN connection;
    {
      std::lock_guard lock(mutex_);
      callback = callback_;
      connection = live_;
      if (state == platform::RASCS_Connected && error == 0) link_up_ = true;
    }
    std::thread([&] { callback(connection, state, error); }).join();
  }
  // The link goes down on its own (the service's status turns Disconnected).
  void DropLink() {
    std::lock_guard lock(mutex_);
    link_up_ = false;
  }

  void SetDialResult(uint32_t error) {
    std::lock_guard lock(mutex_);
    dial_result_ = error;
  }
  void PutEntry(const std::u16string& name, const platform::RasEntry& entry) {
    std::lock_guard lock(mutex_);
    entries_[name] = entry;
  }
  platform::RasEntry Entry(const std::u16string& name) {
    std::lock_guard lock(mutex_);
    return entries_.at(name);
  }
  int Dials() {
    std::lock_guard lock(mutex_);
    return dials_;
  }
  int Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  int HangUps() {
    std::lock_guard lock(mutex_);
    return hang_ups_;
  }
  bool Live() {
    std::lock_guard lock(mutex_);
    return live_ != 0;
  }
  std::u16string DialledEntry() {
    std::lock_guard lock(mutex_);
    return dialled_entry_;
  }

 private:
  std::mutex mutex_;
  std::map<std::u16string, platform::RasEntry> entries_;
  platform::RasDialFunc1 callback_;
  platform::HRASCONN last_handle_ = 0;
  platform::HRASCONN live_ = 0;
  bool link_up_ = false;
  uint32_t dial_result_ = 0;
  int dials_ = 0;
  int writes_ = 0;
  int deletes_ = 0;
  int hang_ups_ = 0;
  std::u16string dialled_entry_;
  std::u16string dialled_user_;
};

class RasConnectionTest : public DeviceFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Initialize()); }

  GSM::Connection& Connection() { return *Device().CurrentConnection(); }
  int State() { return Device().GetConnectionState(); }
  bool StateBecomes(int state) {
    return PumpUntil([&] { return State() == state; });
  }
  // Connect, then the service's stages up to Connected.
  void ConnectAndComeUp() {
    ASSERT_EQ(Connection().Connect(u"web.vombel", nullptr, nullptr, 0), DV_S_OK);
    EXPECT_EQ(State(), ConnectionState::Connecting);
    service_.Fire(platform::RASCS_OpenPort);
    service_.Fire(platform::RASCS_Authenticated);
    EXPECT_EQ(State(), ConnectionState::Connecting);
    service_.Fire(platform::RASCS_Connected);
    ASSERT_TRUE(StateBecomes(ConnectionState::Connected));
  }

  ScriptedDialUpService service_;
  platform::ScopedDialUpService scoped_service_{service_};
};

TEST(RasEntryImage, HoldsTheCardsModemAndIsCorrectedOnlyWhereItDiffers) {
  platform::RasEntry entry = GSM::RasConnection::EntryImage(u"Vombel Modem");
  EXPECT_EQ(entry.dwSize, 4048u);
  EXPECT_EQ(entry.dwfOptions, 0x10118u);
  EXPECT_EQ(Text(entry.szLocalPhoneNumber), u"*99***1#");
  EXPECT_EQ(Text(entry.szDeviceType), u"modem");
  EXPECT_EQ(Text(entry.szDeviceName), u"Vombel Modem");
  EXPECT_EQ(entry.dwfNetProtocols, 4u);
  EXPECT_EQ(entry.dwFramingProtocol, 1u);
  EXPECT_EQ(entry.dwIdleDisconnectSeconds, 0xFFFFFFFFu);

  EXPECT_FALSE(GSM::RasConnection::CorrectEntry(entry, u"Vombel Modem"));
  EXPECT_TRUE(GSM::RasConnection::CorrectEntry(entry, u"Other Modem"));
  EXPECT_EQ(Text(entry.szDeviceName), u"Other Modem");
  // A name longer than the field is compared and stored at the field's width.
  const std::u16string long_name(200, u'm');
  EXPECT_TRUE(GSM::RasConnection::CorrectEntry(entry, long_name));
  EXPECT_EQ(Text(entry.szDeviceName), long_name.substr(0, 128));
  EXPECT_FALSE(GSM::RasConnection::CorrectEntry(entry, long_name));
}

TEST_F(RasConnectionTest, AMultiplexingCardConnectsAndDisconnectsWithItsPortInUse) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kTechnologySelection).Registered(1)));
  ASSERT_EQ(Device().CurrentConnectionKind(), GSM::ConnectionKind::Ras);
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  EXPECT_EQ(service_.DialledEntry(), u"VLConnect");
  EXPECT_TRUE(Device().IsOpen());
  EXPECT_EQ(Card().Snapshot().contexts.at(1).apn, "web.vombel");

  // Connecting again while up dials nothing.
  EXPECT_EQ(Connection().Connect(nullptr, nullptr, nullptr, 0), DV_E_CONNECTION_BUSY);
  EXPECT_EQ(service_.Dials(), 1);
  // The card still takes commands during the call.
  char16_t imsi[kDvNumberSize] = {};
  EXPECT_EQ(DvGetImsiNumber(imsi), DV_S_OK);

  uint32_t sent = 0, received = 0, duration = 0;
  ASSERT_EQ(Connection().GetStatistics(&sent, &received, &duration), DV_S_OK);
  EXPECT_EQ(received, 34000u);
  EXPECT_EQ(duration, 5000u);
  const uint32_t ppp = adapters_.AddAdapter("ppp0", platform::MIB_IF_TYPE_PPP, false);
  adapters_.SetAddress("ppp0", "10.64.12.34");
  uint32_t index = 0;
  ASSERT_EQ(Connection().GetIpInterfaceIndex(&index), DV_S_OK);
  EXPECT_EQ(index, ppp);

  ASSERT_EQ(Connection().Disconnect(), DV_S_OK);
  EXPECT_EQ(State(), ConnectionState::Disconnecting);
  EXPECT_FALSE(service_.Live());
  ASSERT_TRUE(StateBecomes(ConnectionState::Disconnected));
  EXPECT_EQ(Connection().Disconnect(), DV_E_NO_CONNECTION);
  EXPECT_EQ(Connection().GetStatistics(&sent, &received, &duration), DV_E_NO_CONNECTION);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(RasConnectionTest, TheLibrarysEntryIsMadeOnceThenCheckedAndCorrectedBeforeEachDial) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kTechnologySelection).Registered(1)));
  const std::u16string modem(CardInfoText(Device().CardInfo().ModemName));
  ASSERT_FALSE(modem.empty());

  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  EXPECT_EQ(Text(service_.Entry(u"VLConnect").szDeviceName), modem);
  const int writes = service_.Writes();
  ASSERT_EQ(Connection().Disconnect(), DV_S_OK);
  ASSERT_TRUE(StateBecomes(ConnectionState::Disconnected));

  // Kept and found in order: nothing written.
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  EXPECT_EQ(service_.Writes(), writes);
  ASSERT_EQ(Connection().Disconnect(), DV_S_OK);
  ASSERT_TRUE(StateBecomes(ConnectionState::Disconnected));

  // Someone pointed the entry at another modem: it is put right.
  platform::RasEntry changed = service_.Entry(u"VLConnect");
  changed.szDeviceName[0] = u'X';
  service_.PutEntry(u"VLConnect", changed);
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  EXPECT_EQ(service_.Writes(), writes + 1);
  EXPECT_EQ(Text(service_.Entry(u"VLConnect").szDeviceName), modem);
}

TEST_F(RasConnectionTest, ANamedEntryMustExist) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kTechnologySelection).Registered(1)));
  EXPECT_EQ(Connection().ConnectToEntry(u"", u"Work", nullptr, nullptr, nullptr),
            DvFromSystemError(platform::kRasErrorCannotFindPhonebookEntry));
  EXPECT_EQ(State(), ConnectionState::Disconnected);
  EXPECT_EQ(service_.Dials(), 0);
}

TEST_F(RasConnectionTest, AFailureWhileDiallingReachesTheClientAndTheCallEnds) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kTechnologySelection).Registered(1)));
  ASSERT_EQ(Connection().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  service_.Fire(platform::RASCS_Authenticate, platform::kRasErrorAuthenticationFailure);
  EXPECT_EQ(State(), ConnectionState::Disconnecting);
  EXPECT_FALSE(service_.Live());
  ASSERT_TRUE(StateBecomes(ConnectionState::Disconnected));
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty(); }));
  EXPECT_EQ(errors_[0].type, 0u);
  EXPECT_EQ(errors_[0].primary, 0x800702B3u);  // 691
}

TEST_F(RasConnectionTest, AnErrorEventWhileConnectedIsOnlyFollowedByAHangUp) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kTechnologySelection).Registered(1)));
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  service_.Fire(platform::RASCS_Connected, platform::kRasErrorPortDisconnected);
  EXPECT_FALSE(service_.Live());
  ASSERT_TRUE(StateBecomes(ConnectionState::Disconnected));
  Settle();
  EXPECT_TRUE(errors_.empty());
}

TEST_F(RasConnectionTest, TheMonitorSeesALinkThatWentDown) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kTechnologySelection).Registered(1)));
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  service_.DropLink();
  // One monitor period later.
  ASSERT_TRUE(PumpUntil([&] { return State() == ConnectionState::Disconnected; }, 2 * GSM::RasConnection::kMonitorPeriodMs));
  // The ended call is hung up, so the service can let the modem go.
  EXPECT_TRUE(PumpUntil([&] { return !service_.Live(); }));
}

TEST_F(RasConnectionTest, AOnePortCardGivesItsPortToTheCallAndGetsItBack) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs).Registered(1)));
  ASSERT_FALSE(Device().PortUsableDuringDataCall());
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  EXPECT_FALSE(Device().IsOpen());
  char16_t imsi[kDvNumberSize] = {};
  EXPECT_EQ(DvGetImsiNumber(imsi), DV_E_PORT_BUSY);

  ASSERT_EQ(Connection().Disconnect(), DV_S_OK);
  ASSERT_TRUE(StateBecomes(ConnectionState::Disconnected));
  ASSERT_TRUE(PumpUntil([&] { return Device().IsOpen(); }));
  EXPECT_EQ(DvGetImsiNumber(imsi), DV_S_OK);
  EXPECT_EQ(Device().GetDeviceState(), DeviceState::Initialized);
}

TEST_F(RasConnectionTest, ARefusedDialGivesThePortBackAtOnce) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs).Registered(1)));
  service_.SetDialResult(platform::kRasErrorPortNotAvailable);
  EXPECT_EQ(Connection().Connect(nullptr, nullptr, nullptr, 0), DvFromSystemError(platform::kRasErrorPortNotAvailable));
  EXPECT_EQ(State(), ConnectionState::Disconnected);
  EXPECT_TRUE(Device().IsOpen());
  EXPECT_FALSE(service_.Live());
  char16_t imsi[kDvNumberSize] = {};
  EXPECT_EQ(DvGetImsiNumber(imsi), DV_S_OK);
}

TEST_F(RasConnectionTest, AnApnTheCardRefusesLeavesThePortAsItWas) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs).Registered(1)));
  Card().InjectFault("+CGDCONT", sim::Fault{sim::FaultKind::kError});
  EXPECT_EQ(Connection().Connect(u"internet", nullptr, nullptr, 0), DV_E_ERROR);
  EXPECT_EQ(State(), ConnectionState::Disconnected);
  EXPECT_EQ(service_.Dials(), 0);
  Settle();
  EXPECT_TRUE(Device().IsOpen());
  EXPECT_EQ(Device().GetDeviceState(), DeviceState::Initialized);
}

TEST_F(RasConnectionTest, APortThatDoesNotOpenAgainTakesTheDeviceDown) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs).Registered(1)));
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  // Another program takes the free port during the call.
  platform::SerialPort other;
  ASSERT_TRUE(other.Open(Card().AtPortPath()));
  ASSERT_EQ(Connection().Disconnect(), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_EQ(State(), ConnectionState::Disconnected);
}

}  // namespace
