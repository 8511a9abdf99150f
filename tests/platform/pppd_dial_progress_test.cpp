#include "platform/pppd_dial_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

// Feeds the lines and collects every stage reported, in order.
std::vector<RasConnState> Feed(PppdDialProgress& progress, const std::vector<std::string>& lines) {
  std::vector<RasConnState> stages;
  for (const std::string& line : lines) {
    for (RasConnState stage : progress.OnLine(ParsePppdLogLine(line))) stages.push_back(stage);
  }
  return stages;
}

TEST(PppdDialProgressTest, AWholeCallReachesEveryStageOnceAndInOrder) {
  PppdDialProgress progress;
  const auto stages = Feed(progress, {
                                        "Plugin passwordfd.so loaded.",
                                        "vombel-connect: dialling",
                                        "Serial connection established.",
                                        "Using interface ppp0",
                                        "Connect: ppp0 <--> /dev/ttyUSB2",
                                        "PAP authentication succeeded",
                                        "local  IP address 10.64.109.3",
                                        "remote IP address 10.64.64.64",
                                        "Connect: ppp1 <--> /dev/ttyUSB2",  // nothing moves back
                                    });
  EXPECT_EQ(stages, (std::vector<RasConnState>{RASCS_PortOpened, RASCS_ConnectDevice, RASCS_DeviceConnected,
                                               RASCS_AllDevicesConnected, RASCS_Authenticate, RASCS_Authenticated,
                                               RASCS_Projected, RASCS_Connected}));
  EXPECT_TRUE(progress.Connected());
  EXPECT_EQ(progress.Interface(), "ppp0");
  EXPECT_EQ(progress.LocalAddress(), "10.64.109.3");
  EXPECT_EQ(progress.RemoteAddress(), "10.64.64.64");
  // Whatever ends a link that was up, it went down.
  for (int code : {0, 5, 15, 16, 19, kPppdKilled}) {
    EXPECT_EQ(progress.ErrorOnExit(code), kRasErrorPortDisconnected) << code;
  }
}

TEST(PppdDialProgressTest, ALineOfALaterStageReachesTheSkippedOnes) {
  PppdDialProgress progress;
  EXPECT_EQ(Feed(progress, {"local  IP address 10.1.2.3"}),
            (std::vector<RasConnState>{RASCS_PortOpened, RASCS_ConnectDevice, RASCS_DeviceConnected,
                                       RASCS_AllDevicesConnected, RASCS_Authenticate, RASCS_Authenticated,
                                       RASCS_Projected, RASCS_Connected}));
}

TEST(PppdDialProgressTest, HowACallThatNeverCameUpEnded) {
  struct Row {
    const char* what;
    std::vector<std::string> lines;
    int exit_code;
    RasConnState stage;
    uint32_t error;
  } rows[] = {
      {"no /dev/ppp (pppd 2.4.9 here)",
       {"Plugin passwordfd.so loaded.", "Couldn't open the /dev/ppp device: No such file or directory"},
       4, RASCS_OpenPort, kDialUpErrorNoKernelPpp},
      {"no kernel support without its line", {}, 4, RASCS_OpenPort, kDialUpErrorNoKernelPpp},
      {"pppd not setuid root", {"pppd: must be root to run pppd, since it is not setuid-root"}, 3,
       RASCS_OpenPort, kDialUpErrorPppdNotPermitted},
      {"installed peer file gone",
       {"/usr/sbin/pppd: Can't open options file /etc/ppp/peers/vombel-connect: No such file or directory"}, 2,
       RASCS_OpenPort, kDialUpErrorNotInstalled},
      {"another options file", {"pppd: Can't open options file /home/u/x: Permission denied"}, 2,
       RASCS_OpenPort, kDialUpErrorPppdFailed},
      {"option error", {"/usr/sbin/pppd: unrecognized option 'bogus'"}, 2, RASCS_OpenPort, kDialUpErrorPppdFailed},
      {"UUCP lock of another program", {"Device /dev/ttyUSB2 is locked by pid 4242"}, 6, RASCS_OpenPort,
       kRasErrorPortNotAvailable},
      {"port held (TIOCEXCL)", {"Failed to open /dev/ttyUSB2: Device or resource busy"}, 7, RASCS_OpenPort,
       kRasErrorPortNotAvailable},
      {"port not ours", {"Failed to open /dev/ttyUSB2: Permission denied"}, 7, RASCS_OpenPort,
       kDialUpErrorPortNotPermitted},
      {"port gone", {"Failed to open /dev/ttyUSB2: No such device or address"}, 7, RASCS_OpenPort,
       kRasErrorDeviceNotFound},
      {"dial string refused", {"vombel-connect: dialling", "\rFailed (ERROR)", "Connect script failed"}, 8,
       RASCS_ConnectDevice, kRasErrorFromDevice},
      {"no carrier", {"vombel-connect: dialling", "Failed (NO CARRIER)", "Connect script failed"}, 8,
       RASCS_ConnectDevice, kRasErrorFromDevice},
      {"no CONNECT in time", {"vombel-connect: dialling", "\rFailed", "Connect script failed"}, 8,
       RASCS_ConnectDevice, kRasErrorNoAnswer},
      {"card silent to AT", {"\rFailed", "Connect script failed"}, 8, RASCS_OpenPort, kRasErrorNoAnswer},
      {"NO ANSWER", {"vombel-connect: dialling", "Failed (NO ANSWER)"}, 8, RASCS_ConnectDevice, kRasErrorNoAnswer},
      {"connect script died silently", {"Connect script failed"}, 8, RASCS_OpenPort, kRasErrorFromDevice},
      {"log-in refused",
       {"vombel-connect: dialling", "Serial connection established.", "Using interface ppp0",
        "Connect: ppp0 <--> /dev/ttyUSB2", "PAP authentication failed", "Connection terminated."},
       19, RASCS_Authenticate, kRasErrorAuthenticationFailure},
      {"log-in refused, then the card hung up", {"CHAP authentication failed", "Modem hangup"}, 16,
       RASCS_Authenticate, kRasErrorAuthenticationFailure},
      {"LCP gave up", {"Serial connection established.", "LCP: timeout sending Config-Requests"}, 10,
       RASCS_DeviceConnected, kRasErrorPppTimeout},
      {"card hung up while negotiating", {"Serial connection established.", "Modem hangup"}, 16,
       RASCS_DeviceConnected, kRasErrorPortDisconnected},
      {"someone else stopped pppd", {"vombel-connect: dialling"}, 5, RASCS_ConnectDevice, kRasErrorPortDisconnected},
      {"killed", {"vombel-connect: dialling"}, kPppdKilled, RASCS_ConnectDevice, kDialUpErrorPppdFailed},
      {"fatal error", {}, 1, RASCS_OpenPort, kDialUpErrorPppdFailed},
      {"ended well without a link", {}, 0, RASCS_OpenPort, kDialUpErrorPppdFailed},
      {"loopback", {"Serial connection established."}, 17, RASCS_DeviceConnected, kDialUpErrorPppdFailed},
  };
  for (const Row& row : rows) {
    PppdDialProgress progress;
    Feed(progress, row.lines);
    EXPECT_EQ(progress.Stage(), row.stage) << row.what;
    EXPECT_EQ(progress.ErrorOnExit(row.exit_code), row.error) << row.what;
  }
}

}  // namespace
}  // namespace platform
