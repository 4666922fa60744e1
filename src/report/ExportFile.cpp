#include "report/ExportFile.h"

#include <QDir>
#include <QSaveFile>

namespace report {

QString cannotCreateFileMessage(const QString &fileName, const QString &reason)
{
    QString text = QStringLiteral("Cannot create file \"%1\".").arg(QDir::toNativeSeparators(fileName));
    if (!reason.isEmpty())
        text += QLatin1Char(' ') + reason;
    return text;
}

ExportResult writeExportFile(const QString &fileName,
                             const std::function<bool(QIODevice &device, QString &reason)> &write)
{
    if (fileName.isEmpty())
        return ExportResult::failure(cannotCreateFileMessage(fileName, QStringLiteral("No file name given.")));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return ExportResult::failure(cannotCreateFileMessage(fileName, file.errorString()));
    QString reason;
    if (!write(file, reason)) {
        file.cancelWriting();
        return ExportResult::failure(cannotCreateFileMessage(fileName, reason.isEmpty() ? file.errorString() : reason));
    }
    // The last buffered bytes go out here: QSaveFile's commit does not look at a failed flush
    // (a full disk) and would put a cut file under the chosen name.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        file.cancelWriting();
        return ExportResult::failure(cannotCreateFileMessage(fileName, why));
    }
    if (!file.commit())
        return ExportResult::failure(cannotCreateFileMessage(fileName, file.errorString()));
    return {};
}

} // namespace report
