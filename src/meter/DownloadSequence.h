#pragma once

// The download behind START: find the meter, open and configure its converter, read its
// identity, fetch its objects and their results into the database, refresh the views and
// tell how many results were stored. The window and the headless command drive the same
// sequence; each supplies its surroundings (progress display, messages, identity labels,
// views, cursor) through DownloadSurroundings.

#include "meter/MeterClock.h"
#include "meter/MeterImport.h"
#include "meter/MeterLink.h"

#include <QByteArray>
#include <QString>
#include <functional>

class tftdichip;

namespace arvex::meter {

// The progress window's labels, shown one at a time in the same place.
enum class ProgressLabel { Search, NoDevice, Import, Error, Ftdi };

class DownloadSurroundings {
public:
    virtual ~DownloadSurroundings() = default;
    virtual void showProgressLabel(ProgressLabel label, bool visible) = 0;
    virtual void setProgressPosition(int position) = 0; // 0 to 100
    virtual void showProgress() = 0;                    // not modal
    virtual void hideProgress() = 0;
    // Lets the user interface handle what is waiting, then returns.
    virtual void processMessages() = 0;
    // Idempotent: setting the state it is already in changes nothing.
    virtual void setBusyCursor(bool busy) = 0;
    // The identified meter: device name, serial number, firmware version.
    virtual void showIdentity(const QString &device, const QString &serial, const QString &firmware) = 0;
    virtual void refreshViews() = 0;
    // The closing message; returns when the user has read it.
    virtual void showMessage(const QString &text) = 0;
    // An error that ended the sequence, shown after the progress display is hidden.
    virtual void showError(const QString &text) = 0;
    // Language number (0 English ... 6 Italian) and lexicon rows of the interface language.
    virtual int languageNumber() = 0;
    virtual QString lexiconRow(int row) = 0;
    // A lexicon row worded for a count ("1 record", "2 rekordy", "5 rekordów"); surroundings
    // without plural forms give the plain row.
    virtual QString countedLexiconRow(int row, int count) { Q_UNUSED(count); return lexiconRow(row); }
};

// The main window's fields the sequence reads and writes.
struct DownloadFields {
    bool &FlagaJest;
    QByteArray &USBPortSerial;
    QByteArray &DevFirmWare;
    MeterList &ListaPPDev;
};

enum class DownloadOutcome {
    NoDevice,    // no meter found, or it gave no valid identity
    Completed,   // everything downloaded
    ImportError, // a reply was not well-formed; what came before stays stored
    Failed,      // an error (database or other) ended it; shown through showError
    Refused,     // a download was already running: nothing was done
    Interrupted, // the stop request came; what was committed before stays
};

class DownloadSequence {
public:
    DownloadSequence(tftdichip &chip, MeterImport &import, Clock &clock, DownloadSurroundings &surroundings,
                     DownloadFields fields);

    // Asked at the sequence's safe points (before every command, at every poll of a reply,
    // before an object's results are committed): once true the sequence ends as Interrupted,
    // and the object in progress keeps none of its results.
    void setStopRequest(std::function<bool()> stop) { stop_ = std::move(stop); }

    DownloadOutcome run();
    bool isRunning() const { return running_; }
    int storedCount() const { return stored_; }
    // Failed: the error's text. ImportError: which reply was refused and why.
    QString errorText() const { return error_; }
    // Why a reply was refused (see SplitRecords), for the import error's text.
    static QString replyFault(const QByteArray &command, const QByteArray &reply, int recordSize);
    static QString commandName(const QByteArray &command);

    // 60 + index × 40 / count, rounded to the nearest integer, halves to even.
    static int barPosition(int index, int count);
    // The count worded for the language: "row 7 c row 8" for Polish, Spanish and Russian,
    // "c row 7" otherwise; the rows are those worded for the count.
    static QString closingMessage(int languageNumber, int count, const QString &row7, const QString &row8);

    static constexpr int PauseAfterMessageMs = 2000;
    static constexpr int PauseAfterConfigureMs = 100;

private:
    DownloadOutcome sequence();
    DownloadOutcome importError();
    DownloadOutcome importError(const CheckedExchange &line, const QByteArray &reply, int recordSize);
    DownloadOutcome interrupted();
    bool stopped() const { return stop_ && stop_(); }

    tftdichip &chip_;
    MeterImport &import_;
    Clock &clock_;
    DownloadSurroundings &ui_;
    DownloadFields fields_;
    std::function<bool()> stop_;
    bool running_ = false;
    int stored_ = 0;
    QString error_;
};

} // namespace arvex::meter
