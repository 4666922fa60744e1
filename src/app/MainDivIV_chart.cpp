// The main window's "Chart": fills the chart window from the current object and its marked
// results and shows it modally.

#include "app/MainDivIV.h"

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "chart/UnChart.h"
#include "lang/LangMan.h"

#include <QAction>
#include <vector>

void TMainDivIVForm::setUpChart()
{
    connect(actChart, &QAction::triggered, this, &TMainDivIVForm::actChartExecute);
}

QLocale TMainDivIVForm::interfaceLocale() const
{
    const QString iso = LangManEngine1 && LangFlagsCombo1 ? LangManEngine1->GetISOCode(LangFlagsCombo1->currentIndex())
                                                          : QString();
    return QLocale(iso.isEmpty() ? QStringLiteral("en") : iso);
}

void TMainDivIVForm::actChartExecute()
{
    if (!WykresForm)
        return;
    chart::ChartState &state = WykresForm->chartState();
    arvex::store::Dataset &objects = store.FDQObiekty;
    arvex::store::Dataset &results = store.FDQWyniki;

    // 1. No points.
    WykresForm->SeriesT().Clear();
    // 2.
    state.rightAxis.visible = false;
    // 3. "NAZWA_DEV, NAZWA_LONG" on one line (no current object: both count as empty).
    QString title = objects.fieldValue(QStringLiteral("NAZWA_DEV")).toString() + QStringLiteral(", ")
        + objects.fieldValue(QStringLiteral("NAZWA_LONG")).toString();
    title.replace(QLatin1String("\r\n"), QLatin1String(" "));
    title.replace(QLatin1Char('\n'), QLatin1Char(' '));
    title.replace(QLatin1Char('\r'), QLatin1Char(' '));
    state.title = title;
    // 4.
    state.leftAxis.labelFormat = QStringLiteral("0.00 pH");
    // 5. The marked results, walked from the first row to the last in the view's order. The
    // rows are read by position and the view is then left on its last row, as a walk leaves it,
    // without moving the grid through every row on the way.
    const int when = results.fieldIndex(QStringLiteral("DATACZAS"));
    const int ph = results.fieldIndex(QStringLiteral("DANE1"));
    const int mark = results.fieldIndex(QStringLiteral("REZI1"));
    std::vector<chart::PointT> points;
    if (results.isActive() && when >= 0 && ph >= 0 && mark >= 0) {
        points.reserve(size_t(results.rowCount()));
        for (int row = 0; row < results.rowCount(); ++row) {
            const QVariant m = results.value(row, mark);
            if (m.isNull() || m.toInt() != 1)
                continue;
            const QVariant t = results.value(row, when);
            const QDateTime measured = t.toDateTime();
            if (t.isNull() || !measured.isValid())
                continue;
            points.push_back({chart::toChartTime(measured), results.value(row, ph).toDouble()});
        }
        if (results.rowCount() > 0)
            results.setCurrentRow(results.rowCount() - 1);
    }
    WykresForm->SeriesT().AddPoints(std::move(points));
    // 6.
    WykresForm->RescaleAxis();
    // 7. Dates in the interface language.
    WykresForm->setLabelLocale(interfaceLocale());
    WykresForm->exec();
}
