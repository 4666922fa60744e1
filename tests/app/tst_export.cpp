// The two export buttons on a real database filled through the import: the order of their
// steps, their messages, the files they write (read back by independent readers), the text
// file against a golden file, and the headless report and export while the window is open.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/dialogs/FormStorage.h"
#include "app/dialogs/UnInfo.h"
#include "lang/LangFlagsCombo.h"
#include "lang/LangMan.h"
#include "meter/AnsiCodePage.h"
#include "meter/MeterImport.h"
#include "meter/MeterProtocol.h"
#include "store/MainStore.h"
#include "support/FileReaders.h"
#include "support/ProgramFolder.h"
#include "support/TestDatabase.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <map>
#include <memory>

using namespace arvex;

namespace {

// Objects 0 to 2 of the meter with their results, stored through the import.
void importMeter(const QString &databaseFile)
{
    store::MainStore s;
    s.openDatabase(databaseFile);
    const QList<QByteArray> names{"RIVER", "LAKE", "WELL"};
    std::map<QByteArray, QByteArray> replies;
    QList<QByteArray> objects;
    for (int n = 0; n < names.size(); ++n) {
        objects << meter::EncodeObject(n, names[n]);
        QByteArray reply;
        for (int k = 0; k < 2 + n; ++k)
            reply += meter::EncodeResult(7, QDateTime(QDate(2024, 3, 30).addDays(k), QTime(2, 30 + k, 5)),
                                         quint16(650 + 25 * k + n), meter::temperatureWord(18.5 + k));
        replies[meter::ResultsCommand(n)] = reply + "*";
    }
    meter::MeterImport import(s.FDConnection1, s.FDSP_AddObiektTemp, s.FDSP_AddWynik);
    const meter::ImportOutcome outcome =
        import.ImportObjects(objects, [&](const QByteArray &command, int) { return replies[command]; });
    if (!outcome.completed || outcome.stored != 9)
        qFatal("the import stored %d results", outcome.stored);
}

// Texts that test the text file's rules: a ";", a double quote, two lines, Polish letters.
const char *const MarkSql =
    "update OBIEKTY set REZI2 = 1, NAZWA_LONG = 'Staw \"Łódź\"; nr 1', "
    "OPIS = 'first line' || ascii_char(13) || ascii_char(10) || 'second line' where NAZWA_DEV = 'RIVER';"
    "update OBIEKTY set REZI2 = 1, NAZWA_LONG = 'Well' where NAZWA_DEV = 'WELL';"
    "update WYNIKI set REZI1 = 1;"
    "update WYNIKI set REZI1 = 0 where DATACZAS > '2024-04-01 00:00:00';"
    "commit;";

void copyProgramFiles(const QString &folder)
{
    const QDir app(TestDatabase::appDir());
    for (const QString &f : app.entryList({"*.fr3", "*.lng"}, QDir::Files)) {
        QFile::remove(folder + "/" + f);
        QFile::copy(app.filePath(f), folder + "/" + f);
    }
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

    QStringList errors;
    QStringList messages;  // texts of the information window
    QStringList dialogs;   // object names of the save dialogs shown
    std::unique_ptr<TestDatabase> db;
    TMainDivIVForm *w = nullptr;

    void start(bool marked = true)
    {
        db = std::make_unique<TestDatabase>();
        importMeter(db->path());
        if (marked)
            db->isql(MarkSql);
        copyProgramFiles(db->folder());
        arvex::app::createForms();
        w = MainDivIVForm;
        w->setProgramFolderOverride(db->folder());
        w->JvFormStorage1->setFileName(db->folder() + "/Arvex.cfp");
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY2(w->startupCompleted(), qPrintable(errors.join('\n')));
    }

    // The user's next choice in a save dialog: a file name (empty: cancel) and a type index.
    void answerSave(const QString &fileName, int type = 1)
    {
        auto *t = new QTimer(this);
        t->setInterval(5);
        connect(t, &QTimer::timeout, this, [this, t, fileName, type] {
            QFileDialog *d = nullptr;
            for (QFileDialog *candidate : {w->dlgSavePDF, w->dlgSaveExport})
                if (candidate && candidate->isVisible())
                    d = candidate;
            if (!d)
                return;
            t->stop();
            t->deleteLater();
            dialogs << d->objectName();
            if (fileName.isEmpty()) {
                d->reject();
                return;
            }
            d->selectNameFilter(d->nameFilters().value(type - 1));
            emit d->filterSelected(d->selectedNameFilter());
            d->setDirectory(QFileInfo(fileName).absolutePath());
            d->selectFile(QFileInfo(fileName).fileName());
            if (auto *edit = d->findChild<QLineEdit *>("fileNameEdit"))
                edit->setText(QFileInfo(fileName).fileName()); // as typed by the user
            QMetaObject::invokeMethod(d, "accept");
        });
        t->start();
    }
    // Closes the information window whenever it shows, as a user would.
    void watchMessages()
    {
        auto *t = new QTimer(this);
        t->setInterval(5);
        connect(t, &QTimer::timeout, this, [this] {
            if (InfoForm && InfoForm->isVisible()) {
                messages << InfoForm->Label2->text();
                InfoForm->BitBtn1->click();
            }
        });
        t->start();
    }
    QString file(const QString &name) const { return db->folder() + "/" + name; }
    void chooseLanguage(const QString &code)
    {
        for (int i = 0; i < w->LangManEngine1->languageCount(); ++i)
            if (w->LangManEngine1->GetISOCode(i).startsWith(code)) {
                w->LangFlagsCombo1->setCurrentIndex(i);
                emit w->LangFlagsCombo1->activated(i);
                return;
            }
        QFAIL("language not found");
    }

private slots:
    void initTestCase()
    {
        TestDatabase::useBuildEngine();
        arvex::app::setErrorHandler([this](QWidget *, const QString &text) { errors << text; });
        arvex::meter::setAnsiCodePage("CP1250");
        watchMessages();
    }
    void init()
    {
        errors.clear();
        messages.clear();
        dialogs.clear();
    }
    void cleanup()
    {
        arvex::app::destroyForms();
        w = nullptr;
        db.reset();
    }

    // What "Export data" does for each type, office flags and marks.
    void exportDataSteps_data()
    {
        QTest::addColumn<bool>("marked");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("excel");
        QTest::addColumn<bool>("calc");
        QTest::addColumn<QString>("message"); // empty: the file is written
        QTest::newRow("text file without office programs") << true << 3 << false << false << "";
        QTest::newRow("workbook with Excel") << true << 1 << true << false << "";
        QTest::newRow("workbook without Excel") << true << 1 << false << true << "Microsoft Office Excel not installed";
        QTest::newRow("spreadsheet with Calc") << true << 2 << false << true << "";
        QTest::newRow("spreadsheet without Calc") << true << 2 << true << false << "Open Office Calc  not installed";
        QTest::newRow("nothing marked, Excel missing: the count first") << false << 1 << false << false << "No objects to report";
        QTest::newRow("nothing marked, text file") << false << 3 << true << true << "No objects to report";
    }
    void exportDataSteps()
    {
        QFETCH(bool, marked);
        QFETCH(int, type);
        QFETCH(bool, excel);
        QFETCH(bool, calc);
        QFETCH(QString, message);
        start(marked);
        w->IsExcelExport = excel;
        w->IsOpenOffExport = calc;
        static const char *const suffix[] = {"xls", "ods", "txt"};
        const QString out = file(QStringLiteral("data.") + suffix[type - 1]);
        answerSave(out, type);
        w->btnExportXLS->click();
        QCOMPARE(dialogs, QStringList{"dlgSaveExport"});
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(QFileInfo::exists(out), message.isEmpty());
        // Only the chosen file: nothing half-written beside it.
        QCOMPARE(QDir(db->folder()).entryList({"data*"}, QDir::Files), message.isEmpty() ? QStringList{QFileInfo(out).fileName()} : QStringList());
    }

    void cancelledDialogsTouchNothing()
    {
        start();
        for (QPushButton *b : {w->btnExportPDF, w->btnExportXLS}) {
            answerSave(QString());
            b->click();
        }
        QCOMPARE(dialogs, (QStringList{"dlgSavePDF", "dlgSaveExport"}));
        QVERIFY(!w->store.FDQfrxObiekty.isActive()); // the template was never loaded
        QVERIFY(messages.isEmpty() && errors.isEmpty());
    }

    void pdfWithoutMarkedObjects()
    {
        start(false);
        const QString out = file("empty.pdf");
        answerSave(out);
        w->btnExportPDF->click();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QVERIFY(messages.isEmpty());
        QVERIFY2(readers::pdfInfo(out).contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(readers::pdfInfo(out)));
    }

    void pdfOfMarkedObjects()
    {
        start();
        const QString out = file("report"); // typed without an extension
        answerSave(out);
        w->btnExportPDF->click();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QVERIFY(QFileInfo::exists(out + ".pdf"));
        const QString text = readers::pdfText(out + ".pdf");
        for (const char *t : {"pH measurement report", "RIVER", "Staw \"Łódź\"; nr 1", "2024-03-30", "02:30:04", "6.50", "WELL"})
            QVERIFY2(text.contains(QString::fromUtf8(t)), qPrintable(QString::fromUtf8(t) + " not in\n" + text));
        QVERIFY(!text.contains("LAKE")); // not marked
        QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
        QCOMPARE(readers::run("pdftoppm", {"-png", "-r", "70", "-f", "1", "-l", "1", "-singlefile", out + ".pdf",
                                           ARVEX_BUILD_DIR "/screenshots/export_pdf_page1"}).code, 0);
    }

    void textFileAgainstGolden()
    {
        start();
        const QString out = file("golden.txt");
        answerSave(out, 3);
        w->btnExportXLS->click();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        const QByteArray golden = readAll(ARVEX_SOURCE_DIR "/tests/app/golden/export_en_cp1250.txt");
        QVERIFY(!golden.isEmpty());
        QCOMPARE(readAll(out), golden);
    }

    void exportTwiceOverwritesAndFollowsLanguage()
    {
        start();
        const QString out = file("twice.txt");
        answerSave(out, 3);
        w->btnExportXLS->click();
        const QByteArray english = readAll(out);
        QVERIFY(english.contains("Name in meter:"));
        chooseLanguage("pl");
        answerSave(out, 3);
        w->btnExportXLS->click();
        QCOMPARE(dialogs, (QStringList{"dlgSaveExport", "dlgSaveExport"})); // no question in between
        const QByteArray polish = readAll(out);
        QVERIFY(!polish.contains("Name in meter:"));
        QVERIFY(polish != english);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        chooseLanguage("en");
    }

    void missingTemplateEndsTheExport()
    {
        start();
        QFile::remove(file("ArvexPHrep_enT.fr3"));
        const QString out = file("none.txt");
        answerSave(out, 3);
        w->btnExportXLS->click();
        answerSave(file("none.pdf"));
        w->btnExportPDF->click();
        QCOMPARE(errors.size(), 2);
        QVERIFY2(errors[0].startsWith(QStringLiteral("Cannot open file \"%1\"").arg(QDir::toNativeSeparators(file("ArvexPHrep_enT.fr3")))),
                 qPrintable(errors[0]));
        QVERIFY(messages.isEmpty());
        QVERIFY(!QFileInfo::exists(out) && !QFileInfo::exists(file("none.pdf")));
        errors.clear();
    }

    void headlessWhileTheWindowIsOpen()
    {
        ProgramFolder pf;
        copyProgramFiles(pf.path());
        importMeter(pf.database());
        arvex::app::createForms();
        w = MainDivIVForm;
        w->setProgramFolderOverride(pf.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(w->startupCompleted());

        auto cli = [&](const QStringList &args) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("FIREBIRD");
            env.remove("QT_QPA_PLATFORM");
            p.setProcessEnvironment(env);
            p.start(pf.cli(), args);
            p.waitForFinished(120000);
            return std::make_tuple(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()));
        };
        // Nothing marked: the data export refuses, the PDF is written.
        auto [rc1, out1, err1] = cli({"export", pf.file("none.txt")});
        QCOMPARE(rc1, 4);
        QCOMPARE(err1.trimmed().split('\n').last(), "No objects to report");
        QVERIFY(!QFileInfo::exists(pf.file("none.txt")));
        auto [rc2, out2, err2] = cli({"report", "--pdf", pf.file("none.pdf")});
        QCOMPARE(rc2, 4);
        QVERIFY(QFileInfo::exists(pf.file("none.pdf")));

        pf.isql(MarkSql);
        for (const char *name : {"data.xls", "data.ods", "data.txt"}) {
            auto [rc, out, err] = cli({"export", pf.file(name)});
            QVERIFY2(rc == 0, qPrintable(err));
            QCOMPARE(out.trimmed(), "Written: " + pf.file(name));
        }
        QString why;
        const QJsonDocument xls = readers::xlrdRead(pf.file("data.xls"), &why);
        QVERIFY2(!xls.isNull(), qPrintable(why));
        // The workbook as LibreOffice shows it, to look at: converted to PDF, its first page as PNG.
        QDir(pf.path()).mkdir("lo");
        const QStringList lo = readers::libreOfficeConvert(pf.file("data.xls"), pf.file("lo"), "pdf", &why);
        QVERIFY2(lo.size() == 1, qPrintable(why));
        QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
        QCOMPARE(readers::run("pdftoppm", {"-png", "-r", "70", "-f", "1", "-l", "1", "-singlefile", lo.first(),
                                           ARVEX_BUILD_DIR "/screenshots/export_xls_libreoffice"}).code, 0);
        auto [rc3, out3, err3] = cli({"report", "--pdf", pf.file("report.pdf")});
        QVERIFY2(rc3 == 0, qPrintable(err3));
        QVERIFY(readers::pdfText(pf.file("report.pdf")).contains("RIVER"));

        // Failures: a type it cannot write, a folder that is missing, a missing template.
        QCOMPARE(std::get<0>(cli({"export", pf.file("data.csv")})), 1);
        auto [rc4, out4, err4] = cli({"export", pf.file("no folder/data.txt")});
        QCOMPARE(rc4, 1);
        QVERIFY2(err4.contains(pf.file("no folder/data.txt")), qPrintable(err4));
        QFile::remove(pf.file("ArvexPHrep_enT.fr3"));
        auto [rc5, out5, err5] = cli({"report", "--pdf", pf.file("x.pdf")});
        QCOMPARE(rc5, 1);
        QVERIFY2(err5.contains("Cannot open file"), qPrintable(err5));
        QVERIFY(cli({"--help"}) != std::make_tuple(0, QString(), QString()));
        QVERIFY(std::get<1>(cli({"--help"})).contains("arvex-ph-cli export FILE"));
        // The window still works on the database.
        w->RefreshObjects();
        QVERIFY(errors.isEmpty());
    }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
