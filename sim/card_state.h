// Everything a simulated card knows about itself, its SIM and its network.
// Plain data: SimCard guards it with its one lock, the command handlers and
// the report reconciliation (at_interpreter.h) read and change it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/sms_pdu_encoder.h"

namespace sim {

// What stands between the user and the SIM.
enum class SimLock {
  kReady,
  kPin,         // "SIM PIN"
  kPuk,         // "SIM PUK": the PIN was entered wrongly too often
  kNetworkPin,  // "PH-NET PIN": the card is locked to another network
  kBlocked,     // the PUK was entered wrongly too often: the SIM is dead
};

struct StoredSms {
  int status = 0;  // 0 received unread, 1 received read, 2 stored unsent, 3 stored sent
  std::string pdu_hex;  // service-centre address included
  int tpdu_length = 0;
};

// A status report the network owes for a message the card sent.
struct PendingStatusReport {
  uint64_t due = 0;       // platform clock time it arrives
  int reference = 0;      // the message reference the card gave the message
  std::string recipient;
};

struct PdpContext {
  std::string type = "IP";
  std::string apn;
};

// The unsolicited reports the program switched on, and what the card last
// told it, so that a report goes out only for a change.
struct ReportSwitches {
  int creg = 0;   // AT+CREG=n
  int cgreg = 0;  // AT+CGREG=n
  int cereg = 0;  // AT+CEREG=n
  bool signal = false;      // AT_OSQI=1
  bool bcm_signal = false;  // AT*MCSQ=1
  bool radio_info = false;  // AT*MRINFO=1
  bool antenna = false;     // AT_OEANT=1
  bool cell_type = false;   // AT_OCTI=1
  bool system = false;      // AT_OSSYS=1
  bool pdp = false;         // AT_OGACT=1
  bool idle_text = false;   // AT_OIDLETEXT=1
  bool indications = false; // AT_OWIND=1
};

struct LastReported {
  int cs = -1;
  int ps = -1;
  int eps = -1;
  std::array<int, 3> cell = {-1, -1, -1};  // lac, cell id, access technology
  int rat = -1;
  int cell_2g = -1;
  int rssi = -1;
  int ber = -1;
  int antenna = -1;
  int pdp_active = -1;
  int radio_switch = -1;
  int edge = -1;
  std::string idle_text;
};

struct CardState {
  // Identity.
  std::string imei = "358709050123456";
  std::string serial = "VS1234567890";
  std::string iccid = "89490200001234567890";  // as printed on the SIM

  // SIM.
  bool sim_present = true;
  bool pin_enabled = false;
  SimLock lock = SimLock::kReady;
  std::string pin = "1234";
  std::string puk = "12345678";
  std::string network_pin;  // non-empty: the card is network-locked with this code
  int pin_retries = 3;
  int puk_retries = 10;
  std::string imsi = "262019876543210";
  std::vector<std::string> own_numbers = {"+491701234567"};
  std::string service_centre = "+491710760000";
  uint32_t sim_busy_ms = 0;   // after power-up: "+CME ERROR: 522" for this long
  uint32_t sim_init_ms = 0;   // after the PIN: "_OBLS:" not yet 1,1,1 for this long
  uint64_t sim_busy_until = 0;
  uint64_t sim_ready_at = 0;  // clock time the SIM finished initialising

  // Radio and network.
  int cfun = 1;
  bool radio_switch_on = true;
  int network_stat = 1;  // what the network grants: 0, 1 home, 2 searching, 3 denied, 5 roaming
  bool attached = true;  // AT+CGATT
  std::string operator_long = "Vombel Net";
  std::string operator_short = "Vombel";
  std::string operator_numeric = "26299";
  std::string operator_own_name;  // "AT_OPON?"; empty: the card has none
  int network_rat = 2;   // best the network offers: 0 GSM, 2 UMTS, 7 LTE
  int technology_mode = 3;  // AT_OPSYS: 0 GPRS only, 1 UMTS only, 2 GPRS pref., 3 UMTS pref.
  int cops_mode = 0;
  int cops_format = 0;
  int cell_2g = 3;   // _OCTI: 0 none, 1 GSM, 2 GPRS, 3 EDGE
  int cell_3g = 1;   // _OWCTI: 0 none, 1 WCDMA, 2 HSDPA, 3 HSUPA, 4 HSPA
  int hsdpa = 0;     // _OHCIP
  int rssi = 20;
  int ber = 99;
  int antenna = 4;   // _OEANT: 0..5
  int lac = 0x1A2B;
  int cell_id = 0xC0FFEE;
  std::string idle_text = "Vombel Net";
  // The network's USSD service: "*100#" answers the balance, "*101#" opens
  // a menu that waits for the user's choice, "*102#" answers in UCS2; any
  // other code is not supported ("+CUSD: 4"). A silent network answers no
  // request at all.
  std::string ussd_reply = "Your balance is 5.00 EUR";
  bool ussd_menu_open = false;
  bool ussd_silent = false;
  std::string charset = "IRA";  // AT+CSCS, card-wide as on the real cards

  // Packet data.
  std::map<int, PdpContext> contexts = {{1, {"IP", "internet"}}};
  int auth_type = 0;
  std::string auth_user;
  std::string auth_password;
  int wan_state = 0;      // _OWANCALL: 0 down, 1 up, 2 connecting, 3 failed
  bool data_call = false; // the modem port is in a dial-up call
  // The network's side of a dial-up call (sim/data_link.h): any login, or
  // only this user name and password; and the address it gives the link.
  bool dial_up_accepts_any = true;
  std::string dial_up_user;
  std::string dial_up_password;
  std::string dial_up_address = "10.64.12.34";

  // Messages on the SIM.
  std::vector<std::optional<StoredSms>> sms = std::vector<std::optional<StoredSms>>(20);
  int cnmi_mt = 0;
  int cnmi_ds = 0;
  int message_reference = 0;  // of the last message sent; the next one counts up
  int long_message_reference = 0;  // of the last long message the console delivered
  uint32_t status_report_delay_ms = 3000;  // from sending to the network's status report
  std::vector<PendingStatusReport> pending_reports;

  ReportSwitches reports;
  LastReported reported;

  // Derived states.
  bool SimUsable() const { return sim_present && lock == SimLock::kReady; }
  bool RadioOn() const { return cfun == 1 && radio_switch_on; }
  int CsStat() const { return SimUsable() && RadioOn() ? network_stat : 0; }
  int PsStat() const {
    const int cs = CsStat();
    if (cs == 1 || cs == 5) return attached ? cs : 0;
    return cs;
  }
  bool Registered() const { return CsStat() == 1 || CsStat() == 5; }
  // EPS registration (+CEREG) is packet registration on an LTE cell.
  int EpsStat() const { return Rat() == 7 ? PsStat() : 0; }
  // The technology the card is on: 0 GSM, 2 UMTS, 7 LTE, -1 none.
  int Rat() const {
    if (!Registered()) return -1;
    switch (technology_mode) {
      case 0:
      case 2:
        return 0;
      case 1:
        return 2;
      default:
        return network_rat;
    }
  }
  bool PdpActive() const { return data_call || wan_state == 1; }
};

}  // namespace sim
