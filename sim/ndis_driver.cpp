#include "sim/ndis_driver.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/sim_ip_helper.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace sim {
namespace {

using platform::kNoDeadline;

// What the driver sends the card when it brings a call up. Two slots are
// the ones the library repairs: the CS registration query the driver should
// not wait on, and the PS one whose expected answers lack the forms of
// "+CGREG" reports switched on.
constexpr std::array<std::string_view, platform::kNdisConfigCommandSlots> kInitialSlots = {
    "ATE0V1&D2^OK~", "AT+CREG?^0,1~0,5~", "AT+CGREG?^0,1~0,5~", "AT+CGDCONT?", "AT+CSQ", "", "",
};

// The bytes the driver's settings fill its own part of the record with:
// never zero, so that a record written back from zeros shows.
uint8_t OwnByte(size_t offset) { return static_cast<uint8_t>(0x80 | ((offset * 37 + 11) & 0x7F)); }

bool IsField(size_t offset) {
  const size_t credentials_end = platform::kNdisPasswordOffset + platform::kNdisCredentialSize;
  const size_t slots_end =
      platform::kNdisConfigCommandOffset + platform::kNdisConfigCommandSlots * platform::kNdisConfigCommandSize;
  return (offset >= platform::kNdisUserNameOffset && offset < credentials_end) ||
         (offset >= platform::kNdisConfigCommandOffset && offset < slots_end);
}

std::string_view DialStringOf(NdisPort port) {
  return port == NdisPort::kControlDevice ? kNdisControlDialString : kNdisPortDialString;
}

void Put(std::span<uint8_t> output, const void* record, size_t size, uint32_t& returned) {
  std::memcpy(output.data(), record, size);
  returned = static_cast<uint32_t>(size);
}

}  // namespace

NdisCardView NdisViewOf(const CardState& state) {
  NdisCardView view;
  view.ps_registered = state.PsStat() == 1 || state.PsStat() == 5;
  if (auto it = state.contexts.find(1); it != state.contexts.end()) view.apn = it->second.apn;
  view.auth_type = state.auth_type;
  view.auth_user = state.auth_user;
  view.auth_password = state.auth_password;
  return view;
}

std::optional<NdisDriver::Options> NdisDriver::OptionsFor(const CardClass& card) {
  // The Broadcom chip set's driver answers on the application port; the
  // others have a control device when their driver offers the WWAN NDIS
  // port (capability 0x004), the composite driver (0x200) with its call
  // tied to the card's WAN call.
  if (card.Has(kFeatureStack3)) return Options{NdisPort::kApplicationPort, false, false};
  if ((card.driver_capabilities & 0x004) == 0) return std::nullopt;
  return Options{NdisPort::kControlDevice, (card.driver_capabilities & 0x200) != 0, true};
}

NdisDriver::NdisDriver(Options options, CardLink link)
    : options_(options),
      link_(std::move(link)),
      wake_(platform::CreateEvent(false, false)),
      step_at_(kNoDeadline),
      address_at_(kNoDeadline),
      tick_at_(kNoDeadline),
      config_(InitialConfig()) {}

NdisDriver::~NdisDriver() { Shutdown(); }

NdisDriver::ConfigRecord NdisDriver::InitialConfig() {
  ConfigRecord config{};
  for (size_t i = 0; i < config.size(); ++i) config[i] = IsField(i) ? 0 : OwnByte(i);
  for (size_t slot = 0; slot < kInitialSlots.size(); ++slot) {
    std::copy(kInitialSlots[slot].begin(), kInitialSlots[slot].end(),
              config.begin() + static_cast<std::ptrdiff_t>(platform::kNdisConfigCommandOffset +
                                                           slot * platform::kNdisConfigCommandSize));
  }
  return config;
}

void NdisDriver::Plug() {
  std::lock_guard life(lifecycle_mutex_);
  {
    std::lock_guard lock(mutex_);
    if (present_ || shut_down_) return;
    present_ = true;
    stop_ = false;
    ++generation_;
    phase_ = Phase::kIdle;
    record_ = {};
    history_.clear();
    step_at_ = address_at_ = tick_at_ = kNoDeadline;
    sent_ = received_ = duration_ms_ = 0;
    address_set_ = false;
    published_call_ = 0;
  }
  running_.store(true);
  thread_ = std::thread([this] {
    Run();
    running_.store(false);
  });
}

void NdisDriver::Pull() {
  std::lock_guard life(lifecycle_mutex_);
  {
    std::lock_guard lock(mutex_);
    if (!present_) return;
    present_ = false;
    stop_ = true;
    SetAddressLocked(false);
    phase_ = Phase::kIdle;
    record_ = {};
    step_at_ = address_at_ = tick_at_ = kNoDeadline;
  }
  Wake();
  if (thread_.joinable()) thread_.join();
}

void NdisDriver::Shutdown() {
  Pull();
  std::lock_guard life(lifecycle_mutex_);
  std::lock_guard lock(mutex_);
  shut_down_ = true;
  link_ = {};
}

void NdisDriver::AttachAdapter(platform::SimIpHelper* helper, std::string name) {
  std::lock_guard lock(mutex_);
  helper_ = helper;
  adapter_ = std::move(name);
  address_set_ = false;
}

void NdisDriver::DetachAdapter() {
  std::lock_guard lock(mutex_);
  SetAddressLocked(false);
  helper_ = nullptr;
  adapter_.clear();
}

platform::SimDeviceTree::IoControlHandler NdisDriver::Handler(platform::SimDeviceTree::IoControlHandler others) {
  uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    generation = generation_;
  }
  std::weak_ptr<NdisDriver> weak = weak_from_this();
  return [weak, generation, others](uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                                    uint32_t& returned) -> uint32_t {
    returned = 0;
    // The card (and its driver) may have gone while the handle stayed open.
    const std::shared_ptr<NdisDriver> driver = weak.lock();
    if (!driver) return platform::kErrorAccessDenied;
    const uint32_t rc = driver->Request(generation, code, input, output, returned);
    if (rc != platform::kErrorInvalidFunction || !others) return rc;
    return others(code, input, output, returned);
  };
}

uint32_t NdisDriver::Request(uint64_t generation, uint32_t code, std::span<const uint8_t> input,
                             std::span<uint8_t> output, uint32_t& returned) {
  std::lock_guard lock(mutex_);
  if (!present_ || generation != generation_) return platform::kErrorAccessDenied;
  const auto shape = NdisRequestShapeOf(code, options_.port);
  if (!shape) return platform::kErrorInvalidFunction;
  if (uint32_t rc = CheckNdisRequestSize(*shape, input.size(), output.size())) return rc;
  switch (code) {
    case platform::IOCTL_VL_NDIS_GPRS_CONNECT: {
      const auto request = ParseNdisConnectRequest(input, options_.port);
      if (!request || request->dial_string != DialStringOf(options_.port)) return platform::kErrorInvalidParameter;
      if (uint32_t rc = ConnectLocked(*request)) return rc;
      if (shape->output > 0) Put(output, &record_, sizeof record_, returned);
      return platform::kErrorSuccess;
    }
    case platform::IOCTL_VL_NDIS_GPRS_DISCONNECT:
      DisconnectLocked();
      if (shape->output > 0) Put(output, &record_, sizeof record_, returned);
      return platform::kErrorSuccess;
    case platform::IOCTL_VL_NDIS_GET_STATE:
      Put(output, &record_, sizeof record_, returned);
      return platform::kErrorSuccess;
    case platform::IOCTL_VL_NDIS_GET_STATISTICS: {
      const platform::NdisStatisticsRecord statistics = StatisticsLocked(platform::CurrentClock().NowMs());
      Put(output, &statistics, sizeof statistics, returned);
      return platform::kErrorSuccess;
    }
    case platform::IOCTL_VL_NDIS_SET_CONFIG:
      std::copy(input.begin(), input.end(), config_.begin());
      return platform::kErrorSuccess;
    case platform::IOCTL_VL_NDIS_GET_CONFIG:
      Put(output, config_.data(), config_.size(), returned);
      return platform::kErrorSuccess;
    default:
      return platform::kErrorInvalidFunction;
  }
}

uint32_t NdisDriver::ConnectLocked(const NdisConnectRequest& request) {
  switch (phase_) {
    case Phase::kIdle:
    case Phase::kFailed:
      break;
    case Phase::kPending:
    case Phase::kArmed:
    case Phase::kConnecting:
    case Phase::kConnected:
    case Phase::kDisconnecting:
      return platform::kErrorBusy;  // one call at a time
  }
  const uint64_t now = platform::CurrentClock().NowMs();
  offered_user_ = request.user_name;
  offered_password_ = request.password;
  sent_ = received_ = duration_ms_ = 0;
  checked_ = false;
  if (options_.port == NdisPort::kApplicationPort) {
    // The Broadcom-type driver counts its first stage from the request on.
    phase_ = Phase::kConnecting;
    stage_ = platform::kNdisStateConnecting2;
    SetRecordLocked(platform::kNdisStateConnecting2, kReasonRequestPending, now);
    step_at_ = now + StepMsLocked();
  } else if (options_.wan_call) {
    phase_ = Phase::kArmed;  // until the card's WAN call starts
    SetRecordLocked(platform::kNdisStateDisconnected, kReasonRequestPending, now);
  } else {
    phase_ = Phase::kPending;
    SetRecordLocked(platform::kNdisStateDisconnected, kReasonRequestPending, now);
    step_at_ = now + StepMsLocked();
  }
  Wake();
  return platform::kErrorSuccess;
}

void NdisDriver::BeginStagesLocked(uint64_t now) {
  phase_ = Phase::kConnecting;
  stage_ = platform::kNdisStateConnecting3;
  SetRecordLocked(platform::kNdisStateConnecting3, 0, now);
  step_at_ = now + StepMsLocked();
}

void NdisDriver::DisconnectLocked() {
  const uint64_t now = platform::CurrentClock().NowMs();
  switch (phase_) {
    case Phase::kIdle:
    case Phase::kFailed:
      phase_ = Phase::kIdle;
      SetRecordLocked(platform::kNdisStateDisconnected, 0, now);
      return;
    case Phase::kDisconnecting:
      return;
    case Phase::kPending:
    case Phase::kArmed:
    case Phase::kConnecting:
    case Phase::kConnected:
      EndCallLocked(now);
      phase_ = Phase::kDisconnecting;
      SetRecordLocked(platform::kNdisStateDisconnecting, 0, now);
      step_at_ = now + kDisconnectMs;
      Wake();
      return;
  }
}

bool NdisDriver::DropLocked() {
  switch (phase_) {
    case Phase::kIdle:
    case Phase::kFailed:
    case Phase::kDisconnecting:
      return false;
    case Phase::kPending:
    case Phase::kArmed:
    case Phase::kConnecting:
    case Phase::kConnected: {
      const uint64_t now = platform::CurrentClock().NowMs();
      EndCallLocked(now);
      phase_ = Phase::kIdle;
      SetRecordLocked(platform::kNdisStateDisconnected, 0, now);
      Wake();
      return true;
    }
  }
  return false;
}

void NdisDriver::EndCallLocked(uint64_t at) {
  if (phase_ == Phase::kConnected) duration_ms_ = at - connected_at_;
  SetAddressLocked(false);
  step_at_ = address_at_ = tick_at_ = kNoDeadline;
}

void NdisDriver::SetAddressLocked(bool on) {
  if (on == address_set_) return;
  address_set_ = on;
  if (helper_ != nullptr) helper_->SetAddress(adapter_, on ? kAddress : "");
}

void NdisDriver::SetRecordLocked(uint32_t state, uint32_t reason, uint64_t at) {
  if (record_.state == state && record_.reason == reason) return;
  record_ = {state, reason};
  history_.push_back({at, record_});
  if (history_.size() > kHistorySize) history_.pop_front();
}

std::optional<uint32_t> NdisDriver::FailureLocked(const NdisCardView& view) {
  if (fail_next_) return std::exchange(fail_next_, std::nullopt);
  if (!view.ps_registered) return kReasonNotSubscribed;
  if (options_.apn_required && view.apn.empty()) return kReasonMissingApn;
  if (required_user_.empty()) return std::nullopt;
  // The connect request's credentials if it carries any, else those the
  // card was given with AT$QCPDPP, else the driver's configured ones.
  std::string user = offered_user_;
  std::string password = offered_password_;
  if (user.empty() && view.auth_type != 0) {
    user = view.auth_user;
    password = view.auth_password;
  } else if (user.empty()) {
    user = NdisTextField(config_, platform::kNdisUserNameOffset, platform::kNdisCredentialSize).value_or("");
    password = NdisTextField(config_, platform::kNdisPasswordOffset, platform::kNdisCredentialSize).value_or("");
  }
  if (user != required_user_ || password != required_password_) return kReasonAuthenticationFailed;
  return std::nullopt;
}

void NdisDriver::StepLocked(uint64_t at, const NdisCardView& view) {
  step_at_ = kNoDeadline;
  switch (phase_) {
    case Phase::kPending:
      BeginStagesLocked(at);
      return;
    case Phase::kConnecting:
      if (stage_ == platform::kNdisStateConnecting3 && !checked_) {
        checked_ = true;
        if (auto reason = FailureLocked(view)) {
          phase_ = Phase::kFailed;
          SetRecordLocked(platform::kNdisStateFailed, *reason, at);
          return;
        }
      }
      if (stage_ < platform::kNdisStateConnecting5) {
        ++stage_;
        SetRecordLocked(stage_, 0, at);
        step_at_ = at + StepMsLocked();
        return;
      }
      phase_ = Phase::kConnected;
      SetRecordLocked(platform::kNdisStateConnected, 0, at);
      connected_at_ = at;
      if (helper_ != nullptr) helper_->ResetTraffic(adapter_);
      // The network hands out the address a moment after the link is up:
      // until then the adapter shows "0.0.0.0".
      address_at_ = at + address_delay_ms_;
      tick_at_ = at + kTrafficTickMs;
      return;
    case Phase::kDisconnecting:
      phase_ = Phase::kIdle;
      SetRecordLocked(platform::kNdisStateDisconnected, 0, at);
      return;
    case Phase::kIdle:
    case Phase::kArmed:
    case Phase::kConnected:
    case Phase::kFailed:
      return;
  }
}

void NdisDriver::TickLocked(const NdisCardView& view) {
  if (!view.ps_registered) {
    DropLocked();  // out of coverage: the call is gone
    return;
  }
  sent_ += kBytesSentPerTick;
  received_ += kBytesReceivedPerTick;
  if (helper_ != nullptr) helper_->AddTraffic(adapter_, kBytesSentPerTick, kBytesReceivedPerTick);
}

void NdisDriver::RunDueLocked(uint64_t now, const NdisCardView& view) {
  // Each event at its own time, in order, however far the clock moved.
  for (;;) {
    const uint64_t next = std::min({step_at_, address_at_, tick_at_});
    if (next == kNoDeadline || next > now) return;
    if (step_at_ == next) {
      StepLocked(next, view);
    } else if (address_at_ == next) {
      address_at_ = kNoDeadline;
      SetAddressLocked(true);
    } else {
      tick_at_ = next + kTrafficTickMs;
      TickLocked(view);
    }
  }
}

void NdisDriver::Run() {
  for (;;) {
    // The card is asked before the driver's lock is taken (lock order).
    const NdisCardView view = link_.view ? link_.view() : NdisCardView{};
    std::optional<int> call;
    uint32_t wait = platform::kInfinite;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      const uint64_t now = platform::CurrentClock().NowMs();
      RunDueLocked(now, view);
      if (options_.wan_call && CallStateLocked() != published_call_) call = published_call_ = CallStateLocked();
      const uint64_t next = std::min({step_at_, address_at_, tick_at_});
      if (next != kNoDeadline) wait = static_cast<uint32_t>(std::min<uint64_t>(next - now, platform::kInfinite - 1));
    }
    if (call && link_.call_state) link_.call_state(*call);
    platform::WaitForSingleObject(wake_.get(), wait);
  }
}

void NdisDriver::Wake() { platform::SetEvent(wake_.get()); }

int NdisDriver::CallStateLocked() const {
  switch (phase_) {
    case Phase::kIdle:
    case Phase::kArmed:
    case Phase::kDisconnecting:
      return 0;
    case Phase::kConnected:
      return 1;
    case Phase::kPending:
    case Phase::kConnecting:
      return 2;
    case Phase::kFailed:
      return 3;
  }
  return 0;
}

int NdisDriver::StartWanCall() {
  std::lock_guard lock(mutex_);
  if (!present_) return CallStateLocked();
  const uint64_t now = platform::CurrentClock().NowMs();
  switch (phase_) {
    case Phase::kIdle:
    case Phase::kFailed:
      // A WAN call nobody armed the driver for: it brings up its adapter
      // with the credentials it was configured with.
      offered_user_.clear();
      offered_password_.clear();
      sent_ = received_ = duration_ms_ = 0;
      checked_ = false;
      BeginStagesLocked(now);
      break;
    case Phase::kArmed:
      BeginStagesLocked(now);
      break;
    case Phase::kPending:
    case Phase::kConnecting:
    case Phase::kConnected:
    case Phase::kDisconnecting:
      break;
  }
  published_call_ = CallStateLocked();
  Wake();
  return published_call_;
}

int NdisDriver::StopWanCall() {
  std::lock_guard lock(mutex_);
  if (present_) DisconnectLocked();
  published_call_ = CallStateLocked();
  return published_call_;
}

int NdisDriver::WanCallState() const {
  std::lock_guard lock(mutex_);
  return CallStateLocked();
}

void NdisDriver::FailNextConnect(uint32_t reason) {
  std::lock_guard lock(mutex_);
  fail_next_ = reason;
}

bool NdisDriver::DropCall() {
  std::lock_guard lock(mutex_);
  return DropLocked();
}

void NdisDriver::SetConnectDelay(uint32_t ms) {
  std::lock_guard lock(mutex_);
  connect_delay_ms_ = ms;
}

void NdisDriver::SetAddressDelay(uint32_t ms) {
  std::lock_guard lock(mutex_);
  address_delay_ms_ = ms;
}

void NdisDriver::RequireCredentials(std::string user, std::string password) {
  std::lock_guard lock(mutex_);
  required_user_ = std::move(user);
  required_password_ = std::move(password);
}

platform::NdisStatisticsRecord NdisDriver::StatisticsLocked(uint64_t now) const {
  platform::NdisStatisticsRecord statistics{};
  // The record's words wrap as the driver's 32-bit counters do.
  statistics.bytes_transmitted = static_cast<uint32_t>(sent_);
  statistics.bytes_received = static_cast<uint32_t>(received_);
  statistics.duration = static_cast<uint32_t>(phase_ == Phase::kConnected ? now - connected_at_ : duration_ms_);
  return statistics;
}

NdisDriver::Status NdisDriver::GetStatus() const {
  std::lock_guard lock(mutex_);
  Status status;
  status.present = present_;
  status.running = running_.load();
  status.armed = phase_ == Phase::kArmed;
  status.record = record_;
  status.statistics = StatisticsLocked(platform::CurrentClock().NowMs());
  status.adapter = adapter_;
  status.address_set = address_set_;
  status.connect_delay_ms = connect_delay_ms_;
  status.address_delay_ms = address_delay_ms_;
  status.next_failure = fail_next_;
  status.required_user = required_user_;
  return status;
}

platform::NdisStateRecord NdisDriver::State() const {
  std::lock_guard lock(mutex_);
  return record_;
}

std::vector<NdisDriver::RecordChange> NdisDriver::History() const {
  std::lock_guard lock(mutex_);
  return {history_.begin(), history_.end()};
}

NdisDriver::ConfigRecord NdisDriver::Config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

void NdisDriver::SetConfig(const ConfigRecord& config) {
  std::lock_guard lock(mutex_);
  config_ = config;
}

std::string NdisDriver::CommandSlot(size_t index) const {
  if (index >= platform::kNdisConfigCommandSlots) return {};
  std::lock_guard lock(mutex_);
  const size_t offset = platform::kNdisConfigCommandOffset + index * platform::kNdisConfigCommandSize;
  // A slot written without its zero reads as far as the slot goes.
  const auto slot = std::span<const uint8_t>(config_).subspan(offset, platform::kNdisConfigCommandSize);
  return std::string(slot.begin(), std::find(slot.begin(), slot.end(), uint8_t{0}));
}

bool NdisDriver::ConfigOwnBytesIntact() const {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < config_.size(); ++i) {
    if (!IsField(i) && config_[i] != OwnByte(i)) return false;
  }
  return true;
}

}  // namespace sim
