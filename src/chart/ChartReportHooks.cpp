#include "chart/ChartReportHooks.h"

namespace chart {

ChartReportHooks &chartReportHooks()
{
    static ChartReportHooks hooks;
    return hooks;
}

} // namespace chart
