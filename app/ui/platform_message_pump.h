// Runs the platform messages of the user-interface thread from Qt's event
// loop: a socket notifier watches the thread's queue descriptor, which is
// readable while a message posted or sent to one of the thread's windows, a
// thread message, a quit or a due window timer waits, and each activation
// pumps them all. So windows of the thread, and the worker's posts to them,
// run inside Qt's loop with no second loop and no polling.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class PlatformMessagePump final : public QObject {
 public:
  // Receives the exit code of a quit posted to the thread.
  using QuitHandler = std::function<void(int exit_code)>;

  // Create on the thread whose messages it runs (the user-interface thread),
  // after the application object. Without `on_quit`, a posted quit ends Qt's
  // loop with its exit code.
  explicit PlatformMessagePump(QuitHandler on_quit = {}, QObject* parent = nullptr);
  ~PlatformMessagePump() override;

  // False when the queue gave no descriptor (logged): nothing is pumped.
  bool IsActive() const { return notifier_ != nullptr; }

  // Runs what is ready now; the notifier's activation. A quit is taken off
  // the queue and handed on, since it would otherwise keep the descriptor
  // readable.
  void Pump();

 private:
  QuitHandler on_quit_;
  std::unique_ptr<QSocketNotifier> notifier_;
};
