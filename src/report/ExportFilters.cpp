#include "report/ExportFilters.h"

#include "report/ExportOds.h"
#include "report/ExportPdf.h"
#include "report/ExportPlainText.h"
#include "report/ExportText.h"
#include "report/ExportXls.h"
#include "report/Report.h"
#include "report/ReportTemplate.h"

#include <QFileInfo>

namespace report {

ExportResult exportReport(const PreparedReport &report, ExportKind kind, const QString &fileName)
{
    switch (kind) {
    case ExportKind::Pdf:
        return exportPdf(report, fileName);
    case ExportKind::Xls:
        return exportXls(report, fileName);
    case ExportKind::Ods:
        return exportOds(report, fileName);
    case ExportKind::Csv:
        return exportSemicolonText(report, fileName);
    case ExportKind::SimpleText:
        return exportPlainText(report, fileName);
    }
    return ExportResult::failure(cannotCreateFileMessage(fileName, QString()));
}

void exportReportOrRaise(const PreparedReport &report, ExportKind kind, const QString &fileName)
{
    const ExportResult r = exportReport(report, kind, fileName);
    if (!r)
        throw ReportError(r.error);
}

std::optional<ExportKind> dataExportKindForFile(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return ExportKind::Xls;
    if (suffix == QLatin1String("ods"))
        return ExportKind::Ods;
    if (suffix == QLatin1String("txt"))
        return ExportKind::Csv;
    return std::nullopt;
}

QList<ExportFilter> previewExportFilters()
{
    auto filter = [](const char *name, const char *pattern, ExportKind kind) {
        return ExportFilter{QString::fromUtf8(name), QString::fromUtf8(pattern),
                            [kind](const PreparedReport &r, const QString &file) { exportReportOrRaise(r, kind, file); }};
    };
    return {filter("PDF document", "PDF document (*.pdf)", ExportKind::Pdf),
            filter("Excel workbook (data)", "Excel workbook (*.xls)", ExportKind::Xls),
            filter("OpenDocument spreadsheet (data)", "OpenDocument spreadsheet (*.ods)", ExportKind::Ods),
            filter("Semicolon-separated text (data)", "Text file (*.txt)", ExportKind::Csv),
            filter("Plain text", "Plain text (*.txt)", ExportKind::SimpleText)};
}

} // namespace report
