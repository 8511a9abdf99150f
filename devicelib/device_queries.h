// The commands the device object and the initialisation sequence send on
// their own account (and the connection objects before they dial). Each
// returns a result code and raises nothing; each applies the guard its
// description names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "devicelib/result_codes.h"

namespace GSM {

// "AT_OBLS": `initialised` is 1 when all three values are 1. A standard
// card's SIM is initialised once it is READY and its message storage
// answers "AT+CPMS?" (a SIM still starting refuses it with +CME/+CMS ERROR).
// Standard guard.
DvResult QuerySimStatus(int& initialised);
// The PIN state query of DvGetPinPukState (its retries and its mapping of
// +CME ERROR 11, 12, 13 and 522), then the post-PIN operation on the first
// READY. Standard guard, Found accepted when `during_initialisation`.
DvResult QueryPinPukState(uint32_t& state, bool during_initialisation = false);
// "AT+CIMI", first line whole. Guard: library initialised, device present
// and not going down (so it also works while the device is Found).
DvResult ReadRawImsi(std::u16string& imsi);
// The post-PIN operation; marks it done on the device only when it
// succeeded, so that SIM polling can try again once the SIM is initialised.
DvResult RunPostPinOperation();
// The two set-up commands the post-PIN operation runs ("AT*MRINFO=1" and
// "AT*MRINFO?" on a Broadcom-based card, "AT+CNMI=2,1,0,1;+CMGF=0"; on a
// standard card then "AT+CMGD=?" for the lowest storage index, whose
// failure leaves the storage counting from 1).
DvResult EnableRadioInformationReports();
DvResult EnableMessageIndications();
// "AT+CSQ": signal value and extended value. Standard guard.
DvResult QuerySignal(int& value, int& extended);
// A standard card's "AT+COPS?": the AcT of the answer becomes the device's
// radio technology (an answer without one changes nothing). Standard guard.
DvResult QueryStandardTechnology();
// "AT_OHCIP?": 1 when HSDPA is reported. Standard guard.
DvResult QueryHsdpaState(int& state);
// "AT_OWCTI?": the WCDMA cell type, raw. Standard guard.
DvResult QueryWcdmaCellType(int& type);
// "AT+COPS=3,2;+COPS?": the registered network's MCC and MNC as one number.
// Guard: device present and not going down.
DvResult QueryNumericOperator(uint32_t& code);
// "AT+CGDCONT=1,\"IP\",\"apn\"". Standard guard; the port-busy step only
// when `check_port_busy`.
DvResult SetApnOnCard(const char16_t* apn, bool check_port_busy);
// "AT$QCPDPP=1,..." (sent as sensitive). Standard guard.
DvResult SetNdisCredentialsOnCard(int authentication, const char16_t* user, const char16_t* password);
// "AT_OWANCALL=1,1,1" and "AT_OWANCALL?" (the state of context 1; 0 when
// the card lists no such context). Standard guard.
DvResult StartWanCall();
DvResult QueryWanCallState(int& state);
// Raises EventUssdMessageArrived with a new record: `status` and at most its
// 256 characters of `text`. Raises 0x8007000E when the record cannot be
// allocated.
void RaiseUssdMessage(int status, std::u16string_view text);
// The USSD answer timer ran out (on the communicator window): the session
// is ended on the card ("AT+CUSD=2", a failure only logged) and the client
// hears status 5, as from a network that timed out.
void OnUssdAnswerTimeout();

}  // namespace GSM
