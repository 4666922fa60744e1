#include "chart/UnChart.h"
#include "chart/ChartReportHooks.h"

#include "lang/LangMan.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace chart {

namespace {

// The strip under the buttons: a light grey rectangle with a 2-pixel brown outline.
class ButtonStrip : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setPen(QPen(QColor(128, 64, 64), 2));
        p.setBrush(QColor(237, 237, 237));
        p.drawRect(QRectF(1, 1, width() - 2, height() - 2));
    }
};

} // namespace

TChartView::TChartView(ChartState &state, QWidget *parent) : QWidget(parent), state_(state)
{
    setObjectName(QStringLiteral("Chart1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void TChartView::setLabelLocale(const QLocale &locale)
{
    locale_ = locale;
    update();
}

ChartLayout TChartView::layout() const { return LayoutChart(QRectF(rect()), state_, locale_); }

void TChartView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    PaintChart(p, QRectF(rect()), state_, locale_);
    if (dragButton_ == Qt::LeftButton) {
        const QRect r = QRect(dragStart_, dragNow_).normalized();
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
    }
}

void TChartView::mousePressEvent(QMouseEvent *event)
{
    if (dragButton_ != Qt::NoButton || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragButton_ = event->button();
    dragStart_ = dragNow_ = event->position().toPoint();
}

void TChartView::mouseMoveEvent(QMouseEvent *event)
{
    if (dragButton_ == Qt::NoButton) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint now = event->position().toPoint();
    if (dragButton_ == Qt::RightButton) {
        ScrollByPixels(state_, layout(), QPointF(now - dragNow_));
    }
    dragNow_ = now;
    update();
}

void TChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != dragButton_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Qt::MouseButton button = dragButton_;
    dragButton_ = Qt::NoButton;
    const QPoint end = event->position().toPoint();
    if (button == Qt::RightButton) {
        ScrollByPixels(state_, layout(), QPointF(end - dragNow_));
    } else {
        const QPoint d = end - dragStart_;
        if (d.x() >= MinimumDragPixels && d.y() >= MinimumDragPixels)
            ZoomToPixels(state_, layout(), QRectF(dragStart_, end));
        else if (d.x() <= -MinimumDragPixels && d.y() <= -MinimumDragPixels)
            emit resetRequested();
    }
    update();
}

} // namespace chart

TWykresForm::TWykresForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("WykresForm"));
    setWindowTitle(QString());
    setModal(true);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(16);
    setFont(f);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(204, 231, 248));
    setPalette(pal);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Panel1 = new chart::ButtonStrip(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(StripHeight);
    column->addWidget(Panel1);

    Chart1 = new chart::TChartView(state_, this);
    column->addWidget(Chart1, 1);
    connect(Chart1, &chart::TChartView::resetRequested, this, &TWykresForm::RescaleAxis);

    auto glyphButton = [this](const char *name, const char *glyph, int x, int y, int size) {
        auto *b = new QPushButton(Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, size, size);
        b->setIcon(QIcon(QStringLiteral(":/art/glyphs/%1.svg").arg(QLatin1String(glyph))));
        b->setIconSize(QSize(size * 2 / 3, size * 2 / 3));
        // The keys belong to the chart: arrows scroll, + and - zoom.
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
        return b;
    };
    BitBtn2 = glyphButton("BitBtn2", "zoom_in", 24, 25, 50);
    BitBtn3 = glyphButton("BitBtn3", "zoom_out", 80, 25, 50);
    BitBtn4 = glyphButton("BitBtn4", "zoom_reset", 136, 25, 50);
    BitBtn5 = glyphButton("BitBtn5", "arrow_left", 242, 30, 40);
    BitBtn6 = glyphButton("BitBtn6", "arrow_up", 288, 8, 40);
    BitBtn8 = glyphButton("BitBtn8", "arrow_down", 288, 54, 40);
    BitBtn7 = glyphButton("BitBtn7", "arrow_right", 334, 30, 40);
    connect(BitBtn2, &QPushButton::clicked, this, &TWykresForm::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TWykresForm::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TWykresForm::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TWykresForm::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &TWykresForm::BitBtn6Click);
    connect(BitBtn8, &QPushButton::clicked, this, &TWykresForm::BitBtn8Click);
    connect(BitBtn7, &QPushButton::clicked, this, &TWykresForm::BitBtn7Click);

    auto textButton = [this](const char *name, const QString &text, int x) {
        auto *b = new QPushButton(text, Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, 30, 193, 40);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
        return b;
    };
    btnPrint = textButton("btnPrint", QStringLiteral("Print chart"), 448);
    BitBtn1 = textButton("BitBtn1", QStringLiteral("Export to picture"), 671);
    connect(btnPrint, &QPushButton::clicked, this, &TWykresForm::btnPrintClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TWykresForm::BitBtn1Click);

    SavePictureDialog1 = new QFileDialog(this);
    SavePictureDialog1->setObjectName(QStringLiteral("SavePictureDialog1"));
    SavePictureDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SavePictureDialog1->setFileMode(QFileDialog::AnyFile);
    SavePictureDialog1->setOption(QFileDialog::DontUseNativeDialog, true);
    SavePictureDialog1->setNameFilter(QStringLiteral("JPEG Image File (*.jpg)"));
    SavePictureDialog1->setDefaultSuffix(QStringLiteral("jpg"));

    LangManClient1 = new arvex::lang::TLangManClient(this);
    LangManClient1->add(btnPrint);
    LangManClient1->add(BitBtn1);

    resize(DesignClientWidth, DesignClientHeight);
    Chart1->setFocus();
}

void TWykresForm::setVisible(bool visible)
{
    // Centred over the main window each time it opens.
    if (visible && !isVisible()) {
        if (QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr) {
            const QRect o = owner->frameGeometry();
            move(o.center() - QPoint(width() / 2, height() / 2));
        }
        Chart1->setFocus();
    }
    QDialog::setVisible(visible);
}

void TWykresForm::changed() { Chart1->update(); }

void TWykresForm::RescaleAxis()
{
    chart::RescaleAxis(state_);
    changed();
}

void TWykresForm::setLabelLocale(const QLocale &locale) { Chart1->setLabelLocale(locale); }

QLocale TWykresForm::labelLocale() const { return Chart1->labelLocale(); }

void TWykresForm::BitBtn2Click()
{
    chart::ZoomPercent(state_, 110);
    changed();
}

void TWykresForm::BitBtn3Click()
{
    chart::ZoomPercent(state_, 90);
    changed();
}

void TWykresForm::BitBtn4Click() { RescaleAxis(); }

void TWykresForm::BitBtn5Click()
{
    chart::ScrollLeft(state_);
    changed();
}

void TWykresForm::BitBtn6Click()
{
    chart::ScrollUp(state_);
    changed();
}

void TWykresForm::BitBtn8Click()
{
    chart::ScrollDown(state_);
    changed();
}

void TWykresForm::BitBtn7Click()
{
    chart::ScrollRight(state_);
    changed();
}

void TWykresForm::btnPrintClick()
{
    if (chart::chartReportHooks().printChart)
        chart::chartReportHooks().printChart(false);
}

void TWykresForm::BitBtn1Click()
{
    const QString name = ExecuteSavePictureDialog();
    if (name.isEmpty())
        return;
    auto &hooks = chart::chartReportHooks();
    if (hooks.setJpegFileName)
        hooks.setJpegFileName(name);
    if (hooks.printChart)
        hooks.printChart(true);
}

QString TWykresForm::withJpgExtension(const QString &fileName)
{
    if (fileName.isEmpty())
        return fileName;
    const QFileInfo info(fileName);
    if (!info.fileName().isEmpty() && info.suffix().isEmpty() && !info.fileName().endsWith(QLatin1Char('.')))
        return fileName + QStringLiteral(".jpg");
    if (info.fileName().endsWith(QLatin1Char('.')))
        return fileName + QStringLiteral("jpg");
    return fileName;
}

QString TWykresForm::ExecuteSavePictureDialog()
{
    if (SavePictureDialog1->exec() != QDialog::Accepted || SavePictureDialog1->selectedFiles().isEmpty())
        return QString();
    return withJpgExtension(SavePictureDialog1->selectedFiles().constFirst());
}

void TWykresForm::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        BitBtn5Click();
        return;
    case Qt::Key_Right:
        BitBtn7Click();
        return;
    case Qt::Key_Up:
        BitBtn6Click();
        return;
    case Qt::Key_Down:
        BitBtn8Click();
        return;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        BitBtn2Click();
        return;
    case Qt::Key_Minus:
        BitBtn3Click();
        return;
    default:
        QDialog::keyPressEvent(event); // Escape closes
    }
}
