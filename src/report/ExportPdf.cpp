#include "report/ExportPdf.h"

#include "report/Paint.h"

#include <QDateTime>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace report {

namespace {

QPageLayout layoutFor(const PreparedPage &page)
{
    const QSizeF s = page.sizeMm;
    const bool landscape = s.width() > s.height();
    const QPageSize size(landscape ? s.transposed() : s, QPageSize::Millimeter);
    return QPageLayout(size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                       QPageLayout::Millimeter);
}

QString xmlEscaped(const QString &s) { return s.toHtmlEscaped(); }

QByteArray xmpMetadata(const QString &title)
{
    const QDateTime local = QDateTime::currentDateTime();
    const QString now = local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
    return QStringLiteral(
               "<?xpacket begin='\uFEFF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
               "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
               " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
               "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
               "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n"
               "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:title>\n"
               "   <dc:creator><rdf:Seq><rdf:li>%2</rdf:li></rdf:Seq></dc:creator>\n"
               "   <dc:format>application/pdf</dc:format>\n"
               "   <xmp:CreatorTool>%2</xmp:CreatorTool>\n"
               "   <xmp:CreateDate>%3</xmp:CreateDate>\n"
               "   <pdf:Producer>Qt " QT_VERSION_STR "</pdf:Producer>\n"
               "  </rdf:Description>\n"
               " </rdf:RDF>\n"
               "</x:xmpmeta>\n"
               "<?xpacket end='w'?>")
        .arg(xmlEscaped(title), xmlEscaped(exportCreatorName()), now)
        .toUtf8();
}

} // namespace

QString exportCreatorName() { return QStringLiteral("ARVEX TECHNOLOGY pH meter program 1.07"); }

ExportResult exportPdf(const PreparedReport &report, const QString &fileName)
{
    return writeExportFile(fileName, [&](QIODevice &device, QString &reason) {
        QPdfWriter writer(&device);
        writer.setPdfVersion(QPagedPaintDevice::PdfVersion_1_6);
        writer.setResolution(1200);
        writer.setTitle(report.title);
        writer.setCreator(exportCreatorName());
        writer.setDocumentXmpMetadata(xmpMetadata(report.title));
        QVector<PreparedPage> pages = report.pages;
        if (pages.isEmpty())
            pages << PreparedPage(); // a document has at least one page
        writer.setPageLayout(layoutFor(pages.first()));
        QPainter painter;
        if (!painter.begin(&writer)) {
            reason = QStringLiteral("The PDF document could not be started.");
            return false;
        }
        for (int i = 0; i < pages.size(); ++i) {
            if (i > 0) {
                writer.setPageLayout(layoutFor(pages[i]));
                if (!writer.newPage()) {
                    reason = QStringLiteral("A new page could not be started.");
                    return false;
                }
            }
            const QSizeF mm = pages[i].sizeMm;
            const double dotsPerMm = writer.resolution() / 25.4;
            PaintPage(painter, pages[i], QRectF(0, 0, mm.width() * dotsPerMm, mm.height() * dotsPerMm));
        }
        return painter.end();
    });
}

} // namespace report
