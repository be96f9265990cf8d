// One QApplication for every test of this folder (offscreen under CTest),
// and the helpers of QtTest_testutil.h.
#include "QtTest_testutil.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

void WhenModal(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  auto* watchdog = new QTimer;
  watchdog->setSingleShot(true);
  QObject::connect(watchdog, &QTimer::timeout, [] {
    std::fprintf(stderr, "a modal window was left open\n");
    std::abort();
  });
  QObject::connect(poll, &QTimer::timeout, [poll, watchdog, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    poll->stop();
    // Goes with the window: a deferred deletion would wait for an event loop
    // that need not run again once the window's own has ended.
    poll->setParent(modal);
    act(modal);
    delete watchdog;
  });
  poll->start(5);
  watchdog->start(20000);
}

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's dialogs keep their settings in the user's configuration: the
    // tests keep theirs in a folder of their own.
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  QTemporaryDir config_;
  int argc_ = 1;
  char name_[16] = "qtui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
