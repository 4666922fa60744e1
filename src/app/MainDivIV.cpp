#include "app/MainDivIV.h"

#include "app/ErrorDisplay.h"
#include "app/Fonts.h"
#include "app/PlatformProbe.h"
#include "app/Program.h"
#include "meter/DownloadSequence.h"
#include "meter/MeterImport.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using arvex::store::DatasetModel;
using arvex::store::GridColumn;

namespace {

constexpr int HeaderHeight = 273;
const QColor HeaderGrey(237, 237, 237);
const QColor ToolbarBlue(204, 231, 248);
const char *const LanguageCodes[] = {"en", "pl", "de", "fr", "es", "ru", "it"};

void setTag(QObject *o, int tag) { o->setProperty("Tag", tag); }

// A picture from the compiled-in artwork, or a plain stand-in of the right size.
QPixmap artwork(const QString &path, QSize size)
{
    QPixmap pm(path);
    if (!pm.isNull())
        return pm.size() == size ? pm : pm.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPixmap plain(size);
    plain.fill(HeaderGrey);
    return plain;
}

QFrame *panel(QWidget *parent, const char *name, const QColor &color)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setAutoFillBackground(true);
    QPalette p = f->palette();
    p.setColor(QPalette::Window, color);
    f->setPalette(p);
    return f;
}

QTableView *grid(QWidget *parent, const char *name)
{
    auto *g = new QTableView(parent);
    g->setObjectName(QString::fromLatin1(name));
    g->verticalHeader()->hide();
    g->verticalHeader()->setDefaultSectionSize(23);
    g->verticalHeader()->setMinimumSectionSize(23);
    g->horizontalHeader()->setFixedHeight(23);
    g->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    g->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    g->horizontalHeader()->setHighlightSections(false);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setShowGrid(true);
    g->setWordWrap(true);
    g->setAlternatingRowColors(false);
    // The selected row stays visible while the grid has no focus.
    QPalette p = g->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    g->setPalette(p);
    return g;
}

void applyColumns(QTableView *g, const DatasetModel *m)
{
    for (int c = 0; c < m->columns().size(); ++c)
        if (m->columns().at(c).width > 0)
            g->setColumnWidth(c, m->columns().at(c).width);
}

} // namespace

TMainDivIVForm::TMainDivIVForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainDivIVForm"));
    setWindowTitle(QStringLiteral("ARVEX TECHNOLOGY  v.1.07"));
    arvex::app::registerTahoma();
    setFont(arvex::app::tahoma(16));

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    buildActions();
    buildHeader();
    buildLowerArea();
    buildViews();
    setUpChart();
    column->addWidget(Panel1);
    column->addWidget(Panel2, 1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &TMainDivIVForm::Timer1Timer);
    Timer1->start();

    resize(DesignClientWidth, DesignClientHeight);
    move(0, 0);

    setUpLanguagesAndSettings();
    setUpDownload();
    setUpReports();
    setUpExports();
    updateMinimumWidth();
}

TMainDivIVForm::~TMainDivIVForm() { FreeFtdiRS(); }

void TMainDivIVForm::buildActions()
{
    auto action = [this](const char *name, const QString &text, const char *icon) {
        auto *a = new QAction(QIcon(QString::fromLatin1(icon)), text, this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    actChart = action("actChart", QStringLiteral("Chart"), ":/art/glyphs/chart.svg");
    actMyname = action("actMyname", QStringLiteral("Edit my name"), ":/art/glyphs/edit.svg");
    actDelRekord = action("actDelRekord", QStringLiteral("Delete marked records"), ":/art/glyphs/delete.svg");
    actDelObject = action("actDelObject", QStringLiteral("Delete object"), ":/art/glyphs/delete.svg");
}

void TMainDivIVForm::buildHeader()
{
    Panel1 = panel(this, "Panel1", HeaderGrey);
    Panel1->setFixedHeight(HeaderHeight);

    QLabel **pictures[] = {&imgEN, &imgPL, &imgDE, &imgFR, &imgES, &imgRU, &imgIT};
    const char *names[] = {"imgEN", "imgPL", "imgDE", "imgFR", "imgES", "imgRU", "imgIT"};
    for (int i = 0; i < 7; ++i) {
        auto *img = new QLabel(Panel1);
        img->setObjectName(QString::fromLatin1(names[i]));
        img->setGeometry(0, 0, HeaderPictureWidth, 274);
        img->setPixmap(artwork(QStringLiteral(":/art/header/header_%1.svg").arg(QLatin1String(LanguageCodes[i])),
                               QSize(HeaderPictureWidth, 274)));
        *pictures[i] = img;
    }
    imgEN->raise();

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(HeaderPictureWidth, 0, 810, 274);
    Image1->setPixmap(artwork(QStringLiteral(":/art/header/decoration.svg"), QSize(810, 274)));

    ButtonConnect = new QPushButton(QStringLiteral("START"), Panel1);
    ButtonConnect->setObjectName(QStringLiteral("ButtonConnect"));
    ButtonConnect->setGeometry(28, 198, 221, 58);
    ButtonConnect->setFont(arvex::app::tahoma(16, true));
    ButtonConnect->setDefault(true);

    auto label = [this](const char *name, const QString &text, int x, int y, int w, int px, bool bold) {
        auto *l = new QLabel(text, Panel1);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(x, y, w, 26);
        l->setFont(arvex::app::tahoma(px, bold));
        setTag(l, 11);
        return l;
    };
    constexpr int X = 600;
    Label1 = label("Label1", QStringLiteral("Device:"), X, 12, 76, 15, true);
    LabNazwa = label("LabNazwa", QStringLiteral(" "), X + 80, 12, 330, 16, false);
    Label3 = label("Label3", QStringLiteral("SN:"), X, 40, 36, 16, false);
    LabSN = label("LabSN", QStringLiteral(" "), X + 40, 40, 180, 16, false);
    Label4 = label("Label4", QStringLiteral("FV:"), X + 235, 40, 36, 16, false);
    LabFV = label("LabFV", QStringLiteral(" "), X + 275, 40, 150, 16, false);

    auto button = [this](const char *name, const QString &text, int x, int y, int w, int h, const char *icon) {
        auto *b = new QPushButton(text, Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, w, h);
        if (icon) {
            b->setIcon(QIcon(QString::fromLatin1(icon)));
            b->setIconSize(QSize(24, 24));
        }
        return b;
    };
    btnRaport = button("btnRaport", QStringLiteral("Report"), X, 74, 225, 40, ":/art/glyphs/report.svg");
    JvBitBtn1 = button("JvBitBtn1", actChart->text(), X, 120, 225, 40, nullptr);
    JvBitBtn1->setIcon(actChart->icon());
    JvBitBtn1->setIconSize(QSize(24, 24));
    connect(JvBitBtn1, &QPushButton::clicked, actChart, &QAction::trigger);
    btnExportPDF = button("btnExportPDF", QStringLiteral("Export to PDF"), X + 235, 74, 225, 40, ":/art/glyphs/pdf.svg");
    btnExportXLS = button("btnExportXLS", QStringLiteral("Export data"), X + 235, 120, 225, 40, ":/art/glyphs/sheet.svg");

    btnSelectDate = button("btnSelectDate", QStringLiteral("Mark results by date"), X, 176, 209, 59, nullptr);
    btnSelectDate->setStyleSheet(QStringLiteral("QPushButton { text-align: center; }"));

    Label5 = label("Label5", QStringLiteral("from:"), X + 222, 180, 52, 16, false);
    Label6 = label("Label6", QStringLiteral("to:"), X + 222, 212, 52, 16, false);
    auto picker = [this](const char *name, int x, int y) {
        auto *d = new QDateEdit(QDate(2023, 6, 1), Panel1);
        d->setObjectName(QString::fromLatin1(name));
        d->setCalendarPopup(true);
        d->setGeometry(x, y, 160, 28);
        // The calendar opens in a window of its own, which does not take the picker's font.
        d->calendarWidget()->setFont(font());
        return d;
    };
    dtpDataOd = picker("dtpDataOd", X + 276, 177);
    dtpDataDo = picker("dtpDataDo", X + 276, 209);

    BitBtn1 = new QPushButton(QStringLiteral("Contact us"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setFont(arvex::app::tahoma(15));

    LangFlagsCombo1 = new arvex::lang::TLangFlagsCombo(Panel1);
    LangFlagsCombo1->setObjectName(QStringLiteral("LangFlagsCombo1"));
    LangFlagsCombo1->setFont(arvex::app::tahoma(13));

    RGjednostkaT = new QGroupBox(QStringLiteral("Temperature scale"), Panel1);
    RGjednostkaT->setObjectName(QStringLiteral("RGjednostkaT"));
    RGjednostkaT->setFont(arvex::app::tahoma(13));
    auto *scale = new QHBoxLayout(RGjednostkaT);
    RGjednostkaTButtons = new QButtonGroup(RGjednostkaT);
    const QString scaleTexts[] = {QStringLiteral("°C"), QStringLiteral("°F")};
    for (int i = 0; i < 2; ++i) {
        auto *r = new QRadioButton(scaleTexts[i], RGjednostkaT);
        r->setObjectName(QStringLiteral("RGjednostkaT_%1").arg(i));
        scale->addWidget(r);
        RGjednostkaTButtons->addButton(r, i);
    }
    RGjednostkaTButtons->button(0)->setChecked(true);

    placeRightAnchored();
}

void TMainDivIVForm::placeRightAnchored()
{
    const int x = width() - RightHandOffset;
    BitBtn1->setGeometry(x, 10, 176, 32);
    LangFlagsCombo1->setGeometry(x, 50, 152, 25);
    RGjednostkaT->setGeometry(x, 86, 176, 58);
}

void TMainDivIVForm::buildLowerArea()
{
    Panel2 = panel(this, "Panel2", palette().color(QPalette::Window));
    auto *outer = new QVBoxLayout(Panel2);
    outer->setContentsMargins(0, 0, 0, 0);

    PageControl1 = new QTabWidget(Panel2);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->tabBar()->setFont(arvex::app::tahoma(19));
    tsTemp = new QWidget(PageControl1);
    tsTemp->setObjectName(QStringLiteral("tsTemp"));
    PageControl1->addTab(tsTemp, QStringLiteral("pH results"));
    outer->addWidget(PageControl1);

    auto *page = new QHBoxLayout(tsTemp);
    page->setContentsMargins(0, 0, 0, 0);
    Splitter2 = new QSplitter(Qt::Horizontal, tsTemp);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(7);
    Splitter2->setChildrenCollapsible(false);
    page->addWidget(Splitter2);

    auto toolbar = [](QWidget *parent, const char *name) {
        QFrame *bar = panel(parent, name, ToolbarBlue);
        bar->setFixedHeight(50);
        auto *row = new QHBoxLayout(bar);
        row->setContentsMargins(1, 1, 1, 1);
        row->setSpacing(2);
        return bar;
    };
    auto toolButton = [](QFrame *bar, const char *name, QAction *a) {
        auto *b = new QPushButton(a->icon(), a->text(), bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(230, 48);
        b->setIconSize(QSize(24, 24));
        QObject::connect(b, &QPushButton::clicked, a, &QAction::trigger);
        qobject_cast<QHBoxLayout *>(bar->layout())->addWidget(b);
        return b;
    };

    Panel8 = panel(Splitter2, "Panel8", palette().color(QPalette::Window));
    auto *left = new QVBoxLayout(Panel8);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    Panel9 = toolbar(Panel8, "Panel9");
    btnMyName = toolButton(Panel9, "btnMyName", actMyname);
    btnDelObject = toolButton(Panel9, "btnDelObject", actDelObject);
    qobject_cast<QHBoxLayout *>(Panel9->layout())->addStretch(1);
    JvDBUGTempObjects = grid(Panel8, "JvDBUGTempObjects");
    left->addWidget(Panel9);
    left->addWidget(JvDBUGTempObjects, 1);

    Panel5 = panel(Splitter2, "Panel5", palette().color(QPalette::Window));
    auto *right = new QVBoxLayout(Panel5);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    Panel4 = toolbar(Panel5, "Panel4");
    btnDelRekord = toolButton(Panel4, "btnDelRekord", actDelRekord);
    qobject_cast<QHBoxLayout *>(Panel4->layout())->addStretch(1);
    JvDBUGTemp_details = grid(Panel5, "JvDBUGTemp_details");
    right->addWidget(Panel4);
    right->addWidget(JvDBUGTemp_details, 1);

    // The toolbars' buttons may be cut off in a narrow window rather than hold its width.
    Panel8->setMinimumWidth(120);
    Panel5->setMinimumWidth(120);
    Splitter2->addWidget(Panel8);
    Splitter2->addWidget(Panel5);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({572, DesignClientWidth - 572 - 7});

    objectsModel = new DatasetModel(store.FDQObiekty,
                                    {{QStringLiteral("REZI2"), QStringLiteral("√"), 28},
                                     {QStringLiteral("NAZWA_DEV"), QStringLiteral("PH name"), 173},
                                     {QStringLiteral("NAZWA_LONG"), QStringLiteral("My name"), 322}},
                                    this);
    resultsModel = new DatasetModel(store.FDQWyniki,
                                    {{QStringLiteral("REZI1"), QStringLiteral("√"), 23},
                                     {QStringLiteral("DATACZAS"), QStringLiteral("Measurement date"), 199},
                                     {QStringLiteral("DANE1"), QStringLiteral("pH"), -1},
                                     {QStringLiteral("DANE2"), QStringLiteral("Temperature"), 152}},
                                    this);
    JvDBUGTempObjects->setModel(objectsModel);
    JvDBUGTemp_details->setModel(resultsModel);
    applyColumns(JvDBUGTempObjects, objectsModel);
    applyColumns(JvDBUGTemp_details, resultsModel);

    // Menus are windows of their own and do not take the window's font.
    PopABobjectT = new QMenu(this);
    PopABobjectT->setObjectName(QStringLiteral("PopABobjectT"));
    PopABobjectT->setFont(font());
    PopABobjectT->addAction(actMyname);
    PopABobjectT->addAction(actChart);
    PopABresult = new QMenu(this);
    PopABresult->setObjectName(QStringLiteral("PopABresult"));
    PopABresult->setFont(font());
    PopABresult->addAction(actDelRekord);

    // Each grid's menu opens on its cells and on its title row; the page's menu everywhere
    // else on the page that has no menu of its own.
    auto menuOn = [this](QWidget *w, QMenu *menu) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [w, menu](const QPoint &p) { menu->popup(w->mapToGlobal(p)); });
    };
    JvDBUGTempObjects->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(JvDBUGTempObjects, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { PopABobjectT->popup(JvDBUGTempObjects->viewport()->mapToGlobal(p)); });
    menuOn(JvDBUGTempObjects->horizontalHeader(), PopABobjectT);
    menuOn(JvDBUGTemp_details->horizontalHeader(), PopABresult);
    menuOn(PageControl1, PopABresult);
}

QList<QLabel *> TMainDivIVForm::headerPictures() const { return {imgEN, imgPL, imgDE, imgFR, imgES, imgRU, imgIT}; }

QList<QLabel *> TMainDivIVForm::tag11Labels() const
{
    QList<QLabel *> out;
    for (QLabel *l : Panel1->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        if (l->property("Tag").toInt() == 11)
            out << l;
    return out;
}

QString TMainDivIVForm::programFolder() const
{
    return programFolderOverride_.isEmpty() ? QCoreApplication::applicationDirPath() : programFolderOverride_;
}

void TMainDivIVForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        prepareFirstShow();
        FormShow();
        ButtonConnect->setFocus();
    }
}

void TMainDivIVForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainDivIVForm::closeEvent(QCloseEvent *event)
{
    // The download lets events through; closing in the middle of it would pull the converter
    // from under it. The window closes once the download has ended.
    if (downloadRunning()) {
        closeAfterDownload();
        event->ignore();
        return;
    }
    SaveSettings();
    settingsSaved_ = true;
    FormClose();
    QMainWindow::closeEvent(event);
}

void TMainDivIVForm::FormShow()
{
    // The start-up has no error handling of its own: a failing step ends it, its error is
    // shown, and the window stays up with what the earlier steps set up.
    QString databaseFile;
    try {
        // 1. The program folder.
        ProgramPath = QDir::toNativeSeparators(QDir(programFolder()).absolutePath() + QLatin1Char('/'));
        // 2. The embedded engine of the program folder; without it nothing is opened.
        if (const QString problem = arvex::app::chooseEngine(ProgramPath); !problem.isEmpty()) {
            arvex::app::showError(this, problem);
            return;
        }
        // 3. The database file.
        databaseFile = ProgramPath + QStringLiteral("ARVEXBASE.fb");
        // 4. Open the connection.
        store.openDatabase(databaseFile);
        // 5. The USB access object.
        CreateFtdiRS();
        // 6.
        FlagaJest = false;
        // 7. Configuration, then devices.
        store.openTables();
        // 8. The pH meter's device row; the outcome does not matter.
        store.locateDevice(arvex::store::PhMeterDeviceKey);
        // 9. Objects and results.
        RefreshObjects();
        // 10. The stored interface language.
        RestoreLanguage();
        // 11. Spreadsheet programs.
        IsOpenOffExport = arvex::app::isOpenOfficeRegistered();
        IsExcelExport = arvex::app::isExcelRegistered();
        startupCompleted_ = true;
    } catch (const arvex::store::DatabaseError &e) {
        QString text = arvex::app::explainEngineError(e.text());
        if (!databaseFile.isEmpty() && !store.FDConnection1.isOpen())
            text = QStringLiteral("The database \"%1\" could not be opened.\n\n%2")
                       .arg(QDir::toNativeSeparators(databaseFile), text);
        arvex::app::showError(this, text);
    } catch (const std::exception &e) {
        arvex::app::showError(this, QString::fromLocal8Bit(e.what()));
    }
}

bool TMainDivIVForm::decorationShownAt(int outerWidth) { return outerWidth > HeaderPictureWidth; }

int TMainDivIVForm::minimumHeaderWidth() const
{
    // The controls that keep their distance from the right edge must stay clear of the
    // header's other controls and labels (the pictures may lie under them).
    const QList<QWidget *> rightHand{BitBtn1, LangFlagsCombo1, RGjednostkaT};
    int othersRight = 0;
    for (QWidget *w : Panel1->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        auto *label = qobject_cast<QLabel *>(w);
        if (rightHand.contains(w) || (label && !label->pixmap().isNull())) // those, and the pictures
            continue;
        othersRight = qMax(othersRight, w->geometry().right() + 1);
    }
    return othersRight + HeaderControlGap + RightHandOffset;
}

void TMainDivIVForm::updateMinimumWidth()
{
    setMinimumWidth(qMax(minimumHeaderWidth(), centralWidget()->minimumSizeHint().width()));
}

void TMainDivIVForm::FormResize()
{
    if (Image1)
        Image1->setVisible(decorationShownAt(frameGeometry().width()));
    if (BitBtn1)
        placeRightAnchored();
}

void TMainDivIVForm::FormClose() { FreeFtdiRS(); }

void TMainDivIVForm::Timer1Timer()
{
    if (!FlagaJest) {
        LabFV->setText(QStringLiteral(" "));
        LabSN->setText(QStringLiteral(" "));
        LabNazwa->setText(QStringLiteral(" "));
    }
}

