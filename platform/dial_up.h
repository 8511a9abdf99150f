// The dial-up service: phonebook entries, dialling a packet-data call over a
// card's modem, its status, hang-up, traffic statistics and the IP address
// the link was given. The records keep the layouts and sizes the callers
// were designed around; the calls speak the remote-access error numbers
// (600 and up) and the platform's own ones below.
//
// Backends: `PppdDialUpService` runs the system's pppd on the modem port;
// `SimDialUpService` dials the simulated card's modem port and plays the
// link's stages. CurrentDialUpService() is the one the program uses.
//
// Threads: every call may be made from any thread. The dial callback runs
// on the service's own thread, never inside a call of the caller's; the
// service never holds a lock of its own while it calls back, so the
// callback may call the service (HangUp, GetConnectStatus).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Connection handle: 0 is none.
using HRASCONN = uint64_t;

// Dial stages (RASCONNSTATE). The callback sees them in order; a failure
// comes with the stage it happened in.
enum RasConnState : uint32_t {
  RASCS_OpenPort = 0,
  RASCS_PortOpened = 1,
  RASCS_ConnectDevice = 2,
  RASCS_DeviceConnected = 3,
  RASCS_AllDevicesConnected = 4,
  RASCS_Authenticate = 5,
  RASCS_AuthNotify = 6,
  RASCS_Authenticated = 14,
  RASCS_PrepareForCallback = 15,
  RASCS_Projected = 18,
  RASCS_Connected = 0x2000,
  RASCS_Disconnected = 0x2001,
};

// Error numbers of the service.
inline constexpr uint32_t kRasErrorPortDisconnected = 619;      // the link went down
inline constexpr uint32_t kRasErrorCannotFindPhonebookEntry = 623;
inline constexpr uint32_t kRasErrorCannotLoadPhonebook = 621;   // the phonebook folder is unusable
inline constexpr uint32_t kRasErrorPortNotAvailable = 633;      // another program holds the modem port
inline constexpr uint32_t kRasErrorDeviceNotFound = 657;        // no modem of the entry's name (ERROR_DEVICE_DOES_NOT_EXIST)
inline constexpr uint32_t kRasErrorFromDevice = 651;            // the card refused the dial string
inline constexpr uint32_t kRasErrorNoAnswer = 678;              // the card did not answer the dial string
inline constexpr uint32_t kRasErrorAuthenticationFailure = 691; // the network refused the user name or password
inline constexpr uint32_t kRasErrorPppTimeout = 718;            // the link did not come up in time
inline constexpr uint32_t kRasErrorProtocolNotConfigured = 731; // no IP projection (not connected)
inline constexpr uint32_t kRasErrorInvalidSize = 632;           // a record with a wrong dwSize
// The platform's own.
inline constexpr uint32_t kDialUpErrorPppdMissing = 950;        // pppd is not installed
inline constexpr uint32_t kDialUpErrorPppdNotPermitted = 951;   // the user may not run pppd (not in the dip group)
inline constexpr uint32_t kDialUpErrorNoKernelPpp = 952;        // the kernel has no PPP support (/dev/ppp)
inline constexpr uint32_t kDialUpErrorPppdFailed = 953;         // pppd ended for another reason (see the log)
inline constexpr uint32_t kDialUpErrorNotInstalled = 954;       // the program's pppd options under /etc/ppp are missing
inline constexpr uint32_t kDialUpErrorPortNotPermitted = 955;   // the user may not open the modem port (not in the dialout group)

// A message a user understands for one of the numbers above (and for the
// Win32 numbers the service returns); null for any other.
const char* DialUpErrorText(uint32_t error);

inline constexpr size_t RAS_MaxAreaCode = 10;
inline constexpr size_t RAS_MaxPhoneNumber = 128;
inline constexpr size_t RAS_MaxDeviceType = 16;
inline constexpr size_t RAS_MaxDeviceName = 128;
inline constexpr size_t RAS_MaxEntryName = 256;
inline constexpr size_t RAS_MaxCallbackNumber = 128;
inline constexpr size_t RAS_MaxX25Address = 200;
inline constexpr size_t RAS_MaxFacilities = 200;
inline constexpr size_t RAS_MaxUserData = 200;
inline constexpr size_t RAS_MaxPadType = 32;
inline constexpr size_t RAS_MaxIpAddress = 15;
inline constexpr size_t UNLEN = 256;
inline constexpr size_t PWLEN = 256;
inline constexpr size_t DNLEN = 15;
inline constexpr size_t MAX_PATH = 260;

inline constexpr uint32_t RASEO_IpHeaderCompression = 0x00000008;
inline constexpr uint32_t RASEO_RemoteDefaultGateway = 0x00000010;
inline constexpr uint32_t RASEO_SecureLocalFiles = 0x00010000;
inline constexpr uint32_t RASEO_ModemLights = 0x00000100;
inline constexpr uint32_t RASNP_Ip = 0x00000004;
inline constexpr uint32_t RASFP_Ppp = 0x00000001;

// A phonebook entry. Texts are zero-terminated UTF-16.
struct RasEntry {
  uint32_t dwSize;
  uint32_t dwfOptions;
  uint32_t dwCountryID;
  uint32_t dwCountryCode;
  char16_t szAreaCode[RAS_MaxAreaCode + 1];
  char16_t szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
  uint32_t dwAlternateOffset;
  uint32_t ipaddr;
  uint32_t ipaddrDns;
  uint32_t ipaddrDnsAlt;
  uint32_t ipaddrWins;
  uint32_t ipaddrWinsAlt;
  uint32_t dwFrameSize;
  uint32_t dwfNetProtocols;
  uint32_t dwFramingProtocol;
  char16_t szScript[MAX_PATH];
  char16_t szAutodialDll[MAX_PATH];
  char16_t szAutodialFunc[MAX_PATH];
  char16_t szDeviceType[RAS_MaxDeviceType + 1];
  char16_t szDeviceName[RAS_MaxDeviceName + 1];
  char16_t szX25PadType[RAS_MaxPadType + 1];
  char16_t szX25Address[RAS_MaxX25Address + 1];
  char16_t szX25Facilities[RAS_MaxFacilities + 1];
  char16_t szX25UserData[RAS_MaxUserData + 1];
  uint32_t dwChannels;
  uint32_t dwReserved1;
  uint32_t dwReserved2;
  uint32_t dwSubEntries;
  uint32_t dwDialMode;
  uint32_t dwDialExtraPercent;
  uint32_t dwDialExtraSampleSeconds;
  uint32_t dwHangUpExtraPercent;
  uint32_t dwHangUpExtraSampleSeconds;
  uint32_t dwIdleDisconnectSeconds;
  uint8_t reserved[552];  // the fields no caller here sets; zero
};
static_assert(sizeof(RasEntry) == 4048);
static_assert(offsetof(RasEntry, szAreaCode) == 16 && offsetof(RasEntry, szLocalPhoneNumber) == 38);
static_assert(offsetof(RasEntry, dwAlternateOffset) == 296 && offsetof(RasEntry, dwFramingProtocol) == 328);
static_assert(offsetof(RasEntry, szScript) == 332 && offsetof(RasEntry, szDeviceType) == 1892);
static_assert(offsetof(RasEntry, szDeviceName) == 1926 && offsetof(RasEntry, dwChannels) == 3456);
static_assert(offsetof(RasEntry, dwIdleDisconnectSeconds) == 3492 && offsetof(RasEntry, reserved) == 3496);

struct RasDialParams {
  uint32_t dwSize;
  char16_t szEntryName[RAS_MaxEntryName + 1];
  char16_t szPhoneNumber[RAS_MaxPhoneNumber + 1];
  char16_t szCallbackNumber[RAS_MaxCallbackNumber + 1];
  char16_t szUserName[UNLEN + 1];
  char16_t szPassword[PWLEN + 1];
  char16_t szDomain[DNLEN + 1];
};
static_assert(sizeof(RasDialParams) == 2096);
static_assert(offsetof(RasDialParams, szEntryName) == 4 && offsetof(RasDialParams, szPhoneNumber) == 518);
static_assert(offsetof(RasDialParams, szUserName) == 1034 && offsetof(RasDialParams, szPassword) == 1548);
static_assert(offsetof(RasDialParams, szDomain) == 2062);

struct RasConnStatus {
  uint32_t dwSize;
  uint32_t rasconnstate;
  uint32_t dwError;
  char16_t szDeviceType[RAS_MaxDeviceType + 1];
  char16_t szDeviceName[RAS_MaxDeviceName + 1];
  char16_t szPhoneNumber[RAS_MaxPhoneNumber + 1];
};
static_assert(sizeof(RasConnStatus) == 564);
static_assert(offsetof(RasConnStatus, dwError) == 8 && offsetof(RasConnStatus, szDeviceType) == 12);
static_assert(offsetof(RasConnStatus, szDeviceName) == 46 && offsetof(RasConnStatus, szPhoneNumber) == 304);

struct RasStats {
  uint32_t dwSize;
  uint32_t dwBytesXmited;
  uint32_t dwBytesRcved;
  uint32_t dwFramesXmited;
  uint32_t dwFramesRcved;
  uint32_t dwCrcErr;
  uint32_t dwTimeoutErr;
  uint32_t dwAlignmentErr;
  uint32_t dwHardwareOverrunErr;
  uint32_t dwFramingErr;
  uint32_t dwBufferOverrunErr;
  uint32_t dwCompressionRatioIn;
  uint32_t dwCompressionRatioOut;
  uint32_t dwBps;
  uint32_t dwConnectDuration;  // milliseconds
};
static_assert(sizeof(RasStats) == 60);
static_assert(offsetof(RasStats, dwConnectDuration) == 56);

// The IP projection of a PPP link (RASP_PppIp).
inline constexpr uint32_t RASP_PppIp = 0x8021;
struct RasPppIp {
  uint32_t dwSize;
  uint32_t dwError;
  char16_t szIpAddress[RAS_MaxIpAddress + 1];
  char16_t szServerIpAddress[RAS_MaxIpAddress + 1];
  uint32_t dwOptions;
  uint32_t dwServerOptions;
};
static_assert(sizeof(RasPppIp) == 80);
static_assert(offsetof(RasPppIp, szServerIpAddress) == 40 && offsetof(RasPppIp, dwOptions) == 72);

// The dial callback (RasDialFunc1): the stage reached, or the error that
// ended the attempt in it (error != 0).
using RasDialFunc1 = std::function<void(HRASCONN connection, uint32_t state, uint32_t error)>;

class DialUpService {
 public:
  virtual ~DialUpService() = default;

  // `phonebook` empty is the service's default phonebook. Entry names are
  // what a user may call a connection: 1 to 256 characters, not starting
  // with a dot, without '/', '\\' or control characters (123 otherwise).

  // 0 when no entry of that name exists, kErrorAlreadyExists (183) when one
  // does, kErrorInvalidName (123) for a name that cannot be one.
  virtual uint32_t ValidateEntryName(std::u16string_view phonebook, std::u16string_view entry) = 0;
  virtual uint32_t DeleteEntry(std::u16string_view phonebook, std::u16string_view entry) = 0;
  // kRasErrorCannotFindPhonebookEntry when there is none.
  virtual uint32_t GetEntryProperties(std::u16string_view phonebook, std::u16string_view entry,
                                      RasEntry& out) = 0;
  virtual uint32_t SetEntryProperties(std::u16string_view phonebook, std::u16string_view entry,
                                      const RasEntry& entry_image) = 0;

  // Starts dialling the entry `params.szEntryName` and returns at once: 0
  // when the attempt runs (its stages and its end reach `callback`), else
  // the error that kept it from starting. `*connection` receives a handle
  // whenever one was made, also on failure (the caller hangs it up).
  virtual uint32_t Dial(std::u16string_view phonebook, const RasDialParams& params,
                        RasDialFunc1 callback, HRASCONN* connection) = 0;
  // The stage of the connection: RASCS_Connected while the link is up,
  // RASCS_Disconnected after it went down (with dwError telling why).
  // kErrorInvalidHandle for a handle that was hung up or never existed.
  virtual uint32_t GetConnectStatus(HRASCONN connection, RasConnStatus& status) = 0;
  // Ends the call and waits until it has ended; the handle is invalid
  // afterwards. kErrorInvalidHandle for an unknown handle.
  virtual uint32_t HangUp(HRASCONN connection) = 0;
  virtual uint32_t GetConnectionStatistics(HRASCONN connection, RasStats& stats) = 0;
  // RASP_PppIp only; kRasErrorProtocolNotConfigured before the link has an
  // address.
  virtual uint32_t GetProjectionInfo(HRASCONN connection, uint32_t projection, RasPppIp& info) = 0;
};

// The system's own service (pppd).
DialUpService& SystemDialUpService();

// The service of the running program (pppd unless a test or the simulation
// mode installed another).
DialUpService& CurrentDialUpService();

class ScopedDialUpService {
 public:
  explicit ScopedDialUpService(DialUpService& service);
  ~ScopedDialUpService();
  ScopedDialUpService(const ScopedDialUpService&) = delete;
  ScopedDialUpService& operator=(const ScopedDialUpService&) = delete;

 private:
  DialUpService* previous_;
};

// The serial port of the modem whose friendly name is `modem_name`, from
// the current device tree (a Modem-class node with that name and a
// "PortName" in its device key): the file-system path, or empty when no
// such modem is present.
std::string FindModemPort(std::u16string_view modem_name);

}  // namespace platform
