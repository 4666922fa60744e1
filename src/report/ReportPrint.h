#pragma once
// Printing prepared pages, and writing them as pictures.

#include "Prepared.h"

#include <QImage>
#include <QStringList>

class QPrinter;

namespace report {

// Prints pages `fromPage` to `toPage` (counted from 1; 0 and 0 for all) on `printer`, each
// page at its own paper size and orientation, painted over the whole sheet. Returns false
// when the printer could not be started.
bool printPages(const PreparedReport &report, QPrinter &printer, int fromPage = 0, int toPage = 0);

// A page painted into a picture at `dpi` dots per inch, on white.
QImage renderPage(const PreparedPage &page, double dpi);

// The file name of one page's picture: `fileName` with its extension replaced by a dot, the
// page number (from 1) and `extension` ("chart.jpg", page 1: "chart.1.jpg").
QString pageFileName(const QString &fileName, int pageNumber, const QString &extension = QStringLiteral(".jpg"));

// Writes every page as a JPEG picture, one file per page (an existing file is overwritten),
// and gives the names written. Raises ReportError naming the file when one cannot be written.
QStringList writeJpegPages(const PreparedReport &report, const QString &fileName, int quality = 90, double dpi = 96);

// The JPEG export's settings: one picture per page, named after FileName (see pageFileName),
// every object drawn, in colour, not cropped; an existing file is overwritten unasked.
struct TfrxJPEGExport {
    QString FileName;
    int JPEGQuality = 90;
    int Resolution = 96;
    // Writes the pages; gives the names written. Raises ReportError as writeJpegPages.
    QStringList Export(const PreparedReport &report) const
    {
        return writeJpegPages(report, FileName, JPEGQuality, Resolution);
    }
};

} // namespace report
