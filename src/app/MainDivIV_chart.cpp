// The main window's "Chart": fills the chart window from the current object and its marked
// results and shows it modally.

#include "app/MainDivIV.h"

#include "app/Forms.h"
#include "chart/ChartData.h"
#include "chart/UnChart.h"
#include "lang/LangMan.h"

#include <QAction>

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
    // Series, right axis, title, label format, the marked results, the axes reset.
    chart::FillChart(WykresForm->chartState(), store.FDQObiekty, store.FDQWyniki);
    // Dates in the interface language.
    WykresForm->setLabelLocale(interfaceLocale());
    WykresForm->exec();
}
