#pragma once
// A small busy animation: a ring of dots whose bright dot runs round while
// the animation is active.

#include <QWidget>

class QTimer;

class BusyAnimation : public QWidget {
  Q_OBJECT
 public:
  explicit BusyAnimation(QWidget* parent = nullptr);

  bool Active() const;
  void SetActive(bool active);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer* timer_;
  int step_ = 0;
};
