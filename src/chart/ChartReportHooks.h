#pragma once
// Where the chart window's "Print chart" and "Export to picture" go: the report that prints
// the chart installs these (the chart library does not know the report).

#include <QString>
#include <functional>

namespace chart {

struct ChartReportHooks {
    // PrintChart(ToJPG) of the report.
    std::function<void(bool toJpg)> printChart;
    // Gives the JPEG export the file name chosen in the save dialog.
    std::function<void(const QString &fileName)> setJpegFileName;
};

ChartReportHooks &chartReportHooks();

} // namespace chart
