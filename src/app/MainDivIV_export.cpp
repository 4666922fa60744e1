// The two export buttons: "Export to PDF" writes the whole report, "Export data" the data of
// its data bands as an Excel workbook, an OpenDocument spreadsheet or a semicolon-separated
// text file. Both prepare the report through LoadReportTemplate (MainDivIV_report.cpp).

#include "app/MainDivIV.h"

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/dialogs/UnInfo.h"
#include "lang/LangMan.h"
#include "report/ExportFilters.h"
#include "report/Report.h"
#include "report/ReportTemplate.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

namespace {

// Extension of each dialog type, in the dialog's order.
const char *const ExportSuffixes[] = {"xls", "ods", "txt"};


QFileDialog *saveDialog(QWidget *parent, const char *name, const QStringList &filters, const QString &suffix)
{
    auto *d = new QFileDialog(parent);
    d->setObjectName(QLatin1String(name));
    d->setAcceptMode(QFileDialog::AcceptSave);
    d->setFileMode(QFileDialog::AnyFile);
    d->setOption(QFileDialog::DontConfirmOverwrite, true); // an existing file is overwritten unasked
    d->setNameFilters(filters);
    d->setDefaultSuffix(suffix);
    return d;
}

} // namespace

void TMainDivIVForm::setUpExports()
{
    connect(btnExportPDF, &QPushButton::clicked, this, [this] { arvex::app::showErrorsOf(this, [this] { btnExportPDFClick(); }); });
    connect(btnExportXLS, &QPushButton::clicked, this, [this] { arvex::app::showErrorsOf(this, [this] { btnExportXLSClick(); }); });

    frxReport1->exportFilters << report::previewExportFilters();
}

// The save dialogs are made when first needed (the window's own small windows come first
// among its children) and then live, with the name and type chosen last, as long as it.
void TMainDivIVForm::makeSaveDialogs()
{
    if (dlgSavePDF)
        return;
    dlgSavePDF = saveDialog(this, "dlgSavePDF", {QStringLiteral("Acrobat Reader (*.pdf)")}, QStringLiteral("pdf"));
    dlgSaveExport = saveDialog(this, "dlgSaveExport",
                               {QStringLiteral("Microsoft Excel (*.xls)"), QStringLiteral("Open Office Calc (*.ods)"),
                                QStringLiteral("Text file (*.txt)")},
                               QStringLiteral("xls"));
    // A name typed without an extension gets the chosen type's.
    connect(dlgSaveExport, &QFileDialog::filterSelected, dlgSaveExport, [this](const QString &filter) {
        const int i = int(dlgSaveExport->nameFilters().indexOf(filter));
        if (i >= 0 && i < 3)
            dlgSaveExport->setDefaultSuffix(QLatin1String(ExportSuffixes[i]));
    });
}

bool TMainDivIVForm::runSaveDialog(QFileDialog *dialog, QString &fileName, int &typeIndex)
{
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return false;
    fileName = dialog->selectedFiles().first();
    typeIndex = int(dialog->nameFilters().indexOf(dialog->selectedNameFilter())) + 1;
    if (typeIndex < 1)
        typeIndex = 1;
    if (QFileInfo(fileName).suffix().isEmpty() && !dialog->defaultSuffix().isEmpty())
        fileName += QLatin1Char('.') + dialog->defaultSuffix();
    // Offered again on the next run.
    dialog->selectFile(fileName);
    return true;
}

void TMainDivIVForm::btnExportPDFClick()
{
    QString fileName;
    int type = 1;
    // 1. The file first; a cancelled dialog changes nothing.
    makeSaveDialogs();
    if (!runSaveDialog(dlgSavePDF, fileName, type))
        return;
    // 2. The report of the current language's template.
    LoadReportTemplate();
    // 3. The filter gets the chosen name.
    frxPDFExport1FileName = fileName;
    // 4. Prepare, 5. write; no object count is tested, no message on success.
    frxReport1->prepareReport();
    report::exportReportOrRaise(frxReport1->preparedReport(), report::ExportKind::Pdf, frxPDFExport1FileName);
}

void TMainDivIVForm::btnExportXLSClick()
{
    QString fileName;
    int type = 1;
    // 1. The file first.
    makeSaveDialogs();
    if (!runSaveDialog(dlgSaveExport, fileName, type))
        return;
    // 2. The template (its file error ends the export before anything is counted).
    LoadReportTemplate();
    // 3. No marked object of the current device.
    if (store.FDQfrxObiekty.isEmpty()) {
        InfoForm->DlgShow(DesignedLexicon1->GetItem(9));
        return;
    }
    // 4. The type decides the filter; the office flags are tested only now.
    report::ExportKind kind = report::ExportKind::Csv;
    QString *filterName = &frxCSVExport1FileName;
    switch (type) {
    case 1:
        if (!IsExcelExport) {
            InfoForm->DlgShow(DesignedLexicon1->GetItem(0));
            return;
        }
        kind = report::ExportKind::Xls;
        filterName = &frxXLSExport1FileName;
        break;
    case 2:
        if (!IsOpenOffExport) {
            InfoForm->DlgShow(DesignedLexicon1->GetItem(1));
            return;
        }
        kind = report::ExportKind::Ods;
        filterName = &frxODSExport1FileName;
        break;
    default:
        break;
    }
    // 5. The filter gets the chosen name, 6. prepare, 7. write.
    *filterName = fileName;
    frxReport1->prepareReport();
    report::exportReportOrRaise(frxReport1->preparedReport(), kind, *filterName);
}
