#pragma once

#include "store/DatasetModel.h"

#include <QObject>
#include <QStyledItemDelegate>
#include <functional>

class QTableView;

namespace arvex::app {

// Draws the cells of fields with Tag 4 as check boxes, centred: ticked when the field's text
// is "1", empty otherwise. Dates and times are written with a four-digit year in the grid's
// locale's order of day, month and year. Other cells are drawn as usual.
class CheckBoxDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    CheckBoxDelegate(const store::DatasetModel *model, QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The text a cell shows in a grid of that locale.
    QString cellText(const QModelIndex &index, const QLocale &locale) const;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    const store::DatasetModel *model_;
};

// What a data grid adds to a QTableView over a DatasetModel:
// - the view's current row and the data set's current row follow each other;
// - fields with Tag 4 are drawn as check boxes;
// - a title click first sorts (through the sort handler: ascending on a column other than
//   the one last sorted, the opposite direction on the same one; nothing on an empty view; a
//   computed field is refused with a beep), then raises titleButtonClicked for the column;
//   the sort arrow shows the last sort the handler accepted;
// - a cell click makes the row current, then raises cellClicked.
// Handlers connected here must not throw: they run from Qt's event delivery.
class DataGrid : public QObject {
    Q_OBJECT
public:
    // Gives true when the view was sorted by the field in that direction.
    using SortHandler = std::function<bool(const QString &field, bool ascending)>;

    DataGrid(QTableView *view, store::DatasetModel *model, QObject *parent = nullptr);

    QTableView *view() const { return view_; }
    store::DatasetModel *model() const { return model_; }
    void setSortHandler(SortHandler handler) { sortHandler_ = std::move(handler); }

    // The grid's question whether a column's field is drawn as a check box (Tag 4).
    bool isCheckBoxField(int column) const;
    bool isCalculatedField(int column) const;

    // The last accepted sort: its column (-1 none) and direction.
    int sortedColumn() const { return sortedColumn_; }
    bool sortAscending() const { return ascending_; }

    // What a click on a column title does.
    void titleClick(int column);

    // Replaces the system beep (tests count it instead).
    void setBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    // The text the grid shows in a cell.
    QString cellText(int row, int column) const;

signals:
    void titleButtonClicked(int column);
    void cellClicked(const QModelIndex &index);

private:
    void followDataset(int row);
    void showSortIndicator();

    QTableView *view_;
    store::DatasetModel *model_;
    SortHandler sortHandler_;
    std::function<void()> beep_;
    CheckBoxDelegate *delegate_ = nullptr;
    int sortedColumn_ = -1;
    bool ascending_ = true;
};

} // namespace arvex::app
