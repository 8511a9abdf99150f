// The USSD window: the user types a code ("*100#"), the network's answer
// shows in the conversation, and when the network asks for a reply the
// reply field takes it. Cancel ends the session; Close (Escape, the close
// box) ends an open one too and hides the window. Made on first use and
// kept.
//
// It never talks to the worker itself: its requests go through the
// function it is given (the main window posts them on), and the worker's
// news comes back through OnNews. What may be done when is CUssdSession's;
// this class only applies it.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/app_messages.h"
#include "app/ussd_session.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

class CDlgUssd : public QDialog {
 public:
  using RequestFunction = std::function<void(app_messages::UssdOperation operation, const std::u16string& text)>;

  explicit CDlgUssd(RequestFunction request, QWidget* parent = nullptr);

  void ShowAndActivate();
  // The card can (or no longer can) carry a request.
  void SetCardReady(bool ready);
  // WM_APP_USSD_NEWS. A message the network sends on its own opens the
  // window.
  void OnNews(const UssdNews& news);

  const CUssdSession& Session() const { return session_; }

 protected:
  void reject() override;

 private:
  void Layout();
  void Apply();
  void OnSend();
  void OnReply();
  void OnCancel();

  RequestFunction request_;
  CUssdSession session_;
  bool placed_ = false;

  QLineEdit* code_ = nullptr;
  QPushButton* send_ = nullptr;
  QPlainTextEdit* conversation_ = nullptr;
  QLineEdit* reply_ = nullptr;
  QPushButton* send_reply_ = nullptr;
  QWidget* busy_ = nullptr;
  QLabel* status_icon_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* close_ = nullptr;
};
