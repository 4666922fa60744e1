#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/PlatformProbe.h"
#include "support/ProgramFolder.h"
#include "support/TestDatabase.h"
#include "support/UiChecks.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QDialog>
#include <QMenu>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
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
        QCOMPARE(QFontInfo(w->ButtonConnect->font()).pixelSize(), 16);
        QVERIFY(QFontInfo(w->ButtonConnect->font()).bold());
        // Windows of their own (menus, the calendar) are in Tahoma too.
        for (QWidget *popup : QList<QWidget *>{w->PopABobjectT, w->PopABresult, w->dtpDataOd->calendarWidget(),
                                               w->dtpDataDo->calendarWidget()})
            QVERIFY2(QFontInfo(popup->font()).family() == "Tahoma", qPrintable(popup->objectName()));
        QVERIFY(w->dtpDataOd->calendarWidget()->grab().save(ARVEX_BUILD_DIR "/screenshots/calendar.png"));

        QDir().mkpath(ARVEX_BUILD_DIR "/screenshots");
        QVERIFY(w->grab().save(ARVEX_BUILD_DIR "/screenshots/main_window.png"));
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_DATA_DIRS");
    }

    void startupWithoutDatabaseFileReportsItAndShowsTheWindow()
    {
        TestDatabase folder; // the engine, without the database
        QVERIFY(QFile::remove(folder.path()));
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(folder.folder());
        MainDivIVForm->show();
        QVERIFY(MainDivIVForm->isVisible());
        QVERIFY(!MainDivIVForm->startupCompleted());
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QDir::toNativeSeparators(folder.path())), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains("No such file") || errors[0].contains("I/O error"), qPrintable(errors[0]));
        QVERIFY(!MainDivIVForm->store.FDConnection1.isOpen());
        MainDivIVForm->close(); // closing after a failed start-up is safe
    }

    // Without its engine configuration, or with an engine lock folder it cannot use, the
    // start-up names the file or folder and opens nothing; the window is still shown.
    void startupWithoutAUsableEngineNamesWhy_data()
    {
        QTest::addColumn<bool>("configuration");
        QTest::addColumn<bool>("lockFolder");
        QTest::addColumn<QString>("named");
        QTest::newRow("configuration missing") << false << true << "firebird.conf";
        QTest::newRow("lock folder unusable") << true << false << "lock";
    }
    void startupWithoutAUsableEngineNamesWhy()
    {
        QFETCH(bool, configuration);
        QFETCH(bool, lockFolder);
        QFETCH(QString, named);
        QTemporaryDir folder;
        QVERIFY(QFile::copy(ARVEX_DB_TEMPLATE, folder.filePath("ARVEXBASE.fb")));
        if (configuration)
            QVERIFY(QFile::link(TestDatabase::appDir() + "/firebird", folder.filePath("firebird")));
        else
            QVERIFY(QDir().mkpath(folder.filePath("firebird"))); // the folder without its configuration
        // A lock "folder" that is a file cannot be used by anyone, root included.
        const QString lock = folder.filePath("lockfile");
        QFile(lock).open(QIODevice::WriteOnly);
        const QByteArray lockBefore = qgetenv("FIREBIRD_LOCK");
        if (!lockFolder)
            qputenv("FIREBIRD_LOCK", lock.toLocal8Bit());
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(folder.path());
        MainDivIVForm->show();
        if (lockBefore.isEmpty())
            qunsetenv("FIREBIRD_LOCK");
        else
            qputenv("FIREBIRD_LOCK", lockBefore);
        QVERIFY(MainDivIVForm->isVisible());
        QVERIFY(!MainDivIVForm->startupCompleted());
        QVERIFY(!MainDivIVForm->store.FDConnection1.isOpen());
        QCOMPARE(errors.size(), 1);
        const QString file = configuration ? lock : folder.filePath("firebird/firebird.conf");
        QVERIFY2(errors[0].contains("\"" + QDir::toNativeSeparators(file) + "\""), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(named), qPrintable(errors[0]));
        if (!configuration)
            QVERIFY2(errors[0].contains("missing"), qPrintable(errors[0]));
        else
            QVERIFY2(errors[0].contains("one user"), qPrintable(errors[0]));
    }

    void decorationShowsOnlyWiderThanTheHeaderPicture()
    {
        // The rule is on the outer width, frame included.
        for (auto [width, visible] : {std::pair(1110, false), std::pair(1111, true), std::pair(1411, true)})
            QCOMPARE(TMainDivIVForm::decorationShownAt(width), visible);
        QTemporaryDir empty;
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(empty.path());
        MainDivIVForm->show();
        for (int width : {1411, MainDivIVForm->minimumWidth() + 1}) {
            MainDivIVForm->resize(width, 662);
            QCoreApplication::processEvents();
            QCOMPARE(MainDivIVForm->Image1->isVisible(), TMainDivIVForm::decorationShownAt(MainDivIVForm->frameGeometry().width()));
        }
    }

    // The window is never narrower than the width at which the right-hand header controls
    // (contact, language, scale) stay clear of the others; at that width nothing overlaps.
    void narrowestWindowKeepsTheHeaderClear()
    {
        QTemporaryDir empty;
        arvex::app::createForms();
        TMainDivIVForm *w = MainDivIVForm;
        w->setProgramFolderOverride(empty.path());
        w->show();
        w->resize(800, 662);
        QCoreApplication::processEvents();
        QCOMPARE(w->width(), w->minimumWidth());
        QVERIFY2(uichecks::overlappingTexts(w->Panel1).isEmpty(), qPrintable(uichecks::overlappingTexts(w->Panel1).join('\n')));
        // Tight: the right-hand controls stand the gap away from the export buttons.
        QCOMPARE(w->BitBtn1->x(), w->btnExportPDF->geometry().right() + 1 + TMainDivIVForm::HeaderControlGap);
        QCOMPARE(w->BitBtn1->geometry().right(), w->width() - 11);
        uichecks::saveScreenshot(w, "main_window_narrowest");
    }

    // The program on a desktop (an X server): its title bar reads the caption alone, with
    // nothing appended by the desktop.
    void titleBarReadsTheCaptionAlone()
    {
        for (const char *tool : {"xvfb-run", "xdotool"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), "scripts/setup.sh installs xvfb and xdotool");
        ProgramFolder pf;
        QTemporaryDir settings;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", settings.path());
        env.remove("FIREBIRD"); // the program finds its own engine folder
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("xvfb-run", {"-a", "-s", "-screen 0 1600x900x24", "sh", "-c",
                             "\"$0\" & pid=$!; "
                             "id=$(timeout 60 xdotool search --sync --name 'v[.]1[.]07' | head -n 1); "
                             "xdotool getwindowname \"$id\"; kill -KILL $pid; wait $pid",
                             pf.program()});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), QString("ARVEX TECHNOLOGY  v.1.07"));
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
