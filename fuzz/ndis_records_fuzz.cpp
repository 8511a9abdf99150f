// The WWAN driver's records on any bytes: the input is the configuration
// record the driver hands back (cut or padded to its size, and once as it
// came, of any length), and its start is also read as a state and a
// statistics record. The mended slots must stay mended, the credentials
// must stay within 39 characters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "devicelib/ndis_records.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);

  platform::NdisStateRecord state{};
  Require(GSM::ParseNdisStateRecord(input, state) == (size >= sizeof state));
  platform::NdisStatisticsRecord statistics{};
  Require(GSM::ParseNdisStatisticsRecord(input, statistics) == (size >= sizeof statistics));

  std::vector<uint8_t> as_came(input.begin(), input.end());
  GSM::FixNdisConfigCommands(as_came);
  Require(GSM::ConfigUserName(as_came).size() <= GSM::kNdisCredentialMax);

  std::vector<uint8_t> record(platform::kNdisConfigSize, 0);
  std::copy_n(input.begin(), std::min(size, record.size()), record.begin());
  GSM::FixNdisConfigCommands(record);
  Require(!GSM::FixNdisConfigCommands(record));
  const std::u16string user = GSM::ConfigUserName(record);
  const std::u16string password = GSM::ConfigPassword(record);
  Require(user.size() <= GSM::kNdisCredentialMax && password.size() <= GSM::kNdisCredentialMax);

  GSM::SetConfigCredentials(record, user.c_str(), password.c_str());
  Require(GSM::ConfigUserName(record).size() <= GSM::kNdisCredentialMax);
  Require(GSM::CredentialFromOem(input).size() <= GSM::kNdisCredentialMax);
  return 0;
}
