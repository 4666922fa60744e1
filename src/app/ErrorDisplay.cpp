#include "app/ErrorDisplay.h"

#include "report/ReportTemplate.h"
#include "store/Connection.h"

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

void showErrorsOf(QWidget *parent, const std::function<void()> &work)
{
    try {
        work();
    } catch (const store::DatabaseError &e) {
        showError(parent, e.text());
    } catch (const report::ReportError &e) {
        showError(parent, e.text());
    } catch (const std::exception &e) {
        showError(parent, QString::fromLocal8Bit(e.what()));
    }
}

} // namespace arvex::app
