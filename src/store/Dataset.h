#pragma once

#include "store/Connection.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

namespace arvex::store {

// The text's first `width` characters (code points, as the database counts a column's
// width); the whole text when it is not longer or the width is 0.
QString cutToCharacters(const QString &text, int width);

enum class FieldType { Integer, Float, Double, Text, FixedText, Timestamp };

struct FieldDef {
    QString name;
    FieldType type = FieldType::Integer;
    int size = 0;            // width of a text field in characters
    bool required = false;   // not null
    int tag = 0;             // 4: drawn as a check box by the grids
    QString displayFormat;   // number pattern such as "#0.00' pH'"
    bool calculated = false; // computed for each row when it is read, never written
};

// A live data set: the rows of one select held in memory, with a current row, display texts,
// computed fields, and edits and deletions written back by key at once. It stands for both
// the queries and the tables of the main window (a table is a select ordered by its key).
class Dataset : public QObject {
    Q_OBJECT
public:
    using CalcFn = std::function<QVariant(const Dataset &, int row)>;

    Dataset(Connection &connection, const QString &name, QList<FieldDef> fields, QObject *parent = nullptr);

    QString name() const { return objectName(); }
    Connection &connection() const { return connection_; }

    // The select text, as lines; sqlText() joins them with line breaks.
    void setSql(const QStringList &lines);
    void clearSql() { sql_.clear(); }
    void addSql(const QString &line) { sql_ << line; }
    QStringList sql() const { return sql_; }
    QString sqlText() const { return sql_.join(QLatin1Char('\n')); }

    // Parameters by position, 0 first (":IDdev" is the parameter at its place in the text).
    void setParam(int position, const QVariant &value);
    QVariant param(int position) const { return params_.value(position); }

    // Where edits and deletions go: the table and its key field.
    void setUpdateTarget(const QString &table, const QString &keyField);
    void setCalc(const QString &field, CalcFn fn);

    void open();  // throws DatabaseError; on failure the set stays closed
    void close();
    bool isActive() const { return active_; }

    int rowCount() const { return rows_; }
    bool isEmpty() const { return rows_ == 0; }
    int currentRow() const { return current_; } // -1 when empty or closed
    bool eof() const { return current_ < 0 || current_ >= rows_; }
    void first();
    void next();
    void setCurrentRow(int row);
    // Moves to the first row whose field equals the value; false (and no move) when none does.
    bool locate(const QString &field, const QVariant &value);

    int fieldCount() const { return int(fields_.size()); }
    int fieldIndex(const QString &name) const; // -1 when unknown
    const FieldDef &field(int index) const { return fields_.at(index); }
    const QList<FieldDef> &fields() const { return fields_; }

    QVariant value(int row, int field) const;
    QVariant value(int row, const QString &field) const;
    QVariant fieldValue(const QString &field) const; // of the current row (or of the edit buffer)
    QString displayText(int row, int field, const QLocale &locale = QLocale()) const;

    // Editing the current row: edit, set fields, post writes the changed columns back by key.
    void edit();
    bool isEditing() const { return editing_; }
    void setFieldValue(const QString &field, const QVariant &value);
    void post();   // throws DatabaseError; the edit stays open when the write fails
    void cancel();
    // Deletes the current row in the database and in memory; the next row becomes current.
    void deleteCurrent();
    // Deletes every row that `which` accepts, by key, all in one transaction (or in the
    // caller's open one), then removes them from memory. When the database refuses one, no
    // row is deleted, the rows in memory stay, and the error passes on. The row that was
    // current stays current if it remains, else the next remaining one (the last row at the
    // end). Gives the number of rows deleted.
    int deleteRows(const std::function<bool(int row)> &which);

    // Reduces a value to what the field holds: text cut to the width, numbers converted.
    static QVariant coerce(const FieldDef &f, const QVariant &v);

signals:
    void opened();
    void closed();
    void currentRowChanged(int row);
    void rowChanged(int row);
    void rowRemoved(int row);
    void rowsRemoved(); // after deleteRows removed at least one row

private:
    void computeRow(int row);
    void requireCurrent(const char *what) const;

    Connection &connection_;
    QList<FieldDef> fields_;
    QStringList sql_;
    QVariantList params_;
    QString updateTable_;
    QString keyField_;
    std::vector<std::pair<int, CalcFn>> calcs_;
    std::vector<QVariant> data_; // row-major
    int rows_ = 0;
    int current_ = -1;
    bool active_ = false;
    bool editing_ = false;
    std::vector<QVariant> editBuffer_;
    std::vector<bool> changed_;
};

} // namespace arvex::store
