#include "app/ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CentreWindow(QWidget* window) {
  window->adjustSize();
  QRect area;
  const QWidget* parent = window->parentWidget();
  if (parent != nullptr && parent->isVisible()) {
    area = parent->window()->frameGeometry();
  } else {
    const QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    area = screen->availableGeometry();
  }
  QRect frame = window->frameGeometry();
  frame.moveCenter(area.center());
  window->move(frame.topLeft());
}

void BringToForeground(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}
