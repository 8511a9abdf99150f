// Living beside ModemManager, the system's modem service: on most desktops it
// opens a modem's serial ports as soon as the modem appears, so the program
// asks it to leave the card alone (its InhibitDevice call) for as long as the
// program holds the card, instead of fighting it for the port.
//
// ModemManager ties an inhibition to the caller's bus connection: it ends
// when the caller says so, and also when the caller leaves the bus, so a
// program that is killed gives the card back without doing anything.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ModemManager's well-known name on the system bus, its manager object and
// interface, and the name its program runs under (/proc/<pid>/comm).
inline constexpr const char* kModemManagerName = "org.freedesktop.ModemManager1";
inline constexpr const char* kModemManagerPath = "/org/freedesktop/ModemManager1";
inline constexpr const char* kModemManagerInterface = "org.freedesktop.ModemManager1";
inline constexpr std::string_view kModemManagerProgram = "ModemManager";

enum class InhibitStatus {
  kOk,       // ModemManager let go of the device
  kRefused,  // not authorised (the error says by whom)
  kAbsent,   // ModemManager is not on the bus
  kFailed,   // anything else: the error says what
};

const char* InhibitStatusName(InhibitStatus status);

struct InhibitResult {
  InhibitStatus status = InhibitStatus::kFailed;
  std::string error_name;     // the D-Bus error's name; empty for kOk and kAbsent
  std::string error_message;  // its text
};

// What an InhibitDevice error means to us. ModemManager answers Core.Failed
// rather than Core.Unauthorized when it could not ask PolicyKit at all (no
// authority on the machine): that is a refusal too, with the same remedy for
// the user.
InhibitStatus InhibitStatusOfError(std::string_view name, std::string_view message);

// True when `port` (a kernel name such as "ttyUSB2", or its /dev path) is
// among `ports`, the names ModemManager lists in a modem's Ports property.
bool ModemHasPort(const std::vector<std::string>& ports, std::string_view port);

// Held while ModemManager leaves the device alone; destroying it hands the
// device back (InhibitDevice(uid, false)) unless ModemManager has gone.
class ModemManagerInhibition {
 public:
  virtual ~ModemManagerInhibition() = default;
  virtual const std::string& Uid() const = 0;
  // True once ModemManager left the bus (or the bus went) while this was
  // held: a new ModemManager knows nothing of it and may take the ports again.
  virtual bool Lost() const = 0;
};

struct Inhibited {
  InhibitResult result;
  std::unique_ptr<ModemManagerInhibition> inhibition;  // set exactly when result.status is kOk
};

class ModemManagerLink {
 public:
  // Called once, on a thread of the link, when the inhibition of `uid` is
  // lost. It should only pass the news on (post a message, set an event): it
  // must not destroy the link.
  using LostHandler = std::function<void(const std::string& uid)>;

  virtual ~ModemManagerLink() = default;

  // ModemManager's name has an owner on the bus now.
  virtual bool Present() = 0;
  // The device uid (the modem's physical device path, as ModemManager
  // reports it in the modem's Device property) of the modem that has `port`
  // among its ports; `port` is a kernel name ("ttyUSB2") or a /dev path.
  // Empty when ModemManager has no such modem or is absent.
  virtual std::string DeviceOfPort(std::string_view port) = 0;
  // Asks ModemManager to leave the device `uid` alone.
  virtual Inhibited Inhibit(const std::string& uid, LostHandler on_lost = {}) = 0;
};

// The link over D-Bus: on the system bus, or on the bus at `address` (a D-Bus
// address such as "unix:path=/run/dbus/system_bus_socket"). Null with the
// last error set when the bus cannot be reached. Destroying the link closes
// its connection, which ends every inhibition it still holds.
std::unique_ptr<ModemManagerLink> ConnectModemManager();
std::unique_ptr<ModemManagerLink> ConnectModemManager(const std::string& address);

// The link a program opens for itself: a connection to the system bus, or,
// while a ScopedModemManager lives, a link onto the one it installed (the
// tests' and the simulation's SimModemManager). Null, with the last error
// set, when the bus cannot be reached.
std::unique_ptr<ModemManagerLink> OpenModemManager();

// Installs `link` for OpenModemManager for the life of the object. The links
// opened meanwhile only borrow it: they must be gone before the object goes.
class ScopedModemManager {
 public:
  explicit ScopedModemManager(ModemManagerLink& link);
  ~ScopedModemManager();
  ScopedModemManager(const ScopedModemManager&) = delete;
  ScopedModemManager& operator=(const ScopedModemManager&) = delete;

 private:
  ModemManagerLink* previous_;
};

}  // namespace platform
