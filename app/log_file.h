// The log file: "<temporary folder><application title>.txt", created anew at
// every start when logging is asked for and installed as the trace's sink.
// Each line is "<tick count>: [0x<thread id>] <text>" and CR LF, in UTF-8.
//
// Write-through: every line goes to the kernel with one writev() and nothing
// is buffered in the process, so a line that was logged survives any crash of
// the program; only a crash of the whole machine can lose the last lines.
// Asking the disk to confirm each line (O_DSYNC) would also cover that, but
// costs about 6 ms a line against 6 us here (measured on ext4), and a trace
// run logs hundreds of lines a second.
//
// The folder is shared with other users, so the file is opened without
// following a symbolic link, must be a regular file of our own, and is kept
// readable by us alone. Others of ours may read it while it is written, but
// a second writer (another instance) is refused with a sharing violation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

class CLogFile {
 public:
  CLogFile() = default;
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // "<temporary folder><title>.txt"; empty when the temporary folder cannot
  // be read (last error set).
  static std::string PathFor(std::u16string_view title);

  // Creates (or empties) the file. 0 on success, else the system error, which
  // is also left in the last error.
  uint32_t Open(const std::string& path);
  bool IsOpen() const { return fd_.get() >= 0; }
  const std::string& Path() const { return path_; }

  // Makes this file the trace's sink / gives the trace its default sink back.
  // Which levels reach it is the trace's threshold, set by the caller.
  // Uninstall before the object goes.
  void Install();
  void Uninstall();
  // Uninstalls and closes the file.
  void Close();

  // Writes one line with its prefix; failures are dropped (logging never
  // fails towards the caller) and the caller's last error survives.
  void Write(std::string_view text);

  // The prefix of a line: "%u: [0x%x] ".
  static std::string Prefix(uint32_t tick_count, uint32_t thread_id);

 private:
  static void Sink(const char* line, void* context);

  platform::UniqueFd fd_;
  std::string path_;
  bool installed_ = false;
};
