// What the SMS editor hands the worker to save or send: a text of any
// length, which goes to the SIM as one message or as the parts of a long
// one, and the draft it replaces.
#pragma once

#include <string>
#include <vector>

#include "devicelib/sms_message.h"

struct SmsDraft {
  // The settings of every message the text becomes: address, service
  // centre, alphabet, validity and report request. Its Text and Index are
  // not used.
  SmsMessage message{};
  std::u16string text;  // line breaks as line feeds
  // The draft the editor was opened with, one record a SIM slot (copies, so
  // the worker can tell whether the slots still hold it); empty for a new
  // message.
  std::vector<SmsMessage> replaces;
};
