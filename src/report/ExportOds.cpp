#include "report/ExportOds.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>
#include <QSet>
#include <QXmlStreamWriter>

#include <list>
#include <map>
#include <tuple>
#include <zip.h>

namespace report {

namespace {

const QString NsOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString NsStyle = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString NsText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString NsTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString NsDraw = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
const QString NsFo = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
const QString NsXlink = QStringLiteral("http://www.w3.org/1999/xlink");
const QString NsDc = QStringLiteral("http://purl.org/dc/elements/1.1/");
const QString NsMeta = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:meta:1.0");
const QString NsNumber = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0");
const QString NsSvg = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
const QString NsManifest = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
const QString MimeType = QStringLiteral("application/vnd.oasis.opendocument.spreadsheet");

QString generator()
{
    return QStringLiteral("ARVEX TECHNOLOGY pH meter program %1").arg(QStringLiteral("1.07"));
}

QString mm(double v) { return QString::number(v, 'f', 2) + QStringLiteral("mm"); }

void declareNamespaces(QXmlStreamWriter &w)
{
    w.writeNamespace(NsOffice, QStringLiteral("office"));
    w.writeNamespace(NsStyle, QStringLiteral("style"));
    w.writeNamespace(NsText, QStringLiteral("text"));
    w.writeNamespace(NsTable, QStringLiteral("table"));
    w.writeNamespace(NsDraw, QStringLiteral("draw"));
    w.writeNamespace(NsFo, QStringLiteral("fo"));
    w.writeNamespace(NsXlink, QStringLiteral("xlink"));
    w.writeNamespace(NsDc, QStringLiteral("dc"));
    w.writeNamespace(NsMeta, QStringLiteral("meta"));
    w.writeNamespace(NsNumber, QStringLiteral("number"));
    w.writeNamespace(NsSvg, QStringLiteral("svg"));
}

struct CellStyleKey {
    QString family;
    double pt;
    bool bold, italic, underline;
    QRgb colour;
    int align;
    bool wrap;
    unsigned sides;
    double frameMm;
    QRgb frameColour;
    QRgb fill;
    bool hasFill;
    QString dataStyle;
    bool operator<(const CellStyleKey &o) const
    {
        return std::tie(family, pt, bold, italic, underline, colour, align, wrap, sides, frameMm, frameColour, fill,
                        hasFill, dataStyle) < std::tie(o.family, o.pt, o.bold, o.italic, o.underline, o.colour, o.align,
                                                       o.wrap, o.sides, o.frameMm, o.frameColour, o.fill, o.hasFill,
                                                       o.dataStyle);
    }
};

// Text of a paragraph with runs of blanks and tabs as ODF wants them.
void writeParagraphText(QXmlStreamWriter &w, const QString &line)
{
    QString run;
    int i = 0;
    while (i < line.size()) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\t')) {
            w.writeCharacters(run);
            run.clear();
            w.writeEmptyElement(NsText, QStringLiteral("tab"));
            ++i;
        } else if (c == QLatin1Char(' ') && (i == 0 || (i + 1 < line.size() && line.at(i + 1) == QLatin1Char(' ')))) {
            const int runStart = i;
            int n = 0;
            while (i < line.size() && line.at(i) == QLatin1Char(' '))
                ++n, ++i;
            if (runStart > 0) { // keep one ordinary blank after a word
                run += QLatin1Char(' ');
                --n;
            }
            w.writeCharacters(run);
            run.clear();
            if (n > 0) {
                w.writeEmptyElement(NsText, QStringLiteral("s"));
                if (n > 1)
                    w.writeAttribute(NsText, QStringLiteral("c"), QString::number(n));
            }
        } else {
            if (c.unicode() >= 32 || c == QLatin1Char('\n'))
                run += c;
            ++i;
        }
    }
    w.writeCharacters(run);
}

QString isoDateTime(const QDateTime &dt, bool dateOnly)
{
    if (dateOnly)
        return dt.date().toString(Qt::ISODate);
    return dt.date().toString(Qt::ISODate) + QLatin1Char('T') +
           dt.time().toString(dt.time().msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

class Zip {
public:
    Zip()
    {
        zip_error_init(&error_);
        source_ = zip_source_buffer_create(nullptr, 0, 0, &error_);
        if (source_)
            archive_ = zip_open_from_source(source_, ZIP_TRUNCATE, &error_);
        if (archive_)
            zip_source_keep(source_);
    }
    ~Zip()
    {
        if (archive_)
            zip_discard(archive_);
        if (source_)
            zip_source_free(source_);
        zip_error_fini(&error_);
    }
    bool add(const QString &name, const QByteArray &data, bool store)
    {
        if (!archive_)
            return false;
        keep_.push_back(data);
        zip_source_t *s = zip_source_buffer(archive_, keep_.back().constData(), zip_uint64_t(data.size()), 0);
        if (!s)
            return false;
        const zip_int64_t index = zip_file_add(archive_, name.toUtf8().constData(), s, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(s);
            return false;
        }
        return zip_set_file_compression(archive_, zip_uint64_t(index), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) == 0;
    }
    // Closes the archive and gives its bytes.
    bool finish(QByteArray &out, QString &why)
    {
        if (!archive_ || zip_close(archive_) != 0) {
            why = QString::fromUtf8(archive_ ? zip_strerror(archive_) : zip_error_strerror(&error_));
            return false;
        }
        archive_ = nullptr;
        zip_stat_t st;
        if (zip_source_stat(source_, &st) != 0 || zip_source_open(source_) != 0) {
            why = QString::fromUtf8(zip_error_strerror(zip_source_error(source_)));
            return false;
        }
        out.resize(qsizetype(st.size));
        const zip_int64_t n = zip_source_read(source_, out.data(), st.size);
        zip_source_close(source_);
        if (n != zip_int64_t(st.size)) {
            why = QStringLiteral("The package could not be read back.");
            return false;
        }
        return true;
    }

private:
    zip_error_t error_;
    zip_source_t *source_ = nullptr;
    zip_t *archive_ = nullptr;
    std::list<QByteArray> keep_; // the data of each entry lives until the archive is closed
};

QByteArray contentXml(const QVector<OdsSheet> &sheets, QVector<QPair<QString, QByteArray>> &pictures)
{
    // Styles first: every column width, row height, number format and cell look in use.
    std::map<long, QString> columnStyles, rowStyles; // width/height in 1/100 mm
    std::map<int, QString> numberStyles;             // decimals
    std::map<CellStyleKey, QString> cellStyles;
    QVector<QVector<QString>> cellStyleOf(sheets.size());
    QSet<QString> fontFaces;
    for (int s = 0; s < sheets.size(); ++s) {
        const DataGrid &g = sheets[s].grid;
        for (double w : g.columnWidthsMm)
            columnStyles.emplace(std::lround(w * 100), QString());
        for (double h : g.rowHeightsMm)
            rowStyles.emplace(std::lround(h * 100), QString());
        cellStyleOf[s].resize(g.cells.size());
        for (int i = 0; i < g.cells.size(); ++i) {
            const DataGridCell &c = g.cells[i];
            QString data;
            if (c.type == DataGridCell::Type::Number && c.decimals >= 0) {
                numberStyles.emplace(c.decimals, QString());
                data = QStringLiteral("N%1").arg(c.decimals);
            } else if (c.type == DataGridCell::Type::DateTime) {
                data = c.dateParts == DataGridCell::ShowsDate   ? QStringLiteral("D")
                       : c.dateParts == DataGridCell::ShowsTime ? QStringLiteral("T")
                                                                : QStringLiteral("DT");
            } else if (c.type == DataGridCell::Type::Date) {
                data = QStringLiteral("D");
            }
            const QString family = c.font.family.isEmpty() ? QStringLiteral("Arial") : c.font.family;
            fontFaces.insert(family);
            CellStyleKey k{family,
                           std::round(c.font.pixelSize * 0.75 * 100) / 100,
                           c.font.bold,
                           c.font.italic,
                           c.font.underline,
                           (c.font.color.isValid() ? c.font.color : QColor(Qt::black)).rgb(),
                           c.align,
                           c.wordWrap,
                           c.frameSides & FrameAll,
                           c.frameSides ? c.frameWidthMm : 0,
                           c.frameSides ? c.frameColor.rgb() : 0,
                           c.fill.isValid() ? c.fill.rgb() : 0,
                           c.fill.isValid() && c.fill.alpha() > 0,
                           data};
            auto it = cellStyles.find(k);
            if (it == cellStyles.end())
                it = cellStyles.emplace(k, QStringLiteral("ce%1").arg(cellStyles.size() + 1)).first;
            cellStyleOf[s][i] = it->second;
        }
    }
    int n = 0;
    for (auto &[w, name] : columnStyles)
        name = QStringLiteral("co%1").arg(++n);
    n = 0;
    for (auto &[h, name] : rowStyles)
        name = QStringLiteral("ro%1").arg(++n);

    QByteArray xml;
    QBuffer buffer(&xml);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter w(&buffer);
    w.writeStartDocument();
    w.writeStartElement(NsOffice, QStringLiteral("document-content"));
    declareNamespaces(w);
    w.writeAttribute(NsOffice, QStringLiteral("version"), QStringLiteral("1.2"));

    w.writeStartElement(NsOffice, QStringLiteral("font-face-decls"));
    QStringList faces(fontFaces.begin(), fontFaces.end());
    faces.sort();
    for (const QString &f : std::as_const(faces)) {
        w.writeEmptyElement(NsStyle, QStringLiteral("font-face"));
        w.writeAttribute(NsStyle, QStringLiteral("name"), f);
        w.writeAttribute(NsSvg, QStringLiteral("font-family"), f);
    }
    w.writeEndElement();

    w.writeStartElement(NsOffice, QStringLiteral("automatic-styles"));
    for (const auto &[width, name] : columnStyles) {
        w.writeStartElement(NsStyle, QStringLiteral("style"));
        w.writeAttribute(NsStyle, QStringLiteral("name"), name);
        w.writeAttribute(NsStyle, QStringLiteral("family"), QStringLiteral("table-column"));
        w.writeEmptyElement(NsStyle, QStringLiteral("table-column-properties"));
        w.writeAttribute(NsStyle, QStringLiteral("column-width"), mm(width / 100.0));
        w.writeEndElement();
    }
    for (const auto &[height, name] : rowStyles) {
        w.writeStartElement(NsStyle, QStringLiteral("style"));
        w.writeAttribute(NsStyle, QStringLiteral("name"), name);
        w.writeAttribute(NsStyle, QStringLiteral("family"), QStringLiteral("table-row"));
        w.writeEmptyElement(NsStyle, QStringLiteral("table-row-properties"));
        w.writeAttribute(NsStyle, QStringLiteral("row-height"), mm(height / 100.0));
        w.writeAttribute(NsStyle, QStringLiteral("use-optimal-row-height"), QStringLiteral("false"));
        w.writeEndElement();
    }
    for (const auto &[decimals, unused] : numberStyles) {
        w.writeStartElement(NsNumber, QStringLiteral("number-style"));
        w.writeAttribute(NsStyle, QStringLiteral("name"), QStringLiteral("N%1").arg(decimals));
        w.writeEmptyElement(NsNumber, QStringLiteral("number"));
        w.writeAttribute(NsNumber, QStringLiteral("decimal-places"), QString::number(decimals));
        w.writeAttribute(NsNumber, QStringLiteral("min-integer-digits"), QStringLiteral("1"));
        w.writeEndElement();
    }
    for (int parts : {3, 1, 2}) {
        const bool withDate = parts & 1, withTime = parts & 2;
        w.writeStartElement(NsNumber, withDate ? QStringLiteral("date-style") : QStringLiteral("time-style"));
        w.writeAttribute(NsStyle, QStringLiteral("name"), parts == 3 ? QStringLiteral("DT") : withDate ? QStringLiteral("D") : QStringLiteral("T"));
        auto part = [&](const char *el) {
            w.writeEmptyElement(NsNumber, QLatin1String(el));
            w.writeAttribute(NsNumber, QStringLiteral("style"), QStringLiteral("long"));
        };
        auto lit = [&](const char *t) { w.writeTextElement(NsNumber, QStringLiteral("text"), QLatin1String(t)); };
        if (withDate) {
            part("year");
            lit("-");
            part("month");
            lit("-");
            part("day");
        }
        if (withTime) {
            if (withDate)
                lit(" ");
            part("hours");
            lit(":");
            part("minutes");
            lit(":");
            part("seconds");
        }
        w.writeEndElement();
    }
    for (const auto &[k, name] : cellStyles) {
        w.writeStartElement(NsStyle, QStringLiteral("style"));
        w.writeAttribute(NsStyle, QStringLiteral("name"), name);
        w.writeAttribute(NsStyle, QStringLiteral("family"), QStringLiteral("table-cell"));
        w.writeAttribute(NsStyle, QStringLiteral("parent-style-name"), QStringLiteral("Default"));
        if (!k.dataStyle.isEmpty())
            w.writeAttribute(NsStyle, QStringLiteral("data-style-name"), k.dataStyle);
        w.writeEmptyElement(NsStyle, QStringLiteral("table-cell-properties"));
        const QString border = QStringLiteral("%1 solid %2").arg(mm(k.frameMm), QColor(k.frameColour).name());
        if (k.sides & FrameLeft)
            w.writeAttribute(NsFo, QStringLiteral("border-left"), border);
        if (k.sides & FrameRight)
            w.writeAttribute(NsFo, QStringLiteral("border-right"), border);
        if (k.sides & FrameTop)
            w.writeAttribute(NsFo, QStringLiteral("border-top"), border);
        if (k.sides & FrameBottom)
            w.writeAttribute(NsFo, QStringLiteral("border-bottom"), border);
        if (k.hasFill)
            w.writeAttribute(NsFo, QStringLiteral("background-color"), QColor(k.fill).name());
        w.writeAttribute(NsStyle, QStringLiteral("vertical-align"),
                         k.align & Qt::AlignBottom    ? QStringLiteral("bottom")
                         : k.align & Qt::AlignVCenter ? QStringLiteral("middle")
                                                      : QStringLiteral("top"));
        if (k.wrap)
            w.writeAttribute(NsFo, QStringLiteral("wrap-option"), QStringLiteral("wrap"));
        if (k.align & (Qt::AlignRight | Qt::AlignHCenter | Qt::AlignJustify | Qt::AlignLeft)) {
            w.writeEmptyElement(NsStyle, QStringLiteral("paragraph-properties"));
            w.writeAttribute(NsFo, QStringLiteral("text-align"),
                             k.align & Qt::AlignRight     ? QStringLiteral("end")
                             : k.align & Qt::AlignHCenter ? QStringLiteral("center")
                             : k.align & Qt::AlignJustify ? QStringLiteral("justify")
                                                          : QStringLiteral("start"));
            w.writeAttribute(NsStyle, QStringLiteral("text-align-source"), QStringLiteral("fix"));
        }
        w.writeEmptyElement(NsStyle, QStringLiteral("text-properties"));
        w.writeAttribute(NsStyle, QStringLiteral("font-name"), k.family);
        w.writeAttribute(NsFo, QStringLiteral("font-size"), QString::number(k.pt) + QStringLiteral("pt"));
        if (k.bold)
            w.writeAttribute(NsFo, QStringLiteral("font-weight"), QStringLiteral("bold"));
        if (k.italic)
            w.writeAttribute(NsFo, QStringLiteral("font-style"), QStringLiteral("italic"));
        if (k.underline) {
            w.writeAttribute(NsStyle, QStringLiteral("text-underline-style"), QStringLiteral("solid"));
            w.writeAttribute(NsStyle, QStringLiteral("text-underline-width"), QStringLiteral("auto"));
            w.writeAttribute(NsStyle, QStringLiteral("text-underline-color"), QStringLiteral("font-color"));
        }
        w.writeAttribute(NsFo, QStringLiteral("color"), QColor(k.colour).name());
        w.writeAttribute(NsFo, QStringLiteral("language"), QStringLiteral("en"));
        w.writeAttribute(NsFo, QStringLiteral("country"), QStringLiteral("US"));
        w.writeEndElement();
    }
    w.writeEndElement(); // automatic-styles

    w.writeStartElement(NsOffice, QStringLiteral("body"));
    w.writeStartElement(NsOffice, QStringLiteral("spreadsheet"));
    for (int s = 0; s < sheets.size(); ++s) {
        const DataGrid &g = sheets[s].grid;
        w.writeStartElement(NsTable, QStringLiteral("table"));
        w.writeAttribute(NsTable, QStringLiteral("name"), sheets[s].name);
        for (double width : g.columnWidthsMm) {
            w.writeEmptyElement(NsTable, QStringLiteral("table-column"));
            w.writeAttribute(NsTable, QStringLiteral("style-name"), columnStyles[std::lround(width * 100)]);
        }
        if (g.columnCount() == 0)
            w.writeEmptyElement(NsTable, QStringLiteral("table-column"));
        // Which slots a span from above covers.
        QVector<int> coveredUntil(g.columnCount(), -1);
        int i = 0;
        for (int r = 0; r < g.rowCount(); ++r) {
            w.writeStartElement(NsTable, QStringLiteral("table-row"));
            w.writeAttribute(NsTable, QStringLiteral("style-name"), rowStyles[std::lround(g.rowHeightsMm[r] * 100)]);
            int col = 0;
            int emptyRun = 0;
            auto flushEmpty = [&]() {
                if (emptyRun == 0)
                    return;
                w.writeEmptyElement(NsTable, QStringLiteral("table-cell"));
                if (emptyRun > 1)
                    w.writeAttribute(NsTable, QStringLiteral("number-columns-repeated"), QString::number(emptyRun));
                emptyRun = 0;
            };
            while (col < g.columnCount()) {
                if (coveredUntil[col] >= r) {
                    flushEmpty();
                    w.writeEmptyElement(NsTable, QStringLiteral("covered-table-cell"));
                    ++col;
                    continue;
                }
                if (i >= g.cells.size() || g.cells[i].row != r || g.cells[i].column != col) {
                    ++emptyRun;
                    ++col;
                    continue;
                }
                flushEmpty();
                const DataGridCell &c = g.cells[i];
                w.writeStartElement(NsTable, QStringLiteral("table-cell"));
                w.writeAttribute(NsTable, QStringLiteral("style-name"), cellStyleOf[s][i]);
                if (c.rowSpan > 1)
                    w.writeAttribute(NsTable, QStringLiteral("number-rows-spanned"), QString::number(c.rowSpan));
                if (c.columnSpan > 1)
                    w.writeAttribute(NsTable, QStringLiteral("number-columns-spanned"), QString::number(c.columnSpan));
                if (c.isPicture()) {
                    const QString path = QStringLiteral("Pictures/picture%1.png").arg(pictures.size() + 1);
                    QByteArray png;
                    QBuffer pb(&png);
                    pb.open(QIODevice::WriteOnly);
                    c.image.save(&pb, "PNG");
                    pictures.push_back({path, png});
                    double width = 0, height = 0;
                    for (int k = c.column; k < c.column + c.columnSpan; ++k)
                        width += g.columnWidthsMm[k];
                    for (int k = c.row; k < c.row + c.rowSpan; ++k)
                        height += g.rowHeightsMm[k];
                    w.writeStartElement(NsDraw, QStringLiteral("frame"));
                    w.writeAttribute(NsDraw, QStringLiteral("z-index"), QStringLiteral("0"));
                    w.writeAttribute(NsSvg, QStringLiteral("width"), mm(width));
                    w.writeAttribute(NsSvg, QStringLiteral("height"), mm(height));
                    w.writeAttribute(NsSvg, QStringLiteral("x"), mm(0));
                    w.writeAttribute(NsSvg, QStringLiteral("y"), mm(0));
                    w.writeEmptyElement(NsDraw, QStringLiteral("image"));
                    w.writeAttribute(NsXlink, QStringLiteral("href"), path);
                    w.writeAttribute(NsXlink, QStringLiteral("type"), QStringLiteral("simple"));
                    w.writeAttribute(NsXlink, QStringLiteral("show"), QStringLiteral("embed"));
                    w.writeAttribute(NsXlink, QStringLiteral("actuate"), QStringLiteral("onLoad"));
                    w.writeEndElement();
                } else {
                    switch (c.type) {
                    case DataGridCell::Type::Number:
                        w.writeAttribute(NsOffice, QStringLiteral("value-type"), QStringLiteral("float"));
                        w.writeAttribute(NsOffice, QStringLiteral("value"), QString::number(c.number, 'g', 17));
                        break;
                    case DataGridCell::Type::DateTime:
                    case DataGridCell::Type::Date:
                        w.writeAttribute(NsOffice, QStringLiteral("value-type"), QStringLiteral("date"));
                        w.writeAttribute(NsOffice, QStringLiteral("date-value"),
                                         isoDateTime(c.dateTime, c.type == DataGridCell::Type::Date));
                        break;
                    case DataGridCell::Type::Text:
                        w.writeAttribute(NsOffice, QStringLiteral("value-type"), QStringLiteral("string"));
                        break;
                    }
                    QString text = c.text;
                    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
                    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
                    if (!text.isEmpty()) {
                        for (const QString &line : text.split(QLatin1Char('\n'))) {
                            w.writeStartElement(NsText, QStringLiteral("p"));
                            writeParagraphText(w, line);
                            w.writeEndElement();
                        }
                    }
                }
                w.writeEndElement(); // table-cell
                for (int k = c.column; k < c.column + c.columnSpan; ++k)
                    coveredUntil[k] = std::max(coveredUntil[k], r + c.rowSpan - 1);
                // The rest of this cell's first row is covered.
                for (int k = c.column + 1; k < c.column + c.columnSpan; ++k)
                    w.writeEmptyElement(NsTable, QStringLiteral("covered-table-cell"));
                col = c.column + c.columnSpan;
                ++i;
            }
            flushEmpty();
            w.writeEndElement(); // table-row
        }
        if (g.rowCount() == 0) {
            w.writeStartElement(NsTable, QStringLiteral("table-row"));
            w.writeEmptyElement(NsTable, QStringLiteral("table-cell"));
            w.writeEndElement();
        }
        w.writeEndElement(); // table
    }
    w.writeEndElement(); // spreadsheet
    w.writeEndElement(); // body
    w.writeEndElement(); // document-content
    w.writeEndDocument();
    return xml;
}

QByteArray stylesXml()
{
    QByteArray xml;
    QBuffer buffer(&xml);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter w(&buffer);
    w.writeStartDocument();
    w.writeStartElement(NsOffice, QStringLiteral("document-styles"));
    declareNamespaces(w);
    w.writeAttribute(NsOffice, QStringLiteral("version"), QStringLiteral("1.2"));
    w.writeStartElement(NsOffice, QStringLiteral("styles"));
    w.writeStartElement(NsStyle, QStringLiteral("default-style"));
    w.writeAttribute(NsStyle, QStringLiteral("family"), QStringLiteral("table-cell"));
    w.writeEmptyElement(NsStyle, QStringLiteral("text-properties"));
    w.writeAttribute(NsFo, QStringLiteral("language"), QStringLiteral("en"));
    w.writeAttribute(NsFo, QStringLiteral("country"), QStringLiteral("US"));
    w.writeEndElement();
    w.writeStartElement(NsStyle, QStringLiteral("style"));
    w.writeAttribute(NsStyle, QStringLiteral("name"), QStringLiteral("Default"));
    w.writeAttribute(NsStyle, QStringLiteral("family"), QStringLiteral("table-cell"));
    w.writeEndElement();
    w.writeEndElement(); // styles
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

QByteArray metaXml()
{
    QByteArray xml;
    QBuffer buffer(&xml);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter w(&buffer);
    w.writeStartDocument();
    w.writeStartElement(NsOffice, QStringLiteral("document-meta"));
    declareNamespaces(w);
    w.writeAttribute(NsOffice, QStringLiteral("version"), QStringLiteral("1.2"));
    w.writeStartElement(NsOffice, QStringLiteral("meta"));
    w.writeTextElement(NsMeta, QStringLiteral("generator"), generator());
    w.writeTextElement(NsMeta, QStringLiteral("initial-creator"), generator());
    w.writeTextElement(NsDc, QStringLiteral("creator"), generator());
    w.writeTextElement(NsDc, QStringLiteral("language"), QStringLiteral("en"));
    w.writeTextElement(NsMeta, QStringLiteral("creation-date"),
                       QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

QByteArray manifestXml(const QVector<QPair<QString, QByteArray>> &pictures)
{
    QByteArray xml;
    QBuffer buffer(&xml);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter w(&buffer);
    w.writeStartDocument();
    w.writeStartElement(NsManifest, QStringLiteral("manifest"));
    w.writeNamespace(NsManifest, QStringLiteral("manifest"));
    w.writeAttribute(NsManifest, QStringLiteral("version"), QStringLiteral("1.2"));
    auto entry = [&](const QString &path, const QString &type) {
        w.writeEmptyElement(NsManifest, QStringLiteral("file-entry"));
        w.writeAttribute(NsManifest, QStringLiteral("full-path"), path);
        if (path == QLatin1String("/"))
            w.writeAttribute(NsManifest, QStringLiteral("version"), QStringLiteral("1.2"));
        w.writeAttribute(NsManifest, QStringLiteral("media-type"), type);
    };
    entry(QStringLiteral("/"), MimeType);
    entry(QStringLiteral("content.xml"), QStringLiteral("text/xml"));
    entry(QStringLiteral("styles.xml"), QStringLiteral("text/xml"));
    entry(QStringLiteral("meta.xml"), QStringLiteral("text/xml"));
    for (const auto &p : pictures)
        entry(p.first, QStringLiteral("image/png"));
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

} // namespace

QByteArray odsPackage(const QVector<OdsSheet> &sheets, QString *error)
{
    QVector<QPair<QString, QByteArray>> pictures;
    const QByteArray content = contentXml(sheets, pictures);
    Zip zip;
    QString why;
    bool ok = zip.add(QStringLiteral("mimetype"), MimeType.toLatin1(), true) &&
              zip.add(QStringLiteral("content.xml"), content, false) &&
              zip.add(QStringLiteral("styles.xml"), stylesXml(), false) &&
              zip.add(QStringLiteral("meta.xml"), metaXml(), false);
    for (const auto &p : std::as_const(pictures))
        ok = ok && zip.add(p.first, p.second, true);
    ok = ok && zip.add(QStringLiteral("META-INF/manifest.xml"), manifestXml(pictures), false);
    QByteArray out;
    if (!ok || !zip.finish(out, why)) {
        if (error)
            *error = why.isEmpty() ? QStringLiteral("The package could not be made.") : why;
        return {};
    }
    return out;
}

ExportResult exportOds(const PreparedReport &report, const QString &fileName)
{
    DataGridOptions options;
    options.pictures = true;
    QVector<OdsSheet> sheets;
    for (int p = 0; p < report.pages.size(); ++p)
        sheets.push_back({QStringLiteral("Page %1").arg(p + 1), buildDataGrid(report.pages[p], options)});
    if (sheets.isEmpty())
        sheets.push_back({QStringLiteral("Page 1"), DataGrid()});
    QString why;
    const QByteArray bytes = odsPackage(sheets, &why);
    if (bytes.isEmpty())
        return ExportResult::failure(cannotCreateFileMessage(fileName, why));
    return writeExportFile(fileName, [&](QIODevice &device, QString &) { return device.write(bytes) == bytes.size(); });
}

} // namespace report
