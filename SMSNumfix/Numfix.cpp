// Program entry of Numfix.
#include <QApplication>
#include <QMessageBox>

#include <exception>
#include <memory>

#include "QtPrompts.h"
#include "RdmNumfixData.h"
#include "TForm1.h"
#include "QtUi.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Numfix");
    InstallQtUi();
    try {
        TForm1 form(nullptr, std::make_unique<RdmNumfixData>(), std::make_unique<QtPrompts>());
        if (form.ExitRequested()) return 0;
        form.show();
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString());
    }
    return 0;
}
