#include "meter/MeterBus.h"

#include "meter/EmulatorBus.h"
#include "meter/FTDIdll.h"
#include "meter/SerialConverters.h"

namespace arvex::meter {

MeterBusChoice parseMeterBusChoice(const QStringList &arguments)
{
    static const QString option = QStringLiteral("--emulate-meter");
    MeterBusChoice choice;
    for (const QString &a : arguments.mid(1)) {
        if (a == option) {
            choice = {true, QString(), false};
        } else if (a.startsWith(option + QLatin1Char('='))) {
            choice = {true, a.mid(option.size() + 1), true};
        }
    }
    return choice;
}

void installMeterBus(const MeterBusChoice &choice)
{
    if (!choice.emulate) {
        setftdidll(std::make_shared<SerialConverters>());
        return;
    }
    if (choice.named && choice.file.isEmpty())
        throw MeterFileError(QStringLiteral("--emulate-meter= needs the name of a meter file "
                                            "(--emulate-meter alone emulates the demo meter)."));
    MeterContent content = choice.file.isEmpty() ? demoMeter() : readMeterFile(choice.file);
    auto bus = std::make_shared<EmulatorBus>(linkClock());
    bus->attach(std::make_shared<MeterEmulator>(std::move(content)));
    setftdidll(std::move(bus));
}

bool installMeterBus(const QStringList &arguments, QString *error)
{
    try {
        installMeterBus(parseMeterBusChoice(arguments));
        return true;
    } catch (const MeterFileError &e) {
        if (error)
            *error = e.text();
        return false;
    }
}

} // namespace arvex::meter
