// The headless command: its exit codes and output, downloading while the window holds the
// same database open, the stored interface language, and capture and replay.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "meter/MeterEmulator.h"
#include "support/ProgramFolder.h"

#include <QProcess>
#include <QtTest>
#include <csignal>

using namespace arvex::meter;

Q_DECLARE_METATYPE(arvex::meter::MeterContent)

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
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.endsWith("\n9 Datensätze gelesen.\n"), qPrintable(r.out));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("an option after --capture") << QStringList{"download", "--capture", "--emulate-meter"}
                                                   << "--capture needs a file name.";
        QTest::newRow("--capture last") << QStringList{"download", "--emulate-meter", "--capture"}
                                        << "--capture needs a file name.";
        QTest::newRow("--emulate-meter= without a name") << QStringList{"download", "--emulate-meter="}
                                                         << "--emulate-meter= needs the name of a meter file";
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        ProgramFolder pf;
        const Run r = cli(pf, args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY2(!r.out.contains("Searching"), qPrintable(r.out)); // nothing was tried
        QVERIFY(!QFile::exists(pf.file("--emulate-meter")));
        QCOMPARE(pf.isqlValue("select count(*) from OBIEKTY"), 0LL);
    }

    void saysWhatWentWrong_data()
    {
        QTest::addColumn<MeterContent>("content");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("err"); // each on standard error
        MeterContent broken = smallMeter();
        broken.faults << MeterFault::dropTerminatorOf(2);
        QTest::newRow("no terminator") << broken << 3
                                       << QStringList{"results command of object 2", "does not end with the terminator 0x2A"};
        MeterContent spare = smallMeter();
        spare.objects[2].results[1][7] = '*'; // a pH byte 0x2A, then the reply stops
        spare.faults << MeterFault::cut({ReplySelector::Results, 3}, 19);
        QTest::newRow("bytes to spare") << spare << 3
                                        << QStringList{"results command of object 3", "19 bytes long", "11 bytes"};
        MeterContent none = smallMeter();
        none.converterSerial = "AB004711";
        QTest::newRow("converters, none a meter's")
            << none << 2 << QStringList{"AB004711 (FT232R USB UART)", "\"PP\"", "Connecting the meter on Linux"};
    }
    void saysWhatWentWrong()
    {
        QFETCH(MeterContent, content);
        QFETCH(int, code);
        QFETCH(QStringList, err);
        ProgramFolder pf;
        const Run r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, content)});
        QCOMPARE(r.code, code);
        for (const QString &e : err)
            QVERIFY2(r.err.contains(e), qPrintable(e + " not in:\n" + r.err));
    }

    void meterTextReachesTheTerminalEscaped()
    {
        ProgramFolder pf;
        MeterContent m = smallMeter();
        m.identity = QByteArray("PP PH\x1b[2J\x07X 1.\x0d" "7\r");
        const Run r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, m)});
        QCOMPARE(r.code, 0);
        QVERIFY2(!r.out.contains(QChar(0x1b)) && !r.out.contains(QChar(0x07)) && !r.out.contains(QChar('\r')),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains("SN: PH\\x1b[2J\\x07X  FV: 1.\\x0d7"), qPrintable(r.out));
    }

    void captureThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing folder") << "no-such-folder/capture.json";
        QTest::newRow("full device") << "/dev/full";
    }
    void captureThatCannotBeWritten()
    {
        QFETCH(QString, path);
        ProgramFolder pf;
        const QString capture = path.startsWith('/') ? path : pf.file(path);
        const Run r = cli(pf, {"download", "--emulate-meter=" + meterFile(pf, smallMeter()), "--capture", capture});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(capture) && r.err.contains("cannot be written"), qPrintable(r.err));
        QCOMPARE(pf.isqlValue("select count(*) from WYNIKI"), 0LL);
    }

    // A meter whose second object holds results for a few seconds of line time.
    static MeterContent slowMeter()
    {
        MeterContent m = smallMeter();
        m.objects[1].results.clear();
        for (int k = 0; k < 3000; ++k)
            m.objects[1].results << EncodeResult(quint32(k), QDateTime(QDate(2024, 3, 1), QTime(0, 0)).addSecs(k * 60),
                                                 700, temperatureWord(20.0));
        return m;
    }

    void captureIsWrittenAsItGoes()
    {
        ProgramFolder pf;
        const QString capture = pf.file("capture.json");
        QProcess p;
        p.start(pf.cli(), {"download", "--emulate-meter=" + meterFile(pf, slowMeter()), "--capture", capture});
        QVERIFY(p.waitForStarted());
        // Killed without warning in the middle of the long reply.
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(p.readAllStandardOutput())).contains("Importing data"), 30000);
        QTest::qWait(1200); // into the second object's reply of about 2.9 s
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        const MeterContent kept = readMeterFile(capture);
        QStringList commands;
        for (const RecordedExchange &x : kept.exchanges)
            commands << QString::fromLatin1(x.command.toHex());
        QVERIFY2(commands.size() >= 3 && commands.at(0) == "490d" && commands.at(1) == "4c0d" && commands.at(2) == "4d010d",
                 qPrintable(commands.join(' ')));
        QCOMPARE(kept.exchanges.at(0).reply, smallMeter().identity);
        QCOMPARE(kept.converterSerial, smallMeter().converterSerial);
    }

    void stopSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::newRow("SIGINT") << int(SIGINT) << 130 << "SIGINT";
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << "SIGTERM";
    }
    void stopSignals()
    {
        QFETCH(int, signal);
        QFETCH(int, code);
        QFETCH(QString, name);
        ProgramFolder pf;
        QProcess p;
        QElapsedTimer t;
        p.start(pf.cli(), {"download", "--emulate-meter=" + meterFile(pf, slowMeter())});
        QVERIFY(p.waitForStarted());
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(p.readAllStandardOutput())).contains("Importing data"), 30000);
        QTest::qWait(800); // into the second object's reply of about 2.9 s
        t.start();
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(20000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed()))); // at once, not after the reply
        QVERIFY2(err.contains("Interrupted by " + name), qPrintable(err));
        QVERIFY2(!err.contains("invalid database handle"), qPrintable(err));
        // What was committed stays; the object in progress keeps none of its results.
        QCOMPARE(pf.isqlValue("select count(*) from WYNIKI w join OBIEKTY o on o.IDOB = w.IDOB where o.IDO_INDEV = 1"), 2LL);
        QCOMPARE(pf.isqlValue("select count(*) from WYNIKI w join OBIEKTY o on o.IDOB = w.IDOB where o.IDO_INDEV = 2"), 0LL);
        QCOMPARE(pf.isqlValue("select count(*) from OBIEKTY where IDO_INDEV = 3"), 0LL);
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
