#include "app/HeadlessDownload.h"

#include "app/StopSignals.h"
#include "lang/LangMan.h"
#include "meter/DownloadSequence.h"
#include "meter/FTDItypes.h"
#include "meter/FTDIchip.h"
#include "meter/FTDIdll.h"
#include "meter/MeterBus.h"
#include "meter/MeterEmulator.h"
#include "meter/MeterImport.h"
#include "meter/MeterRecorder.h"
#include "store/MainStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace arvex::app {

namespace {

using meter::ProgressLabel;

// Text that came from the meter or the converters, fit for a terminal: control characters
// are written as escapes, never sent raw.
QString printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else if (!c.isPrint() && !c.isSurrogate() && u != ' ')
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// What the scan saw when it found no meter, and where the README explains access.
QString noMeterReason(tftdichip &chip)
{
    quint32 count = 0;
    pftdiDeviceList nodes = nullptr;
    QStringList seen;
    if (chip.createDeviceInfoList(count, nodes) && nodes) {
        for (quint32 i = 0; i < count; ++i) {
            const char *serial = nodes[i].serialNumber;
            const char *description = nodes[i].description;
            seen << QStringLiteral("%1 (%2)").arg(
                printable(QString::fromLatin1(serial, qsizetype(strnlen(serial, sizeof nodes[i].serialNumber)))),
                printable(QString::fromLatin1(description, qsizetype(strnlen(description, sizeof nodes[i].description)))));
        }
    }
    if (nodes)
        chip.destroyDeviceInfoList(nodes);
    const QString readme =
        QStringLiteral("The README's section \"Connecting the meter on Linux\" explains how to give the program "
                       "access to the meter's converter.");
    if (seen.isEmpty())
        return QStringLiteral("No FTDI converter was found at all.\n") + readme;
    return QStringLiteral("FTDI converters were found, but a meter's serial number begins with \"PP\" and theirs "
                          "do not: %1.\n")
               .arg(seen.join(QStringLiteral(", ")))
        + readme;
}

class ConsoleSurroundings final : public meter::DownloadSurroundings {
public:
    ConsoleSurroundings(const lang::TLangManEngine &engine, const lang::TDesignedLexicon &lexicon, QTextStream &out,
                        QTextStream &err)
        : engine_(engine), lexicon_(lexicon), out_(out), err_(err)
    {
    }

    void showProgressLabel(ProgressLabel label, bool visible) override
    {
        if (!visible || label == ProgressLabel::Ftdi)
            return;
        static const char *const texts[] = {"Searching", "Device not connected", "Importing data", "Import error", ""};
        out_ << engine_.text(QString::fromLatin1(texts[int(label)])) << Qt::endl;
    }
    void setProgressPosition(int position) override
    {
        if (position != last_)
            out_ << position << '%' << Qt::endl;
        last_ = position;
    }
    void showProgress() override {}
    void hideProgress() override {}
    void processMessages() override { QCoreApplication::processEvents(); }
    void setBusyCursor(bool) override {}
    void showIdentity(const QString &device, const QString &serial, const QString &firmware) override
    {
        out_ << engine_.text(QStringLiteral("Device:")) << ' ' << device << "  " << engine_.text(QStringLiteral("SN:"))
             << ' ' << printable(serial) << "  " << engine_.text(QStringLiteral("FV:")) << ' ' << printable(firmware)
             << Qt::endl;
    }
    void refreshViews() override {}
    void showMessage(const QString &text) override { out_ << text << Qt::endl; }
    void showError(const QString &text) override { err_ << text << Qt::endl; }
    int languageNumber() override { return lang::languageNumber(engine_.currentISOCode()); }
    QString lexiconRow(int row) override { return lexicon_.GetItem(row); }
    QString countedLexiconRow(int row, int count) override { return lexicon_.GetItem(row, count); }

private:
    const lang::TLangManEngine &engine_;
    const lang::TDesignedLexicon &lexicon_;
    QTextStream &out_;
    QTextStream &err_;
    int last_ = -1;
};

} // namespace

QString headlessHelp()
{
    return QStringLiteral(
        "Usage: arvex-ph-cli download [--emulate-meter[=FILE]] [--capture FILE]\n"
        "       arvex-ph-cli --help\n"
        "\n"
        "Downloads the measurements stored in the pH meter into the database of the program\n"
        "folder, as START does in the program's window, and prints the steps and the number of\n"
        "results stored, in the interface language chosen in the program. The window may be\n"
        "open on the same database meanwhile; it shows the new results on its next re-read.\n"
        "\n"
        "Options:\n"
        "  --emulate-meter         download the built-in demo meter instead of a real one\n"
        "  --emulate-meter=FILE    download the meter described by a meter file\n"
        "  --capture FILE          write every command and reply of the download into a meter\n"
        "                          file that --emulate-meter=FILE replays\n"
        "  --help                  show this text\n"
        "\n"
        "Exit status: 0 download completed, 1 wrong usage, unusable meter file or a capture that\n"
        "could not be written, 2 device not connected, 3 import error or database error (its\n"
        "text on standard error), 130 or 143 stopped by SIGINT or SIGTERM.\n");
}

int runHeadless(const QStringList &arguments, const QString &programFolder, QTextStream &out, QTextStream &err)
{
    // The meter-bus option is the program's own; the rest is parsed here.
    QStringList rest;
    QString capture;
    bool help = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--emulate-meter") || a.startsWith(QLatin1String("--emulate-meter=")))
            continue;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help = true;
        } else if (a == QLatin1String("--capture") || a.startsWith(QLatin1String("--capture="))) {
            if (a.contains(QLatin1Char('=')))
                capture = a.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--")))
                capture = arguments.at(++i); // an option that follows is not a file name
            if (capture.isEmpty()) {
                err << "--capture needs a file name.\n\n" << headlessHelp();
                return ExitUsage;
            }
        } else {
            rest << a;
        }
    }
    if (help) {
        out << headlessHelp();
        return ExitCompleted;
    }
    if (rest != QStringList{QStringLiteral("download")}) {
        err << (rest.isEmpty() ? QStringLiteral("No command given.")
                               : QStringLiteral("Unknown command or option: %1").arg(rest.join(QLatin1Char(' '))))
            << "\n\n"
            << headlessHelp();
        return ExitUsage;
    }

    QString busError;
    if (!meter::installMeterBus(arguments, &busError)) {
        err << busError << Qt::endl;
        return ExitUsage;
    }
    // The capture is written as the download goes; a capture that cannot be written at all
    // stops the command before anything is downloaded.
    std::shared_ptr<meter::MeterRecorder> recorder;
    std::shared_ptr<tftdidll> recorded;
    if (!capture.isEmpty()) {
        recorder = std::make_shared<meter::MeterRecorder>(installedftdidll(), meter::linkClock());
        try {
            recorder->writeAsItGoes(capture);
        } catch (const meter::MeterFileError &e) {
            err << e.text() << Qt::endl;
            return ExitUsage;
        }
        recorded = setftdidll(recorder);
    }

    const QString folder = QDir(programFolder).absolutePath() + QLatin1Char('/');
    store::MainStore store;
    try {
        store.openDatabase(folder + QStringLiteral("ARVEXBASE.fb"));
        store.openTables();
    } catch (const store::DatabaseError &e) {
        err << QStringLiteral("The database \"%1\" could not be opened.\n%2")
                   .arg(QDir::toNativeSeparators(folder + QStringLiteral("ARVEXBASE.fb")), e.text())
            << Qt::endl;
        return ExitImportError;
    }

    // The interface language stored by the window.
    lang::TLangManEngine engine;
    engine.loadLanguages(folder);
    engine.Translate(engine.GetISOCode(store.FDTableKonfig.fieldValue(QStringLiteral("LANG")).toInt()));
    lang::TDesignedLexicon lexicon(&engine, lang::designedLexiconRows());
    lexicon.setDesignForms(lang::designedLexiconForms());

    tftdichip chip;
    meter::MeterImport import(store.FDConnection1, store.FDSP_AddObiektTemp, store.FDSP_AddWynik);
    ConsoleSurroundings console(engine, lexicon, out, err);
    bool flag = false;
    QByteArray serial, firmware;
    meter::MeterList list{};
    meter::DownloadSequence sequence(chip, import, meter::linkClock(), console,
                                     meter::DownloadFields{flag, serial, firmware, list});
    // After the database is open: the embedded engine has installed its handlers by now.
    installStopSignals();
    sequence.setStopRequest([] { return stopSignal() != 0; });
    const meter::DownloadOutcome outcome = sequence.run();
    out.flush();

    if (outcome == meter::DownloadOutcome::ImportError && !sequence.errorText().isEmpty())
        err << sequence.errorText() << Qt::endl;
    if (outcome == meter::DownloadOutcome::NoDevice && serial.isEmpty())
        err << noMeterReason(chip) << Qt::endl;

    if (outcome == meter::DownloadOutcome::NoDevice && !chip.fconnected && !serial.isEmpty()) {
        // A meter's converter was listed but could not be opened: say why, and how to mend it.
        const QString why = FT_LastErrorText();
        err << QStringLiteral("The meter's converter %1 was found but could not be opened%2")
                   .arg(QString::fromLatin1(serial), why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why)
            << Qt::endl;
        if (!why.contains(QLatin1String("udev")))
            err << "If the system refused access to the device file, install the udev rule for FTDI converters "
                   "(see the README) or join the \"dialout\" group, then log in again."
                << Qt::endl;
    }
    if (chip.fconnected)
        chip.closeDevice();
    bool captureFailed = false;
    if (recorder) {
        setftdidll(recorded);
        const QString why = recorder->writeError();
        if (why.isEmpty()) {
            out << QStringLiteral("Meter session written to %1").arg(QDir::toNativeSeparators(capture)) << Qt::endl;
        } else {
            err << why << Qt::endl;
            captureFailed = true;
        }
    }

    if (outcome == meter::DownloadOutcome::Interrupted) {
        const int signal = stopSignal();
        err << QStringLiteral("Interrupted by %1: the results stored before stay; the object being downloaded "
                              "keeps none of its results.")
                   .arg(QLatin1String(stopSignalName(signal)))
            << Qt::endl;
        // Once a signal has been delivered to the process, the embedded engine does not come
        // back from detaching the database (seen here: it spins in its monitoring memory).
        // Everything committed is on disk and the object in progress was rolled back, so the
        // process ends here without detaching, as it would had the signal ended it.
        out.flush();
        err.flush();
        std::fflush(nullptr);
        ::_exit(stopExitCode(signal));
    }
    if (captureFailed)
        return ExitUsage;
    switch (outcome) {
    case meter::DownloadOutcome::Completed:
        return ExitCompleted;
    case meter::DownloadOutcome::NoDevice:
        return ExitNoDevice;
    default:
        return ExitImportError;
    }
}

} // namespace arvex::app
