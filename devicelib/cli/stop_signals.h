// How vombel-device hears Ctrl-C and kill: SIGINT and SIGTERM are taken by
// a thread of their own, which ends the message loop of the thread that made
// the object; every thread started after the mask is set inherits it.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/window.h"

namespace vombel_device {

class StopSignals {
 public:
  explicit StopSignals(uint32_t loop_thread) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this, loop_thread] {
      int signal = 0;
      sigwait(&set_, &signal);
      if (!leaving_) {
        interrupted_ = true;
        platform::PostThreadMessage(loop_thread, platform::WM_QUIT, 0, 0);
      }
    });
  }
  ~StopSignals() {
    leaving_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
  }
  bool Interrupted() const { return interrupted_; }

 private:
  sigset_t set_;
  std::atomic<bool> leaving_{false};
  std::atomic<bool> interrupted_{false};
  std::thread thread_;
};

}  // namespace vombel_device
