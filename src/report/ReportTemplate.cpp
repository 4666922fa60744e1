#include "ReportTemplate.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace report {

namespace {

struct KindName {
    BandKind kind;
    const char *name;
};
const KindName kBandNames[] = {
    {BandKind::ReportTitle, "ReportTitle"},   {BandKind::PageHeader, "PageHeader"},
    {BandKind::MasterHeader, "MasterHeader"}, {BandKind::MasterData, "MasterData"},
    {BandKind::MasterFooter, "MasterFooter"}, {BandKind::DetailHeader, "DetailHeader"},
    {BandKind::DetailData, "DetailData"},     {BandKind::DetailFooter, "DetailFooter"},
    {BandKind::ReportSummary, "ReportSummary"}, {BandKind::PageFooter, "PageFooter"},
};

class Reader {
public:
    Reader(const QByteArray &xml, const QString &file) : x_(xml), file_(file) {}

    ReportTemplate read()
    {
        ReportTemplate t;
        if (!x_.readNextStartElement() || x_.name() != QLatin1String("report"))
            fail(QStringLiteral("the file is no report template (its root element must be <report>)"));
        t.title = attr("title");
        t.language = attr("language", QStringLiteral("en"));
        while (x_.readNextStartElement()) {
            const auto n = x_.name();
            if (n == QLatin1String("page")) {
                readPage(t.page);
            } else if (n == QLatin1String("datasets")) {
                while (x_.readNextStartElement()) {
                    if (x_.name() != QLatin1String("dataset"))
                        fail(QStringLiteral("unknown element <%1> in <datasets>").arg(x_.name()));
                    t.datasets << attr("name");
                    x_.skipCurrentElement();
                }
            } else if (n == QLatin1String("style")) {
                TemplateStyle s;
                s.name = attr("name");
                readFont(s.font);
                readFrame(s.frameSides, s.frameWidthMm, s.frameColor);
                s.fill = colour("fill", QColor());
                t.styles.insert(s.name, s);
                x_.skipCurrentElement();
            } else if (n == QLatin1String("band")) {
                t.bands << readBand(t);
            } else {
                fail(QStringLiteral("unknown element <%1>").arg(n));
            }
        }
        if (x_.hasError())
            fail(x_.errorString());
        return t;
    }

private:
    [[noreturn]] void fail(const QString &what)
    {
        throw ReportError(QStringLiteral("Template \"%1\", line %2: %3").arg(file_).arg(x_.lineNumber()).arg(what));
    }

    QString attr(const char *name, const QString &def = QString()) const
    {
        const auto a = x_.attributes();
        return a.hasAttribute(QLatin1String(name)) ? a.value(QLatin1String(name)).toString() : def;
    }

    double number(const char *name, double def)
    {
        const QString s = attr(name);
        if (s.isEmpty())
            return def;
        bool ok = false;
        const double v = QLocale::c().toDouble(s.trimmed(), &ok);
        if (!ok)
            fail(QStringLiteral("attribute %1=\"%2\" is no number (write numbers with a dot)").arg(QLatin1String(name), s));
        return v;
    }

    bool flag(const char *name, bool def)
    {
        const QString s = attr(name).trimmed().toLower();
        if (s.isEmpty())
            return def;
        if (s == QLatin1String("true") || s == QLatin1String("1") || s == QLatin1String("yes"))
            return true;
        if (s == QLatin1String("false") || s == QLatin1String("0") || s == QLatin1String("no"))
            return false;
        fail(QStringLiteral("attribute %1=\"%2\" must be true or false").arg(QLatin1String(name), s));
    }

    QColor colour(const char *name, const QColor &def)
    {
        const QString s = attr(name).trimmed();
        if (s.isEmpty())
            return def;
        if (s == QLatin1String("none") || s == QLatin1String("transparent"))
            return QColor();
        QColor c = QColor::fromString(s);
        if (!c.isValid())
            fail(QStringLiteral("attribute %1=\"%2\" is no colour").arg(QLatin1String(name), s));
        return c;
    }

    void readPage(TemplatePage &p)
    {
        const QString paper = attr("paper").toUpper();
        QSizeF size(210, 297);
        if (paper == QLatin1String("A5"))
            size = QSizeF(148, 210);
        else if (paper == QLatin1String("LETTER"))
            size = QSizeF(215.9, 279.4);
        else if (!paper.isEmpty() && paper != QLatin1String("A4"))
            fail(QStringLiteral("unknown paper \"%1\" (A4, A5, Letter, or width and height)").arg(paper));
        if (attr("orientation") == QLatin1String("landscape"))
            size.transpose();
        size.setWidth(number("width", size.width()));
        size.setHeight(number("height", size.height()));
        if (size.width() <= 0 || size.height() <= 0)
            fail(QStringLiteral("the page must have a width and a height"));
        p.sizeMm = size;
        const double m = number("margins", 10);
        p.leftMm = number("left", m);
        p.topMm = number("top", m);
        p.rightMm = number("right", m);
        p.bottomMm = number("bottom", m);
        if (p.leftMm + p.rightMm >= size.width() || p.topMm + p.bottomMm >= size.height())
            fail(QStringLiteral("the margins leave no room on the page"));
        x_.skipCurrentElement();
    }

    void readFont(PreparedFont &f)
    {
        f.family = attr("font", f.family);
        f.pixelSize = number("size", f.pixelSize);
        f.bold = flag("bold", f.bold);
        f.italic = flag("italic", f.italic);
        f.underline = flag("underline", f.underline);
        f.color = colour("color", f.color);
        if (!f.color.isValid())
            f.color = Qt::black;
    }

    void readFrame(unsigned &sides, double &width, QColor &color)
    {
        const QString s = attr("frame").trimmed().toLower();
        if (!s.isEmpty()) {
            sides = FrameNone;
            for (const QString &part : s.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
                const QString p = part.trimmed();
                if (p == QLatin1String("all"))
                    sides |= FrameAll;
                else if (p == QLatin1String("left"))
                    sides |= FrameLeft;
                else if (p == QLatin1String("top"))
                    sides |= FrameTop;
                else if (p == QLatin1String("right"))
                    sides |= FrameRight;
                else if (p == QLatin1String("bottom"))
                    sides |= FrameBottom;
                else if (p != QLatin1String("none"))
                    fail(QStringLiteral("unknown frame side \"%1\"").arg(p));
            }
        }
        width = number("frameWidth", width);
        color = colour("frameColor", color);
    }

    int alignment()
    {
        const QString s = attr("align").trimmed().toLower();
        if (s.isEmpty())
            return Qt::AlignLeft | Qt::AlignTop;
        int h = Qt::AlignLeft, v = Qt::AlignTop;
        for (const QString &part : s.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            const QString p = part.trimmed();
            if (p == QLatin1String("left"))
                h = Qt::AlignLeft;
            else if (p == QLatin1String("right"))
                h = Qt::AlignRight;
            else if (p == QLatin1String("center"))
                h = Qt::AlignHCenter;
            else if (p == QLatin1String("top"))
                v = Qt::AlignTop;
            else if (p == QLatin1String("bottom"))
                v = Qt::AlignBottom;
            else if (p == QLatin1String("vcenter"))
                v = Qt::AlignVCenter;
            else
                fail(QStringLiteral("unknown alignment \"%1\"").arg(p));
        }
        return h | v;
    }

    TemplateBand readBand(const ReportTemplate &t)
    {
        TemplateBand b;
        const QString kind = attr("kind");
        bool known = false;
        for (const KindName &k : kBandNames)
            if (kind == QLatin1String(k.name)) {
                b.kind = k.kind;
                known = true;
            }
        if (!known)
            fail(QStringLiteral("unknown band kind \"%1\"").arg(kind));
        for (const TemplateBand &other : t.bands)
            if (other.kind == b.kind)
                fail(QStringLiteral("a second %1 band").arg(kind));
        b.heightMm = number("height", 0);
        if (b.heightMm < 0)
            fail(QStringLiteral("a band's height cannot be negative"));
        b.dataset = attr("dataset");
        if ((b.kind == BandKind::MasterData || b.kind == BandKind::DetailData) && b.dataset.isEmpty())
            fail(QStringLiteral("the %1 band names no dataset").arg(kind));
        while (x_.readNextStartElement())
            b.objects << readObject(t);
        return b;
    }

    TemplateObject readObject(const ReportTemplate &t)
    {
        TemplateObject o;
        const auto n = x_.name();
        if (n == QLatin1String("text"))
            o.kind = TemplateObject::Kind::Text;
        else if (n == QLatin1String("picture"))
            o.kind = TemplateObject::Kind::Picture;
        else if (n == QLatin1String("line"))
            o.kind = TemplateObject::Kind::Line;
        else if (n == QLatin1String("rect"))
            o.kind = TemplateObject::Kind::Rectangle;
        else if (n == QLatin1String("gradient"))
            o.kind = TemplateObject::Kind::Gradient;
        else
            fail(QStringLiteral("unknown object <%1>").arg(n));
        o.name = attr("name");
        o.rectMm = QRectF(number("x", 0), number("y", 0), number("width", 0), number("height", 0));
        if (o.rectMm.width() < 0 || o.rectMm.height() < 0)
            if (o.kind != TemplateObject::Kind::Line)
                fail(QStringLiteral("object \"%1\" has a negative size").arg(o.name));
        o.style = attr("style");
        if (!o.style.isEmpty()) {
            const auto it = t.styles.constFind(o.style);
            if (it == t.styles.constEnd())
                fail(QStringLiteral("object \"%1\" names the unknown style \"%2\"").arg(o.name, o.style));
            o.font = it->font;
            o.frameSides = it->frameSides;
            o.frameWidthMm = it->frameWidthMm;
            o.frameColor = it->frameColor;
            o.fill = it->fill;
        }
        readFont(o.font);
        readFrame(o.frameSides, o.frameWidthMm, o.frameColor);
        o.fill = colour("fill", o.fill);
        o.fill2 = colour("fill2", QColor());
        o.align = alignment();
        o.wordWrap = flag("wrap", true);
        o.stretch = flag("stretch", false);
        o.format = attr("format");
        if (!o.format.isEmpty() && !o.format.startsWith(QLatin1String("number:"))
            && !o.format.startsWith(QLatin1String("date:")))
            fail(QStringLiteral("object \"%1\": a format begins with \"number:\" or \"date:\"").arg(o.name));
        o.imageFile = attr("file");
        o.text = attr("field");
        if (o.kind == TemplateObject::Kind::Text)
            o.text = x_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        else
            x_.skipCurrentElement();
        return o;
    }

    QXmlStreamReader x_;
    QString file_;
};

} // namespace

QString bandKindName(BandKind kind)
{
    for (const KindName &k : kBandNames)
        if (k.kind == kind)
            return QLatin1String(k.name);
    return QString();
}

const TemplateBand *ReportTemplate::band(BandKind kind) const
{
    for (const TemplateBand &b : bands)
        if (b.kind == kind)
            return &b;
    return nullptr;
}

QLocale ReportTemplate::locale() const
{
    if (language.isEmpty())
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return QLocale(language);
}

ReportTemplate parseTemplate(const QByteArray &xml, const QString &fileName)
{
    return Reader(xml, fileName).read();
}

ReportTemplate readTemplate(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ReportError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString()));
    ReportTemplate t = parseTemplate(f.readAll(), path);
    t.folder = QFileInfo(path).absolutePath();
    return t;
}

} // namespace report
