#pragma once

#include <QColor>
#include <QDialog>

class QIcon;
class QPushButton;
class QRect;

// The common look of the program's small windows: no title bar, a fixed client size, a
// background colour and a frame (a rectangle over the whole client area drawn with a 2-pixel
// outline, filled or not), Tahoma at one pixel size, and optionally centred over the window
// that owns it each time it is shown. Modal results: 1 OK, 2 Cancel.
class TSmallForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    struct Look {
        QSize clientSize;
        QColor background;
        QColor outline;
        QColor fill;           // invalid: the frame is not filled
        int fontPixels = 19;
        bool bold = false;
        bool centred = true;   // centred over the owner window at each show
        bool escapeCancels = false; // Escape (and closing the window) answers Cancel
    };

    TSmallForm(QWidget *parent, const QString &name, const Look &look);

    // Shows the window modally and gives its modal result.
    int ShowModal() { return exec(); }

    void setVisible(bool visible) override;

    static QColor lightBlue() { return QColor(204, 231, 248); }
    static QColor maroon() { return QColor(128, 0, 0); }
    // A button glyph of the compiled-in artwork (an empty icon while it is missing).
    static QIcon glyph(const char *name);

protected:
    // A push button of this window with a glyph of 24 × 24 and its object name.
    QPushButton *glyphButton(const char *name, const QString &text, const char *glyphName, const QRect &geometry);

public slots:
    void reject() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Look look_;
};
