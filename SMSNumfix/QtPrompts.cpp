#include "QtPrompts.h"

#include <QApplication>
#include <QMessageBox>

#include "WinText.h"

namespace {

QString Q(const std::string& text)
{
    // A lone CR separates lines in the system's messages.
    std::u16string u = win::Cp1250ToUtf16(text);
    for (size_t i = 0; i < u.size(); ++i)
        if (u[i] == u'\r' && (i + 1 == u.size() || u[i + 1] != u'\n')) u[i] = u'\n';
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

} // namespace

void QtPrompts::ShowMessage(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), Q(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void QtPrompts::TopMostBox(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::Warning, Q(caption), Q(text), QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

std::time_t QtPrompts::Now()
{
    return std::time(nullptr);
}
