#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace arvex::app {

// The application's default error display: a message box with the error's text. Tests
// install a recorder instead so that nothing waits for a click.
using ErrorHandler = std::function<void(QWidget *parent, const QString &text)>;
void showError(QWidget *parent, const QString &text);
void setErrorHandler(ErrorHandler handler); // empty restores the message box

// Runs a handler's work; an error it raises (a database error, a report error, any other)
// goes to the error display and the program goes on.
void showErrorsOf(QWidget *parent, const std::function<void()> &work);

} // namespace arvex::app
