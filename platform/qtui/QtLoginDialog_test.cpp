// The library's login dialog shown by the Qt backend, driven with QTest as
// an operator would drive it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "QtDialog.h"
#include "QtTest_testutil.h"
#include "QtUi.h"
#include "TRdmLogin.h"

namespace {

class QtLoginDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    login_.SetDatabases(StringVector() << "ugyfel"
                                       << "KELVADO");
    login_.SetUser("ADMIN");
    login_.SetPassword("SECRET");
    login_.SetDatabase("UGY");
    CurrentLoginDialog = &login_;
  }
  void TearDown() override { CurrentLoginDialog = nullptr; }

  // Runs the dialog; act gets it once it shows and must end it.
  bool Execute(std::function<void(QtDialog*)> act) {
    WhenModal([act](QWidget* w) {
      auto* dialog = qobject_cast<QtDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      act(dialog);
      if (dialog->isVisible()) {
        ADD_FAILURE() << "the dialog was left open";
        QTest::keyClick(dialog, Qt::Key_Escape);
      }
    });
    return login_.Execute();
  }

  QtUi ui_;
  win::ScopedUiBackend installed_{ui_};
  TRdmLogin login_;
};

TEST_F(QtLoginDialogTest, TypedValuesComeBackUpperCasedWhenOkIsPressed) {
  EXPECT_TRUE(Execute([](QtDialog* d) {
    EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
    // Its template has no system menu: a title bar without buttons.
    EXPECT_FALSE(d->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint));
    EXPECT_TRUE(d->isModal());
    auto* user = Item<QLineEdit>(d, TRdmLogin::kUserEdit);
    EXPECT_EQ(Item<QComboBox>(d, TRdmLogin::kDatabaseList)->currentText(),
              QStringLiteral("UGYFEL"));
    EXPECT_EQ(Item<QLineEdit>(d, TRdmLogin::kPasswordEdit)->echoMode(), QLineEdit::Password);
    user->selectAll();
    QTest::keyClicks(user, QStringLiteral("abc"));
    EXPECT_EQ(user->text(), QStringLiteral("ABC"));
    QTest::keyClick(user, Qt::Key_Return);
  }));
  EXPECT_EQ(login_.GetUser(), "ABC");
  EXPECT_EQ(login_.GetPassword(), "SECRET");
}

TEST_F(QtLoginDialogTest, SixteenthCharacterIsRefusedButALongerPresetStaysWhole) {
  login_.SetUser("ABCDEFGHIJKLMNOPQRST");
  login_.SetPassword("");
  EXPECT_FALSE(Execute([](QtDialog* d) {
    auto* user = Item<QLineEdit>(d, TRdmLogin::kUserEdit);
    auto* password = Item<QLineEdit>(d, TRdmLogin::kPasswordEdit);
    EXPECT_EQ(user->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    QTest::keyClick(user, Qt::Key_End);  // the focused edit starts all selected
    QTest::keyClicks(user, QStringLiteral("u"));
    EXPECT_EQ(user->text().size(), 20);
    QTest::keyClicks(password, QStringLiteral("abcdefghijklmnop"));
    EXPECT_EQ(password->text(), QStringLiteral("ABCDEFGHIJKLMNO"));
    QTest::keyClick(password, Qt::Key_Escape);
  }));
}

TEST_F(QtLoginDialogTest, OkFollowsTheDialogsRules) {
  login_.SetDatabase("NOSUCH");
  EXPECT_TRUE(Execute([](QtDialog* d) {
    auto* ok = Item<QPushButton>(d, win::IDOK);
    auto* password = Item<QLineEdit>(d, TRdmLogin::kPasswordEdit);
    EXPECT_FALSE(ok->isEnabled());
    QTest::keyClick(password, Qt::Key_Return);  // a disabled OK is not pressed
    EXPECT_TRUE(d->isVisible());
    QTest::keyClick(Item<QComboBox>(d, TRdmLogin::kDatabaseList), Qt::Key_Down);
    EXPECT_TRUE(ok->isEnabled());
    password->selectAll();
    QTest::keyClick(password, Qt::Key_Backspace);
    EXPECT_FALSE(ok->isEnabled());
    QTest::keyClicks(password, QStringLiteral("x"));
    EXPECT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
  }));
  EXPECT_EQ(login_.GetDatabase(), "KELVADO");
  EXPECT_EQ(login_.GetPassword(), "X");
}

}  // namespace
