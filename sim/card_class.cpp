#include "sim/card_class.h"

#include <array>
#include <cstdlib>
#include <string>

#include "foundation/card_models.h"

namespace sim {
namespace {

// Every stack 1 and 2 card speaks the vendor's own "_O" commands; the stack 3
// card comes from another chip maker and has "*M" ones instead.
constexpr uint32_t kStack1Common =
    kFeatureOwnCommands | kFeatureAntenna | kFeatureRetryCounters | kFeatureOwnSimStatus;

constexpr std::array<CardClass, 6> kClasses = {{
    {CardKind::kMultiplexing3g, "3g", "Vombel Sim 3G Multiplexing Card", kCardModel1000, 5, 1, 0x487, 0xF,
     kStack1Common | kFeature3g | kFeatureSignalReports | kFeatureCsRegistration | kFeatureWanCall |
         kFeatureVoiceQuery | kFeatureOneBasedSms,
     "Vombel", "VSIM 3G", "2.8.1Hd (Date: Mar 02 2026, Time: 10:12:40)", "1.0"},
    {CardKind::kGprs, "gprs", "Vombel Sim GPRS Card", 0x100, 4, 1, 0x80, 0x3,
     kFeatureOwnCommands | kFeatureSignalReports | kFeatureCsRegistration | kFeatureVoiceQuery |
         kFeatureOneBasedSms | kFeatureOwnSimStatus,
     "Vombel", "VSIM GPRS", "1.4.2 (Date: Jan 12 2026)", ""},
    {CardKind::kTechnologySelection, "techsel", "Vombel Sim Technology Selection Card", 0x2100, 5, 2,
     0x481, 0xF,
     kStack1Common | kFeature3g | kFeatureTechnologySelection | kFeatureSignalReports |
         kFeatureCsRegistration | kFeatureWanCall | kFeatureVoiceQuery,
     "Vombel", "VSIM TS", "3.1.0 (Date: Jun 30 2026)", "2.1"},
    {CardKind::kStack3, "stack3", "Vombel Sim Stack 3 Card", 0x2200, 6, 3, 0x483, 0xF,
     kFeature3g | kFeatureStack3 | kFeatureAntenna | kFeatureRetryCounters | kFeatureCsRegistration |
         kFeatureOwnSimStatus,
     "Vombel", "VSIM S3", "BCM 5.2.7", "3.0"},
    {CardKind::kModel0E00, "0e00", "Vombel Sim Model 0E00 Card", kCardModel0E00, 5, 2, 0x481, 0xF,
     kStack1Common | kFeature3g | kFeatureTechnologySelection | kFeatureWanCall | kFeaturePdpReports,
     "Vombel", "VSIM 0E00", "4.0.3 (Date: Feb 14 2026)", "1.2", "(1),(0-2)"},
    {CardKind::kComposite, "composite", "Vombel Sim Composite Card", 0x2300, 5, 1, 0x687, 0xF,
     kStack1Common | kFeature3g | kFeatureSignalReports | kFeatureCsRegistration | kFeatureWanCall |
         kFeatureVoiceQuery | kFeatureOneBasedSms,
     "Vombel", "VSIM Composite", "5.0.0 (Date: Sep 09 2026)", "1.1"},
}};

// What the card database will say of a standard card (model, family, stack,
// capabilities) is open; until then it has none of those but driver
// capability 0x001, which gives it its AT port beside the modem.
constexpr CardClass kStandardClass = {
    CardKind::kStandard, "standard", "", 0, 0, 0, 0x001, 0,
    kFeatureCsRegistration | kFeatureEpsRegistration | kFeaturePinRetries | kFeatureAccessTechnology |
        kFeatureOneBasedSms,
    "Vombel", "VSIM LTE Modem", "1.0.4", ""};

}  // namespace

std::span<const CardClass> AllCardClasses() { return kClasses; }

const CardClass& ClassOf(CardKind kind) {
  if (kind == CardKind::kStandard) return kStandardClass;
  for (const auto& c : kClasses) {
    if (c.kind == kind) return c;
  }
  return kClasses[0];
}

const CardClass* FindCardClass(std::string_view name) {
  if (name == kStandardClass.id) return &kStandardClass;
  for (const auto& c : kClasses) {
    if (name == c.id || name == c.db_name) return &c;
  }
  if (name.starts_with("0x") || name.starts_with("0X")) {
    const std::string digits(name.substr(2));
    char* end = nullptr;
    const unsigned long long model = std::strtoull(digits.c_str(), &end, 16);
    if (!digits.empty() && end && *end == '\0') {
      for (const auto& c : kClasses) {
        if (c.model == model) return &c;
      }
    }
  }
  return nullptr;
}

}  // namespace sim
