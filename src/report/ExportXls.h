#pragma once
// The Excel workbook of the data export: a BIFF8 workbook (".xls") inside a compound file,
// written by our own code (no library in Debian writes this format; no office program is
// driven). The data grid of all pages goes into one worksheet (a new one after every 65536
// rows) with typed cells (numbers, dates, shared strings), merged cells for spans, the fonts,
// alignment, frames and fills of the objects, column widths and row heights from the layout,
// and grid lines shown.

#include "report/DataGrid.h"
#include "report/ExportFile.h"

#include <QByteArray>

namespace report {

// The workbook stream (BIFF8 records), and the whole file.
QByteArray xlsWorkbookStream(const DataGrid &grid, const QString &sheetName = QString());
QByteArray xlsFile(const DataGrid &grid, const QString &sheetName = QString());

ExportResult exportXls(const PreparedReport &report, const QString &fileName);

} // namespace report
