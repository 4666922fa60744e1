#pragma once
// Expressions in report texts: "pH [<frxDBWyniki."DANE1">]", "[Page#] / [TotalPages#]",
// "[IIF(<frxUserDataSet1."TempFF"> = 0, <frxDBWyniki."DANE2">, <frxDBWyniki."TempF">)]".
// A text is cut once into literal parts and bracket expressions; each expression is parsed
// once into a tree that is evaluated for every record. Values stay typed (numbers, texts,
// dates) until a display format writes them.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace report {

class ReportDataset;

// What an expression can read while it is evaluated.
struct ExprContext {
    // Finds a dataset by its user name; nullptr when there is none.
    std::function<const ReportDataset *(const QString &)> dataset;
    QDateTime now;        // the moment the report run began: [Date] and [Time]
    int page = 1;         // [Page#]
    int totalPages = 0;   // [TotalPages#], once known
};

struct ExprNode;

class Expression {
public:

    // Parses an expression (the text between the brackets); raises ReportError naming the
    // expression and what is wrong.
    static Expression parse(const QString &source);
    QVariant evaluate(const ExprContext &ctx) const;
    QString source() const { return source_; }
    bool usesTotalPages() const { return usesTotalPages_; }

private:
    std::shared_ptr<const ExprNode> root_; // shared: a compiled text is copied freely
    QString source_;
    bool usesTotalPages_ = false;
};

// A text object's content: literal parts and expressions in their order.
class CompiledText {
public:
    struct Part {
        QString literal;
        int expr = -1;    // index into expressions(), or -1 for a literal
    };
    static CompiledText compile(const QString &text);

    const std::vector<Part> &parts() const { return parts_; }
    const std::vector<Expression> &expressions() const { return exprs_; }
    bool isSingleExpression() const { return parts_.size() == 1 && parts_[0].expr >= 0; }
    bool hasExpressions() const { return !exprs_.empty(); }
    bool usesTotalPages() const;

private:
    std::vector<Part> parts_;
    std::vector<Expression> exprs_;
};

// Writes a value for display: `format` is empty, "number:<picture>" (the picture as
// arvex::store::formatFloat takes it) or "date:<pattern>" (a QLocale date-time pattern).
// Dates and times are written from their own fields, never converted between time zones.
QString formatValue(const QVariant &value, const QString &format, const QLocale &locale);

// A float read from the database as the double it was written as (7.12f gives 7.12, not
// 7.1199998856), so that arithmetic and rounding see the number the meter sent.
double cleanFloat(float f);

} // namespace report
