// What the benchmarks that run the library share: private folders, so that a
// run shares nothing with a program of the user's, and a log that stays out
// of the measurement.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "foundation/xlog.h"
#include "platform/registry.h"

namespace bench_support {

// A private runtime folder and registry for the benchmark's lifetime.
struct PrivateFolders {
  PrivateFolders() {
    char pattern[] = "/tmp/vombel-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    root = pattern;
    std::filesystem::create_directories(root + "/runtime");
    std::filesystem::permissions(root + "/runtime", std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    roots.emplace(root + "/user", root + "/machine");
  }
  ~PrivateFolders() {
    roots.reset();
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
  PrivateFolders(const PrivateFolders&) = delete;
  PrivateFolders& operator=(const PrivateFolders&) = delete;

  std::string root;
  std::optional<platform::ScopedRegistryRoots> roots;
};

// Errors only, and those to nowhere.
struct QuietLog {
  QuietLog() {
    XLogSetSink([](const char* line, void*) { benchmark::DoNotOptimize(line); }, nullptr);
    XLogSetThreshold(kXLogError);
  }
  ~QuietLog() {
    XLogSetSink(nullptr, nullptr);
    XLogSetThreshold(0);
  }
  QuietLog(const QuietLog&) = delete;
  QuietLog& operator=(const QuietLog&) = delete;
};

}  // namespace bench_support
