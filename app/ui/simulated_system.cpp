#include "app/ui/simulated_system.h"

#include <sstream>
#include <string_view>
#include <utility>

#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/win32_error.h"
#include "sim/cli/console.h"
#include "sim/sim_card_builder.h"

SimulatedSystem::SimulatedSystem() : SimulatedSystem(sim::ClassOf(sim::CardKind::kMultiplexing3g)) {}

SimulatedSystem::SimulatedSystem(const sim::CardClass& card) : card_(card), stop_(platform::CreateEvent(true, false)) {
  XLogLevel(kXLogInformation, "SimulatedSystem: the simulated device tree, adapters and dial-up service are in.");
  if (!stop_) {
    XLogLevel(kXLogError, "SimulatedSystem, CreateEvent: %u.", platform::GetLastError());
    return;
  }
  plugger_.reset(platform::CreateThread([this] { return PlugLater(); }, nullptr));
  if (!plugger_) XLogLevel(kXLogError, "SimulatedSystem, CreateThread: %u.", platform::GetLastError());
}

SimulatedSystem::~SimulatedSystem() {
  if (plugger_) {
    platform::SetEvent(stop_.get());
    platform::WaitForSingleObject(plugger_.get(), platform::kInfinite);
  }
  std::unique_ptr<sim::SimPresence> presence;
  {
    std::lock_guard lock(mutex_);
    presence = std::move(presence_);
  }
  // The card and its nodes go before the tree and the services it used.
  presence.reset();
}

std::string SimulatedSystem::RunConsoleLine(const std::string& line) {
  std::lock_guard console(console_mutex_);
  sim::SimPresence* presence = nullptr;
  {
    std::lock_guard lock(mutex_);
    presence = presence_.get();
  }
  // The presence lives until the destructor, which the console's user (the
  // window) never outlives.
  if (presence == nullptr) return "The simulated card is not plugged in yet.\n";
  std::ostringstream out;
  sim::cli::RunConsoleLine(*presence, line, out);
  return out.str();
}

sim::CardState SimulatedSystem::CardSnapshot() const {
  std::lock_guard lock(mutex_);
  return presence_ != nullptr ? presence_->Card().Snapshot() : sim::CardState{};
}

bool SimulatedSystem::Plugged() const {
  std::lock_guard lock(mutex_);
  return presence_ != nullptr;
}

uint32_t SimulatedSystem::PlugLater() {
  if (platform::WaitForSingleObject(stop_.get(), kPlugDelayMs) != platform::kWaitTimeout) return 0;
  // The card inserts its nodes on this thread, with a real insertion's
  // delays; an exit meanwhile waits for it in the destructor.
  std::unique_ptr<sim::SimPresence> presence = sim::NewSimCard(card_.kind)
                                                   .Registered(1)
                                                   .Operator("Vombel Net", "Vombel", "26203")
                                                   .Imsi("262031234567890")
                                                   .Signal(20)
                                                   .BuildIn(tree_, &adapters_);
  if (presence == nullptr) {
    XLogLevel(kXLogError, "SimulatedSystem: the simulated card could not be made (no pseudo-terminal).");
    return 1;
  }
  const std::string_view name = presence->Card().Class().db_name;
  XLogLevel(kXLogInformation, "SimulatedSystem: simulated card plugged in (%.*s).", static_cast<int>(name.size()),
            name.data());
  std::lock_guard lock(mutex_);
  presence_ = std::move(presence);
  return 0;
}
