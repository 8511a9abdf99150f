// vombel_soak: the whole program on a simulated card for a while, with a
// user who keeps doing things: the card roams, loses and finds the network
// and signal, switches its radio, is pulled and plugged; messages arrive,
// are sent and deleted; connections go up and down. At the end the program
// must still answer, must not have grown beyond a bound, and every message
// the card holds must be in the program's store and the other way round.
//
//   vombel_soak [--seconds N] [--seed S]
//
// Runs on the real clock (it is a long run, not a test of timing), with a
// private runtime, configuration and temporary folder, offscreen unless
// QT_QPA_PLATFORM says otherwise.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_main.h"
#include "app/app_messages.h"
#include "app/cached_dravik.h"
#include "app/command_line.h"
#include "app/settings.h"
#include "app/ui/dlg_main.h"
#include "app/ui/platform_message_pump.h"
#include "app/ui/qt_app_ui.h"
#include "app/ui/simulated_card_console.h"
#include "app/ui/simulated_system.h"
#include "devicelib/sms_message.h"
#include "foundation/xlog.h"
#include "platform/debug_output.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/support/log_capture.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

namespace {

using namespace app_messages;

// The growth of the resident set from the end of the warm-up to the end that
// counts as a leak (without sanitizers, whose own bookkeeping grows).
constexpr long kRssGrowthLimitKb = 32 * 1024;
// The longest the user-interface thread may be held up.
constexpr qint64 kStallLimitMs = kSanitized ? 10000 : 2000;
// How long the program may take to come back after the last action.
constexpr int kSettleMs = 90000;
// The SIM holds 20 messages; the soak keeps it below this many.
constexpr size_t kStoreCeiling = 14;

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

std::string Utf8(const char16_t* text) { return platform::Utf16ToUtf8(text); }

// What went wrong, by kind: a library call that failed, by call and result
// code ("DvConnect 0x84000008"), and any other line that says it failed.
std::map<std::string, int> Failures(const std::vector<std::string>& lines) {
  std::map<std::string, int> kinds;
  for (const std::string& line : lines) {
    const size_t finished = line.find(" finished with 0x8");
    if (finished != std::string::npos) {
      kinds[line.substr(0, finished) + " " + line.substr(finished + 15, 10)]++;
    } else if (line.find("NOK") != std::string::npos || line.find("rror") != std::string::npos ||
               line.find("failed") != std::string::npos || line.find("unable") != std::string::npos) {
      kinds[line.substr(0, std::min<size_t>(line.size(), 100))]++;
    }
  }
  return kinds;
}

void PrivateEnvironment() {
  char folder[] = "/tmp/vombel-soak-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("vombel_soak: mkdtemp");
    std::exit(1);
  }
  const std::string root = folder;
  for (const char* sub : {"/runtime", "/home", "/tmp"}) mkdir((root + sub).c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
  setenv("HOME", (root + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root + "/home/.local/share").c_str(), 1);
  setenv("TMPDIR", (root + "/tmp").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::printf("vombel_soak: private folders under %s\n", folder);
}

class Soak {
 public:
  Soak(CDlgMain& window, SimulatedSystem& system, int seconds, unsigned seed)
      : window_(window),
        system_(system),
        seconds_(seconds),
        random_(seed),
        console_([this](const std::string& line) { return RunLine(line); }) {}

  void Start() {
    {
      std::lock_guard lock(mutex_);
      plugged_ = true;
    }
    clock_.start();
    tick_.setInterval(100);
    QObject::connect(&tick_, &QTimer::timeout, [this] { Tick(); });
    tick_.start();
    ScheduleNext();
  }

  int exit_code = 0;

 private:
  // The console's thread runs the lines; answers are noted here.
  std::string RunLine(const std::string& line) {
    const std::string answer = system_.RunConsoleLine(line);
    std::lock_guard lock(mutex_);
    if (line.rfind("sms ", 0) == 0 && answer.rfind("stored at", 0) == 0) delivered_.insert(last_delivered_text_);
    if (line == "pull") plugged_ = false;
    if (line == "plug" && answer.find("not") == std::string::npos) plugged_ = true;
    return answer;
  }

  void Tick() {
    // The loop's punctuality: a 100 ms timer that comes late was held up.
    const qint64 now = clock_.elapsed();
    if (last_tick_ >= 0) worst_stall_ms_ = std::max(worst_stall_ms_, now - last_tick_ - 100);
    last_tick_ = now;
    if (rss_warm_kb_ == 0 && now > seconds_ * 250) rss_warm_kb_ = ResidentKb();
  }

  void ScheduleNext() {
    if (clock_.elapsed() >= seconds_ * 1000LL) {
      Finish();
      return;
    }
    std::uniform_int_distribution<int> pause(400, 2500);
    QTimer::singleShot(pause(random_), [this] {
      Act();
      ScheduleNext();
    });
  }

  QAbstractButton* ConnectButton() const { return window_.findChild<QAbstractButton*>(QStringLiteral("connect")); }

  void Act() {
    ++actions_;
    const CachedDravikValues now = CachedDravik::Instance().Snapshot();
    bool plugged;
    {
      std::lock_guard lock(mutex_);
      plugged = plugged_;
    }
    if (console_.Busy()) return;  // a pull or plug still under way
    if (!plugged) {
      // Out a few seconds at the most, as a user puts the card back.
      if (std::uniform_int_distribution<int>(0, 2)(random_) == 0) Line("plug");
      return;
    }
    if (now.SmsStore->Count() >= kStoreCeiling) return DeleteOldest(now);
    switch (std::uniform_int_distribution<int>(0, 15)(random_)) {
      case 0:
        return Line("roam on");
      case 1:
        return Line("roam off");
      case 2:
        return Line("signal " + std::to_string(std::uniform_int_distribution<int>(0, 31)(random_)));
      case 3:
        return Line(std::uniform_int_distribution<int>(0, 1)(random_) != 0 ? "unregister" : "register 1");
      case 4:
        return Line("radio off");
      case 5:
      case 6:
        return Line("radio on");
      case 7:
      case 8: {
        const std::string text = "soak message " + std::to_string(++messages_);
        {
          std::lock_guard lock(mutex_);
          last_delivered_text_ = text;
        }
        return Line("sms +4917012345678 " + text);
      }
      case 9:
        return Send(now);
      case 10:
        return DeleteOldest(now);
      case 11:
      case 12:
      case 13:
        if (ConnectButton()->isEnabled()) {
          ConnectButton()->click();
          ++connects_;
        }
        return;
      case 14:
        return Line("pull");
      default:
        return Line("register 1");
    }
  }

  void Line(const std::string& line) { console_.Run(QString::fromStdString(line)); }

  void Send(const CachedDravikValues& now) {
    if (now.PinPukState != CachedDravikValues::kPinPukReady) return;
    auto* record = new SmsMessage{};
    record->Stored = 1;
    record->MessageType = kSmsMessageTypeSubmit;
    record->Index = kSmsNotOnSim;
    record->StorageStatus = kSmsStorageStoredUnsent;
    record->Validity = 255;
    const std::u16string to = u"+4917099887766";
    const std::u16string text = u"soak sent " + platform::Utf8ToUtf16(std::to_string(++sends_));
    std::copy(to.begin(), to.end(), record->Address);
    std::copy(text.begin(), text.end(), record->Text);
    const std::u16string& centre = now.SmsStore->ServiceCentre();
    std::copy_n(centre.begin(), std::min(centre.size(), kSmsAddressMax), record->ServiceCentre);
    platform::PostMessage(window_.Hwnd(), WM_APP_SMS_OPERATION, SmsOperationSend, reinterpret_cast<intptr_t>(record));
  }

  void DeleteOldest(const CachedDravikValues& now) {
    const std::vector<SmsMessage> all = now.SmsStore->Rows(CSmsMessages::FolderAll);
    if (all.empty()) return;
    {
      std::lock_guard lock(mutex_);
      deleted_.insert(Utf8(all.front().Text));
    }
    ++deletes_;
    platform::PostMessage(window_.Hwnd(), WM_APP_SMS_OPERATION, SmsOperationDelete,
                          reinterpret_cast<intptr_t>(new SmsMessage(all.front())));
  }

  // The card goes back to a plain state; the program must follow.
  void Finish() {
    tick_.stop();
    const long rss_end_kb = ResidentKb();
    Line("plug");
    Line("radio on");
    Line("roam off");
    Line("register 1");
    Line("signal 20");
    QElapsedTimer settle;
    settle.start();
    auto* poll = new QTimer;
    poll->setInterval(200);
    QObject::connect(poll, &QTimer::timeout, [this, poll, settle, rss_end_kb] {
      const CachedDravikValues now = CachedDravik::Instance().Snapshot();
      const sim::CardState card = system_.CardSnapshot();
      const size_t on_card = static_cast<size_t>(std::count_if(card.sms.begin(), card.sms.end(),
                                                               [](const auto& slot) { return slot.has_value(); }));
      const bool registered = now.PsNetworkState == 1 && now.PinPukState == CachedDravikValues::kPinPukReady;
      const bool store_settled = registered && !console_.Busy() && now.SmsStore->Count() == on_card && !now.SmsStore->Reading();
      if (!store_settled && settle.elapsed() < kSettleMs) return;
      poll->stop();
      poll->deleteLater();
      Report(registered, store_settled, on_card, now, rss_end_kb, settle.elapsed());
    });
    poll->start();
  }

  void Report(bool registered, bool store_settled, size_t on_card, const CachedDravikValues& now, long rss_end_kb,
              qint64 settle_ms) {
    std::set<std::string> held;
    for (const SmsMessage& message : now.SmsStore->Rows(CSmsMessages::FolderAll)) held.insert(Utf8(message.Text));
    std::vector<std::string> lost;
    {
      std::lock_guard lock(mutex_);
      for (const std::string& text : delivered_) {
        if (deleted_.count(text) == 0 && held.count(text) == 0) lost.push_back(text);
      }
    }
    const long growth_kb = rss_end_kb - rss_warm_kb_;
    std::printf(
        "vombel_soak: %d s, %d actions: %d connects, %d messages from the network (%zu stored), %d sent, %d "
        "deleted\n",
        seconds_, actions_, connects_, messages_, delivered_.size(), sends_, deletes_);
    std::printf("vombel_soak: resident %ld kB after warm-up, %ld kB at the end (growth %ld kB, limit %ld kB%s)\n",
                rss_warm_kb_, rss_end_kb, growth_kb, kRssGrowthLimitKb, kSanitized ? ", not checked under a sanitizer" : "");
    std::printf("vombel_soak: worst hold-up of the window's thread %lld ms (limit %lld ms)\n",
                static_cast<long long>(worst_stall_ms_), static_cast<long long>(kStallLimitMs));
    std::printf("vombel_soak: back to registered in %lld ms after the last action: %s; store %zu, card %zu\n",
                static_cast<long long>(settle_ms), registered ? "yes" : "NO", now.SmsStore->Count(), on_card);
    const std::map<std::string, int> failures = Failures(log_.Lines());
    std::printf("vombel_soak: %zu kinds of failure in the trace\n", failures.size());
    for (const auto& [what, count] : failures) std::printf("  %5d  %s\n", count, what.c_str());
    for (const std::string& text : lost) std::printf("vombel_soak: LOST \"%s\"\n", text.c_str());

    bool failed = false;
    const auto check = [&](bool ok, const char* what) {
      if (!ok) std::printf("vombel_soak: FAILED: %s\n", what);
      failed |= !ok;
    };
    check(registered, "the program did not come back to the registered card");
    check(store_settled, "the program's store and the card's differ");
    check(lost.empty(), "messages the card took are missing from the program's store");
    check(worst_stall_ms_ <= kStallLimitMs, "the window's thread was held up too long");
    check(kSanitized || growth_kb <= kRssGrowthLimitKb, "the resident set grew beyond the bound");
    exit_code = failed ? 1 : 0;
    QCoreApplication::exit(exit_code);
  }

  CDlgMain& window_;
  SimulatedSystem& system_;
  const int seconds_;
  std::mt19937 random_;
  CSimulatedCardConsole console_;
  testing_support::LogCapture log_{kXLogError};
  QElapsedTimer clock_;
  QTimer tick_;
  qint64 last_tick_ = -1;
  qint64 worst_stall_ms_ = 0;
  long rss_warm_kb_ = 0;
  int actions_ = 0, connects_ = 0, messages_ = 0, sends_ = 0, deletes_ = 0;

  std::mutex mutex_;
  bool plugged_ = false;  // under mutex_ (the console's thread sets it)
  std::string last_delivered_text_;
  std::set<std::string> delivered_;
  std::set<std::string> deleted_;
};

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  unsigned seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seconds") seconds = std::atoi(argv[i + 1]);
    if (option == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
  }
  PrivateEnvironment();
  // The program's trace goes to the journal, as the program's does; this
  // report alone goes to the terminal.
  platform::SetDebugOutputDestinations(platform::JournalDestinationsFor(std::getenv("VOMBEL_DEBUG")));

  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  PlatformMessagePump pump;
  SimulatedSystem system;
  QtAppUi ui;
  CAppMain program(ui, CommandLine::FromString(u"--simulate"));
  if (!program.InitInstance() || ui.MainWindow() == nullptr) {
    std::fprintf(stderr, "vombel_soak: the program did not start\n");
    return 1;
  }
  // No questions: the soak connects while roaming as it pleases.
  CSettings::Instance().RoamingAware = 0;
  std::printf("vombel_soak: %d s with seed %u\n", seconds, seed);
  std::fflush(stdout);
  Soak soak(*ui.MainWindow(), system, seconds, seed);
  QTimer::singleShot(3000, [&soak] { soak.Start(); });
  QCoreApplication::exec();
  program.ExitInstance(soak.exit_code);
  return soak.exit_code;
}
