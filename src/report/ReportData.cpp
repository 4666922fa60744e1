#include "ReportData.h"

#include "store/Dataset.h"

namespace report {

StoreReportDataset::StoreReportDataset(const QString &userName, arvex::store::Dataset &dataset)
    : ReportDataset(userName), ds_(dataset)
{
}

QStringList StoreReportDataset::fieldNames() const
{
    QStringList names;
    for (const auto &f : ds_.fields())
        names << f.name;
    return names;
}

void StoreReportDataset::first()
{
    const bool back = moved_ || (ds_.currentRow() > 0);
    ds_.first();
    moved_ = false;
    if (back && onNext)
        onNext();
}

void StoreReportDataset::next()
{
    ds_.next();
    moved_ = true;
    if (!ds_.eof() && onNext)
        onNext();
}

bool StoreReportDataset::eof() const { return !ds_.isActive() || ds_.eof(); }

int StoreReportDataset::recordCount() const { return ds_.isActive() ? ds_.rowCount() : 0; }

QVariant StoreReportDataset::value(const QString &field) const
{
    if (eof() || ds_.fieldIndex(field) < 0)
        return QVariant();
    return ds_.value(ds_.currentRow(), field);
}

QVariant UserReportDataset::value(const QString &field) const
{
    if (!fields_.contains(field))
        return QVariant();
    QVariant v;
    if (onGetValue)
        onGetValue(field, v);
    return v;
}

} // namespace report
