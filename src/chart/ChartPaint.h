#pragma once

// The one routine that draws a chart state: the window's screen, the report's picture, paper
// and JPEG all come from it, so what is printed is what was shown.

#include "chart/ChartState.h"

#include <QLocale>
#include <QRectF>

class QPainter;

namespace chart {

// Paints the chart into rect (painter units): panel, back wall, title, legend, axes with their
// labels (dates in the locale's language), the series clipped to the back wall. The painter's
// state is kept.
void PaintChart(QPainter &painter, const QRectF &rect, const ChartState &state, const QLocale &locale);

// Where PaintChart puts things, for turning a mouse position into axis values.
struct ChartLayout {
    QRectF wall;  // the back wall: the series is clipped to it
    QRectF inner; // the axis ranges map onto this: the wall less room for the markers

    // Value of a position along the bottom, left and right axes.
    double xValue(const ChartState &state, double px) const;
    double yLeftValue(const ChartState &state, double py) const;
    double yRightValue(const ChartState &state, double py) const;
    // Position of a value.
    double xPixel(const ChartState &state, double x) const;
    double yPixel(const ChartState &state, double y) const;
};

// The layout PaintChart uses for the same rectangle, state and locale (the fonts are the
// default paint device's; the window paints on a screen of that kind).
ChartLayout LayoutChart(const QRectF &rect, const ChartState &state, const QLocale &locale);

// Zooms every axis to the part of it that a rectangle of the layout covers (any corner
// order); nothing happens for a rectangle without width or height.
void ZoomToPixels(ChartState &state, const ChartLayout &layout, const QRectF &pixels);
// Moves the chart by a distance in pixels: the curve follows the mouse.
void ScrollByPixels(ChartState &state, const ChartLayout &layout, QPointF delta);

// The font of the chart's texts at a pixel size.
QFont chartFont(int pixelSize);

} // namespace chart
