#include "platform/pppd_dial_up_service.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <map>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/pppd_peer_file.h"
#include "platform/pty.h"
#include "platform/serial_port.h"
#include "platform/sim_device_tree.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "tests/support/eventually.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using testing_support::Eventually;
using testing_support::kSafetyNet;
using testing_support::ScopedEnv;
using testing_support::TempDir;

constexpr char16_t kEntry[] = u"VLConnect";
constexpr char kModemName[] = "Vombel Test Modem";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
  { std::ofstream(path, std::ios::binary) << text; }
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

template <size_t N>
void Set(char16_t (&field)[N], std::u16string_view text) {
  std::fill(field, field + N, u'\0');
  std::copy(text.begin(), text.end(), field);
}

// The entry the device library writes for its temporary connection.
RasEntry LibraryEntry(std::u16string_view device_name = u"Vombel Test Modem") {
  RasEntry entry{};
  entry.dwSize = sizeof entry;
  entry.dwfOptions = 0x10118;
  entry.dwCountryID = 1;
  entry.dwCountryCode = 1;
  Set(entry.szLocalPhoneNumber, u"*99***1#");
  entry.dwfNetProtocols = RASNP_Ip;
  entry.dwFramingProtocol = RASFP_Ppp;
  Set(entry.szDeviceType, u"modem");
  Set(entry.szDeviceName, device_name);
  entry.dwSubEntries = 1;
  entry.dwDialMode = 2;
  entry.dwIdleDisconnectSeconds = 0xFFFFFFFF;
  return entry;
}

// The callbacks of one service, as they came.
class Calls {
 public:
  using Call = std::tuple<HRASCONN, uint32_t, uint32_t>;

  RasDialFunc1 Callback() {
    return [this](HRASCONN connection, uint32_t state, uint32_t error) {
      std::lock_guard lock(mutex_);
      calls_.emplace_back(connection, state, error);
      cv_.notify_all();
    };
  }
  // Waits until a call with `state` (or an error) has come; all calls so far.
  std::vector<Call> WaitFor(uint32_t state) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, kSafetyNet, [&] {
      for (const Call& call : calls_) {
        if (std::get<1>(call) == state || std::get<2>(call) != 0) return true;
      }
      return false;
    });
    return calls_;
  }
  std::vector<Call> WaitForError() { return WaitFor(0xFFFFFFFF); }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
};

std::vector<uint32_t> States(const std::vector<Calls::Call>& calls) {
  std::vector<uint32_t> states;
  for (const auto& call : calls) states.push_back(std::get<1>(call));
  return states;
}

// A phonebook, the program's files under a private "/etc/ppp", a modem on a
// pseudo-terminal in a simulated device tree, and stand-ins for pppd.
class PppdDialUpServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Open());
    SimDeviceTree::Node modem;
    modem.class_guid = std::string(kDeviceClassModem);
    modem.friendly_name = SimDeviceTree::Sz(kModemName);
    modem.device_key = std::map<std::u16string, std::u16string>{{u"PortName", u"VTESTMODEM"}};
    tree_.Add(0, modem);
    tree_.AddDeviceName(u"\\\\.\\VTESTMODEM", pty_.SlavePath());
    InstallProgramFiles(ppp_dir_);
    ASSERT_EQ(::mkdir(net_dir_.c_str(), 0755), 0);
  }

  // What `cmake --install` puts under /etc/ppp, for a folder of our own.
  static void InstallProgramFiles(const std::string& dir) {
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir + "/peers").c_str(), 0755), 0);
    std::string peer = ReadFile(std::string(VOMBEL_PPP_TEMPLATES) + "/vombel-connect.peer.in");
    for (size_t at; (at = peer.find("@VOMBEL_PPP_DIR@")) != std::string::npos;) peer.replace(at, 16, dir);
    WriteFile(dir + "/peers/vombel-connect", peer);
    WriteFile(dir + "/vombel-connect.chat", ReadFile(std::string(VOMBEL_PPP_TEMPLATES) + "/vombel-connect.chat"));
  }

  // A pppd stand-in: a shell script with `body`, in our folder.
  std::string StandIn(const std::string& name, const std::string& body) {
    const std::string path = dir_.Path() + "/" + name;
    WriteFile(path, "#!/bin/sh\n" + body, 0755);
    return path;
  }

  std::unique_ptr<PppdDialUpService> Service(const std::string& pppd) {
    PppdDialUpService::Options options;
    options.pppd = pppd;
    options.ppp_dir = ppp_dir_;
    options.net_class_dir = net_dir_;
    return std::make_unique<PppdDialUpService>(options);
  }

  void WriteEntry(DialUpService& service, const RasEntry& entry = LibraryEntry()) {
    ASSERT_EQ(service.SetEntryProperties(phonebook_, kEntry, entry), 0u);
  }

  static RasDialParams Params(std::u16string_view user = u"alice", std::u16string_view password = u"s3cret pw") {
    RasDialParams params{};
    params.dwSize = sizeof params;
    Set(params.szEntryName, kEntry);
    Set(params.szUserName, user);
    Set(params.szPassword, password);
    return params;
  }

  TempDir dir_{"vombel-pppd"};
  const std::string ppp_dir_ = dir_.Path() + "/etc-ppp";
  const std::string net_dir_ = dir_.Path() + "/net";
  const std::u16string phonebook_ = Utf8ToUtf16(dir_.Path() + "/peers");
  PseudoTerminal pty_;
  SimDeviceTree tree_;
  ScopedDeviceTree scoped_tree_{tree_};
  Calls calls_;
};

// --- the phonebook ---------------------------------------------------------------

TEST_F(PppdDialUpServiceTest, EntryRoundTripsThroughAPrivatePeerFile) {
  auto service = Service("/nonexistent");
  EXPECT_EQ(service->ValidateEntryName(phonebook_, kEntry), 0u);
  WriteEntry(*service);
  EXPECT_EQ(service->ValidateEntryName(phonebook_, kEntry), kErrorAlreadyExists);

  RasEntry read{};
  read.dwSize = sizeof read;
  ASSERT_EQ(service->GetEntryProperties(phonebook_, kEntry, read), 0u);
  const RasEntry written = LibraryEntry();
  EXPECT_EQ(std::memcmp(&read, &written, sizeof read), 0);

  const std::string folder = Utf16ToUtf8(phonebook_);
  struct stat info{};
  ASSERT_EQ(::stat((folder + "/VLConnect").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // A corrected device name replaces the file, leaving nothing beside it.
  const RasEntry corrected = LibraryEntry(u"Another Modem");
  WriteEntry(*service, corrected);
  ASSERT_EQ(service->GetEntryProperties(phonebook_, kEntry, read), 0u);
  EXPECT_EQ(Utf16ToUtf8(read.szDeviceName), "Another Modem");
  EXPECT_EQ(ReadFile(folder + "/VLConnect").find("Vombel Test Modem"), std::string::npos);

  EXPECT_EQ(service->DeleteEntry(phonebook_, kEntry), 0u);
  EXPECT_EQ(service->DeleteEntry(phonebook_, kEntry), kRasErrorCannotFindPhonebookEntry);
  EXPECT_EQ(service->GetEntryProperties(phonebook_, kEntry, read), kRasErrorCannotFindPhonebookEntry);
}

TEST_F(PppdDialUpServiceTest, DefaultPhonebookLivesInTheUsersDataFolder) {
  ScopedEnv data("XDG_DATA_HOME", dir_.Path() + "/data");
  auto service = Service("/nonexistent");
  ASSERT_EQ(service->SetEntryProperties(u"", kEntry, LibraryEntry()), 0u);
  EXPECT_NE(ReadFile(dir_.Path() + "/data/vombel-connect/peers/VLConnect").find("*99***1#"), std::string::npos);
}

TEST_F(PppdDialUpServiceTest, NamesAndRecordsTheServiceRefuses) {
  auto service = Service("/nonexistent");
  const std::u16string lone_surrogate(1, char16_t{0xD800});
  for (const std::u16string& name : {std::u16string(), std::u16string(u".hidden"), std::u16string(u"a/b"),
                                     std::u16string(u"a\\b"), std::u16string(u"tab\there"), lone_surrogate,
                                     std::u16string(257, u'a')}) {
    EXPECT_EQ(service->ValidateEntryName(phonebook_, name), kErrorInvalidName) << Utf16ToUtf8(name);
    EXPECT_EQ(service->SetEntryProperties(phonebook_, name, LibraryEntry()), kErrorInvalidName);
  }
  // 256 characters are a name, though longer than a file name may be.
  const std::u16string longest(256, u'\u00e4');
  ASSERT_EQ(service->SetEntryProperties(phonebook_, longest, LibraryEntry()), 0u);
  EXPECT_EQ(service->ValidateEntryName(phonebook_, longest), kErrorAlreadyExists);
  EXPECT_EQ(service->ValidateEntryName(phonebook_, std::u16string(255, u'\u00e4')), 0u);

  RasEntry entry = LibraryEntry();
  entry.dwSize = 4000;
  EXPECT_EQ(service->SetEntryProperties(phonebook_, kEntry, entry), kRasErrorInvalidSize);
  EXPECT_EQ(service->GetEntryProperties(phonebook_, kEntry, entry), kRasErrorInvalidSize);
  entry = LibraryEntry();
  Set(entry.szLocalPhoneNumber, u"*99#;\"$(reboot)\"");
  EXPECT_EQ(service->SetEntryProperties(phonebook_, kEntry, entry), kErrorInvalidParameter);
  entry = LibraryEntry(u"Modem\nnoauth");
  EXPECT_EQ(service->SetEntryProperties(phonebook_, kEntry, entry), kErrorInvalidParameter);
}

// --- dialling: what Dial itself refuses ----------------------------------------

TEST_F(PppdDialUpServiceTest, DialRefusesWhatCanBeCheckedBeforePppdRuns) {
  const std::string stand_in = StandIn("pppd", "exit 0\n");
  {
    auto service = Service(dir_.Path() + "/no-such-pppd");
    WriteEntry(*service);
    HRASCONN connection = 77;
    EXPECT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), kDialUpErrorPppdMissing);
    EXPECT_EQ(connection, 0u);
  }
  {
    const std::string not_executable = StandIn("pppd-0644", "exit 0\n");
    ASSERT_EQ(::chmod(not_executable.c_str(), 0644), 0);
    auto service = Service(not_executable);
    HRASCONN connection = 0;
    EXPECT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), kDialUpErrorPppdNotPermitted);
  }
  {
    PppdDialUpService::Options options;
    options.pppd = stand_in;
    options.ppp_dir = dir_.Path() + "/empty-etc-ppp";
    PppdDialUpService service(options);
    HRASCONN connection = 0;
    EXPECT_EQ(service.Dial(phonebook_, Params(), calls_.Callback(), &connection), kDialUpErrorNotInstalled);
  }
  auto service = Service(stand_in);
  HRASCONN connection = 0;
  RasDialParams params = Params();
  params.dwSize = 2000;
  EXPECT_EQ(service->Dial(phonebook_, params, calls_.Callback(), &connection), kRasErrorInvalidSize);
  params = Params();
  Set(params.szEntryName, u"Nobody");
  EXPECT_EQ(service->Dial(phonebook_, params, calls_.Callback(), &connection), kRasErrorCannotFindPhonebookEntry);
  EXPECT_EQ(service->Dial(phonebook_, Params(u"alice", std::u16string(256, u'p')), calls_.Callback(), &connection),
            kErrorInvalidParameter);  // longer than pppd takes a password

  WriteEntry(*service, LibraryEntry(u"Unplugged Modem"));
  EXPECT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), kRasErrorDeviceNotFound);

  WriteEntry(*service);
  SerialPort other_program;
  ASSERT_TRUE(other_program.Open(pty_.SlavePath()));
  EXPECT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), kRasErrorPortNotAvailable);
  EXPECT_EQ(connection, 0u);
  EXPECT_EQ(service->HangUp(connection), kErrorInvalidHandle);
}

// --- dialling: what pppd finds out -----------------------------------------------

TEST_F(PppdDialUpServiceTest, RealPppdWithoutKernelSupportEndsTheCallWithItsError) {
  if (::access("/dev/ppp", F_OK) == 0) GTEST_SKIP() << "/dev/ppp exists: pppd would get past its kernel check";
  if (::access("/usr/sbin/pppd", X_OK) != 0) GTEST_SKIP() << "pppd is not installed (Debian package ppp)";
  // pppd honours the privileged options of a file outside /etc/ppp/peers
  // for root only; an ordinary user needs the program's files installed.
  const bool installed = ::access("/etc/ppp/peers/vombel-connect", R_OK) == 0;
  if (::geteuid() != 0 && !installed) GTEST_SKIP() << "neither root nor the program's /etc/ppp files installed";
  PppdDialUpService::Options options;
  options.ppp_dir = ::geteuid() == 0 ? ppp_dir_ : "/etc/ppp";
  PppdDialUpService service(options);
  WriteEntry(service);

  HRASCONN connection = 0;
  ASSERT_EQ(service.Dial(phonebook_, Params(), calls_.Callback(), &connection), 0u);
  ASSERT_NE(connection, 0u);
  const auto calls = calls_.WaitForError();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], Calls::Call(connection, RASCS_OpenPort, 0));
  EXPECT_EQ(calls[1], Calls::Call(connection, RASCS_OpenPort, kDialUpErrorNoKernelPpp));
  RasConnStatus status{};
  status.dwSize = sizeof status;
  ASSERT_EQ(service.GetConnectStatus(connection, status), 0u);
  EXPECT_EQ(status.rasconnstate, RASCS_Disconnected);
  EXPECT_EQ(status.dwError, kDialUpErrorNoKernelPpp);
  EXPECT_EQ(Utf16ToUtf8(status.szDeviceName), kModemName);
  EXPECT_EQ(service.HangUp(connection), 0u);
  EXPECT_EQ(service.GetConnectStatus(connection, status), kErrorInvalidHandle);
}

TEST_F(PppdDialUpServiceTest, RealPppdAcceptsEveryOptionOfTheFilesTheProgramWrites) {
  if (::access("/usr/sbin/pppd", X_OK) != 0) GTEST_SKIP() << "pppd is not installed (Debian package ppp)";
  if (::access("/dev/ppp", R_OK | W_OK) != 0) {
    GTEST_SKIP() << "no usable /dev/ppp: pppd stops at its kernel check (exit 4) before its dryrun";
  }
  if (::geteuid() != 0) GTEST_SKIP() << "the installed file from a private folder counts as privileged for root only";
  // pppd with "dryrun" reads every option, checks them and exits 0.
  const std::string status = dir_.Path() + "/status";
  auto service = Service(StandIn("pppd-dryrun", "/usr/sbin/pppd \"$@\" dryrun; echo $? > " + status + "\n"));
  WriteEntry(*service);
  HRASCONN connection = 0;
  ASSERT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), 0u);
  calls_.WaitForError();
  EXPECT_EQ(ReadFile(status), "0\n");
  service->HangUp(connection);
}

TEST_F(PppdDialUpServiceTest, RefusedLogInEndsTheCallInItsStage) {
  auto service = Service(StandIn("pppd-auth", R"(echo "Plugin passwordfd.so loaded."
echo "vombel-connect: dialling" >&2
echo "Serial connection established."
echo "Using interface ppp0"
echo "Connect: ppp0 <--> $5"
echo "PAP authentication failed"
echo "Connection terminated."
exit 19
)"));
  WriteEntry(*service);
  HRASCONN connection = 0;
  ASSERT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), 0u);
  const auto calls = calls_.WaitForError();
  EXPECT_EQ(States(calls), (std::vector<uint32_t>{RASCS_OpenPort, RASCS_PortOpened, RASCS_ConnectDevice,
                                                  RASCS_DeviceConnected, RASCS_AllDevicesConnected,
                                                  RASCS_Authenticate, RASCS_Authenticate}));
  EXPECT_EQ(calls.back(), Calls::Call(connection, RASCS_Authenticate, kRasErrorAuthenticationFailure));
  RasPppIp ip{};
  ip.dwSize = sizeof ip;
  EXPECT_EQ(service->GetProjectionInfo(connection, RASP_PppIp, ip), kRasErrorProtocolNotConfigured);
  EXPECT_EQ(service->HangUp(connection), 0u);
}

TEST_F(PppdDialUpServiceTest, ConnectedCallHasItsAddressAndCountersAndHangsUp) {
  VirtualClock clock;
  ScopedClock scoped_clock(clock);
  const std::string args = dir_.Path() + "/args";
  const std::string password = dir_.Path() + "/password";
  const std::string pid = dir_.Path() + "/pid";
  auto service = Service(StandIn("pppd-up", "printf '%s\\n' \"$@\" > " + args + "\ncat <&3 > " + password +
                                                "\necho $$ > " + pid + R"(
echo "vombel-connect: dialling"
echo "Serial connection established."
echo "Using interface ppp7"
echo "Connect: ppp7 <--> $5"
echo "PAP authentication succeeded"
echo "local  IP address 10.11.12.13"
echo "remote IP address 10.64.64.64"
exec sleep 1000 </dev/null
)"));
  ASSERT_EQ(::mkdir((net_dir_ + "/ppp7").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((net_dir_ + "/ppp7/statistics").c_str(), 0755), 0);
  WriteFile(net_dir_ + "/ppp7/statistics/tx_bytes", "4294967596\n");  // 2^32 + 300: a DWORD wraps
  WriteFile(net_dir_ + "/ppp7/statistics/rx_bytes", "12345\n");
  WriteFile(net_dir_ + "/ppp7/statistics/tx_packets", "7\n");
  WriteFile(net_dir_ + "/ppp7/statistics/rx_packets", "9\n");
  WriteEntry(*service);

  HRASCONN connection = 0;
  ASSERT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), 0u);
  const auto calls = calls_.WaitFor(RASCS_Connected);
  EXPECT_EQ(States(calls), (std::vector<uint32_t>{RASCS_OpenPort, RASCS_PortOpened, RASCS_ConnectDevice,
                                                  RASCS_DeviceConnected, RASCS_AllDevicesConnected,
                                                  RASCS_Authenticate, RASCS_Authenticated, RASCS_Projected,
                                                  RASCS_Connected}));

  RasConnStatus status{};
  status.dwSize = sizeof status;
  ASSERT_EQ(service->GetConnectStatus(connection, status), 0u);
  EXPECT_EQ(status.rasconnstate, RASCS_Connected);
  EXPECT_EQ(status.dwError, 0u);
  EXPECT_EQ(Utf16ToUtf8(status.szPhoneNumber), "*99***1#");

  RasPppIp ip{};
  ip.dwSize = sizeof ip;
  ASSERT_TRUE(Eventually([&] {  // the remote address is the line after
    return service->GetProjectionInfo(connection, RASP_PppIp, ip) == 0 && ip.szServerIpAddress[0] != 0;
  }));
  EXPECT_EQ(Utf16ToUtf8(ip.szIpAddress), "10.11.12.13");
  EXPECT_EQ(Utf16ToUtf8(ip.szServerIpAddress), "10.64.64.64");

  clock.Advance(2500);
  RasStats stats{};
  stats.dwSize = sizeof stats;
  ASSERT_EQ(service->GetConnectionStatistics(connection, stats), 0u);
  EXPECT_EQ(stats.dwBytesXmited, 300u);
  EXPECT_EQ(stats.dwBytesRcved, 12345u);
  EXPECT_EQ(stats.dwFramesXmited, 7u);
  EXPECT_EQ(stats.dwFramesRcved, 9u);
  EXPECT_EQ(stats.dwConnectDuration, 2500u);

  // The password came on descriptor 3 only; the options are the
  // unprivileged ones, after the installed file and the entry's.
  EXPECT_EQ(ReadFile(password), "s3cret pw");
  const std::string command_line = ReadFile(args);
  EXPECT_EQ(command_line.find("s3cret"), std::string::npos);
  EXPECT_EQ(command_line, "file\n" + ppp_dir_ + "/peers/vombel-connect\nfile\n" + Utf16ToUtf8(phonebook_) +
                              "/VLConnect\n" + pty_.SlavePath() +
                              "\nnodetach\nlogfd\n2\npasswordfd\n3\nuser\nalice\n");

  const pid_t pppd = std::stoi(ReadFile(pid));
  EXPECT_EQ(service->HangUp(connection), 0u);
  EXPECT_NE(::kill(pppd, 0), 0) << "HangUp returned before pppd ended";
  EXPECT_EQ(service->GetConnectStatus(connection, status), kErrorInvalidHandle);
  EXPECT_EQ(service->HangUp(connection), kErrorInvalidHandle);
  EXPECT_EQ(States(calls_.WaitFor(RASCS_Connected)).size(), 9u);  // no callback after Connected
}

TEST_F(PppdDialUpServiceTest, HangUpKillsAPppdThatIgnoresSigterm) {
  VirtualClock clock;
  ScopedClock scoped_clock(clock);
  const std::string pid = dir_.Path() + "/pid";
  auto service = Service(StandIn("pppd-stubborn", "trap '' TERM\necho $$ > " + pid + R"(
echo "local  IP address 10.11.12.13"
exec sleep 1000 </dev/null
)"));
  WriteEntry(*service);
  HRASCONN connection = 0;
  ASSERT_EQ(service->Dial(phonebook_, Params(), calls_.Callback(), &connection), 0u);
  calls_.WaitFor(RASCS_Connected);
  const pid_t pppd = std::stoi(ReadFile(pid));

  auto hang_up = std::async(std::launch::async, [&] { return service->HangUp(connection); });
  clock.AdvanceWhenWaiting(PppdDialUpService::kTerminateGraceMs);  // SIGTERM changed nothing
  ASSERT_EQ(hang_up.wait_for(kSafetyNet), std::future_status::ready);
  EXPECT_EQ(hang_up.get(), 0u);
  EXPECT_NE(::kill(pppd, 0), 0);
}

TEST_F(PppdDialUpServiceTest, ADialStringTheCardRefusesEndsTheCall) {
  const std::string args = dir_.Path() + "/args";
  auto service = Service(StandIn("pppd-dial", "printf '%s\\n' \"$@\" > " + args + R"(
echo "vombel-connect: dialling" >&2
printf '\rFailed (ERROR)\n' >&2
echo "Connect script failed"
exit 8
)"));
  WriteEntry(*service);
  HRASCONN connection = 0;
  RasDialParams params = Params(u"", u"");
  Set(params.szPhoneNumber, u"*99#");
  ASSERT_EQ(service->Dial(phonebook_, params, calls_.Callback(), &connection), 0u);
  const auto calls = calls_.WaitForError();
  EXPECT_EQ(calls.back(), Calls::Call(connection, RASCS_ConnectDevice, kRasErrorFromDevice));
  RasConnStatus status{};
  status.dwSize = sizeof status;
  ASSERT_EQ(service->GetConnectStatus(connection, status), 0u);
  EXPECT_EQ(Utf16ToUtf8(status.szPhoneNumber), "*99#");  // the number dialled, not the entry's
  // The number of this call overrides the entry's; no user name, no "user".
  EXPECT_TRUE(ReadFile(args).ends_with("\npasswordfd\n3\nset\nVOMBEL_DIAL_NUMBER=*99#\n")) << ReadFile(args);
  EXPECT_EQ(service->HangUp(connection), 0u);
}

}  // namespace
}  // namespace platform
