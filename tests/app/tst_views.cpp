// The main window's object and result views on a real database filled through the import.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/GridSupport.h"
#include "app/MainDivIV.h"
#include "app/dialogs/UEditMyName.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnPytanie.h"
#include "meter/MeterImport.h"
#include "store/MainStore.h"
#include "store/ObjectResultViews.h"
#include "support/TestDatabase.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <map>
#include <memory>

using namespace arvex;

namespace {

struct Measurement {
    QDateTime when;
    double ph;
    double celsius;
};

// The meter's content: RIVER, LAKE and EMPTY (no results), in that order.
const QList<std::pair<QByteArray, QList<Measurement>>> &meterContent()
{
    static const QList<std::pair<QByteArray, QList<Measurement>>> content{
        {"RIVER",
         {{QDateTime(QDate(2023, 5, 31), QTime(23, 59, 58)), 7.00, 20.0},
          {QDateTime(QDate(2023, 6, 1), QTime(0, 0, 0)), 6.01, 0.5},
          {QDateTime(QDate(2023, 6, 1), QTime(12, 30, 0)), 7.25, -17.5},
          {QDateTime(QDate(2023, 6, 2), QTime(0, 0, 0)), 8.10, 23.5}}},
        {"LAKE",
         {{QDateTime(QDate(2023, 6, 1), QTime(8, 0, 0)), 6.50, 18.2},
          {QDateTime(QDate(2023, 7, 1), QTime(10, 0, 0)), 6.90, 25.0}}},
        {"EMPTY", {}},
    };
    return content;
}

// Stores the meter's content into the database file through the import, as a download does.
void importMeter(const QString &databaseFile)
{
    store::MainStore s;
    s.openDatabase(databaseFile);
    std::map<QByteArray, QByteArray> replies;
    QList<QByteArray> objects;
    int number = 0;
    for (const auto &[name, results] : meterContent()) {
        objects << meter::EncodeObject(number, name);
        QByteArray reply;
        for (const Measurement &m : results)
            reply += meter::EncodeResult(7, m.when, quint16(qRound(m.ph * 100)), meter::temperatureWord(m.celsius));
        replies[meter::ResultsCommand(number)] = reply + "*";
        ++number;
    }
    meter::MeterImport import(s.FDConnection1, s.FDSP_AddObiektTemp, s.FDSP_AddWynik);
    const meter::ImportOutcome outcome =
        import.ImportObjects(objects, [&](const QByteArray &command, int) { return replies[command]; });
    if (!outcome.completed || outcome.stored != 6)
        qFatal("the import stored %d results", outcome.stored);
}

// Answers the next modal dialog with the given result; `seen` tells what was shown.
void answerNextDialog(int result, std::function<void(QDialog *)> seen = {})
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, result, seen] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            if (seen)
                seen(d);
            d->done(result);
        }
    });
    timer->start();
}

void clickCell(QTableView *grid, int row, int column)
{
    const QRect r = grid->visualRect(grid->model()->index(row, column));
    QVERIFY(r.isValid());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
}

void clickTitle(QTableView *grid, int column)
{
    QHeaderView *h = grid->horizontalHeader();
    const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
}

QString cellText(QTableView *grid, int row, int column)
{
    return grid->model()->index(row, column).data().toString();
}

QStringList columnTexts(QTableView *grid, int column)
{
    QStringList out;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        out << cellText(grid, r, column);
    return out;
}

void saveScreenshot(QWidget *w, const QString &name)
{
    QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
    QVERIFY(w->grab().save(QStringLiteral(ARVEX_BUILD_DIR "/screenshots/") + name));
}

} // namespace

class TestViews : public QObject {
    Q_OBJECT

    QStringList errors;
    std::unique_ptr<TestDatabase> db;
    TMainDivIVForm *w = nullptr;

    // A main window started on a fresh database, filled through the import unless `empty`.
    void start(bool empty = false)
    {
        db = std::make_unique<TestDatabase>();
        if (!empty)
            importMeter(db->path());
        arvex::app::createForms();
        w = MainDivIVForm;
        w->setProgramFolderOverride(db->folder());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY2(w->startupCompleted(), qPrintable(errors.join('\n')));
    }
    QTableView *objects() const { return w->JvDBUGTempObjects; }
    QTableView *results() const { return w->JvDBUGTemp_details; }
    long long count(const QString &sql) const { return db->isqlValue(sql); }

private slots:
    void initTestCase()
    {
        TestDatabase::useBuildEngine();
        arvex::app::setErrorHandler([this](QWidget *, const QString &text) { errors << text; });
    }
    void init() { errors.clear(); }
    void cleanup()
    {
        arvex::app::destroyForms();
        w = nullptr;
        db.reset();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    }

    void startupShowsObjectsAndFirstObjectsResults()
    {
        start();
        QCOMPARE(w->store.FDQObiekty.sqlText(), QString(" select * from OBIEKTY where IDDEV = :IDdev"));
        QCOMPARE(w->store.FDQWyniki.sqlText(), QString("select * from WYNIKI where IDOB = :IDobj"));
        QCOMPARE(columnTexts(objects(), 1), QStringList({"RIVER", "LAKE", "EMPTY"}));
        QCOMPARE(results()->model()->rowCount(), 4);
        QCOMPARE(objects()->currentIndex().row(), 0);
        QVERIFY(objects()->selectionModel()->isRowSelected(0));

        // Layout of the two grids.
        const QStringList objectTitles{"√", "PH name", "My name"};
        const QStringList resultTitles{"√", "Measurement date", "pH", "Temperature"};
        for (int c = 0; c < 3; ++c)
            QCOMPARE(objects()->model()->headerData(c, Qt::Horizontal).toString(), objectTitles[c]);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(results()->model()->headerData(c, Qt::Horizontal).toString(), resultTitles[c]);
        QCOMPARE(objects()->columnWidth(0), 28);
        QCOMPARE(objects()->columnWidth(2), 322);
        QCOMPARE(results()->columnWidth(0), 23);
        QCOMPARE(results()->columnWidth(3), 152);
        QCOMPARE(results()->rowHeight(0), 23);
        QCOMPARE(results()->horizontalHeader()->height(), 23);
        QVERIFY(w->objectsGrid->isCheckBoxField(0));
        QVERIFY(!w->objectsGrid->isCheckBoxField(1));
        QVERIFY(w->resultsGrid->isCheckBoxField(0));
        QCOMPARE(cellText(results(), 1, 2), QString("6.01 pH"));
        QCOMPARE(results()->horizontalHeader()->sortIndicatorSection(), -1);
        saveScreenshot(w, "views_celsius.png");
    }

    // A title click: which re-read it causes, if any, and where the sort arrow goes.
    void titleClickSorts_data()
    {
        QTest::addColumn<bool>("objectsGrid");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("fahrenheit");
        QTest::addColumn<QString>("firstSql");  // empty: no re-read
        QTest::addColumn<QString>("secondSql"); // after a second click on the same title
        const QString o = " select * from OBIEKTY where IDDEV = :IDdev";
        const QString r = "select * from WYNIKI where IDOB = :IDobj";
        QTest::newRow("My name") << true << 2 << false << o + " order by NAZWA_LONG asc " << o + " order by NAZWA_LONG desc ";
        QTest::newRow("PH name") << true << 1 << false << o + " order by NAZWA_DEV asc " << o + " order by NAZWA_DEV desc ";
        QTest::newRow("objects mark") << true << 0 << false << QString() << QString();
        QTest::newRow("date") << false << 1 << false << r + " order by DATACZAS asc " << r + " order by DATACZAS desc ";
        QTest::newRow("°C") << false << 3 << false << r + " order by DANE2 asc " << r + " order by DANE2 desc ";
        QTest::newRow("°F refused") << false << 3 << true << QString() << QString();
        QTest::newRow("results mark") << false << 0 << false << QString() << QString();
    }
    void titleClickSorts()
    {
        QFETCH(bool, objectsGrid);
        QFETCH(int, column);
        QFETCH(bool, fahrenheit);
        QFETCH(QString, firstSql);
        QFETCH(QString, secondSql);
        start();
        int beeps = 0;
        w->resultsGrid->setBeep([&] { ++beeps; });
        if (fahrenheit)
            w->RGjednostkaTButtons->button(1)->click();
        QTableView *grid = objectsGrid ? objects() : results();
        store::Dataset &view = objectsGrid ? w->store.FDQObiekty : w->store.FDQWyniki;
        const QString unsorted = view.sqlText();
        QSignalSpy reread(&view, &store::Dataset::opened);

        clickTitle(grid, column);
        const bool sorts = !firstSql.isEmpty();
        QCOMPARE(view.sqlText(), sorts ? firstSql : unsorted);
        QCOMPARE(grid->horizontalHeader()->sortIndicatorSection(), sorts ? column : -1);
        if (sorts)
            QCOMPARE(grid->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(beeps, fahrenheit ? 1 : 0);
        clickTitle(grid, column);
        QCOMPARE(view.sqlText(), sorts ? secondSql : unsorted);
        if (sorts) {
            QCOMPARE(grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
            QCOMPARE(objectsGrid ? w->LastSortString.objects : w->LastSortString.results,
                     secondSql.mid(secondSql.indexOf(" by ") + 4));
        } else if (column != 0) {
            QCOMPARE(reread.count(), 0); // the refused sort reads nothing
        }
    }

    void sortOrdersRowsAndSurvivesMovesAndRereads()
    {
        start();
        clickTitle(objects(), 1);
        clickTitle(objects(), 1);
        QCOMPARE(columnTexts(objects(), 1), QStringList({"RIVER", "LAKE", "EMPTY"}));
        clickTitle(objects(), 1);
        QCOMPARE(columnTexts(objects(), 1), QStringList({"EMPTY", "LAKE", "RIVER"}));

        clickCell(objects(), 2, 1); // RIVER
        clickTitle(results(), 1);
        clickTitle(results(), 1); // dates, newest first
        QCOMPARE(cellText(results(), 0, 2), QString("8.10 pH"));
        QCOMPARE(results()->horizontalHeader()->sortIndicatorSection(), 1);
        saveScreenshot(w, "views_sorted.png"); // objects ascending, results descending
        clickTitle(objects(), 1);

        clickCell(objects(), 1, 1); // LAKE: the row-change rule reads its results in that order
        QCOMPARE(w->store.FDQWyniki.sqlText(), QString("select * from WYNIKI where IDOB = :IDobj order by DATACZAS desc "));
        QCOMPARE(columnTexts(results(), 2), QStringList({"6.90 pH", "6.50 pH"}));

        // The end of a download re-reads both views: both orders stay, the first object is current.
        w->RefreshObjects();
        QCOMPARE(columnTexts(objects(), 1), QStringList({"RIVER", "LAKE", "EMPTY"}));
        QCOMPARE(objects()->currentIndex().row(), 0);
        QCOMPARE(columnTexts(results(), 2), QStringList({"8.10 pH", "7.25 pH", "6.01 pH", "7.00 pH"}));
        QCOMPARE(results()->horizontalHeader()->sortIndicatorSection(), 1);
        QCOMPARE(results()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

        // A title click on an empty view sorts nothing and keeps the remembered order.
        clickCell(objects(), 2, 1);
        QCOMPARE(results()->model()->rowCount(), 0);
        clickTitle(results(), 2);
        QCOMPARE(w->LastSortString.results, QString("DATACZAS desc "));
        QCOMPARE(results()->horizontalHeader()->sortIndicatorSection(), 1);
    }

    void selectAllAlternatesPerGrid()
    {
        start();
        store::StoredProc &obj = w->store.FDSP_SelectObj;
        store::StoredProc &wyn = w->store.FDSP_SelectWyn;
        const int river = w->store.FDQObiekty.value(0, "IDOB").toInt();

        clickTitle(objects(), 0);
        QCOMPARE(obj.param(0).toInt(), 17);
        QCOMPARE(obj.param(1).toInt(), 0);
        QCOMPARE(count("select count(*) from OBIEKTY where REZI2 = 0"), 3LL);
        clickCell(objects(), 1, 1); // LAKE is current
        QCOMPARE(results()->model()->rowCount(), 2);
        clickTitle(objects(), 0);
        QCOMPARE(obj.param(1).toInt(), 1);
        QCOMPARE(count("select count(*) from OBIEKTY where REZI2 = 1"), 3LL);
        QCOMPARE(columnTexts(objects(), 0), QStringList({"1", "1", "1"}));
        // Re-read: the first object is current, and the results view shows its results.
        QCOMPARE(objects()->currentIndex().row(), 0);
        QCOMPARE(w->store.FDQObiekty.currentRow(), 0);
        QCOMPARE(columnTexts(results(), 2), QStringList({"7.00 pH", "6.01 pH", "7.25 pH", "8.10 pH"}));
        QVERIFY(!w->FlSelect_OT);

        // The results' toggle has its own alternation, starting at 0.
        clickTitle(results(), 0);
        QCOMPARE(wyn.param(0).toInt(), river);
        QCOMPARE(wyn.param(1).toInt(), 0);
        clickTitle(results(), 0);
        QCOMPARE(wyn.param(1).toInt(), 1);
        QCOMPARE(count(QString("select count(*) from WYNIKI where REZI1 = 1 and IDOB = %1").arg(river)), 4LL);
        QCOMPARE(count("select count(*) from WYNIKI where REZI1 = 1"), 4LL);
        QCOMPARE(columnTexts(results(), 0), QStringList({"1", "1", "1", "1"}));
        clickTitle(objects(), 0);
        QCOMPARE(obj.param(1).toInt(), 0);

        // An object without results: the click passes key 0.
        clickCell(objects(), 2, 1);
        QCOMPARE(results()->model()->rowCount(), 0);
        clickTitle(results(), 0);
        QCOMPARE(wyn.param(0).toInt(), 0);
        QCOMPARE(wyn.param(1).toInt(), 0);
        QCOMPARE(count("select count(*) from WYNIKI where REZI1 = 1"), 4LL);
    }

    void markToggleOnlyInColumnZero_data()
    {
        QTest::addColumn<bool>("objectsGrid");
        QTest::addColumn<int>("column");
        QTest::newRow("objects √") << true << 0;
        QTest::newRow("objects PH name") << true << 1;
        QTest::newRow("objects My name") << true << 2;
        QTest::newRow("results √") << false << 0;
        QTest::newRow("results date") << false << 1;
        QTest::newRow("results pH") << false << 2;
        QTest::newRow("results temperature") << false << 3;
    }
    void markToggleOnlyInColumnZero()
    {
        QFETCH(bool, objectsGrid);
        QFETCH(int, column);
        start();
        QTableView *grid = objectsGrid ? objects() : results();
        const QString marks = objectsGrid ? "select count(*) from OBIEKTY where REZI2 = 1"
                                          : "select count(*) from WYNIKI where REZI1 = 1";
        const QString second = objectsGrid ? "select REZI2 from OBIEKTY where NAZWA_DEV = 'LAKE'"
                                           : "select REZI1 from WYNIKI where DANE1 > 6.0 and DANE1 < 6.02";
        clickCell(grid, 1, column);
        QCOMPARE(grid->currentIndex().row(), 1);
        QCOMPARE(count(marks), column == 0 ? 1LL : 0LL);
        QCOMPARE(count(second), column == 0 ? 1LL : 0LL);
        QCOMPARE(cellText(grid, 1, 0), QString(column == 0 ? "1" : "0"));
        clickCell(grid, 1, column); // and back
        QCOMPARE(count(marks), 0LL);
        QCOMPARE(cellText(grid, 1, 0), QString("0"));
    }

    void markByDatePassesTheDayAfterTheEnd()
    {
        start();
        clickCell(objects(), 1, 1);
        w->dtpDataOd->setDate(QDate(2023, 6, 1));
        w->dtpDataDo->setDate(QDate(2023, 6, 1));
        QTest::mouseClick(w->btnSelectDate, Qt::LeftButton);
        QCOMPARE(w->store.FDSP_Markdate.param(0).toDate(), QDate(2023, 6, 1));
        QCOMPARE(w->store.FDSP_Markdate.param(1).toDate(), QDate(2023, 6, 2));
        // The results of 1 June, of all objects, and the objects holding them.
        QCOMPARE(count("select count(*) from WYNIKI where REZI1 = 1"), 3LL);
        QCOMPARE(count("select count(*) from OBIEKTY where REZI2 = 1"), 2LL);
        // Both views re-read: the first object is current again, its marks showing.
        QCOMPARE(objects()->currentIndex().row(), 0);
        QCOMPARE(columnTexts(objects(), 0), QStringList({"1", "1", "0"}));
        QCOMPARE(columnTexts(results(), 0), QStringList({"0", "1", "1", "0"}));
    }

    void markByDateRefusesAnEndBeforeTheStart()
    {
        start();
        clickCell(results(), 1, 0); // one result marked
        w->dtpDataOd->setDate(QDate(2023, 6, 2));
        w->dtpDataDo->setDate(QDate(2023, 6, 1));
        QString shown;
        answerNextDialog(1, [&](QDialog *d) {
            QCOMPARE(d, (QDialog *)InfoForm);
            shown = InfoForm->Label2->text();
            saveScreenshot(d, "mark_by_date_refused.png");
        });
        QTest::mouseClick(w->btnSelectDate, Qt::LeftButton);
        QCOMPARE(shown, QString("The date “from” is after\nthe date “to”.\nNo mark was changed."));
        QCOMPARE(count("select count(*) from WYNIKI where REZI1 = 1"), 1LL);
        QCOMPARE(count("select count(*) from OBIEKTY where REZI2 = 1"), 0LL);
        QCOMPARE(columnTexts(results(), 0), QStringList({"0", "1", "0", "0"}));
    }

    // The grid writes dates in the locale's order with the year in four digits.
    void datesShowFourDigitYears_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("de_DE") << "de_DE" << "31.05.2023 23:59:58";
        QTest::newRow("en_US") << "en_US" << "5/31/2023 23:59:58";
        QTest::newRow("en_GB") << "en_GB" << "31/05/2023 23:59:58";
    }
    void datesShowFourDigitYears()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        start();
        QLocale::setDefault(before);
        QCOMPARE(w->resultsGrid->cellText(0, 1), text);
        if (locale == "de_DE")
            saveScreenshot(w->JvDBUGTemp_details, "views_dates_de.png");
    }

    void deleteMarkedRecordsAfterConfirmation()
    {
        start();
        // Nothing marked: confirmed, nothing goes.
        int question = 0;
        answerNextDialog(1, [&](QDialog *) { question = PytForm->NumerKomunikatu; });
        QTest::mouseClick(w->btnDelRekord, Qt::LeftButton);
        QCOMPARE(question, 1);
        QCOMPARE(count("select count(*) from WYNIKI"), 6LL);

        clickCell(results(), 1, 0);
        clickCell(results(), 3, 0);
        answerNextDialog(2); // Cancel
        w->actDelRekord->trigger();
        QCOMPARE(count("select count(*) from WYNIKI"), 6LL);

        answerNextDialog(1);
        w->actDelRekord->trigger();
        QCOMPARE(count("select count(*) from WYNIKI"), 4LL);
        QCOMPARE(count("select count(*) from WYNIKI where REZI1 = 1"), 0LL);
        QCOMPARE(columnTexts(results(), 2), QStringList({"7.00 pH", "7.25 pH"}));
        QCOMPARE(count("select count(*) from WYNIKI where DANE1 > 6.0 and DANE1 < 6.02"), 0LL);
    }

    void deleteObjectTakesAllItsResults()
    {
        start();
        clickCell(results(), 0, 0); // one marked, three not
        int question = 0;
        answerNextDialog(2);
        QTest::mouseClick(w->btnDelObject, Qt::LeftButton);
        QCOMPARE(count("select count(*) from OBIEKTY"), 3LL);

        answerNextDialog(1, [&](QDialog *) { question = PytForm->NumerKomunikatu; });
        w->actDelObject->trigger();
        QCOMPARE(question, 2);
        QCOMPARE(count("select count(*) from OBIEKTY where NAZWA_DEV = 'RIVER'"), 0LL);
        QCOMPARE(count("select count(*) from WYNIKI"), 2LL);
        // The next object is current and its results show.
        QCOMPARE(columnTexts(objects(), 1), QStringList({"LAKE", "EMPTY"}));
        QCOMPARE(objects()->currentIndex().row(), 0);
        QCOMPARE(columnTexts(results(), 2), QStringList({"6.50 pH", "6.90 pH"}));

        // After the last object the previous one becomes current.
        clickCell(objects(), 1, 1);
        answerNextDialog(1);
        w->actDelObject->trigger();
        QCOMPARE(columnTexts(objects(), 1), QStringList({"LAKE"}));
        QCOMPARE(objects()->currentIndex().row(), 0);
        QCOMPARE(results()->model()->rowCount(), 2);
    }

    void editMyNameAtThePointerCutTo50()
    {
        start();
        clickCell(objects(), 1, 1);
        const QPoint pointer(300, 200);
        QCursor::setPos(pointer);
        QString shown;
        QPoint at;
        answerNextDialog(1, [&](QDialog *d) {
            shown = FormEditName->Edit1->text();
            at = d->pos();
            FormEditName->Edit1->setText(QString(60, QChar(u'ł')));
        });
        QTest::mouseClick(w->btnMyName, Qt::LeftButton);
        QCOMPARE(shown, QString());
        QCOMPARE(at, pointer);
        QCOMPARE(count("select char_length(NAZWA_LONG) from OBIEKTY where NAZWA_DEV = 'LAKE'"), 50LL);
        QCOMPARE(cellText(objects(), 1, 2), QString(50, QChar(u'ł')));

        // Cancel changes nothing; the editor shows the stored name.
        answerNextDialog(2, [&](QDialog *) {
            shown = FormEditName->Edit1->text();
            FormEditName->Edit1->setText("other");
        });
        w->actMyname->trigger();
        QCOMPARE(shown, QString(50, QChar(u'ł')));
        QCOMPARE(cellText(objects(), 1, 2), QString(50, QChar(u'ł')));
        QCOMPARE(count("select count(*) from OBIEKTY where NAZWA_LONG = 'other'"), 0LL);
    }

    void temperatureScaleSwitchesColumnThree()
    {
        start();
        QCOMPARE(cellText(results(), 1, 3), QString("0.5°C"));
        QCOMPARE(cellText(results(), 2, 3), QString("-17.5°C"));
        // As the stored settings restore it: the button is only checked.
        w->RGjednostkaTButtons->button(1)->setChecked(true);
        QCOMPARE(cellText(results(), 2, 3), QString(".5°F"));
        QCOMPARE(cellText(results(), 1, 3), QString("32.9°F"));
        QCOMPARE(cellText(results(), 3, 3), QString("74.3°F"));
        QCOMPARE(results()->model()->headerData(3, Qt::Horizontal).toString(), QString("Temperature"));
        QCOMPARE(results()->columnWidth(3), 152);
        QVERIFY(w->resultsGrid->isCalculatedField(3));
        // The objects side gets names of its own for the picture.
        w->store.FDQObiekty.setCurrentRow(0);
        QVERIFY(w->views->renameObject("Vistula at the bridge"));
        w->store.FDQObiekty.setCurrentRow(1);
        QVERIFY(w->views->renameObject("Lake, north shore"));
        w->store.FDQObiekty.setCurrentRow(0);
        clickCell(results(), 2, 0);
        saveScreenshot(w, "views_fahrenheit.png");

        w->RGjednostkaTClick(2); // no such scale: nothing changes
        QCOMPARE(cellText(results(), 2, 3), QString(".5°F"));
        w->RGjednostkaTButtons->button(0)->click();
        QCOMPARE(cellText(results(), 2, 3), QString("-17.5°C"));
    }

    // A right click opens the menu of the grid it lands on, title row included; the page's
    // menu opens where nothing has a menu of its own.
    void contextMenus_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("objectsMenu");
        QTest::newRow("objects cells") << "objects cells" << true;
        QTest::newRow("objects titles") << "objects titles" << true;
        QTest::newRow("results cells") << "results cells" << false;
        QTest::newRow("results titles") << "results titles" << false;
        QTest::newRow("results toolbar") << "results toolbar" << false;
    }
    void contextMenus()
    {
        QFETCH(QString, where);
        QFETCH(bool, objectsMenu);
        start();
        QCOMPARE(w->PopABobjectT->actions(), (QList<QAction *>{w->actMyname, w->actChart}));
        QCOMPARE(w->PopABresult->actions(), (QList<QAction *>{w->actDelRekord}));
        const std::map<QString, QWidget *> widgets{
            {"objects cells", objects()->viewport()},
            {"objects titles", objects()->horizontalHeader()->viewport()},
            {"results cells", results()->viewport()},
            {"results titles", results()->horizontalHeader()->viewport()},
            {"results toolbar", w->Panel4},
        };
        QWidget *target = widgets.at(where);
        const QPoint p(40, 10);
        QContextMenuEvent click(QContextMenuEvent::Mouse, p, target->mapToGlobal(p));
        QApplication::sendEvent(target, &click);
        QMenu *expected = objectsMenu ? w->PopABobjectT : w->PopABresult;
        QMenu *other = objectsMenu ? w->PopABresult : w->PopABobjectT;
        QTRY_VERIFY(expected->isVisible());
        QVERIFY(!other->isVisible());
        QCOMPARE(QFontInfo(expected->font()).family(), QString("Tahoma"));
        if (where == "objects titles")
            saveScreenshot(expected, "menu_objects.png");
        expected->close();
    }

    void emptyObjectsViewRefusesQuietly()
    {
        start(true);
        QCOMPARE(objects()->model()->rowCount(), 0);
        QCOMPARE(results()->model()->rowCount(), 0);
        int beeps = 0;
        w->objectsGrid->setBeep([&] { ++beeps; });
        // No window may open for any of these.
        bool dialogShown = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                dialogShown = true;
                d->done(1);
            }
        });
        watch.start(10);
        const QString sql = w->store.FDQObiekty.sqlText();
        clickTitle(objects(), 2);
        QCOMPARE(w->store.FDQObiekty.sqlText(), sql);
        QCOMPARE(w->LastSortString.objects, QString());
        QCOMPARE(objects()->horizontalHeader()->sortIndicatorSection(), -1);
        w->actMyname->trigger();
        w->actDelObject->trigger();
        w->actDelRekord->trigger();
        w->JvDBUGTempObjectsCellClick(objects()->model()->index(0, 0));
        w->JvDBUGTemp_detailsCellClick(results()->model()->index(0, 0));
        QVERIFY(!w->views->toggleObjectMark());
        QVERIFY(!w->views->renameObject("x"));
        QVERIFY(!w->views->deleteObject());
        clickTitle(results(), 0);
        QCOMPARE(w->store.FDSP_SelectWyn.param(0).toInt(), 0);
        clickTitle(objects(), 0);
        QCOMPARE(w->store.FDSP_SelectObj.param(0).toInt(), 17);
        QCoreApplication::processEvents();
        QVERIFY(!dialogShown);
        QCOMPARE(beeps, 0);
        QCOMPARE(count("select count(*) from OBIEKTY"), 0LL);
        QCOMPARE(count("select count(*) from WYNIKI"), 0LL);
    }
};

QTEST_MAIN(TestViews)
#include "tst_views.moc"
