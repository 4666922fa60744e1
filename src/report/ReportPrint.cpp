#include "ReportPrint.h"

#include "Paint.h"
#include "ReportTemplate.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

namespace report {

namespace {
QPageLayout layoutFor(const PreparedPage &page)
{
    const QSizeF s = page.sizeMm;
    const bool landscape = s.width() > s.height();
    const QSizeF portrait = landscape ? s.transposed() : s;
    return QPageLayout(QPageSize(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyOrientationMatch),
                       landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                       QPageLayout::Millimeter);
}
} // namespace

bool printPages(const PreparedReport &report, QPrinter &printer, int fromPage, int toPage)
{
    if (report.pages.isEmpty())
        return true;
    const int first = fromPage > 0 ? fromPage : 1;
    const int last = toPage > 0 ? qMin(toPage, int(report.pages.size())) : int(report.pages.size());
    if (first > last)
        return true;
    printer.setFullPage(true);
    printer.setPageLayout(layoutFor(report.pages[first - 1]));
    if (!report.title.isEmpty() && printer.docName().isEmpty())
        printer.setDocName(report.title);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    for (int i = first; i <= last; ++i) {
        const PreparedPage &page = report.pages[i - 1];
        if (i > first) {
            printer.setPageLayout(layoutFor(page));
            printer.newPage();
        }
        const QRectF target = printer.pageLayout().fullRectPixels(printer.resolution());
        PaintPage(painter, page, QRectF(QPointF(0, 0), target.size()));
    }
    painter.end();
    return true;
}

QImage renderPage(const PreparedPage &page, double dpi)
{
    const QSize size(qMax(1, qRound(page.sizeMm.width() / 25.4 * dpi)), qMax(1, qRound(page.sizeMm.height() / 25.4 * dpi)));
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    const int dpm = qRound(dpi / 0.0254);
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    QPainter p(&img);
    PaintPage(p, page, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return img;
}

QString pageFileName(const QString &fileName, int pageNumber, const QString &extension)
{
    const QFileInfo fi(fileName);
    QString base = fileName;
    const QString suffix = fi.suffix();
    if (!suffix.isEmpty() && !fi.completeBaseName().isEmpty())
        base.chop(suffix.size() + 1);
    return base + QLatin1Char('.') + QString::number(pageNumber) + extension;
}

QStringList writeJpegPages(const PreparedReport &report, const QString &fileName, int quality, double dpi)
{
    QStringList written;
    for (int i = 0; i < report.pages.size(); ++i) {
        const QString name = pageFileName(fileName, i + 1);
        QImageWriter w(name, "jpeg");
        w.setQuality(quality);
        if (!w.write(renderPage(report.pages[i], dpi)))
            throw ReportError(QStringLiteral("Cannot create file \"%1\". %2").arg(name, w.errorString()));
        written << name;
    }
    return written;
}

} // namespace report
