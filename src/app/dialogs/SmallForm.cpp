#include "app/dialogs/SmallForm.h"

#include <QPushButton>

#include "app/Fonts.h"

#include <QFile>
#include <QIcon>
#include <QPainter>

TSmallForm::TSmallForm(QWidget *parent, const QString &name, const Look &look)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), look_(look)
{
    setObjectName(name);
    arvex::app::registerTahoma();
    setFont(arvex::app::tahoma(look.fontPixels, look.bold));
    setFixedSize(look.clientSize);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, look.background);
    setPalette(p);
}

void TSmallForm::setVisible(bool visible)
{
    if (visible && look_.centred && !isVisible()) {
        if (QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr) {
            const QRect o = owner->frameGeometry();
            move(o.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::setVisible(visible);
}

QPushButton *TSmallForm::glyphButton(const char *name, const QString &text, const char *glyphName,
                                     const QRect &geometry)
{
    auto *b = new QPushButton(glyph(glyphName), text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setIconSize(QSize(24, 24));
    return b;
}

QIcon TSmallForm::glyph(const char *name)
{
    const QString path = QStringLiteral(":/art/glyphs/%1.svg").arg(QLatin1String(name));
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

void TSmallForm::reject()
{
    if (look_.escapeCancels)
        done(mrCancel);
}

void TSmallForm::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(look_.outline, 2));
    painter.setBrush(look_.fill.isValid() ? QBrush(look_.fill) : QBrush(Qt::NoBrush));
    painter.drawRect(QRectF(1, 1, width() - 2, height() - 2));
}
