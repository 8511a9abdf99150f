// The device library raises its failures as DvException; tests compare the
// code a call raised instead of catching in every test.
#pragma once

#include "devicelib/result_codes.h"

namespace testing_support {

// Runs `f`; the code it raised, or DV_S_OK when it returned.
template <typename F>
DvResult CodeOf(F&& f) {
  try {
    f();
    return DV_S_OK;
  } catch (const DvException& e) {
    return e.code;
  }
}

}  // namespace testing_support
