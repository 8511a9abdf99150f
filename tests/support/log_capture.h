// Collects the lines the trace delivers while the object lives, at the
// threshold the test asks for; the previous sink and threshold come back after.
#pragma once

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
  // Lines that contain `text`.
  size_t Count(const std::string& text) const;
  bool Contains(const std::string& text) const { return Count(text) > 0; }
  void Clear();

 private:
  static void Sink(const char* line, void* context);

  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  uint16_t previous_threshold_;
};

}  // namespace testing_support
