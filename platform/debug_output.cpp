#include "platform/debug_output.h"

#include <link.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/journal.h"

namespace platform {
namespace {

std::atomic<unsigned> g_destinations{kDebugToStandardError};

void WriteToStandardError(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

struct Segment {
  uintptr_t begin;
  uintptr_t end;
};

// The read-only loaded segments of the program's own image. They stay mapped
// for the life of the process, so a text inside one is readable without
// asking the kernel; that keeps the check off the cost of every log line,
// whose formats are literals living there.
const std::vector<Segment>& ReadOnlyImageSegments() {
  static const std::vector<Segment> segments = [] {
    std::vector<Segment> found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
          auto* out = static_cast<std::vector<Segment>*>(data);
          for (int i = 0; i < info->dlpi_phnum; ++i) {
            const ElfW(Phdr)& ph = info->dlpi_phdr[i];
            if (ph.p_type == PT_LOAD && (ph.p_flags & PF_R) && !(ph.p_flags & PF_W)) {
              const uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
              out->push_back({begin, begin + ph.p_memsz});
            }
          }
          return 1;  // the first object reported is the program itself
        },
        &found);
    return found;
  }();
  return segments;
}

bool InReadOnlyImage(const char* text) {
  const auto address = reinterpret_cast<uintptr_t>(text);
  for (const Segment& segment : ReadOnlyImageSegments()) {
    if (address >= segment.begin && address < segment.end) {
      return std::memchr(text, 0, segment.end - address) != nullptr;
    }
  }
  return false;
}

}  // namespace

unsigned JournalDestinationsFor(const char* vombel_debug) {
  const bool asked = vombel_debug != nullptr && vombel_debug[0] != '\0' && std::strcmp(vombel_debug, "0") != 0;
  return kDebugToJournal | (asked ? kDebugToStandardError : 0u);
}

void SetDebugOutputDestinations(unsigned destinations) {
  g_destinations.store(destinations & (kDebugToStandardError | kDebugToJournal), std::memory_order_relaxed);
}

unsigned DebugOutputDestinations() { return g_destinations.load(std::memory_order_relaxed); }

void OutputDebugString(const char* text) {
  const unsigned destinations = DebugOutputDestinations();
  if ((destinations & kDebugToJournal) != 0) WriteToJournal(text);
  if ((destinations & kDebugToStandardError) != 0) WriteToStandardError(text);
}

bool IsReadableString(const char* text) {
  if (text == nullptr) return false;
  if (InReadOnlyImage(text)) return true;
  // Copy the text through the kernel, a page at a time: an unreadable page
  // makes the copy fail with EFAULT instead of faulting this process.
  const pid_t self = ::getpid();
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  char chunk[4096];
  auto address = reinterpret_cast<uintptr_t>(text);
  for (;;) {
    size_t len = page - (address % page);
    if (len > sizeof chunk) len = sizeof chunk;
    iovec local{chunk, len};
    iovec remote{reinterpret_cast<void*>(address), len};
    ssize_t n = ::process_vm_readv(self, &local, 1, &remote, 1, 0);
    if (n <= 0) {
      if (n < 0 && (errno == ENOSYS || errno == EPERM)) return true;  // cannot check: trust the caller
      return false;
    }
    if (std::memchr(chunk, 0, static_cast<size_t>(n)) != nullptr) return true;
    address += static_cast<uintptr_t>(n);
  }
}

}  // namespace platform
