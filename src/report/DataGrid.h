#pragma once
// The data-only grid shared by the spreadsheet and text filters: the objects that the data
// bands placed on the prepared pages, laid into rows and columns by their positions.
//
// Every left/right edge of the objects makes a column boundary and every top/bottom edge a row
// boundary; edges closer than mergeMm to the first edge of their group fall together. An
// object covers the cells between its edges (spans); rows and columns that no object touches
// are dropped, so the gaps between bands and between objects leave no empty lines or cells.
// Each cell keeps the object's raw value, so that a spreadsheet gets numbers and dates.

#include "report/Prepared.h"

#include <QDateTime>
#include <QVector>

namespace report {

struct DataGridCell {
    enum class Type { Text, Number, DateTime, Date };
    int row = 0;
    int column = 0;
    int rowSpan = 1;
    int columnSpan = 1;

    Type type = Type::Text;
    QString text;        // the text as displayed in the report
    double number = 0;   // Type::Number
    QDateTime dateTime;  // Type::DateTime: wall-clock fields, time spec UTC; Type::Date: date()
    int decimals = -1;   // Type::Number: digits after the point as displayed; -1 general
    enum DateParts { ShowsDate = 1, ShowsTime = 2 };
    int dateParts = ShowsDate | ShowsTime; // Type::DateTime: what the displayed text shows

    PreparedFont font;
    int align = 0;       // Qt::Alignment flags
    bool wordWrap = true;
    unsigned frameSides = FrameNone;
    double frameWidthMm = 0.26;
    QColor frameColor = Qt::black;
    QColor fill;         // invalid: none

    QImage image;        // a picture object (only with DataGridOptions::pictures)
    bool isPicture() const { return !image.isNull(); }
};

struct DataGrid {
    QVector<double> columnWidthsMm;
    QVector<double> rowHeightsMm;
    QVector<DataGridCell> cells; // ordered by row, then column; spans never overlap
    int rowCount() const { return int(rowHeightsMm.size()); }
    int columnCount() const { return int(columnWidthsMm.size()); }
};

struct DataGridOptions {
    bool dataOnly = true;   // only the objects of master and detail data bands
    bool pictures = false;  // picture objects become picture cells (else they are left out)
    double mergeMm = 0.5;
};

// The pages stacked one below the other in one grid (columns shared by all pages).
DataGrid buildDataGrid(const QVector<PreparedPage> &pages, const DataGridOptions &options = {});
// One page.
DataGrid buildDataGrid(const PreparedPage &page, const DataGridOptions &options = {});

// The value a text object carries for a typed cell (used by the grid; public for tests).
void setCellValue(DataGridCell &cell, const QString &text, const QVariant &raw);

} // namespace report
