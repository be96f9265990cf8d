// Program entry of Kelvimport.
#include <QApplication>
#include <exception>
#include <memory>

#include "QorExceptBase.h"
#include "QtUi.h"
#include "TForm1.h"
#include "WinImportPrompts.h"
#include "WinUi.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallQtTranslations();  // without them Qt's own dialogs speak English
  QApplication::setApplicationName("Kelvimport");
  win::SetApplicationTitle("Kelvimport");
  InstallQtUi();
  TForm1 form(nullptr, std::make_unique<WinImportPrompts>());
  if (form.ExitRequested()) return 0;  // no date library: the program does not run
  form.show();
  try {
    app.exec();
  } catch (const std::exception& e) {
    win::MessageBox(e.what(), "Kelvimport", win::MB_OK | win::MB_ICONERROR);
  } catch (...) {
    win::MessageBox("", "Kelvimport", win::MB_OK | win::MB_ICONERROR);
  }
  try {
    form.LogoutAll();
  } catch (const QorExceptBase&) {
    // Leaving anyway: the logins' destructors release what is left quietly.
  }
  return 0;
}
