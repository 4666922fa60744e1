#pragma once
// The OpenDocument spreadsheet of the data export: a zip package (libzip) whose "mimetype"
// entry comes first and is stored uncompressed, one sheet per report page holding that page's
// data grid, typed cells (float with its decimals, date), spans, the objects' fonts, frames,
// fills and alignment as cell styles, pictures as PNG, document language "en".

#include "report/DataGrid.h"
#include "report/ExportFile.h"

#include <QByteArray>

namespace report {

struct OdsSheet {
    QString name;
    DataGrid grid;
};

QByteArray odsPackage(const QVector<OdsSheet> &sheets, QString *error = nullptr);

ExportResult exportOds(const PreparedReport &report, const QString &fileName);

} // namespace report
