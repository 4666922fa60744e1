#pragma once

#include <QFont>

namespace arvex::app {

// Makes "Tahoma" available: where the system has none, registers the metric-compatible
// Tahoma of the wine fonts so that the designed text sizes hold.
void registerTahoma();
// Tahoma at a pixel size.
QFont tahoma(int pixelSize, bool bold = false);

} // namespace arvex::app
