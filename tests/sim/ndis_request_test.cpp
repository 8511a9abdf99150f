// The simulated WWAN driver's reading of a connect request and of the text
// fields of its records.
#include "sim/ndis_request.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/wwan_ndis.h"

namespace {

using sim::NdisPort;

std::vector<uint8_t> Request(size_t size, const std::string& dial, const std::string& user = "",
                             const std::string& password = "") {
  std::vector<uint8_t> bytes(size);
  std::memcpy(bytes.data(), dial.data(), std::min(dial.size(), size));
  if (size >= 209) {
    std::memcpy(bytes.data() + platform::kNdisUserNameOffset, user.data(), user.size());
    std::memcpy(bytes.data() + platform::kNdisPasswordOffset, password.data(), password.size());
  }
  return bytes;
}

TEST(NdisRequestTest, ConnectRequestTakesOnlyWellFormedRequestsOfItsPort) {
  struct Row {
    const char* what;
    NdisPort port;
    std::vector<uint8_t> bytes;
    bool taken;
    std::string user, password;
  };
  std::vector<Row> rows = {
      {"control device, credentials", NdisPort::kControlDevice, Request(225, "ATDT*99***1#", "web", "pw"), true,
       "web", "pw"},
      {"application port, no credentials", NdisPort::kApplicationPort, Request(228, "*99***1#"), true, "", ""},
      {"39-byte user name", NdisPort::kControlDevice, Request(225, "ATDT*99***1#", std::string(39, 'u')), true,
       std::string(39, 'u'), ""},
      {"port request on the control device", NdisPort::kControlDevice, Request(228, "*99***1#"), false, "", ""},
      {"control request on the port", NdisPort::kApplicationPort, Request(225, "ATDT*99***1#"), false, "", ""},
      {"empty", NdisPort::kControlDevice, {}, false, "", ""},
      {"user name without its zero", NdisPort::kControlDevice, Request(225, "ATDT*99***1#", std::string(40, 'u')),
       false, "", ""},
      {"dial string without its zero", NdisPort::kControlDevice, Request(225, std::string(129, '9')), false, "", ""},
  };
  Row after_zero{"a byte after the user name's zero", NdisPort::kControlDevice,
                 Request(225, "ATDT*99***1#", "web"), false, "", ""};
  after_zero.bytes[platform::kNdisUserNameOffset + 10] = 'x';
  rows.push_back(after_zero);
  Row tail{"a byte in the zero tail", NdisPort::kApplicationPort, Request(228, "*99***1#"), false, "", ""};
  tail.bytes[227] = 1;
  rows.push_back(tail);

  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto request = sim::ParseNdisConnectRequest(row.bytes, row.port);
    ASSERT_EQ(request.has_value(), row.taken);
    if (!request) continue;
    EXPECT_EQ(request->dial_string, row.port == NdisPort::kControlDevice ? "ATDT*99***1#" : "*99***1#");
    EXPECT_EQ(request->user_name, row.user);
    EXPECT_EQ(request->password, row.password);
  }
}

TEST(NdisRequestTest, TextFieldStaysInsideItsRecord) {
  const std::vector<uint8_t> record = {'a', 'b', 0, 'c', 'd'};
  EXPECT_EQ(sim::NdisTextField(record, 0, 3), "ab");
  EXPECT_EQ(sim::NdisTextField(record, 2, 1), "");
  EXPECT_EQ(sim::NdisTextField(record, 3, 2), std::nullopt);  // no zero
  EXPECT_EQ(sim::NdisTextField(record, 4, 2), std::nullopt);  // past the end
  EXPECT_EQ(sim::NdisTextField(record, 6, 0), std::nullopt);
  EXPECT_EQ(sim::NdisTextField(record, 1, SIZE_MAX), std::nullopt);
}

}  // namespace
