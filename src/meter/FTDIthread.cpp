#include "meter/FTDIthread.h"

#include "meter/FTDIchip.h"
#include "meter/bsearchtree.h"

#include <QCoreApplication>

namespace {

// Made at program start, before any window exists, and released at program end.
struct ThreadModule {
    ThreadModule() : registry(new tbsearchtree), window(new tftdinotifywindow) {}
    ~ThreadModule()
    {
        delete window;
        window = nullptr;
        delete registry;
        registry = nullptr;
    }
    tbsearchtree *registry;
    tftdinotifywindow *window;
};
ThreadModule module;

} // namespace

tftdinotifywindow *ftdiNotifyWindow() { return module.window; }
tbsearchtree *ftdiRegistry() { return module.registry; }

void ftdiPostMessage(int message, quintptr wParam, tftdichip *lParam)
{
    if (module.window)
        QCoreApplication::postEvent(module.window, new tftdimessage(message, wParam, lParam));
}

bool tftdinotifywindow::event(QEvent *e)
{
    const int message = int(e->type());
    if (message < WM_FTDI_RECEIVEDATA || message > WM_FTDI_ERROR || !ftdiRegistry())
        return QObject::event(e);
    // A message for a chip that stopped event delivery finds no registry entry and is dropped.
    auto *chip = static_cast<tftdichip *>(
        ftdiRegistry()->find(tftdichip::registryKey(static_cast<tftdimessage *>(e)->lParam)));
    if (!chip)
        return true;
    switch (message) {
    case WM_FTDI_RECEIVEDATA:
        if (chip->e_onReceiveData) {
            qint32 waiting = 0;
            if (chip->getReceiveQueueStatus(waiting) && waiting > 0)
                chip->e_onReceiveData(chip, waiting);
        }
        break;
    case WM_FTDI_SENDQUEUEEMPTY:
        if (chip->e_onSendQueueEmpty)
            chip->e_onSendQueueEmpty(chip);
        break;
    case WM_FTDI_ERROR:
        if (chip->e_onError)
            chip->e_onError(chip);
        break;
    }
    return true;
}

tftdithread::tftdithread(bool CreateSuspended)
{
    setObjectName(QStringLiteral("tftdithread"));
    if (!CreateSuspended)
        start();
}

void tftdithread::Execute()
{
    FtdiEventHandle event;
    ftdiclass->createEventObject(fEventAny, event); // a failed event leaves the timed waits
    for (;;) {
        const fEvent happened = ftdiclass->waitForEventObject(event, 10);
        if (happened == fEventRXChar) {
            if (e_onReceiveData)
                ftdiPostMessage(WM_FTDI_RECEIVEDATA, 0, ftdiclass);
        } else if (happened == fEventTimedOut) {
            qint32 sending = 0;
            if (!ftdiclass->getSendQueueStatus(sending))
                break;
            if (sending == 0 && ftdiclass->dataHasBeenSent.exchange(false)) {
                if (e_onSendQueueEmpty)
                    ftdiPostMessage(WM_FTDI_SENDQUEUEEMPTY, 0, ftdiclass);
            }
        } else if (happened == fEventError) {
            if (e_onError)
                ftdiPostMessage(WM_FTDI_ERROR, 0, ftdiclass);
        }
        if (isInterruptionRequested())
            break;
    }
    ftdiclass->closeEventObject(event);
}
