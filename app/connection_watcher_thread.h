// The connection watcher: a thread of its own that counts, once a second,
// the network adapters that are connected (every adapter the IP helper
// lists, the card's own included) and tells the main window when the count
// changed. It runs only while foreign connections are not tolerated.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/active_connections.h"
#include "platform/handle.h"
#include "platform/ip_helper.h"
#include "platform/window.h"

// The adapters of `helper` whose interface is connected or operational. An
// adapter whose interface table or entry cannot be read does not count.
int CountConnectedAdapters(platform::IpHelper& helper);

class CConnectionWatcherThread final : public CActiveConnectionCount {
 public:
  static constexpr uint32_t kPeriodMs = 1000;

  // `main_window` receives WM_APP_FOREIGN_CONNECTIONS (null: nobody does).
  explicit CConnectionWatcherThread(platform::HWND main_window);
  ~CConnectionWatcherThread() override;
  CConnectionWatcherThread(const CConnectionWatcherThread&) = delete;
  CConnectionWatcherThread& operator=(const CConnectionWatcherThread&) = delete;

  // Starts the thread with the count at 0 and waits until its loop runs;
  // false when the thread could not be made.
  bool Start();
  // Ends the loop and waits for the thread, however long its count takes.
  void Stop();

  // The process-wide count, written only by the watcher's thread.
  int ActiveConnections() const override;
  static int ActiveConnectionCount();

 private:
  uint32_t Run(platform::HANDLE ready);
  void OnTimer();

  platform::HWND main_window_;
  platform::UniqueHandle thread_;
  std::atomic<uint32_t> thread_id_ = 0;
  std::atomic<bool> running_ = false;
};
