// Collects the lines the trace delivers while the object lives, at the
// threshold the test asks for; the previous sink and threshold come back after.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/xlog.h"

namespace testing_support {

class LogCapture {
 public:
  explicit LogCapture(unsigned threshold = 1);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Lines() const;
  // Lines that start with `prefix`, in the order they came.
  std::vector<std::string> LinesStartingWith(const std::string& prefix) const;
  // Lines that contain `text`.
  size_t Count(const std::string& text) const;
  bool Contains(const std::string& text) const { return Count(text) > 0; }
  // Blocks until `count` lines contain `text` (logged on any thread); false
  // when the real-time safety net ran out first.
  bool WaitFor(const std::string& text, size_t count = 1) const;
  void Clear();

 private:
  static void Sink(const char* line, void* context);
  size_t CountLocked(const std::string& text) const;

  mutable std::mutex mutex_;
  mutable std::condition_variable added_;
  std::vector<std::string> lines_;
  uint16_t previous_threshold_;
};

// `value` as the trace writes numbers and thread ids ("0x%x").
std::string Hex(uint32_t value);
// `count` bytes as XLogHexDump writes them after its caption: "xx " each.
std::string HexBytes(const uint8_t* data, size_t count);

}  // namespace testing_support
