#include "BusyAnimation.h"

#include <QPainter>
#include <QTimer>
#include <cmath>
#include <numbers>

namespace {

constexpr int kDots = 8;

}  // namespace

BusyAnimation::BusyAnimation(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % kDots;
    update();
  });
}

bool BusyAnimation::Active() const { return timer_->isActive(); }

void BusyAnimation::SetActive(bool active) {
  if (active)
    timer_->start();
  else
    timer_->stop();
  update();
}

QSize BusyAnimation::sizeHint() const { return {24, 24}; }

void BusyAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  const QPointF centre = QRectF(rect()).center();
  const qreal radius = std::min(width(), height()) / 2.0 - 3;
  const QColor base = palette().color(QPalette::Highlight);
  for (int i = 0; i < kDots; ++i) {
    const qreal angle = 2 * std::numbers::pi * i / kDots;
    // The dots fade behind the bright one.
    const int age = (step_ - i + kDots) % kDots;
    QColor c = base;
    c.setAlphaF(1.0 - age * 0.8 / kDots);
    p.setBrush(c);
    p.drawEllipse(centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)), 2.5, 2.5);
  }
}
