#include "devicelib/result_codes.h"

#include <new>

#include "platform/win32_error.h"

DvResult DvCodeOfCurrentException() noexcept {
  try {
    throw;
  } catch (const DvException& e) {
    return e.code;
  } catch (const std::bad_alloc&) {
    return platform::kResultOutOfMemory;
  } catch (...) {
    return platform::kResultFail;
  }
}
