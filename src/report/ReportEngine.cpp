#include "ReportEngine.h"

#include "Paint.h"
#include "ReportData.h"
#include "ReportExpr.h"

#include <QDir>
#include <QHash>
#include <QImageReader>
#include <QTextLayout>

namespace report {

namespace {

constexpr double kEps = 1e-6;

// A band evaluated for the current records, not yet placed: objects relative to its top.
struct BandInstance {
    BandKind kind = BandKind::ReportTitle;
    double heightMm = 0;
    QVector<PreparedObject> objects;
    struct Deferred {
        int object;             // index into objects
        const TemplateObject *source;
        QStringList parts;      // evaluated parts; those that need the page count are empty
    };
    QVector<Deferred> deferred;
};

class Engine {
public:
    Engine(const ReportTemplate &t, const QList<ReportDataset *> &datasets, const PrepareOptions &opt)
        : t_(t), opt_(opt), locale_(t.locale())
    {
        for (ReportDataset *d : datasets)
            if (d)
                datasets_.insert(d->userName(), d);
        ctx_.dataset = [this](const QString &n) -> const ReportDataset * { return datasets_.value(n, nullptr); };
        ctx_.now = opt.now.isValid() ? opt.now : QDateTime::currentDateTime();
        const TemplatePage &p = t.page;
        pageSize_ = p.sizeMm;
        footer_ = t.band(BandKind::PageFooter);
        bottomLimit_ = p.sizeMm.height() - p.bottomMm - (footer_ ? footer_->heightMm : 0);
    }

    PreparedReport run()
    {
        startPage();
        const TemplateBand *master = t_.band(BandKind::MasterData);
        const TemplateBand *detail = t_.band(BandKind::DetailData);
        if (master) {
            ReportDataset *md = datasetOf(*master);
            ReportDataset *dd = detail ? datasetOf(*detail) : nullptr;
            md->first();
            bool firstRecord = true;
            while (!md->eof()) {
                QVector<BandInstance> group;
                if (firstRecord)
                    if (const TemplateBand *h = t_.band(BandKind::MasterHeader))
                        group << render(*h);
                group << render(*master);
                bool detailRows = false;
                if (dd) {
                    dd->first();
                    detailRows = !dd->eof();
                    if (detailRows) {
                        if (const TemplateBand *h = t_.band(BandKind::DetailHeader))
                            group << render(*h);
                        group << render(*detail);
                    }
                }
                // An object's header rows go with its first detail row.
                double h = 0;
                for (const BandInstance &b : group)
                    h += b.heightMm;
                ensureRoom(h);
                for (BandInstance &b : group)
                    place(b);
                if (detailRows) {
                    for (dd->next(); !dd->eof(); dd->next()) {
                        BandInstance b = render(*detail);
                        place(b);
                    }
                    if (const TemplateBand *f = t_.band(BandKind::DetailFooter)) {
                        BandInstance b = render(*f);
                        place(b);
                    }
                }
                firstRecord = false;
                md->next();
            }
            if (!firstRecord)
                if (const TemplateBand *f = t_.band(BandKind::MasterFooter)) {
                    BandInstance b = render(*f);
                    place(b);
                }
        }
        if (const TemplateBand *s = t_.band(BandKind::ReportSummary)) {
            BandInstance b = render(*s);
            place(b);
        }
        finishPage();
        resolveDeferred();
        PreparedReport r;
        r.title = t_.title;
        r.pages = std::move(pages_);
        return r;
    }

private:
    ReportDataset *datasetOf(const TemplateBand &b)
    {
        ReportDataset *d = datasets_.value(b.dataset, nullptr);
        if (!d)
            throw ReportError(QStringLiteral("The %1 band's dataset \"%2\" is not available")
                                  .arg(bandKindName(b.kind), b.dataset));
        return d;
    }

    const CompiledText &compiled(const TemplateObject &o)
    {
        auto it = texts_.find(&o);
        if (it == texts_.end())
            it = texts_.insert(&o, CompiledText::compile(o.text));
        return it.value();
    }

    QImage imageOf(const TemplateObject &o)
    {
        if (o.imageFile.isEmpty())
            return QImage();
        auto it = images_.find(o.imageFile);
        if (it == images_.end()) {
            const QString path = QDir(t_.folder).absoluteFilePath(o.imageFile);
            QImageReader reader(path);
            QImage img = reader.read();
            if (img.isNull())
                throw ReportError(QStringLiteral("Picture \"%1\" of object \"%2\": %3").arg(path, o.name, reader.errorString()));
            it = images_.insert(o.imageFile, img);
        }
        return it.value();
    }

    BandInstance render(const TemplateBand &band)
    {
        BandInstance b;
        b.kind = band.kind;
        b.heightMm = band.heightMm;
        const int serial = serial_++;
        for (const TemplateObject &o : band.objects) {
            PrintObject sender;
            sender.name = o.name;
            sender.kind = o.kind;
            sender.widthPx = mmToPx(o.rectMm.width());
            sender.heightPx = mmToPx(o.rectMm.height());
            if (opt_.beforePrint)
                opt_.beforePrint(sender);

            PreparedObject p;
            p.kind = o.kind;
            p.band = band.kind;
            p.bandSerial = serial;
            p.name = o.name;
            p.rectMm = o.rectMm;
            p.font = o.font;
            p.align = o.align;
            p.wordWrap = o.wordWrap;
            p.frameSides = o.frameSides;
            p.frameWidthMm = o.frameWidthMm;
            p.frameColor = o.frameColor;
            p.fill = o.fill;
            p.fill2 = o.fill2;
            if (o.kind == PreparedObject::Kind::Picture) {
                if (sender.hasPicture())
                    p.picture = *sender.picture;
                else
                    p.image = imageOf(o);
            } else if (o.kind == PreparedObject::Kind::Text) {
                const CompiledText &ct = compiled(o);
                QStringList parts;
                bool deferred = false;
                for (const CompiledText::Part &part : ct.parts()) {
                    if (part.expr < 0) {
                        parts << part.literal;
                        continue;
                    }
                    const Expression &e = ct.expressions()[part.expr];
                    if (e.usesTotalPages()) {
                        parts << QString();
                        deferred = true;
                        continue;
                    }
                    const QVariant v = e.evaluate(ctx_);
                    if (ct.isSingleExpression())
                        p.raw = v;
                    parts << formatValue(v, o.format, locale_);
                }
                p.text = parts.join(QString());
                if (deferred)
                    b.deferred.push_back({int(b.objects.size()), &o, parts});
                if (o.stretch) {
                    QTextLayout layout;
                    const double wPx = mmToPx(o.rectMm.width()) - 2 * kTextGapX;
                    const double hMm = pxToMm(layoutText(layout, p.text, fontFor(p.font), wPx, o.wordWrap) + 2 * kTextGapY);
                    if (hMm > p.rectMm.height())
                        p.rectMm.setHeight(hMm);
                    b.heightMm = qMax(b.heightMm, p.rectMm.bottom());
                }
            }
            b.objects << std::move(p);
        }
        return b;
    }

    PreparedPage &page() { return pages_.last(); }

    void startPage()
    {
        PreparedPage p;
        p.sizeMm = pageSize_;
        pages_ << p;
        ctx_.page = int(pages_.size());
        y_ = t_.page.topMm;
        pageHasContent_ = false;
        if (pages_.size() == 1)
            if (const TemplateBand *title = t_.band(BandKind::ReportTitle)) {
                BandInstance b = render(*title);
                put(b, y_);
                y_ += b.heightMm;
                pageHasContent_ = true;
            }
        if (const TemplateBand *h = t_.band(BandKind::PageHeader)) {
            BandInstance b = render(*h);
            put(b, y_);
            y_ += b.heightMm;
        }
    }

    void finishPage()
    {
        if (footer_) {
            BandInstance b = render(*footer_);
            put(b, t_.page.sizeMm.height() - t_.page.bottomMm - footer_->heightMm, false);
        }
    }

    void newPage()
    {
        finishPage();
        startPage();
    }

    // Starts a new page unless what follows fits, or the page holds nothing to move away
    // from (a band taller than a page is then placed alone and cut).
    void ensureRoom(double heightMm)
    {
        if (y_ + heightMm > bottomLimit_ + kEps && pageHasContent_)
            newPage();
    }

    void place(BandInstance &b)
    {
        ensureRoom(b.heightMm);
        put(b, y_, true);
        y_ = qMin(bottomLimit_, y_ + b.heightMm);
        pageHasContent_ = true;
    }

    // Puts a band's objects on the current page with their top at `top`; with `cut`, what
    // lies below the bottom limit is left off.
    void put(BandInstance &b, double top, bool cut = true)
    {
        const double left = t_.page.leftMm;
        const double limit = cut ? bottomLimit_ : t_.page.sizeMm.height();
        QHash<int, int> moved; // band object index -> page object index
        for (int i = 0; i < b.objects.size(); ++i) {
            PreparedObject &o = b.objects[i];
            o.rectMm.translate(left, top);
            if (o.rectMm.top() >= limit - kEps && o.rectMm.height() > 0)
                continue;
            if (o.rectMm.bottom() > limit)
                o.rectMm.setBottom(limit);
            moved.insert(i, int(page().objects.size()));
            page().objects << std::move(o);
        }
        for (const BandInstance::Deferred &d : b.deferred)
            if (moved.contains(d.object))
                deferred_.push_back({int(pages_.size()) - 1, moved.value(d.object), d.source, d.parts});
    }

    void resolveDeferred()
    {
        ExprContext c = ctx_;
        c.totalPages = int(pages_.size());
        for (const Pending &d : deferred_) {
            c.page = d.page + 1;
            const CompiledText &ct = compiled(*d.source);
            QStringList parts = d.parts;
            PreparedObject &o = pages_[d.page].objects[d.object];
            for (int i = 0; i < int(ct.parts().size()); ++i) {
                const int e = ct.parts()[i].expr;
                if (e >= 0 && ct.expressions()[e].usesTotalPages()) {
                    const QVariant v = ct.expressions()[e].evaluate(c);
                    if (ct.isSingleExpression())
                        o.raw = v;
                    parts[i] = formatValue(v, d.source->format, locale_);
                }
            }
            o.text = parts.join(QString());
        }
    }

    struct Pending {
        int page;
        int object;
        const TemplateObject *source;
        QStringList parts;
    };

    const ReportTemplate &t_;
    const PrepareOptions &opt_;
    QLocale locale_;
    QHash<QString, ReportDataset *> datasets_;
    ExprContext ctx_;
    QHash<const TemplateObject *, CompiledText> texts_;
    QHash<QString, QImage> images_;
    QVector<PreparedPage> pages_;
    std::vector<Pending> deferred_;
    const TemplateBand *footer_ = nullptr;
    QSizeF pageSize_;
    double bottomLimit_ = 0;
    double y_ = 0;
    bool pageHasContent_ = false;
    int serial_ = 0;
};

const char *kindName(PreparedObject::Kind k)
{
    switch (k) {
    case PreparedObject::Kind::Text: return "Text";
    case PreparedObject::Kind::Picture: return "Picture";
    case PreparedObject::Kind::Line: return "Line";
    case PreparedObject::Kind::Rectangle: return "Rect";
    case PreparedObject::Kind::Gradient: return "Gradient";
    }
    return "";
}

} // namespace

PreparedReport prepareReport(const ReportTemplate &tpl, const QList<ReportDataset *> &datasets,
                             const PrepareOptions &options)
{
    if (tpl.isEmpty())
        return PreparedReport{};
    return Engine(tpl, datasets, options).run();
}

QString dumpPreparedReport(const PreparedReport &report)
{
    QString out;
    for (int p = 0; p < report.pages.size(); ++p)
        for (const PreparedObject &o : report.pages[p].objects) {
            out += QStringLiteral("p%1 %2#%3 %4 %5 y=%6 h=%7")
                       .arg(p + 1)
                       .arg(bandKindName(o.band))
                       .arg(o.bandSerial)
                       .arg(QLatin1String(kindName(o.kind)), o.name)
                       .arg(o.rectMm.top(), 0, 'f', 1)
                       .arg(o.rectMm.height(), 0, 'f', 1);
            if (o.kind == PreparedObject::Kind::Text)
                out += QStringLiteral(" \"%1\"").arg(o.text);
            out += QLatin1Char('\n');
        }
    return out;
}

} // namespace report
