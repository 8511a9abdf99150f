// vombel-device: runs the device-access library as a client does (its own
// message loop is the library's client thread) and shows or drives the data
// card: one report or one command once the card (and the SIM, where the
// command needs it) is ready, or, with "watch", every change and every
// event as it comes. A card another program holds is asked for through
// card detection's sharing protocol and given back at the end. With
// --simulate it runs on a simulated card plugged into a simulated device
// tree.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/log_file.h"
#include "carddetect/nw_api.h"
#include "devicelib/cli/card_commands.h"
#include "devicelib/cli/command_line.h"
#include "devicelib/cli/connect_session.h"
#include "devicelib/cli/device_report.h"
#include "devicelib/cli/exit_codes.h"
#include "devicelib/cli/json_report.h"
#include "devicelib/cli/library_readings.h"
#include "devicelib/cli/output.h"
#include "devicelib/cli/pin_input.h"
#include "devicelib/cli/run_inputs.h"
#include "devicelib/cli/stop_signals.h"
#include "devicelib/cli/ussd_exchange.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "devicelib/sim_answers.h"
#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/heap.h"
#include "platform/modem_manager_sim.h"
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

// How the simulated SIM starts: asking for its PIN (--pin, and the pin
// actions that have something to do then) or for its PUK (pin unblock).
enum class SimulatedSim { kReady, kPinWanted, kPukWanted };

SimulatedSim SimulatedSimFor(const Options& options) {
  if (options.command != Command::kPin) return options.pin ? SimulatedSim::kPinWanted : SimulatedSim::kReady;
  switch (options.pin_action) {
    case PinAction::kEnter:
    case PinAction::kChange:
    case PinAction::kOff: return SimulatedSim::kPinWanted;
    case PinAction::kUnblock: return SimulatedSim::kPukWanted;
    case PinAction::kStatus:
    case PinAction::kOn: return SimulatedSim::kReady;
  }
  return SimulatedSim::kReady;
}

// The simulated world of --simulate: a device tree that broadcasts its
// changes, made the program's tree, and one card plugged into it.
struct Simulation {
  Simulation(const sim::CardClass& card_class, SimulatedSim sim) : builder(card_class.kind) {
    if (sim == SimulatedSim::kPinWanted) builder.WithPin(kSimulatedPin);
    if (sim == SimulatedSim::kPukWanted) builder.PukLocked();
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
  // The simulated card's ports are nobody else's: the system's ModemManager
  // is never asked about them.
  platform::SimModemManager modem_manager{platform::SimModemManager::Behaviour::kAbsent};
  platform::ScopedModemManager scoped_modem_manager{modem_manager};
  sim::SimCardBuilder builder;
  std::unique_ptr<sim::SimPresence> presence;
};

// --- The client -------------------------------------------------------------------

class Client {
 public:
  Client(const Options& options, const Output& output, Codes& codes, std::string sms_text = {})
      : options_(options), output_(output), codes_(codes), sms_text_(std::move(sms_text)) {}

  static void OnEvent(uint32_t event, uintptr_t parameter, void* context) {
    static_cast<Client*>(context)->HandleEvent(event, parameter);
  }
  static void OnError(uint32_t type, DvResult primary, DvResult secondary, void* context) {
    auto* self = static_cast<Client*>(context);
    self->Say(ErrorLine(type, primary, secondary));
    if (self->Watching()) self->output_.JsonLine(WatchLibraryErrorLine(type, primary, secondary));
    if (self->session_) self->session_->OnError(primary);
  }

  void SetWindow(platform::HWND window) { window_ = window; }
  ConnectSession* Session() { return session_.get(); }
  // Ctrl-C or vombel-device disconnect during connect: true while the
  // disconnection is under way.
  bool Disconnect() { return session_ && session_->RequestDisconnect(); }

  bool Watching() const { return options_.command == Command::kWatch; }
  bool Done() const { return done_ || (session_ && session_->Over()); }
  // Which program holds the card's port, while one does (EventCardHeld).
  const std::string& HeldText() const { return held_text_; }
  int ExitCode() const { return session_ && session_->Started() ? session_->ExitCode() : exit_code_; }
  int DeviceState() const { return status_.device_state.ok() ? status_.device_state.value : 0; }
  bool WaitingForSim() const { return pin_entered_ || waiting_for_sim_; }
  bool WaitingForNetwork() const { return waiting_for_network_; }

  // The time limit passed (or the program was interrupted).
  void GiveUp(Failure failure, const std::string& why) {
    if (done_) return;
    if (ussd_ && ussd_->Ending() == UssdEnding::kOpen) DvCancelUssd();
    if (Watching() && !options_.once) {
      Finish(0);
      return;
    }
    const bool report = !output_.Json() && (options_.command == Command::kStatus || Watching()) &&
                        DeviceState() == GSM::DeviceState::Initialized;
    const int code = output_.Fail(failure, why);
    if (report) output_.Lines(FormatReport(ReadEverything()));
    Finish(code);
  }

  // Says a line of its own in watch mode (status mode prints only the report).
  void Say(const std::string& line) {
    if (Watching()) output_.Line(line);
  }

 private:
  void HandleEvent(uint32_t event, uintptr_t parameter) {
    ShowArrival(event, parameter);
    if (event == EventUssdMessageArrived && parameter != 0) {
      OnUssdAnswer(*reinterpret_cast<const DvUssdMessage*>(parameter));
    }
    if (event == EventCardHeld && parameter != 0) {
      held_text_ = platform::Utf16ToUtf8(reinterpret_cast<const DvCardHeld*>(parameter)->Text);
      Say(held_text_.empty() ? "-- the held card's port is free" : "-- " + held_text_);
    }
    if (DvEventCarriesRecord(event) && parameter != 0) {
      platform::LocalFree(reinterpret_cast<void*>(parameter));  // ours to free; not shown
    }
    if (done_) return;
    Say(EventLine(event, parameter, DvEventName(event)));
    if (Watching()) output_.JsonLine(WatchEventLine(event, parameter, DvEventName(event)));
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
    if (Watching()) {
      output_.Lines(ChangedLines(status_, next), "  ");
      if (next != status_) output_.JsonLine(WatchStatusLine(next));
    }
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
      Finish(output_.Fail(FailureOfResult(rc), line, rc));
    }
  }

  // Messages and status reports that arrive, in watch and sms mode (in
  // JSON only while watching: sms gives one document).
  void ShowArrival(uint32_t event, uintptr_t parameter) {
    if (done_ || (!Watching() && options_.command != Command::kSms)) return;
    std::string line;
    std::string json;
    if (event == EventSmsMessageArrived) {
      line = "new message on the SIM at index " + std::to_string(parameter);
    } else if (event == EventTemporarySmsMessageArrived && parameter != 0) {
      const auto& message = *reinterpret_cast<const SmsMessage*>(parameter);
      line = TemporaryMessageLine(message);
      json = WatchMessageLine(message);
    } else if (event == EventSmsStatusReportArrived && parameter != 0) {
      const auto& report = *reinterpret_cast<const SmsStatusReport*>(parameter);
      line = StatusReportLine(report);
      json = WatchStatusReportLine(report);
    } else {
      return;
    }
    output_.Line((Watching() ? "  " : "") + line);
    if (Watching() && !json.empty()) output_.JsonLine(json);
  }

  // Whether the SIM's PIN request is to be answered with the PIN read from
  // standard input: once, and only for the commands that read one.
  bool HavePinToEnter() const {
    if (pin_tried_ || codes_.pin.empty()) return false;
    if (options_.command != Command::kPin) return options_.pin;
    return options_.pin_action == PinAction::kEnter || options_.pin_action == PinAction::kChange ||
           options_.pin_action == PinAction::kOn || options_.pin_action == PinAction::kOff;
  }

  void AfterInitialization() {
    if (done_) return;
    const uint32_t pin_state = status_.pin_state.ok() ? status_.pin_state.value : GSM::PinPukStateUnknown;
    const bool sim_ready = status_.sim_state.ok() && status_.sim_state.value == 1;
    if (pin_state == GSM::PinPukStateSimPin && HavePinToEnter()) {
      EnterPin();
      return;
    }
    if (pin_entered_ && !sim_ready) return;  // SIM still busy
    if (Watching() && !options_.once) return;
    const bool locked = pin_state == GSM::PinPukStateSimPin || pin_state == GSM::PinPukStateSimPuk;
    switch (options_.command) {
      case Command::kSms:
      case Command::kConnect:
      case Command::kUssd:
        if (locked) {
          const char* how = pin_state == GSM::PinPukStateSimPuk ? ": it asks for its PUK (pin unblock)."
                            : options_.pin                      ? "."
                                                                : ": run with --pin to enter its PIN.";
          Finish(output_.Fail(Failure::kSim, std::string("The SIM is locked") + how));
          return;
        }
        // Until the SIM is ready and has read its files; the time limit ends the wait.
        waiting_for_sim_ = true;
        if (pin_state != GSM::PinPukStateReady || !sim_ready) return;
        if (options_.command == Command::kConnect) {
          StartConnection();
          return;
        }
        if (options_.command == Command::kUssd) {
          StartUssd();
          return;
        }
        Finish(RunSms(options_, output_, sms_text_));
        return;
      case Command::kIdentity:
      case Command::kDiagnostics:
        // A SIM that is ready has read its files before its numbers are asked.
        waiting_for_sim_ = pin_state == GSM::PinPukStateReady;
        if (waiting_for_sim_ && !sim_ready) return;
        Finish(options_.command == Command::kIdentity ? RunIdentity(output_) : RunDiagnostics(output_));
        return;
      case Command::kTechnology:
        Finish(RunTechnology(options_, output_));
        return;
      case Command::kPin:
        RunPinCommand(pin_state, sim_ready);
        return;
      case Command::kStatus:
      case Command::kWatch:
      case Command::kDisconnect:
        break;
    }
    const DeviceStatus report = ReadEverything();
    status_ = report;
    output_.Lines(FormatReport(report));
    output_.JsonLine(Watching() ? WatchStatusLine(report) : StatusDocument(report));
    if (report.pin_state.ok() && report.pin_state.value == GSM::PinPukStateSimPin && !options_.pin) {
      output_.Note("The SIM waits for its PIN: run with --pin to enter it.");
    } else if (report.pin_state.ok() && report.pin_state.value == GSM::PinPukStateSimPuk) {
      output_.Note("The SIM waits for its PUK.");
    }
    Finish(0);
  }

  // pin, once the SIM's state says what is possible.
  void RunPinCommand(uint32_t pin_state, bool sim_ready) {
    const PinAction action = options_.pin_action;
    if (action == PinAction::kStatus) {
      Finish(RunPin(options_, output_, codes_, pin_entered_));
      return;
    }
    // The SIM has not said yet what it wants.
    waiting_for_sim_ = true;
    if (pin_state == GSM::PinPukStateUnknown) return;
    if (pin_state == GSM::PinPukStateSimPuk && action != PinAction::kUnblock) {
      Finish(output_.Fail(Failure::kSim, "The SIM asks for its PUK: run pin unblock."));
      return;
    }
    if (pin_state == GSM::PinPukStateSimPin) {
      // With a PIN to enter it has been tried already (EnterPin).
      Finish(output_.Fail(Failure::kSim, action == PinAction::kUnblock
                                             ? "The SIM asks for its PIN, not its PUK: run pin enter."
                                             : "The SIM still asks for its PIN."));
      return;
    }
    if (pin_state != GSM::PinPukStateReady && pin_state != GSM::PinPukStateSimPuk) {
      Finish(output_.Fail(Failure::kSim, "The SIM is not ready: " + PinPukStateText(pin_state) + "."));
      return;
    }
    if (pin_state == GSM::PinPukStateReady && !sim_ready && action != PinAction::kEnter) return;
    Finish(RunPin(options_, output_, codes_, pin_entered_));
  }

  void StartConnection() {
    if (session_) return;
    // The time limit was for the card and the SIM; the connection lasts
    // until it ends or the user ends it.
    platform::KillTimer(window_, kDeadlineTimer);
    session_ = std::make_unique<ConnectSession>(options_, output_, window_);
    session_->Start();
  }

  // ussd, once the card is registered: the network carries USSD only then.
  void StartUssd() {
    if (ussd_) return;
    waiting_for_network_ = !status_.cs_state.ok() || !GSM::IsRegistered(status_.cs_state.value);
    if (waiting_for_network_) return;
    // The library's wait for each answer bounds the session from here.
    platform::KillTimer(window_, kDeadlineTimer);
    ussd_ = std::make_unique<UssdExchange>(options_.ussd_code, options_.ussd_replies);
    SendUssd(ussd_->Code());
  }

  void SendUssd(const std::string& text) {
    const DvResult rc = DvSendUssd(platform::Utf8ToUtf16(text).c_str());
    if (rc != 0) Finish(output_.Fail(FailureOfResult(rc), "The card did not take the USSD request: " + ResultText(rc), rc));
  }

  void OnUssdAnswer(const DvUssdMessage& message) {
    if (!ussd_ || done_) return;
    // A full text fills the array; the record's terminator follows it.
    const std::u16string_view field(message.Text, std::size(message.Text));
    const std::u16string text(field.substr(0, field.find(u'\0')));
    if (const std::optional<std::string> reply = ussd_->OnAnswer(message.Status, platform::Utf16ToUtf8(text))) {
      SendUssd(*reply);
      return;
    }
    switch (ussd_->Ending()) {
      case UssdEnding::kUnsupported:
        Finish(output_.Fail(Failure::kUnsupported, "The network does not offer " + ussd_->Turns().back().sent + "."));
        return;
      case UssdEnding::kTimedOut:
        Finish(output_.Fail(Failure::kCard, "The network did not answer within " +
                                                std::to_string(kDvUssdAnswerTimeoutMs / 1000) + " s."));
        return;
      case UssdEnding::kOtherClient:
        Finish(output_.Fail(Failure::kCard, "Another program on the card answered the network."));
        return;
      case UssdEnding::kNoReplyLeft:
        DvCancelUssd();
        break;
      default:
        break;
    }
    output_.Result(FormatUssd(*ussd_), UssdDocument(*ussd_));
    Finish(0);
  }

  void EnterPin() {
    Say("entering the PIN...");
    const DvResult rc = DvEnterPinCode(codes_.pin.c_str());
    pin_tried_ = true;  // one attempt only: a wrong PIN must not be tried again
    // pin change, on and off send the PIN once more once the SIM is ready.
    const bool needed_again = options_.command == Command::kPin && options_.pin_action != PinAction::kEnter;
    if (rc != 0 || !needed_again) codes_.pin.Clear();
    if (rc == 0) {
      pin_entered_ = true;
      Say("PIN accepted");
    }
    // The PIN state and the retry counters after every attempt.
    DeviceStatus next = status_;
    ReadPinStates(next);
    Show(next);
    if (rc != 0) {
      const std::string line = "The PIN was refused: " + ResultText(rc);
      if (Watching() && !options_.once) {
        output_.Note(line);
        return;
      }
      const int code = output_.Fail(FailureOfResult(rc), line, rc);
      if (options_.command == Command::kStatus || Watching()) output_.Lines(FormatReport(ReadEverything()));
      Finish(code);
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
  const Output& output_;
  Codes& codes_;
  const std::string sms_text_;
  platform::HWND window_ = nullptr;
  std::unique_ptr<ConnectSession> session_;
  std::unique_ptr<UssdExchange> ussd_;
  DeviceStatus status_;
  bool pin_tried_ = false;
  bool pin_entered_ = false;
  bool waiting_for_sim_ = false;
  bool waiting_for_network_ = false;
  bool done_ = false;
  int exit_code_ = 0;
  std::string held_text_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(args);
  const Options& options = parsed.options;
  const Output output(options);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "vombel-device: %s\n%s", parsed.error.c_str(), UsageText().c_str());
    // Asked for JSON, a script gets its error document all the same.
    if (std::find(args.begin(), args.end(), "--json") != args.end()) {
      std::printf("%s\n", ErrorDocument(nullptr, Failure::kUsage, parsed.error, 0).c_str());
    }
    return ExitCodeOf(Failure::kUsage);
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.command == Command::kDisconnect) return AskRunningConnectionToDisconnect(output);
  const sim::CardClass* simulated = nullptr;
  if (options.simulate) {
    simulated = sim::FindCardClass(options.simulated_class);
    if (simulated == nullptr) {
      return output.Fail(Failure::kUsage, "vombel-device: no simulated card " + options.simulated_class);
    }
  }

  Codes codes;
  if (const int code = ReadCodes(options, output, codes); code != 0) return code;

  // The text of `sms send`: the rest of standard input, without its last
  // line break.
  std::string sms_text;
  if (options.command == Command::kSms && options.sms_action == SmsAction::kSend) {
    // The most a long message carries, 255 parts of 153 characters, at
    // four bytes a character; a longer text is refused, never cut.
    constexpr size_t kMaxTextBytes = 255 * 153 * 4;
    char chunk[4096];
    size_t n = 0;
    while (sms_text.size() <= kMaxTextBytes && (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
      sms_text.append(chunk, n);
    }
    if (sms_text.size() > kMaxTextBytes) {
      return output.Fail(Failure::kUsage, "vombel-device: sms send: the text is longer than 255 messages carry");
    }
    while (!sms_text.empty() && (sms_text.back() == '\n' || sms_text.back() == '\r')) sms_text.pop_back();
    if (sms_text.empty()) return output.Fail(Failure::kUsage, "vombel-device: sms send: no text on standard input");
  }

  CLogFile log_file;
  if (options.log) {
    const std::string path = CLogFile::PathFor(u"vombel-device");
    if (path.empty() || log_file.Open(path) != 0) {
      return output.Fail(Failure::kSystem, "vombel-device: --log: " + path + " cannot be written");
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

  Client client(options, output, codes, std::move(sms_text));
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
      platform::PostQuitMessage(ExitCodeOf(Failure::kCard));
      return 0;
    }
    if (message == platform::WM_TIMER && wparam == kDeadlineTimer) {
      const char* what = client.WaitingForNetwork() ? "The card did not register with a network"
                         : client.WaitingForSim() ? "The SIM did not become ready"
                         : client.DeviceState() == GSM::DeviceState::Found ? "The data card did not become ready"
                                                                              : "No data card became ready";
      client.GiveUp(Failure::kUnavailable, std::string(what) + " within " + std::to_string(options.timeout_s) + " s.");
    }
    return 0;
  });
  const platform::HWND window = platform::CreateWindow(kWindowClass);
  if (window == nullptr) return output.Fail(Failure::kSystem, "vombel-device: cannot create the program's window");
  client.SetWindow(window);

  // The simulated tree (before the library starts, so that detection looks
  // at it), or the system's device events.
  std::unique_ptr<Simulation> simulation;
  std::unique_ptr<platform::UeventMonitor> uevents;
  if (simulated != nullptr) {
    simulation = std::make_unique<Simulation>(*simulated, SimulatedSimFor(options));
  } else if (options.command == Command::kWatch) {
    uevents = platform::UeventMonitor::Start();
    if (!uevents) std::fprintf(stderr, "vombel-device: no device events (netlink unavailable), polling only\n");
  }

  // The card, from the program that holds it; what that took comes off the
  // time left for the card to become ready.
  const uint32_t asked_at = platform::GetTickCount();
  int exit_code = TakeCard(options, output, stop_signals);
  const uint32_t asking_ms = platform::GetTickCount() - asked_at;
  DvResult rc = 0;
  if (exit_code == 0) {
    const DvClientHandlers handlers{&Client::OnEvent, &Client::OnError, &client};
    rc = DvInitialize(nullptr, handlers);
    if (rc != 0) {
      exit_code = output.Fail(Failure::kSystem,
                              "vombel-device: the device-access library did not start (" + ResultText(rc) + ")", rc);
    }
  }
  if (exit_code == 0) {
    DvSetApplicationName(u"vombel-device");
    // The card detection's first report (a card already there) arrives now.
    platform::PumpMessages();
    NwCardInfo info{};
    info.Size = sizeof info;
    const bool no_card = NwGetCardInfo(&info) == kNoCard;
    if (simulation != nullptr) {
      client.Say("-- plugging the simulated card");
      if (!simulation->Plug()) {
        exit_code = output.Fail(Failure::kSystem, "vombel-device: the simulated card could not be made");
      }
    } else if (no_card && options.command != Command::kWatch) {
      // A card another program holds is there all the same: say who has it.
      exit_code = output.Fail(Failure::kUnavailable, client.HeldText().empty() ? "No data card found." : client.HeldText());
    } else if (no_card) {
      client.Say("no data card yet; waiting for one");
    }
    if (exit_code == 0 && !client.Done()) {
      if (options.timeout_s > 0) {
        const uint32_t limit_ms = options.timeout_s * 1000;
        platform::SetTimer(window, kDeadlineTimer, asking_ms < limit_ms ? limit_ms - asking_ms : 1);
      }
      platform::MSG msg;
      while (platform::GetMessage(msg)) platform::DispatchMessage(msg);
      // Interrupted while connected: the connection goes down before the
      // program leaves.
      if (!client.Done() && client.Disconnect()) {
        platform::SetTimer(window, kDeadlineTimer, kDisconnectLimitMs);
        while (!client.Done() && platform::GetMessage(msg)) platform::DispatchMessage(msg);
      }
      if (!client.Done()) client.GiveUp(Failure::kInterrupted, "Interrupted.");
    }
    if (exit_code == 0) exit_code = client.ExitCode();
    const bool connecting = options.command == Command::kConnect && client.Session() && client.Session()->Started();
    const bool ends_by_interrupt = options.command == Command::kWatch || connecting;
    if (stop_signals.Interrupted() && !ends_by_interrupt && exit_code == 0) {
      exit_code = ExitCodeOf(Failure::kInterrupted);
    }
  }

  // Card detection gives the card back as it shuts down, when it was taken
  // from another program; NwShutdown alone does that for a library that
  // never started.
  DvShutdown();
  NwShutdown();
  codes.pin.Clear();
  platform::DestroyWindow(window);
  platform::UnregisterClass(kWindowClass);
  simulation.reset();
  return exit_code;
}
