#include "app/HeadlessReport.h"

#include "app/Fonts.h"
#include "app/HeadlessDownload.h"
#include "app/dialogs/FormStorage.h"
#include "chart/ChartPaint.h"
#include "chart/ChartState.h"
#include "lang/LangMan.h"
#include "report/ExportFilters.h"
#include "report/Report.h"
#include "report/ReportData.h"
#include "report/ReportTemplate.h"
#include "store/Connection.h"
#include "store/MainStore.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPicture>
#include <QTextStream>
#include <cmath>

namespace arvex::app {

namespace {

const char *const ReportBaseNames[] = {"ArvexPHrep_en", "ArvexPHrep_pl", "ArvexPHrep_de", "ArvexPHrep_fr",
                                       "ArvexPHrep_es", "ArvexPHrep_ru", "ArvexPHrep_it"};

// The temperature scale the window keeps in its settings file: 0 °C, 1 °F.
int storedTemperatureScale()
{
    IniFile ini;
    if (!ini.load(FormStorage::defaultFileName()))
        return 0;
    const auto v = ini.value(QStringLiteral("MainDivIVForm"), QStringLiteral("RGjednostkaT_ItemIndex"));
    bool ok = false;
    const int index = v ? v->toInt(&ok) : 0;
    return ok && (index == 0 || index == 1) ? index : 0;
}

} // namespace

bool isHeadlessReportCommand(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a.startsWith(QLatin1Char('-')))
            continue;
        return a == QLatin1String("report") || a == QLatin1String("export");
    }
    return false;
}

bool isHeadlessReportCommand(int argc, char *argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return isHeadlessReportCommand(args) || args == QStringList{args.value(0), QStringLiteral("--help")};
}

int headlessReportMain(int argc, char *argv[])
{
    // No window is ever shown: the offscreen platform gives fonts and painting without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("arvex-ph-cli"));
    store::useEmbeddedEngine(QCoreApplication::applicationDirPath());
    registerTahoma();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();
    int rc = ReportWritten;
    if (!isHeadlessReportCommand(args))
        out << headlessHelp() << "\n" << headlessReportHelp(); // --help alone: both commands
    else
        rc = runHeadlessReport(args, QCoreApplication::applicationDirPath(), out, err);
    out.flush();
    err.flush();
    return rc;
}

QString headlessReportHelp()
{
    return QStringLiteral(
        "Usage: arvex-ph-cli report --pdf FILE\n"
        "       arvex-ph-cli export FILE\n"
        "\n"
        "Prepares the report of the marked objects and their marked results, from the report\n"
        "template of the interface language chosen in the program, on the database of the\n"
        "program folder (the window may be open meanwhile), and writes it:\n"
        "  report --pdf FILE   the whole report as a PDF document, page for page\n"
        "  export FILE         the report's data rows; the type follows the extension:\n"
        "                      .xls Excel workbook, .ods OpenDocument spreadsheet,\n"
        "                      .txt semicolon-separated text\n"
        "The temperature scale is the one the window uses. An existing file is replaced; a file\n"
        "that cannot be written is left as it was.\n"
        "\n"
        "Exit status: 0 file written, 1 wrong usage, missing template, database error or a file\n"
        "that cannot be written (the reason on standard error), 4 no object marked (the data\n"
        "export writes nothing; the PDF is written all the same, as the window writes it).\n");
}

int runHeadlessReport(const QStringList &arguments, const QString &programFolder, QTextStream &out, QTextStream &err)
{
    QStringList rest;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << headlessReportHelp();
            return ReportWritten;
        }
        rest << a;
    }
    const bool pdf = rest.value(0) == QLatin1String("report");
    QString file;
    if (pdf && rest.size() == 3 && rest[1] == QLatin1String("--pdf"))
        file = rest[2];
    else if (pdf && rest.size() == 2 && rest[1].startsWith(QLatin1String("--pdf=")))
        file = rest[1].mid(6);
    else if (!pdf && rest.size() == 2)
        file = rest[1];
    if (file.isEmpty()) {
        err << "Wrong usage: " << rest.join(QLatin1Char(' ')) << "\n\n" << headlessReportHelp();
        return ReportFailed;
    }
    report::ExportKind kind = report::ExportKind::Pdf;
    if (!pdf) {
        const auto k = report::dataExportKindForFile(file);
        if (!k) {
            err << QStringLiteral("\"%1\": the data export writes .xls, .ods or .txt files.")
                       .arg(QDir::toNativeSeparators(file))
                << Qt::endl;
            return ReportFailed;
        }
        kind = *k;
    }
    file = QDir::current().absoluteFilePath(file);

    const QString folder = QDir(programFolder).absolutePath() + QLatin1Char('/');
    store::MainStore store;
    try {
        store.openDatabase(folder + QStringLiteral("ARVEXBASE.fb"));
        store.openTables();
        store.locateDevice(store::PhMeterDeviceKey);
    } catch (const store::DatabaseError &e) {
        err << QStringLiteral("The database \"%1\" could not be opened.\n%2")
                   .arg(QDir::toNativeSeparators(folder + QStringLiteral("ARVEXBASE.fb")), e.text())
            << Qt::endl;
        return ReportFailed;
    }

    lang::TLangManEngine engine;
    engine.loadLanguages(folder);
    engine.Translate(engine.GetISOCode(store.FDTableKonfig.fieldValue(QStringLiteral("LANG")).toInt()));
    lang::TDesignedLexicon lexicon(&engine, lang::designedLexiconRows());
    const int scale = storedTemperatureScale();

    // The same component and datasets as the window's.
    report::Report rep;
    report::StoreReportDataset objects(QStringLiteral("frxDBObiekty"), store.FDQfrxObiekty);
    report::StoreReportDataset results(QStringLiteral("frxDBWyniki"), store.FDQfrxWyniki);
    report::UserReportDataset user(QStringLiteral("frxUserDataSet1"), QStringList{QStringLiteral("TempFF")});
    auto nextObject = [&] {
        store.FDQfrxWyniki.close();
        const int key = store.FDQfrxObiekty.eof() ? 0 : store.FDQfrxObiekty.fieldValue(QStringLiteral("IDOB")).toInt();
        store.FDQfrxWyniki.setParam(0, key);
        store.FDQfrxWyniki.open();
    };
    objects.onNext = nextObject;
    user.onGetValue = [scale](const QString &name, QVariant &value) {
        if (name == QLatin1String("TempFF"))
            value = scale;
    };
    rep.setDatasets({&objects, &results, &user});
    // Without the window nothing has been charted: the chart in its initial state.
    const chart::ChartState chartState;
    static const char *const isoCodes[] = {"en", "pl", "de", "fr", "es", "ru", "it"};
    const int language = qBound(0, lang::languageNumber(engine.currentISOCode()), 6);
    const QLocale locale{QString::fromLatin1(isoCodes[language])};
    rep.onBeforePrint = [&](report::PrintObject &sender) {
        if (sender.name != QLatin1String("PictureChart") || !sender.isPicture())
            return;
        const QSize size(std::max(1, int(std::nearbyint(sender.widthPx))), std::max(1, int(std::nearbyint(sender.heightPx))));
        QPicture picture;
        QPainter p(&picture);
        chart::PaintChart(p, QRectF(QPointF(0, 0), QSizeF(size)), chartState, locale);
        p.end();
        picture.setBoundingRect(QRect(QPoint(0, 0), size));
        sender.setPicture(picture);
    };

    bool nothingMarked = false;
    try {
        store.FDQfrxObiekty.close();
        store.FDQfrxObiekty.setParam(0, store.FDTableDevices.fieldValue(QStringLiteral("IDDEV")).toInt());
        store.FDQfrxObiekty.open();
        objects.resetRun();
        nextObject();
        rep.loadFromFile(folder + QLatin1String(ReportBaseNames[language]) + QStringLiteral("T.fr3"));
        nothingMarked = store.FDQfrxObiekty.isEmpty();
        if (nothingMarked && !pdf) {
            err << lexicon.GetItem(9) << Qt::endl;
            return ReportNothingMarked;
        }
        rep.prepareReport();
    } catch (const store::DatabaseError &e) {
        err << e.text() << Qt::endl;
        return ReportFailed;
    } catch (const report::ReportError &e) {
        err << e.text() << Qt::endl;
        return ReportFailed;
    }
    const report::ExportResult written = report::exportReport(rep.preparedReport(), kind, file);
    if (!written) {
        err << written.error << Qt::endl;
        return ReportFailed;
    }
    out << QStringLiteral("Written: %1").arg(QDir::toNativeSeparators(file)) << Qt::endl;
    if (nothingMarked) {
        err << lexicon.GetItem(9) << Qt::endl;
        return ReportNothingMarked;
    }
    return ReportWritten;
}

} // namespace arvex::app
