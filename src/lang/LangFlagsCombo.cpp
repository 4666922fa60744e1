#include "lang/LangFlagsCombo.h"

#include "lang/LangMan.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace arvex::lang {

TLangFlagsCombo::TLangFlagsCombo(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("LangFlagsCombo1"));
    setIconSize(QSize(FlagWidth, FlagHeight));
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TLangFlagsCombo::chosen);
}

void TLangFlagsCombo::setEngine(TLangManEngine *engine)
{
    engine_ = engine;
    clear();
    if (!engine)
        return;
    for (int i = 0; i < engine->languageCount(); ++i) {
        const Language &l = engine->language(i);
        addItem(QIcon(flagPixmap(l.flag, l.isoCode, iconSize())), l.name);
    }
    setCurrentIndex(-1);
}

void TLangFlagsCombo::chosen(int index)
{
    emit Click();
    if (engine_ && index >= 0 && index != engine_->currentIndex())
        engine_->TranslateIndex(index);
}

QPixmap TLangFlagsCombo::flagPixmap(const QString &flagPath, const QString &isoCode, QSize size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (!flagPath.isEmpty() && QFile::exists(flagPath)) {
        if (flagPath.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
            QSvgRenderer svg(flagPath);
            if (svg.isValid()) {
                svg.render(&p, QRectF(0, 0, size.width(), size.height()));
                return pm;
            }
        } else {
            const QPixmap picture(flagPath);
            if (!picture.isNull()) {
                p.drawPixmap(QRect(QPoint(0, 0), size), picture);
                return pm;
            }
        }
    }
    // No picture: a light tile with the language code.
    p.setPen(QColor(128, 128, 128));
    p.setBrush(QColor(245, 245, 245));
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
    QFont f = p.font();
    f.setPixelSize(qMax(6, size.height() * 5 / 8));
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(64, 64, 64));
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, isoCode.toUpper());
    return pm;
}

} // namespace arvex::lang
