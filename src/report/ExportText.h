#pragma once
// The semicolon-separated text file of the data export: one line per row of the data grid
// (CR LF after every line), ";" between cells and none after the last, a cell's text without
// a trailing line break, HTML tags and then every character below 32, quoted only when it
// holds ";" or a double quote (quotes inside doubled), in the ANSI code page.

#include "report/DataGrid.h"
#include "report/ExportFile.h"

#include <QByteArray>

namespace report {

// One cell's text as the file holds it (before the code-page conversion).
QString semicolonCell(const QString &text);
// The whole file's text (before the code-page conversion).
QString semicolonText(const DataGrid &grid);

ExportResult exportSemicolonText(const PreparedReport &report, const QString &fileName);

// Removes what looks like an HTML tag ("<b>", "</font>", "<br/>"), leaving a lone "<" alone.
QString stripHtmlTags(const QString &text);

} // namespace report
