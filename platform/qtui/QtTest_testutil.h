// Helpers of this folder's tests: finding a dialog's widgets and acting on
// the next modal window from inside its event loop.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

// The widget of a template item, by the object name the backend gives it.
template <class W>
W* Item(QWidget* dialog, int id) {
  return dialog->findChild<W*>(QStringLiteral("item%1").arg(id));
}

// Runs act on the next modal window once it is shown. A window that act
// leaves open would hang the test, so a watchdog ends the program instead.
void WhenModal(std::function<void(QWidget*)> act);
