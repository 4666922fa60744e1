#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/PlatformProbe.h"
#include "support/TestDatabase.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT

    QStringList errors;

    static void writeDesktopFile(const QString &dir, const QString &name, const QString &mime)
    {
        QDir().mkpath(dir + "/applications");
        QFile f(dir + "/applications/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QString("[Desktop Entry]\nType=Application\nName=%1\nMimeType=%2\n").arg(name, mime).toUtf8());
    }

private slots:
    void initTestCase()
    {
        TestDatabase::useBuildEngine();
        arvex::app::setErrorHandler([this](QWidget *, const QString &text) { errors << text; });
    }
    void init() { errors.clear(); }
    void cleanup() { arvex::app::destroyForms(); }

    void startupOpensDatabaseOnDeviceRow17()
    {
        TestDatabase db;
        QTemporaryDir xdg; // a computer with no spreadsheet program
        qputenv("XDG_DATA_HOME", xdg.filePath("home").toUtf8());
        qputenv("XDG_DATA_DIRS", xdg.filePath("system").toUtf8());

        arvex::app::createForms();
        TMainDivIVForm *w = MainDivIVForm;
        QCOMPARE(w->windowTitle(), QString("ARVEX TECHNOLOGY  v.1.07"));
        QCOMPARE(w->parent(), nullptr);
        QList<QObject *> order;
        for (QObject *o : w->children())
            if (qobject_cast<QDialog *>(o))
                order << o;
        QCOMPARE(order, (QList<QObject *>{(QObject *)FormEditName, (QObject *)WykresForm, (QObject *)ProgresForm,
                                          (QObject *)PytForm, (QObject *)InfoForm, (QObject *)FormKontakt}));

        w->setProgramFolderOverride(db.folder());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QVERIFY(w->startupCompleted());
        QVERIFY(w->ProgramPath.endsWith(QDir::separator()));
        QVERIFY(w->store.FDConnection1.isOpen());
        QCOMPARE(w->store.currentDeviceKey(), 17);
        QVERIFY(!w->IsExcelExport);
        QVERIFY(!w->IsOpenOffExport);
        QVERIFY(!w->FlagaJest);
        QCOMPARE(w->focusWidget(), w->ButtonConnect);
        // The designed font is there (registered from the wine fonts where the system has none).
        QCOMPARE(QFontInfo(w->Label1->font()).family(), QString("Tahoma"));
        QVERIFY(QFontInfo(w->Label1->font()).bold());
        QCOMPARE(QFontInfo(w->font()).pixelSize(), 16);
        QCOMPARE(w->centralWidget()->size(), QSize(1411, 662));

        QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
        QVERIFY(w->grab().save(ARVEX_BUILD_DIR "/screenshots/main_window.png"));
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_DATA_DIRS");
    }

    void startupWithoutDatabaseFileReportsItAndShowsTheWindow()
    {
        QTemporaryDir empty;
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(empty.path());
        MainDivIVForm->show();
        QVERIFY(MainDivIVForm->isVisible());
        QVERIFY(!MainDivIVForm->startupCompleted());
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QDir::toNativeSeparators(empty.path() + "/ARVEXBASE.fb")), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains("No such file") || errors[0].contains("I/O error"), qPrintable(errors[0]));
        QVERIFY(!MainDivIVForm->store.FDConnection1.isOpen());
        MainDivIVForm->close(); // closing after a failed start-up is safe
    }

    void decorationShowsOnlyWiderThanTheHeaderPicture()
    {
        QTemporaryDir empty;
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(empty.path());
        MainDivIVForm->show();
        for (auto [width, visible] : {std::pair(1110, false), std::pair(1111, true), std::pair(1411, true)}) {
            // The rule is on the outer width, frame included.
            const int frame = MainDivIVForm->frameGeometry().width() - MainDivIVForm->width();
            MainDivIVForm->resize(width - frame, 662);
            QCoreApplication::processEvents();
            QCOMPARE(MainDivIVForm->frameGeometry().width(), width);
            QCOMPARE(MainDivIVForm->Image1->isVisible(), visible);
        }
    }

    void timerBlanksDeviceLabelsUnlessIdentified()
    {
        QTemporaryDir empty;
        arvex::app::createForms();
        TMainDivIVForm *w = MainDivIVForm;
        w->setProgramFolderOverride(empty.path());
        QCOMPARE(w->Timer1->interval(), 3000);
        QVERIFY(w->Timer1->isActive());
        for (QLabel *l : {w->LabNazwa, w->LabSN, w->LabFV})
            l->setText("x");
        w->FlagaJest = true;
        w->Timer1Timer();
        QCOMPARE(w->LabSN->text(), QString("x"));
        w->FlagaJest = false;
        QTRY_COMPARE_WITH_TIMEOUT(w->LabSN->text(), QString(" "), 3500);
        QCOMPARE(w->LabNazwa->text(), QString(" "));
        QCOMPARE(w->LabFV->text(), QString(" "));
    }

    void spreadsheetProbeReadsDesktopFiles()
    {
        QTemporaryDir xdg;
        qputenv("XDG_DATA_HOME", xdg.filePath("home").toUtf8());
        qputenv("XDG_DATA_DIRS", (xdg.filePath("a") + ":" + xdg.filePath("b")).toUtf8());
        QVERIFY(!arvex::app::isExcelRegistered());
        QVERIFY(!arvex::app::isOpenOfficeRegistered());
        writeDesktopFile(xdg.filePath("b"), "calc.desktop",
                         "text/csv;application/vnd.oasis.opendocument.spreadsheet;");
        QVERIFY(arvex::app::isOpenOfficeRegistered());
        QVERIFY(!arvex::app::isExcelRegistered());
        writeDesktopFile(xdg.filePath("home"), "sheets.desktop", "application/vnd.ms-excel");
        QVERIFY(arvex::app::isExcelRegistered());
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_DATA_DIRS");
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
