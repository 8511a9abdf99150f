#include "devicelib/cli/exit_codes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using namespace vombel_device;

TEST(ExitCodesTest, LibraryResultsSayWhatFailed) {
  struct Row {
    DvResult rc;
    Failure failure;
  };
  const Row rows[] = {
      {DV_S_OK, Failure::kNone},
      // The SIM and its codes.
      {DV_E_SIM_NOT_INITIALIZED, Failure::kSim},
      {DvCmeError(10), Failure::kSim},  // SIM not inserted
      {DvCmeError(11), Failure::kSim},  // SIM PIN required
      {DvCmeError(12), Failure::kSim},  // SIM PUK required
      {DvCmeError(16), Failure::kSim},  // incorrect password: a wrong PIN
      {DvCmeError(18), Failure::kSim},  // SIM PUK2 required
      {DvCmsError(310), Failure::kSim},  // SIM not inserted
      {DvCmsError(316), Failure::kSim},  // SIM PUK required
      {DvCmsError(318), Failure::kSim},  // SIM PUK2 required
      // What the card does not offer.
      {DV_E_NOT_SUPPORTED, Failure::kUnsupported},
      {DvCmeError(4), Failure::kUnsupported},
      {DvCmsError(303), Failure::kUnsupported},
      // A card that is gone or not up yet.
      {DV_E_NO_DEVICE, Failure::kUnavailable},
      {DV_E_NOT_READY, Failure::kUnavailable},
      {DV_E_NOT_INITIALIZED, Failure::kUnavailable},
      // Everything else is the card's refusal or failure.
      {DvCmeError(3), Failure::kCard},   // operation not allowed
      {DvCmeError(9), Failure::kCard},   // just below the SIM's numbers
      {DvCmeError(19), Failure::kCard},  // just above them
      {DvCmsError(309), Failure::kCard},
      {DvCmsError(319), Failure::kCard},
      {DvCmsError(321), Failure::kCard},  // invalid memory index: an empty slot
      {DvCmsError(16), Failure::kCard},   // a CMS number in the CME's SIM range is no SIM error
      {DV_E_NO_ANSWER, Failure::kCard},
      {DV_E_ERROR, Failure::kCard},
      {DV_E_CONNECTION_DROPPED, Failure::kCard},
      {DV_E_CONNECTION_BASE | 33, Failure::kCard},
      {DvFromSystemError(5), Failure::kCard},
      {0x80004005, Failure::kCard},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FailureOfResult(row.rc), row.failure) << std::hex << row.rc;
  }
}

TEST(ExitCodesTest, EveryFailureHasItsOwnDocumentedCodeAndWord) {
  struct Row {
    Failure failure;
    int code;
    const char* name;
  };
  const Row rows[] = {
      {Failure::kNone, 0, "none"},
      {Failure::kUnavailable, 1, "unavailable"},
      {Failure::kUsage, 2, "usage"},
      {Failure::kSim, 3, "sim"},
      {Failure::kCard, 4, "card"},
      {Failure::kBusy, 5, "busy"},
      {Failure::kUnsupported, 6, "unsupported"},
      {Failure::kSystem, 7, "system"},
      {Failure::kInterrupted, 130, "interrupted"},
  };
  std::set<int> codes;
  for (const Row& row : rows) {
    EXPECT_EQ(ExitCodeOf(row.failure), row.code) << row.name;
    EXPECT_STREQ(FailureName(row.failure), row.name);
    EXPECT_TRUE(codes.insert(row.code).second) << row.code;
  }
}

}  // namespace
