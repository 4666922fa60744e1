// The stored settings: the 80-bit extended dates, the INI file, and the main window's
// restore before its start-up and save when it closes.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/dialogs/FormStorage.h"
#include "support/TestDatabase.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDateEdit>
#include <QFrame>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace arvex::app;

namespace {

QString hexOf(const QDate &d, const QTime &t) { return encodeExtended(toDayNumber(d, t)); }

// A program folder with a fresh database, a settings file and the seven windows.
struct Program {
    TestDatabase db;
    QTemporaryDir settingsDir;
    QString settings = settingsDir.filePath("Arvex.cfp");
    QStringList errors;
    int pixelsPerInch = 96;

    Program() { setErrorHandler([this](QWidget *, const QString &t) { errors << t; }); }
    ~Program()
    {
        destroyForms();
        setErrorHandler({});
    }
    void writeSettings(const QString &text)
    {
        QFile f(settings);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    QString readSettings() const
    {
        QFile f(settings);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    void create()
    {
        destroyForms();
        createForms();
        MainDivIVForm->setProgramFolderOverride(db.folder());
        MainDivIVForm->JvFormStorage1->setFileName(settings);
        MainDivIVForm->JvFormStorage1->setScreenState([this] {
            ScreenState s;
            s.pixelsPerInch = pixelsPerInch;
            s.desktop = QSize(1920, 1080);
            s.onMonitor = [](QPoint p) { return QRect(0, 0, 1920, 1080).contains(p); };
            return s;
        });
    }
    void show()
    {
        MainDivIVForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainDivIVForm));
    }
};

const QString Section = "[MainDivIVForm]\n";

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void decodeExtended_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QDate>("date");
        const QDate june(2023, 6, 1);
        QTest::newRow("1 June 2023 00:00:00") << "00000000000016B00E40" << true << june;
        QTest::newRow("1 June 2023 23:59:59") << "00C0D13DFFFF16B00E40" << true << june;
        QTest::newRow("lower case") << "00c0d13dffff16b00e40" << true << june;
        QTest::newRow("odd count: a 0 in front") << "0000000000016B00E40" << true << june;
        QTest::newRow("odd count shifts the pairs") << "100000000000016B00E40" << true << QDate(1899, 12, 30);
        QTest::newRow("more than 10 bytes: the first 10") << "00000000000016B00E40FFFF" << true << june;
        QTest::newRow("zero") << "00000000000000000000" << true << QDate(1899, 12, 30);
        QTest::newRow("too short") << "000000000016B00E40" << false << QDate();
        QTest::newRow("empty") << "" << false << QDate();
        QTest::newRow("not hexadecimal") << "00000000000016B00E4G" << false << QDate();
        QTest::newRow("blank inside") << "0000000000 016B00E40" << false << QDate();
        QTest::newRow("infinity") << "0000000000000080FF7F" << false << QDate();
        QTest::newRow("beyond year 9999") << "0000000000000080FF40" << false << QDate();
    }
    void decodeExtended()
    {
        QFETCH(QString, digits);
        QFETCH(bool, readable);
        QFETCH(QDate, date);
        const std::optional<double> v = arvex::app::decodeExtended(digits);
        const QDate decoded = v ? dateOfDayNumber(*v) : QDate();
        QCOMPARE(decoded.isValid(), readable);
        QCOMPARE(decoded, date);
    }

    void encodeExtended()
    {
        QCOMPARE(hexOf(QDate(2023, 6, 1), QTime(0, 0)), QString("00000000000016B00E40"));
        QCOMPARE(hexOf(QDate(2023, 6, 1), QTime(23, 59, 59)), QString("00C0D13DFFFF16B00E40"));
        QCOMPARE(arvex::app::encodeExtended(0), QString("00000000000000000000"));
        QCOMPARE(toDayNumber(QDate(1899, 12, 29), QTime(12, 0)), -1.5);
        for (double v : {45078.0, 45078.999988425923, -1.5, 1e-300, 0.1, 2958465.5, -693593.0})
            QCOMPARE(arvex::app::decodeExtended(arvex::app::encodeExtended(v)).value(), v);
    }

    void iniFileKeepsWhatItDoesNotOwn()
    {
        IniFile ini;
        ini.parse("; comment\r\n[Other]\r\nA=1\r\n\r\n[MainDivIVForm]\r\nNormPos(1920x1080)=1,2,3,4\r\nUnknown = x \r\n");
        QCOMPARE(ini.value("mainDIVivform", "normpos(1920X1080)"), std::optional<QString>("1,2,3,4"));
        QCOMPARE(ini.value("MainDivIVForm", "Unknown"), std::optional<QString>("x"));
        QVERIFY(!ini.value("MainDivIVForm", "NormPos"));
        ini.setValue("MainDivIVForm", "NormPos(1920x1080)", "5,6,7,8");
        ini.setValue("MainDivIVForm", "FormVersion", "0");
        ini.setValue("New", "B", "2");
        QCOMPARE(ini.text(), QString("; comment\n\n[Other]\nA=1\n\n[MainDivIVForm]\nNormPos(1920x1080)=5,6,7,8\nUnknown=x\n"
                                     "FormVersion=0\n\n[New]\nB=2\n"));
    }

    void savedOnCloseInKeyOrder()
    {
        Program p;
        p.create();
        p.show();
        MainDivIVForm->setGeometry(60, 50, 1300, 700);
        MainDivIVForm->dtpDataOd->setDate(QDate(2024, 2, 10));
        MainDivIVForm->dtpDataDo->setDate(QDate(2024, 3, 5));
        MainDivIVForm->RGjednostkaTButtons->button(1)->click();
        QVERIFY(MainDivIVForm->close());
        QCOMPARE(p.errors, QStringList());
        const QString expected = Section +
                                 "FormVersion=0\nShowCmd=1\nFlags=0\nPixelsPerInch=96\n"
                                 "MinMaxPos(1920x1080)=-1,-1,-1,-1\nMinMaxPos=-1,-1,-1,-1\n"
                                 "NormPos(1920x1080)=60,50,1360,750\nNormPos=60,50,1360,750\n"
                                 "dtpDataOd_Date=" + hexOf(QDate(2024, 2, 10), QTime(0, 0)) + "\n"
                                 "dtpDataDo_Date=" + hexOf(QDate(2024, 3, 5), QTime(23, 59, 59)) + "\n"
                                 "Panel8_Width=" + QString::number(MainDivIVForm->Panel8->width()) + "\n"
                                 "RGjednostkaT_ItemIndex=1\n";
        QCOMPARE(p.readSettings(), expected);

        // The next start brings all of it back.
        p.create();
        p.show();
        QCOMPARE(MainDivIVForm->geometry(), QRect(60, 50, 1300, 700));
        QCOMPARE(MainDivIVForm->dtpDataOd->date(), QDate(2024, 2, 10));
        QCOMPARE(MainDivIVForm->dtpDataDo->date(), QDate(2024, 3, 5));
        QCOMPARE(MainDivIVForm->RGjednostkaTButtons->checkedId(), 1);
        QCOMPARE(p.errors, QStringList());
    }

    void placementNeedsTheSameResolution_data()
    {
        QTest::addColumn<int>("screenPpi");
        QTest::addColumn<int>("showCmd");
        QTest::newRow("same 96 dpi: placement restored") << 96 << 1;
        QTest::newRow("120 dpi: all but the placement") << 120 << 3;
    }
    void placementNeedsTheSameResolution()
    {
        QFETCH(int, screenPpi);
        QFETCH(int, showCmd);
        Program p;
        p.pixelsPerInch = screenPpi;
        p.writeSettings(Section + QString("FormVersion=0\nShowCmd=%1\nFlags=0\nPixelsPerInch=96\n"
                                          "MinMaxPos(1920x1080)=-1,-1,-1,-1\nMinMaxPos=-1,-1,-1,-1\n"
                                          "NormPos(1920x1080)=50,40,1350,740\nNormPos=0,0,900,500\n"
                                          "dtpDataOd_Date=%2\ndtpDataDo_Date=%3\nPanel8_Width=500\n"
                                          "RGjednostkaT_ItemIndex=1\n")
                                      .arg(showCmd)
                                      .arg(hexOf(QDate(2024, 2, 10), QTime(0, 0)), hexOf(QDate(2024, 3, 5), QTime(23, 59, 59))));
        p.create();
        p.show();
        QCOMPARE(p.errors, QStringList());
        QCOMPARE(MainDivIVForm->dtpDataOd->date(), QDate(2024, 2, 10));
        QCOMPARE(MainDivIVForm->dtpDataDo->date(), QDate(2024, 3, 5));
        QCOMPARE(MainDivIVForm->Panel8->width(), 500);
        QCOMPARE(MainDivIVForm->RGjednostkaTButtons->checkedId(), 1);
        QCOMPARE(MainDivIVForm->isMaximized(), showCmd == 3);
        // The key with this desktop's size wins over the plain one.
        const QRect stored(50, 40, 1300, 700);
        QCOMPARE(MainDivIVForm->normalGeometry() == stored, screenPpi == 96);
    }

    // Closed while maximised or minimised: the normal rectangle and the state come back.
    void savedMaximisedOrMinimised_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("showCmd");
        QTest::newRow("maximised") << int(Qt::WindowMaximized) << 3;
        QTest::newRow("minimised") << int(Qt::WindowMinimized) << 2;
    }
    void savedMaximisedOrMinimised()
    {
        QFETCH(int, state);
        QFETCH(int, showCmd);
        Program p;
        p.create();
        p.show();
        const QRect normal(70, 40, 1290, 690);
        MainDivIVForm->setGeometry(normal);
        MainDivIVForm->setWindowState(Qt::WindowStates(state));
        QCoreApplication::processEvents();
        QVERIFY(MainDivIVForm->close());
        QCOMPARE(p.errors, QStringList());
        const QString stored = p.readSettings();
        QVERIFY2(stored.contains(QString("ShowCmd=%1\n").arg(showCmd)), qPrintable(stored));
        QVERIFY2(stored.contains("\nNormPos=70,40,1360,730\n"), qPrintable(stored));

        p.create();
        p.show();
        QCOMPARE(p.errors, QStringList());
        QCOMPARE(MainDivIVForm->isMaximized(), state == Qt::WindowMaximized);
        QCOMPARE(MainDivIVForm->isMinimized(), state == Qt::WindowMinimized);
        QCOMPARE(MainDivIVForm->normalGeometry(), normal);
        // Shown normally again, the window takes its stored rectangle.
        MainDivIVForm->showNormal();
        QCoreApplication::processEvents();
        QCOMPARE(MainDivIVForm->geometry(), normal);
    }

    // The program told to quit without the window being closed (the desktop session ends)
    // still writes the settings.
    void savedWhenTheApplicationQuits()
    {
        Program p;
        p.create();
        p.show();
        MainDivIVForm->dtpDataOd->setDate(QDate(2025, 4, 7));
        // The event loop ends without closing any window; ending it emits aboutToQuit.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        QVERIFY(MainDivIVForm->isVisible());
        QCOMPARE(p.errors, QStringList());
        QVERIFY2(p.readSettings().contains("dtpDataOd_Date=" + hexOf(QDate(2025, 4, 7), QTime(0, 0)) + "\n"),
                 qPrintable(p.readSettings()));
    }

    // Positions at the limits of an integer are no placement: left out and reported.
    void placementBeyondTheScreenLimitsIsRefused_data()
    {
        QTest::addColumn<QString>("normPos");
        QTest::newRow("whole int range") << "-2147483648,-2147483648,2147483647,2147483647";
        QTest::newRow("right at the int limit") << "10,10,2147483647,700";
        QTest::newRow("beyond an int") << "0,0,4294967296,700";
        QTest::newRow("beyond the widget size") << "0,0,16777216,700";
    }
    void placementBeyondTheScreenLimitsIsRefused()
    {
        QFETCH(QString, normPos);
        Program p;
        p.writeSettings(Section + "PixelsPerInch=96\nNormPos=" + normPos + "\nPanel8_Width=480\n");
        p.create();
        p.show();
        QCOMPARE(p.errors.size(), 1);
        QVERIFY2(p.errors.first().contains("NormPos"), qPrintable(p.errors.first()));
        QCOMPARE(MainDivIVForm->centralWidget()->size(), QSize(1411, 662)); // the design size
        QCOMPARE(MainDivIVForm->Panel8->width(), 480);
    }

    void placementOffTheMonitorsIsNotRestored()
    {
        Program p;
        p.writeSettings(Section + "PixelsPerInch=96\nNormPos=1000,600,2400,1300\n");
        p.create();
        p.show();
        QVERIFY(MainDivIVForm->geometry() != QRect(1000, 600, 1400, 700));
        QCOMPARE(p.errors, QStringList());
    }

    void fahrenheitRestoredRunsTheScaleClick()
    {
        Program p;
        p.db.isql("insert into OBIEKTY (IDDEV, IDO_INDEV, NAZWA_DEV, REZI2) values (17, 0, 'A', 0);\n"
                  "insert into WYNIKI (IDOB, DATACZAS, DANE1, DANE2, REZI1) "
                  "select IDOB, '2023-06-01 10:00:00', 7.0, 23.5, 0 from OBIEKTY;\ncommit;");
        p.writeSettings(Section + "RGjednostkaT_ItemIndex=1\n");
        p.create();
        QSignalSpy clicked(MainDivIVForm->RGjednostkaTButtons, &QButtonGroup::idClicked);
        p.show();
        QCOMPARE(MainDivIVForm->RGjednostkaTButtons->checkedId(), 1);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 1);
        // The results grid shows the restored scale.
        QCOMPARE(MainDivIVForm->resultsModel->index(0, 3).data().toString(), QString("74.3°F"));

        // The stored scale equal to the current one clicks nothing.
        p.writeSettings(Section + "RGjednostkaT_ItemIndex=0\n");
        p.create();
        QSignalSpy notClicked(MainDivIVForm->RGjednostkaTButtons, &QButtonGroup::idClicked);
        p.show();
        QCOMPARE(notClicked.count(), 0);
    }

    void badValuesKeepTheDesignValues()
    {
        Program p;
        // dtpDataOd_Date missing entirely; the others broken in turn.
        p.writeSettings(Section + "ShowCmd=normal\ndtpDataDo_Date=00C0D13DFFFF16B00E4\n"
                                  "Panel8_Width=wide\nRGjednostkaT_ItemIndex=7\n[Other]\nKeep=me\n");
        p.create();
        p.show();
        QCOMPARE(MainDivIVForm->dtpDataOd->date(), QDate(2023, 6, 1));
        QCOMPARE(MainDivIVForm->dtpDataDo->date(), QDate(2023, 6, 1));
        QCOMPARE(MainDivIVForm->Panel8->width(), 572);
        QCOMPARE(MainDivIVForm->RGjednostkaTButtons->checkedId(), 0);
        QCOMPARE(p.errors.size(), 1);
        for (const char *key : {"ShowCmd", "dtpDataDo_Date", "Panel8_Width", "RGjednostkaT_ItemIndex"})
            QVERIFY2(p.errors.first().contains(key), qPrintable(p.errors.first()));
        QVERIFY(!p.errors.first().contains("dtpDataOd_Date"));

        // One bad date does not stop the rest.
        p.errors.clear();
        p.writeSettings(Section + "dtpDataOd_Date=XYZ\ndtpDataDo_Date=" + hexOf(QDate(2024, 1, 2), QTime(23, 59, 59)) +
                        "\nPanel8_Width=480\n[Other]\nKeep=me\n");
        p.create();
        p.show();
        QCOMPARE(MainDivIVForm->dtpDataOd->date(), QDate(2023, 6, 1));
        QCOMPARE(MainDivIVForm->dtpDataDo->date(), QDate(2024, 1, 2));
        QCOMPARE(MainDivIVForm->Panel8->width(), 480);
        QCOMPARE(p.errors.size(), 1);

        // Closing writes good values and keeps the other section.
        QVERIFY(MainDivIVForm->close());
        QVERIFY(p.readSettings().contains("dtpDataOd_Date=00000000000016B00E40\n"));
        QVERIFY(p.readSettings().contains("[Other]\nKeep=me\n"));
    }

    void unreadableOrUnwritableFileIsReported()
    {
        Program p;
        QVERIFY(QDir().mkpath(p.settings)); // a folder where the file should be
        p.create();
        p.show();
        QCOMPARE(p.errors.size(), 1);
        QVERIFY(p.errors.first().contains("could not be read"));
        QCOMPARE(MainDivIVForm->dtpDataOd->date(), QDate(2023, 6, 1));
        QVERIFY(MainDivIVForm->startupCompleted());

        // Saving into it fails with a message; the window still closes.
        p.errors.clear();
        QVERIFY(MainDivIVForm->close());
        QCOMPARE(p.errors.size(), 1);
        QVERIFY(p.errors.first().contains("could not be saved"));
        QVERIFY(!MainDivIVForm->isVisible());
    }

    void defaultFileIsInTheConfigurationFolder()
    {
        QCOMPARE(FormStorage::defaultFileName(),
                 QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath("Arvex.cfp"));
        // A test program's configuration folder is a folder of its own, however it was started.
        QVERIFY2(FormStorage::defaultFileName().startsWith(QDir::tempPath() + "/arvex-test-settings-"),
                 qPrintable(FormStorage::defaultFileName()));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
