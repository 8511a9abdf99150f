// One test "machine": a settings store, a runtime folder and a temporary
// folder of its own, shared by every program a test starts with Machine();
// Elsewhere() gives the same machine with another temporary folder, for a
// second program whose log must not touch the first one's.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/process/program_runner.h"
#include "tests/support/temp_dir.h"

namespace process_testing {

class ProcessTest : public ::testing::Test {
 protected:
  Folders Machine() const { return {config_.Path(), runtime_.Path(), tmp_.Path()}; }
  Folders Elsewhere() const { return {config_.Path(), runtime_.Path(), other_tmp_.Path()}; }
  // Where the store keeps HKEY_USERS ".DEFAULT\Software\Velta\Velta".
  std::string ProductKeyFolder() const { return config_.Path() + "/vombel-connect/Software/Velta/Velta"; }

  testing_support::TempDir config_{"vombel-config"};
  testing_support::TempDir runtime_{"vombel-run"};
  testing_support::TempDir tmp_{"vombel-tmp"};
  testing_support::TempDir other_tmp_{"vombel-tmp2"};
};

// Lines the program writes.
inline constexpr char kWindowCreated[] = "CDlgMain::OnInitDialog, [";
// The window brought forward (a start without -noshow, a second instance);
// on a desktop without a notification area a -noshow window is shown
// minimised, but never brought forward.
inline constexpr char kWindowActivated[] = "CDlgMain::ShowAndActivate";

}  // namespace process_testing
