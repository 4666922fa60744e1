#pragma once

// The chart's state as plain data, and the arithmetic on it: resetting the axes to the data,
// the percentage zoom and the four scroll moves. Nothing here needs a window; the chart
// window wires its buttons, mouse and keys to these functions and paints the state with
// chart::PaintChart (ChartPaint.h), as the report does for its picture.

#include <QColor>
#include <QDateTime>
#include <QString>
#include <vector>

namespace chart {

// Date-time values on the bottom axis are days since 30 December 1899 with the time of day
// as the fraction. They are made from a time's date and time fields alone, whatever its time
// spec, so that a measurement shows at the wall-clock time the meter recorded.
double toChartTime(const QDateTime &wallClock);
// The wall-clock fields of a chart time, carried with the UTC time spec.
QDateTime fromChartTime(double days);

struct AxisT {
    double minimum = 0;
    double maximum = 0;
    bool automatic = false;         // range from the data at the next reset
    bool automaticMinimum = false;
    bool automaticMaximum = false;
    bool visible = true;
    bool dateTime = false;          // values are chart times (see toChartTime)
    QString labelFormat;            // number picture of the labels, e.g. "0.00 pH"
    double increment = 0;           // smallest step between labels; 0: chosen to fit
    int labelPixels = 16;           // font size of the labels
    QString title;                  // axis title, kept but not shown while titleVisible is false
    bool titleVisible = false;

    double span() const { return maximum - minimum; }
    // The axis refuses a minimum above its maximum and a maximum below its minimum, as well as
    // values that are not finite; each gives whether the value was taken.
    bool setMinimum(double value);
    bool setMaximum(double value);
    // Both ends at once (for a range that may lie wholly beyond the present one); refused
    // when the minimum is above the maximum.
    bool setMinMax(double minimum, double maximum);
};

struct PointT {
    double x = 0; // chart time
    double y = 0; // pH
};

// The line series: points kept sorted by X (a point added out of order goes to its place,
// after the points of the same X); Y values in any order.
struct SeriesT {
    QString title = QStringLiteral("pH");
    QColor color = QColor(0, 0, 255);
    int lineWidth = 3;
    bool pointerVisible = true;
    int pointerSize = 4; // half the width and height of a triangle marker, in pixels

    void Clear() { points_.clear(); }
    // Adds one point; a point whose X or Y is not a finite number is left out (false).
    bool AddXY(double x, double y);
    // Adds many points at once, sorted together (the same order AddXY would give).
    void AddPoints(std::vector<PointT> points);
    const std::vector<PointT> &points() const { return points_; }
    int Count() const { return int(points_.size()); }
    bool isEmpty() const { return points_.empty(); }
    // Smallest and largest X and Y; 0 for an empty series.
    double MinXValue() const;
    double MaxXValue() const;
    double MinYValue() const;
    double MaxYValue() const;

private:
    std::vector<PointT> points_;
};

struct LegendT {
    bool visible = true;
    int symbolWidth = 50;  // pixels; the symbol is not squared
    int fontPixels = 19;
    int verticalMargin = 6;
    int verticalSpacing = 5;
};

struct ChartState {
    QString title = QStringLiteral("    ");
    int titlePixels = 21;
    QColor titleColor = Qt::black;
    QColor panelColor = QColor(237, 237, 237);
    QColor backWallColor = Qt::white;
    LegendT legend;
    AxisT leftAxis;
    AxisT rightAxis;
    AxisT bottomAxis;
    SeriesT series;
    // Per cent of the page when printed: left, top, right, bottom.
    int printMarginLeft = 5, printMarginTop = 8, printMarginRight = 5, printMarginBottom = 8;

    // The values that stand until the chart is first opened.
    ChartState();
};

// Puts the axes back on the data: left from 2 below the smallest to 2 above the largest pH,
// kept within 0 and 14; bottom the 30 days up to the latest point.
void RescaleAxis(ChartState &state);

// Percentage zoom of every axis: 110 takes a tenth of the span off each end, 90 adds a tenth
// to each end. The axes stop scaling automatically.
void ZoomPercent(ChartState &state, double percent);

// Scroll moves by a tenth of the span of the axis concerned.
void ScrollLeft(ChartState &state);  // bottom range up: later dates come in from the right
void ScrollRight(ChartState &state); // bottom range down: earlier dates come in from the left
void ScrollUp(ChartState &state);    // left and right ranges down: the curve rises
void ScrollDown(ChartState &state);  // left and right ranges up: the curve falls

// Moves the bottom, left and right axes by the given value distances; the axes stop
// scaling automatically.
void ScrollByValues(ChartState &state, double dx, double dyLeft, double dyRight);

} // namespace chart
