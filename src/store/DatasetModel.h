#pragma once

#include "store/Dataset.h"

#include <QAbstractTableModel>
#include <QLocale>

namespace arvex::store {

// One grid column: the field it shows and its title.
struct GridColumn {
    QString field;
    QString title;
    int width = -1; // -1: the grid's default
};

// A read-only table model over a Dataset: one row per data-set row, one column per
// GridColumn, showing the fields' display texts. It follows the data set's opens, closes,
// row changes and deletions.
class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    DatasetModel(Dataset &dataset, QList<GridColumn> columns, QObject *parent = nullptr);

    Dataset &dataset() const { return dataset_; }
    const QList<GridColumn> &columns() const { return columns_; }
    // Shows another field in a column (the title stays).
    void setColumnField(int column, const QString &field);
    int fieldOf(int column) const; // data-set field index, -1 when unknown

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void setColumnTitle(int column, const QString &title);

private:
    Dataset &dataset_;
    QList<GridColumn> columns_;
    std::vector<int> fieldIndex_;
    QLocale locale_;
};

} // namespace arvex::store
