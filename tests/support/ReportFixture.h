#pragma once
// Hand-built prepared reports for the export writers' tests: the bands and objects a report
// template places, with the raw values the engine keeps.

#include "report/Prepared.h"

#include <QDateTime>

namespace fixture {

struct Result {
    QDateTime when;
    float ph;
    float temperature;
    QString note;
};

struct Object {
    QString name;
    QVector<Result> results;
};

// A4 portrait pages: report title on the first, page header and footer on each, a master row
// (the object's name across the four columns) and detail rows (date-time, pH, temperature,
// note) per object; a new page after rowsPerPage detail rows.
report::PreparedReport makeReport(const QVector<Object> &objects, int rowsPerPage = 40);

// Two objects whose texts hold a ";", a double quote, a two-line text and a Polish name.
QVector<Object> tricky();

} // namespace fixture
