// The main window's object and result views: the two grids, their title clicks, mark
// clicks, the date marking, the deletions, the user's object names and the temperature
// scale. The data work is done by arvex::store::ObjectResultViews; this file wires the
// window's controls to it and shows its errors.

#include "app/MainDivIV.h"

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/GridSupport.h"
#include "app/dialogs/UEditMyName.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnPytanie.h"
#include "lang/LangMan.h"
#include "store/ObjectResultViews.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCursor>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {


constexpr int TemperatureColumn = 3;

} // namespace

void TMainDivIVForm::buildViews()
{
    views = new arvex::store::ObjectResultViews(
        store,
        arvex::store::ObjectResultViews::State{LastSortString.objects, LastSortString.results, FlSelect_OT,
                                               FlSelect_WT},
        this);
    // The row-change rule re-reads the results from a signal: its errors are shown here.
    views->setErrorHandler([this](const QString &text) { arvex::app::showError(this, text); });

    objectsGrid = new arvex::app::DataGrid(JvDBUGTempObjects, objectsModel, this);
    resultsGrid = new arvex::app::DataGrid(JvDBUGTemp_details, resultsModel, this);
    objectsGrid->setSortHandler(
        [this](const QString &field, bool ascending) { return JvDBUGTempObjectsUserSort(field, ascending); });
    resultsGrid->setSortHandler(
        [this](const QString &field, bool ascending) { return JvDBUGTemp_detailsUserSort(field, ascending); });
    connect(objectsGrid, &arvex::app::DataGrid::titleButtonClicked, this,
            &TMainDivIVForm::JvDBUGTempObjectsTitleBtnClick);
    connect(resultsGrid, &arvex::app::DataGrid::titleButtonClicked, this,
            &TMainDivIVForm::JvDBUGTemp_detailsTitleBtnClick);
    connect(objectsGrid, &arvex::app::DataGrid::cellClicked, this, &TMainDivIVForm::JvDBUGTempObjectsCellClick);
    connect(resultsGrid, &arvex::app::DataGrid::cellClicked, this, &TMainDivIVForm::JvDBUGTemp_detailsCellClick);

    connect(btnSelectDate, &QPushButton::clicked, this, &TMainDivIVForm::btnSelectDateClick);
    connect(actDelRekord, &QAction::triggered, this, &TMainDivIVForm::actDelRekordExecute);
    connect(actDelObject, &QAction::triggered, this, &TMainDivIVForm::actDelObjectExecute);
    connect(actMyname, &QAction::triggered, this, &TMainDivIVForm::actMynameExecute);

    // By the user or by a program (the stored settings checking a button): both count.
    connect(RGjednostkaTButtons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            RGjednostkaTClick(id);
    });
    if (RGjednostkaTButtons->checkedId() >= 0)
        RGjednostkaTClick(RGjednostkaTButtons->checkedId());
}

void TMainDivIVForm::RefreshObjects(const QString &sort) { views->refreshObjects(sort); }

void TMainDivIVForm::RefreshResults(const QString &sort) { views->refreshResults(sort); }

bool TMainDivIVForm::JvDBUGTempObjectsUserSort(const QString &field, bool ascending)
{
    bool sorted = false;
    arvex::app::showErrorsOf(this, [&] { sorted = views->sortObjects(field, ascending); });
    return sorted;
}

bool TMainDivIVForm::JvDBUGTemp_detailsUserSort(const QString &field, bool ascending)
{
    bool sorted = false;
    arvex::app::showErrorsOf(this, [&] { sorted = views->sortResults(field, ascending); });
    return sorted;
}

void TMainDivIVForm::JvDBUGTempObjectsTitleBtnClick(int column)
{
    if (column != 0)
        return;
    arvex::app::showErrorsOf(this, [this] { views->selectAllObjects(); });
}

void TMainDivIVForm::JvDBUGTemp_detailsTitleBtnClick(int column)
{
    if (column != 0)
        return;
    arvex::app::showErrorsOf(this, [this] { views->selectAllResults(); });
}

void TMainDivIVForm::JvDBUGTempObjectsCellClick(const QModelIndex &cell)
{
    if (cell.column() != 0)
        return;
    arvex::app::showErrorsOf(this, [this] { views->toggleObjectMark(); });
}

void TMainDivIVForm::JvDBUGTemp_detailsCellClick(const QModelIndex &cell)
{
    if (cell.column() != 0)
        return;
    arvex::app::showErrorsOf(this, [this] { views->toggleResultMark(); });
}

const char *const TMainDivIVForm::DateOrderMessage = "The date “from” is after\nthe date “to”.\nNo mark was changed.";

void TMainDivIVForm::btnSelectDateClick()
{
    // A range that ends before it starts would unmark every result: it is refused.
    if (dtpDataOd->date() > dtpDataDo->date()) {
        if (InfoForm)
            InfoForm->DlgShow(arvex::lang::TLangManClient::translated(QString::fromUtf8(DateOrderMessage)));
        return;
    }
    arvex::app::showErrorsOf(this, [this] { views->markByDate(dtpDataOd->date(), dtpDataDo->date()); });
}

void TMainDivIVForm::actDelRekordExecute()
{
    if (refusedDuringDownload())
        return;
    // An empty results view has nothing to delete: no question is asked.
    if (!store.FDQWyniki.isActive() || store.FDQWyniki.isEmpty() || !PytForm)
        return;
    PytForm->NumerKomunikatu = 1;
    if (PytForm->exec() != 1)
        return;
    arvex::app::showErrorsOf(this, [this] { views->deleteMarkedResults(); });
}

void TMainDivIVForm::actDelObjectExecute()
{
    if (refusedDuringDownload())
        return;
    if (!views->hasCurrentObject() || !PytForm)
        return;
    PytForm->NumerKomunikatu = 2;
    if (PytForm->exec() != 1)
        return;
    arvex::app::showErrorsOf(this, [this] { views->deleteObject(); });
}

void TMainDivIVForm::actMynameExecute()
{
    if (refusedDuringDownload())
        return;
    if (!views->hasCurrentObject() || !FormEditName)
        return;
    FormEditName->move(QCursor::pos());
    FormEditName->Edit1->setText(views->currentObjectName());
    if (FormEditName->exec() != 1)
        return;
    arvex::app::showErrorsOf(this, [this] { views->renameObject(FormEditName->Edit1->text()); });
}

void TMainDivIVForm::RGjednostkaTClick(int index)
{
    if (index == 0)
        resultsModel->setColumnField(TemperatureColumn, QStringLiteral("DANE2"));
    else if (index == 1)
        resultsModel->setColumnField(TemperatureColumn, QStringLiteral("TempF"));
}
