#include "platform/instance_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/instance_frame.h"
#include "platform/named_object.h"
#include "platform/named_object_files.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// More connections than the running instance ever sees at once (each start
// of the program makes one, briefly); beyond this new ones are turned away.
constexpr size_t kMaxClients = 16;

struct SocketAddress {
  sockaddr_un address{};
  socklen_t length = 0;
  bool abstract = false;
};

// A path that fits sun_path is used as it is. A longer one (a deep runtime
// directory or a long class name) maps to an abstract-namespace name derived
// from the path; abstract names have no permissions, which the credential
// checks on both ends make up for.
SocketAddress AddressOf(const std::string& path) {
  SocketAddress result;
  result.address.sun_family = AF_UNIX;
  if (path.size() < sizeof result.address.sun_path) {
    std::memcpy(result.address.sun_path, path.data(), path.size());
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return result;
  }
  uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
  for (const char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
  char name[64];
  const int length = std::snprintf(name, sizeof name, "vombel-connect-%u-%016llx",
                                   static_cast<unsigned>(::geteuid()),
                                   static_cast<unsigned long long>(hash));
  std::memcpy(result.address.sun_path + 1, name, static_cast<size_t>(length));
  result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  result.abstract = true;
  return result;
}

bool PeerCredentials(int fd, ucred* credentials) {
  socklen_t length = sizeof *credentials;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, credentials, &length) == 0;
}

int ConnectTo(const SocketAddress& address, UniqueFd* fd) {
  fd->reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!*fd) return errno;
  if (::connect(fd->get(), reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0) {
    return errno;
  }
  return 0;
}

class Listener final : public WindowClassListener {
 public:
  Listener(UniqueFd guard, UniqueFd socket, UniqueFd stop, std::string socket_file, Handler handler)
      : guard_(std::move(guard)),
        socket_(std::move(socket)),
        stop_(std::move(stop)),
        socket_file_(std::move(socket_file)),
        handler_(std::move(handler)) {}

  // The handler runs on the listener's thread, so it must not destroy the
  // listener.
  ~Listener() override {
    if (thread_.joinable()) {
      const uint64_t one = 1;
      if (::write(stop_.get(), &one, sizeof one) != sizeof one) {
        // An eventfd write only fails when the counter would overflow, which
        // already wakes the thread.
      }
      thread_.join();
    }
    // Removed while the guard is still held, so it is never a successor's.
    if (!socket_file_.empty()) ::unlink(socket_file_.c_str());
  }

  void StartThread() {
    thread_ = std::thread([this] { Run(); });
  }

 private:
  struct Client {
    UniqueFd fd;
    InstanceFrameReader reader;
  };

  void Run() {
    std::vector<Client> clients;
    std::vector<pollfd> fds;
    std::vector<InstanceFrame> frames;
    for (;;) {
      fds.clear();
      fds.push_back({stop_.get(), POLLIN, 0});
      fds.push_back({socket_.get(), POLLIN, 0});
      for (const Client& client : clients) fds.push_back({client.fd.get(), POLLIN, 0});
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        ReportDiagnostic(kDiagnosticError, "Instance channel: poll failed (%d), no longer listening.", errno);
        return;
      }
      if (fds[0].revents != 0) return;
      // Back to front, so that dropping a client leaves the earlier indices.
      for (size_t i = clients.size(); i-- > 0;) {
        if (fds[i + 2].revents == 0) continue;
        if (!ReadFrom(clients[i], &frames)) clients.erase(clients.begin() + static_cast<ptrdiff_t>(i));
        for (const InstanceFrame& frame : frames) {
          handler_(frame.message, static_cast<uintptr_t>(frame.wparam), static_cast<intptr_t>(frame.lparam));
        }
        frames.clear();
      }
      if (fds[1].revents & POLLIN) Accept(&clients);
    }
  }

  // False once the connection has ended (a partial frame left is dropped).
  static bool ReadFrom(Client& client, std::vector<InstanceFrame>* frames) {
    uint8_t buffer[4096];
    const ssize_t count = ::read(client.fd.get(), buffer, sizeof buffer);
    if (count > 0) {
      client.reader.Feed(std::span<const uint8_t>(buffer, static_cast<size_t>(count)), frames);
      return true;
    }
    return count < 0 && (errno == EAGAIN || errno == EINTR);
  }

  void Accept(std::vector<Client>* clients) {
    UniqueFd fd(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd && (errno == EMFILE || errno == ENFILE)) {
      // The connection stays pending, and the socket readable, until it is
      // taken: the spare descriptor makes room to take it and turn it away,
      // rather than wake for it again at once without end.
      if (!spare_) return;
      spare_.reset();
      const UniqueFd turned_away(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      spare_ = OpenSpare();
      ReportDiagnostic(kDiagnosticWarning, "Instance channel: out of descriptors, a connection was turned away.");
      return;
    }
    if (!fd) return;  // gone again before it was taken
    ucred credentials{};
    if (!PeerCredentials(fd.get(), &credentials)) return;
    if (credentials.uid != ::geteuid()) {
      ReportDiagnostic(kDiagnosticWarning, "Instance channel: refused a connection of user %u (process %d).",
                static_cast<unsigned>(credentials.uid), static_cast<int>(credentials.pid));
      return;
    }
    if (clients->size() >= kMaxClients) {
      ReportDiagnostic(kDiagnosticWarning, "Instance channel: too many connections, process %d turned away.",
                static_cast<int>(credentials.pid));
      return;
    }
    clients->push_back(Client{std::move(fd), {}});
  }

  static UniqueFd OpenSpare() { return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); }

  UniqueFd guard_;   // exclusive flock: the one listener of this class
  UniqueFd socket_;
  UniqueFd spare_ = OpenSpare();  // given up to turn a connection away when out of descriptors
  UniqueFd stop_;
  const std::string socket_file_;  // empty for an abstract address
  const Handler handler_;
  std::thread thread_;
};

class Window final : public RemoteWindow {
 public:
  Window(UniqueFd fd, pid_t pid) : fd_(std::move(fd)), pid_(pid) {}

  bool Post(uint32_t message, uintptr_t wparam, intptr_t lparam) override {
    const auto bytes = EncodeInstanceFrame({message, static_cast<uint64_t>(wparam), static_cast<int64_t>(lparam)});
    std::lock_guard lock(mutex_);  // frames of two threads must not interleave
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t count = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (count >= 0) {
        sent += static_cast<size_t>(count);
        continue;
      }
      if (errno == EINTR) continue;
      if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN) {
        SetLastError(kErrorInvalidWindowHandle);
      } else {
        SetLastErrorFromErrno();
      }
      return false;
    }
    return true;
  }

  pid_t ProcessId() const override { return pid_; }

 private:
  std::mutex mutex_;
  UniqueFd fd_;
  const pid_t pid_;
};

}  // namespace

std::string WindowClassSocketPath(std::u16string_view class_name) {
  const std::string directory = RuntimeDirectory();
  if (directory.empty()) return {};
  return directory + "/" + NamedObjectFileStem(class_name) + ".sock";
}

std::unique_ptr<WindowClassListener> WindowClassListener::Start(std::u16string_view class_name,
                                                                Handler handler) {
  try {
    const std::string path = WindowClassSocketPath(class_name);
    if (path.empty()) return nullptr;
    const SocketAddress address = AddressOf(path);

    // One listener per class: the guard's lock is held for the listener's
    // life, so a second one (in this process or another) stops here, and a
    // socket file found while holding it was left by a listener that died.
    UniqueFd guard = OpenObjectFile(path + ".guard");
    if (!guard) {
      SetLastErrorFromErrno();
      return nullptr;
    }
    if (::flock(guard.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) {
        SetLastError(kErrorAlreadyExists);
      } else {
        SetLastErrorFromErrno();
      }
      return nullptr;
    }

    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket) {
      SetLastErrorFromErrno();
      return nullptr;
    }
    const auto* raw = reinterpret_cast<const sockaddr*>(&address.address);
    if (::bind(socket.get(), raw, address.length) != 0) {
      if (errno != EADDRINUSE) {
        SetLastErrorFromErrno();
        return nullptr;
      }
      // Replace the socket file only when nobody accepts on it (a listener
      // that does not take the guard, e.g. a program built before it).
      UniqueFd probe;
      if (address.abstract || ConnectTo(address, &probe) == 0) {
        SetLastError(kErrorAlreadyExists);
        return nullptr;
      }
      if (::unlink(path.c_str()) != 0 || ::bind(socket.get(), raw, address.length) != 0) {
        SetLastErrorFromErrno();
        return nullptr;
      }
    }
    UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (::listen(socket.get(), 8) != 0 || !stop) {
      SetLastErrorFromErrno();
      if (!address.abstract) ::unlink(path.c_str());
      return nullptr;
    }
    auto listener = std::make_unique<Listener>(std::move(guard), std::move(socket), std::move(stop),
                                               address.abstract ? std::string() : path,
                                               std::move(handler));
    try {
      listener->StartThread();
    } catch (const std::system_error& e) {
      SetLastError(e.code().value() == EAGAIN ? kErrorNoSystemResources : kErrorNotEnoughMemory);
      return nullptr;
    }
    return listener;
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

std::unique_ptr<RemoteWindow> FindWindow(std::u16string_view class_name) {
  try {
    const std::string path = WindowClassSocketPath(class_name);
    if (path.empty()) return nullptr;
    UniqueFd fd;
    const int err = ConnectTo(AddressOf(path), &fd);
    if (err != 0) {
      if (err == ENOENT || err == ECONNREFUSED) {
        SetLastError(kErrorFileNotFound);
      } else {
        SetLastErrorFromErrno(err);
      }
      return nullptr;
    }
    // The kernel's word on who listens, not the listener's own: a socket
    // planted by another user (possible for an abstract name) is no window
    // of ours.
    ucred credentials{};
    if (!PeerCredentials(fd.get(), &credentials)) {
      SetLastErrorFromErrno();
      return nullptr;
    }
    if (credentials.uid != ::geteuid()) {
      ReportDiagnostic(kDiagnosticWarning, "Instance channel: the socket of user %u is ignored.",
                static_cast<unsigned>(credentials.uid));
      SetLastError(kErrorFileNotFound);
      return nullptr;
    }
    return std::make_unique<Window>(std::move(fd), credentials.pid);
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

}  // namespace platform
