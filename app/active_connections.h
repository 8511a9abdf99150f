// How many network connections are active on the machine, the program's own
// included: the main window refuses to connect beside another one unless
// foreign connections are tolerated. The connection watcher thread
// (connection_watcher_thread.h) keeps the count in that mode.
#pragma once

class CActiveConnectionCount {
 public:
  virtual ~CActiveConnectionCount() = default;
  virtual int ActiveConnections() const = 0;
};

// Foreign connections are tolerated: no watcher runs and none counts.
class CNoConnectionWatcher final : public CActiveConnectionCount {
 public:
  int ActiveConnections() const override { return 0; }
};
