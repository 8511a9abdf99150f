#include "app/ui/simulated_card_console.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct QuickCommand {
  const char* caption;
  const char* line;
};

// What a user most often tries; every other command goes through the line.
constexpr QuickCommand kQuickCommands[] = {
    {"&Roaming", "roam on"},
    {"&Home network", "roam off"},
    {"&No coverage", "unregister"},
    {"&Weak signal", "signal 4"},
    {"&Strong signal", "signal 25"},
    {"Radio &off", "radio off"},
    {"New &message", "sms +4917012345678 Hello from the simulated network"},
    {"&Flash message", "flash 1234 Your balance is 10.00"},
    // Three parts, the last first: the centre shows it whole only at the end.
    {"Lon&g message", "longsms +4917012345678 3,1,2"},
    {"&Drop the call", "drop"},
    {"&Pull the card", "pull"},
    {"P&lug it back", "plug"},
    {"&Lock the SIM", "lock"},
};

}  // namespace

CSimulatedCardConsole::CSimulatedCardConsole(RunLine run, QWidget* parent)
    : QDialog(parent), run_(std::move(run)) {
  setWindowTitle(QStringLiteral("Simulated card"));
  setObjectName(QStringLiteral("simulated_card_console"));
  Layout();
  runner_ = std::thread([this] { Runner(); });
}

CSimulatedCardConsole::~CSimulatedCardConsole() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  runner_.join();
}

void CSimulatedCardConsole::Layout() {
  auto* note = new QLabel(
      QStringLiteral("Make the simulated card do what a real one does. \"help\" lists every command."), this);
  note->setWordWrap(true);

  auto* quick = new QGridLayout;
  int i = 0;
  for (const QuickCommand& command : kQuickCommands) {
    auto* button = new QPushButton(QString::fromUtf8(command.caption), this);
    button->setAutoDefault(false);
    const QString line = QString::fromUtf8(command.line);
    button->setToolTip(line);
    button->setAccessibleDescription(line);
    connect(button, &QPushButton::clicked, this, [this, line] { Run(line); });
    quick->addWidget(button, i / 3, i % 3);
    ++i;
  }

  output_ = new QPlainTextEdit(this);
  output_->setObjectName(QStringLiteral("console_output"));
  output_->setReadOnly(true);
  output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  output_->setAccessibleName(QStringLiteral("Console output"));
  output_->setMinimumHeight(fontMetrics().height() * 12);

  input_ = new QLineEdit(this);
  input_->setObjectName(QStringLiteral("console_input"));
  input_->setPlaceholderText(QStringLiteral("Command, e.g. operator 26203 Vombel Vombel Netz"));
  input_->setAccessibleName(QStringLiteral("Console command"));
  auto* run = new QPushButton(QStringLiteral("R&un"), this);
  run->setDefault(true);
  const auto submit = [this] {
    const QString line = input_->text().trimmed();
    if (line.isEmpty()) return;
    input_->clear();
    Run(line);
  };
  connect(run, &QPushButton::clicked, this, submit);
  connect(input_, &QLineEdit::returnPressed, this, submit);
  auto* line_row = new QHBoxLayout;
  line_row->addWidget(input_, 1);
  line_row->addWidget(run);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addLayout(quick);
  layout->addWidget(output_, 1);
  layout->addLayout(line_row);
  layout->addWidget(buttons);
  input_->setFocus();
}

void CSimulatedCardConsole::Run(const QString& line) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(line.toStdString());
  }
  wake_.notify_one();
}

QString CSimulatedCardConsole::Output() const { return output_->toPlainText(); }

bool CSimulatedCardConsole::Busy() const {
  std::lock_guard lock(mutex_);
  return running_line_ || !queue_.empty();
}

void CSimulatedCardConsole::Runner() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const std::string line = std::move(queue_.front());
    queue_.pop_front();
    running_line_ = true;
    lock.unlock();
    const std::string answer = run_(line);
    // The window's thread shows it; a window gone meanwhile drops it.
    QMetaObject::invokeMethod(
        this,
        [this, line = QString::fromStdString(line), answer = QString::fromStdString(answer)] {
          ShowAnswer(line, answer);
        },
        Qt::QueuedConnection);
    lock.lock();
    running_line_ = false;
  }
}

void CSimulatedCardConsole::ShowAnswer(const QString& line, const QString& answer) {
  output_->appendPlainText(QStringLiteral("> ") + line);
  QString text = answer;
  while (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  if (!text.isEmpty()) output_->appendPlainText(text);
}
