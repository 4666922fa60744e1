#pragma once
// Report datasets: cursors over the rows a report iterates, with field values by name.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

namespace arvex::store {
class Dataset;
}

namespace report {

class ReportDataset {
public:
    explicit ReportDataset(const QString &userName) : userName_(userName) {}
    virtual ~ReportDataset() = default;

    QString userName() const { return userName_; }
    virtual QStringList fieldNames() const = 0;
    bool hasField(const QString &field) const { return fieldNames().contains(field); }
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    virtual int recordCount() const = 0;
    // The value of a field in the current record; an invalid QVariant when the field is unknown.
    virtual QVariant value(const QString &field) const = 0;

private:
    QString userName_;
};

// A report dataset over a store query. The query stays open after a run, standing on the
// last record reached. `onNext` is raised after every move to a next record, and also when
// the cursor returns to the first record after having moved on (a second pass), so that a
// dataset that follows this one can be re-read for the record now current; it is not
// raised for the first move to the first record of a run.
class StoreReportDataset : public ReportDataset {
public:
    StoreReportDataset(const QString &userName, arvex::store::Dataset &dataset);

    std::function<void()> onNext;
    arvex::store::Dataset &dataset() const { return ds_; }
    // The cursor stands where the owner left it; the next first() raises no event.
    void resetRun() { moved_ = false; }

    QStringList fieldNames() const override;
    void first() override;
    void next() override;
    bool eof() const override;
    int recordCount() const override;
    QVariant value(const QString &field) const override;

private:
    arvex::store::Dataset &ds_;
    bool moved_ = false;
};

// A dataset of one record whose field values are asked for each time they are read.
class UserReportDataset : public ReportDataset {
public:
    using GetValue = std::function<void(const QString &varName, QVariant &value)>;
    UserReportDataset(const QString &userName, QStringList fields) : ReportDataset(userName), fields_(fields) {}

    GetValue onGetValue;

    QStringList fieldNames() const override { return fields_; }
    void first() override { row_ = 0; }
    void next() override { ++row_; }
    bool eof() const override { return row_ > 0; }
    int recordCount() const override { return 1; }
    QVariant value(const QString &field) const override;

private:
    QStringList fields_;
    int row_ = 0;
};

} // namespace report
