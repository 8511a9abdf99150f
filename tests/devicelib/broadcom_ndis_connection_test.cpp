// The NDIS connection of a Broadcom-based card (the stack 3 card), whose
// driver answers on the application port: what it counts as connecting and
// as failed, its statistics while connecting, a refused connect, and the
// release of the card.
#include <gtest/gtest.h>

#include <string>

#include "devicelib/connection.h"
#include "devicelib/dv_api.h"
#include "platform/win32_error.h"
#include "tests/devicelib/stand_in_ndis_driver.h"

namespace {

namespace ConnectionState = GSM::ConnectionState;
using sim::CardKind;
using testing_support::NdisFixture;

constexpr uint32_t kConnect = platform::IOCTL_VL_NDIS_GPRS_CONNECT;
constexpr uint32_t kDisconnect = platform::IOCTL_VL_NDIS_GPRS_DISCONNECT;

class BroadcomNdisConnectionTest : public NdisFixture {
 protected:
  void SetUp() override {
    NdisFixture::SetUp();
    ASSERT_TRUE(PlugCard(CardKind::kStack3));
    ASSERT_EQ(Device().CurrentConnectionKind(), GSM::ConnectionKind::BroadcomNdis);
  }
};

TEST_F(BroadcomNdisConnectionTest, ConnectsOnTheApplicationPortCountingTheFirstStageAsConnecting) {
  driver_.SetAfterConnect(platform::kNdisStateConnecting2, 0);
  ASSERT_EQ(Current().Connect(nullptr, u"user", u"secret", 0), DV_S_OK);
  const std::vector<uint8_t> request = driver_.LastInput(kConnect);
  ASSERT_EQ(request.size(), platform::kBroadcomNdisConnectRequestSize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.data())), "*99***1#");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.data() + platform::kNdisUserNameOffset)), "user");
  ASSERT_TRUE(PumpReads(2));
  EXPECT_EQ(ConnectionState(), ConnectionState::Connecting);

  // While connecting the statistics are the driver's only in its last stage.
  driver_.SetStatistics(10, 20, 3);
  uint32_t sent = 99;
  uint32_t received = 99;
  uint32_t duration = 99;
  ASSERT_EQ(Current().GetStatistics(&sent, &received, &duration), DV_S_OK);
  EXPECT_EQ(sent + received + duration, 0u);
  driver_.SetState(platform::kNdisStateConnecting5, 0);
  ASSERT_EQ(Current().GetStatistics(&sent, &received, &duration), DV_S_OK);
  EXPECT_EQ(sent, 10u);
  EXPECT_EQ(received, 20u);
  EXPECT_EQ(duration, 3u);

  driver_.SetState(platform::kNdisStateConnected, 0);
  ip_.SetAddress(adapter_, "10.64.0.9");
  ASSERT_TRUE(PumpUntilState(ConnectionState::Connected));
  ASSERT_EQ(Current().Disconnect(), DV_S_OK);
  EXPECT_EQ(driver_.Count(kDisconnect), 1u);
  driver_.SetState(platform::kNdisStateDisconnected, 0);
  ASSERT_TRUE(PumpUntilState(ConnectionState::Disconnected));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(BroadcomNdisConnectionTest, AnyReasonButZeroAndOneIsAFailure) {
  ASSERT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  driver_.SetState(platform::kNdisStateConnecting3, 40);
  ASSERT_TRUE(PumpUntilState(ConnectionState::Disconnected));
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty(); }));
  EXPECT_EQ(errors_[0].type, 1u);
  EXPECT_EQ(errors_[0].primary, 0x84040028u);
}

TEST_F(BroadcomNdisConnectionTest, ARefusedConnectLeavesNothingToTakeDown) {
  driver_.Fail(kConnect, platform::kErrorGenFailure);
  EXPECT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), 0x8007001Fu);
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnected);
  EXPECT_EQ(driver_.Count(kDisconnect), 0u);
  Pass(1000);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(BroadcomNdisConnectionTest, ReleasingTheCardEndsTheCallAtTheDriverAndStopsTheMonitor) {
  ASSERT_TRUE(ConnectAndReachConnected());
  char16_t user[kDvNdisCredentialSize];
  char16_t password[kDvNdisCredentialSize];
  EXPECT_EQ(DvGetNdisCredentials(user, password), DV_E_NOT_AVAILABLE);
  Device().Exit(true);
  EXPECT_EQ(driver_.Count(kDisconnect), 1u);
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnected);
  EXPECT_FALSE(Current().IsRunning());
}

}  // namespace
