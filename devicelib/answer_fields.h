// The frame every answer parser shares: the fields of one answer line (the
// text after its prefix) are walked with GSM::Line's field readers, so a
// parser follows exactly the field rules of the engine, and a missing field
// comes back as a result code instead of an exception.
#pragma once

#include <new>
#include <string>
#include <string_view>

#include "devicelib/line.h"
#include "devicelib/result_codes.h"
#include "platform/win32_error.h"

namespace GSM {

// Runs `read(line)` on a line holding `fields`; DV_S_OK when it returned,
// DV_E_UNEXPECTED_ANSWER when a reader found its field missing (or any other
// code a reader raised), 0x8007000E when the copy of the text could not be
// allocated. Outputs the caller wrote before a failure are the caller's to
// reset.
template <typename Read>
DvResult ReadAnswerFields(std::u16string_view fields, Read&& read) {
  try {
    Line line{std::u16string(fields)};
    read(line);
    return DV_S_OK;
  } catch (const DvException& e) {
    return e.code;
  } catch (const std::bad_alloc&) {
    return platform::kResultOutOfMemory;
  }
}

}  // namespace GSM
