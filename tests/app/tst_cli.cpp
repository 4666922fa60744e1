// The headless command: its exit codes and output, downloading while the window holds the
// same database open, the stored interface language, and capture and replay.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "meter/MeterEmulator.h"
#include "support/ProgramFolder.h"

#include <QProcess>
#include <QtTest>

using namespace arvex::meter;

namespace {

MeterContent smallMeter()
{
    MeterContent m;
    m.converterSerial = "PP004711";
    m.identity = EncodeIdentity("PH004711", "1.07");
    for (int i = 1; i <= 3; ++i) {
        MeterObject o;
        o.number = i;
        o.name = "Tank " + QByteArray::number(i);
        for (int k = 0; k < i + 1; ++k)
            o.results << EncodeResult(quint32(10 * i + k), QDateTime(QDate(2024, 2, i), QTime(10, k, 2 * k)),
                                      quint16(700 + 10 * k), temperatureWord(18.5 + k, k % 2));
        m.objects << o;
    }
    return m;
}

struct Run {
    int code = -1;
    QString out, err;
};

Run cli(const ProgramFolder &pf, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("FIREBIRD"); // the command finds its own engine folder
    p.setProcessEnvironment(env);
    p.start(pf.cli(), args);
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString meterFile(const ProgramFolder &pf, const MeterContent &m, const QString &name = "meter.json")
{
    const QString path = pf.file(name);
    writeMeterFile(m, path);
    return path;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
    QStringList errors;

private slots:
    void initTestCase()
    {
        arvex::app::setErrorHandler([this](QWidget *, const QString &t) { errors << t; });
    }
    void cleanup() { arvex::app::destroyForms(); }

    void downloadsWhileTheWindowHoldsTheDatabase()
    {
        ProgramFolder pf;
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(pf.path());
        MainDivIVForm->show();
        QVERIFY(MainDivIVForm->startupCompleted());
        QCOMPARE(MainDivIVForm->store.FDQObiekty.rowCount(), 0);

        const Run r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, smallMeter())});
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        QVERIFY2(r.out.contains("Searching\n"), qPrintable(r.out));
        QVERIFY(r.out.contains("Importing data\n"));
        QVERIFY(r.out.contains("Device: pH meter  SN: PH004711  FV: 1.07"));
        QVERIFY(r.out.endsWith("9 records read.\n"));
        QVERIFY(r.err.isEmpty());

        // The window sees the new rows on its next re-read.
        MainDivIVForm->RefreshObjects();
        QCOMPARE(MainDivIVForm->store.FDQObiekty.rowCount(), 3);
        QVERIFY(MainDivIVForm->store.FDQWyniki.rowCount() > 0);
        QCOMPARE(pf.isqlValue("select count(*) from WYNIKI"), 9LL);
        QVERIFY(errors.isEmpty());

        // A second command at the same time as the window: same meter again, nothing added.
        const Run again = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, smallMeter())});
        QCOMPARE(again.code, 0);
        QCOMPARE(pf.isqlValue("select count(*) from WYNIKI"), 9LL);
    }

    void exitCodes()
    {
        ProgramFolder pf;
        MeterContent none = smallMeter();
        none.converterSerial = "AB004711"; // a converter, but no meter's
        Run r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, none)});
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.contains("Device not connected"));
        QCOMPARE(pf.isqlValue("select count(*) from OBIEKTY"), 0LL);

        MeterContent broken = smallMeter();
        broken.faults << MeterFault::dropTerminatorOf(2);
        r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, broken)});
        QCOMPARE(r.code, 3);
        QVERIFY(r.out.contains("Import error"));
        QVERIFY(!r.out.contains("records read."));
        QCOMPARE(pf.isqlValue("select count(*) from OBIEKTY"), 2LL);

        MeterContent refused = smallMeter();
        refused.openRefusal = "/dev/ttyUSB0: Permission denied";
        r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, refused)});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("PP004711") && r.err.contains("Permission denied") && r.err.contains("dialout"),
                 qPrintable(r.err));

        r = cli(pf, {"--help"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("arvex-ph-cli download [--emulate-meter[=FILE]]"));
        r = cli(pf, {"upload"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("Unknown command"));
        r = cli(pf, {"download", "--emulate-meter=" + pf.file("missing.json")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("missing.json"));

        QFile::remove(pf.database());
        r = cli(pf, {"download", "--emulate-meter"});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains("ARVEXBASE.fb"), qPrintable(r.err));
    }

    void speaksTheStoredLanguage()
    {
        ProgramFolder pf;
        // Positions in the language box: English, then the files by name: de es fr it pl ru.
        pf.isql("update KONFIGURACJA set LANG = 5; commit;");
        Run r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, smallMeter())});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("Wyszukiwanie"), qPrintable(r.out));
        QVERIFY2(r.out.endsWith("Odczytano 9 rekordów.\n"), qPrintable(r.out));
        pf.isql("update KONFIGURACJA set LANG = 1; commit;");
        r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, smallMeter())});
        QVERIFY2(r.out.endsWith("9 Datensätze gelesen.\n") || r.out.contains(QRegularExpression("\n9 [^\n]+\n$")),
                 qPrintable(r.out));
    }

    void captureReplaysTheSameDownload()
    {
        ProgramFolder first, second;
        const QString capture = first.file("capture.json");
        Run r = cli(first, {"download", "--emulate-meter=" + meterFile(first, smallMeter()), "--capture", capture});
        QCOMPARE(r.code, 0);
        QVERIFY(QFile::exists(capture));
        r = cli(second, {"download", "--emulate-meter=" + capture});
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        const QString query = "select o.IDO_INDEV, o.NAZWA_DEV, w.DATACZAS, w.DANE1, w.DANE2, w.DANE3, w.DANE4 "
                              "from WYNIKI w join OBIEKTY o on o.IDOB = w.IDOB order by 1, 3;";
        QCOMPARE(second.isql(query), first.isql(query));
        QCOMPARE(second.isqlValue("select count(*) from WYNIKI"), 9LL);
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
