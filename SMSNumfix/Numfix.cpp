// Program entry of Numfix.
#include <QApplication>

#include <exception>
#include <memory>

#include "QtUi.h"
#include "RdmNumfixData.h"
#include "TForm1.h"
#include "WinPrompts.h"
#include "WinUi.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InstallQtTranslations();  // without them Qt's own dialogs speak English
    QApplication::setApplicationName("Numfix");
    win::SetApplicationTitle("Numfix");
    InstallQtUi();
    try {
        TForm1 form(nullptr, std::make_unique<RdmNumfixData>(), std::make_unique<WinPrompts>());
        if (form.ExitRequested()) return 0; // no connection: the program does not run
        form.show();
        app.exec();
    } catch (const std::exception& e) {
        // The template file that exists but cannot be read ends here, among others.
        win::MessageBox(e.what(), "Numfix", win::MB_OK | win::MB_ICONERROR);
    } catch (...) {
        win::MessageBox("", "Numfix", win::MB_OK | win::MB_ICONERROR);
    }
    return 0;
}
