#include "tests/support/log_capture.h"

#include <cstdio>

#include "tests/support/eventually.h"

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
  self->added_.notify_all();
}

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> LogCapture::LinesStartingWith(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const auto& line : lines_) {
    if (line.starts_with(prefix)) lines.push_back(line);
  }
  return lines;
}

size_t LogCapture::CountLocked(const std::string& text) const {
  size_t n = 0;
  for (const auto& line : lines_) n += line.find(text) != std::string::npos;
  return n;
}

size_t LogCapture::Count(const std::string& text) const {
  std::lock_guard lock(mutex_);
  return CountLocked(text);
}

bool LogCapture::WaitFor(const std::string& text, size_t count) const {
  std::unique_lock lock(mutex_);
  return added_.wait_for(lock, kSafetyNet, [&] { return CountLocked(text) >= count; });
}

void LogCapture::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string HexBytes(const uint8_t* data, size_t count) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(byte, sizeof byte, "%02x ", data[i]);
    text += byte;
  }
  return text;
}

}  // namespace testing_support
