#pragma once

#include "app/dialogs/SmallForm.h"

class QLabel;
class QProgressBar;

namespace arvex::lang {
class TLangManClient;
}

// The progress window of the download: one line of text, where one of the labels is shown
// at a time, and a bar from 0 to 100. Not modal, always on top; the download sequence sets
// the labels' visibility and the bar's position.
class TProgresForm : public TSmallForm {
    Q_OBJECT
public:
    explicit TProgresForm(QWidget *parent = nullptr);

    QLabel *LabSearch = nullptr;   // "Searching"
    QLabel *LabImport = nullptr;   // "Importing data"
    QLabel *LabNodevice = nullptr; // "Device not connected"
    QLabel *LabError = nullptr;    // "Import error"
    QLabel *LabelFTDI = nullptr;   // "Installing FTDI driver"
    // Below them, shown while a close waits for the download to end.
    QLabel *LabClosing = nullptr; // "The program closes when the download ends."
    QProgressBar *ProgressBar1 = nullptr;

    arvex::lang::TLangManClient *LangManClient1 = nullptr;

    // Shows the window without waiting (not modal).
    void Show() { show(); }
    void Hide();
};
