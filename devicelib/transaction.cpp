#include "devicelib/transaction.h"

#include <new>

#include "platform/win32_error.h"

namespace GSM {

DvResult CodeOfCurrentException() noexcept {
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

void RunPlainCommand(Device& device, std::u16string_view command, uint32_t budget_ms) {
  if (budget_ms != kDefaultBudget) device.SetTimeout(budget_ms);
  device.SetCommand(command);
  device.SendCommand(SendModeNormal);
  device.WaitFinal();
}

std::u16string RunQuery(Device& device, std::u16string_view command, std::u16string_view prefix,
                        uint32_t budget_ms) {
  if (budget_ms != kDefaultBudget) device.SetTimeout(budget_ms);
  device.SetCommand(command);
  device.SendCommand(SendModeNormal);
  device.ExpectLine(prefix);
  std::u16string rest = device.ReadRest();
  device.DropLine();
  device.WaitFinal();
  return rest;
}

}  // namespace GSM
