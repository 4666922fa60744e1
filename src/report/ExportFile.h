#pragma once
// Writing an export file so that no half-written file is ever left under the chosen name:
// the content goes to a temporary file beside it (QSaveFile), which replaces the chosen name
// only once everything is written. A failure leaves an existing file of that name as it was.

#include <QString>
#include <functional>

class QIODevice;

namespace report {

struct ExportResult {
    bool ok = true;
    QString error; // names the file and the reason when !ok
    explicit operator bool() const { return ok; }
    static ExportResult failure(const QString &text) { return ExportResult{false, text}; }
};

// "Cannot create file "<name>". <reason>": the message of every export that cannot be written.
QString cannotCreateFileMessage(const QString &fileName, const QString &reason);

// Opens a file beside fileName, lets write() fill it, and renames it to fileName. write()
// returns false with a reason to give up; a device error (a full disk) is caught as well.
ExportResult writeExportFile(const QString &fileName,
                             const std::function<bool(QIODevice &device, QString &reason)> &write);

} // namespace report
