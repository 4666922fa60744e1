// The main window's USB access object and its meter operations; the work is the meter
// link's (meter/MeterLink.h), the window only hands it FtdiRS, ListaPPDev and its messages.

#include "app/MainDivIV.h"

#include "meter/FTDIchip.h"
#include "meter/MeterClock.h"
#include "meter/MeterLink.h"

#include <QCoreApplication>
#include <utility>

void TMainDivIVForm::CreateFtdiRS()
{
    FreeFtdiRS();
    FtdiRS = new tftdichip();
}

void TMainDivIVForm::FreeFtdiRS()
{
    tftdichip *chip = std::exchange(FtdiRS, nullptr);
    if (!chip)
        return;
    // The converter a download left open is closed here rather than left to the end of the
    // program, so that the device is free again at once.
    if (chip->fconnected)
        chip->closeDevice();
    delete chip;
}

qint32 TMainDivIVForm::ScanMeters()
{
    if (!FtdiRS) // start-up did not get as far as step 5
        return 0;
    return arvex::meter::ScanMeters(*FtdiRS, ListaPPDev, arvex::meter::linkClock(),
                                    [] { QCoreApplication::processEvents(); });
}

QByteArray TMainDivIVForm::MeterExchange(const QByteArray &command, qint32 expectedLength)
{
    if (!FtdiRS)
        return {};
    return arvex::meter::MeterExchange(*FtdiRS, command, expectedLength, arvex::meter::linkClock());
}
