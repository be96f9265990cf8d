#include "ActionList.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

namespace {

// Lets the application go idle once: a loop that waits for its timer.
void GoIdle() {
  QEventLoop loop;
  QTimer::singleShot(20, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Window {
  bool canRepair = false;
  int executed = 0;
  int updated = 0;
  QAction aRepairThisOne{"Javításra kijelöl"};
  void aRepairThisOneExecute() { ++executed; }
  void aRepairThisOneUpdate() {
    ++updated;
    aRepairThisOne.setEnabled(canRepair);
  }
};

TEST(ActionList, RulesRunWhenTheApplicationGoesIdle) {
  Window w;
  ActionList actions;
  actions.Add(&w.aRepairThisOne, &w, &Window::aRepairThisOneExecute, &Window::aRepairThisOneUpdate);
  GoIdle();
  EXPECT_GT(w.updated, 0);
  EXPECT_FALSE(w.aRepairThisOne.isEnabled());
  w.canRepair = true;
  GoIdle();
  EXPECT_TRUE(w.aRepairThisOne.isEnabled());
  EXPECT_EQ(w.executed, 0);
}

TEST(ActionList, TheRuleIsAskedAgainRightBeforeExecuting) {
  Window w;
  ActionList actions;
  actions.Add(&w.aRepairThisOne, &w, &Window::aRepairThisOneExecute, &Window::aRepairThisOneUpdate);
  // Enabled when last looked at, but the rule says no by now: a key
  // shortcut or menu reaching it does nothing.
  w.aRepairThisOne.setEnabled(true);
  w.canRepair = false;
  w.aRepairThisOne.trigger();
  EXPECT_EQ(w.executed, 0);
  EXPECT_FALSE(w.aRepairThisOne.isEnabled());
  // Disabled when last looked at, but allowed now: executing from code runs it.
  w.canRepair = true;
  const int before = w.updated;
  EXPECT_TRUE(actions.Execute(&w.aRepairThisOne));
  EXPECT_EQ(w.executed, 1);
  EXPECT_EQ(w.updated, before + 1);
  w.aRepairThisOne.trigger();
  EXPECT_EQ(w.executed, 2);
}

TEST(ActionList, ActionsWithoutRulesKeepTheirOwnStateAndStrangersAreRefused) {
  int exits = 0;
  QAction aExit("Kilépés");
  ActionList actions;
  actions.Add(&aExit, [&] { ++exits; });
  GoIdle();
  EXPECT_TRUE(actions.Execute(&aExit));
  aExit.setEnabled(false);
  EXPECT_FALSE(actions.Execute(&aExit));
  EXPECT_EQ(exits, 1);
  QAction stranger("x");
  EXPECT_FALSE(actions.Execute(&stranger));
  EXPECT_FALSE(actions.Execute(nullptr));
}

TEST(ActionList, ADeletedActionIsForgotten) {
  int updates = 0;
  auto* action = new QAction("x");
  ActionList actions;
  actions.Add(
      action, [] {}, [&] { ++updates; });
  delete action;
  actions.UpdateAll();
  GoIdle();
  EXPECT_EQ(updates, 0);
}

}  // namespace
