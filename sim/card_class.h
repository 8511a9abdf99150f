// The kinds of card the simulator plays, one per simulated entry of the
// shipped card database and the standard card, and what each of them knows:
// a command its class lacks is answered with a plain "ERROR", as the real
// card would.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace sim {

enum class CardKind {
  kMultiplexing3g,       // model 0x1000: AT port, modem, network adapter, NDIS port
  kGprs,                 // model 0x0100: one port for commands and data
  kTechnologySelection,  // model 0x2100, stack 2
  kStack3,               // model 0x2200, stack 3
  kModel0E00,            // model 0x0E00, stack 2, one technology only
  kComposite,            // model 0x2300, composite driver
  // A USB modem that knows only the 3GPP commands (no "_O", "*M" or "$Q"
  // ones), with an AT port beside the modem. Not in the card database.
  kStandard,
};

// What a class can do beyond the 3GPP basics every card answers.
enum CardFeature : uint32_t {
  kFeature3g = 1u << 0,                // _OCTI, _OWCTI, _OHCIP; with own commands _OWIND, _OIDLETEXT
  kFeatureOwnCommands = 1u << 1,       // _OPON, _OHWV: the vendor commands of the stack 1 and 2 cards
  kFeatureStack3 = 1u << 2,            // *MCSQ, *MRINFO, _OGSN; numeric operator unquoted
  kFeatureTechnologySelection = 1u << 3,  // _OPSYS
  kFeatureSignalReports = 1u << 4,     // _OSQI / _OSIGQ
  kFeatureAntenna = 1u << 5,           // _OEANT
  kFeatureCsRegistration = 1u << 6,    // +CREG
  kFeatureWanCall = 1u << 7,           // _OWANCALL, $QCPDPP
  kFeaturePdpReports = 1u << 8,        // _OGACT
  kFeatureVoiceQuery = 1u << 9,        // _OPCMENABLE
  kFeatureRetryCounters = 1u << 10,    // _OERCN
  kFeatureOneBasedSms = 1u << 11,      // SIM message storage counts from 1
  kFeatureOwnSimStatus = 1u << 12,     // _OBLS; "+CME ERROR: 522" to AT+CPIN? while the SIM starts
  kFeatureEpsRegistration = 1u << 13,  // +CEREG
  kFeaturePinRetries = 1u << 14,       // +CPINR
  // +COPS? and the n=2 registration answers and reports end with the serving
  // cell's 27.007 access technology (3 EDGE, 4-6 HSPA, 7 LTE, ...).
  kFeatureAccessTechnology = 1u << 15,
};

struct CardClass {
  CardKind kind;
  std::string_view id;        // short name for the command line ("3g", "gprs", ...)
  std::string_view db_name;   // the card database section
  uint16_t model;
  int family;
  int stack;
  uint32_t driver_capabilities;
  uint32_t wwan_capabilities;
  uint32_t features;
  std::string_view manufacturer;
  std::string_view model_name;
  std::string_view firmware;
  std::string_view hardware;
  // The modes "AT_OPSYS=?" offers (technology-selection cards only).
  std::string_view technology_modes = "(0-3),(0-2)";

  bool Has(uint32_t feature_mask) const { return (features & feature_mask) == feature_mask; }
  // A separate AT command port besides the modem (driver capability 0x001).
  bool Multiplexing() const { return (driver_capabilities & 0x001) != 0; }
  int SmsIndexBase() const { return Has(kFeatureOneBasedSms) ? 1 : 0; }
};

// The classes of the card database's simulated entries (the standard card,
// which has no entry, is not among them).
std::span<const CardClass> AllCardClasses();
const CardClass& ClassOf(CardKind kind);
// By short name ("standard" too), database section name or model code
// ("0x2100"); null when none matches.
const CardClass* FindCardClass(std::string_view name);

}  // namespace sim
