#include "sim/sim_card.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/wait.h"

namespace sim {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;
constexpr size_t kMaxLine = 1024;       // what the card's input buffer takes
constexpr size_t kMaxBody = 2 * 180;    // hex of the largest PDU, with room to spare
constexpr size_t kMaxQueuedReports = 64;
// Reports go out only while someone reads the port; a full line drops them.
constexpr uint32_t kReportWriteTimeoutMs = 200;

std::string Framed(const std::string& report) { return "\r\n" + report + "\r\n"; }

std::string Garbage() { return "\r\n\x7F#\x01~%garbage\xFE&/\r\n"; }

}  // namespace

SimCard::SimCard(const CardClass& card, CardState initial)
    : card_(card), state_(std::move(initial)), network_wake_(platform::CreateEvent(false, false)) {
  auto add = [this](PortRole role) {
    Port port;
    port.role = role;
    ports_.push_back(std::move(port));
  };
  if (card_.Multiplexing()) {
    add(PortRole::kApplication);
    add(PortRole::kModem);
  } else {
    add(PortRole::kCombined);
  }
  for (size_t i = 0; i < ports_.size(); ++i) {
    ports_[i].io = std::make_unique<CardPort>([this, i](std::string_view bytes) { return OnInput(i, bytes); });
  }
  if (auto options = NdisDriver::OptionsFor(card_)) {
    NdisDriver::CardLink link;
    link.view = [this] {
      std::lock_guard lock(mutex_);
      return NdisViewOf(state_);
    };
    if (options->wan_call) {
      link.call_state = [this](int call) { Update([call](CardState& s) { s.wan_state = call; }); };
    }
    ndis_ = std::make_shared<NdisDriver>(*options, std::move(link));
  }
}

SimCard::~SimCard() {
  if (ndis_) ndis_->Shutdown();  // its thread asks the card
  {
    std::lock_guard lock(mutex_);
    network_stop_ = true;
  }
  platform::SetEvent(network_wake_.get());
  if (network_.joinable()) network_.join();
  Pull();
  for (auto& port : ports_) port.io->Join();
}

bool SimCard::Plug() {
  std::vector<PortInfo> infos;
  {
    std::lock_guard life(lifecycle_mutex_);
    if (present_.load()) return true;
    for (auto& port : ports_) port.io->Join();  // readers left over from a pull
    {
      std::lock_guard lock(mutex_);
      PowerUp(state_, platform::CurrentClock().NowMs());
      for (auto& port : ports_) {
        port.session = PortSession{};
        port.line.clear();
        port.overflow = false;
        port.body.clear();
        port.link.Reset();
      }
      reports_.clear();
      busy_ = 0;
      std::vector<std::string> ignored;
      CollectReports(card_, state_, ignored);  // the starting point of later reports
    }
    for (auto& port : ports_) {
      if (!port.io->Open()) {
        for (auto& other : ports_) other.io->RequestClose();
        for (auto& other : ports_) other.io->Join();
        return false;
      }
    }
    present_.store(true);
    if (ndis_) ndis_->Plug();
    infos = Ports();
  }
  std::lock_guard handler(handler_mutex_);
  if (presence_handler_) presence_handler_(true, infos);
  return true;
}

void SimCard::Pull() {
  std::lock_guard life(lifecycle_mutex_);
  const bool was_present = present_.exchange(false);
  for (auto& port : ports_) port.io->RequestClose();
  for (auto& port : ports_) port.io->Join();
  if (ndis_) ndis_->Pull();
  if (!was_present) return;
  std::lock_guard handler(handler_mutex_);
  if (presence_handler_) presence_handler_(false, {});
}

// On a reader thread: the other readers are told to close and are joined by
// the next Plug, Pull or the destructor.
void SimCard::PullFromReader() {
  if (!present_.exchange(false)) return;
  for (auto& port : ports_) port.io->RequestClose();
  if (ndis_) ndis_->Pull();
  std::lock_guard handler(handler_mutex_);
  if (presence_handler_) presence_handler_(false, {});
}

void SimCard::SetPresenceHandler(PresenceHandler handler) {
  std::lock_guard lock(handler_mutex_);
  presence_handler_ = std::move(handler);
}

std::vector<SimCard::PortInfo> SimCard::Ports() const {
  std::vector<PortInfo> infos;
  for (const auto& port : ports_) infos.push_back({port.role, port.io->Path()});
  return infos;
}

std::string SimCard::AtPortPath() const { return ports_[ReportPort()].io->Path(); }

std::string SimCard::ModemPortPath() const {
  for (const auto& port : ports_) {
    if (port.role != PortRole::kApplication) return port.io->Path();
  }
  return {};
}

size_t SimCard::ReportPort() const {
  for (size_t i = 0; i < ports_.size(); ++i) {
    if (ports_[i].role != PortRole::kModem) return i;
  }
  return 0;
}

void SimCard::Update(const std::function<void(CardState&)>& change) {
  {
    std::lock_guard lock(mutex_);
    change(state_);
    CollectLocked();
  }
  FlushReports();
}

CardState SimCard::Snapshot() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void SimCard::SetRegistration(int stat) {
  Update([stat](CardState& s) { s.network_stat = stat; });
}

void SimCard::SetSignal(int rssi, int ber) {
  Update([rssi, ber](CardState& s) {
    s.rssi = rssi;
    s.ber = ber;
  });
}

void SimCard::SetRadioSwitch(bool on) {
  Update([on](CardState& s) { s.radio_switch_on = on; });
}

void SimCard::SetSimPresent(bool present) {
  Update([present](CardState& s) { s.sim_present = present; });
}

void SimCard::LockSim() {
  Update([](CardState& s) {
    s.pin_enabled = true;
    if (s.lock == SimLock::kReady) s.lock = SimLock::kPin;
  });
}

std::optional<int> SimCard::DeliverSms(const DeliverMessage& message) {
  std::optional<int> index;
  {
    std::lock_guard lock(mutex_);
    const EncodedPdu pdu = EncodeDeliver(message);
    const bool usable = state_.SimUsable() && platform::CurrentClock().NowMs() >= state_.sim_ready_at;
    // Class 0 is shown, not stored, once the program asked for indications;
    // mt=2 routes every message to the program directly.
    const bool direct = (message.flash && state_.cnmi_mt > 0) || state_.cnmi_mt == 2;
    if (direct) {
      // The stack 3 cards put a blank after the length.
      const char* after_length = card_.Has(kFeatureStack3) ? " " : "";
      reports_.push_back("+CMT: ," + std::to_string(pdu.tpdu_length) + after_length + "\r\n" + pdu.hex);
    } else if (usable) {
      for (size_t slot = 0; slot < state_.sms.size(); ++slot) {
        if (!state_.sms[slot]) {
          state_.sms[slot] = StoredSms{0, pdu.hex, pdu.tpdu_length};
          index = static_cast<int>(slot) + card_.SmsIndexBase();
          break;
        }
      }
      if (index && state_.cnmi_mt == 1) reports_.push_back("+CMTI: \"SM\"," + std::to_string(*index));
    }
  }
  FlushReports();
  return index;
}

bool SimCard::DeliverStatusReport(const StatusReport& report) {
  bool routed = false;
  {
    std::lock_guard lock(mutex_);
    routed = RouteStatusReportLocked(report);
  }
  FlushReports();
  return routed;
}

bool SimCard::RouteStatusReportLocked(const StatusReport& report) {
  const EncodedPdu pdu = EncodeStatusReport(report);
  if (state_.cnmi_ds == 1) {
    reports_.push_back("+CDS: " + std::to_string(pdu.tpdu_length) + "\r\n" + pdu.hex);
    return true;
  }
  if (!state_.SimUsable() || platform::CurrentClock().NowMs() < state_.sim_ready_at) return false;
  for (size_t slot = 0; slot < state_.sms.size(); ++slot) {
    if (!state_.sms[slot]) {
      state_.sms[slot] = StoredSms{0, pdu.hex, pdu.tpdu_length};
      const int index = static_cast<int>(slot) + card_.SmsIndexBase();
      if (state_.cnmi_ds == 2) reports_.push_back("+CDSI: \"SM\"," + std::to_string(index));
      return true;
    }
  }
  return false;
}

void SimCard::StartNetworkLocked() {
  if (network_stop_) return;
  if (!network_running_) {
    if (network_.joinable()) network_.join();  // it has left the lock for good
    network_running_ = true;
    network_ = std::thread(&SimCard::RunNetwork, this);
  }
  platform::SetEvent(network_wake_.get());
}

void SimCard::RunNetwork() {
  for (;;) {
    uint64_t wait = platform::kInfinite;
    bool routed = false;
    {
      std::lock_guard lock(mutex_);
      auto& pending = state_.pending_reports;
      if (network_stop_ || pending.empty()) {
        network_running_ = false;
        return;
      }
      const uint64_t now = platform::CurrentClock().NowMs();
      const std::time_t wall = std::time(nullptr);
      for (auto it = pending.begin(); it != pending.end();) {
        if (it->due > now) {
          wait = std::min<uint64_t>(wait, it->due - now);
          ++it;
          continue;
        }
        StatusReport report;
        report.service_centre = state_.service_centre;
        report.reference = it->reference;
        report.recipient = it->recipient;
        report.sent = LocalSmsTime(wall - static_cast<std::time_t>(state_.status_report_delay_ms / 1000));
        report.discharged = LocalSmsTime(wall);
        report.status = 0;  // delivered
        RouteStatusReportLocked(report);
        routed = true;
        it = pending.erase(it);
      }
    }
    if (routed) FlushReports();
    if (wait != platform::kInfinite) {
      platform::WaitForSingleObject(network_wake_.get(), static_cast<uint32_t>(std::min<uint64_t>(wait, 0xFFFFFFFE)));
    }
  }
}

void SimCard::SendUssd(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    reports_.push_back("+CUSD: 0," + QuoteText(state_, text) + ",15");
  }
  FlushReports();
}

void SimCard::DropDataCall() {
  std::optional<size_t> modem;
  {
    std::lock_guard lock(mutex_);
    state_.wan_state = 0;
    if (state_.data_call) {
      state_.data_call = false;
      for (size_t i = 0; i < ports_.size(); ++i) {
        if (ports_[i].session.mode == PortSession::Mode::kData) {
          ports_[i].session.mode = PortSession::Mode::kCommand;
          modem = i;
        }
      }
    }
    CollectLocked();
  }
  if (modem) ports_[*modem].io->Write("\r\nNO CARRIER\r\n");
  FlushReports();
  if (ndis_) ndis_->DropCall();
}

void SimCard::AcceptAnyDialUpLogin() {
  Update([](CardState& s) { s.dial_up_accepts_any = true; });
}

void SimCard::AcceptDialUpLogin(std::string user, std::string password) {
  Update([&](CardState& s) {
    s.dial_up_accepts_any = false;
    s.dial_up_user = std::move(user);
    s.dial_up_password = std::move(password);
  });
}

void SimCard::SetDialUpAddress(std::string address) {
  Update([&](CardState& s) { s.dial_up_address = std::move(address); });
}

void SimCard::InjectFault(const std::string& command, Fault fault) {
  std::lock_guard lock(mutex_);
  faults_[command] = fault;
}

void SimCard::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

void SimCard::SetMute(bool mute) {
  std::lock_guard lock(mutex_);
  mute_ = mute;
}

void SimCard::SetAnswerDelay(uint32_t ms) {
  std::lock_guard lock(mutex_);
  answer_delay_ms_ = ms;
}

void SimCard::CollectLocked() {
  CollectReports(card_, state_, reports_);
  if (reports_.size() > kMaxQueuedReports) {
    reports_.erase(reports_.begin(), reports_.end() - static_cast<std::ptrdiff_t>(kMaxQueuedReports));
  }
}

void SimCard::FlushReports() {
  std::lock_guard order(report_write_mutex_);
  std::string bytes;
  size_t target = 0;
  {
    std::lock_guard lock(mutex_);
    target = ReportPort();
    const auto mode = ports_[target].session.mode;
    if (busy_ > 0 || mode == PortSession::Mode::kSmsBody) return;  // held until the answer is out
    if (mode == PortSession::Mode::kData) {
      reports_.clear();  // a port in a data call has no room for reports
      return;
    }
    for (const auto& report : reports_) bytes += Framed(report);
    reports_.clear();
  }
  if (!bytes.empty()) ports_[target].io->Write(bytes, kReportWriteTimeoutMs);
}

std::optional<Fault> SimCard::TakeFault(const std::vector<AtCommand>& commands) {
  auto take = [this](std::map<std::string, Fault>::iterator it) -> std::optional<Fault> {
    if (it->second.passes > 0) {
      --it->second.passes;
      return std::nullopt;
    }
    Fault fault = it->second;
    if (fault.once) faults_.erase(it);
    return fault;
  };
  for (const auto& command : commands) {
    if (auto it = faults_.find(command.name); it != faults_.end()) return take(it);
  }
  if (auto it = faults_.find("*"); it != faults_.end()) return take(it);
  return std::nullopt;
}

Response::Final SimCard::RunContext(size_t port, const std::function<void(CommandContext&)>& body,
                                    Output& out) {
  Response response;
  std::vector<std::string> after;
  CommandContext context{card_, state_, ports_[port].session, ports_[port].role,
                         platform::CurrentClock().NowMs(), response, after};
  if (ndis_ && ndis_->options().wan_call) context.wan_call_driver = ndis_.get();
  body(context);
  out.answer = FrameResponse(ports_[port].session, response);
  if (out.fault && out.fault->kind == FaultKind::kDropFinal) {
    out.answer.resize(out.answer.size() - FrameFinal(ports_[port].session, response).size());
  }
  reports_.insert(reports_.end(), after.begin(), after.end());
  CollectLocked();
  if (!state_.pending_reports.empty()) StartNetworkLocked();
  return response.final;
}

void SimCard::RunLine(size_t port, std::string line, Output& out) {
  Port& p = ports_[port];
  if (line == "A/" || line == "a/") line = p.last_line;
  // Anything that does not start with "AT" is line noise to the card.
  if (line.size() < 2 || (line[0] != 'A' && line[0] != 'a') || (line[1] != 'T' && line[1] != 't')) return;
  p.last_line = line;
  const auto commands = ParseCommandLine(line);
  if (commands) out.fault = TakeFault(*commands);
  if (out.fault) {
    switch (out.fault->kind) {
      case FaultKind::kSilent:
        return;
      case FaultKind::kGarbage:
        out.answer = Garbage();
        return;
      case FaultKind::kError:
        out.answer = "\r\nERROR\r\n";
        return;
      case FaultKind::kLate:
      case FaultKind::kOverlong:
      case FaultKind::kDropFinal:
      case FaultKind::kPull:
        break;
    }
  }
  if (!commands) {
    out.answer = "\r\nERROR\r\n";
    return;
  }
  RunContext(port, [&](CommandContext& c) { RunCommands(c, *commands); }, out);
}

void SimCard::FinishBody(size_t port, bool cancelled, Output& out) {
  const std::string body = std::move(ports_[port].body);
  ports_[port].body.clear();
  const bool overflow = std::exchange(ports_[port].overflow, false);
  RunContext(port, [&](CommandContext& c) { FinishSmsBody(c, overflow ? "" : body, cancelled); }, out);
}

bool SimCard::OnInput(size_t index, std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    Output out;
    bool answer = false;
    {
      std::lock_guard lock(mutex_);
      Port& p = ports_[index];
      for (; i < bytes.size() && !answer; ++i) {
        const char b = bytes[i];
        switch (p.session.mode) {
          case PortSession::Mode::kData:
            // The data call's own protocol, until the "+++" escape.
            switch (p.link.Take(b, state_, out.answer)) {
              case DataLink::Step::kNothing:
                break;
              case DataLink::Step::kReply:
                if (mute_) out.answer.clear();
                answer = !mute_;
                break;
              case DataLink::Step::kEscape:
                p.session.mode = PortSession::Mode::kCommand;
                state_.data_call = false;
                CollectLocked();
                if (!mute_) out.answer = "\r\nOK\r\n";
                answer = !mute_;
                break;
            }
            break;
          case PortSession::Mode::kSmsBody:
            if (b == kCtrlZ || b == kEscape) {
              FinishBody(index, b == kEscape, out);
              answer = true;
            } else if (b != '\r' && b != '\n') {  // the LF of the command line, or line breaks typed by hand
              if (p.session.echo && !mute_) out.echo.push_back(b);
              if (p.body.size() < kMaxBody) {
                p.body.push_back(b);
              } else {
                p.overflow = true;
              }
            }
            break;
          case PortSession::Mode::kCommand:
            if (b == '\n') break;  // the program ends its lines with CR LF
            if (p.session.echo && !mute_) out.echo.push_back(b);
            if (b == '\r') {
              std::string line = std::exchange(p.line, {});
              if (std::exchange(p.overflow, false)) {
                out.answer = "\r\nERROR\r\n";
              } else if (!mute_) {
                RunLine(index, std::move(line), out);
                if (p.session.mode == PortSession::Mode::kData) p.link.Reset();  // a new call
              }
              answer = !out.answer.empty() || out.fault.has_value();
            } else if (b == '\b' || b == 0x7F) {
              if (!p.line.empty()) p.line.pop_back();
            } else if (p.line.size() < kMaxLine) {
              p.line.push_back(b);
            } else {
              p.overflow = true;
            }
            break;
        }
      }
      // Reports wait until this answer is out.
      if (answer) ++busy_;
    }
    const bool keep = Deliver(index, out);
    if (answer) {
      std::lock_guard lock(mutex_);
      if (busy_ > 0) --busy_;
      ++lines_answered_;
    }
    if (!keep) {
      PullFromReader();
      return false;
    }
    FlushReports();
  }
  return true;
}

bool SimCard::Deliver(size_t index, const Output& out) {
  CardPort& io = *ports_[index].io;
  if (!out.echo.empty()) io.Write(out.echo);
  uint32_t delay = 0;
  {
    std::lock_guard lock(mutex_);
    delay = answer_delay_ms_;
  }
  if (out.fault) {
    switch (out.fault->kind) {
      case FaultKind::kLate:
        delay += out.fault->delay_ms;
        break;
      case FaultKind::kOverlong:
        io.Write(std::string(kOverlongLineBytes, 'X'));
        break;
      case FaultKind::kPull:
        io.Write(out.answer.substr(0, out.answer.size() / 2));
        return false;
      case FaultKind::kSilent:
      case FaultKind::kGarbage:
      case FaultKind::kDropFinal:
      case FaultKind::kError:
        break;
    }
  }
  if (out.answer.empty()) return true;
  if (delay > 0) platform::Sleep(delay);
  io.Write(out.answer);
  return true;
}

}  // namespace sim
