#include "platform/named_object.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <future>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/named_object_watcher.h"
#include "platform/wait.h"
#include "platform/win32_error.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

constexpr char16_t kName[] = u"Global\\Vombel_Connect_0F2557C1-C462-4719-99BA-3EAA8912FD57";

// Runs `body` in a forked child (this test process has no other threads at
// that point) and returns its exit code, or -1 when it did not exit normally.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// What a child's own CreateMutex reported: 0 new, 1 existed, 2 failed.
int CreateInChild() {
  return InChild([] {
    HANDLE mutex = CreateMutex(kName, false);
    return mutex == nullptr ? 2 : GetLastError() == kErrorAlreadyExists ? 1 : 0;
  });
}

class NamedObjectTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir_{"vombel-named"};
  testing_support::ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.Path()};
};

TEST(NamedObjectFileStemTest, DropsOnePrefixAndEscapesEverythingOutsideTheSafeSet) {
  const struct {
    std::u16string name;
    std::string stem;
  } cases[] = {
      {kName, "Vombel_Connect_0F2557C1-C462-4719-99BA-3EAA8912FD57"},
      {u"Local\\NW_Exclusive_Object_{9611FE5D-FEC3-4e6d-9C20-C4AA33E3CE43}",
       "NW_Exclusive_Object_{9611FE5D-FEC3-4e6d-9C20-C4AA33E3CE43}"},
      {u"Global\\Local\\x", "Local%5Cx"},
      {u"global\\x", "global%5Cx"},
      {u"../a/b c", "..%2Fa%2Fb%20c"},
      {u"100%\u00E9", "100%25%C3%A9"},
      {u"\u0001~", "%01%7E"},
  };
  for (const auto& c : cases) EXPECT_EQ(NamedObjectFileStem(c.name), c.stem);
}

// The owner file is another process's writing: anything but a pid reads as
// no known holder.
TEST(OwnerPidTest, OnlyAWholePositivePidCounts) {
  const struct {
    std::string text;
    pid_t pid;
  } cases[] = {
      {"4242\n", 4242}, {"4242", 4242}, {"4242\nrest", 4242}, {"", 0},  {"\n", 0},
      {"42x\n", 0},     {" 42\n", 0},   {"-42\n", 0},         {"0\n", 0}, {"99999999999999999999\n", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseOwnerPid(c.text.data(), c.text.size()), c.pid) << c.text;
  }
}

TEST_F(NamedObjectTest, RuntimeDirectoryIsMadePrivate) {
  const std::string path = RuntimeDirectory();
  EXPECT_EQ(path, dir_.Path() + "/vombel-connect");
  struct stat st;
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(NamedObjectTest, RuntimeDirectoryThatOthersCouldTouchIsRefused) {
  const std::string path = dir_.Path() + "/vombel-connect";
  const std::string elsewhere = dir_.Path() + "/elsewhere";
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
  const struct {
    const char* what;
    std::function<bool()> make;
    bool needs_root;
  } cases[] = {
      {"mode 0755", [&] { return ::mkdir(path.c_str(), 0755) == 0 && ::chmod(path.c_str(), 0755) == 0; }, false},
      {"symbolic link", [&] { return ::symlink(elsewhere.c_str(), path.c_str()) == 0; }, false},
      {"plain file", [&] { return ::close(::creat(path.c_str(), 0700)) == 0; }, false},
      {"other owner", [&] { return ::mkdir(path.c_str(), 0700) == 0 && ::chown(path.c_str(), 65534, 65534) == 0; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needs_root && ::geteuid() != 0) continue;
    ASSERT_TRUE(c.make());
    SetLastError(0);
    EXPECT_EQ(RuntimeDirectory(), "");
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(CreateMutex(kName, false), nullptr);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    ASSERT_EQ(::unlink(path.c_str()) == 0 || ::rmdir(path.c_str()) == 0, true);
  }
}

TEST_F(NamedObjectTest, ExistsWhileAnyHandleAnywhereIsOpen) {
  UniqueHandle first(CreateMutex(kName, false));
  ASSERT_TRUE(first);
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  UniqueHandle second(CreateMutex(kName, false));
  ASSERT_TRUE(second);
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(CreateInChild(), 1);

  first.reset();
  EXPECT_EQ(CreateInChild(), 1);  // `second` still holds it
  second.reset();
  EXPECT_EQ(CreateInChild(), 0);
  UniqueHandle again(CreateMutex(kName, false));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
}

TEST_F(NamedObjectTest, ExistsNoLongerOnceTheHoldingProcessDied) {
  int to_child[2], from_child[2];
  ASSERT_EQ(::pipe(to_child), 0);
  ASSERT_EQ(::pipe(from_child), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(to_child[1]);
    ::close(from_child[0]);
    HANDLE mutex = CreateMutex(kName, true);
    char byte = mutex != nullptr ? 'y' : 'n';
    if (::write(from_child[1], &byte, 1) != 1) ::_exit(2);
    (void)::read(to_child[0], &byte, 1);  // until the parent closes its end
    ::_exit(0);
  }
  ASSERT_GT(pid, 0);
  ::close(to_child[0]);
  ::close(from_child[1]);
  char byte = 0;
  ASSERT_EQ(::read(from_child[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'y');
  {
    UniqueHandle seen(CreateMutex(kName, false));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_EQ(WaitForSingleObject(seen.get(), 0), kWaitTimeout);  // the child owns it
  }
  ::close(to_child[1]);
  ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
  ::close(from_child[0]);

  UniqueHandle fresh(CreateMutex(kName, false));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  // A new object: the dead owner of the old one is not reported.
  EXPECT_EQ(WaitForSingleObject(fresh.get(), 0), kWaitObject0);
}

TEST_F(NamedObjectTest, OwnershipBelongsToOneHandleAndOneThread) {
  UniqueHandle owner(CreateMutex(kName, true));
  UniqueHandle other(CreateMutex(kName, true));  // existed: opened without ownership
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_FALSE(ReleaseMutex(other.get()));
  EXPECT_EQ(GetLastError(), kErrorNotOwner);
  EXPECT_EQ(WaitForSingleObject(other.get(), 0), kWaitTimeout);
  EXPECT_EQ(InChild([] {
              HANDLE mutex = CreateMutex(kName, false);
              return mutex != nullptr && WaitForSingleObject(mutex, 0) == kWaitTimeout ? 0 : 1;
            }),
            0);
  EXPECT_EQ(std::async(std::launch::async, [&] { return ReleaseMutex(owner.get()) ? 0u : GetLastError(); }).get(),
            kErrorNotOwner);

  // Recursive for its owner: two waits need two releases.
  EXPECT_EQ(WaitForSingleObject(owner.get(), 0), kWaitObject0);
  EXPECT_TRUE(ReleaseMutex(owner.get()));
  EXPECT_EQ(WaitForSingleObject(other.get(), 0), kWaitTimeout);
  EXPECT_TRUE(ReleaseMutex(owner.get()));
  EXPECT_FALSE(ReleaseMutex(owner.get()));
  EXPECT_EQ(GetLastError(), kErrorNotOwner);

  EXPECT_EQ(WaitForSingleObject(other.get(), 0), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(owner.get(), 0), kWaitTimeout);
}

TEST_F(NamedObjectTest, ReleaseOrCloseWakesAWaiterOnAnotherHandle) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "release");
    UniqueHandle owner(CreateMutex(kName, true));
    UniqueHandle other(CreateMutex(kName, false));
    std::promise<void> waiting;
    auto waited = std::async(std::launch::async, [&] {
      waiting.set_value();
      const uint32_t result = WaitForSingleObject(other.get(), kInfinite);
      ReleaseMutex(other.get());
      return result;
    });
    waiting.get_future().wait();
    if (close) {
      owner.reset();
    } else {
      EXPECT_TRUE(ReleaseMutex(owner.get()));
    }
    EXPECT_EQ(waited.get(), kWaitObject0);
  }
}

TEST_F(NamedObjectTest, OwnerThatDiedWithoutReleasingIsReportedOnce) {
  for (const bool clean : {false, true}) {
    SCOPED_TRACE(clean ? "closed before exit" : "died owning");
    UniqueHandle mutex(CreateMutex(kName, false));
    ASSERT_TRUE(mutex);
    EXPECT_EQ(InChild([clean] {
                HANDLE own = CreateMutex(kName, false);
                if (own == nullptr || WaitForSingleObject(own, 0) != kWaitObject0) return 1;
                if (clean) CloseHandle(own);
                return 0;
              }),
              0);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), clean ? kWaitObject0 : kWaitAbandoned0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), kWaitObject0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
  }
}

// A forked child that closes its copy of the parent's handle (as a child
// that does not exec may) leaves the parent's ownership alone.
TEST_F(NamedObjectTest, ChildClosingItsCopyOfAnOwnedHandleLeavesTheOwnership) {
  UniqueHandle owned(CreateMutex(kName, true));
  ASSERT_TRUE(owned);
  const HANDLE inherited = owned.get();
  ASSERT_EQ(InChild([inherited] { return CloseHandle(inherited) ? 0 : 1; }), 0);
  EXPECT_EQ(InChild([] {
              HANDLE mutex = CreateMutex(kName, false);
              return mutex != nullptr && WaitForSingleObject(mutex, 0) == kWaitTimeout ? 0 : 1;
            }),
            0);
  EXPECT_TRUE(ReleaseMutex(owned.get()));
}

TEST_F(NamedObjectTest, UnnamedMutexIsPrivateToItsHandle) {
  UniqueHandle a(CreateMutex(u"", true));
  ASSERT_TRUE(a);
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  UniqueHandle b(CreateMutex(u"", false));
  EXPECT_EQ(GetLastError(), kErrorSuccess);
  EXPECT_EQ(std::async(std::launch::async, [&] { return WaitForSingleObject(a.get(), 0); }).get(), kWaitTimeout);
  EXPECT_EQ(WaitForSingleObject(b.get(), 0), kWaitObject0);
  EXPECT_TRUE(ReleaseMutex(a.get()));
  EXPECT_EQ(std::async(std::launch::async, [&] {
              const uint32_t result = WaitForSingleObject(a.get(), 0);
              ReleaseMutex(a.get());
              return result;
            }).get(),
            kWaitObject0);
}

}  // namespace
}  // namespace platform

#include "tests/support/child_process.h"

namespace platform {
namespace {

// A wait with a time-out on a mutex that another process holds wakes the
// moment that process lets go, by releasing it or by closing its handle.
TEST_F(NamedObjectTest, WaitWakesWhenAnotherProcessLetsGo) {
  for (const char command : {'r', 'c'}) {
    SCOPED_TRACE(command);
    testing_support::Child child([](testing_support::Child& self) {
      HANDLE mutex = CreateMutex(kName, true);
      if (mutex == nullptr || !self.Send('o')) return 1;
      const char command = self.Receive();
      if (!(command == 'r' ? ReleaseMutex(mutex) : CloseHandle(mutex))) return 2;
      self.Receive();  // alive until the parent is done
      return 0;
    });
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.Receive(), 'o');
    UniqueHandle mutex(CreateMutex(kName, false));
    const uint32_t result = testing_support::WaitAcross(
        5000,
        [&](uint32_t ms) {
          const uint32_t waited = WaitForSingleObject(mutex.get(), ms);
          if (waited == kWaitObject0) ReleaseMutex(mutex.get());
          return waited;
        },
        [&] { child.Send(command); }, [] {});
    EXPECT_EQ(result, kWaitObject0);
    child.Send('x');
    EXPECT_EQ(child.Join(), 0);
  }
}

}  // namespace
}  // namespace platform
