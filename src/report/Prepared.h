#pragma once
// Prepared report pages as plain values: what the band engine produces and what the
// painter, the preview and every export filter consume. Nothing here knows a template,
// a dataset or a window.

#include <QColor>
#include <QImage>
#include <QPicture>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVariant>
#include <QVector>

namespace report {

// The band an object was placed by. Data filters keep only MasterData and DetailData.
enum class BandKind {
    ReportTitle,
    PageHeader,
    MasterHeader,
    MasterData,
    MasterFooter,
    DetailHeader,
    DetailData,
    DetailFooter,
    ReportSummary,
    PageFooter,
};

inline bool isDataBand(BandKind k) { return k == BandKind::MasterData || k == BandKind::DetailData; }

enum FrameSide : unsigned { FrameNone = 0, FrameLeft = 1, FrameTop = 2, FrameRight = 4, FrameBottom = 8,
                            FrameAll = 15 };

struct PreparedFont {
    QString family = QStringLiteral("Tahoma");
    double pixelSize = 13;  // at 96 dpi, as templates give it
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QColor color = Qt::black;
};

struct PreparedObject {
    enum class Kind { Text, Picture, Line, Rectangle, Gradient };
    Kind kind = Kind::Text;
    BandKind band = BandKind::ReportTitle;
    int bandSerial = 0;       // counts the bands placed in the whole report, from 0
    QString name;             // the template object's name
    QRectF rectMm;            // on the page, from the page's top-left corner, in mm

    // Text
    QString text;             // as displayed, after expressions and display formats
    QVariant raw;             // the value behind a text made of one expression (a pH stays a
                              // double, a date-time a QDateTime); invalid for mixed texts
    PreparedFont font;
    int align = 0;            // Qt::Alignment flags
    bool wordWrap = true;

    // Frame and fill (text, rectangle); line uses frameColor and frameWidthMm from rectMm's
    // top-left to its bottom-right corner
    unsigned frameSides = FrameNone;
    double frameWidthMm = 0.26;
    QColor frameColor = Qt::black;
    QColor fill;              // invalid: transparent
    QColor fill2;             // gradient end colour

    // Picture: a vector picture (the chart) or an image
    QPicture picture;
    QImage image;
};

struct PreparedPage {
    QSizeF sizeMm{210, 297};
    QVector<PreparedObject> objects;
};

struct PreparedReport {
    QString title;            // document title, for PDF information
    QVector<PreparedPage> pages;
};

} // namespace report
