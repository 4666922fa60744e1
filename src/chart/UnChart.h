#pragma once

#include "chart/ChartPaint.h"
#include "chart/ChartState.h"

#include <QDialog>
#include <QLocale>
#include <QPoint>
#include <QWidget>

class QFileDialog;
class QFrame;
class QPushButton;

namespace arvex::lang {
class TLangManClient;
}

namespace chart {

// The chart on screen: paints the window's chart state with PaintChart and turns the mouse
// into zoom and scroll. Drag down and to the right with the left button: zoom into the
// rectangle; up and to the left: back to the data (RescaleAxis); drag with the right button:
// move the chart with the mouse.
class TChartView : public QWidget {
    Q_OBJECT
public:
    TChartView(ChartState &state, QWidget *parent = nullptr);

    // The locale of the labels (the interface language).
    void setLabelLocale(const QLocale &locale);
    QLocale labelLocale() const { return locale_; }
    ChartLayout layout() const;

    // Least drag, in pixels, that counts as a zoom or a reset.
    static constexpr int MinimumDragPixels = 16;

signals:
    // The user asked for the axes back on the data.
    void resetRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    ChartState &state_;
    QLocale locale_;
    Qt::MouseButton dragButton_ = Qt::NoButton;
    QPoint dragStart_;
    QPoint dragNow_;
};

} // namespace chart

// The chart window of one object's marked results: the button strip (zoom, reset, four
// scroll arrows, print and export) over the chart. Modal, centred over the main window.
class TWykresForm : public QDialog {
    Q_OBJECT
public:
    explicit TWykresForm(QWidget *parent = nullptr);

    static constexpr int DesignClientWidth = 896;
    static constexpr int DesignClientHeight = 543;
    static constexpr int StripHeight = 104;

    // The chart's state, as it stands: the report draws exactly this.
    const chart::ChartState &chartState() const { return state_; }
    chart::ChartState &chartState() { return state_; }
    chart::SeriesT &SeriesT() { return state_.series; }

    // Puts the axes back on the data (at each opening and by the reset button).
    void RescaleAxis();

    // The locale the chart writes its labels in: the interface language's.
    void setLabelLocale(const QLocale &locale);
    QLocale labelLocale() const;

    // A picture file name as the export writes it: a name typed without extension gets ".jpg".
    static QString withJpgExtension(const QString &fileName);
    // Runs the save dialog; the chosen name (with ".jpg" added where it has no extension),
    // or an empty text when the user cancels.
    QString ExecuteSavePictureDialog();

    QFrame *Panel1 = nullptr;     // the button strip
    chart::TChartView *Chart1 = nullptr;
    QPushButton *BitBtn2 = nullptr; // zoom in, 110 %
    QPushButton *BitBtn3 = nullptr; // zoom out, 90 %
    QPushButton *BitBtn4 = nullptr; // reset the axes
    QPushButton *BitBtn5 = nullptr; // arrow left
    QPushButton *BitBtn6 = nullptr; // arrow up
    QPushButton *BitBtn8 = nullptr; // arrow down
    QPushButton *BitBtn7 = nullptr; // arrow right
    QPushButton *btnPrint = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QFileDialog *SavePictureDialog1 = nullptr;
    arvex::lang::TLangManClient *LangManClient1 = nullptr;

public slots:
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn6Click();
    void BitBtn8Click();
    void BitBtn7Click();
    // "Print chart" and "Export to picture": served by the report.
    void btnPrintClick();
    void BitBtn1Click();

public:
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void changed();

    chart::ChartState state_;
};
