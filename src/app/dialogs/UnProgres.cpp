#include "app/dialogs/UnProgres.h"

#include "lang/LangMan.h"

#include <QLabel>
#include <QProgressBar>

TProgresForm::TProgresForm(QWidget *parent)
    : TSmallForm(parent, QStringLiteral("ProgresForm"),
                 {QSize(413, 108), lightBlue(), maroon(), QColor(), 19, false, true, false})
{
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);

    // The five labels share one place; the download shows one at a time.
    auto label = [this](const char *name, const QString &text, bool visible) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(8, 24, 397, 23);
        l->setAlignment(Qt::AlignCenter);
        l->setVisible(visible);
        return l;
    };
    LabSearch = label("LabSearch", QStringLiteral("Searching"), true);
    LabImport = label("LabImport", QStringLiteral("Importing data"), false);
    LabNodevice = label("LabNodevice", QStringLiteral("Device not connected"), false);
    LabError = label("LabError", QStringLiteral("Import error"), false);
    LabelFTDI = label("LabelFTDI", QStringLiteral("Installing FTDI driver"), false);

    LabClosing = new QLabel(QStringLiteral("The program closes when the download ends."), this);
    LabClosing->setObjectName(QStringLiteral("LabClosing"));
    LabClosing->setGeometry(8, 47, 397, 18);
    LabClosing->setAlignment(Qt::AlignCenter);
    QFont small = LabClosing->font();
    small.setPixelSize(12);
    LabClosing->setFont(small);
    LabClosing->setVisible(false);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(40, 66, 333, 31);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    LangManClient1 = new arvex::lang::TLangManClient(this);
    for (QLabel *l : {LabSearch, LabImport, LabNodevice, LabError, LabelFTDI, LabClosing})
        LangManClient1->add(l);
}

void TProgresForm::Hide()
{
    hide();
    LabClosing->hide();
}
