// What the main window's status bar and the tray tooltip say about the
// device: the state text with its warning mark, the technology text, the
// status-bar panes and the tooltip. Pure functions of one set of inputs,
// recomputed by the main window on every state change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/string_loader.h"

class CSettings;
struct CachedDravikValues;

// States of the SMS tray icon.
enum class SmsIconState : int { kNewMessage = 0, kStorageFull = 1, kHidden = 2 };

struct StatusInputs {
  // From the device cache.
  int connection_state = 0;  // 0 disconnected, 1 connecting, 2 connected, 3 disconnecting
  int cs_state = 0;          // 0 not registered, 1 home, 2 searching, 3 denied, 4 unknown, 5 roaming
  int ps_state = 0;
  std::u16string network_name;
  int device_state = 0;      // CachedDravikValues::kDevice...
  int radio_state = 0;       // 1 radio on
  int network_type = 0;      // 1 GPRS, 2 UMTS, 3 LTE, 4 5G (the last two from a standard card)
  bool edge = false;
  bool hsdpa = false;
  int pin_puk_state = 0;
  int signal_value = 0;
  bool wcdma_signal_supported = false;
  std::u16string card_held_text;  // which program holds the card's port; empty when none
  // From the rest of the program.
  SmsIconState sms_icon = SmsIconState::kHidden;
  int active_connections = 0;  // every active connection, the program's own included
  // Settings.
  bool roaming_aware = true;
  bool foreign_connection_friendly = true;
  uint32_t signal_strength_mode = 0;  // as stored (CSettings::kSignal...)

  static StatusInputs From(const CachedDravikValues& cache, const CSettings& settings, SmsIconState sms_icon,
                           int active_connections);

  bool Registered() const;    // the CS or the PS state is 1 or 5
  bool PsRegistered() const;  // the PS state is 1 or 5
  uint32_t SignalMode() const;  // the effective signal-strength mode
};

struct StateText {
  std::u16string text;
  bool warning = false;  // the warning icon in front of the text
};

// The first pane's text. In "Connected to %s", "Registered to %s" and
// "Roaming to %s" the network name takes the place of "%s"; without a
// network name the text is empty. Without a device, a card that another
// program holds is told by the library's sentence instead of "Device not
// found".
StateText MakeStateText(const StatusInputs& in, const StringLoader& strings = LoadProgramString);

// The technology pane's text ("EDGE", "HSDPA", "GPRS", "UMTS", "LTE", "5G",
// "GSM" or empty).
std::u16string MakePaneTechnologyText(const StatusInputs& in, const StringLoader& strings = LoadProgramString);
// The tooltip's technology line: as the pane, but the network type counts
// before the registration does.
std::u16string MakeTooltipTechnologyLine(const StatusInputs& in, const StringLoader& strings = LoadProgramString);

// Pane identifiers (each also the number of its tooltip string, but for the
// signal pane, whose tooltip is the signal text).
inline constexpr unsigned kForeignConnectionPaneId = 57350;
inline constexpr unsigned kSignalPaneId = 57351;
inline constexpr unsigned kSmsPaneId = 200;
inline constexpr unsigned kSmsFullStringId = 201;

enum class StatusPaneKind { kState, kForeignConnection, kSignal, kSms, kTechnology };

struct StatusPane {
  StatusPaneKind kind = StatusPaneKind::kState;
  unsigned id = 0;          // 0 for the text panes
  std::u16string text;      // the state and technology panes
  std::u16string tooltip;   // the icon panes
  int icon = 0;             // signal: bar icon 0..5; SMS: the SmsIconState
  bool warning = false;     // state pane: the warning icon
};

// The panes left to right: the state pane always, then those that apply
// (foreign connection, signal, SMS, technology).
std::vector<StatusPane> MakeStatusPanes(const StatusInputs& in, const StringLoader& strings = LoadProgramString);

// The tray tooltip: the state text, the technology line when there is one,
// and the signal text while registered, one a line.
std::u16string MakeTooltipText(const StatusInputs& in, const StringLoader& strings = LoadProgramString);
