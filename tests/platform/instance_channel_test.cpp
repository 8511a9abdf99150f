#include "platform/instance_channel.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/instance_frame.h"
#include "platform/named_object.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

constexpr char16_t kClass[] = u"CLASS_NAME_A2064FAF-DC1F-47b9-B9A5-7CE73A6B13E0";

// The frames a listener was given, for a test to wait on.
class Inbox {
 public:
  WindowClassListener::Handler Handler() {
    return [this](uint32_t message, uintptr_t wparam, intptr_t lparam) {
      std::lock_guard lock(mutex_);
      frames_.push_back({message, wparam, static_cast<int64_t>(lparam)});
      cv_.notify_all();
    };
  }
  std::vector<InstanceFrame> WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, testing_support::kSafetyNet, [&] { return frames_.size() >= count; });
    return frames_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<InstanceFrame> frames_;
};

UniqueFd RawConnect(const std::string& path) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fd.reset();
  return fd;
}

class InstanceChannelTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir_{"vombel-chan"};
  testing_support::ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.Path()};
  Inbox inbox_;
};

TEST(InstanceFrameTest, ReaderYieldsWholeFramesWhateverTheCuts) {
  const std::vector<InstanceFrame> sent = {
      {WM_APP + 3, 0, 0}, {WM_COMMAND, 1299, 0}, {0xFFFFFFFF, UINT64_MAX, INT64_MIN}};
  std::vector<uint8_t> stream;
  for (const auto& frame : sent) {
    const auto bytes = EncodeInstanceFrame(frame);
    stream.insert(stream.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(stream[0], 0x03);  // little-endian
  EXPECT_EQ(stream[1], 0x80);
  stream.push_back(0x42);  // the start of a frame that never completes
  for (const size_t piece : {size_t{1}, size_t{7}, size_t{20}, stream.size()}) {
    SCOPED_TRACE(piece);
    InstanceFrameReader reader;
    std::vector<InstanceFrame> received;
    for (size_t at = 0; at < stream.size(); at += piece) {
      reader.Feed(std::span(stream).subspan(at, std::min(piece, stream.size() - at)), &received);
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(reader.Pending(), 1u);
  }
}

TEST_F(InstanceChannelTest, PostReachesTheListenerWithTheExactValues) {
  for (const std::u16string& name : {std::u16string(kClass), std::u16string(200, u'x')}) {
    SCOPED_TRACE(name.size());  // the long name needs the abstract namespace
    Inbox inbox;
    auto listener = WindowClassListener::Start(name, inbox.Handler());
    ASSERT_TRUE(listener) << GetLastError();
    auto window = FindWindow(name);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->ProcessId(), ::getpid());
    ASSERT_TRUE(window->Post(WM_APP + 3, 0, 0));
    ASSERT_TRUE(window->Post(WM_COMMAND, 1299, -1));
    ASSERT_TRUE(window->Post(0xFFFFFFFF, UINTPTR_MAX, INTPTR_MIN));
    // The parameters are pointer-sized: their extremes arrive as posted in
    // a 32-bit build as in a 64-bit one.
    const std::vector<InstanceFrame> expected = {
        {WM_APP + 3, 0, 0}, {WM_COMMAND, 1299, -1}, {0xFFFFFFFF, UINTPTR_MAX, INTPTR_MIN}};
    EXPECT_EQ(inbox.WaitFor(3), expected);
  }
}

TEST_F(InstanceChannelTest, NoListenerMeansNoWindow) {
  SetLastError(0);
  EXPECT_EQ(FindWindow(kClass), nullptr);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(InstanceChannelTest, OneListenerPerClassAndItsSocketGoesWithIt) {
  auto first = WindowClassListener::Start(kClass, inbox_.Handler());
  ASSERT_TRUE(first);
  SetLastError(0);
  EXPECT_EQ(WindowClassListener::Start(kClass, inbox_.Handler()), nullptr);
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  const std::string path = WindowClassSocketPath(kClass);
  first.reset();
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  EXPECT_EQ(FindWindow(kClass), nullptr);
  EXPECT_TRUE(WindowClassListener::Start(kClass, inbox_.Handler()));
}

TEST_F(InstanceChannelTest, StaleSocketFileIsReplaced) {
  const std::string path = WindowClassSocketPath(kClass);
  ASSERT_FALSE(path.empty());
  {
    // A listener that died: its socket file is left, nobody accepts on it.
    UniqueFd dead(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(dead.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  auto listener = WindowClassListener::Start(kClass, inbox_.Handler());
  ASSERT_TRUE(listener) << GetLastError();
  auto window = FindWindow(kClass);
  ASSERT_TRUE(window);
  ASSERT_TRUE(window->Post(WM_APP + 3, 1, 2));
  EXPECT_EQ(inbox_.WaitFor(1).size(), 1u);
}

TEST_F(InstanceChannelTest, StoppingWithAConnectedClientReturnsAndLaterPostsFail) {
  auto listener = WindowClassListener::Start(kClass, inbox_.Handler());
  auto window = FindWindow(kClass);
  ASSERT_TRUE(window);
  UniqueFd silent = RawConnect(WindowClassSocketPath(kClass));  // connected, sends nothing
  ASSERT_TRUE(silent);
  listener.reset();
  SetLastError(0);
  EXPECT_FALSE(window->Post(WM_COMMAND, 1299, 0));
  EXPECT_EQ(GetLastError(), kErrorInvalidWindowHandle);
}

// Out of descriptors, a connection cannot be taken; it is turned away
// rather than left pending with the listener waking for it without end.
TEST_F(InstanceChannelTest, ConnectionWhileOutOfDescriptorsIsTurnedAway) {
  testing_support::LogCapture log;
  auto listener = WindowClassListener::Start(kClass, inbox_.Handler());
  ASSERT_TRUE(listener);
  const std::string path = WindowClassSocketPath(kClass);
  UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_TRUE(client);

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  std::vector<UniqueFd> filler;
  {
    // Every descriptor the limit allows is taken (the limit is lowered so
    // that this needs few of them).
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const auto open_one = [] { return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); };
    for (UniqueFd fd = open_one(); fd; fd = open_one()) filler.push_back(std::move(fd));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    pollfd fd{client.get(), POLLIN, 0};
    const auto limit = std::chrono::milliseconds(testing_support::kSafetyNet);
    const int ready = ::poll(&fd, 1, static_cast<int>(limit.count()));
    char byte;
    const bool closed = ready == 1 && ::recv(client.get(), &byte, 1, MSG_DONTWAIT) == 0;
    filler.clear();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(closed);
  }
  EXPECT_TRUE(log.Contains("Instance channel: out of descriptors, a connection was turned away."));
  // Afterwards the listener takes connections as before.
  auto window = FindWindow(kClass);
  ASSERT_TRUE(window);
  ASSERT_TRUE(window->Post(WM_APP + 3, 1, 2));
  EXPECT_EQ(inbox_.WaitFor(1).size(), 1u);
}

TEST_F(InstanceChannelTest, ShortAndTrailingBytesAreDropped) {
  auto listener = WindowClassListener::Start(kClass, inbox_.Handler());
  const std::string path = WindowClassSocketPath(kClass);
  {
    UniqueFd raw = RawConnect(path);
    ASSERT_TRUE(raw);
    const uint8_t garbage[7] = {1, 2, 3, 4, 5, 6, 7};
    ASSERT_EQ(::send(raw.get(), garbage, sizeof garbage, MSG_NOSIGNAL), 7);
  }
  {
    UniqueFd raw = RawConnect(path);
    const auto frame = EncodeInstanceFrame({WM_APP + 3, 5, 6});
    std::vector<uint8_t> bytes(frame.begin(), frame.end());
    bytes.insert(bytes.end(), {9, 9, 9});
    ASSERT_EQ(::send(raw.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), 23);
  }
  auto window = FindWindow(kClass);
  ASSERT_TRUE(window);
  ASSERT_TRUE(window->Post(WM_COMMAND, 1299, 0));
  const auto received = inbox_.WaitFor(2);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_NE(std::find(received.begin(), received.end(), InstanceFrame{WM_APP + 3, 5, 6}), received.end());
  EXPECT_NE(std::find(received.begin(), received.end(), InstanceFrame{WM_COMMAND, 1299, 0}), received.end());
}

TEST_F(InstanceChannelTest, ConnectionOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  testing_support::LogCapture log(2);
  auto listener = WindowClassListener::Start(kClass, inbox_.Handler());
  ASSERT_TRUE(listener);
  // The socket sits in folders only we may enter: the child opens them up
  // before it becomes another user, as if the folder were not private.
  const std::string runtime = RuntimeDirectory();
  const std::string path = WindowClassSocketPath(kClass);
  const auto frame = EncodeInstanceFrame({WM_COMMAND, 1299, 0});
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (const std::string* p : {&dir_.Path(), &runtime, &path}) {
      if (::chmod(p->c_str(), 0777) != 0) ::_exit(2);
    }
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(4);
    (void)::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    ::_exit(0);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 4) GTEST_SKIP() << "the runtime folder is out of the other user's reach";
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(log.WaitFor("Instance channel: refused a connection of user 65534"));
  EXPECT_TRUE(inbox_.WaitFor(0).empty());
}

}  // namespace
}  // namespace platform
