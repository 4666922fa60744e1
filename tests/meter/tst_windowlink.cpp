// The main window's USB access object: made at start-up, freed on close, and its meter
// operations handed to the meter link.

#include "app/ErrorDisplay.h"
#include "app/MainDivIV.h"
#include "meter/EmulatorBus.h"
#include "meter/FTDIchip.h"
#include "meter/MeterClock.h"
#include "meter/MeterLink.h"
#include "meter/MeterProtocol.h"
#include "support/TestDatabase.h"

#include <QtTest>

using namespace arvex::meter;

class TestWindowLink : public QObject {
    Q_OBJECT

private slots:
    void ftdiRsLivesWithTheWindow()
    {
        TestDatabase db;
        QStringList errors;
        arvex::app::setErrorHandler([&](QWidget *, const QString &text) { errors << text; });
        VirtualClock clock;
        setLinkClock(&clock);
        auto bus = std::make_shared<EmulatorBus>(clock);
        const MeterContent demo = demoMeter();
        bus->attach("AB000001");
        bus->attach(std::make_shared<MeterEmulator>(demo));
        const std::shared_ptr<tftdidll> previous = setftdidll(bus);

        {
            TMainDivIVForm w;
            QVERIFY(w.FtdiRS == nullptr);
            QCOMPARE(w.ScanMeters(), 0); // before start-up there is no converter object to scan with
            w.setProgramFolderOverride(db.folder());
            w.show();
            QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
            QVERIFY(w.FtdiRS != nullptr);
            QVERIFY(!w.FtdiRS->fconnected);

            QCOMPARE(w.ScanMeters(), 1);
            QCOMPARE(w.ListaPPDev[0], demo.converterSerial);
            QVERIFY(w.FtdiRS->openDeviceBySerial(w.ListaPPDev[0]));
            QVERIFY(w.FtdiRS->setBaudRate(fBaud115200));
            QVERIFY(w.FtdiRS->setTimeouts(5, 5));
            MeterIdentity id;
            QVERIFY(DecodeIdentity(w.MeterExchange(IdentityCommand, IdentityReplyLength), &id));
            QCOMPARE(id.serial.toLatin1(), demo.identity.mid(3, 8));

            w.close(); // the converter left open goes with the object
            QVERIFY(w.FtdiRS == nullptr);
            QVERIFY(!bus->settings(demo.converterSerial));
            QVERIFY(w.MeterExchange(IdentityCommand, IdentityReplyLength).isEmpty());
        }
        setftdidll(previous);
        setLinkClock(nullptr);
        arvex::app::setErrorHandler({});
    }
};

QTEST_MAIN(TestWindowLink)
#include "tst_windowlink.moc"
