#pragma once
// The band engine: lays a template's bands out over its datasets into prepared pages.

#include "Prepared.h"
#include "ReportTemplate.h"

#include <QDateTime>
#include <QList>
#include <QPicture>
#include <functional>
#include <optional>

namespace report {

class ReportDataset;

// The object about to be printed, as the before-print handler sees it: its name, kind and
// size in layout units (96 to the inch). A handler may give a picture object its picture.
struct PrintObject {
    QString name;
    PreparedObject::Kind kind = PreparedObject::Kind::Text;
    double widthPx = 0;
    double heightPx = 0;

    bool isPicture() const { return kind == PreparedObject::Kind::Picture; }
    void setPicture(const QPicture &p) { picture = p; }
    bool hasPicture() const { return picture.has_value(); }
    std::optional<QPicture> picture; // made only when given: most objects get none

};

struct PrepareOptions {
    QDateTime now;  // [Date] and [Time]; the current time when invalid
    std::function<void(PrintObject &sender)> beforePrint;
};

// Prepares the report. The template's master data band iterates its dataset; for each record
// its detail data band iterates its own dataset, which the caller keeps on the master's
// current record (the dataset's move events). Raises ReportError for an expression that
// cannot be evaluated or a data band whose dataset is not given.
PreparedReport prepareReport(const ReportTemplate &tpl, const QList<ReportDataset *> &datasets,
                             const PrepareOptions &options = {});

// One line per prepared object: "p<page> <band>#<serial> <kind> <name> y=<mm> h=<mm> "<text>"",
// for reading a prepared report in tests and when adapting a template.
QString dumpPreparedReport(const PreparedReport &report);

} // namespace report
