// How many network connections are active on the machine, the program's own
// included: the main window refuses to connect beside another one unless
// foreign connections are tolerated. The connection watcher thread will
// count the adapters; until it runs the count is always 0.
#pragma once

class CActiveConnectionCount {
 public:
  virtual ~CActiveConnectionCount() = default;
  virtual int ActiveConnections() const = 0;
};

// No watcher runs: no connection is known to be active.
class CNoConnectionWatcher final : public CActiveConnectionCount {
 public:
  int ActiveConnections() const override { return 0; }
};
