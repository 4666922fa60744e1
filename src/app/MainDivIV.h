#pragma once

#include "lang/LangFlagsCombo.h"
#include "store/DatasetModel.h"
#include "store/MainStore.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QButtonGroup;
class QComboBox;
class QDateEdit;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QTableView;
class QTimer;
class QWidget;
class tftdichip;
namespace arvex::meter {
class MeterImport;
class DownloadSurroundings;
class DownloadSequence;
} // namespace arvex::meter
class QModelIndex;
namespace arvex::app {
class DataGrid;
}
namespace arvex::store {
class ObjectResultViews;
}

namespace arvex::lang {
class TDesignedLexicon;
class TLangManClient;
class TLangManEngine;
} // namespace arvex::lang
namespace arvex::app {
class FormStorage;
}
namespace report {
class Report;
class StoreReportDataset;
class UserReportDataset;
struct PrintObject;
struct TfrxJPEGExport;
} // namespace report
class QPicture;

// The main window: header with START, the device labels, report and export buttons, date
// marking, language, contact and temperature scale; below it the objects and results grids.
class TMainDivIVForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainDivIVForm(QWidget *parent = nullptr);
    ~TMainDivIVForm() override;

    static constexpr int DesignClientWidth = 1411;
    static constexpr int DesignClientHeight = 662;
    static constexpr int HeaderPictureWidth = 1110;
    // The header's right-hand controls (contact, language, scale) stand this far left of the
    // window's right edge, and keep this room from the others.
    static constexpr int RightHandOffset = 186;
    static constexpr int HeaderControlGap = 10;

    // Fields, in their order.
    tftdichip *FtdiRS = nullptr;
    QString ProgramPath;
    QByteArray USBPortSerial;
    bool FlagaJest = false;
    QByteArray DevFirmWare;
    std::array<QByteArray, 100> ListaPPDev;
    bool FlSelect_OT = false;
    bool FlSelect_WT = false;
    struct {
        QString objects;
        QString results;
    } LastSortString;
    bool IsExcelExport = false;
    bool IsOpenOffExport = false;

    // Data-access objects.
    arvex::store::MainStore store;

    // Where start-up looks for the program folder; empty: the folder of the running program.
    void setProgramFolderOverride(const QString &folder) { programFolderOverride_ = folder; }
    QString programFolder() const;
    // True once the start-up sequence ran to its end without an error.
    bool startupCompleted() const { return startupCompleted_; }

    // Header panel.
    QFrame *Panel1 = nullptr;
    QLabel *imgEN = nullptr, *imgPL = nullptr, *imgDE = nullptr, *imgFR = nullptr, *imgES = nullptr,
           *imgRU = nullptr, *imgIT = nullptr;
    QLabel *Image1 = nullptr;
    QPushButton *ButtonConnect = nullptr;
    QLabel *Label1 = nullptr, *LabNazwa = nullptr, *Label3 = nullptr, *LabSN = nullptr, *Label4 = nullptr,
           *LabFV = nullptr;
    QPushButton *btnRaport = nullptr, *JvBitBtn1 = nullptr, *btnExportPDF = nullptr, *btnExportXLS = nullptr;
    QPushButton *btnSelectDate = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr;
    QDateEdit *dtpDataOd = nullptr, *dtpDataDo = nullptr;
    QPushButton *BitBtn1 = nullptr;
    arvex::lang::TLangFlagsCombo *LangFlagsCombo1 = nullptr;
    QGroupBox *RGjednostkaT = nullptr;
    QButtonGroup *RGjednostkaTButtons = nullptr;

    // Lower area.
    QFrame *Panel2 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *tsTemp = nullptr;
    QSplitter *Splitter2 = nullptr;
    QFrame *Panel8 = nullptr, *Panel9 = nullptr, *Panel5 = nullptr, *Panel4 = nullptr;
    QPushButton *btnMyName = nullptr, *btnDelObject = nullptr, *btnDelRekord = nullptr;
    QTableView *JvDBUGTempObjects = nullptr;
    QTableView *JvDBUGTemp_details = nullptr;
    arvex::store::DatasetModel *objectsModel = nullptr;
    arvex::store::DatasetModel *resultsModel = nullptr;

    QAction *actChart = nullptr, *actMyname = nullptr, *actDelRekord = nullptr, *actDelObject = nullptr;
    QMenu *PopABobjectT = nullptr, *PopABresult = nullptr;
    QTimer *Timer1 = nullptr;

    // ---- Chart (MainDivIV_chart.cpp) ----
    // "Chart": the current object's marked results in the chart window, shown modally.
    void actChartExecute();
    // The locale of the interface language chosen in the language box (English when none).
    QLocale interfaceLocale() const;
    // ---- end of the chart ----

    // Header pictures in language-number order (EN, PL, DE, FR, ES, RU, IT).
    QList<QLabel *> headerPictures() const;
    // Labels lying over the header picture (Tag 11).
    QList<QLabel *> tag11Labels() const;

    // The decoration right of the header picture shows at an outer width above the picture's.
    static bool decorationShownAt(int outerWidth);
    // The narrowest client width at which the right-hand header controls (contact, language,
    // scale) stay clear of the others; the window is not made narrower.
    int minimumHeaderWidth() const;
    void updateMinimumWidth();

    // Window life.
    void FormShow();
    void FormResize();
    void FormClose();
    void Timer1Timer();

    // Start-up steps that other parts of the program carry out.
    void CreateFtdiRS();     // step 5: the USB access object (owned by the window)
    void FreeFtdiRS();       // close: frees it
    void RefreshObjects(const QString &sort = QString()); // step 9: the object and result views
    void RestoreLanguage();  // step 10: the stored interface language

    // --- Object and result views (MainDivIV_views.cpp) ---
    // The views' logic over FDQObiekty and FDQWyniki; its sort texts and select-all toggles
    // are LastSortString, FlSelect_OT and FlSelect_WT above.
    arvex::store::ObjectResultViews *views = nullptr;
    arvex::app::DataGrid *objectsGrid = nullptr; // over JvDBUGTempObjects
    arvex::app::DataGrid *resultsGrid = nullptr; // over JvDBUGTemp_details
    // Re-reads the results of the current object; an empty sort text keeps the remembered
    // one. Like RefreshObjects, it lets a database error pass to the caller.
    void RefreshResults(const QString &sort = QString());
    bool JvDBUGTempObjectsUserSort(const QString &field, bool ascending);
    bool JvDBUGTemp_detailsUserSort(const QString &field, bool ascending);
    void JvDBUGTempObjectsTitleBtnClick(int column);
    void JvDBUGTemp_detailsTitleBtnClick(int column);
    void JvDBUGTempObjectsCellClick(const QModelIndex &cell);
    void JvDBUGTemp_detailsCellClick(const QModelIndex &cell);
    void btnSelectDateClick();
    // Shown (translated) instead of marking when "from" lies after "to".
    static const char *const DateOrderMessage;
    void actDelRekordExecute();
    void actDelObjectExecute();
    void actMynameExecute();
    void RGjednostkaTClick(int index); // 0 °C, 1 °F
    // --- end of the views ---

    // ---- Languages, contact window, stored settings (MainDivIV_lang.cpp) ----
    arvex::lang::TLangManEngine *LangManEngine1 = nullptr;   // the language list and the language in force
    arvex::lang::TLangManClient *LangManClient1 = nullptr;   // retranslates this window
    arvex::lang::TDesignedLexicon *DesignedLexicon1 = nullptr; // program messages by row number
    arvex::app::FormStorage *JvFormStorage1 = nullptr;       // placement, dates, panel width, scale
    // Language number (0 English .. 6 Italian) of the language box's entry.
    int GetActLangNbr() const;
    // The language box was clicked (also run once by the start-up): stores the position,
    // brings the header picture and the Tag-11 labels to the front, focuses START.
    void LangFlagsCombo1ChangeLanguage(QObject *Sender);
    // "Contact us".
    void BitBtn1Click();
    // The stored settings: read before the start-up, written when the window closes.
    void RestoreSettings();
    void SaveSettings();
    // ---- end of languages ----

    // ---- START: the download (MainDivIV_download.cpp) ----
    void ButtonConnectClick();
    void setUpDownload();
    std::unique_ptr<arvex::meter::MeterImport> meterImport_;
    std::unique_ptr<arvex::meter::DownloadSurroundings> downloadUi_;
    std::unique_ptr<arvex::meter::DownloadSequence> download_;
    tftdichip *downloadChip_ = nullptr; // the chip download_ was made for
    bool closeAfterDownload_ = false;   // the user closed the window while a download ran
    bool downloadRunning() const;
    // True, with a beep, while a download runs: deleting or renaming then would pull rows
    // from under the import.
    bool refusedDuringDownload() const;
    // A close while a download runs waits for its end, and the progress window says so.
    void closeAfterDownload();
    // SIGINT and SIGTERM close the window as its close button does. Called once the
    // database is open (the embedded engine's own handlers are then in place).
    void closeOnStopSignals();
    // ---- end of the download ----

    // ---- Reports and the chart printout (MainDivIV_report.cpp) ----
    report::Report *frxReport1 = nullptr;
    std::shared_ptr<report::StoreReportDataset> frxDBObiekty; // over store.FDQfrxObiekty
    std::shared_ptr<report::StoreReportDataset> frxDBWyniki;  // over store.FDQfrxWyniki
    std::shared_ptr<report::UserReportDataset> frxUserDataSet1; // "TempFF"
    std::shared_ptr<report::TfrxJPEGExport> frxJPEGExport1;
    void LoadReportTemplate();
    void btnRaportClick();
    void frxDBObiektyNext(QObject *Sender);
    void frxReport1BeforePrint(report::PrintObject &Sender);
    void frxUserDataSet1GetValue(const QString &VarName, QVariant &Value);
    void PrintChart(bool ToJPG);
    // The chart window's chart drawn as a vector picture covering (0, 0) to the size.
    QPicture chartPicture(QSize size) const;
    // ---- end of reports ----

    // ---- Document and data export (MainDivIV_export.cpp) ----
    QFileDialog *dlgSavePDF = nullptr;    // "Acrobat Reader|*.pdf"
    QFileDialog *dlgSaveExport = nullptr; // "Microsoft Excel|*.xls|Open Office Calc|*.ods|Text file|*.txt"
    // The file name each export filter was given last (kept for the life of the window).
    QString frxPDFExport1FileName, frxXLSExport1FileName, frxODSExport1FileName, frxCSVExport1FileName;
    void btnExportPDFClick();
    void btnExportXLSClick();
    // Runs a save dialog; true with the chosen name when the user confirms. The name and type
    // chosen stay in the dialog for its next run.
    bool runSaveDialog(QFileDialog *dialog, QString &fileName, int &typeIndex);
    void makeSaveDialogs();
    // ---- end of the export ----

    // Meter discovery and command exchange over FtdiRS (MainDivIV_usb.cpp).
    qint32 ScanMeters();
    QByteArray MeterExchange(const QByteArray &command, qint32 expectedLength);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setUpReports();              // MainDivIV_report.cpp: report component, datasets, hooks
    void setUpExports();              // MainDivIV_export.cpp: save dialogs, buttons, preview filters
    void setUpLanguagesAndSettings(); // MainDivIV_lang.cpp: engine, lexicon, client, storage
    void prepareFirstShow();          // MainDivIV_lang.cpp: language list, stored settings

    void buildHeader();
    void buildLowerArea();
    void buildActions();
    void placeRightAnchored();
    void buildViews(); // MainDivIV_views.cpp
    void setUpChart(); // MainDivIV_chart.cpp: actChart

    QString programFolderOverride_;
    bool shownOnce_ = false;
    bool startupCompleted_ = false;
    bool settingsSaved_ = false; // by the close; the end of the program saves them otherwise
};
