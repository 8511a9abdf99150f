#include "platform/modem_manager_sim.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

struct SimModemManager::State {
  struct Held {
    uint64_t id;
    std::string uid;
    LostHandler on_lost;
    bool lost = false;
  };

  mutable std::mutex mutex;
  Behaviour behaviour;
  std::vector<std::pair<std::string, std::string>> modems;  // uid, port
  std::vector<Held> held;
  uint64_t next_id = 0;
  std::function<void(const std::string&)> on_inhibit;

  bool LostLocked(uint64_t id) const {
    auto it = std::find_if(held.begin(), held.end(), [id](const Held& h) { return h.id == id; });
    return it == held.end() || it->lost;
  }
};

namespace {

class SimInhibition final : public ModemManagerInhibition {
 public:
  SimInhibition(std::weak_ptr<SimModemManager::State> state, uint64_t id, std::string uid)
      : state_(std::move(state)), id_(id), uid_(std::move(uid)) {}
  ~SimInhibition() override {
    auto state = state_.lock();
    if (!state) return;
    std::lock_guard lock(state->mutex);
    std::erase_if(state->held, [this](const auto& h) { return h.id == id_; });
  }
  const std::string& Uid() const override { return uid_; }
  bool Lost() const override {
    auto state = state_.lock();
    if (!state) return true;
    std::lock_guard lock(state->mutex);
    return state->LostLocked(id_);
  }

 private:
  std::weak_ptr<SimModemManager::State> state_;
  uint64_t id_;
  std::string uid_;
};

}  // namespace

SimModemManager::SimModemManager(Behaviour behaviour) : state_(std::make_shared<State>()) {
  state_->behaviour = behaviour;
}

// As with the bus, the inhibitions end with the link; their objects stay
// harmless.
SimModemManager::~SimModemManager() = default;

void SimModemManager::AddModem(std::string uid, std::string port) {
  std::lock_guard lock(state_->mutex);
  state_->modems.emplace_back(std::move(uid), std::move(port));
}

void SimModemManager::OnInhibit(std::function<void(const std::string& uid)> handler) {
  std::lock_guard lock(state_->mutex);
  state_->on_inhibit = std::move(handler);
}

void SimModemManager::GoAway() {
  std::vector<std::pair<std::string, LostHandler>> notices;
  {
    std::lock_guard lock(state_->mutex);
    state_->behaviour = Behaviour::kAbsent;
    for (auto& h : state_->held) {
      if (h.lost) continue;
      h.lost = true;
      if (h.on_lost) notices.emplace_back(h.uid, h.on_lost);
    }
  }
  for (auto& [uid, handler] : notices) handler(uid);
}

void SimModemManager::Return(Behaviour behaviour) {
  std::lock_guard lock(state_->mutex);
  state_->behaviour = behaviour;
}

bool SimModemManager::IsInhibited(std::string_view uid) const {
  std::lock_guard lock(state_->mutex);
  return std::any_of(state_->held.begin(), state_->held.end(),
                     [uid](const auto& h) { return !h.lost && h.uid == uid; });
}

bool SimModemManager::Present() {
  std::lock_guard lock(state_->mutex);
  return state_->behaviour != Behaviour::kAbsent;
}

std::string SimModemManager::DeviceOfPort(std::string_view port) {
  std::lock_guard lock(state_->mutex);
  if (state_->behaviour == Behaviour::kAbsent) return {};
  for (const auto& [uid, modem_port] : state_->modems) {
    if (ModemHasPort({modem_port}, port)) return uid;
  }
  return {};
}

Inhibited SimModemManager::Inhibit(const std::string& uid, LostHandler on_lost) {
  Inhibited out;
  std::function<void(const std::string&)> on_inhibit;
  {
    std::lock_guard lock(state_->mutex);
    out = InhibitLocked(uid, std::move(on_lost));
    if (out.inhibition) on_inhibit = state_->on_inhibit;
  }
  if (on_inhibit) on_inhibit(uid);
  return out;
}

Inhibited SimModemManager::InhibitLocked(const std::string& uid, LostHandler on_lost) {
  Inhibited out;
  switch (state_->behaviour) {
    case Behaviour::kWilling: {
      const uint64_t id = ++state_->next_id;
      state_->held.push_back({id, uid, std::move(on_lost)});
      out.result.status = InhibitStatus::kOk;
      out.inhibition = std::make_unique<SimInhibition>(state_, id, uid);
      break;
    }
    case Behaviour::kRefusing:
      out.result = {InhibitStatus::kRefused, kRefusalName, kRefusalMessage};
      break;
    case Behaviour::kAbsent:
      out.result.status = InhibitStatus::kAbsent;
      break;
  }
  return out;
}

}  // namespace platform
