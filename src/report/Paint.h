#pragma once
// Painting prepared pages: one routine for the preview, the printer, PDF and pictures.

#include "Prepared.h"

#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QTextLayout>

namespace report {

// Layout units: 96 to the inch, as template pixel sizes and picture sizes are given.
constexpr double kPxPerMm = 96.0 / 25.4;
inline double mmToPx(double mm) { return mm * kPxPerMm; }
inline double pxToMm(double px) { return px / kPxPerMm; }

// Inner gap between a text object's frame and its text, in layout units.
constexpr double kTextGapX = 2.0;
constexpr double kTextGapY = 1.0;

// The font of a prepared text, with its size in layout units; unhinted, so that the text
// breaks the same at every scale and on every device.
QFont fontFor(const PreparedFont &font);

// Lays `text` out in lines of at most `widthPx` (no limit when wrap is false), the first
// line at y 0; returns the height of all lines in layout units. Line breaks in the text
// ("\n", "\r\n") start new lines. The band engine measures with it and the painter draws
// with it, so that both break lines alike.
double layoutText(QTextLayout &layout, const QString &text, const QFont &font, double widthPx,
                  bool wrap);

// Paints `page` scaled uniformly into `targetRect` (painter units), its top-left corner at
// the rectangle's; the page's background is filled white. The painter's state is kept.
void PaintPage(QPainter &painter, const PreparedPage &page, const QRectF &targetRect);

} // namespace report
