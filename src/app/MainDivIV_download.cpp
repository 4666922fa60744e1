// START: the download sequence (meter/DownloadSequence.h) with the main window's progress
// window, information window, device labels, views and cursor as its surroundings.

#include "app/MainDivIV.h"

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/StopSignals.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnProgres.h"
#include "lang/LangMan.h"
#include "meter/DownloadSequence.h"
#include "meter/FTDIchip.h"
#include "meter/MeterImport.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <utility>

namespace {

class WindowSurroundings final : public arvex::meter::DownloadSurroundings {
public:
    explicit WindowSurroundings(TMainDivIVForm &w) : w_(w) {}
    ~WindowSurroundings() override { setBusyCursor(false); }

    void showProgressLabel(arvex::meter::ProgressLabel label, bool visible) override
    {
        using arvex::meter::ProgressLabel;
        QLabel *l = nullptr;
        switch (label) {
        case ProgressLabel::Search: l = ProgresForm->LabSearch; break;
        case ProgressLabel::NoDevice: l = ProgresForm->LabNodevice; break;
        case ProgressLabel::Import: l = ProgresForm->LabImport; break;
        case ProgressLabel::Error: l = ProgresForm->LabError; break;
        case ProgressLabel::Ftdi: l = ProgresForm->LabelFTDI; break;
        }
        if (l)
            l->setVisible(visible);
    }
    void setProgressPosition(int position) override { ProgresForm->ProgressBar1->setValue(position); }
    void showProgress() override { ProgresForm->Show(); }
    void hideProgress() override { ProgresForm->Hide(); }
    void processMessages() override { QCoreApplication::processEvents(); }
    void setBusyCursor(bool busy) override
    {
        if (busy == busy_)
            return;
        busy_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    void showIdentity(const QString &device, const QString &serial, const QString &firmware) override
    {
        w_.LabFV->setText(firmware);
        w_.LabSN->setText(serial);
        w_.LabNazwa->setText(device);
    }
    void refreshViews() override { w_.RefreshObjects(); }
    void showMessage(const QString &text) override { InfoForm->DlgShow(text); }
    void showError(const QString &text) override { arvex::app::showError(&w_, text); }
    int languageNumber() override { return w_.GetActLangNbr(); }
    QString lexiconRow(int row) override { return w_.DesignedLexicon1->GetItem(row); }
    QString countedLexiconRow(int row, int count) override { return w_.DesignedLexicon1->GetItem(row, count); }

private:
    TMainDivIVForm &w_;
    bool busy_ = false;
};

} // namespace

void TMainDivIVForm::setUpDownload()
{
    connect(ButtonConnect, &QPushButton::clicked, this, &TMainDivIVForm::ButtonConnectClick);
}

void TMainDivIVForm::ButtonConnectClick()
{
    if (!FtdiRS) // the start-up ended before it made the USB access object
        CreateFtdiRS();
    if (!download_ || downloadChip_ != FtdiRS) {
        if (download_ && download_->isRunning())
            return;
        meterImport_ = std::make_unique<arvex::meter::MeterImport>(store.FDConnection1, store.FDSP_AddObiektTemp,
                                                                   store.FDSP_AddWynik);
        downloadUi_ = std::make_unique<WindowSurroundings>(*this);
        download_ = std::make_unique<arvex::meter::DownloadSequence>(
            *FtdiRS, *meterImport_, arvex::meter::linkClock(), *downloadUi_,
            arvex::meter::DownloadFields{FlagaJest, USBPortSerial, DevFirmWare, ListaPPDev});
        downloadChip_ = FtdiRS;
    }
    // A press while a download runs (the sequence lets events through) is refused by it.
    if (download_->run() == arvex::meter::DownloadOutcome::Refused) {
        QApplication::beep();
        return;
    }
    if (std::exchange(closeAfterDownload_, false))
        close();
}

bool TMainDivIVForm::downloadRunning() const { return download_ && download_->isRunning(); }

bool TMainDivIVForm::refusedDuringDownload() const
{
    if (!downloadRunning())
        return false;
    QApplication::beep();
    return true;
}

void TMainDivIVForm::closeAfterDownload()
{
    closeAfterDownload_ = true;
    if (ProgresForm)
        ProgresForm->LabClosing->show();
}

void TMainDivIVForm::closeOnStopSignals()
{
    arvex::app::installStopSignals();
    arvex::app::whenStopSignal(this, [this](int) { close(); });
}
