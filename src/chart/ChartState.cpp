#include "chart/ChartState.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {

const QDate ChartEpoch(1899, 12, 30);
constexpr double MsecsPerDay = 86400000.0;
constexpr double BottomWindowDays = 30;

bool finite(double v) { return std::isfinite(v); }

bool byX(const PointT &a, const PointT &b) { return a.x < b.x; }

// Where the bottom axis ends without points: the end of today, by the wall clock.
double emptyBottomMaximum() { return double(ChartEpoch.daysTo(QDate::currentDate())) + 1.0; }

} // namespace

double toChartTime(const QDateTime &wallClock)
{
    return double(ChartEpoch.daysTo(wallClock.date())) + wallClock.time().msecsSinceStartOfDay() / MsecsPerDay;
}

QDateTime fromChartTime(double days)
{
    const double whole = std::floor(days);
    qint64 msecs = qint64(std::llround((days - whole) * MsecsPerDay));
    qint64 day = qint64(whole);
    if (msecs >= qint64(MsecsPerDay)) {
        msecs -= qint64(MsecsPerDay);
        ++day;
    }
    return QDateTime(ChartEpoch.addDays(day), QTime::fromMSecsSinceStartOfDay(int(msecs)), Qt::UTC);
}

bool AxisT::setMinimum(double value)
{
    if (!finite(value) || value > maximum)
        return false;
    minimum = value;
    return true;
}

bool AxisT::setMaximum(double value)
{
    if (!finite(value) || value < minimum)
        return false;
    maximum = value;
    return true;
}

bool AxisT::setMinMax(double min, double max)
{
    if (!finite(min) || !finite(max) || min > max)
        return false;
    minimum = min;
    maximum = max;
    return true;
}

bool SeriesT::AddXY(double x, double y)
{
    if (!finite(x) || !finite(y))
        return false;
    const PointT p{x, y};
    points_.insert(std::upper_bound(points_.begin(), points_.end(), p, byX), p);
    return true;
}

void SeriesT::AddPoints(std::vector<PointT> points)
{
    std::erase_if(points, [](const PointT &p) { return !finite(p.x) || !finite(p.y); });
    // A stable sort keeps points of the same time in the order they came, as AddXY does.
    std::stable_sort(points.begin(), points.end(), byX);
    if (points_.empty()) {
        points_ = std::move(points);
        return;
    }
    const size_t middle = points_.size();
    points_.insert(points_.end(), points.begin(), points.end());
    std::inplace_merge(points_.begin(), points_.begin() + std::ptrdiff_t(middle), points_.end(), byX);
}

double SeriesT::MinXValue() const { return points_.empty() ? 0 : points_.front().x; }
double SeriesT::MaxXValue() const { return points_.empty() ? 0 : points_.back().x; }

double SeriesT::MinYValue() const
{
    if (points_.empty())
        return 0;
    return std::min_element(points_.begin(), points_.end(), [](auto &a, auto &b) { return a.y < b.y; })->y;
}

double SeriesT::MaxYValue() const
{
    if (points_.empty())
        return 0;
    return std::max_element(points_.begin(), points_.end(), [](auto &a, auto &b) { return a.y < b.y; })->y;
}

ChartState::ChartState()
{
    leftAxis.minimum = 245;
    leftAxis.maximum = 827.5;
    leftAxis.labelFormat = QStringLiteral("0.## pH");
    leftAxis.increment = 1.0;
    leftAxis.title = QStringLiteral("[pH ]");

    rightAxis.minimum = -100;
    rightAxis.maximum = 100;
    rightAxis.labelFormat = QStringLiteral("0.#'%'");
    rightAxis.increment = 1.0;
    rightAxis.title = QStringLiteral("[ % ]");
    rightAxis.visible = true;

    bottomAxis.dateTime = true;
    bottomAxis.automatic = true;
    bottomAxis.automaticMinimum = true;
    bottomAxis.automaticMaximum = true;
    // Until the first opening there are no points: the bottom axis shows the 30 days up to
    // the end of today.
    bottomAxis.maximum = emptyBottomMaximum();
    bottomAxis.minimum = bottomAxis.maximum - BottomWindowDays;
}

void RescaleAxis(ChartState &state)
{
    const SeriesT &s = state.series;
    const double minY = s.MinYValue();
    const double maxY = s.MaxYValue();

    // Left axis: two units of room above and below the data, within the pH scale 0 to 14.
    // The cap and the floor apply only while some point stays in view: values wholly above 14
    // (or below 0) keep the two units of room on both sides, so the range never turns upside
    // down and the points are shown.
    AxisT &left = state.leftAxis;
    left.automatic = false;
    left.automaticMinimum = false;
    left.automaticMaximum = false;
    double top = maxY + 2;
    if (top > 14 && minY <= 14)
        top = 14;
    double bottom = minY - 2;
    if (bottom < 0 && maxY >= 0)
        bottom = 0;
    left.setMinMax(bottom, top);

    // Bottom axis: the automatic range ends at the latest point; its minimum is then fixed
    // 30 days before that.
    AxisT &axis = state.bottomAxis;
    axis.automatic = true;
    axis.automaticMaximum = true;
    const double latest = s.isEmpty() ? emptyBottomMaximum() : s.MaxXValue();
    axis.setMinMax(s.isEmpty() ? latest : s.MinXValue(), latest);
    axis.automaticMinimum = false;
    axis.setMinimum(axis.maximum - BottomWindowDays);
}

void ZoomPercent(ChartState &state, double percent)
{
    for (AxisT *axis : {&state.leftAxis, &state.rightAxis, &state.bottomAxis}) {
        const double d = axis->span() * (percent - 100.0) / 100.0;
        axis->automatic = axis->automaticMinimum = axis->automaticMaximum = false;
        axis->setMinMax(axis->minimum + d, axis->maximum - d);
    }
}

namespace {

void manual(AxisT &axis) { axis.automatic = axis.automaticMinimum = axis.automaticMaximum = false; }

// Range up by a tenth: the minimum moves first, so that it never passes the maximum.
void up(AxisT &axis)
{
    const double s = axis.span() / 10;
    axis.setMinimum(axis.minimum + s);
    axis.setMaximum(axis.maximum + s);
}

// Range down by a tenth: the maximum moves first.
void down(AxisT &axis)
{
    const double s = axis.span() / 10;
    axis.setMaximum(axis.maximum - s);
    axis.setMinimum(axis.minimum - s);
}

} // namespace

void ScrollLeft(ChartState &state)
{
    manual(state.bottomAxis);
    up(state.bottomAxis);
}

void ScrollRight(ChartState &state)
{
    manual(state.bottomAxis);
    const double s = state.bottomAxis.span() / 10;
    // Minimum first, then maximum, each staying on its side.
    state.bottomAxis.setMinimum(state.bottomAxis.minimum - s);
    state.bottomAxis.setMaximum(state.bottomAxis.maximum - s);
}

void ScrollUp(ChartState &state)
{
    manual(state.leftAxis);
    down(state.leftAxis);
    down(state.rightAxis);
}

void ScrollDown(ChartState &state)
{
    manual(state.leftAxis);
    up(state.leftAxis);
    // The right axis: maximum first, then minimum.
    const double s = state.rightAxis.span() / 10;
    state.rightAxis.setMaximum(state.rightAxis.maximum + s);
    state.rightAxis.setMinimum(state.rightAxis.minimum + s);
}

void ScrollByValues(ChartState &state, double dx, double dyLeft, double dyRight)
{
    manual(state.bottomAxis);
    manual(state.leftAxis);
    manual(state.rightAxis);
    state.bottomAxis.setMinMax(state.bottomAxis.minimum + dx, state.bottomAxis.maximum + dx);
    state.leftAxis.setMinMax(state.leftAxis.minimum + dyLeft, state.leftAxis.maximum + dyLeft);
    state.rightAxis.setMinMax(state.rightAxis.minimum + dyRight, state.rightAxis.maximum + dyRight);
}

} // namespace chart
