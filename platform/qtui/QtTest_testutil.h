// Helpers of the window tests: finding a dialog's widgets, acting on the
// next modal window from inside its event loop, and right-clicking.
#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QLocale>
#include <QString>
#include <QTranslator>
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

// Puts back what InstallQtTranslations() changed in a test, the translators
// and the default locale, so that the other tests see Qt as it starts.
struct QtAsItStarts {
  ~QtAsItStarts() {
    qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator*>());
    QLocale::setDefault(QLocale::system());
  }
};

// Right-clicks widget near its right end, where a bar is empty, as an
// operator does; true when that opened a menu, which is closed again.
inline bool RightClickOpensAMenu(QWidget* widget) {
  const QPoint at(widget->width() - 4, widget->height() / 2);
  QContextMenuEvent click(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
  QApplication::sendEvent(widget, &click);
  QApplication::processEvents();
  QWidget* menu = QApplication::activePopupWidget();
  if (menu != nullptr) menu->close();
  return menu != nullptr;
}
