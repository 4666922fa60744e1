#pragma once

// Event delivery of the USB layer: a worker thread per chip that watches the converter and
// posts messages to a hidden notification object on the user-interface thread, which calls
// the chip's handlers there. The notification object and the chip registry are made when the
// program starts and released when it ends.

#include "meter/FTDItypes.h"

#include <QEvent>
#include <QObject>
#include <QThread>

class tbsearchtree;

// Message numbers, as posted to the notification object.
constexpr int WM_APP_FTDI = 0x8000;
constexpr int WM_FTDI_RECEIVEDATA = WM_APP_FTDI + 1;   // data are waiting
constexpr int WM_FTDI_SENDQUEUEEMPTY = WM_APP_FTDI + 2; // the transmit queue ran empty
constexpr int WM_FTDI_ERROR = WM_APP_FTDI + 3;          // the device status could not be read

class tftdithread : public QThread {
public:
    // Create(CreateSuspended): a suspended thread is started by the owner with start(). The
    // object outlives its run; the owner frees it.
    explicit tftdithread(bool CreateSuspended);

    tftdievent_onReceiveData e_onReceiveData;
    tftdievent_onSendQueueEmpty e_onSendQueueEmpty;
    tftdievent_onError e_onError;
    tftdichip *ftdiclass = nullptr; // not owned

    void Execute();

protected:
    void run() override { Execute(); }
};

// A message posted by the event thread: first parameter 0, second the chip.
class tftdimessage : public QEvent {
public:
    tftdimessage(int message, quintptr wParam, tftdichip *lParam)
        : QEvent(QEvent::Type(message)), wParam(wParam), lParam(lParam)
    {
    }
    quintptr wParam;
    tftdichip *lParam;
};

// The hidden notification object; it lives on the thread that started the program.
class tftdinotifywindow : public QObject {
public:
    bool event(QEvent *e) override;
};

tftdinotifywindow *ftdiNotifyWindow();
tbsearchtree *ftdiRegistry(); // nothing before program start and after program end
void ftdiPostMessage(int message, quintptr wParam, tftdichip *lParam);
