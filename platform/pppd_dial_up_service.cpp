// Placeholder until the pppd backend lands: every call reports that pppd is
// missing.
#include "platform/dial_up.h"

namespace platform {
namespace {

class MissingDialUpService final : public DialUpService {
 public:
  uint32_t ValidateEntryName(std::u16string_view, std::u16string_view) override { return kDialUpErrorPppdMissing; }
  uint32_t DeleteEntry(std::u16string_view, std::u16string_view) override { return kDialUpErrorPppdMissing; }
  uint32_t GetEntryProperties(std::u16string_view, std::u16string_view, RasEntry&) override {
    return kDialUpErrorPppdMissing;
  }
  uint32_t SetEntryProperties(std::u16string_view, std::u16string_view, const RasEntry&) override {
    return kDialUpErrorPppdMissing;
  }
  uint32_t Dial(std::u16string_view, const RasDialParams&, RasDialFunc1, HRASCONN*) override {
    return kDialUpErrorPppdMissing;
  }
  uint32_t GetConnectStatus(HRASCONN, RasConnStatus&) override { return 6; }
  uint32_t HangUp(HRASCONN) override { return 6; }
  uint32_t GetConnectionStatistics(HRASCONN, RasStats&) override { return 6; }
  uint32_t GetProjectionInfo(HRASCONN, uint32_t, RasPppIp&) override { return 6; }
};

}  // namespace

DialUpService& SystemDialUpService() {
  static MissingDialUpService service;
  return service;
}

}  // namespace platform
