// The messages between the application's threads, numbered from WM_APP.
// Requests are thread messages from the main window to the worker thread;
// notifications are window messages from the worker to the main window. The
// two tables share numbers: the direction tells them apart.
#pragma once

#include <cstdint>

#include "platform/window_messages.h"

namespace app_messages {

using platform::WM_APP;

// Requests to the worker thread.
inline constexpr uint32_t WM_APP_SET_TECHNOLOGY_MODE = WM_APP + 13;  // lParam: mode 0..3
inline constexpr uint32_t WM_APP_SET_PIN_MODE = WM_APP + 14;         // wParam: 1 enable; lParam: PinText*
inline constexpr uint32_t WM_APP_SAVE_PROFILE = WM_APP + 15;         // lParam: CProfile*, the worker's
inline constexpr uint32_t WM_APP_CONNECT = WM_APP + 16;              // lParam: 1 connect, 0 disconnect
inline constexpr uint32_t WM_APP_RUN_DIAGNOSTICS = WM_APP + 18;
inline constexpr uint32_t WM_APP_SMS_OPERATION = WM_APP + 20;        // wParam: SmsOperation; lParam: SmsMessage* (0..2), SmsDraft* (3, 4)
inline constexpr uint32_t WM_APP_ENTER_PIN = WM_APP + 22;            // lParam: PinText*
inline constexpr uint32_t WM_APP_ENTER_PUK = WM_APP + 23;            // wParam: PUK PinText*; lParam: new PIN PinText*
inline constexpr uint32_t WM_APP_CHANGE_PIN = WM_APP + 24;           // wParam: old PinText*; lParam: new PinText*
inline constexpr uint32_t WM_APP_USSD = WM_APP + 31;                 // wParam: UssdOperation; lParam: std::u16string*, the worker's

// Notifications to the main window.
inline constexpr uint32_t WM_APP_TRAY_NOTIFY = WM_APP + 1;
inline constexpr uint32_t WM_APP_SMS_TRAY_NOTIFY = WM_APP + 2;
inline constexpr uint32_t WM_APP_SHOW_MAIN = WM_APP + 3;
inline constexpr uint32_t WM_APP_STATE_CHANGED = WM_APP + 5;
inline constexpr uint32_t WM_APP_PIN_REQUIRED = WM_APP + 6;
inline constexpr uint32_t WM_APP_PUK_REQUIRED = WM_APP + 7;
inline constexpr uint32_t WM_APP_DEVICE_REMOVED = WM_APP + 10;
inline constexpr uint32_t WM_APP_PIN_READY = WM_APP + 11;
inline constexpr uint32_t WM_APP_ERROR = WM_APP + 12;                // wParam: result code; lParam: flag
inline constexpr uint32_t WM_APP_TECHNOLOGY_MODE = WM_APP + 13;      // lParam: mode
inline constexpr uint32_t WM_APP_PIN_MODE = WM_APP + 14;             // wParam: 1 after a state query; lParam: enabled
inline constexpr uint32_t WM_APP_PROFILE = WM_APP + 15;              // lParam: CProfile*, the receiver's
inline constexpr uint32_t WM_APP_CONNECTION_STATE = WM_APP + 16;
inline constexpr uint32_t WM_APP_FOREIGN_CONNECTIONS = WM_APP + 17;
inline constexpr uint32_t WM_APP_DIAGNOSTICS = WM_APP + 18;          // wParam: 100 device event, 321 run ended, 123 run
inline constexpr uint32_t WM_APP_SMS = WM_APP + 19;                  // wParam: code 0..7; lParam: by code
inline constexpr uint32_t WM_APP_UPDATE_LOGO = WM_APP + 21;
// The connection's traffic figures were sampled (the cache's Traffic); no
// other value changed, so no state change follows it.
inline constexpr uint32_t WM_APP_TRAFFIC = WM_APP + 30;
// A USSD answer of the network, or a USSD request that failed.
inline constexpr uint32_t WM_APP_USSD_NEWS = WM_APP + 32;            // lParam: UssdNews* (ussd_session.h), the receiver's

// WM_APP_DIAGNOSTICS's wParam values.
inline constexpr uintptr_t kDiagnosticsDeviceEvent = 100;
inline constexpr uintptr_t kDiagnosticsRun = 123;
inline constexpr uintptr_t kDiagnosticsEnded = 321;

// WM_APP_SMS's codes.
enum SmsNews : uintptr_t {
  SmsNewsSent = 0,
  SmsNewsWritten = 1,
  SmsNewsDeleted = 2,
  SmsNewsStoreFilled = 3,
  SmsNewsOneRead = 4,
  SmsNewsTemporary = 5,  // lParam: SmsMessage*, the receiver's
  SmsNewsMarkedRead = 6,
  SmsNewsDeliveryReport = 7,  // a status report changed a sent message's delivery
};

// WM_APP_USSD's operations: send the code or reply in lParam; end the session
// (no text).
enum UssdOperation : uintptr_t { UssdOperationSend = 0, UssdOperationCancel = 1 };

// WM_APP_SMS_OPERATION's operations.
// Send and save of a text of any length (3, 4) take an SmsDraft: a text that
// fits one message goes the way of 0 and 1.
enum SmsOperation : uintptr_t {
  SmsOperationSend = 0,
  SmsOperationSave = 1,
  SmsOperationDelete = 2,
  SmsOperationSendText = 3,
  SmsOperationSaveText = 4,
};

}  // namespace app_messages
