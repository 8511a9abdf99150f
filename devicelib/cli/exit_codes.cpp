#include "devicelib/cli/exit_codes.h"

namespace vombel_device {

int ExitCodeOf(Failure failure) {
  switch (failure) {
    case Failure::kNone: return 0;
    case Failure::kUnavailable: return 1;
    case Failure::kUsage: return 2;
    case Failure::kSim: return 3;
    case Failure::kCard: return 4;
    case Failure::kBusy: return 5;
    case Failure::kUnsupported: return 6;
    case Failure::kSystem: return 7;
    case Failure::kInterrupted: return 130;  // the shell's 128 + SIGINT
  }
  return 7;
}

const char* FailureName(Failure failure) {
  switch (failure) {
    case Failure::kNone: return "none";
    case Failure::kUnavailable: return "unavailable";
    case Failure::kUsage: return "usage";
    case Failure::kSim: return "sim";
    case Failure::kCard: return "card";
    case Failure::kBusy: return "busy";
    case Failure::kUnsupported: return "unsupported";
    case Failure::kSystem: return "system";
    case Failure::kInterrupted: return "interrupted";
  }
  return "system";
}

Failure FailureOfResult(DvResult rc) {
  if (rc == DV_S_OK) return Failure::kNone;
  switch (rc) {
    case DV_E_SIM_NOT_INITIALIZED: return Failure::kSim;
    case DV_E_NOT_SUPPORTED: return Failure::kUnsupported;
    case DV_E_NO_DEVICE:
    case DV_E_NOT_READY:
    case DV_E_NOT_INITIALIZED: return Failure::kUnavailable;
    default: break;
  }
  const uint32_t n = rc & 0xFFFF;
  if ((rc & 0xFFFF0000u) == DV_E_CME_BASE) {
    // 27.007: 4 operation not supported; 10..18 SIM not inserted, PIN and
    // PUK required, SIM failure, busy, wrong, incorrect password, PIN2/PUK2.
    if (n == 4) return Failure::kUnsupported;
    if (n >= 10 && n <= 18) return Failure::kSim;
  } else if ((rc & 0xFFFF0000u) == DV_E_CMS_BASE) {
    // 27.005: 303 operation not supported; 310..318 the SIM's errors.
    if (n == 303) return Failure::kUnsupported;
    if (n >= 310 && n <= 318) return Failure::kSim;
  }
  return Failure::kCard;
}

}  // namespace vombel_device
