// The simulated WWAN network driver of one card: it answers the control
// requests of wwan_ndis.h on the card's NDIS control device, or (Broadcom-
// type cards) on the card's application port, brings its call up and down
// in the driver's states with the delays of a real network on the platform
// clock, and sets the address of its adapter in the simulated IP helper.
//
// A call goes: connect request → (0, 1) "request pending" (Broadcom-type:
// (2, 1)) → stages 3, 4, 5 → 1 connected → the adapter's address a moment
// later; traffic grows each second while connected. A disconnect request
// goes 6 → 0. Leaving stage 3 the call is checked against the card: no PS
// registration, a missing APN (control device) or credentials the network
// does not take end it in state 7 with the reason. On a composite card the
// connect request only arms the driver; the call comes up with the card's
// WAN call (AT_OWANCALL), whose state is the driver's call state.
//
// Threads: one thread per plugged card runs the delays; requests come on
// the library's threads, the WAN call on the card's reader thread. Lock
// order: the card's lock, then the driver's; the driver never calls into
// the card while it holds its own lock. A handler handed out by Handler()
// holds the driver weakly and answers 5 (access denied) once its card was
// pulled or has gone, as a removed device's driver does.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "platform/sim_device_tree.h"
#include "platform/wwan_ndis.h"
#include "sim/card_class.h"
#include "sim/card_state.h"
#include "sim/ndis_request.h"

namespace platform {
class SimIpHelper;
}

namespace sim {

// What the driver needs to know of its card when it checks a call.
struct NdisCardView {
  bool ps_registered = false;
  std::string apn;     // of context 1, empty when none
  int auth_type = 0;   // AT$QCPDPP: 0 none, 1 PAP, 2 CHAP
  std::string auth_user;
  std::string auth_password;
};

NdisCardView NdisViewOf(const CardState& state);

class NdisDriver : public std::enable_shared_from_this<NdisDriver> {
 public:
  // Reasons of a failed call (state 7), numbered as the network's session
  // management numbers its causes.
  static constexpr uint32_t kReasonMissingApn = 27;            // missing or unknown APN
  static constexpr uint32_t kReasonAuthenticationFailed = 29;  // user authentication failed
  static constexpr uint32_t kReasonNotSubscribed = 33;         // requested service option not subscribed (no PS registration)
  // The reason of the record right after a connect request.
  static constexpr uint32_t kReasonRequestPending = 1;

  // From the connect request to state 1, spread evenly over the four records
  // before it; from state 1 to the address; the disconnecting state.
  static constexpr uint32_t kDefaultConnectMs = 2000;
  static constexpr uint32_t kDefaultAddressMs = 1000;
  static constexpr uint32_t kDisconnectMs = 300;
  // Traffic while connected: this much each tick.
  static constexpr uint32_t kTrafficTickMs = 1000;
  static constexpr uint32_t kBytesSentPerTick = 2048;
  static constexpr uint32_t kBytesReceivedPerTick = 16384;
  // The address the network gives the adapter.
  static constexpr const char* kAddress = "10.64.23.17";
  // Changes of the state record kept for looking.
  static constexpr size_t kHistorySize = 64;

  struct Options {
    NdisPort port = NdisPort::kControlDevice;
    bool wan_call = false;      // the call comes up with the card's WAN call
    bool apn_required = false;  // a call needs the APN of context 1
  };

  // The card's side, called on the driver's thread without its lock.
  struct CardLink {
    std::function<NdisCardView()> view;
    // The card's WAN call state follows the driver's call state (WanCallState).
    std::function<void(int call_state)> call_state;
  };

  // The driver of a card of class `card`, if its cards have one.
  static std::optional<Options> OptionsFor(const CardClass& card);

  NdisDriver(Options options, CardLink link);
  ~NdisDriver();
  NdisDriver(const NdisDriver&) = delete;
  NdisDriver& operator=(const NdisDriver&) = delete;

  const Options& options() const { return options_; }

  // The card's power: Plug starts the driver's thread with a fresh call and
  // statistics; Pull ends the call and the thread, and from then on every
  // handler handed out before answers 5. Shutdown is the last Pull, before
  // the card goes: the link to the card is dropped. The configuration record
  // stays through all of them (the driver keeps it in its settings).
  void Plug();
  void Pull();
  void Shutdown();

  // The adapter the driver brings up, named as the card's network node
  // names it; without a helper the call runs without addresses.
  void AttachAdapter(platform::SimIpHelper* helper, std::string name);
  void DetachAdapter();

  // A handler for a device opened from now on; codes the driver does not
  // answer go to `others` (or answer 1 without it).
  platform::SimDeviceTree::IoControlHandler Handler(platform::SimDeviceTree::IoControlHandler others = {});

  // The card's WAN call (AT_OWANCALL on a composite card, under the card's
  // lock): start brings up the call the driver was armed for (or one with
  // the credentials of its configuration record); each returns the call
  // state then. The call state: 0 down, 1 up, 2 connecting, 3 failed.
  int StartWanCall();
  int StopWanCall();
  int WanCallState() const;

  // Controls, for tests and the console.
  // The next call fails in state 7 with `reason` where the checks run.
  void FailNextConnect(uint32_t reason);
  // The call goes without a word: state 0 reason 0, no state 7. False when
  // there was no call (armed, connecting or connected).
  bool DropCall();
  void SetConnectDelay(uint32_t ms);
  void SetAddressDelay(uint32_t ms);
  // The credentials the network takes; an empty user name: any.
  void RequireCredentials(std::string user, std::string password);

  struct RecordChange {
    uint64_t at;  // platform clock
    platform::NdisStateRecord record;
  };
  struct Status {
    bool present = false;
    bool running = false;  // the driver's thread
    bool armed = false;    // a connect request waits for the card's WAN call
    platform::NdisStateRecord record{};
    platform::NdisStatisticsRecord statistics{};
    std::string adapter;   // empty while none is attached
    bool address_set = false;
    uint32_t connect_delay_ms = 0;
    uint32_t address_delay_ms = 0;
    std::optional<uint32_t> next_failure;
    std::string required_user;
  };
  Status GetStatus() const;
  platform::NdisStateRecord State() const;
  // The last kHistorySize changes of the state record, oldest first.
  std::vector<RecordChange> History() const;

  using ConfigRecord = std::array<uint8_t, platform::kNdisConfigSize>;
  // What a fresh driver holds: empty credentials, seven command slots, and
  // every other byte the driver's own, none of them zero.
  static ConfigRecord InitialConfig();
  ConfigRecord Config() const;
  void SetConfig(const ConfigRecord& config);
  // Command slot `index` (0-6) as text.
  std::string CommandSlot(size_t index) const;
  // Whether every byte outside the credentials and the slots is still as
  // the driver wrote it (a library that writes back what it did not read
  // changes them).
  bool ConfigOwnBytesIntact() const;

 private:
  enum class Phase { kIdle, kPending, kArmed, kConnecting, kConnected, kDisconnecting, kFailed };

  uint32_t Request(uint64_t generation, uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                   uint32_t& returned);
  void Run();
  void Wake();

  // Under mutex_.
  uint32_t ConnectLocked(const NdisConnectRequest& request);
  void DisconnectLocked();
  bool DropLocked();
  void BeginStagesLocked(uint64_t now);
  void RunDueLocked(uint64_t now, const NdisCardView& view);
  void StepLocked(uint64_t at, const NdisCardView& view);
  void TickLocked(const NdisCardView& view);
  std::optional<uint32_t> FailureLocked(const NdisCardView& view);
  void SetRecordLocked(uint32_t state, uint32_t reason, uint64_t at);
  void EndCallLocked(uint64_t at);
  void SetAddressLocked(bool on);
  int CallStateLocked() const;
  uint32_t StepMsLocked() const { return connect_delay_ms_ / 4; }
  platform::NdisStatisticsRecord StatisticsLocked(uint64_t now) const;

  const Options options_;
  CardLink link_;  // read by the thread alone; dropped by Shutdown once it ended

  std::mutex lifecycle_mutex_;  // Plug, Pull, Shutdown; taken before mutex_
  std::thread thread_;
  std::atomic<bool> running_{false};  // from Plug until the thread has ended
  platform::UniqueHandle wake_;       // auto-reset: something changed, or stop

  mutable std::mutex mutex_;
  bool present_ = false;
  bool shut_down_ = false;
  bool stop_ = false;
  uint64_t generation_ = 0;  // moves on with each plug
  Phase phase_ = Phase::kIdle;
  platform::NdisStateRecord record_{};
  std::deque<RecordChange> history_;
  uint32_t stage_ = 0;
  bool checked_ = false;
  uint64_t step_at_;
  uint64_t address_at_;
  uint64_t tick_at_;
  uint64_t connected_at_ = 0;
  uint64_t duration_ms_ = 0;  // of the call that ended
  uint64_t sent_ = 0;
  uint64_t received_ = 0;
  std::string offered_user_;  // the connect request's
  std::string offered_password_;
  std::optional<uint32_t> fail_next_;
  std::string required_user_;
  std::string required_password_;
  uint32_t connect_delay_ms_ = kDefaultConnectMs;
  uint32_t address_delay_ms_ = kDefaultAddressMs;
  platform::SimIpHelper* helper_ = nullptr;
  std::string adapter_;
  bool address_set_ = false;
  int published_call_ = 0;  // the call state the card was last told
  ConfigRecord config_;
};

}  // namespace sim
