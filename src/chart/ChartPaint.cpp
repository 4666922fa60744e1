#include "chart/ChartPaint.h"

#include "store/FormatFloat.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace chart {

namespace {

constexpr double OuterMargin = 8;  // between the panel's edge and what it holds
constexpr double TickLength = 4;
constexpr double LabelGap = 3;     // between a tick and its label
constexpr double MsecsPerDay = 86400000.0;
constexpr int MaxLabels = 2000;

const QColor AxisColor(0, 0, 0);
const QColor GridColor(192, 192, 192);
const QColor WallFrameColor(128, 128, 128);

struct Label {
    double value;
    QString first;  // the label's line
    QString second; // a second line (dates under times, years under days); may be empty
};

// ---- number axes --------------------------------------------------------------------------

// Labels of a number axis from its increment, the step growing in 1, 2, 5 multiples until the
// labels have room along `pixels` (the axis length) with `room` pixels each.
std::vector<Label> numberLabels(const AxisT &axis, double pixels, double room, const QLocale &locale)
{
    std::vector<Label> out;
    const double span = axis.span();
    if (!(span > 0) || !std::isfinite(span) || !(pixels > 0))
        return out;
    double step = axis.increment > 0 ? axis.increment : std::pow(10.0, std::floor(std::log10(span / 10)));
    const double perUnit = pixels / span;
    static const double growth[] = {2, 2.5, 2};
    for (int i = 0; step * perUnit < room || span / step > MaxLabels; ++i)
        step *= growth[i % 3];
    const double first = std::ceil(axis.minimum / step - 1e-9) * step;
    for (double v = first; v <= axis.maximum + step * 1e-9 && int(out.size()) < MaxLabels; v += step) {
        const double shown = std::abs(v) < step * 1e-9 ? 0.0 : v;
        out.push_back({shown, arvex::store::formatFloat(axis.labelFormat, shown, locale), QString()});
    }
    return out;
}

// ---- the date-time axis ---------------------------------------------------------------------

enum class StepKind { Seconds, Minutes, Hours, Days, Weeks, Months, Years };

struct DateStep {
    StepKind kind;
    int count;
    double days() const
    {
        switch (kind) {
        case StepKind::Seconds: return count / 86400.0;
        case StepKind::Minutes: return count / 1440.0;
        case StepKind::Hours: return count / 24.0;
        case StepKind::Days: return count;
        case StepKind::Weeks: return 7.0 * count;
        case StepKind::Months: return 28.0 * count; // the shortest month: the labels' least room
        case StepKind::Years: return 365.0 * count;
        }
        return 1;
    }
};

// The readable steps, finest first. Seconds serve a deep zoom, years a long span; the usual
// spans are served by the minutes to months between them.
const std::vector<DateStep> &dateSteps()
{
    static const std::vector<DateStep> steps = [] {
        std::vector<DateStep> s;
        for (int n : {1, 2, 5, 10, 15, 30})
            s.push_back({StepKind::Seconds, n});
        for (int n : {1, 2, 5, 10, 15, 30})
            s.push_back({StepKind::Minutes, n});
        for (int n : {1, 2, 3, 6, 12})
            s.push_back({StepKind::Hours, n});
        s.push_back({StepKind::Days, 1});
        s.push_back({StepKind::Days, 2});
        s.push_back({StepKind::Weeks, 1});
        for (int n : {1, 3, 6})
            s.push_back({StepKind::Months, n});
        for (int n : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000})
            s.push_back({StepKind::Years, n});
        return s;
    }();
    return steps;
}

Label dateLabel(const DateStep &step, const QDateTime &t, const QLocale &locale)
{
    const QDate d = t.date();
    switch (step.kind) {
    case StepKind::Seconds:
        return {0, t.time().toString(QStringLiteral("HH:mm:ss")), locale.toString(d, QStringLiteral("d MMM"))};
    case StepKind::Minutes:
    case StepKind::Hours:
        return {0, t.time().toString(QStringLiteral("HH:mm")), locale.toString(d, QStringLiteral("d MMM"))};
    case StepKind::Days:
    case StepKind::Weeks:
        return {0, locale.toString(d, QStringLiteral("d MMM")), locale.toString(d, QStringLiteral("yyyy"))};
    case StepKind::Months:
        return {0, locale.standaloneMonthName(d.month(), QLocale::ShortFormat), locale.toString(d, QStringLiteral("yyyy"))};
    case StepKind::Years:
        return {0, locale.toString(d, QStringLiteral("yyyy")), QString()};
    }
    return {};
}

// The chart times of a step's labels within [min, max]: whole multiples of the step from
// midnight, Mondays for weeks, the first of a month for months, the first of January for years.
std::vector<double> dateTicks(const DateStep &step, double min, double max)
{
    std::vector<double> out;
    const QDate epoch(1899, 12, 30);
    auto push = [&](double v) {
        if (v >= min - 1e-9 && v <= max + 1e-9)
            out.push_back(v);
    };
    switch (step.kind) {
    case StepKind::Seconds:
    case StepKind::Minutes:
    case StepKind::Hours: {
        const double stepDays = step.days();
        const double first = std::ceil(min / stepDays - 1e-9);
        for (double i = first; i * stepDays <= max + 1e-9 && int(out.size()) < MaxLabels; i += 1)
            push(i * stepDays);
        break;
    }
    case StepKind::Days: {
        double day = std::ceil(min - 1e-9);
        while (std::fmod(day, step.count) != 0)
            day += 1;
        for (; day <= max + 1e-9 && int(out.size()) < MaxLabels; day += step.count)
            push(day);
        break;
    }
    case StepKind::Weeks: {
        double day = std::ceil(min - 1e-9);
        while (epoch.addDays(qint64(day)).dayOfWeek() != Qt::Monday)
            day += 1;
        for (; day <= max + 1e-9 && int(out.size()) < MaxLabels; day += 7)
            push(day);
        break;
    }
    case StepKind::Months:
    case StepKind::Years: {
        const int months = step.kind == StepKind::Months ? step.count : 12 * step.count;
        const QDate start = fromChartTime(min).date();
        QDate d(start.year(), start.month(), 1);
        while (((d.year() * 12 + d.month() - 1) % months) != 0)
            d = d.addMonths(1);
        for (; int(out.size()) < MaxLabels; d = d.addMonths(months)) {
            const double v = double(epoch.daysTo(d));
            if (v > max + 1e-9 || !d.isValid())
                break;
            push(v);
        }
        break;
    }
    }
    return out;
}

double textWidth(const QFontMetricsF &fm, const Label &l)
{
    return std::max(fm.horizontalAdvance(l.first), fm.horizontalAdvance(l.second));
}

// The finest step whose labels keep apart along `pixels`.
std::vector<Label> dateLabels(const AxisT &axis, double pixels, const QFontMetricsF &fm, const QLocale &locale)
{
    std::vector<Label> out;
    const double span = axis.span();
    if (!(span > 0) || !std::isfinite(span) || !(pixels > 0))
        return out;
    const double perDay = pixels / span;
    const double gap = fm.horizontalAdvance(QStringLiteral("  ")) + 4;
    const DateStep *chosen = &dateSteps().back();
    for (const DateStep &step : dateSteps()) {
        const double room = step.days() * perDay;
        if (span / step.days() > MaxLabels)
            continue;
        // The widest label this step writes, judged on a sample of its texts.
        const QDateTime sample = fromChartTime(axis.minimum);
        const Label widest = dateLabel(step, QDateTime(QDate(sample.date().year(), 12, 28), QTime(23, 58, 58), Qt::UTC), locale);
        double need = textWidth(fm, widest);
        if (step.kind == StepKind::Months)
            for (int m = 1; m <= 12; ++m)
                need = std::max(need, fm.horizontalAdvance(locale.standaloneMonthName(m, QLocale::ShortFormat)));
        if (room >= need + gap) {
            chosen = &step;
            break;
        }
    }
    QString previousSecond;
    for (double v : dateTicks(*chosen, axis.minimum, axis.maximum)) {
        Label l = dateLabel(*chosen, fromChartTime(v), locale);
        l.value = v;
        // The second line only where it changes (the date under the first time of each day).
        if (l.second == previousSecond)
            l.second.clear();
        else
            previousSecond = l.second;
        out.push_back(std::move(l));
    }
    return out;
}

// ---- layout ---------------------------------------------------------------------------------

struct Layout {
    QRectF titleRect;
    QRectF legendRect;
    QRectF wall;
    QRectF inner;
    std::vector<Label> left, right, bottom;
};

double markerRoom(const ChartState &s) { return s.series.pointerVisible ? s.series.pointerSize + 2 : 2; }

Layout layoutFor(const QRectF &rect, const ChartState &s, const QLocale &locale, QPaintDevice *device)
{
    Layout L;
    const QFontMetricsF titleFm(chartFont(s.titlePixels), device);
    const QFontMetricsF legendFm(chartFont(s.legend.fontPixels), device);
    const QFontMetricsF leftFm(chartFont(s.leftAxis.labelPixels), device);
    const QFontMetricsF rightFm(chartFont(s.rightAxis.labelPixels), device);
    const QFontMetricsF bottomFm(chartFont(s.bottomAxis.labelPixels), device);

    double top = rect.top() + OuterMargin / 2;
    // The title has no vertical margin of its own.
    L.titleRect = QRectF(rect.left(), top, rect.width(), titleFm.height());
    top = L.titleRect.bottom();
    if (s.legend.visible) {
        top += s.legend.verticalSpacing;
        const double textW = legendFm.horizontalAdvance(s.series.title);
        const double w = 6 + s.legend.symbolWidth + 6 + textW + 8;
        const double h = legendFm.height() + s.legend.verticalMargin;
        L.legendRect = QRectF(rect.center().x() - w / 2, top, w, h);
        top = L.legendRect.bottom();
    }
    top += s.legend.verticalSpacing + OuterMargin / 2;

    const double bottomLabelsH = 2 * bottomFm.height();
    double wallBottom = rect.bottom() - OuterMargin - bottomLabelsH - LabelGap - TickLength;
    const double room = markerRoom(s);
    const double innerH = std::max(1.0, wallBottom - top - 2 * room);

    L.left = numberLabels(s.leftAxis, innerH, leftFm.height() + 2, locale);
    if (s.rightAxis.visible)
        L.right = numberLabels(s.rightAxis, innerH, rightFm.height() + 2, locale);
    double leftW = 0, rightW = 0;
    for (const Label &l : L.left)
        leftW = std::max(leftW, leftFm.horizontalAdvance(l.first));
    for (const Label &l : L.right)
        rightW = std::max(rightW, rightFm.horizontalAdvance(l.first));
    // Half a bottom label may stand out on each side of the wall.
    const double halfDate = bottomFm.horizontalAdvance(QStringLiteral("00 MMMM")) / 2;
    const double wallLeft = rect.left() + OuterMargin + std::max(leftW + LabelGap + TickLength, halfDate);
    const double wallRight = rect.right() - OuterMargin
        - std::max(s.rightAxis.visible ? rightW + LabelGap + TickLength : 0.0, halfDate);
    L.wall = QRectF(QPointF(wallLeft, top), QPointF(std::max(wallLeft + 1, wallRight), std::max(top + 1, wallBottom)));
    L.inner = L.wall.adjusted(room, room, -room, -room);
    if (L.inner.width() < 1 || L.inner.height() < 1)
        L.inner = L.wall;
    L.bottom = dateLabels(s.bottomAxis, L.inner.width(), bottomFm, locale);
    return L;
}

double mapX(const Layout &L, const AxisT &a, double x)
{
    return L.inner.left() + (x - a.minimum) / a.span() * L.inner.width();
}
double mapY(const Layout &L, const AxisT &a, double y)
{
    return L.inner.bottom() - (y - a.minimum) / a.span() * L.inner.height();
}

QPolygonF triangle(QPointF c, double size)
{
    return QPolygonF({QPointF(c.x(), c.y() - size), QPointF(c.x() + size, c.y() + size), QPointF(c.x() - size, c.y() + size)});
}

// ---- the series -----------------------------------------------------------------------------

// Draws the points of the series that can touch the wall: the line through them, reduced to
// the first, lowest, highest and last point of each device pixel column (which draws the same
// line), and one marker for each place where markers would lie on one another.
void paintSeries(QPainter &p, const Layout &L, const ChartState &s)
{
    const SeriesT &series = s.series;
    const AxisT &bx = s.bottomAxis;
    const AxisT &ly = s.leftAxis;
    if (series.isEmpty() || !(bx.span() > 0) || !(ly.span() > 0))
        return;
    const auto &pts = series.points();
    // The visible X range, widened by the marker's reach, with one point more on each side so
    // that the line leaves the wall towards its neighbours.
    const double reach = markerRoom(s) / L.inner.width() * bx.span();
    auto lo = std::lower_bound(pts.begin(), pts.end(), bx.minimum - reach - (L.inner.left() - L.wall.left()) / L.inner.width() * bx.span(),
                               [](const PointT &a, double x) { return a.x < x; });
    auto hi = std::upper_bound(pts.begin(), pts.end(), bx.maximum + reach + (L.wall.right() - L.inner.right()) / L.inner.width() * bx.span(),
                               [](double x, const PointT &a) { return x < a.x; });
    if (lo != pts.begin())
        --lo;
    if (hi != pts.end())
        ++hi;
    if (lo >= hi)
        return;

    // Device pixels per painter unit, for the column width of the reduction.
    const QTransform dt = p.deviceTransform();
    const double scale = std::max(1.0, std::hypot(dt.m11(), dt.m12()));
    const double column = 1.0 / scale;

    QPolygonF line;
    line.reserve(int(std::min<std::ptrdiff_t>(hi - lo, 4 * std::ptrdiff_t(L.inner.width() * scale + 8))));
    {
        double colKey = std::nan("");
        QPointF firstP, minP, maxP, lastP;
        int n = 0;
        auto flush = [&] {
            if (n == 0)
                return;
            line << firstP;
            if (n > 1) {
                // The lowest and highest in the order they came.
                const bool minFirst = minP.x() <= maxP.x();
                const QPointF a = minFirst ? minP : maxP, b = minFirst ? maxP : minP;
                if (a != firstP)
                    line << a;
                if (b != firstP && b != a)
                    line << b;
                if (lastP != line.back())
                    line << lastP;
            }
            n = 0;
        };
        for (auto it = lo; it != hi; ++it) {
            const QPointF q(mapX(L, bx, it->x), mapY(L, ly, it->y));
            const double key = std::floor(q.x() / column);
            if (key != colKey) {
                flush();
                colKey = key;
                firstP = minP = maxP = lastP = q;
                n = 1;
                continue;
            }
            if (q.y() > minP.y())
                minP = q; // lower on the page
            if (q.y() < maxP.y())
                maxP = q;
            lastP = q;
            ++n;
        }
        flush();
    }

    p.save();
    p.setClipRect(L.wall, Qt::IntersectClip);
    QPen pen(series.color, series.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (line.size() > 1)
        p.drawPolyline(line);

    if (series.pointerVisible) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(series.color);
        std::unordered_set<quint64> drawn;
        const double size = series.pointerSize;
        const double cell = 0.5 / scale; // markers closer than half a device pixel lie on one another
        for (auto it = lo; it != hi; ++it) {
            const QPointF q(mapX(L, bx, it->x), mapY(L, ly, it->y));
            if (q.x() < L.wall.left() - size - 1 || q.x() > L.wall.right() + size + 1 || q.y() < L.wall.top() - size - 1
                || q.y() > L.wall.bottom() + size + 1)
                continue;
            const quint64 key = (quint64(quint32(qint32(std::floor(q.x() / cell)))) << 32)
                | quint32(qint32(std::floor(q.y() / cell)));
            if (!drawn.insert(key).second)
                continue;
            p.drawPolygon(triangle(q, size));
        }
    }
    p.restore();
}

} // namespace

QFont chartFont(int pixelSize)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(std::max(1, pixelSize));
    return f;
}

double ChartLayout::xValue(const ChartState &s, double px) const
{
    return s.bottomAxis.minimum + (px - inner.left()) / inner.width() * s.bottomAxis.span();
}
double ChartLayout::yLeftValue(const ChartState &s, double py) const
{
    return s.leftAxis.minimum + (inner.bottom() - py) / inner.height() * s.leftAxis.span();
}
double ChartLayout::yRightValue(const ChartState &s, double py) const
{
    return s.rightAxis.minimum + (inner.bottom() - py) / inner.height() * s.rightAxis.span();
}
double ChartLayout::xPixel(const ChartState &s, double x) const
{
    return inner.left() + (x - s.bottomAxis.minimum) / s.bottomAxis.span() * inner.width();
}
double ChartLayout::yPixel(const ChartState &s, double y) const
{
    return inner.bottom() - (y - s.leftAxis.minimum) / s.leftAxis.span() * inner.height();
}

void ZoomToPixels(ChartState &s, const ChartLayout &L, const QRectF &pixels)
{
    const QRectF r = pixels.normalized();
    if (!(r.width() > 0) || !(r.height() > 0) || !(L.inner.width() > 0) || !(L.inner.height() > 0))
        return;
    const double x0 = L.xValue(s, r.left()), x1 = L.xValue(s, r.right());
    const double l0 = L.yLeftValue(s, r.bottom()), l1 = L.yLeftValue(s, r.top());
    const double r0 = L.yRightValue(s, r.bottom()), r1 = L.yRightValue(s, r.top());
    for (AxisT *a : {&s.bottomAxis, &s.leftAxis, &s.rightAxis})
        a->automatic = a->automaticMinimum = a->automaticMaximum = false;
    s.bottomAxis.setMinMax(x0, x1);
    s.leftAxis.setMinMax(l0, l1);
    s.rightAxis.setMinMax(r0, r1);
}

void ScrollByPixels(ChartState &s, const ChartLayout &L, QPointF delta)
{
    if (!(L.inner.width() > 0) || !(L.inner.height() > 0) || delta.isNull())
        return;
    const double dx = -delta.x() / L.inner.width() * s.bottomAxis.span();
    const double dl = delta.y() / L.inner.height() * s.leftAxis.span();
    const double dr = delta.y() / L.inner.height() * s.rightAxis.span();
    ScrollByValues(s, dx, dl, dr);
}

ChartLayout LayoutChart(const QRectF &rect, const ChartState &state, const QLocale &locale)
{
    const Layout L = layoutFor(rect, state, locale, nullptr);
    return {L.wall, L.inner};
}

void PaintChart(QPainter &p, const QRectF &rect, const ChartState &s, const QLocale &locale)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setClipRect(rect, Qt::IntersectClip);
    const Layout L = layoutFor(rect, s, locale, p.device());

    // Panel and back wall.
    p.fillRect(rect, s.panelColor);
    p.fillRect(L.wall, s.backWallColor);

    // Grid lines at the left and bottom labels.
    p.save();
    p.setClipRect(L.wall, Qt::IntersectClip);
    QPen grid(GridColor, 1, Qt::DotLine);
    p.setPen(grid);
    if (s.leftAxis.span() > 0)
        for (const Label &l : L.left) {
            const double y = mapY(L, s.leftAxis, l.value);
            p.drawLine(QPointF(L.wall.left(), y), QPointF(L.wall.right(), y));
        }
    if (s.bottomAxis.span() > 0)
        for (const Label &l : L.bottom) {
            const double x = mapX(L, s.bottomAxis, l.value);
            p.drawLine(QPointF(x, L.wall.top()), QPointF(x, L.wall.bottom()));
        }
    p.restore();

    p.setPen(QPen(WallFrameColor, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(L.wall);

    // Axes, ticks and labels.
    p.setPen(QPen(AxisColor, 1));
    p.drawLine(L.wall.bottomLeft(), L.wall.topLeft());
    p.drawLine(L.wall.bottomLeft(), L.wall.bottomRight());
    if (s.rightAxis.visible)
        p.drawLine(L.wall.bottomRight(), L.wall.topRight());

    p.setFont(chartFont(s.leftAxis.labelPixels));
    for (const Label &l : L.left) {
        const double y = mapY(L, s.leftAxis, l.value);
        p.drawLine(QPointF(L.wall.left() - TickLength, y), QPointF(L.wall.left(), y));
        const QRectF box(rect.left(), y - 20, L.wall.left() - TickLength - LabelGap - rect.left(), 40);
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, l.first);
    }
    if (s.rightAxis.visible) {
        p.setFont(chartFont(s.rightAxis.labelPixels));
        for (const Label &l : L.right) {
            const double y = mapY(L, s.rightAxis, l.value);
            p.drawLine(QPointF(L.wall.right(), y), QPointF(L.wall.right() + TickLength, y));
            const double x = L.wall.right() + TickLength + LabelGap;
            p.drawText(QRectF(x, y - 20, rect.right() - x, 40), Qt::AlignLeft | Qt::AlignVCenter, l.first);
        }
    }
    p.setFont(chartFont(s.bottomAxis.labelPixels));
    const QFontMetricsF bfm(p.font(), p.device());
    for (const Label &l : L.bottom) {
        const double x = mapX(L, s.bottomAxis, l.value);
        p.drawLine(QPointF(x, L.wall.bottom()), QPointF(x, L.wall.bottom() + TickLength));
        const double y = L.wall.bottom() + TickLength + LabelGap;
        const QString text = l.second.isEmpty() ? l.first : l.first + QLatin1Char('\n') + l.second;
        p.drawText(QRectF(x - 100, y, 200, 2 * bfm.height() + 2), Qt::AlignHCenter | Qt::AlignTop, text);
    }

    paintSeries(p, L, s);

    // Title.
    p.setPen(s.titleColor);
    p.setFont(chartFont(s.titlePixels));
    p.drawText(L.titleRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, s.title);

    // Legend: a framed white box with the series' symbol and title.
    if (s.legend.visible) {
        const QRectF box = L.legendRect;
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(box);
        const double cy = box.center().y();
        const double sx = box.left() + 6;
        p.setPen(QPen(s.series.color, s.series.lineWidth, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(sx, cy), QPointF(sx + s.legend.symbolWidth, cy));
        if (s.series.pointerVisible) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(s.series.color);
            p.drawPolygon(triangle(QPointF(sx + s.legend.symbolWidth / 2.0, cy), s.series.pointerSize));
        }
        p.setPen(Qt::black);
        p.setFont(chartFont(s.legend.fontPixels));
        const double tx = sx + s.legend.symbolWidth + 6;
        p.drawText(QRectF(tx, box.top(), box.right() - tx, box.height()), Qt::AlignLeft | Qt::AlignVCenter, s.series.title);
    }
    p.restore();
}

} // namespace chart
