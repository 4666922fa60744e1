#include "app/GridSupport.h"

#include "lang/DateTexts.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QTableView>

namespace arvex::app {

namespace {
constexpr int CheckBoxTag = 4;
}

CheckBoxDelegate::CheckBoxDelegate(const store::DatasetModel *model, QObject *parent)
    : QStyledItemDelegate(parent), model_(model)
{
}

QString CheckBoxDelegate::cellText(const QModelIndex &index, const QLocale &locale) const
{
    const int f = model_->fieldOf(index.column());
    if (f >= 0 && model_->dataset().field(f).type == store::FieldType::Timestamp) {
        const QVariant v = index.data(Qt::EditRole);
        return v.isNull() ? QString() : lang::dateTimeText(v.toDateTime(), locale);
    }
    return index.data(Qt::DisplayRole).toString();
}

void CheckBoxDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const int f = model_->fieldOf(index.column());
    if (f >= 0 && model_->dataset().field(f).type == store::FieldType::Timestamp)
        option->text = cellText(index, option->locale);
}

void CheckBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int f = model_->fieldOf(index.column());
    if (f < 0 || model_->dataset().field(f).tag != CheckBoxTag) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // Background and selection as for any cell, without the text.
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    cell.text.clear();
    QStyle *style = cell.widget ? cell.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);

    QStyleOptionButton box;
    const QSize size(style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, cell.widget),
                     style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, cell.widget));
    box.rect = QRect(option.rect.center() - QPoint(size.width() / 2, size.height() / 2), size);
    box.state = QStyle::State_Enabled;
    box.state |= index.data(Qt::DisplayRole).toString() == QLatin1String("1") ? QStyle::State_On : QStyle::State_Off;
    box.palette = option.palette;
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, cell.widget);
}

DataGrid::DataGrid(QTableView *view, store::DatasetModel *model, QObject *parent)
    : QObject(parent), view_(view), model_(model), beep_([] { QApplication::beep(); })
{
    if (view_->model() != model_)
        view_->setModel(model_);
    delegate_ = new CheckBoxDelegate(model_, view_);
    view_->setItemDelegate(delegate_);

    QHeaderView *header = view_->horizontalHeader();
    // The narrow mark columns keep their designed widths (the style's minimum is wider).
    header->setMinimumSectionSize(12);
    for (int c = 0; c < model_->columns().size(); ++c)
        if (model_->columns().at(c).width > 0)
            view_->setColumnWidth(c, model_->columns().at(c).width);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    showSortIndicator();
    connect(header, &QHeaderView::sectionClicked, this, &DataGrid::titleClick);

    // The user moves the current row: the data set follows.
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    model_->dataset().setCurrentRow(current.row());
            });
    // The data set moves (opened, a row deleted, moved by code): the view follows.
    connect(&model_->dataset(), &store::Dataset::currentRowChanged, this, &DataGrid::followDataset);
    connect(view_, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (!index.isValid())
            return;
        model_->dataset().setCurrentRow(index.row());
        emit cellClicked(index);
    });
}

void DataGrid::followDataset(int row)
{
    QItemSelectionModel *selection = view_->selectionModel();
    if (row < 0 || row >= model_->rowCount()) {
        selection->clear();
        return;
    }
    if (selection->currentIndex().row() == row && selection->isRowSelected(row))
        return;
    const int column = qMax(0, selection->currentIndex().column());
    const QModelIndex target = model_->index(row, column);
    selection->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(target);
}

QString DataGrid::cellText(int row, int column) const
{
    return delegate_->cellText(model_->index(row, column), view_->locale());
}

bool DataGrid::isCheckBoxField(int column) const
{
    const int f = model_->fieldOf(column);
    return f >= 0 && model_->dataset().field(f).tag == CheckBoxTag;
}

bool DataGrid::isCalculatedField(int column) const
{
    const int f = model_->fieldOf(column);
    return f >= 0 && model_->dataset().field(f).calculated;
}

void DataGrid::titleClick(int column)
{
    const int f = model_->fieldOf(column);
    if (model_->rowCount() > 0 && f >= 0) {
        if (isCalculatedField(column)) {
            if (beep_)
                beep_();
        } else if (sortHandler_) {
            const bool ascending = column != sortedColumn_ || !ascending_;
            if (sortHandler_(model_->dataset().field(f).name, ascending)) {
                sortedColumn_ = column;
                ascending_ = ascending;
            }
        }
    }
    // The header flips its arrow by itself on a click; show what was really done.
    showSortIndicator();
    emit titleButtonClicked(column);
}

void DataGrid::showSortIndicator()
{
    view_->horizontalHeader()->setSortIndicator(sortedColumn_, ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

} // namespace arvex::app
