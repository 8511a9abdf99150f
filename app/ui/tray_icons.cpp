#include "app/ui/tray_icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

namespace {

QPixmap Envelope(int side, bool storage_full) {
  QPixmap picture(side, side);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal pen = qMax<qreal>(1.0, side / 16.0);
  const QRectF body(pen, side * 0.2, side - 2 * pen, side * 0.6);
  p.setPen(QPen(QColor(32, 32, 32), pen));
  p.setBrush(QColor(250, 250, 245));
  p.drawRect(body);
  QPainterPath flap;
  flap.moveTo(body.topLeft());
  flap.lineTo(body.center().x(), body.top() + body.height() * 0.55);
  flap.lineTo(body.topRight());
  p.setBrush(Qt::NoBrush);
  p.drawPath(flap);
  if (storage_full) {
    const QRectF bar(body.left(), body.bottom() - body.height() * 0.3, body.width(), body.height() * 0.3);
    p.setBrush(QColor(210, 30, 30));
    p.drawRect(bar);
  } else {
    // A dot for "new".
    const qreal r = side * 0.18;
    p.setBrush(QColor(40, 140, 230));
    p.drawEllipse(QPointF(body.right() - r * 0.6, body.top() - r * 0.1), r, r);
  }
  return picture;
}

}  // namespace

QIcon MainTrayIcon() {
  const QIcon own = QApplication::windowIcon();
  if (!own.isNull()) return own;
  return QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon);
}

QIcon SmsTrayIcon(bool storage_full) {
  QIcon icon;
  for (int side : {16, 22, 24, 32, 48}) icon.addPixmap(Envelope(side, storage_full));
  return icon;
}
