// The main window's report component and its data feeds: the Report button, the chart
// printout of the chart window, and the template loading that the exports share.

#include "app/MainDivIV.h"

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "chart/ChartPaint.h"
#include "chart/ChartReportHooks.h"
#include "chart/UnChart.h"
#include "report/Report.h"
#include "report/ReportData.h"
#include "report/ReportPrint.h"

#include <QButtonGroup>
#include <QPainter>
#include <QPicture>
#include <QPushButton>
#include <cmath>

namespace {

// Base names of the report templates by language number.
const char *const ReportBaseNames[] = {"ArvexPHrep_en", "ArvexPHrep_pl", "ArvexPHrep_de", "ArvexPHrep_fr",
                                       "ArvexPHrep_es", "ArvexPHrep_ru", "ArvexPHrep_it"};


} // namespace

void TMainDivIVForm::setUpReports()
{
    frxReport1 = new report::Report(this);
    frxDBObiekty = std::make_shared<report::StoreReportDataset>(QStringLiteral("frxDBObiekty"), store.FDQfrxObiekty);
    frxDBObiekty->onNext = [this] { frxDBObiektyNext(frxReport1); };
    frxDBWyniki = std::make_shared<report::StoreReportDataset>(QStringLiteral("frxDBWyniki"), store.FDQfrxWyniki);
    frxUserDataSet1 = std::make_shared<report::UserReportDataset>(QStringLiteral("frxUserDataSet1"),
                                                                  QStringList{QStringLiteral("TempFF")});
    frxUserDataSet1->onGetValue = [this](const QString &name, QVariant &value) { frxUserDataSet1GetValue(name, value); };
    frxReport1->setDatasets({frxDBObiekty.get(), frxDBWyniki.get(), frxUserDataSet1.get()});
    frxReport1->onBeforePrint = [this](report::PrintObject &sender) { frxReport1BeforePrint(sender); };

    frxJPEGExport1 = std::make_shared<report::TfrxJPEGExport>();
    frxReport1->exportFilters << report::ExportFilter{
        QStringLiteral("JPEG picture"), QStringLiteral("JPEG picture (*.jpg)"),
        [this](const report::PreparedReport &r, const QString &fileName) {
            report::TfrxJPEGExport e = *frxJPEGExport1;
            e.FileName = fileName;
            e.Export(r);
        }};

    connect(btnRaport, &QPushButton::clicked, this, [this] { arvex::app::showErrorsOf(this, [this] { btnRaportClick(); }); });

    auto &hooks = chart::chartReportHooks();
    hooks.printChart = [this](bool toJpg) { arvex::app::showErrorsOf(this, [this, toJpg] { PrintChart(toJpg); }); };
    hooks.setJpegFileName = [this](const QString &name) { frxJPEGExport1->FileName = name; };
    // A chart window that outlives this window prints nothing rather than calling into it.
    connect(this, &QObject::destroyed, [] { chart::chartReportHooks() = {}; });
}

void TMainDivIVForm::LoadReportTemplate()
{
    // 1. The marked objects of the current device; the cursor on the first one.
    store.FDQfrxObiekty.close();
    store.FDQfrxObiekty.setParam(0, store.FDTableDevices.fieldValue(QStringLiteral("IDDEV")).toInt());
    store.FDQfrxObiekty.open();
    frxDBObiekty->resetRun();
    // 2. The first object's marked results.
    frxDBObiektyNext(this);
    // 3. The current language's template.
    const int lang = qBound(0, GetActLangNbr(), 6);
    const QString path = ProgramPath + QLatin1String(ReportBaseNames[lang]) + QLatin1String("T") + QLatin1String(".fr3");
    // 4. A missing file raises "Cannot open file ..." and leaves the component empty.
    frxReport1->loadFromFile(path);
}

void TMainDivIVForm::frxDBObiektyNext(QObject *)
{
    store.FDQfrxWyniki.close();
    const int key = store.FDQfrxObiekty.eof() ? 0 : store.FDQfrxObiekty.fieldValue(QStringLiteral("IDOB")).toInt();
    store.FDQfrxWyniki.setParam(0, key);
    store.FDQfrxWyniki.open();
}

void TMainDivIVForm::btnRaportClick()
{
    LoadReportTemplate();
    frxReport1->showReport(this);
}

void TMainDivIVForm::frxReport1BeforePrint(report::PrintObject &Sender)
{
    if (Sender.name != QLatin1String("PictureChart") || !Sender.isPicture())
        return;
    // Layout units to whole units, halves to the even neighbour.
    const int w = int(std::nearbyint(Sender.widthPx));
    const int h = int(std::nearbyint(Sender.heightPx));
    Sender.setPicture(chartPicture(QSize(w, h)));
}

QPicture TMainDivIVForm::chartPicture(QSize size) const
{
    size = size.expandedTo(QSize(1, 1));
    QPicture picture;
    QPainter p(&picture);
    if (WykresForm)
        chart::PaintChart(p, QRectF(QPointF(0, 0), QSizeF(size)), WykresForm->chartState(), WykresForm->labelLocale());
    p.end();
    picture.setBoundingRect(QRect(QPoint(0, 0), size));
    return picture;
}

void TMainDivIVForm::frxUserDataSet1GetValue(const QString &VarName, QVariant &Value)
{
    if (VarName == QLatin1String("TempFF"))
        Value = RGjednostkaTButtons ? RGjednostkaTButtons->checkedId() : 0;
}

void TMainDivIVForm::PrintChart(bool ToJPG)
{
    frxReport1->loadFromFile(ProgramPath + QStringLiteral("ArvexPHchart.fr3"));
    frxReport1->prepareReport();
    if (ToJPG)
        frxJPEGExport1->Export(frxReport1->preparedReport());
    else
        frxReport1->print(this);
}
