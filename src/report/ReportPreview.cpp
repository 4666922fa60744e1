#include "ReportPreview.h"

#include "Paint.h"
#include "Report.h"
#include "ReportTemplate.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace report {

namespace {
constexpr int kGap = 10;
const QColor kBackground(128, 128, 128);

void showError(QWidget *parent, const QString &text)
{
    QMessageBox::critical(parent, QStringLiteral("Error"), text);
}
} // namespace

// ---- pages ----

TPreviewPages::TPreviewPages(QWidget *parent) : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("PreviewPages"));
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
}

void TPreviewPages::setReport(const PreparedReport *report)
{
    report_ = report;
    cache_.clear();
    lastCurrent_ = -1;
    relayout();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

int TPreviewPages::pageCount() const { return report_ ? int(report_->pages.size()) : 0; }

QSize TPreviewPages::pageSizePx(int index) const
{
    const QSizeF mm = report_->pages[index].sizeMm;
    return QSize(qMax(1, qRound(mmToPx(mm.width()) * zoom_)), qMax(1, qRound(mmToPx(mm.height()) * zoom_)));
}

void TPreviewPages::relayout()
{
    tops_.clear();
    contentWidth_ = 0;
    int y = kGap;
    for (int i = 0; i < pageCount(); ++i) {
        tops_ << y;
        const QSize s = pageSizePx(i);
        y += s.height() + kGap;
        contentWidth_ = qMax(contentWidth_, s.width() + 2 * kGap);
    }
    contentHeight_ = y;
    const QSize vp = viewport()->size();
    verticalScrollBar()->setPageStep(vp.height());
    verticalScrollBar()->setRange(0, qMax(0, contentHeight_ - vp.height()));
    horizontalScrollBar()->setPageStep(vp.width());
    horizontalScrollBar()->setRange(0, qMax(0, contentWidth_ - vp.width()));
}

void TPreviewPages::setZoom(double zoom)
{
    zoom = qBound(0.1, zoom, 8.0);
    if (qFuzzyCompare(zoom, zoom_))
        return;
    const int page = currentPage();
    zoom_ = zoom;
    cache_.clear();
    relayout();
    showPage(page);
    viewport()->update();
}

double TPreviewPages::pageWidthZoom() const
{
    if (pageCount() == 0)
        return 1.0;
    return (viewport()->width() - 2 * kGap) / mmToPx(report_->pages[currentPage()].sizeMm.width());
}

double TPreviewPages::wholePageZoom() const
{
    if (pageCount() == 0)
        return 1.0;
    const QSizeF mm = report_->pages[currentPage()].sizeMm;
    return qMin((viewport()->width() - 2 * kGap) / mmToPx(mm.width()),
                (viewport()->height() - 2 * kGap) / mmToPx(mm.height()));
}

int TPreviewPages::currentPage() const
{
    if (tops_.isEmpty())
        return 0;
    const int y = verticalScrollBar()->value() + kGap;
    const auto it = std::upper_bound(tops_.cbegin(), tops_.cend(), y);
    return qMax(0, int(it - tops_.cbegin()) - 1);
}

void TPreviewPages::showPage(int index)
{
    if (tops_.isEmpty())
        return;
    index = qBound(0, index, int(tops_.size()) - 1);
    verticalScrollBar()->setValue(tops_[index] - kGap);
}

QPixmap TPreviewPages::pagePixmap(int index)
{
    auto it = cache_.find(index);
    if (it != cache_.end())
        return it.value();
    const QSize s = pageSizePx(index);
    const qreal dpr = devicePixelRatioF();
    QPixmap pm(s * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::white);
    QPainter p(&pm);
    PaintPage(p, report_->pages[index], QRectF(QPointF(0, 0), QSizeF(s)));
    p.end();
    cache_.insert(index, pm);
    return pm;
}

void TPreviewPages::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), kBackground);
    if (pageCount() == 0)
        return;
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    const int dx = -horizontalScrollBar()->value();
    const int vw = viewport()->width();
    QList<int> visible;
    for (int i = qMax(0, currentPage() - 1); i < pageCount() && tops_[i] < bottom; ++i) {
        const QSize s = pageSizePx(i);
        if (tops_[i] + s.height() < top)
            continue;
        visible << i;
        const int x = contentWidth_ <= vw ? (vw - s.width()) / 2 : dx + kGap;
        const QRect r(x, tops_[i] - top, s.width(), s.height());
        p.fillRect(r.translated(3, 3), QColor(80, 80, 80));
        p.drawPixmap(r.topLeft(), pagePixmap(i));
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    // Keep only the pages near the view, so that a long report holds few pictures.
    for (auto it = cache_.begin(); it != cache_.end();) {
        if (!visible.isEmpty() && (it.key() < visible.first() - 2 || it.key() > visible.last() + 2))
            it = cache_.erase(it);
        else
            ++it;
    }
    const int cur = currentPage();
    if (cur != lastCurrent_) {
        lastCurrent_ = cur;
        emit currentPageChanged(cur);
    }
}

void TPreviewPages::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    relayout();
}

void TPreviewPages::scrollContentsBy(int, int) { viewport()->update(); }

// ---- window ----

TReportPreviewForm::TReportPreviewForm(Report &report, QWidget *parent) : QDialog(parent), report_(report)
{
    setObjectName(QStringLiteral("frxPreviewForm"));
    setWindowTitle(report.preparedReport().title.isEmpty() ? QStringLiteral("Preview")
                                                          : QStringLiteral("Preview - %1").arg(report.preparedReport().title));
    setModal(true);
    setWindowState(Qt::WindowMaximized);
    setSizeGripEnabled(true);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    column->addWidget(bar);
    pages_ = new TPreviewPages(this);
    column->addWidget(pages_, 1);

    auto button = [&](const char *name, const QString &text, QStyle::StandardPixmap icon) {
        auto *b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(text);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        bar->addWidget(b);
        return b;
    };
    connect(button("pbPrint", QStringLiteral("Print"), QStyle::SP_DialogApplyButton), &QToolButton::clicked, this,
            &TReportPreviewForm::printClick);
    connect(button("pbLoad", QStringLiteral("Open"), QStyle::SP_DialogOpenButton), &QToolButton::clicked, this,
            &TReportPreviewForm::openClick);
    connect(button("pbSave", QStringLiteral("Save"), QStyle::SP_DialogSaveButton), &QToolButton::clicked, this,
            &TReportPreviewForm::saveClick);
    QToolButton *exportButton = button("pbExport", QStringLiteral("Export"), QStyle::SP_ArrowRight);
    auto *exportMenu = new QMenu(exportButton);
    exportMenu->setObjectName(QStringLiteral("ExportMenu"));
    for (int i = 0; i < report.exportFilters.size(); ++i)
        exportMenu->addAction(report.exportFilters[i].name, this, [this, i] { exportClick(i); });
    exportButton->setMenu(exportMenu);
    exportButton->setPopupMode(QToolButton::InstantPopup);
    exportButton->setEnabled(!report.exportFilters.isEmpty());
    QToolButton *quick = button("pbExportQuick", QStringLiteral("Quick export"), QStyle::SP_MediaSeekForward);
    connect(quick, &QToolButton::clicked, this, &TReportPreviewForm::quickExportClick);
    quick->setEnabled(!report.exportFilters.isEmpty());
    bar->addSeparator();

    QToolButton *zoomButton = button("pbZoom", QStringLiteral("Zoom"), QStyle::SP_FileDialogContentsView);
    zoomBox_ = new QComboBox(bar);
    zoomBox_->setObjectName(QStringLiteral("ZoomCB"));
    zoomBox_->setEditable(true);
    zoomBox_->addItems({QStringLiteral("25%"), QStringLiteral("50%"), QStringLiteral("75%"), QStringLiteral("100%"),
                        QStringLiteral("150%"), QStringLiteral("200%"), QStringLiteral("400%"),
                        QStringLiteral("Page width"), QStringLiteral("Whole page")});
    zoomBox_->setCurrentText(QStringLiteral("100%"));
    bar->addWidget(zoomBox_);
    connect(zoomBox_, &QComboBox::textActivated, this, &TReportPreviewForm::setZoomText);
    connect(zoomButton, &QToolButton::clicked, this, [this] {
        setZoomText(zoomBox_->currentText() == QLatin1String("Whole page") ? QStringLiteral("100%")
                                                                            : QStringLiteral("Whole page"));
    });
    connect(button("pbPageSetup", QStringLiteral("Page setup"), QStyle::SP_FileDialogDetailedView),
            &QToolButton::clicked, this, &TReportPreviewForm::pageSetupClick);
    bar->addSeparator();

    connect(button("pbNavFirst", QStringLiteral("First"), QStyle::SP_MediaSkipBackward), &QToolButton::clicked, this,
            [this] { pages_->showPage(0); });
    connect(button("pbNavPrior", QStringLiteral("Prior"), QStyle::SP_MediaSeekBackward), &QToolButton::clicked, this,
            [this] { pages_->showPage(pages_->currentPage() - 1); });
    pageBox_ = new QSpinBox(bar);
    pageBox_->setObjectName(QStringLiteral("PageE"));
    pageBox_->setKeyboardTracking(false);
    bar->addWidget(pageBox_);
    pageCountLabel_ = new QLabel(bar);
    pageCountLabel_->setObjectName(QStringLiteral("PageCountLabel"));
    bar->addWidget(pageCountLabel_);
    connect(pageBox_, &QSpinBox::valueChanged, this, [this](int v) {
        if (v - 1 != pages_->currentPage())
            pages_->showPage(v - 1);
    });
    connect(button("pbNavNext", QStringLiteral("Next"), QStyle::SP_MediaSeekForward), &QToolButton::clicked, this,
            [this] { pages_->showPage(pages_->currentPage() + 1); });
    connect(button("pbNavLast", QStringLiteral("Last"), QStyle::SP_MediaSkipForward), &QToolButton::clicked, this,
            [this] { pages_->showPage(pages_->pageCount() - 1); });
    connect(pages_, &TPreviewPages::currentPageChanged, this, [this](int i) {
        const QSignalBlocker block(pageBox_);
        pageBox_->setValue(i + 1);
    });

    refresh();
}

QList<QToolButton *> TReportPreviewForm::buttons() const { return findChildren<QToolButton *>(); }

void TReportPreviewForm::refresh()
{
    pages_->setReport(&report_.preparedReport());
    updateNavigator();
}

void TReportPreviewForm::updateNavigator()
{
    const int n = pages_->pageCount();
    const QSignalBlocker block(pageBox_);
    pageBox_->setRange(n > 0 ? 1 : 0, n);
    pageBox_->setValue(n > 0 ? pages_->currentPage() + 1 : 0);
    pageCountLabel_->setText(QStringLiteral(" / %1 ").arg(n));
}

void TReportPreviewForm::setZoomText(const QString &text)
{
    double z = 1.0;
    if (text == QLatin1String("Page width")) {
        z = pages_->pageWidthZoom();
    } else if (text == QLatin1String("Whole page")) {
        z = pages_->wholePageZoom();
    } else {
        QString t = text;
        t.remove(QLatin1Char('%'));
        bool ok = false;
        const double percent = t.trimmed().toDouble(&ok);
        if (!ok || percent <= 0)
            return;
        z = percent / 100.0;
    }
    const QSignalBlocker block(zoomBox_);
    zoomBox_->setCurrentText(text);
    pages_->setZoom(z);
}

void TReportPreviewForm::printClick() { report_.print(this); }

void TReportPreviewForm::openClick()
{
    const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
                                                      QStringLiteral("Prepared report (*.arvexrep)"));
    if (name.isEmpty())
        return;
    try {
        report_.setPreparedReport(loadPreparedReport(name));
    } catch (const ReportError &e) {
        showError(this, e.text());
        return;
    }
    refresh();
}

void TReportPreviewForm::saveClick()
{
    QFileDialog dialog(this, QStringLiteral("Save"), QString(), QStringLiteral("Prepared report (*.arvexrep)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("arvexrep"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    try {
        savePreparedReport(report_.preparedReport(), dialog.selectedFiles().first());
    } catch (const ReportError &e) {
        showError(this, e.text());
    }
}

void TReportPreviewForm::exportClick(int filter)
{
    if (filter < 0 || filter >= report_.exportFilters.size())
        return;
    const ExportFilter &f = report_.exportFilters[filter];
    QFileDialog dialog(this, f.name, QString(), f.fileFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const int dot = f.fileFilter.indexOf(QLatin1String("*."));
    if (dot >= 0)
        dialog.setDefaultSuffix(f.fileFilter.mid(dot + 2).section(QRegularExpression(QStringLiteral("[ );]")), 0, 0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    lastFilter_ = filter;
    try {
        f.write(report_.preparedReport(), dialog.selectedFiles().first());
    } catch (const std::exception &e) {
        showError(this, QString::fromStdString(e.what()));
    }
}

void TReportPreviewForm::quickExportClick() { exportClick(lastFilter_ >= 0 ? lastFilter_ : 0); }

void TReportPreviewForm::pageSetupClick()
{
    QPrinter printer;
    printer.setPageLayout(report_.pageLayout());
    QPageSetupDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    report_.setPageLayout(printer.pageLayout());
    try {
        report_.prepareReport();
    } catch (const std::exception &e) {
        showError(this, QString::fromStdString(e.what()));
    }
    refresh();
}

} // namespace report
