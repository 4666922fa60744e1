#include "store/Dataset.h"

#include "store/FormatFloat.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace arvex::store {

Dataset::Dataset(Connection &connection, const QString &name, QList<FieldDef> fields, QObject *parent)
    : QObject(parent), connection_(connection), fields_(std::move(fields))
{
    setObjectName(name);
}

void Dataset::setSql(const QStringList &lines) { sql_ = lines; }

void Dataset::setParam(int position, const QVariant &value)
{
    while (params_.size() <= position)
        params_.append(QVariant());
    params_[position] = value;
}

void Dataset::setUpdateTarget(const QString &table, const QString &keyField)
{
    updateTable_ = table;
    keyField_ = keyField;
}

void Dataset::setCalc(const QString &field, CalcFn fn)
{
    const int i = fieldIndex(field);
    Q_ASSERT(i >= 0 && fields_.at(i).calculated);
    calcs_.emplace_back(i, std::move(fn));
}

int Dataset::fieldIndex(const QString &name) const
{
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString cutToCharacters(const QString &text, int width)
{
    // The database counts a column's width in characters (code points); a QString counts
    // UTF-16 units, two for a character outside the Basic Multilingual Plane.
    if (width <= 0 || text.size() <= width)
        return text;
    qsizetype units = 0;
    for (int chars = 0; chars < width && units < text.size(); ++chars)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size() && text.at(units + 1).isLowSurrogate()) ? 2 : 1;
    return text.left(units);
}

QVariant Dataset::coerce(const FieldDef &f, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (f.type) {
    case FieldType::Integer:
        return v.toInt();
    case FieldType::Float:
        return double(v.toFloat());
    case FieldType::Double:
        return v.toDouble();
    case FieldType::Text:
    case FieldType::FixedText:
        return cutToCharacters(v.toString(), f.size);
    case FieldType::Timestamp:
        return wallClock(v.toDateTime());
    }
    return v;
}

void Dataset::open()
{
    close();
    // The rows are coerced into place as they are fetched. The buffer keeps its capacity
    // from the last read, so re-reading a view of about the same size allocates nothing.
    const int n = fieldCount();
    std::vector<int> source(n, -1);
    int rows = 0;
    try {
        connection_.selectEach(
            sqlText(), params_,
            [&](const QStringList &columns) {
                // Map the select's columns onto the declared fields; other columns are not used.
                for (int i = 0; i < n; ++i)
                    if (!fields_.at(i).calculated)
                        source[i] = int(columns.indexOf(fields_.at(i).name.toUpper()));
            },
            [&](const Connection::ValueFn &value) {
                for (int i = 0; i < n; ++i)
                    data_.push_back(source[i] >= 0 ? coerce(fields_.at(i), value(source[i])) : QVariant());
                ++rows;
                rows_ = rows;
                computeRow(rows - 1);
            });
    } catch (...) {
        data_.clear();
        rows_ = 0;
        throw;
    }
    rows_ = rows;
    // Give back a buffer far larger than what it now holds.
    if (data_.capacity() > 4 * data_.size() + 4096)
        data_.shrink_to_fit();
    active_ = true;
    current_ = rows_ > 0 ? 0 : -1;
    emit opened();
    if (current_ >= 0)
        emit currentRowChanged(current_);
}

void Dataset::close()
{
    editing_ = false;
    if (!active_)
        return;
    active_ = false;
    data_.clear();
    rows_ = 0;
    current_ = -1;
    emit closed();
}

void Dataset::computeRow(int row)
{
    const int n = fieldCount();
    for (const auto &[index, fn] : calcs_)
        data_[size_t(row) * n + index] = fn(*this, row);
}

void Dataset::first() { setCurrentRow(rows_ > 0 ? 0 : -1); }

void Dataset::next()
{
    if (current_ >= 0 && current_ < rows_) {
        ++current_;
        if (current_ < rows_)
            emit currentRowChanged(current_);
    }
}

void Dataset::setCurrentRow(int row)
{
    if (row < -1 || row >= rows_ || row == current_)
        return;
    editing_ = false;
    current_ = row;
    if (row >= 0)
        emit currentRowChanged(row);
}

bool Dataset::locate(const QString &field, const QVariant &value)
{
    const int f = fieldIndex(field);
    if (f < 0)
        return false;
    for (int r = 0; r < rows_; ++r) {
        if (Dataset::value(r, f) == value) {
            setCurrentRow(r);
            return true;
        }
    }
    return false;
}

QVariant Dataset::value(int row, int field) const
{
    if (row < 0 || row >= rows_ || field < 0 || field >= fieldCount())
        return QVariant();
    return data_[size_t(row) * fieldCount() + field];
}

QVariant Dataset::value(int row, const QString &field) const { return value(row, fieldIndex(field)); }

QVariant Dataset::fieldValue(const QString &field) const
{
    const int f = fieldIndex(field);
    if (editing_ && f >= 0)
        return editBuffer_[f];
    return value(current_, f);
}

QString Dataset::displayText(int row, int field, const QLocale &locale) const
{
    const QVariant v = value(row, field);
    if (v.isNull())
        return QString();
    const FieldDef &f = fields_.at(field);
    switch (f.type) {
    case FieldType::Float:
    case FieldType::Double:
        if (!f.displayFormat.isEmpty())
            return formatFloat(f.displayFormat, v.toDouble(), locale);
        return locale.toString(v.toDouble(), 'g', f.type == FieldType::Float ? 7 : 15);
    case FieldType::Timestamp: {
        const QDateTime dt = v.toDateTime();
        return locale.toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ')
            + dt.time().toString(QStringLiteral("HH:mm:ss"));
    }
    case FieldType::Integer:
        return QString::number(v.toInt());
    default:
        return v.toString();
    }
}

void Dataset::requireCurrent(const char *what) const
{
    if (!active_)
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(objectName()));
    if (current_ < 0 || current_ >= rows_)
        throw DatabaseError(QStringLiteral("%1: Cannot %2: the dataset is empty").arg(objectName(), QString::fromLatin1(what)));
}

void Dataset::edit()
{
    requireCurrent("edit");
    if (editing_)
        return;
    const int n = fieldCount();
    editBuffer_.assign(data_.begin() + size_t(current_) * n, data_.begin() + size_t(current_ + 1) * n);
    changed_.assign(n, false);
    editing_ = true;
}

void Dataset::setFieldValue(const QString &field, const QVariant &value)
{
    const int f = fieldIndex(field);
    if (f < 0)
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), field));
    if (!editing_)
        throw DatabaseError(QStringLiteral("%1: Dataset not in edit mode").arg(objectName()));
    if (fields_.at(f).calculated)
        throw DatabaseError(QStringLiteral("%1: Field '%2' cannot be modified").arg(objectName(), field));
    editBuffer_[f] = coerce(fields_.at(f), value);
    changed_[f] = true;
}

void Dataset::post()
{
    if (!editing_)
        return;
    if (updateTable_.isEmpty())
        throw DatabaseError(QStringLiteral("%1: Dataset is read-only").arg(objectName()));
    const int n = fieldCount();
    const int key = fieldIndex(keyField_);
    QStringList sets;
    QVariantList params;
    for (int i = 0; i < n; ++i) {
        if (changed_[i] && editBuffer_[i] != data_[size_t(current_) * n + i]) {
            sets << fields_.at(i).name + QStringLiteral(" = ?");
            params << editBuffer_[i];
        }
    }
    if (!sets.isEmpty()) {
        params << data_[size_t(current_) * n + key];
        int affected = 0;
        try {
            affected = connection_.execute(QStringLiteral("update %1 set %2 where %3 = ?")
                                               .arg(updateTable_, sets.join(QStringLiteral(", ")), keyField_),
                                           params);
        } catch (const DatabaseError &e) {
            throw explainLockConflict(e, updateTable_);
        }
        if (affected == 0)
            throw DatabaseError(QStringLiteral("%1: Record not found or changed by another user").arg(objectName()));
        for (int i = 0; i < n; ++i)
            data_[size_t(current_) * n + i] = editBuffer_[i];
        computeRow(current_);
    }
    editing_ = false;
    emit rowChanged(current_);
}

void Dataset::cancel() { editing_ = false; }

void Dataset::deleteCurrent()
{
    requireCurrent("delete");
    if (updateTable_.isEmpty())
        throw DatabaseError(QStringLiteral("%1: Dataset is read-only").arg(objectName()));
    editing_ = false;
    const int n = fieldCount();
    const QVariant keyValue = data_[size_t(current_) * n + fieldIndex(keyField_)];
    try {
        connection_.execute(QStringLiteral("delete from %1 where %2 = ?").arg(updateTable_, keyField_), {keyValue});
    } catch (const DatabaseError &e) {
        throw explainLockConflict(e, updateTable_);
    }
    const int removed = current_;
    data_.erase(data_.begin() + size_t(removed) * n, data_.begin() + size_t(removed + 1) * n);
    --rows_;
    if (current_ >= rows_)
        current_ = rows_ - 1;
    emit rowRemoved(removed);
    emit currentRowChanged(current_);
}

} // namespace arvex::store

namespace arvex::store {

int Dataset::deleteRows(const std::function<bool(int row)> &which)
{
    if (!active_)
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(objectName()));
    if (updateTable_.isEmpty())
        throw DatabaseError(QStringLiteral("%1: Dataset is read-only").arg(objectName()));
    editing_ = false;
    const int n = fieldCount();
    const int key = fieldIndex(keyField_);
    std::vector<bool> gone(size_t(rows_), false);
    QVariantList keys;
    for (int r = 0; r < rows_; ++r) {
        if (which(r)) {
            gone[size_t(r)] = true;
            keys.append(data_[size_t(r) * n + key]);
        }
    }
    if (keys.isEmpty())
        return 0;

    // All the rows go in one transaction (or in the caller's): when the database refuses
    // one, none goes, and the rows in memory stay as they are.
    try {
        connection_.executeForEach(QStringLiteral("delete from %1 where %2 = ?").arg(updateTable_, keyField_), keys);
    } catch (const DatabaseError &e) {
        throw explainLockConflict(e, updateTable_);
    }

    int write = 0;
    int newCurrent = -1;
    for (int r = 0; r < rows_; ++r) {
        if (gone[size_t(r)])
            continue;
        if (newCurrent < 0 && r >= current_)
            newCurrent = write;
        if (write != r)
            std::move(data_.begin() + size_t(r) * n, data_.begin() + size_t(r + 1) * n, data_.begin() + size_t(write) * n);
        ++write;
    }
    data_.resize(size_t(write) * n);
    rows_ = write;
    current_ = newCurrent >= 0 ? newCurrent : rows_ - 1;
    emit rowsRemoved();
    emit currentRowChanged(current_);
    return int(keys.size());
}

} // namespace arvex::store
