#include "store/DatasetModel.h"

namespace arvex::store {

DatasetModel::DatasetModel(Dataset &dataset, QList<GridColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), dataset_(dataset), columns_(std::move(columns))
{
    for (const GridColumn &c : columns_)
        fieldIndex_.push_back(dataset_.fieldIndex(c.field));
    connect(&dataset_, &Dataset::opened, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&dataset_, &Dataset::closed, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&dataset_, &Dataset::rowChanged, this, [this](int row) {
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
    connect(&dataset_, &Dataset::rowRemoved, this, [this](int) {
        beginResetModel();
        endResetModel();
    });
    connect(&dataset_, &Dataset::rowsRemoved, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

void DatasetModel::setColumnField(int column, const QString &field)
{
    if (column < 0 || column >= columns_.size())
        return;
    columns_[column].field = field;
    fieldIndex_[column] = dataset_.fieldIndex(field);
    if (rowCount() > 0)
        emit dataChanged(index(0, column), index(rowCount() - 1, column));
}

int DatasetModel::fieldOf(int column) const
{
    return column >= 0 && column < int(fieldIndex_.size()) ? fieldIndex_[column] : -1;
}

void DatasetModel::setColumnTitle(int column, const QString &title)
{
    if (column < 0 || column >= columns_.size())
        return;
    columns_[column].title = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int DatasetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !dataset_.isActive() ? 0 : dataset_.rowCount();
}

int DatasetModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(columns_.size()); }

QVariant DatasetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const int f = fieldOf(index.column());
    if (f < 0)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return dataset_.displayText(index.row(), f, locale_);
    case Qt::EditRole:
        return dataset_.value(index.row(), f);
    case Qt::TextAlignmentRole: {
        // Numbers stand to the right, as data grids show them; texts and dates to the left.
        const FieldType t = dataset_.field(f).type;
        const bool number = t == FieldType::Integer || t == FieldType::Float || t == FieldType::Double;
        return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    default:
        return QVariant();
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return columns_.at(section).title;
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return QVariant();
}

} // namespace arvex::store
