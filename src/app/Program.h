#pragma once

#include <QString>
#include <QStringList>

namespace arvex::app {

// What the program sets up before its windows exist: the embedded engine of the program
// folder, the meter's converters (or the emulator, --emulate-meter[=FILE]) and the busy
// cursor of database commands. False, with the message, when the arguments cannot be used.
bool prepareProgram(const QStringList &arguments, QString *error);

} // namespace arvex::app
