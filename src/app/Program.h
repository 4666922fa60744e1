#pragma once

#include <QString>
#include <QStringList>

namespace arvex::app {

// What the program sets up before its windows exist: the meter's converters (or the
// emulator, --emulate-meter[=FILE]) and the busy cursor of database commands. False, with
// the message, when the arguments cannot be used.
bool prepareProgram(const QStringList &arguments, QString *error);

// The embedded engine's configuration file of a program folder: "<folder>/firebird/firebird.conf".
QString engineConfiguration(const QString &programFolder);
// The folder where the engine keeps its lock files: $FIREBIRD_LOCK, else "/tmp/firebird/".
// Every process of every user on the computer that opens a database in-process shares it.
QString engineLockFolder();
// Chooses the embedded engine of the program folder for the database client; must run
// before the client first opens a database. Gives a message for the user when the engine
// cannot be used (its configuration missing, its lock folder not usable), else nothing.
QString chooseEngine(const QString &programFolder);
// A database error's text, with a word on the lock folder when the engine names it.
QString explainEngineError(const QString &text);

} // namespace arvex::app
