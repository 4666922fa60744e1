#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace uichecks {

// Saves the widget as build/screenshots/<name>.png and gives the file's path.
QString saveScreenshot(QWidget *widget, const QString &name);

// Texts of the visible labels, buttons, radio buttons, group titles and table titles under
// root that do not fit their control (wider or taller than its room; a table title beside
// the sort arrow where its column can be sorted), one line each:
// "objectName: text (needs W x H, has W x H)".
QStringList clippedTexts(QWidget *root);

// Pairs of visible text-bearing controls among the direct children of parent whose rectangles
// overlap, one line each; controls without text (pictures) do not count.
QStringList overlappingTexts(QWidget *parent);

} // namespace uichecks
