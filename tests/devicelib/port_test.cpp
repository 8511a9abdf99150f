#include "devicelib/port.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/pty.h"
#include "platform/serial_port.h"
#include "platform/win32_error.h"
#include "tests/support/code_of.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"

namespace {

using namespace std::chrono_literals;
using testing_support::CodeOf;
using testing_support::Eventually;
using testing_support::Hex;
using testing_support::HexBytes;
using testing_support::kSafetyNet;
using testing_support::LogCapture;

// Index of the first line containing `text` at or after `from`; npos if none.
size_t FindLine(const std::vector<std::string>& lines, const std::string& text, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return i;
  }
  return std::string::npos;
}

// Records what the receiver hands up; can hold the receiver inside OnRxChar.
class TestPort : public GSM::Port {
 public:
  ~TestPort() override {
    if (IsOpen()) ClosePort();
  }

  using Port::ClosePort;
  using Port::PortHandle;
  using Port::SetGoingDown;

  // Sends `text` through the transmit buffer; returns the raised code or 0.
  DvResult Send(const std::string& text, bool sensitive = false) {
    std::copy(text.begin(), text.end(), TransmitBuffer().begin());
    size_t length = text.size();
    return SendLength(length, sensitive);
  }
  DvResult SendLength(size_t& length, bool sensitive = false) {
    return CodeOf([&] { Write(sensitive, length); });
  }
  DvResult TryOpen(const std::string& name, bool serial = true) {
    return CodeOf([&] { Open(name, serial); });
  }

  std::vector<uint8_t> Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }
  bool WaitForReceived(size_t count) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kSafetyNet, [&] { return received_.size() >= count; });
  }
  std::vector<uint32_t> PortErrors() const {
    std::lock_guard lock(mutex_);
    return port_errors_;
  }
  bool WaitForPortError() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kSafetyNet, [&] { return !port_errors_.empty(); });
  }

  // The next OnRxChar blocks until ReleaseHeldByte.
  void HoldNextByte() {
    std::lock_guard lock(mutex_);
    hold_next_ = true;
    held_ = released_ = false;
  }
  bool WaitUntilHeld() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kSafetyNet, [&] { return held_; });
  }
  void ReleaseHeldByte() {
    std::lock_guard lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }

  int Registrations() const { return registrations_.load(); }
  int Unregistrations() const { return unregistrations_.load(); }

  // What ReceiveIsSensitive answers the receiver from now on.
  void SetReceiveSensitive(bool on) { receive_sensitive_.store(on); }

 protected:
  void OnRxChar(uint8_t byte) override {
    std::unique_lock lock(mutex_);
    if (hold_next_) {
      hold_next_ = false;
      held_ = true;
      cv_.notify_all();
      cv_.wait(lock, [&] { return released_; });
    }
    received_.push_back(byte);
    cv_.notify_all();
  }
  void OnPortError(uint32_t code) override {
    std::lock_guard lock(mutex_);
    port_errors_.push_back(code);
    cv_.notify_all();
  }
  void RegisterRemovalNotification() override { ++registrations_; }
  void UnregisterRemovalNotification() override { ++unregistrations_; }
  bool ReceiveIsSensitive() const override { return receive_sensitive_.load(); }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<uint8_t> received_;
  std::vector<uint32_t> port_errors_;
  bool hold_next_ = false;
  bool held_ = false;
  bool released_ = false;
  std::atomic<int> registrations_{0};
  std::atomic<int> unregistrations_{0};
  std::atomic<bool> receive_sensitive_{false};
};

// A receiver whose start-up hangs until the test lets it go on.
class SlowStartPort : public TestPort {
 public:
  ~SlowStartPort() override {
    LetRun();
    if (IsOpen()) ClosePort();
  }
  bool WaitUntilEntered() {
    return entered_future_.wait_for(kSafetyNet) == std::future_status::ready;
  }
  void LetRun() {
    std::call_once(released_once_, [&] { release_.set_value(); });
  }

 protected:
  void Run() override {
    std::call_once(entered_once_, [&] { entered_.set_value(); });
    release_future_.wait();
    TestPort::Run();
  }

 private:
  std::promise<void> entered_;
  std::shared_future<void> entered_future_ = entered_.get_future().share();
  std::promise<void> release_;
  std::shared_future<void> release_future_ = release_.get_future().share();
  std::once_flag entered_once_, released_once_;
};

class PortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Open's two 100 ms settling sleeps pass by themselves; nothing else in
    // these tests sleeps (the serial receiver only waits on the line).
    clock_.SetSleepAdvances(true);
    ASSERT_TRUE(pty_.Open()) << "error " << platform::GetLastError();
  }

  void OpenPort() { ASSERT_EQ(port_.TryOpen(pty_.SlavePath()), DV_S_OK); }

  // Declared before the port: the port's receiver logs and waits on the
  // clock until the port is gone.
  platform::VirtualClock clock_;
  platform::ScopedClock use_clock_{clock_};
  LogCapture log_;
  platform::PseudoTerminal pty_;
  TestPort port_;
};

TEST_F(PortTest, MissingPortLogsCreateFileAndRaisesFileNotFound) {
  EXPECT_EQ(port_.TryOpen("/dev/vombel-no-such-port"), 0x80070002u);
  EXPECT_TRUE(log_.Contains("Dv: Port::Open: CreateFile() failed, rc=0x2"));
  EXPECT_EQ(port_.LastError(), 0x80070002u);
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(port_.IsRunning());
  EXPECT_FALSE(log_.Contains("ReceiverThread")) << "no receiver may start for a missing port";

  // A failed Open leaves the port ready for the next one.
  OpenPort();
  EXPECT_EQ(port_.LastError(), DV_S_OK);
}

TEST_F(PortTest, DeviceThatIsNoSerialLineFailsAtGetCommStateAndIsReleased) {
  char path[] = "/tmp/vombel-port-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_EQ(port_.TryOpen(path), 0x80070001u);
  EXPECT_TRUE(log_.Contains("Dv: Port::Open: GetCommState() failed, rc=0x1"));
  EXPECT_FALSE(port_.IsOpen());
  platform::SerialPort again;
  EXPECT_TRUE(again.Open(path)) << "the failed Open must not keep the device";
  again.Close();
  ::unlink(path);
}

TEST_F(PortTest, OpenConfiguresTheLineStartsTheReceiverAndHoldsThePortAlone) {
  const uint64_t before = clock_.NowMs();
  OpenPort();
  EXPECT_EQ(clock_.NowMs() - before, 2 * GSM::Port::kSettleMs) << "two settling sleeps of 100 ms";
  EXPECT_TRUE(port_.IsRunning());
  EXPECT_EQ(port_.PortName(), pty_.SlavePath());
  EXPECT_EQ(port_.Registrations(), 1);

  const auto lines = log_.Lines();
  const size_t started =
      FindLine(lines, "Dv: overlapped ReceiverThread " + Hex(port_.ThreadId()) + " started");
  const size_t opened = FindLine(lines, "Dv: Port opened successfully in overlapped I/O mode");
  ASSERT_NE(started, std::string::npos);
  ASSERT_NE(opened, std::string::npos);
  EXPECT_LT(started, opened) << "Open returns only once the receiver runs";

  termios tio{};  // the pair shares one termios: the master sees the line's
  ASSERT_EQ(::tcgetattr(pty_.MasterFd(), &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_FALSE(tio.c_cflag & (CSTOPB | CRTSCTS));
  EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
  EXPECT_EQ(tio.c_cc[VMIN], 0) << "reads must return at once with what has arrived";

  TestPort second;
  EXPECT_EQ(second.TryOpen(pty_.SlavePath()), 0x80070005u);
  EXPECT_TRUE(log_.Contains("Dv: Port::Open: CreateFile() failed, rc=0x5"));
}

TEST_F(PortTest, ReadOf130BytesIsDumpedInLinesOf64And2AndHandedUpByteByByteInOrder) {
  OpenPort();
  // Hold the receiver inside OnRxChar for a first byte, so that all 130
  // bytes are waiting in the line when it reads again: one read, whatever
  // the kernel's timing.
  port_.HoldNextByte();
  ASSERT_TRUE(pty_.Write("\x55"));
  ASSERT_TRUE(port_.WaitUntilHeld());

  std::vector<uint8_t> block(130);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(0xA0 + i);
  ASSERT_TRUE(pty_.Write(block.data(), block.size()));
  const auto line = port_.PortHandle();
  size_t queued = 0;
  ASSERT_TRUE(Eventually(
      [&] { return line->GetInputQueueLength(&queued) && queued == block.size(); }))
      << queued << " bytes queued";
  log_.Clear();
  port_.ReleaseHeldByte();
  ASSERT_TRUE(port_.WaitForReceived(1 + block.size()));

  const auto dump = log_.LinesStartingWith("Port read: ");
  ASSERT_EQ(dump.size(), 3u);
  EXPECT_EQ(dump[0], "Port read: " + HexBytes(&block[0], 64));
  EXPECT_EQ(dump[1], "Port read: " + HexBytes(&block[64], 64));
  EXPECT_EQ(dump[2], "Port read: " + HexBytes(&block[128], 2));

  std::vector<uint8_t> expected{0x55};
  expected.insert(expected.end(), block.begin(), block.end());
  EXPECT_EQ(port_.Received(), expected);
}

TEST_F(PortTest, WriteSendsTheBufferWholeAndLogsItUnlessSensitive) {
  OpenPort();
  EXPECT_EQ(port_.Send("AT+CSQ\r\n"), DV_S_OK);
  char echo[8] = {};
  size_t got = 0;
  ASSERT_TRUE(pty_.ReadExactly(echo, sizeof echo, &got, 10000));
  EXPECT_EQ(std::string(echo, got), "AT+CSQ\r\n");
  EXPECT_TRUE(log_.Contains("Port write: 41 54 2b 43 53 51 0d 0a "));

  log_.Clear();
  EXPECT_EQ(port_.Send("AT+CPIN=\"1234\"\r", true), DV_S_OK);
  char pin[15] = {};
  ASSERT_TRUE(pty_.ReadExactly(pin, sizeof pin, &got, 10000));
  EXPECT_EQ(std::string(pin, got), "AT+CPIN=\"1234\"\r");
  EXPECT_TRUE(
      log_.Contains("Dv: Port write: <Binary logging of sensitive information is disabled>"));
  EXPECT_TRUE(log_.LinesStartingWith("Port write: ").empty()) << "a PIN must not reach the log";
  EXPECT_FALSE(log_.Contains("31 32 33 34"));
}

TEST_F(PortTest, ReadsWhileTheReceiveIsSensitiveAreWithheldFromTheLogButHandedUpWhole) {
  constexpr char kWithheld[] =
      "Dv: Port read: <Binary logging of sensitive information is disabled>";
  OpenPort();
  port_.SetReceiveSensitive(true);
  const std::string echo = "AT+CPIN=\"1234\"\r";
  ASSERT_TRUE(pty_.Write(echo));
  ASSERT_TRUE(port_.WaitForReceived(echo.size()));
  EXPECT_EQ(port_.Received(), std::vector<uint8_t>(echo.begin(), echo.end()))
      << "withholding the dump must not withhold the bytes";
  EXPECT_TRUE(log_.Contains(kWithheld));
  EXPECT_TRUE(log_.LinesStartingWith("Port read: ").empty()) << "the echo of a PIN was dumped";
  EXPECT_FALSE(log_.Contains("31 32 33 34"));

  // The port asks again for every read.
  const size_t withheld = log_.Count(kWithheld);
  port_.SetReceiveSensitive(false);
  ASSERT_TRUE(pty_.Write("\r\nOK\r\n"));
  ASSERT_TRUE(port_.WaitForReceived(echo.size() + 6));
  EXPECT_EQ(log_.Count(kWithheld), withheld);
  std::string dumped;
  for (const auto& line : log_.LinesStartingWith("Port read: ")) {
    dumped += line.substr(std::string_view("Port read: ").size());
  }
  EXPECT_EQ(dumped, "0d 0a 4f 4b 0d 0a ");
}

TEST_F(PortTest, WritesThatCannotGoAreRefusedWithoutTouchingTheLine) {
  TestPort closed;
  size_t length = 2;
  EXPECT_EQ(closed.SendLength(length), DV_E_NO_DEVICE);
  EXPECT_TRUE(log_.Contains("Dv: Write request is ignored because there is no valid handle"));

  OpenPort();
  length = 0;
  EXPECT_EQ(port_.SendLength(length), DV_E_INVALID_ARGUMENT);
  EXPECT_EQ(log_.Count("Dv: Port::Write(): buffer error"), 1u);
  length = GSM::kTransmitBufferSize + 1;
  EXPECT_EQ(port_.SendLength(length), DV_E_INVALID_ARGUMENT)
      << "a length beyond the transmit buffer would send foreign memory";
  EXPECT_EQ(log_.Count("Dv: Port::Write(): buffer error"), 2u);

  port_.SetGoingDown(true);
  EXPECT_EQ(port_.Send("DROPPED"), DV_E_NO_DEVICE);
  EXPECT_TRUE(log_.Contains("Dv: Write request is ignored because the device is going down"));
  port_.SetGoingDown(false);

  // The first bytes the card sees are those sent after the refusals.
  EXPECT_EQ(port_.Send("OK"), DV_S_OK);
  char seen[2] = {};
  size_t got = 0;
  ASSERT_TRUE(pty_.ReadExactly(seen, sizeof seen, &got, 10000));
  EXPECT_EQ(std::string(seen, got), "OK");
  ASSERT_TRUE(pty_.Read(seen, sizeof seen, &got, 0));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(port_.LastError(), DV_S_OK) << "refusals are not port failures";
}

TEST_F(PortTest, PulledCardEndsTheReceiverWithOnePortErrorAndFailsWrites) {
  OpenPort();
  pty_.CloseMaster();
  ASSERT_TRUE(port_.WaitForPortError());
  ASSERT_TRUE(Eventually([&] { return !port_.IsRunning(); })) << "the receiver did not end";
  EXPECT_EQ(port_.PortErrors(), std::vector<uint32_t>{platform::kErrorAccessDenied});
  EXPECT_EQ(log_.Count("Dv: Access denied detected on the serial port, receiver thread is "
                       "stopping..."),
            1u);
  EXPECT_TRUE(log_.Contains("Dv: ReceiverThread " + Hex(port_.ThreadId()) + " ended"));

  EXPECT_EQ(port_.Send("AT\r"), 0x80070005u);
  EXPECT_TRUE(log_.Contains("Dv: Writing failed with 0x80070005"));
  EXPECT_EQ(port_.LastError(), 0x80070005u);

  port_.ClosePort();
  EXPECT_EQ(port_.PortErrors().size(), 1u) << "the error is reported once";
  EXPECT_TRUE(log_.Contains("Dv: Port closed successfully"));
}

TEST_F(PortTest, CloseWhileTheReceiverWaitsReturnsAtOnceAndTheReopenedPortWorks) {
  OpenPort();
  const uint32_t receiver = port_.ThreadId();
  port_.SetGoingDown(true);  // as the modem's Close does around the port's part
  log_.Clear();
  const uint64_t before = clock_.NowMs();
  auto closed = std::async(std::launch::async, [&] { port_.ClosePort(); });
  if (closed.wait_for(kSafetyNet) != std::future_status::ready) {
    clock_.Advance(GSM::Port::kReadyTimeoutMs * 10);  // free the test, then fail it
    closed.wait();
    FAIL() << "ClosePort waited for its time-out instead of stopping the receiver";
  }
  EXPECT_EQ(clock_.NowMs(), before) << "no time-out may be involved";
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(port_.IsRunning());
  EXPECT_EQ(port_.Unregistrations(), 1);

  const auto lines = log_.Lines();
  const size_t stopping = FindLine(lines, "Dv: Stopping thread " + Hex(receiver) + "...");
  const size_t ended = FindLine(lines, "Dv: ReceiverThread " + Hex(receiver) + " ended", stopping);
  const size_t handle = FindLine(lines, "Dv: Closing handle for thread " + Hex(receiver), ended);
  const size_t done = FindLine(lines, "Dv: Port closed successfully", handle);
  EXPECT_NE(done, std::string::npos) << "close steps out of order";
  EXPECT_EQ(FindLine(lines, "timed out"), std::string::npos);
  EXPECT_TRUE(port_.PortErrors().empty()) << "a requested stop is no port error";

  // Open clears the going-down flag; the new receiver reads again.
  OpenPort();
  EXPECT_FALSE(port_.IsGoingDown());
  ASSERT_TRUE(pty_.Write("RING\r\n"));
  ASSERT_TRUE(port_.WaitForReceived(6));
  const std::vector<uint8_t> ring{'R', 'I', 'N', 'G', '\r', '\n'};
  EXPECT_EQ(port_.Received(), ring);
  EXPECT_EQ(port_.Send("ATA\r"), DV_S_OK);
}

TEST_F(PortTest, ReceiverThatDoesNotStartWithinFiveSecondsFailsOpen) {
  SlowStartPort slow;
  auto opened = std::async(std::launch::async, [&] { return slow.TryOpen(pty_.SlavePath()); });
  ASSERT_TRUE(slow.WaitUntilEntered());
  EXPECT_EQ(opened.wait_for(0ms), std::future_status::timeout);
  // Only the hand-shake wait is due in 5 s; the clock moves for it alone.
  clock_.AdvanceWhenWaiting(GSM::Port::kReadyTimeoutMs);
  // Open has given up and now waits for the receiver to stop; only then is
  // the receiver let go, so it cannot answer the hand-shake after all.
  clock_.WaitForWaiterAt(Thread::kStopTimeoutMs);
  slow.LetRun();
  ASSERT_EQ(opened.wait_for(kSafetyNet), std::future_status::ready);
  EXPECT_EQ(opened.get(), 0x80070102u);
  EXPECT_TRUE(log_.Contains("Dv: Port::Open: Receiver thread did not respond, rc=0x102"));
  EXPECT_FALSE(log_.Contains("timed out")) << "the late receiver must stop at once";
  EXPECT_FALSE(log_.Contains("Dv: Port opened successfully"));
  EXPECT_EQ(slow.LastError(), 0x80070102u);
  EXPECT_FALSE(slow.IsOpen());
  EXPECT_FALSE(slow.IsRunning()) << "the late receiver must be stopped, not left on a closed port";
  EXPECT_EQ(slow.Registrations(), 0);

  EXPECT_EQ(slow.TryOpen(pty_.SlavePath()), DV_S_OK) << "the port must open again afterwards";
}

class PortStreamTest : public PortTest {
 protected:
  // The stream receiver polls every 50 ms; here each poll waits for the test.
  void SetUp() override {
    PortTest::SetUp();
    clock_.SetSleepAdvances(false);
  }
};

TEST_F(PortStreamTest, StreamIsPolledEvery50MsAndStopsAfterTheCurrentPause) {
  auto opened =
      std::async(std::launch::async, [&] { return port_.TryOpen(pty_.SlavePath(), false); });
  clock_.AdvanceWhenWaiting(GSM::Port::kSettleMs);
  clock_.AdvanceWhenWaiting(GSM::Port::kSettleMs);
  ASSERT_EQ(opened.get(), DV_S_OK);

  ASSERT_TRUE(pty_.Write("AT\r"));
  const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
  while (port_.Received().size() < 3 && std::chrono::steady_clock::now() < deadline) {
    clock_.AdvanceWhenWaiting(GSM::Port::kStreamPollMs);
  }
  EXPECT_EQ(port_.Received(), (std::vector<uint8_t>{'A', 'T', '\r'}));

  // Let the receiver settle into a fresh pause, so that the stop request
  // finds it there: it must leave when that pause ends.
  clock_.WaitForWaiterAt(GSM::Port::kStreamPollMs);
  auto closed = std::async(std::launch::async, [&] { port_.ClosePort(); });
  clock_.WaitForTimedWaiters(2);  // the receiver's pause and Stop's wait for it
  clock_.AdvanceWhenWaiting(GSM::Port::kStreamPollMs);
  ASSERT_EQ(closed.wait_for(kSafetyNet), std::future_status::ready);
  EXPECT_FALSE(port_.IsRunning());
  EXPECT_FALSE(log_.Contains("timed out"));
  EXPECT_TRUE(port_.PortErrors().empty());
}

}  // namespace
