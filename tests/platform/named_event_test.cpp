#include "platform/named_event.h"

#include <gtest/gtest.h>

#include <array>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "platform/win32_error.h"
#include "tests/support/child_process.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using testing_support::Child;
using testing_support::WaitAcross;

constexpr char16_t kEventName[] = u"NW_Suspension_{3B1B5405-6DE5-4ba3-959E-A801E79800E0}";
constexpr char16_t kMutexName[] = u"NW_Exclusive_Object_{9611FE5D-FEC3-4e6d-9C20-C4AA33E3CE43}";

constexpr uint32_t kVirtualTimeout = 5000;

class NamedEventTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir_{"vombel-named-event"};
  testing_support::ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.Path()};
};

TEST_F(NamedEventTest, ExistsWhileAnyHandleIsOpenAndKeepsItsState) {
  SetLastError(0);
  EXPECT_EQ(OpenNamedEvent(kEventName), nullptr);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);

  UniqueHandle created(CreateNamedEvent(kEventName, true, false));
  ASSERT_TRUE(created);
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  // Existing: opened as it is, whatever state and kind the call asks for.
  UniqueHandle again(CreateNamedEvent(kEventName, false, true));
  ASSERT_TRUE(again);
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(WaitForSingleObject(again.get(), 0), kWaitTimeout);
  UniqueHandle opened(OpenNamedEvent(kEventName));
  ASSERT_TRUE(opened);

  ASSERT_TRUE(SetEvent(opened.get()));
  for (HANDLE handle : {created.get(), again.get(), opened.get()}) {
    EXPECT_EQ(WaitForSingleObject(handle, 0), kWaitObject0);  // manual reset: stays set
  }
  Child child([](Child&) {
    HANDLE event = CreateNamedEvent(kEventName, true, false);
    if (event == nullptr || GetLastError() != kErrorAlreadyExists) return 1;
    return WaitForSingleObject(event, 0) == kWaitObject0 && ResetEvent(event) ? 0 : 2;
  });
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.Join(), 0);
  EXPECT_EQ(WaitForSingleObject(created.get(), 0), kWaitTimeout);  // the child's reset, seen at once

  created.reset();
  again.reset();
  opened.reset();
  EXPECT_EQ(OpenNamedEvent(kEventName), nullptr);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(NamedEventTest, NameOfAMutexIsNotAnEvent) {
  UniqueHandle mutex(CreateMutex(kMutexName, false));
  ASSERT_TRUE(mutex);
  EXPECT_EQ(OpenNamedEvent(kMutexName), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(CreateNamedEvent(kMutexName, true, false), nullptr);
  EXPECT_FALSE(SetEvent(mutex.get()));
}

TEST_F(NamedEventTest, StateLeftByADeadProcessDoesNotCount) {
  Child child([](Child&) {
    // Dies holding a signalled event.
    return CreateNamedEvent(kEventName, true, true) != nullptr ? 0 : 1;
  });
  ASSERT_TRUE(child.Started());
  ASSERT_EQ(child.Join(), 0);
  EXPECT_EQ(OpenNamedEvent(kEventName), nullptr);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  UniqueHandle fresh(CreateNamedEvent(kEventName, true, false));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_EQ(WaitForSingleObject(fresh.get(), 0), kWaitTimeout);
}

TEST_F(NamedEventTest, AutoResetSignalGoesToOneWaiterAcrossProcesses) {
  UniqueHandle event(CreateNamedEvent(kEventName, false, true));
  ASSERT_TRUE(event);
  Child child([](Child&) {
    HANDLE opened = OpenNamedEvent(kEventName);
    if (opened == nullptr) return 1;
    return WaitForSingleObject(opened, 0) == kWaitObject0 && WaitForSingleObject(opened, 0) == kWaitTimeout
               ? 0
               : 2;
  });
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.Join(), 0);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitTimeout);
  ASSERT_TRUE(SetEvent(event.get()));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitTimeout);
}

TEST_F(NamedEventTest, SetByAnotherProcessWakesABlockedWait) {
  for (const uint32_t timeout : {kInfinite, kVirtualTimeout}) {
    SCOPED_TRACE(timeout);
    UniqueHandle event(CreateNamedEvent(kEventName, true, false));
    ASSERT_TRUE(event);
    Child child([](Child& self) {
      HANDLE opened = OpenNamedEvent(kEventName);
      if (opened == nullptr || self.Receive() != 's') return 1;
      return SetEvent(opened) ? 0 : 2;
    });
    ASSERT_TRUE(child.Started());
    const uint32_t result = WaitAcross(
        timeout, [&](uint32_t ms) { return WaitForSingleObject(event.get(), ms); },
        [&] { child.Send('s'); }, [&] { SetEvent(event.get()); });
    EXPECT_EQ(result, kWaitObject0);
    EXPECT_EQ(child.Join(), 0);
  }
}

// A forked child that closes its copy of an inherited handle (as a child that
// does not exec may) must not take the directory out of the parent's
// following: the copy of the watcher's descriptor is the parent's.
TEST_F(NamedEventTest, ChildClosingItsCopyOfAHandleLeavesTheParentWakingUp) {
  UniqueHandle event(CreateNamedEvent(kEventName, true, false));
  ASSERT_TRUE(event);
  const HANDLE inherited = event.get();
  Child child([inherited](Child& self) {
    if (!CloseHandle(inherited)) return 1;
    HANDLE opened = OpenNamedEvent(kEventName);
    if (opened == nullptr || self.Receive() != 's') return 2;
    return SetEvent(opened) ? 0 : 3;
  });
  ASSERT_TRUE(child.Started());
  const uint32_t result = WaitAcross(
      kVirtualTimeout, [&](uint32_t ms) { return WaitForSingleObject(event.get(), ms); },
      [&] { child.Send('s'); }, [] {});
  EXPECT_EQ(result, kWaitObject0);
  EXPECT_EQ(child.Join(), 0);
}

// The listener's wait: its own wake event, the suspension event, and the
// exclusive mutex that another program holds, which lets go by releasing it
// or by dying.
TEST_F(NamedEventTest, WaitOnSeveralObjectsWakesWhenAnotherProcessLetsGoOfTheMutex) {
  const struct {
    char command;
    uint32_t expected;
  } cases[] = {{'r', kWaitObject0 + 2}, {'d', kWaitAbandoned0 + 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    Child child([](Child& self) {
      HANDLE mutex = CreateMutex(kMutexName, true);
      if (mutex == nullptr || !self.Send('o')) return 1;
      const char command = self.Receive();
      if (command == 'd') ::_exit(0);  // dies owning it
      if (command != 'r' || !ReleaseMutex(mutex)) return 2;
      self.Receive();  // stays alive until the parent is done
      return 0;
    });
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.Receive(), 'o');
    UniqueHandle wake(CreateEvent(false, false));
    UniqueHandle suspension(CreateNamedEvent(kEventName, true, false));
    UniqueHandle mutex(CreateMutex(kMutexName, false));
    ASSERT_EQ(GetLastError(), kErrorAlreadyExists);
    const std::array<HANDLE, 3> handles = {wake.get(), suspension.get(), mutex.get()};
    const uint32_t result = WaitAcross(
        kVirtualTimeout,
        [&](uint32_t ms) {
          const uint32_t waited = WaitForMultipleObjects(handles, false, ms);
          if ((waited & ~kWaitAbandoned0) == 2) ReleaseMutex(mutex.get());
          return waited;
        },
        [&] { child.Send(c.command); }, [] {});
    EXPECT_EQ(result, c.expected);
    child.Send('x');
    EXPECT_EQ(child.Join(), 0);
    // Reported once: the next taker finds a mutex released cleanly.
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), kWaitObject0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
  }
}

}  // namespace
}  // namespace platform
