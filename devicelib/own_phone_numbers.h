// The card's own phone numbers from what DvGetOwnPhoneNumbers hands over
// (the lines of the own-number answer). Pure; the window's diagnostics and
// vombel-device's read them the same way.
#pragma once

#include <string>
#include <string_view>

// The phone numbers of the card's own-number answer: the last quoted text of
// every line that has one, joined with ";". Lines end at CR or LF; a line
// without two double quotes or with an empty quoted text adds nothing.
std::u16string ParseOwnPhoneNumbers(std::u16string_view answer);
