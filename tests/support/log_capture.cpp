#include "tests/support/log_capture.h"

namespace testing_support {

LogCapture::LogCapture(unsigned threshold) : previous_threshold_(XLogGetThreshold()) {
  XLogSetThreshold(threshold);
  XLogSetSink(&LogCapture::Sink, this);
}

LogCapture::~LogCapture() {
  XLogSetSink(nullptr, nullptr);
  XLogSetThreshold(previous_threshold_);
}

void LogCapture::Sink(const char* line, void* context) {
  auto* self = static_cast<LogCapture*>(context);
  std::lock_guard lock(self->mutex_);
  self->lines_.emplace_back(line);
}

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

size_t LogCapture::Count(const std::string& text) const {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (const auto& line : lines_) n += line.find(text) != std::string::npos;
  return n;
}

void LogCapture::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

}  // namespace testing_support
