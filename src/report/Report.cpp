#include "Report.h"

#include "ReportPreview.h"
#include "ReportPrint.h"

#include <QDataStream>
#include <QFile>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>

namespace report {

Report::Report(QObject *parent) : QObject(parent) { setObjectName(QStringLiteral("frxReport1")); }

void Report::clear()
{
    template_ = ReportTemplate{};
    fileName_.clear();
    prepared_ = PreparedReport{};
}

void Report::loadFromFile(const QString &path)
{
    clear();
    template_ = readTemplate(path);
    fileName_ = path;
}

void Report::prepareReport()
{
    prepared_ = PreparedReport{};
    if (onBeforePrepare)
        onBeforePrepare();
    PrepareOptions opt;
    opt.beforePrint = onBeforePrint;
    prepared_ = report::prepareReport(template_, datasets_, opt);
}

void Report::showReport(QWidget *parent)
{
    prepareReport();
    TReportPreviewForm preview(*this, parent);
    preview.exec();
}

void Report::print(QWidget *parent)
{
    if (fixedPrinter) {
        printTo(*fixedPrinter);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, qMax(1, int(prepared_.pages.size())));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    int from = 0, to = 0;
    if (printer.printRange() == QPrinter::PageRange) {
        from = printer.fromPage();
        to = printer.toPage();
    }
    printTo(printer, from, to);
}

bool Report::printTo(QPrinter &printer, int fromPage, int toPage)
{
    return printPages(prepared_, printer, fromPage, toPage);
}

QPageLayout Report::pageLayout() const
{
    const TemplatePage &p = template_.page;
    const bool landscape = p.sizeMm.width() > p.sizeMm.height();
    const QSizeF portrait = landscape ? p.sizeMm.transposed() : p.sizeMm;
    return QPageLayout(QPageSize(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyOrientationMatch),
                       landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(p.leftMm, p.topMm, p.rightMm, p.bottomMm), QPageLayout::Millimeter);
}

void Report::setPageLayout(const QPageLayout &layout)
{
    TemplatePage &p = template_.page;
    p.sizeMm = layout.fullRect(QPageLayout::Millimeter).size();
    const QMarginsF m = layout.margins(QPageLayout::Millimeter);
    p.leftMm = m.left();
    p.topMm = m.top();
    p.rightMm = m.right();
    p.bottomMm = m.bottom();
}

namespace {

constexpr quint32 kMagic = 0x41525250; // "ARRP"
constexpr quint16 kVersion = 1;

QDataStream &operator<<(QDataStream &s, const PreparedFont &f)
{
    return s << f.family << f.pixelSize << f.bold << f.italic << f.underline << f.color;
}
QDataStream &operator>>(QDataStream &s, PreparedFont &f)
{
    return s >> f.family >> f.pixelSize >> f.bold >> f.italic >> f.underline >> f.color;
}

} // namespace

void savePreparedReport(const PreparedReport &report, const QString &fileName)
{
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        throw ReportError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, f.errorString()));
    QDataStream s(&f);
    s.setVersion(QDataStream::Qt_6_4);
    s << kMagic << kVersion << report.title << qint32(report.pages.size());
    for (const PreparedPage &p : report.pages) {
        s << p.sizeMm << qint32(p.objects.size());
        for (const PreparedObject &o : p.objects) {
            s << qint32(o.kind) << qint32(o.band) << qint32(o.bandSerial) << o.name << o.rectMm << o.text << o.raw
              << o.font << qint32(o.align) << o.wordWrap << quint32(o.frameSides) << o.frameWidthMm << o.frameColor
              << o.fill << o.fill2 << o.picture << o.image;
        }
    }
    if (s.status() != QDataStream::Ok || !f.commit())
        throw ReportError(QStringLiteral("Cannot write file \"%1\". %2").arg(fileName, f.errorString()));
}

PreparedReport loadPreparedReport(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw ReportError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, f.errorString()));
    QDataStream s(&f);
    s.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint16 version = 0;
    s >> magic >> version;
    if (magic != kMagic || version != kVersion)
        throw ReportError(QStringLiteral("\"%1\" is no prepared report of this program").arg(fileName));
    PreparedReport r;
    qint32 pages = 0;
    s >> r.title >> pages;
    for (qint32 i = 0; i < pages && s.status() == QDataStream::Ok; ++i) {
        PreparedPage p;
        qint32 n = 0;
        s >> p.sizeMm >> n;
        for (qint32 j = 0; j < n && s.status() == QDataStream::Ok; ++j) {
            PreparedObject o;
            qint32 kind, band, serial, align;
            quint32 sides;
            s >> kind >> band >> serial >> o.name >> o.rectMm >> o.text >> o.raw >> o.font >> align >> o.wordWrap
                >> sides >> o.frameWidthMm >> o.frameColor >> o.fill >> o.fill2 >> o.picture >> o.image;
            if (kind < 0 || kind > int(PreparedObject::Kind::Gradient) || band < 0 || band > int(BandKind::PageFooter))
                throw ReportError(QStringLiteral("\"%1\" is damaged: an object of an unknown kind").arg(fileName));
            o.kind = PreparedObject::Kind(kind);
            o.band = BandKind(band);
            o.bandSerial = serial;
            o.align = align;
            o.frameSides = sides;
            p.objects << std::move(o);
        }
        r.pages << std::move(p);
    }
    if (s.status() != QDataStream::Ok)
        throw ReportError(QStringLiteral("\"%1\" is damaged: it ends before its last page").arg(fileName));
    return r;
}

} // namespace report
