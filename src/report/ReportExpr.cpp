#include "ReportExpr.h"

#include "ReportData.h"
#include "ReportTemplate.h"
#include "lang/DateTexts.h"
#include "store/FormatFloat.h"

#include <charconv>
#include <cmath>

namespace report {

struct ExprNode {
    enum class Op { Const, Field, Date, Time, Page, TotalPages, Neg, Not, Add, Sub, Mul, Div, Eq, Ne, Lt, Le, Gt, Ge,
                    And, Or, Iif };
    Op op = Op::Const;
    QVariant value;
    QString dataset, field;
    std::unique_ptr<ExprNode> a, b, c;
};

namespace {

using Op = ExprNode::Op;

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool isInteger(const QVariant &v)
{
    return isNumber(v) && v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float;
}

class Parser {
public:
    explicit Parser(const QString &s) : s_(s) {}

    std::unique_ptr<ExprNode> parseAll(bool &usesTotal)
    {
        auto n = parseOr();
        skip();
        if (i_ < s_.size())
            fail(QStringLiteral("unexpected \"%1\"").arg(s_.mid(i_)));
        usesTotal = usesTotal_;
        return n;
    }

private:
    [[noreturn]] void fail(const QString &what) const
    {
        throw ReportError(QStringLiteral("Expression [%1]: %2").arg(s_, what));
    }
    void skip()
    {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
    }
    bool eat(const QString &tok)
    {
        skip();
        if (s_.mid(i_, tok.size()) == tok) {
            i_ += tok.size();
            return true;
        }
        return false;
    }
    bool eatWord(const char *w)
    {
        skip();
        const QString word = QLatin1String(w);
        if (s_.mid(i_, word.size()).compare(word, Qt::CaseInsensitive) == 0) {
            const int end = i_ + word.size();
            if (end >= s_.size() || !(s_[end].isLetterOrNumber() || s_[end] == QLatin1Char('_'))) {
                i_ = end;
                return true;
            }
        }
        return false;
    }
    static std::unique_ptr<ExprNode> node(Op op, std::unique_ptr<ExprNode> a = {}, std::unique_ptr<ExprNode> b = {})
    {
        auto n = std::make_unique<ExprNode>();
        n->op = op;
        n->a = std::move(a);
        n->b = std::move(b);
        return n;
    }

    std::unique_ptr<ExprNode> parseOr()
    {
        auto l = parseAnd();
        while (eatWord("or"))
            l = node(Op::Or, std::move(l), parseAnd());
        return l;
    }
    std::unique_ptr<ExprNode> parseAnd()
    {
        auto l = parseCmp();
        while (eatWord("and"))
            l = node(Op::And, std::move(l), parseCmp());
        return l;
    }
    std::unique_ptr<ExprNode> parseCmp()
    {
        auto l = parseAdd();
        for (;;) {
            Op op;
            if (eat(QStringLiteral("<>")))
                op = Op::Ne;
            else if (eat(QStringLiteral("<=")))
                op = Op::Le;
            else if (eat(QStringLiteral(">=")))
                op = Op::Ge;
            else if (eat(QStringLiteral("=")))
                op = Op::Eq;
            else if (eat(QStringLiteral("<")))
                op = Op::Lt;
            else if (eat(QStringLiteral(">")))
                op = Op::Gt;
            else
                return l;
            l = node(op, std::move(l), parseAdd());
        }
    }
    std::unique_ptr<ExprNode> parseAdd()
    {
        auto l = parseMul();
        for (;;) {
            if (eat(QStringLiteral("+")))
                l = node(Op::Add, std::move(l), parseMul());
            else if (eat(QStringLiteral("-")))
                l = node(Op::Sub, std::move(l), parseMul());
            else
                return l;
        }
    }
    std::unique_ptr<ExprNode> parseMul()
    {
        auto l = parseUnary();
        for (;;) {
            if (eat(QStringLiteral("*")))
                l = node(Op::Mul, std::move(l), parseUnary());
            else if (eat(QStringLiteral("/")))
                l = node(Op::Div, std::move(l), parseUnary());
            else
                return l;
        }
    }
    std::unique_ptr<ExprNode> parseUnary()
    {
        if (eat(QStringLiteral("-")))
            return node(Op::Neg, parseUnary());
        if (eatWord("not"))
            return node(Op::Not, parseUnary());
        return parsePrimary();
    }

    QString quoted()
    {
        skip();
        if (i_ >= s_.size() || (s_[i_] != QLatin1Char('"') && s_[i_] != QLatin1Char('\'')))
            fail(QStringLiteral("a quoted text expected at \"%1\"").arg(s_.mid(i_)));
        const QChar q = s_[i_++];
        QString out;
        while (i_ < s_.size()) {
            if (s_[i_] == q) {
                if (i_ + 1 < s_.size() && s_[i_ + 1] == q) {
                    out += q;
                    i_ += 2;
                    continue;
                }
                ++i_;
                return out;
            }
            out += s_[i_++];
        }
        fail(QStringLiteral("a quoted text is not closed"));
    }
    QString identifier()
    {
        skip();
        const int start = i_;
        while (i_ < s_.size() && (s_[i_].isLetterOrNumber() || s_[i_] == QLatin1Char('_') || s_[i_] == QLatin1Char('#')))
            ++i_;
        return s_.mid(start, i_ - start);
    }
    std::unique_ptr<ExprNode> field(const QString &ds)
    {
        if (!eat(QStringLiteral(".")))
            fail(QStringLiteral("unknown name \"%1\"").arg(ds));
        auto n = node(Op::Field);
        n->dataset = ds;
        n->field = quoted();
        return n;
    }

    std::unique_ptr<ExprNode> parsePrimary()
    {
        skip();
        if (i_ >= s_.size())
            fail(QStringLiteral("the expression ends too early"));
        const QChar c = s_[i_];
        if (c == QLatin1Char('(')) {
            ++i_;
            auto n = parseOr();
            if (!eat(QStringLiteral(")")))
                fail(QStringLiteral("\")\" expected"));
            return n;
        }
        if (c == QLatin1Char('<')) { // <dataset."FIELD">
            ++i_;
            auto n = field(identifier());
            if (!eat(QStringLiteral(">")))
                fail(QStringLiteral("\">\" expected after the field"));
            return n;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            auto n = node(Op::Const);
            n->value = quoted();
            return n;
        }
        if (c.isDigit() || c == QLatin1Char('.')) {
            const int start = i_;
            while (i_ < s_.size() && (s_[i_].isDigit() || s_[i_] == QLatin1Char('.')))
                ++i_;
            const QString t = s_.mid(start, i_ - start);
            auto n = node(Op::Const);
            bool ok = false;
            if (t.contains(QLatin1Char('.')))
                n->value = t.toDouble(&ok);
            else
                n->value = t.toLongLong(&ok);
            if (!ok)
                fail(QStringLiteral("\"%1\" is no number").arg(t));
            return n;
        }
        const QString id = identifier();
        if (id.isEmpty())
            fail(QStringLiteral("unexpected \"%1\"").arg(s_.mid(i_)));
        const QString low = id.toLower();
        if (low == QLatin1String("date"))
            return node(Op::Date);
        if (low == QLatin1String("time"))
            return node(Op::Time);
        if (low == QLatin1String("page#"))
            return node(Op::Page);
        if (low == QLatin1String("totalpages#")) {
            usesTotal_ = true;
            return node(Op::TotalPages);
        }
        if (low == QLatin1String("true") || low == QLatin1String("false")) {
            auto n = node(Op::Const);
            n->value = low == QLatin1String("true");
            return n;
        }
        if (low == QLatin1String("iif")) {
            if (!eat(QStringLiteral("(")))
                fail(QStringLiteral("\"(\" expected after IIF"));
            auto n = node(Op::Iif, parseOr());
            if (!eat(QStringLiteral(",")))
                fail(QStringLiteral("IIF takes three arguments"));
            n->b = parseOr();
            if (!eat(QStringLiteral(",")))
                fail(QStringLiteral("IIF takes three arguments"));
            n->c = parseOr();
            if (!eat(QStringLiteral(")")))
                fail(QStringLiteral("\")\" expected after the arguments of IIF"));
            return n;
        }
        return field(id);
    }

    QString s_;
    int i_ = 0;
    bool usesTotal_ = false;
};

int compare(const QVariant &a, const QVariant &b, const QString &src)
{
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime) {
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        const auto kx = std::make_pair(x.date(), x.time()), ky = std::make_pair(y.date(), y.time());
        return kx < ky ? -1 : (kx > ky ? 1 : 0);
    }
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return QString::compare(a.toString(), b.toString());
    throw ReportError(QStringLiteral("Expression [%1]: cannot compare these values").arg(src));
}

QVariant arith(Op op, const QVariant &a, const QVariant &b, const QString &src)
{
    if (op == Op::Add && (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString))
        return a.toString() + b.toString();
    if (a.isNull() || b.isNull())
        return QVariant();
    if (!isNumber(a) || !isNumber(b))
        throw ReportError(QStringLiteral("Expression [%1]: arithmetic on a value that is no number").arg(src));
    if (op != Op::Div && isInteger(a) && isInteger(b)) {
        const qlonglong x = a.toLongLong(), y = b.toLongLong();
        return op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y;
    }
    const double x = a.toDouble(), y = b.toDouble();
    switch (op) {
    case Op::Add: return x + y;
    case Op::Sub: return x - y;
    case Op::Mul: return x * y;
    default:
        if (y == 0)
            throw ReportError(QStringLiteral("Expression [%1]: division by zero").arg(src));
        return x / y;
    }
}

bool truth(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString)
        return !v.toString().isEmpty();
    return v.toBool();
}

QVariant eval(const ExprNode &n, const ExprContext &ctx, const QString &src)
{
    switch (n.op) {
    case Op::Const:
        return n.value;
    case Op::Field: {
        const ReportDataset *ds = ctx.dataset ? ctx.dataset(n.dataset) : nullptr;
        if (!ds)
            throw ReportError(QStringLiteral("Expression [%1]: unknown dataset \"%2\"").arg(src, n.dataset));
        if (!ds->hasField(n.field))
            throw ReportError(QStringLiteral("Expression [%1]: the dataset \"%2\" has no field \"%3\"")
                                  .arg(src, n.dataset, n.field));
        QVariant v = ds->value(n.field);
        if (v.typeId() == QMetaType::Float && !v.isNull())
            v = cleanFloat(v.toFloat());
        return v;
    }
    case Op::Date:
        return ctx.now.date();
    case Op::Time:
        return ctx.now.time();
    case Op::Page:
        return ctx.page;
    case Op::TotalPages:
        return ctx.totalPages;
    case Op::Neg: {
        const QVariant v = eval(*n.a, ctx, src);
        if (v.isNull())
            return v;
        if (!isNumber(v))
            throw ReportError(QStringLiteral("Expression [%1]: minus before a value that is no number").arg(src));
        return isInteger(v) ? QVariant(-v.toLongLong()) : QVariant(-v.toDouble());
    }
    case Op::Not:
        return !truth(eval(*n.a, ctx, src));
    case Op::And:
        return truth(eval(*n.a, ctx, src)) && truth(eval(*n.b, ctx, src));
    case Op::Or:
        return truth(eval(*n.a, ctx, src)) || truth(eval(*n.b, ctx, src));
    case Op::Iif:
        return truth(eval(*n.a, ctx, src)) ? eval(*n.b, ctx, src) : eval(*n.c, ctx, src);
    case Op::Add: case Op::Sub: case Op::Mul: case Op::Div:
        return arith(n.op, eval(*n.a, ctx, src), eval(*n.b, ctx, src), src);
    default: {
        const int c = compare(eval(*n.a, ctx, src), eval(*n.b, ctx, src), src);
        switch (n.op) {
        case Op::Eq: return c == 0;
        case Op::Ne: return c != 0;
        case Op::Lt: return c < 0;
        case Op::Le: return c <= 0;
        case Op::Gt: return c > 0;
        default: return c >= 0;
        }
    }
    }
}

QString timePattern(const QLocale &locale)
{
    QString f = locale.timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

} // namespace

double cleanFloat(float f)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    double d = 0;
    std::from_chars(buf, r.ptr, d);
    return d;
}

Expression Expression::parse(const QString &source)
{
    Expression e;
    e.source_ = source;
    Parser p(source);
    e.root_ = p.parseAll(e.usesTotalPages_);
    return e;
}

QVariant Expression::evaluate(const ExprContext &ctx) const { return eval(*root_, ctx, source_); }

CompiledText CompiledText::compile(const QString &text)
{
    CompiledText t;
    QString literal;
    int i = 0;
    while (i < text.size()) {
        if (text[i] != QLatin1Char('[')) {
            literal += text[i++];
            continue;
        }
        // Find the closing bracket, skipping quoted texts and nested brackets.
        int depth = 0, j = i;
        QChar quote;
        for (; j < text.size(); ++j) {
            const QChar c = text[j];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                quote = c;
            } else if (c == QLatin1Char('[')) {
                ++depth;
            } else if (c == QLatin1Char(']')) {
                if (--depth == 0)
                    break;
            }
        }
        if (j >= text.size())
            throw ReportError(QStringLiteral("Text \"%1\": a \"[\" is not closed by \"]\"").arg(text));
        if (!literal.isEmpty()) {
            t.parts_.push_back({literal, -1});
            literal.clear();
        }
        t.exprs_.push_back(Expression::parse(text.mid(i + 1, j - i - 1)));
        t.parts_.push_back({QString(), int(t.exprs_.size()) - 1});
        i = j + 1;
    }
    if (!literal.isEmpty())
        t.parts_.push_back({literal, -1});
    return t;
}

bool CompiledText::usesTotalPages() const
{
    for (const Expression &e : exprs_)
        if (e.usesTotalPages())
            return true;
    return false;
}

QString formatValue(const QVariant &value, const QString &format, const QLocale &locale)
{
    if (value.isNull() || !value.isValid())
        return QString();
    const int type = value.typeId();
    if (format.startsWith(QLatin1String("number:")) && isNumber(value) && type != QMetaType::Bool) {
        const double d = type == QMetaType::Float ? cleanFloat(value.toFloat()) : value.toDouble();
        return arvex::store::formatFloat(format.mid(7), d, locale);
    }
    const bool dateFormat = format.startsWith(QLatin1String("date:"));
    switch (type) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        // The fields as they are: a wall-clock time is never moved between zones.
        const QDateTime fields(dt.date(), dt.time(), Qt::UTC);
        if (dateFormat)
            return locale.toString(fields, format.mid(5));
        return locale.toString(dt.date(), arvex::lang::fullYearDateFormat(locale)) + QLatin1Char(' ') + locale.toString(dt.time(), timePattern(locale));
    }
    case QMetaType::QDate:
        return locale.toString(value.toDate(), dateFormat ? format.mid(5) : arvex::lang::fullYearDateFormat(locale));
    case QMetaType::QTime:
        return locale.toString(value.toTime(), dateFormat ? format.mid(5) : timePattern(locale));
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = type == QMetaType::Float ? cleanFloat(value.toFloat()) : value.toDouble();
        // 15 significant digits: a computed 13.740000000000002 shows as 13.74.
        QString s = locale.toString(d, 'g', 15);
        s.remove(locale.groupSeparator());
        return s;
    }
    default:
        if (isInteger(value))
            return QString::number(value.toLongLong());
        return value.toString();
    }
}

} // namespace report
