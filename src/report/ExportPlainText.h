#pragma once
// The preview's plain-text export: every object of each page laid out as text in columns (the
// grid of DataGrid over all bands), columns as wide as their widest text, empty columns and
// empty lines left out, no frames, a form feed between pages, CR LF line ends, ANSI code page.

#include "report/ExportFile.h"
#include "report/Prepared.h"

namespace report {

QString plainText(const PreparedReport &report);
ExportResult exportPlainText(const PreparedReport &report, const QString &fileName);

} // namespace report
