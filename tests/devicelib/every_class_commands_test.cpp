// Every query of the library against every simulated card class: what each
// class answers, and that each failure is the one its class produces.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "devicelib/dv_api.h"
#include "sim/card_class.h"
#include "tests/devicelib/device_fixture.h"

namespace {

using testing_support::DeviceFixture;

struct Query {
  const char* name;
  std::function<DvResult()> call;
};

std::vector<Query> Queries() {
  static char16_t text[kDvOwnNumbersSize];
  static int a = 0;
  static int b = 0;
  static uint32_t u = 0;
  return {
      {"DvGetDeviceName", [] { return DvGetDeviceName(text); }},
      {"DvGetFirmwareInfo", [] { return DvGetFirmwareInfo(text); }},
      {"DvGetHardwareInfo", [] { return DvGetHardwareInfo(text); }},
      {"DvGetImeiNumber", [] { return DvGetImeiNumber(text); }},
      {"DvGetDeviceSerialNumber", [] { return DvGetDeviceSerialNumber(text); }},
      {"DvGetSimSerialNumber", [] { return DvGetSimSerialNumber(text); }},
      {"DvGetOwnPhoneNumbers", [] { return DvGetOwnPhoneNumbers(text); }},
      {"DvGetImsiNumber", [] { return DvGetImsiNumber(text); }},
      {"DvGetCurrentRadioState", [] { return DvGetCurrentRadioState(&a); }},
      {"DvGetPinPukState", [] { return DvGetPinPukState(&u); }},
      {"DvGetPinMode", [] { return DvGetPinMode(&a); }},
      {"DvGetPinPukRetryCounters", [] { return DvGetPinPukRetryCounters(&a, &b); }},
      {"DvGetTechnologySelectionMode", [] { return DvGetTechnologySelectionMode(&a); }},
      {"DvGetNetworkSelectionMode", [] { return DvGetNetworkSelectionMode(&a); }},
      {"DvGetNetworkInfo", [] { return DvGetNetworkInfo(text, 260, &a); }},
      {"DvGetPsAttachedState", [] { return DvGetPsAttachedState(&a); }},
      {"DvGetSignalStrength", [] { return DvGetSignalStrength(&a, &b); }},
      {"DvGetWcdmaSignalStrength", [] { return DvGetWcdmaSignalStrength(&a); }},
      {"DvGetApn", [] { return DvGetApn(text); }},
  };
}

struct ClassExpectations {
  sim::CardKind kind;
  // The queries this class refuses, with the code; every other one succeeds.
  std::map<std::string, DvResult> refused;
};

std::ostream& operator<<(std::ostream& out, const ClassExpectations& e) { return out << sim::ClassOf(e.kind).id; }

class EveryClassCommandsTest : public DeviceFixture, public ::testing::WithParamInterface<ClassExpectations> {};

TEST_P(EveryClassCommandsTest, AnswersEveryQueryOrRefusesItAsItsClassDoes) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(GetParam().kind).Registered(1)));
  ASSERT_TRUE(PumpUntil([&] { return Device().CsOrPsRegistered(); }));
  for (const Query& query : Queries()) {
    SCOPED_TRACE(query.name);
    const auto refused = GetParam().refused.find(query.name);
    const DvResult expected = refused == GetParam().refused.end() ? DV_S_OK : refused->second;
    EXPECT_EQ(query.call(), expected) << std::hex << query.call();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Classes, EveryClassCommandsTest,
    // The cards whose record carries the technology-selection flag without
    // knowing "AT_OPSYS?" answer ERROR, as such a card would; a client asks
    // DvIsTechnologySelectionSupported first.
    ::testing::Values(ClassExpectations{sim::CardKind::kMultiplexing3g, {{"DvGetTechnologySelectionMode", DV_E_ERROR}}},
                      ClassExpectations{sim::CardKind::kGprs, {{"DvGetPinPukRetryCounters", DV_E_ERROR}}},
                      ClassExpectations{sim::CardKind::kTechnologySelection, {}},
                      ClassExpectations{sim::CardKind::kStack3, {{"DvGetTechnologySelectionMode", DV_E_ERROR}}},
                      ClassExpectations{sim::CardKind::kModel0E00, {}},
                      ClassExpectations{sim::CardKind::kComposite, {{"DvGetTechnologySelectionMode", DV_E_ERROR}}}),
    [](const ::testing::TestParamInfo<ClassExpectations>& info) {
      return std::string(sim::ClassOf(info.param.kind).id);
    });

// The standard card is no database card: detection's record is handed to
// the device. It answers every query with the 3GPP commands alone.
class StandardCardCommandsTest : public DeviceFixture {};

TEST_F(StandardCardCommandsTest, AnswersEveryQueryWithoutAVendorCommand) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  ASSERT_TRUE(Plug(sim::NewSimCard(sim::CardKind::kStandard).Registered(1)));
  ASSERT_EQ(InitializeDevice(), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return Device().CsOrPsRegistered(); }));
  for (const Query& query : Queries()) {
    SCOPED_TRACE(query.name);
    EXPECT_EQ(query.call(), DV_S_OK);
  }
  static constexpr std::string_view kWrite = "Dv: Modem write: [";
  std::set<std::string> sent;
  for (const std::string& line : log_.Lines()) {
    const size_t at = line.find(kWrite);
    if (at == std::string::npos) continue;
    std::string command = line.substr(at + kWrite.size());
    command = command.substr(0, command.find_first_of("\r]"));
    EXPECT_FALSE(command.starts_with("AT_") || command.starts_with("AT*") || command.starts_with("AT$")) << command;
    sent.insert(command);
  }
  // The standard forms of what the database cards do with their own
  // commands: registration with technology, retry counters, index range,
  // SIM readiness, signal and technology.
  for (const char* command : {"AT+CREG=2;+CREG?", "AT+CGREG=2;+CGREG?", "AT+CEREG=2;+CEREG?", "AT+CPINR=?",
                              "AT+CPINR", "AT+CMGD=?", "AT+CPMS?", "AT+CSQ", "AT+COPS=3,0;+COPS?"}) {
    EXPECT_TRUE(sent.count(command)) << command << " not sent";
  }
}

}  // namespace
