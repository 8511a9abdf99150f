// vombel-device: runs the device-access library as a client does (its own
// message loop is the library's client thread) and shows the data card: one
// report once the card is initialised, or, with "watch", every change and
// every event as it comes. With --simulate it runs on a simulated card
// plugged into a simulated device tree.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/log_file.h"
#include "carddetect/nw_api.h"
#include "devicelib/cli/command_line.h"
#include "devicelib/cli/connect_session.h"
#include "devicelib/cli/device_report.h"
#include "devicelib/cli/pin_input.h"
#include "devicelib/cli/stop_signals.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "devicelib/sim_answers.h"
#include "foundation/xlog.h"
#include "platform/heap.h"
#include "platform/sim_device_events.h"
#include "platform/sim_device_tree.h"
#include "platform/sim_dial_up_service.h"
#include "platform/sim_ip_helper.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/uevent_monitor.h"
#include "platform/window.h"
#include "sim/card_class.h"
#include "sim/sim_card_builder.h"
#include "sim/sim_presence.h"

namespace {

using namespace vombel_device;

constexpr char16_t kWindowClass[] = u"VombelDeviceWindow";
constexpr uintptr_t kDeadlineTimer = 1;
// How long a disconnection after Ctrl-C may take before the program leaves.
constexpr uint32_t kDisconnectLimitMs = 30000;
// What the simulated SIM asks for with --pin.
constexpr char kSimulatedPin[] = "1234";
// NwGetCardInfo's answer while no card is there.
constexpr uint32_t kNoCard = 55;

void DropTraceLine(const char*, void*) {}

// The simulated world of --simulate: a device tree that broadcasts its
// changes, made the program's tree, and one card plugged into it.
struct Simulation {
  Simulation(const sim::CardClass& card_class, bool with_pin) : builder(card_class.kind) {
    if (with_pin) builder.WithPin(kSimulatedPin);
    // Something for `sms list` to show.
    sim::DeliverMessage welcome;
    welcome.service_centre = "+491710760000";
    welcome.originator = "Vombel";
    welcome.text = "Welcome to Vombel Net!";
    welcome.time = {2026, 1, 2, 9, 30, 0, 4};
    builder.WithStoredSms(welcome, 1);
    welcome.originator = "+491701234567";
    welcome.text = "See you at eight?";
    welcome.time.hour = 18;
    builder.WithStoredSms(welcome, 0);
  }
  bool Plug() {
    presence = builder.BuildIn(tree, &adapters);
    return presence != nullptr;
  }

  platform::SimDeviceTree tree;
  platform::ScopedDeviceTree scoped_tree{tree};
  // The network adapters the simulated card's driver and dial-up link use.
  platform::SimIpHelper adapters;
  platform::ScopedIpHelper scoped_adapters{adapters};
  // The dial-up service, which dials the simulated card's modem port.
  platform::SimDialUpService dial_up{adapters};
  platform::ScopedDialUpService scoped_dial_up{dial_up};
  platform::SimDeviceEvents events{tree};
  sim::SimCardBuilder builder;
  std::unique_ptr<sim::SimPresence> presence;
};

// --- Reading the library ------------------------------------------------------

Reading<std::string> ReadText(DvResult (*call)(char16_t*), size_t size) {
  std::vector<char16_t> buffer(size, u'\0');
  const DvResult rc = call(buffer.data());
  if (rc != 0) return Failed<std::string>(rc);
  buffer.back() = u'\0';
  return Got(platform::Utf16ToUtf8(std::u16string_view(buffer.data())));
}

Reading<int> ReadInt(DvResult (*call)(int*)) {
  int value = 0;
  const DvResult rc = call(&value);
  return rc == 0 ? Got(value) : Failed<int>(rc);
}

Reading<uint32_t> ReadPinState() {
  uint32_t state = 0;
  const DvResult rc = DvGetPinPukState(&state);
  return rc == 0 ? Got(state) : Failed<uint32_t>(rc);
}

Reading<RetryCounters> ReadRetries() {
  RetryCounters counters;
  const DvResult rc = DvGetPinPukRetryCounters(&counters.pin, &counters.puk);
  return rc == 0 ? Got(counters) : Failed<RetryCounters>(rc);
}

Reading<NetworkInfo> ReadNetwork() {
  char16_t name[256] = {};
  NetworkInfo info;
  const DvResult rc = DvGetNetworkInfo(name, std::size(name), &info.type);
  if (rc != 0) return Failed<NetworkInfo>(rc);
  name[std::size(name) - 1] = u'\0';
  info.name = platform::Utf16ToUtf8(std::u16string_view(name));
  return Got(info);
}

Reading<Signal> ReadSignal() {
  Signal signal;
  const DvResult rc = DvGetSignalStrength(&signal.value, &signal.extended);
  return rc == 0 ? Got(signal) : Failed<Signal>(rc);
}

// The states the library keeps without asking the card.
void ReadCachedStates(DeviceStatus& s) {
  s.device_state = ReadInt(DvGetDeviceState);
  if (!s.device_state.ok() || s.device_state.value == GSM::DeviceState::NotFound) return;
  s.cs_state = ReadInt(DvGetCsNetworkState);
  s.ps_state = ReadInt(DvGetPsNetworkState);
  s.edge_state = ReadInt(DvGetEdgeNetworkState);
  s.hsdpa_state = ReadInt(DvGetHsdpaNetworkState);
  const GSM::Device& device = GSM::Device::Instance();
  s.access_technology = Got(device.GetAccessTechnology());
  s.idle_text = Got(platform::Utf16ToUtf8(device.GetIdleText()));
}

void ReadPinStates(DeviceStatus& s) {
  s.sim_state = ReadInt(DvGetSimState);
  s.pin_state = ReadPinState();
  s.retry_counters_supported = ReadInt(DvIsPinPukRetryCounterSupported);
  if (s.retry_counters_supported.ok() && s.retry_counters_supported.value != 0) s.retries = ReadRetries();
}

// Everything the report shows.
DeviceStatus ReadEverything() {
  DeviceStatus s;
  ReadCachedStates(s);
  if (!s.device_state.ok() || s.device_state.value != GSM::DeviceState::Initialized) return s;
  s.model = ReadText(DvGetDeviceName, kDvNameSize);
  s.firmware = ReadText(DvGetFirmwareInfo, kDvNameSize);
  s.hardware = ReadText(DvGetHardwareInfo, kDvNameSize);
  s.imei = ReadText(DvGetImeiNumber, kDvNumberSize);
  s.serial = ReadText(DvGetDeviceSerialNumber, kDvNameSize);
  s.iccid = ReadText(DvGetSimSerialNumber, kDvNumberSize);
  s.imsi = ReadText(DvGetImsiNumber, kDvNumberSize);
  ReadPinStates(s);
  s.pin_enabled = ReadInt(DvGetPinMode);
  s.network = ReadNetwork();
  s.technology_selection_supported = ReadInt(DvIsTechnologySelectionSupported);
  if (s.technology_selection_supported.ok() && s.technology_selection_supported.value != 0) {
    s.technology_mode = ReadInt(DvGetTechnologySelectionMode);
  }
  s.apn = ReadText(DvGetApn, kDvNumberSize);
  s.signal = ReadSignal();
  s.wcdma_supported = ReadInt(DvIsWcdmaSignalSupported);
  if (s.wcdma_supported.ok() && s.wcdma_supported.value != 0) s.wcdma_signal = ReadInt(DvGetWcdmaSignalStrength);
  return s;
}

void PrintLines(const std::vector<std::string>& lines, const char* indent = "") {
  for (const std::string& line : lines) std::printf("%s%s\n", indent, line.c_str());
  std::fflush(stdout);
}

// --- The client -------------------------------------------------------------------

class Client {
 public:
  Client(const Options& options, SecretPin& pin, std::string sms_text = {})
      : options_(options), pin_(pin), sms_text_(std::move(sms_text)) {}

  static void OnEvent(uint32_t event, uintptr_t parameter, void* context) {
    static_cast<Client*>(context)->HandleEvent(event, parameter);
  }
  static void OnError(uint32_t type, DvResult primary, DvResult secondary, void* context) {
    auto* self = static_cast<Client*>(context);
    self->Say(ErrorLine(type, primary, secondary));
    if (self->session_) self->session_->OnError(primary);
  }

  void SetWindow(platform::HWND window) { window_ = window; }
  ConnectSession* Session() { return session_.get(); }
  // Ctrl-C or vombel-device disconnect during connect: true while the
  // disconnection is under way.
  bool Disconnect() { return session_ && session_->RequestDisconnect(); }

  bool Watching() const { return options_.command == Command::kWatch; }
  bool Done() const { return done_ || (session_ && session_->Over()); }
  int ExitCode() const { return session_ && session_->Started() ? session_->ExitCode() : exit_code_; }
  int DeviceState() const { return status_.device_state.ok() ? status_.device_state.value : 0; }
  bool WaitingForSim() const { return pin_entered_; }

  // The time limit passed (or the program was interrupted).
  void GiveUp(const std::string& why) {
    if (done_) return;
    if (Watching() && !options_.once) {
      Finish(0);
      return;
    }
    std::fprintf(stderr, "%s\n", why.c_str());
    if (DeviceState() == GSM::DeviceState::Initialized) PrintLines(FormatReport(ReadEverything()));
    Finish(1);
  }

  // Says a line of its own in watch mode (status mode prints only the report).
  void Say(const std::string& line) {
    if (!Watching()) return;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  void HandleEvent(uint32_t event, uintptr_t parameter) {
    ShowArrival(event, parameter);
    if (DvEventCarriesRecord(event) && parameter != 0) {
      platform::LocalFree(reinterpret_cast<void*>(parameter));  // ours to free; not shown
    }
    if (done_) return;
    Say(EventLine(event, parameter, DvEventName(event)));
    DeviceStatus next = status_;
    ReadCachedStates(next);
    // Without a device only its state is worth showing (the library raises
    // the full picture when it resets its states).
    const bool present = next.device_state.ok() && next.device_state.value != GSM::DeviceState::NotFound;
    switch (present ? event : EventDeviceStateChanged) {
      case EventDeviceStateChanged:
        if (!next.device_state.ok() || next.device_state.value == GSM::DeviceState::NotFound) {
          next = DeviceStatus{};
          next.device_state = status_.device_state.read ? ReadInt(DvGetDeviceState) : Got(0);
        } else if (next.device_state.value == GSM::DeviceState::Initialized) {
          next = ReadEverything();
        }
        break;
      case EventCsNetworkStateChanged:
      case EventPsNetworkStateChanged:
        next.network = ReadNetwork();
        break;
      case EventSignalStrengthChanged:
        next.signal = ReadSignal();
        break;
      case EventWcdmaSignalStrengthChanged:
        next.wcdma_signal = ReadInt(DvGetWcdmaSignalStrength);
        break;
      case EventSimStateChanged:
        ReadPinStates(next);
        break;
      default:
        break;
    }
    Show(next);

    if (event == EventConnectionStateChanged && session_) session_->OnConnectionStateChanged();
    if (event == EventDeviceStateChanged && DeviceState() == GSM::DeviceState::Found) InitializeDevice();
    if (DeviceState() == GSM::DeviceState::Initialized) AfterInitialization();
  }

  void Show(const DeviceStatus& next) {
    if (Watching()) PrintLines(ChangedLines(status_, next), "  ");
    status_ = next;
  }

  void InitializeDevice() {
    Say("initialising the device...");
    const DvResult rc = DvInitializeDevice();
    if (rc == 0) return;
    const std::string line = "Device initialisation failed: " + ResultText(rc);
    if (Watching() && !options_.once) {
      Say(line);
    } else {
      std::fprintf(stderr, "%s\n", line.c_str());
      Finish(1);
    }
  }

  // Messages and status reports that arrive, in watch and sms mode.
  void ShowArrival(uint32_t event, uintptr_t parameter) {
    if (done_ || (!Watching() && options_.command != Command::kSms)) return;
    std::string line;
    if (event == EventSmsMessageArrived) {
      line = "new message on the SIM at index " + std::to_string(parameter);
    } else if (event == EventTemporarySmsMessageArrived && parameter != 0) {
      line = TemporaryMessageLine(*reinterpret_cast<const SmsMessage*>(parameter));
    } else if (event == EventSmsStatusReportArrived && parameter != 0) {
      line = StatusReportLine(*reinterpret_cast<const SmsStatusReport*>(parameter));
    } else {
      return;
    }
    std::printf("%s%s\n", Watching() ? "  " : "", line.c_str());
    std::fflush(stdout);
  }

  // The sms command, once the SIM is ready; the exit code.
  int RunSms() {
    DvResult rc = 0;
    switch (options_.sms_action) {
      case SmsAction::kList: {
        SmsMessage* messages = nullptr;
        uint32_t count = 0;
        rc = DvReadAllSmsMessages(&messages, &count);
        if (rc == 0) PrintLines(FormatSmsList(messages, count));
        DvFreeSmsMessages(messages);
        break;
      }
      case SmsAction::kRead: {
        SmsMessage message;
        rc = DvReadSmsMessage(options_.sms_index, &message);
        if (rc == 0) PrintLines(FormatSmsMessage(message));
        break;
      }
      case SmsAction::kDelete:
        rc = DvDeleteSmsMessage(options_.sms_index);
        if (rc == 0) std::printf("Message %u deleted.\n", options_.sms_index);
        break;
      case SmsAction::kSend: {
        // Stored first, then sent from the SIM: the sent copy stays there.
        SmsMessage message{};
        const std::u16string number = platform::Utf8ToUtf16(options_.sms_number);
        const std::u16string text = platform::Utf8ToUtf16(sms_text_);
        std::copy_n(number.begin(), std::min(number.size(), kSmsAddressMax), message.Address);
        std::copy_n(text.begin(), std::min(text.size(), kSmsTextMax), message.Text);
        message.Validity = 0xA7;  // one day
        rc = DvWriteSmsMessage(&message);
        if (rc == 0) rc = DvSendSmsMessageFromSim(message.Index);
        if (rc == 0) std::printf("Message sent to %s (stored at index %u).\n", options_.sms_number.c_str(), message.Index);
        break;
      }
    }
    std::fflush(stdout);
    if (rc == 0) return 0;
    std::fprintf(stderr, "The SMS command failed: %s\n", ResultText(rc).c_str());
    return 1;
  }

  void AfterInitialization() {
    if (done_) return;
    const bool pin_wanted = status_.pin_state.ok() && status_.pin_state.value == GSM::PinPukStateSimPin;
    if (pin_wanted && options_.pin && !pin_.empty()) {
      EnterPin();
      return;
    }
    if (pin_entered_ && !(status_.sim_state.ok() && status_.sim_state.value == 1)) return;  // SIM still busy
    if (Watching() && !options_.once) return;
    if (options_.command == Command::kSms || options_.command == Command::kConnect) {
      const bool locked = status_.pin_state.ok() && (status_.pin_state.value == GSM::PinPukStateSimPin ||
                                                      status_.pin_state.value == GSM::PinPukStateSimPuk);
      if (locked) {
        std::fprintf(stderr, "The SIM is locked%s.\n", options_.pin ? "" : ": run with --pin to enter its PIN");
        Finish(1);
        return;
      }
      // Until the SIM is ready and has read its files; the time limit ends the wait.
      if (!(status_.pin_state.ok() && status_.pin_state.value == GSM::PinPukStateReady)) return;
      if (!(status_.sim_state.ok() && status_.sim_state.value == 1)) return;
      if (options_.command == Command::kConnect) {
        StartConnection();
        return;
      }
      Finish(RunSms());
      return;
    }
    if (!Watching() || options_.once) {
      const DeviceStatus report = ReadEverything();
      status_ = report;
      PrintLines(FormatReport(report));
      if (report.pin_state.ok() && report.pin_state.value == GSM::PinPukStateSimPin && !options_.pin) {
        std::fprintf(stderr, "The SIM waits for its PIN: run with --pin to enter it.\n");
      } else if (report.pin_state.ok() && report.pin_state.value == GSM::PinPukStateSimPuk) {
        std::fprintf(stderr, "The SIM waits for its PUK.\n");
      }
      Finish(0);
    }
  }

  void StartConnection() {
    if (session_) return;
    // The time limit was for the card and the SIM; the connection lasts
    // until it ends or the user ends it.
    platform::KillTimer(window_, kDeadlineTimer);
    session_ = std::make_unique<ConnectSession>(options_, window_);
    session_->Start();
  }

  void EnterPin() {
    Say("entering the PIN...");
    const DvResult rc = DvEnterPinCode(pin_.c_str());
    pin_.Clear();  // one attempt only: a wrong PIN must not be tried again
    if (rc == 0) {
      pin_entered_ = true;
      Say("PIN accepted");
    } else {
      std::fprintf(stderr, "The PIN was refused: %s\n", ResultText(rc).c_str());
    }
    // The PIN state and the retry counters after every attempt.
    DeviceStatus next = status_;
    ReadPinStates(next);
    Show(next);
    if (rc != 0) {
      if (!Watching() || options_.once) {
        PrintLines(FormatReport(ReadEverything()));
        Finish(1);
      }
      return;
    }
    AfterInitialization();
  }

  void Finish(int code) {
    done_ = true;
    exit_code_ = code;
    platform::PostQuitMessage(code);
  }

  const Options& options_;
  SecretPin& pin_;
  const std::string sms_text_;
  platform::HWND window_ = nullptr;
  std::unique_ptr<ConnectSession> session_;
  DeviceStatus status_;
  bool pin_entered_ = false;
  bool done_ = false;
  int exit_code_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const ParsedCommandLine parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "vombel-device: %s\n%s", parsed.error.c_str(), UsageText().c_str());
    return 2;
  }
  const Options& options = parsed.options;
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.command == Command::kDisconnect) return AskRunningConnectionToDisconnect();
  const sim::CardClass* simulated = nullptr;
  if (options.simulate) {
    simulated = sim::FindCardClass(options.simulated_class);
    if (simulated == nullptr) {
      std::fprintf(stderr, "vombel-device: no simulated card %s\n", options.simulated_class.c_str());
      return 2;
    }
  }

  SecretPin pin;
  if (options.pin) {
    switch (ReadPin(STDIN_FILENO, "PIN: ", pin)) {
      case PinReadResult::kOk: break;
      case PinReadResult::kEndOfInput:
        std::fprintf(stderr, "vombel-device: --pin: no PIN on standard input\n");
        return 2;
      case PinReadResult::kNotAPin:
        std::fprintf(stderr, "vombel-device: --pin: a PIN is 4 to 8 digits\n");
        return 2;
      case PinReadResult::kReadError:
        std::fprintf(stderr, "vombel-device: --pin: standard input could not be read\n");
        return 2;
    }
  }

  // The text of `sms send`: the rest of standard input, without its last
  // line break.
  std::string sms_text;
  if (options.command == Command::kSms && options.sms_action == SmsAction::kSend) {
    char chunk[512];
    size_t n = 0;
    while (sms_text.size() < 4096 && (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) sms_text.append(chunk, n);
    while (!sms_text.empty() && (sms_text.back() == '\n' || sms_text.back() == '\r')) sms_text.pop_back();
    if (sms_text.empty()) {
      std::fprintf(stderr, "vombel-device: sms send: no text on standard input\n");
      return 2;
    }
  }

  CLogFile log_file;
  if (options.log) {
    const std::string path = CLogFile::PathFor(u"vombel-device");
    if (path.empty() || log_file.Open(path) != 0) {
      std::fprintf(stderr, "vombel-device: --log: %s cannot be written\n", path.c_str());
      return 1;
    }
    log_file.Install();
    XLogSetThreshold(kXLogTrace);
  } else if (options.verbose) {
    XLogSetThreshold(kXLogTrace);
  } else {
    XLogSetSink(DropTraceLine, nullptr);
  }

  const uint32_t loop_thread = platform::GetCurrentThreadId();
  StopSignals stop_signals(loop_thread);

  Client client(options, pin, std::move(sms_text));
  platform::RegisterClass(kWindowClass, [&client, &options](platform::HWND, uint32_t message,
                                                            platform::WPARAM wparam,
                                                            platform::LPARAM) -> platform::LRESULT {
    if (message == kDisconnectRequest) {
      if (!client.Disconnect() && client.Done()) platform::PostQuitMessage(client.ExitCode());
      return 0;
    }
    if (message == platform::WM_TIMER && wparam == kTrafficTimer) {
      if (ConnectSession* session = client.Session()) session->OnTrafficTimer();
      return 0;
    }
    if (message == platform::WM_TIMER && wparam == kDeadlineTimer && client.Session() != nullptr) {
      std::fprintf(stderr, "The connection did not go down within %u s.\n", kDisconnectLimitMs / 1000);
      platform::PostQuitMessage(1);
      return 0;
    }
    if (message == platform::WM_TIMER && wparam == kDeadlineTimer) {
      const char* what = client.WaitingForSim() ? "The SIM did not become ready"
                         : client.DeviceState() == GSM::DeviceState::Found ? "The data card did not become ready"
                                                                              : "No data card became ready";
      client.GiveUp(std::string(what) + " within " + std::to_string(options.timeout_s) + " s.");
    }
    return 0;
  });
  const platform::HWND window = platform::CreateWindow(kWindowClass);
  if (window == nullptr) {
    std::fprintf(stderr, "vombel-device: cannot create the program's window\n");
    return 1;
  }
  client.SetWindow(window);

  // The simulated tree (before the library starts, so that detection looks
  // at it), or the system's device events.
  std::unique_ptr<Simulation> simulation;
  std::unique_ptr<platform::UeventMonitor> uevents;
  if (simulated != nullptr) {
    simulation = std::make_unique<Simulation>(*simulated, options.pin);
  } else if (options.command == Command::kWatch) {
    uevents = platform::UeventMonitor::Start();
    if (!uevents) std::fprintf(stderr, "vombel-device: no device events (netlink unavailable), polling only\n");
  }

  int exit_code = 0;
  const DvClientHandlers handlers{&Client::OnEvent, &Client::OnError, &client};
  const DvResult rc = DvInitialize(nullptr, handlers);
  if (rc != 0) {
    std::fprintf(stderr, "vombel-device: the device-access library did not start (%s)\n", ResultText(rc).c_str());
    exit_code = 1;
  } else {
    DvSetApplicationName(u"vombel-device");
    // The card detection's first report (a card already there) arrives now.
    platform::PumpMessages();
    NwCardInfo info{};
    info.Size = sizeof info;
    const bool no_card = NwGetCardInfo(&info) == kNoCard;
    if (simulation != nullptr) {
      client.Say("-- plugging the simulated card");
      if (!simulation->Plug()) {
        std::fprintf(stderr, "vombel-device: the simulated card could not be made\n");
        exit_code = 1;
      }
    } else if (no_card && options.command != Command::kWatch) {
      std::fprintf(stderr, "No data card found.\n");
      exit_code = 1;
    } else if (no_card) {
      client.Say("no data card yet; waiting for one");
    }
    if (exit_code == 0 && !client.Done()) {
      if (options.timeout_s > 0) platform::SetTimer(window, kDeadlineTimer, options.timeout_s * 1000);
      platform::MSG msg;
      while (platform::GetMessage(msg)) platform::DispatchMessage(msg);
      // Interrupted while connected: the connection goes down before the
      // program leaves.
      if (!client.Done() && client.Disconnect()) {
        platform::SetTimer(window, kDeadlineTimer, kDisconnectLimitMs);
        while (!client.Done() && platform::GetMessage(msg)) platform::DispatchMessage(msg);
      }
      if (!client.Done()) client.GiveUp("Interrupted.");
    }
    if (exit_code == 0) exit_code = client.ExitCode();
    const bool ends_by_interrupt = options.command == Command::kWatch ||
                                   (options.command == Command::kConnect && client.Session() && client.Session()->Started());
    if (stop_signals.Interrupted() && !ends_by_interrupt) exit_code = 1;
  }

  DvShutdown();
  pin.Clear();
  platform::DestroyWindow(window);
  platform::UnregisterClass(kWindowClass);
  simulation.reset();
  return exit_code;
}
