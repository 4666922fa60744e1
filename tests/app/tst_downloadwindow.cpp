// The window while START downloads: deleting and renaming are refused, a close waits for the
// download's end and the progress window says so, and SIGINT and SIGTERM close the window as
// its close button does. The meter is the emulator's, in virtual time.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/StopSignals.h"
#include "app/dialogs/UEditMyName.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnProgres.h"
#include "meter/EmulatorBus.h"
#include "meter/MeterClock.h"
#include "meter/MeterEmulator.h"
#include "support/TestDatabase.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>
#include <csignal>

using namespace arvex::meter;

namespace {

// Object 1 with 3 results, object 2 with 2,000 (0.19 s of line time).
MeterContent twoObjects()
{
    MeterContent m;
    m.converterSerial = "PP000077";
    m.identity = EncodeIdentity("PH000077", "1.07");
    for (int n = 1; n <= 2; ++n) {
        MeterObject o;
        o.number = n;
        o.name = "Vat " + QByteArray::number(n);
        for (int k = 0; k < (n == 1 ? 3 : 2000); ++k)
            o.results << EncodeResult(quint32(k), QDateTime(QDate(2024, 4, 1), QTime(0, 0)).addSecs(k * 120), 700,
                                      temperatureWord(19.5));
        m.objects << o;
    }
    return m;
}

} // namespace

class TestDownloadWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<VirtualClock> clock;
    std::shared_ptr<EmulatorBus> bus;
    std::shared_ptr<tftdidll> previous;
    std::unique_ptr<TestDatabase> db;
    QStringList errors;
    QStringList dialogs;          // the modal windows that came up, by name
    bool closingNoteShown = false; // seen on the progress window when the closing message came
    QTimer answer;

    // Answers every modal window as a user pressing OK would; the name editor gets a new name.
    void answerDialogs()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        dialogs << modal->objectName();
        if (modal == static_cast<QWidget *>(InfoForm)) {
            closingNoteShown = ProgresForm->LabClosing->isVisible();
            if (closingNoteShown) {
                QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
                ProgresForm->grab().save(ARVEX_BUILD_DIR "/screenshots/progress_closing.png");
            }
        }
        if (modal == static_cast<QWidget *>(FormEditName))
            FormEditName->Edit1->setText("renamed");
        if (auto *d = qobject_cast<QDialog *>(modal))
            d->done(1);
    }

    TMainDivIVForm *startWindow()
    {
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(db->folder());
        MainDivIVForm->show();
        return MainDivIVForm;
    }

    // Runs a download; `during` runs at a virtual time inside object 2's reply.
    void download(TMainDivIVForm *w, std::function<void()> during = {})
    {
        if (during)
            clock->at(clock->nowNs() + 300 * 1000000LL, std::move(during));
        w->ButtonConnect->click();
    }

private slots:
    void initTestCase()
    {
        arvex::app::blockStopSignals(); // as main does: the engine's threads never take them
        QStandardPaths::setTestModeEnabled(true); // the settings file stays the test's
        TestDatabase::useBuildEngine();
        arvex::app::setErrorHandler([this](QWidget *, const QString &t) { errors << t; });
        connect(&answer, &QTimer::timeout, this, [this] { answerDialogs(); });
        answer.start(10);
    }
    void init()
    {
        errors.clear();
        dialogs.clear();
        closingNoteShown = false;
        clock = std::make_unique<VirtualClock>();
        setLinkClock(clock.get());
        bus = std::make_shared<EmulatorBus>(*clock);
        bus->attach(std::make_shared<MeterEmulator>(twoObjects()));
        previous = setftdidll(bus);
        db = std::make_unique<TestDatabase>();
    }
    void cleanup()
    {
        arvex::app::destroyForms();
        setftdidll(previous);
        setLinkClock(nullptr);
        bus.reset();
        db.reset();
    }

    void deleteAndRenameAreRefused_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("Delete object") << "actDelObject";
        QTest::newRow("Delete marked records") << "actDelRekord";
        QTest::newRow("My name") << "actMyname";
    }
    void deleteAndRenameAreRefused()
    {
        QFETCH(QString, action);
        TMainDivIVForm *w = startWindow();
        download(w);
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 2003LL);
        db->isql("update WYNIKI set REZI1 = 1; commit;");
        w->RefreshObjects();
        QAction *a = w->findChild<QAction *>(action);
        QVERIFY(a);

        // Pressed between storing an object and storing its results.
        dialogs.clear();
        download(w, [&] { QTimer::singleShot(0, w, [a] { a->trigger(); }); });
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(dialogs, QStringList{"InfoForm"}); // no question was asked
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY"), 2LL);
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 2003LL);
        QCOMPARE(db->isqlValue("select count(*) from OBIEKTY where NAZWA_LONG = 'renamed'"), 0LL);
        // Once the download is over the action works again.
        dialogs.clear();
        a->trigger();
        QVERIFY(!dialogs.isEmpty());
    }

    void closeWaitsForTheDownload_data()
    {
        QTest::addColumn<int>("signal"); // 0: the close button
        QTest::newRow("close button") << 0;
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void closeWaitsForTheDownload()
    {
        QFETCH(int, signal);
        TMainDivIVForm *w = startWindow();
        w->closeOnStopSignals();
        QVERIFY(arvex::app::stopSignalsInForce()); // ours, not the database engine's
        download(w, [&] {
            if (signal)
                ::kill(::getpid(), signal); // a real signal, in the middle of the reply
            else
                QTimer::singleShot(0, w, [w] { w->close(); });
        });
        QVERIFY(arvex::app::stopSignalsInForce());
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        // The download ran to its end, saying meanwhile that the program would then close.
        QCOMPARE(db->isqlValue("select count(*) from WYNIKI"), 2003LL);
        QVERIFY(dialogs.contains("InfoForm"));
        QVERIFY(closingNoteShown);
        QVERIFY(!w->isVisible());
        QVERIFY(w->FtdiRS == nullptr); // closed as the close button closes it
        QVERIFY(!ProgresForm->LabClosing->isVisible());
    }
};

QTEST_MAIN(TestDownloadWindow)
#include "tst_downloadwindow.moc"
