#include "app/ErrorDisplay.h"

#include <QApplication>
#include <QMessageBox>

namespace arvex::app {

namespace {
ErrorHandler &handler()
{
    static ErrorHandler h;
    return h;
}
} // namespace

void setErrorHandler(ErrorHandler h) { handler() = std::move(h); }

void showError(QWidget *parent, const QString &text)
{
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::critical(parent, QStringLiteral("ARVEX TECHNOLOGY"), text);
}

} // namespace arvex::app
