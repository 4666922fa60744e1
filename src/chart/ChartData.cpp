#include "chart/ChartData.h"

#include "store/Dataset.h"

#include <vector>

namespace chart {

void FillChart(ChartState &state, const arvex::store::Dataset &objects, arvex::store::Dataset &results)
{
    state.series.Clear();
    state.rightAxis.visible = false;
    // No current object: both names count as empty.
    QString title = objects.fieldValue(QStringLiteral("NAZWA_DEV")).toString() + QStringLiteral(", ")
        + objects.fieldValue(QStringLiteral("NAZWA_LONG")).toString();
    title.replace(QLatin1String("\r\n"), QLatin1String(" "));
    title.replace(QLatin1Char('\n'), QLatin1Char(' '));
    title.replace(QLatin1Char('\r'), QLatin1Char(' '));
    state.title = title;
    state.leftAxis.labelFormat = QStringLiteral("0.00 pH");

    // The rows are read by position and the view is then put on its last row: the same end
    // as walking it, without moving the grid through every row on the way.
    const int when = results.fieldIndex(QStringLiteral("DATACZAS"));
    const int ph = results.fieldIndex(QStringLiteral("DANE1"));
    const int mark = results.fieldIndex(QStringLiteral("REZI1"));
    std::vector<PointT> points;
    if (results.isActive() && when >= 0 && ph >= 0 && mark >= 0) {
        points.reserve(size_t(results.rowCount()));
        for (int row = 0; row < results.rowCount(); ++row) {
            const QVariant m = results.value(row, mark);
            if (m.isNull() || m.toInt() != 1)
                continue;
            const QVariant t = results.value(row, when);
            const QDateTime measured = t.toDateTime();
            const QVariant y = results.value(row, ph);
            if (t.isNull() || !measured.isValid() || y.isNull())
                continue;
            points.push_back({toChartTime(measured), y.toDouble()});
        }
        if (results.rowCount() > 0)
            results.setCurrentRow(results.rowCount() - 1);
    }
    state.series.AddPoints(std::move(points));
    RescaleAxis(state);
}

} // namespace chart
