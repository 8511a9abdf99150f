// The desktop's notification area, as the tray icons use it: whether there
// is one, and entries in it that show an icon and a tooltip and report the
// user's clicks. The program's own is Qt's system tray; tests put a
// recording one in its place.
#pragma once

#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// The mouse messages an entry reports (the platform's numbers, as the icons'
// owner expects them in lParam).
inline constexpr intptr_t kTrayLeftButtonUp = 514;
inline constexpr intptr_t kTrayLeftDoubleClick = 515;
inline constexpr intptr_t kTrayRightButtonUp = 517;
inline constexpr intptr_t kTrayContextMenu = 123;

class CTrayEntry {
 public:
  virtual ~CTrayEntry() = default;
  // Shows the entry; false when the notification area refused it.
  virtual bool Add(const QIcon& icon, const QString& tooltip) = 0;
  virtual bool Remove() = 0;
  virtual bool SetTooltip(const QString& tooltip) = 0;
};

class CTrayArea {
 public:
  using MouseHandler = std::function<void(intptr_t mouse_message)>;

  virtual ~CTrayArea() = default;
  // False on a desktop without a notification area.
  virtual bool Available() const = 0;
  // An entry, not shown yet, that reports its clicks to `on_mouse`.
  virtual std::unique_ptr<CTrayEntry> NewEntry(MouseHandler on_mouse) = 0;
};

// The desktop's own notification area (QSystemTrayIcon).
std::unique_ptr<CTrayArea> MakeSystemTrayArea();
