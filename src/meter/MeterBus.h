#pragma once

// Which converters the program talks to: those of the operating system, or the emulator's
// bus with one meter (`--emulate-meter` for the demo meter, `--emulate-meter=FILE` for a
// meter file).

#include <QString>
#include <QStringList>

namespace arvex::meter {

struct MeterBusChoice {
    bool emulate = false;
    QString file; // empty: the demo meter
    bool named = false; // given as --emulate-meter=FILE (FILE may then not be empty)
};

// Finds the option among the program's arguments (the last one counts).
MeterBusChoice parseMeterBusChoice(const QStringList &arguments);

// Installs the D2XX table for the choice; the emulator paces its bytes by linkClock().
// Raises MeterFileError when the meter file cannot be used, or none was named after "=".
void installMeterBus(const MeterBusChoice &choice);

// Both in one: false, with the message, when the meter file cannot be used.
bool installMeterBus(const QStringList &arguments, QString *error);

} // namespace arvex::meter
