#include "app/ui/signal_bars_widget.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

SignalBarsWidget::SignalBarsWidget(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  picture_ = MakeSignalPicture(0);
}

void SignalBarsWidget::SetSignal(uint32_t effective_mode, int value, bool registered) {
  SignalPicture next = MakeSignalPicture(0);
  if (registered) {
    if (HasSignalPicture(effective_mode)) {
      next = MakeSignalPicture(value);
    } else {
      const int icon = ComputeSignalLevel(effective_mode, value).icon;
      next.units = icon * kSignalUnitsPerBar;
      for (int i = 0; i < static_cast<int>(next.bars.size()); ++i) {
        next.bars[i].filled_width = i < icon ? next.bars[i].width : 0;
      }
    }
  }
  bool same = next.units == picture_.units;
  for (size_t i = 0; same && i < next.bars.size(); ++i) same = next.bars[i].filled_width == picture_.bars[i].filled_width;
  if (same) return;
  picture_ = next;
  update();
}

QSize SignalBarsWidget::sizeHint() const {
  const int height = fontMetrics().height() * 5 / 2;
  return {height * SignalPicture::kWidth / SignalPicture::kHeight, height};
}

void SignalBarsWidget::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) updateGeometry();
  QWidget::changeEvent(event);
}

void SignalBarsWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double sx = static_cast<double>(width()) / SignalPicture::kWidth;
  const double sy = static_cast<double>(height()) / SignalPicture::kHeight;
  const QColor frame = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
  const QColor fill = palette().color(QPalette::Active, QPalette::Highlight);
  QColor empty = palette().color(QPalette::Active, QPalette::Mid);
  empty.setAlpha(90);
  const double pen = std::max(1.0, fontMetrics().height() / 14.0);
  for (const SignalBar& bar : picture_.bars) {
    const QRectF rect(bar.x * sx + pen / 2, bar.y * sy + pen / 2, bar.width * sx - pen, bar.height * sy - pen);
    const double radius = pen * 1.5;
    QPainterPath outline;
    outline.addRoundedRect(rect, radius, radius);
    painter.fillPath(outline, empty);
    if (bar.filled_width > 0) {
      painter.save();
      painter.setClipRect(QRectF(rect.left(), rect.top(), bar.filled_width * sx - pen / 2, rect.height()));
      painter.fillPath(outline, fill);
      painter.restore();
    }
    QColor edge = frame;
    edge.setAlpha(110);
    painter.setPen(QPen(edge, pen));
    painter.drawPath(outline);
  }
}
