#include "app/Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace arvex::app {

void registerTahoma()
{
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        return;
    // Only the regular face: the bold file of that set carries regular stems with bold spacing,
    // so letting Qt embolden the regular face gives the truer bold.
    const QString regular = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(regular))
        QFontDatabase::addApplicationFont(regular);
}

QFont tahoma(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace arvex::app
