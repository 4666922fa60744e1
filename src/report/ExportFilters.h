#pragma once
// The export filters by kind, for the main window's buttons, the preview's export list and
// the headless command: one entry point over the writers.

#include "report/ExportFile.h"
#include "report/Prepared.h"

#include <QList>
#include <optional>

namespace report {

struct ExportFilter;

enum class ExportKind {
    Pdf,        // the whole report, page for page
    Xls,        // data only: Excel workbook
    Ods,        // data only: OpenDocument spreadsheet
    Csv,        // data only: semicolon-separated text
    SimpleText, // every object, laid out as text
};

ExportResult exportReport(const PreparedReport &report, ExportKind kind, const QString &fileName);
// The same, raising ReportError with the message when the file cannot be written.
void exportReportOrRaise(const PreparedReport &report, ExportKind kind, const QString &fileName);

// The data export's kind from a file name's extension (.xls, .ods, .txt, any letter case).
std::optional<ExportKind> dataExportKindForFile(const QString &fileName);

// The filters the preview's export button lists beside the JPEG pictures.
QList<ExportFilter> previewExportFilters();

} // namespace report
