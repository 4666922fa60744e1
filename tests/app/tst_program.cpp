// The whole program: prepared as main() prepares it, with a meter file on the emulator, START
// pressed, and the database checked independently through isql-fb. Also the progress window's
// states and the closing message as the user sees them.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/Program.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnProgres.h"
#include "meter/AnsiCodePage.h"
#include "meter/FTDIdll.h"
#include "meter/MeterEmulator.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace arvex::meter;

namespace {

MeterContent labMeter()
{
    MeterContent m;
    m.converterSerial = "PP123456";
    m.identity = EncodeIdentity("PH123456", "1.07");
    const QList<QByteArray> names{"Tap water", QByteArray("Staw \xB3\xF3\x64\x9F"), "Buffer 7"};
    const int numbers[] = {0, 13, 200};
    for (int i = 0; i < 3; ++i) {
        MeterObject o;
        o.number = numbers[i];
        o.name = names[i];
        for (int k = 0; k < 4; ++k)
            o.results << EncodeResult(quint32(65536 * k + 17 * i), QDateTime(QDate(2023, 6 + i, 1 + k), QTime(7 + k, 5 * k, 2 * k)),
                                      quint16(612 + 37 * k + i), temperatureWord(k == 3 ? -2.5 : 19.0 + 0.7 * k, k % 2));
        m.objects << o;
    }
    return m;
}

QString shots() { return QStringLiteral(ARVEX_BUILD_DIR "/screenshots/"); }

} // namespace

class TestProgram : public QObject {
    Q_OBJECT

    QStringList errors;
    QStringList messages;
    QString tag; // screenshot name part: language
    QSet<QString> progressSeen;
    bool closeWhileImporting = false;

    // Watches the small windows while START runs: saves each progress state once and closes
    // the closing message, as a user would, after saving it.
    void watch()
    {
        auto *t = new QTimer(this);
        t->setInterval(0);
        connect(t, &QTimer::timeout, this, [this] {
            if (ProgresForm && ProgresForm->isVisible()) {
                for (QLabel *l : {ProgresForm->LabSearch, ProgresForm->LabNodevice, ProgresForm->LabImport, ProgresForm->LabError})
                    if (l->isVisible() && !progressSeen.contains(l->objectName())) {
                        progressSeen << l->objectName();
                        ProgresForm->grab().save(shots() + "download_" + l->objectName() + "_" + tag + ".png");
                    }
            }
            if (closeWhileImporting && ProgresForm && ProgresForm->LabImport->isVisible()) {
                closeWhileImporting = false;
                MainDivIVForm->close();
            }
            if (InfoForm && InfoForm->isVisible()) {
                messages << InfoForm->Label2->text();
                InfoForm->grab().save(shots() + "download_message_" + tag + ".png");
                InfoForm->BitBtn1->click();
            }
        });
        t->start();
    }

    // Starts the program on a meter file holding the given meter.
    void start(const ProgramFolder &pf, const MeterContent &meter)
    {
        const QString meterFile = pf.file("meter.json");
        writeMeterFile(meter, meterFile);
        QString error;
        QVERIFY2(arvex::app::prepareProgram({"arvex-ph", "--emulate-meter=" + meterFile}, &error), qPrintable(error));
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(pf.path());
        MainDivIVForm->show();
        QVERIFY(MainDivIVForm->startupCompleted());
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(shots());
        arvex::app::setErrorHandler([this](QWidget *, const QString &t) { errors << t; });
        watch();
    }
    void init()
    {
        errors.clear();
        messages.clear();
        progressSeen.clear();
    }
    void cleanup()
    {
        arvex::app::destroyForms();
        setftdidll({});
    }

    void startDownloadsExactlyTheMeter()
    {
        ProgramFolder pf;
        tag = "en";
        start(pf, labMeter());
        QTest::mouseClick(MainDivIVForm->ButtonConnect, Qt::LeftButton);

        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(messages, QStringList{"12 records read."});
        QVERIFY(!ProgresForm->isVisible());
        QCOMPARE(MainDivIVForm->LabSN->text(), QString("PH123456"));
        QCOMPARE(MainDivIVForm->LabFV->text(), QString("1.07"));
        QCOMPARE(MainDivIVForm->LabNazwa->text(), QString("pH meter"));
        QCOMPARE(MainDivIVForm->store.FDQObiekty.rowCount(), 3); // the views were re-read
        QVERIFY(progressSeen.contains("LabSearch") && progressSeen.contains("LabImport"));

        // The database holds exactly the meter's content.
        QString expected;
        const MeterContent m = labMeter();
        for (const MeterObject &o : m.objects)
            for (const QByteArray &rec : o.results) {
                const auto r = DecodeResult(rec);
                expected += QString("%1|%2|%3|%4|%5|%6|%7\n")
                                .arg(o.number)
                                .arg(fromAnsi(o.name))
                                .arg(r->measured.toString("yyyy-MM-dd HH:mm:ss"))
                                .arg(QString::number(r->ph, 'f', 2))
                                .arg(QString::number(r->temperature, 'f', 1))
                                .arg(r->leading)
                                .arg(r->flag);
            }
        const QString out = pf.isql(
            "set heading off;\n"
            "select o.IDO_INDEV || '|' || o.NAZWA_DEV || '|' || substring(cast(w.DATACZAS as varchar(30)) from 1 for 19) "
            "|| '|' || cast(cast(w.DANE1 as numeric(9,2)) as varchar(12)) || '|' "
            "|| cast(cast(w.DANE2 as numeric(9,1)) as varchar(12)) || '|' || w.DANE3 || '|' || w.DANE4 "
            "from WYNIKI w join OBIEKTY o on o.IDOB = w.IDOB where o.IDDEV = 17 order by o.IDO_INDEV, w.DATACZAS;");
        QStringList lines;
        for (const QString &l : out.split('\n'))
            if (!l.trimmed().isEmpty())
                lines << l.trimmed();
        QCOMPARE(lines.join('\n') + '\n', expected);
        QCOMPARE(pf.isqlValue("select count(*) from OBIEKTY"), 3LL);
    }

    void closingDuringADownloadWaitsForIt()
    {
        ProgramFolder pf;
        tag = "close";
        start(pf, labMeter());
        closeWhileImporting = true;
        QTest::mouseClick(MainDivIVForm->ButtonConnect, Qt::LeftButton);
        QVERIFY(!closeWhileImporting); // the window was asked to close mid-download
        QCOMPARE(messages, QStringList{"12 records read."});
        QVERIFY(!MainDivIVForm->isVisible()); // and closed once it had ended
        QCOMPARE(MainDivIVForm->FtdiRS, nullptr);
        QCOMPARE(pf.isqlValue("select count(*) from WYNIKI"), 12LL);
    }

    // The closing message as the window shows it, worded for the count in each language.
    void closingMessageFollowsTheCount_data()
    {
        QTest::addColumn<int>("position"); // en de es fr it pl ru
        QTest::addColumn<int>("results");
        QTest::addColumn<QString>("message");
        QTest::newRow("English, one") << 0 << 1 << "1 record read.";
        QTest::newRow("Polish, few") << 5 << 3 << "Odczytano 3 rekordy.";
        QTest::newRow("Polish, one") << 5 << 1 << "Odczytano 1 rekord.";
        QTest::newRow("Russian, one") << 6 << 1 << "Прочитана 1 запись.";
    }
    void closingMessageFollowsTheCount()
    {
        QFETCH(int, position);
        QFETCH(int, results);
        QFETCH(QString, message);
        ProgramFolder pf;
        pf.isql(QString("update KONFIGURACJA set LANG = %1; commit;").arg(position));
        MeterContent m = labMeter();
        m.objects = m.objects.mid(0, 1);
        m.objects[0].results = m.objects[0].results.mid(0, results);
        tag = "count";
        start(pf, m);
        QTest::mouseClick(MainDivIVForm->ButtonConnect, Qt::LeftButton);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(messages, QStringList{message});
    }

    void polishDownloadAndItsFailures()
    {
        ProgramFolder pf;
        pf.isql("update KONFIGURACJA set LANG = 5; commit;"); // Polish
        MeterContent m = labMeter();
        m.faults << MeterFault::dropTerminatorOf(13);
        tag = "pl";
        start(pf, m);
        QCOMPARE(MainDivIVForm->GetActLangNbr(), 1);
        QTest::mouseClick(MainDivIVForm->ButtonConnect, Qt::LeftButton);
        QVERIFY(messages.isEmpty());
        QVERIFY(progressSeen.contains("LabError"));
        QVERIFY(!MainDivIVForm->FlagaJest);
        QTRY_COMPARE_WITH_TIMEOUT(MainDivIVForm->LabSN->text(), QString(" "), 3500); // the timer clears it
        QCOMPARE(pf.isqlValue("select count(*) from OBIEKTY"), 2LL);
        QCOMPARE(pf.isqlValue("select count(*) from WYNIKI"), 4LL);
        arvex::app::destroyForms();

        // The same meter whole, then no meter at all.
        m.faults.clear();
        start(pf, m);
        QTest::mouseClick(MainDivIVForm->ButtonConnect, Qt::LeftButton);
        QCOMPARE(messages, QStringList{"Odczytano 12 rekordów."});
        arvex::app::destroyForms();

        m.converterSerial = "XX123456";
        start(pf, m);
        QTest::mouseClick(MainDivIVForm->ButtonConnect, Qt::LeftButton);
        QVERIFY(progressSeen.contains("LabNodevice"));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(errors.isEmpty());
    }
};

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
