#pragma once
// Report templates: the model of a template file and its reader.

#include "Prepared.h"

#include <QColor>
#include <QList>
#include <QLocale>
#include <QMap>
#include <QString>
#include <stdexcept>

namespace report {

// A report failure (a template that cannot be read, an expression that cannot be evaluated),
// carrying its message text.
class ReportError : public std::runtime_error {
public:
    explicit ReportError(const QString &text) : std::runtime_error(text.toStdString()), text_(text) {}
    QString text() const { return text_; }

private:
    QString text_;
};

struct TemplateStyle {
    QString name;
    PreparedFont font;
    unsigned frameSides = FrameNone;
    double frameWidthMm = 0.26;
    QColor frameColor = Qt::black;
    QColor fill;
};

struct TemplateObject {
    using Kind = PreparedObject::Kind;
    Kind kind = Kind::Text;
    QString name;
    QRectF rectMm;          // within its band, from the band's top-left corner
    QString text;           // text with [expressions]; picture: a field expression, optional
    QString style;
    PreparedFont font;
    int align = Qt::AlignLeft | Qt::AlignTop;
    bool wordWrap = true;
    bool stretch = false;   // grows downwards with its text
    QString format;         // display format: "number:#0.00", "date:dd.MM.yyyy", empty
    unsigned frameSides = FrameNone;
    double frameWidthMm = 0.26;
    QColor frameColor = Qt::black;
    QColor fill;
    QColor fill2;
    QString imageFile;      // picture from a file beside the template
};

struct TemplateBand {
    BandKind kind = BandKind::ReportTitle;
    double heightMm = 0;
    QString dataset;        // master and detail data bands
    QList<TemplateObject> objects;
};

struct TemplatePage {
    QSizeF sizeMm{210, 297};
    double leftMm = 10, topMm = 10, rightMm = 10, bottomMm = 10;
};

struct ReportTemplate {
    QString title;
    QString folder;         // where the file lies: pictures are named relative to it
    QString language;       // code of the language texts and formats are written in ("en", "ru", …)
    TemplatePage page;
    QStringList datasets;   // the datasets the template uses, by their user names
    QMap<QString, TemplateStyle> styles;
    QList<TemplateBand> bands;

    bool isEmpty() const { return bands.isEmpty(); }
    const TemplateBand *band(BandKind kind) const;
    QLocale locale() const;
};

// Reads a template file. A file that cannot be opened raises
// "Cannot open file "<path>". <reason>"; a file that is no template raises a message naming
// the file, the line and what is wrong.
ReportTemplate readTemplate(const QString &path);
ReportTemplate parseTemplate(const QByteArray &xml, const QString &fileName = QString());

QString bandKindName(BandKind kind);

} // namespace report
