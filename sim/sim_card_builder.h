// Builds a simulated card for a test in one expression:
//
//   auto card = sim::NewSimCard(sim::CardKind::kGprs).WithPin("1234").Registered(5).Build();
//   modem.Open(card->AtPortPath(), true);
//
// Build() returns the card plugged in, its ports open. BuildIn(tree) returns
// it plugged into a simulated device tree, its nodes in:
//
//   auto present = sim::NewSimCard(sim::CardKind::kComposite).BuildIn(tree);
//   present->Card().SetSignal(20);
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim_device_tree.h"
#include "sim/card_class.h"
#include "sim/card_state.h"
#include "sim/faults.h"
#include "sim/sim_card.h"
#include "sim/sim_presence.h"
#include "sim/sms_pdu_encoder.h"

namespace sim {

class SimCardBuilder {
 public:
  explicit SimCardBuilder(CardKind kind = CardKind::kMultiplexing3g) : card_(&ClassOf(kind)) {}

  SimCardBuilder& OfClass(CardKind kind) { return card_ = &ClassOf(kind), *this; }
  // The SIM checks this PIN at power-up.
  SimCardBuilder& WithPin(std::string pin) {
    state_.pin = std::move(pin);
    state_.pin_enabled = true;
    return *this;
  }
  SimCardBuilder& WithPuk(std::string puk) { return state_.puk = std::move(puk), *this; }
  // The SIM wants its PUK: the PIN was entered wrongly too often.
  SimCardBuilder& PukLocked() {
    state_.pin_enabled = true;
    state_.pin_retries = 0;
    state_.lock = SimLock::kPuk;
    return *this;
  }
  SimCardBuilder& NetworkLocked(std::string code) { return state_.network_pin = std::move(code), *this; }
  SimCardBuilder& WithoutSim() { return state_.sim_present = false, *this; }
  // What the network grants: 1 home, 5 roaming, 0 none, 2 searching, 3 denied.
  SimCardBuilder& Registered(int stat = 1) { return state_.network_stat = stat, *this; }
  SimCardBuilder& NotRegistered() { return state_.network_stat = 0, *this; }
  SimCardBuilder& Operator(std::string long_name, std::string short_name, std::string numeric) {
    state_.operator_long = std::move(long_name);
    state_.operator_short = std::move(short_name);
    state_.operator_numeric = std::move(numeric);
    return *this;
  }
  SimCardBuilder& OperatorOwnName(std::string name) { return state_.operator_own_name = std::move(name), *this; }
  // 0 GSM, 2 UMTS: the best the network offers.
  SimCardBuilder& AccessTechnology(int rat) { return state_.network_rat = rat, *this; }
  SimCardBuilder& Signal(int rssi, int ber = 99) {
    state_.rssi = rssi;
    state_.ber = ber;
    return *this;
  }
  SimCardBuilder& Imei(std::string imei) { return state_.imei = std::move(imei), *this; }
  SimCardBuilder& Serial(std::string serial) { return state_.serial = std::move(serial), *this; }
  SimCardBuilder& Iccid(std::string iccid) { return state_.iccid = std::move(iccid), *this; }
  SimCardBuilder& Imsi(std::string imsi) { return state_.imsi = std::move(imsi), *this; }
  SimCardBuilder& OwnNumbers(std::vector<std::string> numbers) { return state_.own_numbers = std::move(numbers), *this; }
  SimCardBuilder& ServiceCentre(std::string number) { return state_.service_centre = std::move(number), *this; }
  SimCardBuilder& Apn(std::string apn) { return state_.contexts[1].apn = std::move(apn), *this; }
  SimCardBuilder& SmsStorage(size_t slot_count) { return state_.sms.resize(slot_count), *this; }
  // A message already on the SIM, at the next free slot.
  SimCardBuilder& WithStoredSms(const DeliverMessage& message, int status = 1) {
    const EncodedPdu pdu = EncodeDeliver(message);
    for (auto& slot : state_.sms) {
      if (!slot) {
        slot = StoredSms{status, pdu.hex, pdu.tpdu_length};
        break;
      }
    }
    return *this;
  }
  // After power-up AT+CPIN? answers "+CME ERROR: 522" for this long.
  SimCardBuilder& SimNotReadyFor(uint32_t ms) { return state_.sim_busy_ms = ms, *this; }
  // After the PIN the SIM takes this long to read its files ("_OBLS:").
  SimCardBuilder& SimInitTakes(uint32_t ms) { return state_.sim_init_ms = ms, *this; }
  SimCardBuilder& AnswerDelay(uint32_t ms) { return answer_delay_ms_ = ms, *this; }
  SimCardBuilder& WithFault(std::string command, Fault fault) {
    faults_.emplace_back(std::move(command), fault);
    return *this;
  }
  SimCardBuilder& Change(const std::function<void(CardState&)>& change) { return change(state_), *this; }

  // The model the card starts from.
  const CardState& State() const { return state_; }

  // Plugged in; null when no pseudo-terminal could be made.
  std::unique_ptr<SimCard> Build() const {
    auto card = Unplugged();
    if (!card->Plug()) return nullptr;
    return card;
  }
  // Plugged into `tree` (which must outlive it), its nodes inserted with the
  // delays of a real insertion on the platform clock; null when no
  // pseudo-terminal could be made.
  std::unique_ptr<SimPresence> BuildIn(platform::SimDeviceTree& tree) const { return BuildIn(tree, nullptr); }
  // The same, its WWAN adapter an adapter of `ip_helper` (which must
  // outlive it too).
  std::unique_ptr<SimPresence> BuildIn(platform::SimDeviceTree& tree, platform::SimIpHelper* ip_helper) const {
    auto present = std::make_unique<SimPresence>(Unplugged(), tree);
    present->SetIpHelper(ip_helper);
    if (!present->Plug()) return nullptr;
    return present;
  }

 private:
  std::unique_ptr<SimCard> Unplugged() const {
    auto card = std::make_unique<SimCard>(*card_, state_);
    card->SetAnswerDelay(answer_delay_ms_);
    for (const auto& [command, fault] : faults_) card->InjectFault(command, fault);
    return card;
  }

  const CardClass* card_;
  CardState state_;
  uint32_t answer_delay_ms_ = 0;
  std::vector<std::pair<std::string, Fault>> faults_;
};

inline SimCardBuilder NewSimCard(CardKind kind = CardKind::kMultiplexing3g) { return SimCardBuilder(kind); }

}  // namespace sim
