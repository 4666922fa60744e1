#include "meter/DownloadSequence.h"

#include "meter/FTDIchip.h"
#include "meter/FTDIdll.h"
#include "meter/MeterProtocol.h"
#include "store/Connection.h"

namespace arvex::meter {

DownloadSequence::DownloadSequence(tftdichip &chip, MeterImport &import, Clock &clock,
                                   DownloadSurroundings &surroundings, DownloadFields fields)
    : chip_(chip), import_(import), clock_(clock), ui_(surroundings), fields_(fields)
{
}

int DownloadSequence::barPosition(int index, int count)
{
    if (count <= 0)
        return 60;
    const int num = index * 40;
    int q = num / count;
    const int twiceRest = 2 * (num % count);
    if (twiceRest > count || (twiceRest == count && (q % 2) != 0))
        ++q;
    return 60 + q;
}

QString DownloadSequence::closingMessage(int languageNumber, int count, const QString &row7, const QString &row8)
{
    const QString c = QString::number(count);
    switch (languageNumber) {
    case 1:
    case 4:
    case 5:
        return row7 + QLatin1Char(' ') + c + QLatin1Char(' ') + row8;
    default:
        return c + QLatin1Char(' ') + row7;
    }
}

DownloadOutcome DownloadSequence::run()
{
    // START stays enabled and the sequence lets the window handle events at fixed points, so a
    // second press can arrive while a download runs: it is refused rather than nested on the
    // same converter.
    if (running_)
        return DownloadOutcome::Refused;
    running_ = true;
    stored_ = 0;
    error_.clear();
    DownloadOutcome outcome;
    bool busy = false;
    try {
        // Steps 1 to 3 run before the cursor changes.
        ui_.showProgressLabel(ProgressLabel::NoDevice, false);
        ui_.showProgressLabel(ProgressLabel::Import, false);
        ui_.showProgressLabel(ProgressLabel::Error, false);
        ui_.showProgressLabel(ProgressLabel::Search, true);
        ui_.showProgressLabel(ProgressLabel::Ftdi, false);
        ui_.setProgressPosition(0);
        ui_.showProgress();
        ui_.processMessages();

        const int found = ScanMeters(chip_, fields_.ListaPPDev, clock_, [this] { ui_.processMessages(); });
        fields_.FlagaJest = false;
        if (stopped()) {
            ui_.hideProgress();
            running_ = false;
            return DownloadOutcome::Interrupted;
        }
        if (found == 0) {
            ui_.showProgressLabel(ProgressLabel::Search, false);
            ui_.showProgressLabel(ProgressLabel::NoDevice, true);
            ui_.processMessages();
            clock_.sleepMs(PauseAfterMessageMs);
            ui_.hideProgress();
            running_ = false;
            return DownloadOutcome::NoDevice;
        }

        // From here on the progress display is hidden and the cursor restored however it ends.
        ui_.setBusyCursor(true);
        busy = true;
        outcome = sequence();
    } catch (const store::DatabaseError &e) {
        error_ = e.text();
        outcome = DownloadOutcome::Failed;
    } catch (const std::exception &e) {
        error_ = QString::fromLocal8Bit(e.what());
        outcome = DownloadOutcome::Failed;
    }
    ui_.hideProgress();
    if (busy)
        ui_.setBusyCursor(false);
    running_ = false;
    if (outcome == DownloadOutcome::Failed)
        ui_.showError(error_);
    return outcome;
}

DownloadOutcome DownloadSequence::sequence()
{
    // 5. Open and configure the first meter's converter.
    fields_.USBPortSerial = fields_.ListaPPDev[0]; // position 1: the first meter found
    if (chip_.fconnected)
        chip_.closeDevice();
    ui_.processMessages();
    chip_.openDeviceBySerial(fields_.USBPortSerial);
    if (chip_.fconnected) // the line calls need an open converter
        ConfigureMeterLine(chip_);
    clock_.sleepMs(PauseAfterConfigureMs);

    // 6. Identity. Every reply is checked complete before what it carries is kept.
    CheckedExchange line(chip_, clock_);
    line.setStop(stop_);
    const QByteArray identityReply =
        chip_.fconnected ? line.exchange(IdentityCommand, IdentityReplyLength) : QByteArray();
    if (line.interrupted())
        return interrupted();
    ui_.showProgressLabel(ProgressLabel::Search, false);
    ui_.processMessages();
    MeterIdentity identity;
    if (!DecodeIdentity(identityReply, &identity)) {
        ui_.showProgressLabel(ProgressLabel::NoDevice, true);
        ui_.processMessages();
        clock_.sleepMs(PauseAfterMessageMs);
        return DownloadOutcome::NoDevice;
    }

    // 7. Identified.
    ui_.showProgressLabel(ProgressLabel::Import, true);
    ui_.processMessages();
    fields_.FlagaJest = true;
    fields_.DevFirmWare = identityReply.mid(12, 4);
    ui_.showIdentity(QStringLiteral("pH meter"), identity.serial, identity.firmware);
    ui_.setProgressPosition(50);

    // 8. The object list.
    const QByteArray list = line.exchange(ObjectListCommand, 0);
    ui_.processMessages();
    QList<QByteArray> objects;
    if (!SplitRecords(list, ObjectRecordSize, &objects) || !line.lastReplyComplete())
        return line.interrupted() ? interrupted() : importError(line, list, ObjectRecordSize);

    // 9. Objects and their results.
    ui_.setProgressPosition(60);
    QByteArray lastReply;
    const ImportOutcome imported = import_.ImportObjects(
        objects,
        [&line, &lastReply](const QByteArray &command, int expectedLength) {
            return lastReply = line.exchange(command, expectedLength);
        },
        [this](int i, int n) {
            ui_.setProgressPosition(barPosition(i, n));
            ui_.processMessages();
        },
        [&line] { return line.lastReplyComplete(); });
    if (!imported.completed)
        return line.interrupted() ? interrupted() : importError(line, lastReply, ResultRecordSize);

    // 10. Done.
    stored_ = imported.stored;
    ui_.setProgressPosition(100);
    ui_.refreshViews();
    const int lang = ui_.languageNumber();
    ui_.showMessage(
        closingMessage(lang, stored_, ui_.countedLexiconRow(7, stored_), ui_.countedLexiconRow(8, stored_)));
    ui_.setBusyCursor(false);
    return DownloadOutcome::Completed;
}

QString DownloadSequence::commandName(const QByteArray &command)
{
    if (command == IdentityCommand)
        return QStringLiteral("the identity command");
    if (command == ObjectListCommand)
        return QStringLiteral("the object list command");
    if (command.startsWith('M'))
        return QStringLiteral("the results command of object %1").arg(command.size() == 2 ? 13 : int(quint8(command.at(1))));
    return QStringLiteral("the command");
}

QString DownloadSequence::replyFault(const QByteArray &command, const QByteArray &reply, int recordSize)
{
    const QString name = commandName(command);
    if (reply.isEmpty())
        return QStringLiteral("The meter gave no reply to %1.").arg(name);
    if (reply.back() != ReplyTerminator)
        return QStringLiteral("The reply to %1 (%2 bytes) does not end with the terminator 0x2A.").arg(name).arg(reply.size());
    return QStringLiteral("The reply to %1 is %2 bytes long: not whole records of %3 bytes followed by the terminator 0x2A.")
        .arg(name)
        .arg(reply.size())
        .arg(recordSize);
}

DownloadOutcome DownloadSequence::importError(const CheckedExchange &line, const QByteArray &reply, int recordSize)
{
    if (line.incomplete())
        error_ = QStringLiteral("Bytes came after the reply to %1 had ended: the meter paused in the middle of it or sent "
                                "more than it should, so the reply was not complete and nothing of it was kept.")
                     .arg(commandName(line.incompleteCommand()));
    else
        error_ = replyFault(line.lastCommand(), reply, recordSize);
    return importError();
}

DownloadOutcome DownloadSequence::interrupted()
{
    ui_.setBusyCursor(false);
    return DownloadOutcome::Interrupted;
}

DownloadOutcome DownloadSequence::importError()
{
    ui_.showProgressLabel(ProgressLabel::Import, false);
    ui_.showProgressLabel(ProgressLabel::Error, true);
    ui_.processMessages();
    clock_.sleepMs(PauseAfterMessageMs);
    ui_.hideProgress();
    fields_.FlagaJest = false;
    ui_.setBusyCursor(false);
    return DownloadOutcome::ImportError;
}

} // namespace arvex::meter
