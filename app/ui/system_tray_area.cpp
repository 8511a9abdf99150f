// The notification area through QSystemTrayIcon. Qt reports a click as an
// activation with a reason; the entry turns each into the mouse message the
// icon's owner handles.
#include <QObject>
#include <QSystemTrayIcon>

#include "app/ui/tray_area.h"

namespace {

class SystemTrayEntry final : public CTrayEntry {
 public:
  explicit SystemTrayEntry(CTrayArea::MouseHandler on_mouse) {
    QObject::connect(&icon_, &QSystemTrayIcon::activated, &icon_,
                     [on_mouse = std::move(on_mouse)](QSystemTrayIcon::ActivationReason reason) {
                       switch (reason) {
                         case QSystemTrayIcon::Trigger:
                           on_mouse(kTrayLeftButtonUp);
                           break;
                         case QSystemTrayIcon::DoubleClick:
                           on_mouse(kTrayLeftDoubleClick);
                           break;
                         case QSystemTrayIcon::Context:
                           on_mouse(kTrayContextMenu);
                           break;
                         default:
                           break;
                       }
                     });
  }

  bool Add(const QIcon& icon, const QString& tooltip) override {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    icon_.setIcon(icon);
    icon_.setToolTip(tooltip);
    icon_.show();
    return icon_.isVisible();
  }

  bool Remove() override {
    icon_.hide();
    return true;
  }

  bool SetTooltip(const QString& tooltip) override {
    icon_.setToolTip(tooltip);
    return true;
  }

 private:
  QSystemTrayIcon icon_;
};

class SystemTrayArea final : public CTrayArea {
 public:
  bool Available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
  std::unique_ptr<CTrayEntry> NewEntry(MouseHandler on_mouse) override {
    return std::make_unique<SystemTrayEntry>(std::move(on_mouse));
  }
};

}  // namespace

std::unique_ptr<CTrayArea> MakeSystemTrayArea() { return std::make_unique<SystemTrayArea>(); }
