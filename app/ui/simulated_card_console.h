// The simulated card's console as a window: buttons for what a user most
// often makes a card do (roam, lose signal, receive a message, be pulled)
// and a line for any console command. The commands run one after the other
// on a thread of the window's own, so a pull or a plug, which wait out a
// real card's delays, never hold up the user interface.
#pragma once

#include <QDialog>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class QLineEdit;
class QPlainTextEdit;

class CSimulatedCardConsole : public QDialog {
 public:
  // Runs one console line and returns what it printed.
  using RunLine = std::function<std::string(const std::string& line)>;

  explicit CSimulatedCardConsole(RunLine run, QWidget* parent = nullptr);
  ~CSimulatedCardConsole() override;

  // Queues `line`; its echo and answer appear in the output when it ran.
  void Run(const QString& line);
  QString Output() const;
  // True while lines are queued or running.
  bool Busy() const;

 private:
  void Layout();
  void Runner();
  void ShowAnswer(const QString& line, const QString& answer);

  RunLine run_;
  QPlainTextEdit* output_ = nullptr;
  QLineEdit* input_ = nullptr;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;  // under mutex_
  bool running_line_ = false;      // under mutex_
  bool stopping_ = false;          // under mutex_
  std::thread runner_;
};
