#pragma once
// The preview window of a prepared report: pages painted on demand at the chosen zoom,
// print, open, save, export, zoom, page setup, page navigator and quick export.

#include "Prepared.h"

#include <QAbstractScrollArea>
#include <QDialog>
#include <QHash>
#include <QPixmap>
#include <QVector>

class QComboBox;
class QLabel;
class QSpinBox;
class QToolButton;

namespace report {

class Report;

// The pages, one below the other; only those in view are painted, each once per zoom.
class TPreviewPages : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TPreviewPages(QWidget *parent = nullptr);

    void setReport(const PreparedReport *report);
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    // Zoom at which a page's width or whole page fills the view.
    double pageWidthZoom() const;
    double wholePageZoom() const;
    int pageCount() const;
    int currentPage() const;      // 0-based: the page at the top of the view
    void showPage(int index);     // scrolls so that the page's top is at the top of the view
    // A page as the view shows it (for tests and benchmarks).
    QPixmap pagePixmap(int index);

signals:
    void currentPageChanged(int index);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void relayout();
    QSize pageSizePx(int index) const;

    const PreparedReport *report_ = nullptr;
    double zoom_ = 1.0;
    QVector<int> tops_;
    int contentWidth_ = 0;
    int contentHeight_ = 0;
    int lastCurrent_ = -1;
    QHash<int, QPixmap> cache_;   // pages painted at the current zoom, near the view
};

class TReportPreviewForm : public QDialog {
    Q_OBJECT
public:
    explicit TReportPreviewForm(Report &report, QWidget *parent = nullptr);

    TPreviewPages *pages() const { return pages_; }
    QComboBox *zoomBox() const { return zoomBox_; }
    // The toolbar's buttons by their object names: pbPrint, pbLoad, pbSave, pbExport, pbZoom,
    // pbPageSetup, pbNavFirst, pbNavPrior, pbNavNext, pbNavLast, pbExportQuick.
    QList<QToolButton *> buttons() const;

    void printClick();
    void openClick();
    void saveClick();
    void exportClick(int filter);
    void quickExportClick();
    void pageSetupClick();
    void setZoomText(const QString &text);

private:
    void refresh();
    void updateNavigator();

    Report &report_;
    TPreviewPages *pages_ = nullptr;
    QComboBox *zoomBox_ = nullptr;
    QSpinBox *pageBox_ = nullptr;
    QLabel *pageCountLabel_ = nullptr;
    int lastFilter_ = -1;
};

} // namespace report
