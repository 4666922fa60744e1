#pragma once

#include "chart/ChartState.h"

namespace arvex::store {
class Dataset;
}

namespace chart {

// Fills the chart for the current object of the objects view: the series rebuilt from the
// marked results (REZI1 = 1) of the results view in the view's order, the right axis hidden,
// the title "NAZWA_DEV, NAZWA_LONG" on one line, the left labels "0.00 pH", then the axes
// reset to the data. The results view is left on its last row, as a walk from its first row
// to its end leaves it. Results without a time or a pH are left out.
void FillChart(ChartState &state, const arvex::store::Dataset &objects, arvex::store::Dataset &results);

} // namespace chart
