// USSD over the worker and the simulated card's network: a menu that asks
// for a reply, the statuses and texts of the answers, a cancel that ends the
// network's session, and the wait for an answer that never comes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/ussd_session.h"
#include "devicelib/dv_api.h"
#include "platform/text.h"
#include "tests/app/worker_fixture.h"

namespace {

using namespace app_messages;
using testing_support::WorkerFixture;

class WorkerUssdTest : public WorkerFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartWorker());
    Plug(sim::NewSimCard().Registered(1));
    ASSERT_TRUE(RunUntil([&] { return CUssdSession::CardReady(Cache()) && Idle(); }));
  }

  void Post(uintptr_t operation, std::u16string_view text = {}) {
    auto* record = operation == UssdOperationSend ? new std::u16string(text) : nullptr;
    ASSERT_TRUE(worker_->Post(WM_APP_USSD, operation, reinterpret_cast<intptr_t>(record)));
  }

  // Sends `text` and returns the news that follows (none within the
  // virtual limit: nothing).
  std::optional<UssdNews> Exchange(std::u16string_view text, uint64_t virtual_limit_ms = kVirtualLimitMs) {
    const size_t from = notifications_.size();
    Post(UssdOperationSend, text);
    if (!RunUntil([&] { return Received(WM_APP_USSD_NEWS, from); }, virtual_limit_ms)) return std::nullopt;
    return Last(WM_APP_USSD_NEWS)->ussd;
  }

  size_t NewsCount() const {
    size_t count = 0;
    for (const auto& n : notifications_) count += n.message == WM_APP_USSD_NEWS ? 1 : 0;
    return count;
  }
};

std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(std::u16string(text)); }

TEST_F(WorkerUssdTest, AMenuAsksForAReplyAndEveryAnswerReachesTheWindow) {
  constexpr int kFailed = UssdNews::kRequestFailed;
  struct Step {
    std::u16string_view sent;
    bool card_refuses;  // the card answers the request with ERROR
    int status;
    std::u16string_view text;
    DvResult error;
  };
  const std::u16string too_long(kDvUssdCodeMax + 1, u'1');
  const Step steps[] = {
      {u"*101#", false, 1, u"Vombel menu\n1 Bundles\n2 Top up", DV_S_OK},
      {u"3", false, 1, u"Unknown choice\n1 Bundles\n2 Top up", DV_S_OK},
      {u"1", false, 0, u"Bundles: 1 GB left until 30 June", DV_S_OK},
      {u"*100#", false, 0, u"Your balance is 5.00 EUR", DV_S_OK},
      // A UCS2 answer, which the card passes on as hexadecimal text.
      {u"*102#", false, 0, u"Баланс: 5,00€", DV_S_OK},
      {u"*199#", false, 4, u"", DV_S_OK},
      {u"*100#", true, kFailed, u"", DV_E_ERROR},
      // Refused before it reaches the card.
      {u"*10a#", false, kFailed, u"", DV_E_INVALID_ARGUMENT},
      {u"", false, kFailed, u"", DV_E_INVALID_ARGUMENT},
      {too_long, false, kFailed, u"", DV_E_INVALID_ARGUMENT},
  };
  for (const Step& step : steps) {
    if (step.card_refuses) Card().InjectFault("+CUSD", sim::Fault{sim::FaultKind::kError, 0, true});
    const std::optional<UssdNews> news = Exchange(step.sent);
    ASSERT_TRUE(news.has_value()) << U8(step.sent);
    EXPECT_EQ(news->status, step.status) << U8(step.sent);
    EXPECT_EQ(news->text, step.text) << U8(step.sent);
    EXPECT_EQ(news->error, step.error) << U8(step.sent);
  }
  EXPECT_EQ(log_.Count("AT+CUSD=1,\"*10a#\""), 0u);
  EXPECT_GE(log_.Count("AT+CUSD=1,\"*100#\",15"), 2u);
}

TEST_F(WorkerUssdTest, CancelEndsTheNetworksSession) {
  const std::optional<UssdNews> menu = Exchange(u"*101#");
  ASSERT_TRUE(menu.has_value());
  ASSERT_EQ(menu->status, 1);
  ASSERT_TRUE(Card().Snapshot().ussd_menu_open);

  Post(UssdOperationCancel);
  ASSERT_TRUE(RunUntil([&] { return log_.Count("DvCancelUssd finished with 0x0") == 1 && Idle(); }));
  EXPECT_FALSE(Card().Snapshot().ussd_menu_open);
  // With the menu gone, "1" is a code the network does not know.
  const std::optional<UssdNews> after = Exchange(u"1");
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->status, 4);
}

TEST_F(WorkerUssdTest, ARequestTheNetworkLeavesUnansweredEndsAfterItsWait) {
  // An answered request leaves no wait running behind it.
  ASSERT_TRUE(Exchange(u"*100#").has_value());
  const size_t answered = NewsCount();
  EXPECT_FALSE(RunUntil([&] { return NewsCount() > answered; }, kDvUssdAnswerTimeoutMs + 1000));

  Card().Update([](sim::CardState& s) { s.ussd_silent = true; });
  const uint64_t sent_at = clock_.NowMs();
  const std::optional<UssdNews> news = Exchange(u"*100#");
  ASSERT_TRUE(news.has_value());
  EXPECT_GE(clock_.NowMs() - sent_at, kDvUssdAnswerTimeoutMs);
  EXPECT_EQ(news->status, 5);
  EXPECT_EQ(news->text, u"");
  // The session was ended on the card too.
  EXPECT_TRUE(RunUntil([&] { return log_.Count("AT+CUSD=2") >= 1; }));
}

}  // namespace
