#include "app/HeadlessDownload.h"

#include "lang/LangMan.h"
#include "meter/DownloadSequence.h"
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

namespace arvex::app {

namespace {

using meter::ProgressLabel;

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
             << ' ' << serial << "  " << engine_.text(QStringLiteral("FV:")) << ' ' << firmware << Qt::endl;
    }
    void refreshViews() override {}
    void showMessage(const QString &text) override { out_ << text << Qt::endl; }
    void showError(const QString &text) override { err_ << text << Qt::endl; }
    int languageNumber() override { return lang::languageNumber(engine_.currentISOCode()); }
    QString lexiconRow(int row) override { return lexicon_.GetItem(row); }

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
        "Exit status: 0 download completed, 1 wrong usage or unusable meter file,\n"
        "2 device not connected, 3 import error or database error (its text on standard error).\n");
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
            else if (i + 1 < arguments.size())
                capture = arguments.at(++i);
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
    std::shared_ptr<meter::MeterRecorder> recorder;
    std::shared_ptr<tftdidll> recorded;
    if (!capture.isEmpty()) {
        recorder = std::make_shared<meter::MeterRecorder>(installedftdidll(), meter::linkClock());
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

    tftdichip chip;
    meter::MeterImport import(store.FDConnection1, store.FDSP_AddObiektTemp, store.FDSP_AddWynik);
    ConsoleSurroundings console(engine, lexicon, out, err);
    bool flag = false;
    QByteArray serial, firmware;
    meter::MeterList list{};
    meter::DownloadSequence sequence(chip, import, meter::linkClock(), console,
                                     meter::DownloadFields{flag, serial, firmware, list});
    const meter::DownloadOutcome outcome = sequence.run();
    out.flush();

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
    if (recorder) {
        try {
            recorder->save(capture);
            out << QStringLiteral("Meter session written to %1").arg(QDir::toNativeSeparators(capture)) << Qt::endl;
        } catch (const meter::MeterFileError &e) {
            err << e.text() << Qt::endl;
        }
        setftdidll(recorded);
    }
    if (chip.fconnected)
        chip.closeDevice();

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
