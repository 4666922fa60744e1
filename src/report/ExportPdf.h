#pragma once
// The PDF export: every prepared page, page for page at its own paper size, painted by
// PaintPage onto QPdfWriter, so that texts stay searchable vector text and the chart picture
// stays vectors; Qt embeds subsets of the fonts used. The document information names this
// program as creator, and the XMP metadata as author as well.

#include "report/ExportFile.h"
#include "report/Prepared.h"

namespace report {

// The name the exported documents give as their creator and author.
QString exportCreatorName();

ExportResult exportPdf(const PreparedReport &report, const QString &fileName);

} // namespace report
