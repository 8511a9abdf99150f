// What the card needs to know of an SMS-SUBMIT the program hands it with
// AT+CMGS or stores with AT+CMGW: that it is one, whole and consistent, whom
// it goes to, whether it asks for a status report and which part of a long
// message it is. Pure: never reads beyond what it is given.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct SubmitSummary {
  int reference = 0;               // TP-MR as the program wrote it
  std::string recipient;           // TP-DA: "+4917..." (international), digits, or the raw semi-octets
  bool status_report = false;      // TP-SRR
  int tpdu_length = 0;             // octets after the service-centre address
  // The concatenation header of a part of a long message (8- or 16-bit
  // reference); total 1 and sequence 1 without one.
  int part_reference = 0;
  int part_total = 1;
  int part_sequence = 1;
};

// `hex`: the PDU as typed after the prompt, service-centre address first.
// Nothing when it is not hex, not an SMS-SUBMIT, or its fields do not add up
// to exactly its length.
std::optional<SubmitSummary> ParseSubmitPdu(std::string_view hex);

}  // namespace sim
