#pragma once
// The report component: holds the template loaded last, the datasets it may use, the
// before-print handler and the pages prepared last; prepares, shows, prints and exports.

#include "Prepared.h"
#include "ReportEngine.h"
#include "ReportTemplate.h"

#include <QList>
#include <QObject>
#include <QPageLayout>
#include <functional>

class QPrinter;
class QWidget;

namespace report {

class ReportDataset;

// An export filter offered by the preview: a name, a file-dialog filter and the writer.
struct ExportFilter {
    QString name;        // "JPEG picture"
    QString fileFilter;  // "JPEG picture (*.jpg)"
    std::function<void(const PreparedReport &report, const QString &fileName)> write;
};

class Report : public QObject {
    Q_OBJECT
public:
    explicit Report(QObject *parent = nullptr);

    // Empties the component (template, pages), then reads the file into it. A missing or
    // unreadable file raises "Cannot open file "<path>". <reason>" and leaves it empty.
    void loadFromFile(const QString &path);
    void clear();
    QString fileName() const { return fileName_; } // of the template loaded last
    const ReportTemplate &reportTemplate() const { return template_; }
    ReportTemplate &reportTemplate() { return template_; }

    // The datasets a template may name (by their user names); owned by the caller.
    void setDatasets(const QList<ReportDataset *> &datasets) { datasets_ = datasets; }
    QList<ReportDataset *> datasets() const { return datasets_; }
    // Raised for every object about to be printed.
    std::function<void(PrintObject &sender)> onBeforePrint;
    // Raised before each preparation, so that the owner can put its datasets where a run
    // begins.
    std::function<void()> onBeforePrepare;

    // Lays the pages out afresh (the pages prepared before are dropped).
    void prepareReport();
    const PreparedReport &preparedReport() const { return prepared_; }
    void setPreparedReport(const PreparedReport &r) { prepared_ = r; }

    // Prepares, then shows the preview window (modal) until the user closes it.
    void showReport(QWidget *parent = nullptr);
    // Prints the prepared pages through the print dialog (nothing when it is cancelled), or
    // on fixedPrinter without a dialog where one is set (tests print to a PDF file so).
    void print(QWidget *parent = nullptr);
    QPrinter *fixedPrinter = nullptr;
    // Prints the prepared pages on a printer set up by the caller, without a dialog.
    bool printTo(QPrinter &printer, int fromPage = 0, int toPage = 0);

    // The filters the preview's export button lists.
    QList<ExportFilter> exportFilters;

    // The page of the loaded template as a page layout (paper, orientation, margins), and
    // a changed one set back before the pages are prepared again (the preview's page setup).
    QPageLayout pageLayout() const;
    void setPageLayout(const QPageLayout &layout);

private:
    ReportTemplate template_;
    QString fileName_;
    QList<ReportDataset *> datasets_;
    PreparedReport prepared_;
};

// Prepared reports in a file of their own (the preview's save and open): the pages with
// every object, pictures included. Raises ReportError on a file that cannot be written or
// read, or that is not such a file.
void savePreparedReport(const PreparedReport &report, const QString &fileName);
PreparedReport loadPreparedReport(const QString &fileName);

} // namespace report
