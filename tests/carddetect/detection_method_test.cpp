#include "carddetect/detection_method.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/xlog.h"
#include "tests/support/log_capture.h"

namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::LogCapture;

struct Row {
  std::optional<std::u16string> detect;
  DetectionMethod want;
  std::string warning;  // empty: none
};

CardDbEntry Card() {
  CardDbEntry card;
  card.Name = u"Sim";
  return card;
}

void Check(const std::vector<Row>& rows, std::optional<std::u16string> CardDbEntry::*field,
           DetectionMethod (*decode)(const CardDbEntry*)) {
  for (const Row& row : rows) {
    CardDbEntry card = Card();
    card.*field = row.detect;
    LogCapture log(kXLogWarning);
    const std::string input = row.detect ? std::string(row.detect->begin(), row.detect->end()) : "<absent>";
    EXPECT_EQ(decode(&card), row.want) << input;
    if (row.warning.empty()) {
      EXPECT_THAT(log.Lines(), IsEmpty()) << input;
    } else {
      EXPECT_THAT(log.Lines(), ElementsAre(row.warning)) << input;
    }
  }
}

TEST(DetectionMethodTest, Modem) {
  const std::string p = "Nw: DetermineModemDetectionMethod(): ";
  const std::string empty = p + "Warning, modem detection string for card Sim is empty, using default polling method";
  const std::string corrupted =
      p + "Warning, modem detection string for card Sim is corrupted, using default polling method";
  const std::vector<Row> rows = {
      {std::nullopt, {1, 0}, empty},
      {u"", {1, 0}, empty},
      {u"0x1", {1, 0}, ""},
      {u"0x1,junk", {1, 0}, ""},
      {u"0x2,0x2", {2, 0x2}, ""},
      {u"0x2,0x11 ", {2, 0x11}, ""},
      {u"0x2, 0x2", {2, 0x2}, ""},  // the parameter's leading blank is skipped
      {u"0x0x2,0x0x4", {2, 0x4}, ""},
      {u"0x2", {1, 0}, corrupted},
      {u"0x2,", {1, 0}, corrupted},
      {u"0x2;0x2", {1, 0}, corrupted},
      {u"2,0x2", {1, 0}, corrupted},
      {u"0X2,0x2", {1, 0}, corrupted},
      {u"0xZ", {1, 0}, corrupted},
      {u"0x1FFFFFFFF,0x2", {1, 0}, corrupted},
      {u"0x5", {1, 0}, corrupted},
      {u"0x5,0x1", {1, 0}, p + "Unknown modem detection method (5), using default polling method"},
      {u"0x3,0x1", {1, 0}, p + "Unknown modem detection method (3), using default polling method"},
      {u"0x2,2", {1, 0},
       p + "Warning, modem detection parameter for card Sim & method 2 is corrupted, using default polling method"},
      {u"0x2,0xZZ", {1, 0},
       p + "Warning, modem detection parameter for card Sim & method 2 is corrupted, using default polling method"},
  };
  Check(rows, &CardDbEntry::ModemDetect, &DetermineModemDetectionMethod);
}

TEST(DetectionMethodTest, ApplicationPorts) {
  struct Port {
    std::optional<std::u16string> CardDbEntry::*field;
    DetectionMethod (*decode)(const CardDbEntry*);
    std::string function, what;
  };
  const std::vector<Port> ports = {
      {&CardDbEntry::AppPortDetect, &DetermineAppPortDetectionMethod, "DetermineAppPortDetectionMethod",
       "application port detection"},
      {&CardDbEntry::App2PortDetect, &DetermineApp2PortDetectionMethod, "DetermineApp2PortDetectionMethod",
       "application2 port detection"},
  };
  for (const Port& port : ports) {
    const std::string p = "Nw: " + port.function + "(): ";
    const std::string corrupted =
        p + "Warning, " + port.what + " string for card Sim is corrupted, using default polling method";
    const std::vector<Row> rows = {
        {std::nullopt, {0, 0}, ""},
        {u"", {1, 0},
         p + "Warning, " + port.what + " string for card Sim is empty, using default polling method"},
        {u"0x1", {1, 0}, ""},
        {u"0x3", {3, 0}, ""},
        {u"0x2,0x41", {2, 0x41}, ""},
        {u"0x4,0x5", {4, 0x5}, ""},
        {u"0x2", {1, 0}, corrupted},
        {u"0x4", {1, 0}, corrupted},
        {u"nothing", {1, 0}, corrupted},
        {u"0x5,0x1", {1, 0}, p + "Unknown " + port.what + " method (5), using default polling method"},
        {u"0x0,0x1", {1, 0}, p + "Unknown " + port.what + " method (0), using default polling method"},
        {u"0x4,x", {1, 0},
         p + "Warning, " + port.what +
             " parameter for card Sim & method 4 is corrupted, using default polling method"},
    };
    Check(rows, port.field, port.decode);
  }
}

TEST(DetectionMethodTest, DebugPort) {
  const std::string p = "Nw: DetermineDbgPortDetectionMethod(): ";
  const std::vector<Row> rows = {
      {std::nullopt, {0, 0}, ""},
      {u"", {1, 0}, p + "Warning, debug port detection string for card Sim is empty, using default polling method"},
      {u"0x1", {1, 0}, ""},
      {u"0x2,0x40", {2, 0x40}, ""},
      {u"0x3", {1, 0},
       p + "Warning, debug port detection string for card Sim is corrupted, using default polling method"},
      {u"0x3,0x1", {1, 0}, p + "Unknown debug port detection method (3), using default polling method"},
      {u"0x2,1", {1, 0},
       p + "Warning, debug port detection parameter for card Sim & method 2 is corrupted, using default polling "
           "method"},
  };
  Check(rows, &CardDbEntry::DbgPortDetect, &DetermineDbgPortDetectionMethod);
}

TEST(DetectionMethodTest, NoDetectedCardDisablesEverySearch) {
  LogCapture log(kXLogWarning);
  EXPECT_EQ(DetermineModemDetectionMethod(nullptr), DetectionMethod{});
  EXPECT_EQ(DetermineAppPortDetectionMethod(nullptr), DetectionMethod{});
  EXPECT_EQ(DetermineApp2PortDetectionMethod(nullptr), DetectionMethod{});
  EXPECT_EQ(DetermineDbgPortDetectionMethod(nullptr), DetectionMethod{});
  EXPECT_THAT(log.Lines(), ElementsAre("Nw: DetermineModemDetectionMethod(): Warning, no card is detected",
                                       "Nw: DetermineAppPortDetectionMethod(): Warning, no card is detected",
                                       "Nw: DetermineApp2PortDetectionMethod(): Warning, no card is detected",
                                       "Nw: DetermineDbgPortDetectionMethod(): Warning, no card is detected"));
}

TEST(DetectionMethodTest, OutcomeLines) {
  struct LogRow {
    void (*log)(const DetectionMethod&);
    DetectionMethod method;
    std::string line;
  };
  const std::vector<LogRow> rows = {
      {&LogModemDetectionMethod, {0, 0}, "Nw: Modem detection is disabled"},
      {&LogModemDetectionMethod, {1, 0}, "Nw: Modem detection method is set to ModemDetMethodDefaultPolling"},
      {&LogModemDetectionMethod, {2, 0x12},
       "Nw: Modem detection method is set to ModemDetMethodDefaultEventBased, insertion event mask=0x12"},
      {&LogModemDetectionMethod, {3, 0},
       "Nw: LogModemDetectionMethod(): Warning, unknown modem detection method (0x3)"},
      {&LogAppPortDetectionMethod, {0, 0}, "Nw: Application port detection is disabled"},
      {&LogAppPortDetectionMethod, {1, 0},
       "Nw: Application port detection method is set to AppPortDetMethodDefaultPolling"},
      {&LogAppPortDetectionMethod, {2, 0x41},
       "Nw: Application port detection method is set to AppPortDetMethodDefaultEventBased, insertion event "
       "mask=0x41"},
      {&LogAppPortDetectionMethod, {3, 0},
       "Nw: Application port detection method is set to AppPortDetMethodBroadcomPolling"},
      {&LogAppPortDetectionMethod, {4, 0x5},
       "Nw: Application port detection method is set to AppPortDetMethodBroadcomEventBased, insertion event "
       "mask=0x5"},
      {&LogAppPortDetectionMethod, {9, 0},
       "Nw: LogAppPortDetectionMethod(): Warning, unknown application port detection method (0x9)"},
      {&LogApp2PortDetectionMethod, {0, 0}, "Nw: Application2 port detection is disabled"},
      {&LogApp2PortDetectionMethod, {4, 0x1},
       "Nw: Application2 port detection method is set to AppPortDetMethodBroadcomEventBased, insertion event "
       "mask=0x1"},
      {&LogApp2PortDetectionMethod, {0xA, 0},
       "Nw: LogApp2PortDetectionMethod(): Warning, unknown application port detection method (0xa)"},
      {&LogDbgPortDetectionMethod, {0, 0}, "Nw: Debug port detection is disabled"},
      {&LogDbgPortDetectionMethod, {1, 0}, "Nw: Debug port detection method is set to DbgPortDetMethodDefaultPolling"},
      {&LogDbgPortDetectionMethod, {2, 0x80},
       "Nw: Debug port detection method is set to DbgPortDetMethodDefaultEventBased, insertion event mask=0x80"},
      {&LogDbgPortDetectionMethod, {4, 0},
       "Nw: LogDbgPortDetectionMethod(): Warning, unknown debug port detection method (0x4)"},
  };
  for (const LogRow& row : rows) {
    LogCapture log(kXLogTrace);
    row.log(row.method);
    EXPECT_THAT(log.Lines(), ElementsAre(row.line));
  }
}

}  // namespace
