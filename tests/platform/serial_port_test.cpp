#include "platform/serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/pty.h"
#include "platform/win32_error.h"
#include "tests/support/eventually.h"

namespace platform {
namespace {

using testing_support::Eventually;
using testing_support::kSafetyNet;

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Open()) << "error " << GetLastError();
    ASSERT_TRUE(port_.Open(pty_.SlavePath())) << "error " << GetLastError();
  }

  // Waits until `count` bytes the master sent are readable on the port.
  void ExpectQueued(size_t count) {
    size_t queued = 0;
    EXPECT_TRUE(Eventually([&] { return port_.GetInputQueueLength(&queued) && queued == count; }))
        << "input queue holds " << queued << " bytes, expected " << count;
  }

  PseudoTerminal pty_;
  SerialPort port_;
};

TEST(SerialPortOpenTest, MissingDeviceFailsWithFileNotFound) {
  SerialPort port;
  SetLastError(0);
  EXPECT_FALSE(port.Open("/dev/vombel-no-such-port"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(GetLastErrno(), ENOENT);
  EXPECT_FALSE(port.IsOpen());
}

// A port another program holds and a port whose card was pulled must not
// look alike at open: detection takes 5 for "in use, the card is fine".
TEST(SerialPortOpenTest, HeldPortAndVanishedDeviceGiveDifferentErrors) {
  struct Row {
    int err;
    uint32_t error;
  } const rows[] = {
      {EBUSY, kErrorAccessDenied},       {EWOULDBLOCK, kErrorAccessDenied}, {EIO, kErrorDeviceNotConnected},
      {ENXIO, kErrorDeviceNotConnected}, {ENODEV, kErrorDeviceNotConnected}, {EACCES, kErrorAccessDenied},
      {ENOENT, kErrorFileNotFound},
  };
  for (const auto& row : rows) EXPECT_EQ(SerialOpenError(row.err), row.error) << row.err;
}

TEST_F(SerialPortTest, SecondOpenerIsRefusedUntilTheFirstCloses) {
  SerialPort second;
  EXPECT_FALSE(second.Open(pty_.SlavePath()));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(GetLastErrno() == EBUSY || GetLastErrno() == EWOULDBLOCK) << GetLastErrno();
  port_.Close();
  EXPECT_TRUE(second.Open(pty_.SlavePath())) << "error " << GetLastError();
}

TEST_F(SerialPortTest, CommStateMakesARawLineAndRefusesWhatItCannotHonour) {
  Dcb dcb;
  ASSERT_TRUE(port_.GetCommState(&dcb));
  // A pseudo-terminal forces 8 data bits without parity whatever it is told,
  // so those two cannot be read back here.
  dcb.baud_rate = 57600;
  dcb.stop_bits = kTwoStopBits;
  dcb.out_x = true;
  ASSERT_TRUE(port_.SetCommState(dcb)) << "error " << GetLastError();
  Dcb back;
  ASSERT_TRUE(port_.GetCommState(&back));
  EXPECT_EQ(back.baud_rate, 57600u);
  EXPECT_EQ(back.stop_bits, kTwoStopBits);
  EXPECT_TRUE(back.out_x);
  EXPECT_FALSE(back.in_x);

  // The pair shares one termios: what the master side sees is the line.
  termios tio{};
  ASSERT_EQ(::tcgetattr(pty_.MasterFd(), &tio), 0);
  EXPECT_FALSE(tio.c_lflag & (ECHO | ICANON | ISIG)) << "line must not echo or edit";
  EXPECT_FALSE(tio.c_iflag & (ICRNL | IGNCR | INLCR)) << "CR and LF must pass unchanged";
  EXPECT_FALSE(tio.c_oflag & OPOST);
  EXPECT_TRUE(tio.c_cflag & CLOCAL) << "a missing DCD must not hang the port up";

  struct Row {
    const char* what;
    void (*change)(Dcb&);
    uint32_t error;
  } const rows[] = {
      {"unknown baud rate", [](Dcb& d) { d.baud_rate = 12345; }, kErrorInvalidParameter},
      {"1.5 stop bits with 8 data bits", [](Dcb& d) { d.stop_bits = kOne5StopBits; },
       kErrorInvalidParameter},
      {"DSR output flow", [](Dcb& d) { d.outx_dsr_flow = true; }, kErrorNotSupported},
      {"CTS flow without RTS handshake", [](Dcb& d) { d.outx_cts_flow = true; },
       kErrorNotSupported},
      {"NUL stripping", [](Dcb& d) { d.null_strip = true; }, kErrorNotSupported},
  };
  for (const Row& row : rows) {
    Dcb bad = back;
    row.change(bad);
    EXPECT_FALSE(port_.SetCommState(bad)) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
  ASSERT_TRUE(port_.GetCommState(&dcb));
  EXPECT_EQ(dcb.baud_rate, 57600u) << "a refused setting must change nothing";
}

TEST_F(SerialPortTest, ArrivingBytesRaiseRxCharAndAreReadWhole) {
  ASSERT_TRUE(port_.SetCommMask(kEvRxChar));
  uint8_t buffer[64];
  size_t got = 99;
  ASSERT_TRUE(port_.ReadFile(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u) << "nothing has arrived yet";

  ASSERT_TRUE(pty_.Write("OK\r\n"));
  uint32_t events = 0;
  ASSERT_TRUE(port_.WaitCommEvent(&events));
  EXPECT_EQ(events, kEvRxChar);
  ExpectQueued(4);
  ASSERT_TRUE(port_.ReadFile(buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "OK\r\n");
}

TEST_F(SerialPortTest, ClearingTheMaskCompletesAWaitFromAnotherThreadAndSettingItRearms) {
  ASSERT_TRUE(port_.SetCommMask(kEvRxChar));
  auto waited = std::async(std::launch::async, [&] {
    uint32_t events = 0xFF;
    const bool ok = port_.WaitCommEvent(&events);
    return std::make_pair(ok, events);
  });
  ASSERT_TRUE(port_.SetCommMask(0));
  ASSERT_EQ(waited.wait_for(kSafetyNet), std::future_status::ready) << "the wait was not cancelled";
  EXPECT_EQ(waited.get(), std::make_pair(true, uint32_t{0}));

  // A cleared mask makes a later wait return at once too: a stop request
  // that comes before the wait is not lost.
  uint32_t events = 0xFF;
  EXPECT_TRUE(port_.WaitCommEvent(&events));
  EXPECT_EQ(events, 0u);

  // Re-armed, the old cancellation must not end the next wait early: it
  // returns for the data, not for the stale wake-up.
  ASSERT_TRUE(port_.SetCommMask(kEvRxChar));
  auto rearmed = std::async(std::launch::async, [&] {
    uint32_t got = 0;
    port_.WaitCommEvent(&got);
    return got;
  });
  ASSERT_TRUE(pty_.Write("x"));
  ASSERT_EQ(rearmed.wait_for(kSafetyNet), std::future_status::ready);
  EXPECT_EQ(rearmed.get(), kEvRxChar);
}

TEST_F(SerialPortTest, ClosedMasterIsReportedAsAccessDenied) {
  ASSERT_TRUE(port_.SetCommMask(kEvRxChar));
  auto waited = std::async(std::launch::async, [&] {
    uint32_t events = 0;
    const bool ok = port_.WaitCommEvent(&events);
    EXPECT_EQ(GetLastErrno(), EIO);
    return std::make_pair(ok, GetLastError());
  });
  pty_.CloseMaster();
  ASSERT_EQ(waited.wait_for(kSafetyNet), std::future_status::ready);
  EXPECT_EQ(waited.get(), std::make_pair(false, kErrorAccessDenied));

  // And it stays so: a receiver that waits again is told again.
  uint32_t events = 0;
  EXPECT_FALSE(port_.WaitCommEvent(&events));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  const uint8_t byte = 'A';
  size_t written = 0;
  EXPECT_FALSE(port_.WriteFile(&byte, 1, &written));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

TEST_F(SerialPortTest, LargeWritesArriveWholeAndInOrder) {
  // Several times what a pseudo-terminal buffers, so the write has to wait
  // for the reader more than once.
  std::vector<uint8_t> data(64 * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  auto reader = std::async(std::launch::async, [&] {
    std::vector<uint8_t> received(data.size());
    size_t got = 0;
    pty_.ReadExactly(received.data(), received.size(), &got, 10000);
    received.resize(got);
    return received;
  });
  size_t written = 0;
  ASSERT_TRUE(port_.WriteFile(data.data(), data.size(), &written)) << "error " << GetLastError();
  EXPECT_EQ(written, data.size());
  EXPECT_EQ(reader.get(), data);
}

TEST_F(SerialPortTest, WriteToALineThatTakesNothingFailsAfterItsTimeoutAndTellsWhatWentOut) {
  CommTimeouts timeouts;
  ASSERT_TRUE(port_.GetCommTimeouts(&timeouts));
  timeouts.read_interval_timeout = kMaxDword;
  timeouts.write_total_timeout_constant = 50;
  ASSERT_TRUE(port_.SetCommTimeouts(timeouts));
  std::vector<uint8_t> data(64 * 1024, 0x5A);
  size_t written = 0;
  EXPECT_FALSE(port_.WriteFile(data.data(), data.size(), &written));
  EXPECT_EQ(GetLastError(), kErrorTimeout);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, data.size());

  std::vector<uint8_t> received(data.size());
  size_t got = 0;
  ASSERT_TRUE(pty_.ReadExactly(received.data(), written, &got, 10000));
  EXPECT_EQ(got, written);
  size_t more = 0;
  ASSERT_TRUE(pty_.Read(received.data(), received.size(), &more, 0));
  EXPECT_EQ(more, 0u) << "more went out than WriteFile reported";
}

TEST(PseudoTerminalTest, CarriesBytesBothWaysAndReportsTheSlaveGone) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.Open());
  EXPECT_EQ(pty.SlavePath().rfind("/dev/pts/", 0), 0u) << pty.SlavePath();
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.SlavePath()));

  const uint8_t out[] = {0x00, 0x0D, 0x0A, 0x1A, 0x11, 0x13, 0xFF};  // NUL, CR, LF, ^Z, XON, XOFF
  size_t written = 0;
  ASSERT_TRUE(port.WriteFile(out, sizeof out, &written));
  uint8_t in[sizeof out] = {};
  size_t got = 0;
  ASSERT_TRUE(pty.ReadExactly(in, sizeof in, &got, 10000));
  ASSERT_EQ(got, sizeof out);
  EXPECT_EQ(std::vector<uint8_t>(in, in + got), std::vector<uint8_t>(out, out + sizeof out))
      << "the master must be raw: bytes pass unchanged";

  port.Close();
  EXPECT_FALSE(pty.Read(in, sizeof in, &got, 10000));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

}  // namespace
}  // namespace platform
