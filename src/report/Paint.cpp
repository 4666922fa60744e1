#include "Paint.h"

#include <QLinearGradient>
#include <QPen>
#include <QTextOption>

namespace report {

QFont fontFor(const PreparedFont &f)
{
    QFont font(f.family);
    font.setPixelSize(qMax(1, qRound(f.pixelSize)));
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    return font;
}

double layoutText(QTextLayout &layout, const QString &text, const QFont &font, double widthPx,
                  bool wrap)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    t.replace(QLatin1Char('\n'), QChar::LineSeparator);
    t.replace(QLatin1Char('\r'), QChar::LineSeparator);
    layout.setText(t);
    layout.setFont(font);
    QTextOption opt;
    opt.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::ManualWrap);
    opt.setUseDesignMetrics(true);
    layout.setTextOption(opt);
    layout.setCacheEnabled(true);
    double y = 0;
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        if (wrap)
            line.setLineWidth(qMax(1.0, widthPx));
        else
            line.setNumColumns(t.size() + 1);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

namespace {

QRectF pxRect(const QRectF &mm)
{
    return QRectF(mmToPx(mm.x()), mmToPx(mm.y()), mmToPx(mm.width()), mmToPx(mm.height()));
}

void paintFrame(QPainter &p, const PreparedObject &o, const QRectF &r)
{
    if (o.frameSides == FrameNone)
        return;
    QPen pen(o.frameColor, qMax(0.01, mmToPx(o.frameWidthMm)));
    pen.setCapStyle(Qt::SquareCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (o.frameSides == FrameAll) {
        p.drawRect(r);
        return;
    }
    if (o.frameSides & FrameLeft)
        p.drawLine(r.topLeft(), r.bottomLeft());
    if (o.frameSides & FrameTop)
        p.drawLine(r.topLeft(), r.topRight());
    if (o.frameSides & FrameRight)
        p.drawLine(r.topRight(), r.bottomRight());
    if (o.frameSides & FrameBottom)
        p.drawLine(r.bottomLeft(), r.bottomRight());
}

void paintFill(QPainter &p, const PreparedObject &o, const QRectF &r)
{
    if (o.kind == PreparedObject::Kind::Gradient && o.fill.isValid()) {
        QLinearGradient g(r.topLeft(), r.topRight());
        g.setColorAt(0, o.fill);
        g.setColorAt(1, o.fill2.isValid() ? o.fill2 : Qt::white);
        p.fillRect(r, g);
    } else if (o.fill.isValid()) {
        p.fillRect(r, o.fill);
    }
}

void paintText(QPainter &p, const PreparedObject &o, const QRectF &r)
{
    if (o.text.isEmpty())
        return;
    const QFont font = fontFor(o.font);
    const QRectF inner = r.adjusted(kTextGapX, kTextGapY, -kTextGapX, -kTextGapY);
    QTextLayout layout;
    const double h = layoutText(layout, o.text, font, inner.width(), o.wordWrap);
    const Qt::Alignment a = Qt::Alignment(o.align);
    double y = inner.top();
    if (a & Qt::AlignBottom)
        y = inner.bottom() - h;
    else if (a & Qt::AlignVCenter)
        y = inner.top() + (inner.height() - h) / 2;
    p.save();
    p.setClipRect(r, Qt::IntersectClip);
    p.setPen(o.font.color);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        double x = inner.left();
        if (a & Qt::AlignRight)
            x = inner.right() - line.naturalTextWidth();
        else if (a & Qt::AlignHCenter)
            x = inner.left() + (inner.width() - line.naturalTextWidth()) / 2;
        line.draw(&p, QPointF(x, y));
    }
    p.restore();
}

void paintPicture(QPainter &p, const PreparedObject &o, const QRectF &r)
{
    if (!o.picture.isNull()) {
        const QRect b = o.picture.boundingRect();
        if (b.width() > 0 && b.height() > 0) {
            p.save();
            p.setClipRect(r, Qt::IntersectClip);
            p.translate(r.topLeft());
            p.scale(r.width() / b.width(), r.height() / b.height());
            p.translate(-b.topLeft());
            p.drawPicture(0, 0, o.picture);
            p.restore();
        }
    } else if (!o.image.isNull()) {
        QSizeF s = o.image.size();
        s.scale(r.size(), Qt::KeepAspectRatio);
        p.drawImage(QRectF(r.topLeft(), s), o.image);
    }
}

} // namespace

void PaintPage(QPainter &painter, const PreparedPage &page, const QRectF &targetRect)
{
    const QSizeF pagePx(mmToPx(page.sizeMm.width()), mmToPx(page.sizeMm.height()));
    if (pagePx.width() <= 0 || pagePx.height() <= 0)
        return;
    const double s = qMin(targetRect.width() / pagePx.width(), targetRect.height() / pagePx.height());
    painter.save();
    painter.translate(targetRect.topLeft());
    painter.scale(s, s);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.fillRect(QRectF(QPointF(0, 0), pagePx), Qt::white);
    for (const PreparedObject &o : page.objects) {
        const QRectF r = pxRect(o.rectMm);
        switch (o.kind) {
        case PreparedObject::Kind::Text:
            paintFill(painter, o, r);
            paintText(painter, o, r);
            paintFrame(painter, o, r);
            break;
        case PreparedObject::Kind::Picture:
            paintFill(painter, o, r);
            paintPicture(painter, o, r);
            paintFrame(painter, o, r);
            break;
        case PreparedObject::Kind::Rectangle:
        case PreparedObject::Kind::Gradient:
            paintFill(painter, o, r);
            paintFrame(painter, o, r);
            break;
        case PreparedObject::Kind::Line: {
            QPen pen(o.frameColor, qMax(0.01, mmToPx(o.frameWidthMm)));
            painter.setPen(pen);
            painter.drawLine(r.topLeft(), r.bottomRight());
            break;
        }
        }
    }
    painter.restore();
}

} // namespace report
