// Waiting in real time for what another thread or the kernel does. Tests
// block on a condition where they can; this is for states nobody signals (a
// byte count in the kernel's input queue, a thread leaving the process).
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// Real-time safety net for waits on another thread or on the kernel: never
// reached in a passing run, only there so that a broken build fails instead
// of hanging.
inline constexpr std::chrono::seconds kSafetyNet{10};

// Polls `predicate` until it holds; false when the safety net ran out first.
template <typename Predicate>
bool Eventually(Predicate predicate) {
  const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testing_support
