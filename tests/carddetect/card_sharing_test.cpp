// Sharing the card between programs: the suspension event and the exclusive
// mutex, with requesters in this process (on the virtual clock) and in a
// real second program (tests/carddetect_helper).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "carddetect/library_globals.h"
#include "carddetect/notification_window.h"
#include "carddetect/nw_api.h"
#include "platform/event.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "platform/win32_error.h"
#include "tests/carddetect/nw_library_fixture.h"
#include "tests/support/clock_driver.h"

extern char** environ;

namespace {

using testing_support::Notification;

// The helper program with a pipe to its standard input and one from its
// standard output; killed and reaped when the object goes.
class Helper {
 public:
  explicit Helper(const char* mode) {
    int to_child[2];
    int from_child[2];
    if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_child, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
    char* argv[] = {const_cast<char*>(CARDDETECT_HELPER_BINARY), const_cast<char*>(mode), nullptr};
    if (posix_spawn(&pid_, CARDDETECT_HELPER_BINARY, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(to_child[0]);
    ::close(from_child[1]);
    in_ = to_child[1];
    out_ = from_child[0];
  }
  ~Helper() {
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // The next line it writes; empty when it ended or the safety net ran out.
  std::string ReadLine() {
    std::string line;
    char c;
    while (true) {
      pollfd fd{out_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(std::chrono::milliseconds(testing_support::kSafetyNet).count())) != 1) {
        return {};
      }
      if (::read(out_, &c, 1) != 1) return {};
      if (c == '\n') return line;
      line.push_back(c);
    }
  }
  void GoOn() { EXPECT_EQ(::write(in_, "\n", 1), 1); }
  // Its exit: the status waitpid reports.
  int Reap() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

// A program that holds the card meanwhile: a thread of this process that owns
// the exclusive mutex until told to let go.
class MutexHolder {
 public:
  MutexHolder() {
    std::promise<void> owned;
    auto owned_future = owned.get_future();
    thread_ = std::thread([this, &owned] {
      platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, true));
      owned.set_value();
      release_.get_future().wait();
      platform::ReleaseMutex(mutex.get());
    });
    owned_future.wait();
  }
  ~MutexHolder() { Release(); }
  void Release() {
    if (!thread_.joinable()) return;
    release_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> release_;
  std::thread thread_;
};

bool HeldByUs() {
  platform::UniqueHandle other(platform::CreateMutex(kExclusiveMutexName, false));
  return platform::WaitForSingleObject(other.get(), 0) == platform::kWaitTimeout;
}

class CardSharingTest : public testing_support::NwLibraryFixture {
 protected:
  void PlugCompleteCard() { AddModem(PlugCard()); }
};

TEST_F(CardSharingTest, SuspendedLibraryHearsOnlyTheEndOfTheSuspension) {
  PlugCompleteCard();
  MutexHolder holder;
  platform::UniqueHandle request(platform::CreateNamedEvent(kSuspensionEventName, true, true));
  Initialize(EventCard().Text());
  ASSERT_EQ(notes_, (std::vector<Notification>{{NwEventReasonListenerRegistered, CardStateSuspended, 0}}));
  // The listener takes up the duty the release gave it on its own thread.
  ASSERT_TRUE(log_.WaitFor("Nw: New listener thread duty is 'WaitForMutex'"));

  // Device changes, timers and power events change nothing now.
  log_.Clear();
  const platform::HWND window = NotificationWindow();
  platform::PostMessage(window, platform::WM_TIMER, kDetectionTimeoutTimer, 0);
  platform::PostMessage(window, platform::WM_TIMER, kReplugTimeoutTimer, 0);
  platform::PostMessage(window, kMsgMutexFree, 0, 0);
  platform::BroadcastPowerEvent(platform::PBT_APMSUSPEND);
  tree_.Add(0, testing_support::SerialNode(platform::kDeviceClassPorts, "Other Port", u"ttyS9"));
  Pump();
  EXPECT_EQ(notes_.size(), 1u);
  EXPECT_EQ(State(), CardStateSuspended);
  EXPECT_TRUE(log_.Lines().empty()) << log_.Lines().front();

  // The end of the suspension re-examines everything: still requested.
  platform::PostMessage(window, kMsgSuspensionOver, 0, 0);
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: Checking actual state of the system after suspension..."));
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonSuspension, CardStateSuspended, 0}));
}

TEST_F(CardSharingTest, RequestWithdrawnWithoutTakingTheMutexWakesWithinASecond) {
  PlugCompleteCard();
  MutexHolder holder;  // someone else has the card all along
  platform::UniqueHandle request(platform::CreateNamedEvent(kSuspensionEventName, true, true));
  Initialize(EventCard().Text());
  ASSERT_EQ(State(), CardStateSuspended);
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("New listener thread duty is 'WaitForMutex'"); }));
  clock_.WaitForTimedWaiters(1);

  const uint64_t start = clock_.NowMs();
  platform::ResetEvent(request.get());
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }, 1));
  EXPECT_LE(clock_.NowMs() - start, 1200u);
  EXPECT_TRUE(log_.Contains(
      "Nw: suspension event reset detected while waiting for the exclusive mutex, waking up from suspended mode"));
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonSuspension, CardStateStarted, 0x100}));
  EXPECT_TRUE(log_.Contains("Nw: Exclusive mutex could not be grabbed, 0x102"));

  // The other program lets go: the mutex is taken over.
  holder.Release();
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("Nw: Exclusive mutex has been grabbed"); }, 1));
  EXPECT_TRUE(log_.Contains("Nw: Got access to the exclusive mutex during normal mode, grabbing it..."));
  EXPECT_TRUE(HeldByUs());
  EXPECT_EQ(State(), CardStateStarted);
}

// The requester gives up before the listener starts waiting for the mutex:
// its first look finds no request, yet the suspension must end.
TEST_F(CardSharingTest, RequestWithdrawnBeforeTheMutexWaitStillWakesTheLibrary) {
  PlugCompleteCard();
  MutexHolder holder;
  Initialize(EventCard().Text());
  ASSERT_EQ(State(), CardStateStarted);
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("New listener thread duty is 'WaitForSuspendAndMutex'"); }));

  platform::UniqueHandle request(platform::CreateNamedEvent(kSuspensionEventName, true, false));
  on_suspended_ = [&] { platform::ResetEvent(request.get()); };
  platform::SetEvent(request.get());
  ASSERT_TRUE(PumpUntil([&] { return HasNote({NwEventReasonCardEvent, CardStateSuspended, 0}); }, 1));
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }, 1));
  EXPECT_TRUE(log_.Contains(
      "Nw: suspension event reset detected while waiting for the exclusive mutex, waking up from suspended mode"));
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonSuspension, CardStateStarted, 0x100}));
}

bool Requested() {
  platform::UniqueHandle event(platform::OpenNamedEvent(kSuspensionEventName));
  return event && platform::WaitForSingleObject(event.get(), 0) == platform::kWaitObject0;
}

// This program asks for the card before it starts the library: a holder
// that does not let go in time sees the request withdrawn; once given, the
// request stays up while the library runs (the library does not take it for
// a request to itself) and goes with the mutex at shut-down.
TEST_F(CardSharingTest, RequestForTheCardIsWithdrawnUnlessGivenAndKeptUpWhileTheCardIsUsed) {
  PlugCompleteCard();
  auto holder = std::make_unique<MutexHolder>();
  int waits = 0;
  NwAccessRequest request;
  request.timeout_ms = 3000;
  request.context = &waits;
  request.on_waiting = [](void* waits) { ++*static_cast<int*>(waits); };
  auto refused = std::async(std::launch::async, [&] { return NwRequestExclusiveAccess(request); });
  EXPECT_EQ(testing_support::RunClockUntilDone(clock_, refused), 3000u);
  EXPECT_EQ(refused.get(), platform::kErrorWaitTimeout);
  EXPECT_EQ(waits, 1);
  EXPECT_FALSE(Requested());

  // Given the card when it asks, on the library's thread.
  request.context = holder.get();
  request.on_waiting = [](void* holder) { static_cast<MutexHolder*>(holder)->Release(); };
  ASSERT_EQ(NwRequestExclusiveAccess(request), 0u);
  EXPECT_TRUE(Requested());
  Initialize(EventCard().Text());
  EXPECT_EQ(State(), CardStateStarted);
  EXPECT_TRUE(Requested());
  EXPECT_FALSE(log_.Contains("Nw: Suspended event is signalled but the exclusive mutex is available"));
  EXPECT_EQ(NwRequestExclusiveAccess(request), 1247u);  // not once the library runs

  NwShutdown();
  EXPECT_FALSE(Requested());
  EXPECT_FALSE(HeldByUs());
}

TEST_F(CardSharingTest, EventLeftByAKilledRequesterIsResetAtTheNextCheck) {
  PlugCompleteCard();
  // The event outlives the requester only while someone has it open.
  platform::UniqueHandle event(platform::CreateNamedEvent(kSuspensionEventName, true, false));
  {
    Helper requester("signal-and-die");
    EXPECT_EQ(requester.ReadLine(), "signalled");
    const int status = requester.Reap();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  }
  ASSERT_EQ(platform::WaitForSingleObject(event.get(), 0), platform::kWaitObject0);

  Initialize(EventCard().Text());
  EXPECT_TRUE(log_.Contains("Nw: Suspended event is signalled but the exclusive mutex is available"));
  EXPECT_TRUE(log_.Contains("Nw: Possibly the event stayed signalled due to a crash, resetting it..."));
  EXPECT_EQ(platform::WaitForSingleObject(event.get(), 0), platform::kWaitTimeout);
  EXPECT_EQ(notes_.front(), (Notification{NwEventReasonListenerRegistered, CardStateSuspended, 0}));

  // One pass through WaitForMutex brings the card back.
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }, 1));
  EXPECT_TRUE(log_.Contains("Nw: Got access to the exclusive mutex, waking up from suspended mode"));
  EXPECT_EQ(log_.Count("Nw: Possibly the event stayed signalled due to a crash"), 1u);
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonSuspension, CardStateStarted, 0x100}));
  // The listener may find the mutex taken by the check that brought the
  // card back and see it free only afterwards: then the window takes it.
  EXPECT_TRUE(PumpUntil([] { return HeldByUs(); }));
}

// Real time from here on: the other side is a real program.
class RealClockCardSharingTest : public testing_support::NwLibraryFixture {
 protected:
  RealClockCardSharingTest() : NwLibraryFixture(false) {}
};

TEST_F(RealClockCardSharingTest, AnotherProgramBorrowsTheCardAndGivesItBack) {
  AddModem(PlugCard());
  Initialize(EventCard().Text());
  ASSERT_EQ(State(), CardStateStarted);
  ASSERT_TRUE(HeldByUs());

  Helper requester("request");
  ASSERT_TRUE(PumpUntil([&] { return HasNote({NwEventReasonCardEvent, CardStateSuspended, 0}); }));
  EXPECT_TRUE(log_.Contains("Nw: Suspension request has arrived"));
  // The client released the card on that notification: the other program
  // gets it.
  ASSERT_EQ(requester.ReadLine(), "owned");
  Pump();
  EXPECT_EQ(State(), CardStateSuspended);

  requester.GoOn();
  EXPECT_EQ(requester.ReadLine(), "released");
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }));
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonSuspension, CardStateStarted, 0x100}));
  EXPECT_TRUE(HeldByUs());
}

TEST_F(RealClockCardSharingTest, RequesterThatResetsWithoutTakingTheMutexWakesTheLibrary) {
  AddModem(PlugCard());
  MutexHolder holder;
  Initialize(EventCard().Text());
  ASSERT_EQ(State(), CardStateStarted);
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("New listener thread duty is 'WaitForSuspendAndMutex'"); }));

  Helper requester("signal-then-reset");
  ASSERT_EQ(requester.ReadLine(), "signalled");
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateSuspended; }));
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("New listener thread duty is 'WaitForMutex'"); }));

  // How soon is checked on the virtual clock above; here, that a real
  // withdrawal by another process is seen at all.
  requester.GoOn();
  EXPECT_EQ(requester.ReadLine(), "reset");
  ASSERT_TRUE(PumpUntil([&] { return State() == CardStateStarted; }));
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonSuspension, CardStateStarted, 0x100}));
}

}  // namespace
