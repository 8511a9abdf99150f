#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "devicelib/answer_queue.h"
#include "devicelib/line_classifier.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "tests/support/clock_driver.h"
#include "tests/support/code_of.h"
#include "tests/support/log_capture.h"

namespace {

using namespace GSM;
using testing_support::BlocksOnTheClock;
using testing_support::CodeOf;
using testing_support::RunClockUntilDone;

std::unique_ptr<AnswerLine> MakeLine(std::u16string text) {
  const LineClass c = ClassifyLine(text);
  return std::make_unique<AnswerLine>(std::move(text), c.kind, c.result_code, c.unsolicited_type);
}

class AnswerQueueTest : public ::testing::Test {
 protected:
  void Push(std::initializer_list<const char16_t*> lines) {
    for (const char16_t* line : lines) queue_.Push(MakeLine(line));
  }

  platform::VirtualClock clock_;
  platform::ScopedClock use_clock_{clock_};
  AnswerQueue queue_;
};

TEST_F(AnswerQueueTest, AQueryReadsItsLineAndEndsWithTheFinalResult) {
  Push({u"+CSQ: 20,99", u"OK"});
  queue_.SetBudget(3000);
  queue_.ExpectLine(u"+CSQ:");
  EXPECT_EQ(queue_.ReadHead([](Line& l) { return l.ReadInt(); }), 20);
  EXPECT_EQ(queue_.ReadHead([](Line& l) { return l.ExpectChar(u','); }), 1);
  EXPECT_EQ(queue_.ReadHead([](Line& l) { return l.ReadInt(); }), 99);
  queue_.DropLine();
  EXPECT_EQ(CodeOf([&] { queue_.WaitFinal(); }), DV_S_OK);
  EXPECT_TRUE(queue_.Empty());
}

TEST_F(AnswerQueueTest, ExpectLinePutsTheCursorAfterThePrefix) {
  Push({u"+CPIN: READY", u"OK", u"123456789012345", u"OK"});
  queue_.ExpectLine(u"+CPIN: ");
  EXPECT_EQ(queue_.ReadHead([](Line& l) { return l.ReadRest(); }), u"READY");
  queue_.WaitFinal();
  // An empty prefix takes the line whole.
  queue_.ExpectLine(u"");
  EXPECT_EQ(queue_.ReadHead([](Line& l) { return l.ReadRest(); }), u"123456789012345");
}

TEST_F(AnswerQueueTest, AWrongPrefixFlushesThroughTheFinalResult) {
  Push({u"+CGMI: X", u"more", u"OK", u"+LATE: 1"});
  EXPECT_EQ(CodeOf([&] { queue_.ExpectLine(u"+CSQ:"); }), DV_E_UNEXPECTED_ANSWER);
  // Only what came after the final result is left.
  ASSERT_EQ(queue_.Size(), 1u);
  // Prefixes are case-sensitive.
  EXPECT_EQ(CodeOf([&] { queue_.ExpectLine(u"+late:"); }), DV_E_UNEXPECTED_ANSWER);
}

TEST_F(AnswerQueueTest, AFinalResultWhereALineWasExpected) {
  // "OK" instead of the answer: 0x84000004, and the OK is gone with the flush.
  Push({u"OK", u"+CMTI: stray"});
  EXPECT_EQ(CodeOf([&] { queue_.ExpectLine(u"+CSQ:"); }), DV_E_UNEXPECTED_ANSWER);
  EXPECT_EQ(queue_.Size(), 1u);
  queue_.Clear();

  // A failure instead of the answer is that failure; it stays for WaitFinal.
  Push({u"+CME ERROR: 10"});
  EXPECT_EQ(CodeOf([&] { queue_.ExpectLine(u"+CSQ:"); }), 0x8401000Au);
  EXPECT_EQ(CodeOf([&] { queue_.ReadHead([](Line& l) { return l.ReadRest(); }); }), 0x8401000Au);
  EXPECT_EQ(CodeOf([&] { queue_.WaitFinal(); }), 0x8401000Au);
  EXPECT_TRUE(queue_.Empty());
}

TEST_F(AnswerQueueTest, AMissingFieldFlushesThroughTheFinalResult) {
  Push({u"+CSQ: x", u"second", u"OK", u"after"});
  queue_.ExpectLine(u"+CSQ:");
  EXPECT_EQ(CodeOf([&] { queue_.ReadHead([](Line& l) { return l.ReadInt(); }); }), DV_E_UNEXPECTED_ANSWER);
  EXPECT_EQ(queue_.Size(), 1u);
}

TEST_F(AnswerQueueTest, AnAbsentOkFieldFlushesNothing) {
  Push({u"+CSQ: x", u"OK"});
  queue_.ExpectLine(u"+CSQ:");
  EXPECT_EQ(queue_.ReadHead([](Line& l) { return l.ReadInt(true, 7); }), 7);
  EXPECT_EQ(queue_.Size(), 2u);
}

TEST_F(AnswerQueueTest, WaitFinalSkipsAnswerLinesAndRaisesAFailure) {
  Push({u"a", u"b", u"+CMS ERROR: 500", u"after"});
  EXPECT_EQ(CodeOf([&] { queue_.WaitFinal(); }), 0x840201F4u);
  EXPECT_EQ(queue_.Size(), 1u);
}

TEST_F(AnswerQueueTest, AListIsReadUntilTheFinalResult) {
  // from testdata/at_answers.json (AT+CMGL=4)
  Push({u"+CMGL: 1,0,\"\",27", u"07911346101919F9040B911316240486F900007160621123918009C8309BFD0641D36D",
        u"+CMGL: 2,0,\"\",25", u"07911346101919F9040B911316240486F900007160621123848006C733DAED1603",
        u"+CMGL: 3,0,\"\",24", u"07911346101919F9040B911316240486F900007160621123058005C7F3598C06", u"OK"});
  std::vector<int> indices;
  while (!queue_.NextIsFinal()) {
    queue_.ExpectLine(u"+CMGL:");
    indices.push_back(queue_.ReadHead([](Line& l) { return l.ReadInt(); }));
    queue_.DropLine();
    EXPECT_EQ(queue_.ReadHead([](Line& l) { return l.ReadRest(); }).size() % 2, 0u);
    queue_.DropLine();
  }
  queue_.WaitFinal();
  EXPECT_EQ(indices, (std::vector<int>{1, 2, 3}));
}

TEST_F(AnswerQueueTest, AllWaitsOfATransactionShareOneBudget) {
  queue_.SetBudget(5000);
  auto first = std::async(std::launch::async, [&] { queue_.DropLine(); });
  ASSERT_TRUE(BlocksOnTheClock(clock_, first));
  clock_.Advance(3000);
  Push({u"late line"});
  first.get();
  EXPECT_EQ(queue_.Budget(), 2000u);

  testing_support::LogCapture log(2);
  auto second = std::async(std::launch::async, [&] { return CodeOf([&] { queue_.WaitFinal(); }); });
  // The second wait is for exactly what is left.
  ASSERT_TRUE(BlocksOnTheClock(clock_, second));
  EXPECT_EQ(RunClockUntilDone(clock_, second), 2000u);
  EXPECT_EQ(second.get(), DV_E_NO_ANSWER);
  EXPECT_TRUE(log.Contains("Dv: Wait timeout for answer"));
  EXPECT_EQ(queue_.Budget(), 1u);
}

TEST_F(AnswerQueueTest, ATimeOutLeavesTheQueueAsItIs) {
  Push({u"partial answer"});
  queue_.SetBudget(2000);
  queue_.DropLine();
  auto waiting = std::async(std::launch::async, [&] { return CodeOf([&] { queue_.DropLine(); }); });
  ASSERT_TRUE(BlocksOnTheClock(clock_, waiting));
  EXPECT_EQ(RunClockUntilDone(clock_, waiting), 2000u);
  EXPECT_EQ(waiting.get(), DV_E_NO_ANSWER);
  Push({u"OK"});
  EXPECT_EQ(queue_.Size(), 1u);
}

// Lines that were read without waiting leave the event signalled. A later
// wait that wakes on that old signal must wait on, not call the queue broken.
TEST_F(AnswerQueueTest, AWakeUpWithoutALineWaitsForTheRestOfTheBudget) {
  Push({u"+CGMI: A", u"+CGMM: B"});
  queue_.SetBudget(10000);
  queue_.DropLine();
  queue_.DropLine();
  auto final_result = std::async(std::launch::async, [&] { return CodeOf([&] { queue_.WaitFinal(); }); });
  ASSERT_TRUE(BlocksOnTheClock(clock_, final_result)) << "WaitFinal returned 0x" << std::hex << final_result.get();
  Push({u"OK"});
  EXPECT_EQ(final_result.get(), DV_S_OK);
}

TEST_F(AnswerQueueTest, AbortingWakesAWaiterAtOnce) {
  queue_.SetBudget(30000);
  auto waiting = std::async(std::launch::async, [&] { return CodeOf([&] { queue_.WaitFinal(); }); });
  ASSERT_TRUE(BlocksOnTheClock(clock_, waiting));
  queue_.Abort();
  EXPECT_EQ(waiting.get(), DV_E_NO_DEVICE);
}

TEST_F(AnswerQueueTest, AnAbortedQueueFailsEveryWaitUntilReset) {
  queue_.SetBudget(30000);
  queue_.Abort();
  // No final result came: that must not read as success.
  EXPECT_EQ(CodeOf([&] { queue_.WaitFinal(); }), DV_E_NO_DEVICE);
  EXPECT_EQ(CodeOf([&] { queue_.DropLine(); }), DV_E_NO_DEVICE);
  EXPECT_EQ(CodeOf([&] { queue_.ExpectLine(u"+CSQ:"); }), DV_E_NO_DEVICE);
  queue_.Reset();
  EXPECT_FALSE(queue_.Aborted());
  Push({u"OK"});
  EXPECT_EQ(CodeOf([&] { queue_.WaitFinal(); }), DV_S_OK);
}

// The receiver appends while the transaction thread reads and removes.
TEST_F(AnswerQueueTest, LinesFromAnotherThreadArriveInOrder) {
  constexpr int kLines = 500;
  queue_.SetBudget(10000);
  std::thread receiver([&] {
    for (int i = 0; i < kLines; ++i) queue_.Push(MakeLine(u"+N: " + platform::Utf8ToUtf16(std::to_string(i))));
    queue_.Push(MakeLine(u"OK"));
  });
  for (int i = 0; i < kLines; ++i) {
    queue_.ExpectLine(u"+N:");
    ASSERT_EQ(queue_.ReadHead([](Line& l) { return l.ReadInt(); }), i);
    queue_.DropLine();
  }
  queue_.WaitFinal();
  receiver.join();
}

}  // namespace
