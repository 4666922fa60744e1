// The main window's languages: the list and the stored position, switching, the header
// picture and labels, the windows that are and are not translated, and how every language
// looks.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "app/dialogs/FormStorage.h"
#include "app/dialogs/UEditMyName.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnKontakt.h"
#include "app/dialogs/UnProgres.h"
#include "app/dialogs/UnPytanie.h"
#include "lang/LangMan.h"
#include "support/TestDatabase.h"
#include "support/UiChecks.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

namespace {

const QStringList AllFiles{"de.lng", "es.lng", "fr.lng", "it.lng", "pl.lng", "ru.lng"};

// A program folder with a fresh database and the chosen language files, and the seven
// windows over it.
struct ProgramFolder {
    TestDatabase db;
    QStringList errors;
    QTemporaryDir settings;

    explicit ProgramFolder(const QStringList &languageFiles = AllFiles)
    {
        for (const QString &f : languageFiles)
            QFile::copy(TestDatabase::appDir() + "/" + f, db.folder() + "/" + f);
        arvex::app::setErrorHandler([this](QWidget *, const QString &t) { errors << t; });
    }
    ~ProgramFolder()
    {
        arvex::app::destroyForms();
        arvex::app::setErrorHandler({});
    }
    void addFile(const QString &name, const QByteArray &content)
    {
        QFile f(db.folder() + "/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }
    void setStoredPosition(int position) { db.isql(QStringLiteral("update KONFIGURACJA set LANG = %1; commit").arg(position)); }
    long long storedPosition() const { return db.isqlValue("select LANG from KONFIGURACJA"); }

    // Creates the windows and shows the main window: the start-up runs.
    void start()
    {
        arvex::app::destroyForms();
        arvex::app::createForms();
        MainDivIVForm->setProgramFolderOverride(db.folder());
        MainDivIVForm->JvFormStorage1->setFileName(settings.filePath("Arvex.cfp"));
        MainDivIVForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainDivIVForm));
    }
    // The user chooses the entry at a position in the language box.
    static void choose(int position)
    {
        MainDivIVForm->LangFlagsCombo1->setCurrentIndex(position);
        emit MainDivIVForm->LangFlagsCombo1->activated(position);
    }
    static int positionOf(const QString &code)
    {
        for (int i = 0; i < MainDivIVForm->LangManEngine1->languageCount(); ++i)
            if (MainDivIVForm->LangManEngine1->GetISOCode(i) == code)
                return i;
        return -1;
    }
};

// Stacking order among the header's children: higher lies in front.
int z(QWidget *w) { return int(MainDivIVForm->Panel1->children().indexOf(w)); }

void verifyHeaderInFront(QLabel *picture)
{
    for (QLabel *other : MainDivIVForm->headerPictures())
        if (other != picture)
            QVERIFY2(z(picture) > z(other), qPrintable(picture->objectName() + " behind " + other->objectName()));
    const QList<QLabel *> tagged = MainDivIVForm->tag11Labels();
    QCOMPARE(tagged.size(), 8);
    for (QLabel *l : tagged)
        QVERIFY2(z(l) > z(picture), qPrintable(l->objectName()));
    for (QWidget *w : QList<QWidget *>{MainDivIVForm->ButtonConnect, MainDivIVForm->btnRaport, MainDivIVForm->dtpDataOd,
                                       MainDivIVForm->LangFlagsCombo1, MainDivIVForm->RGjednostkaT, MainDivIVForm->BitBtn1})
        QVERIFY2(z(w) > z(picture), qPrintable(w->objectName()));
}

} // namespace

class TestLanguagesMain : public QObject {
    Q_OBJECT

private slots:
    void noLanguageFilesGivesEnglishAlone()
    {
        ProgramFolder folder(QStringList{});
        folder.setStoredPosition(3); // from an earlier installation
        folder.start();
        QCOMPARE(folder.errors, QStringList());
        QCOMPARE(MainDivIVForm->LangFlagsCombo1->count(), 1);
        QCOMPARE(MainDivIVForm->LangFlagsCombo1->itemText(0), QString("English"));
        QCOMPARE(MainDivIVForm->LangFlagsCombo1->currentIndex(), -1);
        QCOMPARE(MainDivIVForm->GetActLangNbr(), 0);
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Report"));
        QCOMPARE(folder.storedPosition(), -1LL);
        verifyHeaderInFront(MainDivIVForm->imgEN);
    }

    void storedPositionSelectsByPosition()
    {
        ProgramFolder folder;
        folder.setStoredPosition(5); // en de es fr it pl ru: Polish
        folder.start();
        QCOMPARE(MainDivIVForm->LangManEngine1->currentLanguageName(), QString("Polski"));
        QCOMPARE(MainDivIVForm->GetActLangNbr(), 1);
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Raport"));
        QCOMPARE(folder.storedPosition(), 5LL);
        verifyHeaderInFront(MainDivIVForm->imgPL);

        // Without the German file everything after it moves up: position 5 is now Russian.
        QVERIFY(QFile::remove(folder.db.folder() + "/de.lng"));
        folder.start();
        QCOMPARE(MainDivIVForm->LangManEngine1->currentLanguageName(), QString("Русский"));
        QCOMPARE(MainDivIVForm->GetActLangNbr(), 5);
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Отчёт"));
        verifyHeaderInFront(MainDivIVForm->imgRU);
    }

    void choosingPolishTranslatesTheTranslatedWindows()
    {
        ProgramFolder folder;
        folder.start();
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Report"));
        InfoForm->Label2->setText("12 records read.");
        MainDivIVForm->ButtonConnect->setFocus();
        MainDivIVForm->btnRaport->setFocus();

        const int polish = ProgramFolder::positionOf("pl");
        ProgramFolder::choose(polish);
        QCOMPARE(folder.errors, QStringList());

        // The main window and the translated small windows follow...
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Raport"));
        QCOMPARE(MainDivIVForm->actChart->text(), QString("Wykres"));
        QCOMPARE(MainDivIVForm->btnDelRekord->text(), QString("Usuń zaznaczone rekordy"));
        QCOMPARE(MainDivIVForm->PageControl1->tabText(0), QString("Wyniki pH"));
        QCOMPARE(MainDivIVForm->objectsModel->headerData(2, Qt::Horizontal).toString(), QString("Moja nazwa"));
        QCOMPARE(MainDivIVForm->resultsModel->headerData(1, Qt::Horizontal).toString(), QString("Data pomiaru"));
        QCOMPARE(MainDivIVForm->RGjednostkaT->title(), QString("Skala temperatury"));
        QCOMPARE(MainDivIVForm->dtpDataOd->text(), QString("1 cze 2023")); // months in Polish too
        QCOMPARE(ProgresForm->LabNodevice->text(), QString("Urządzenie nie jest podłączone"));
        QCOMPARE(PytForm->Label1->text(), QString("Usuwanie rekordów.\nCzy na pewno?"));
        QCOMPARE(PytForm->BitBtn2->text(), QString("Anuluj"));
        QCOMPARE(FormEditName->Label1->text(), QString("Wpisz nową nazwę:"));
        // ...the information and contact windows keep their texts.
        QCOMPARE(InfoForm->Label2->text(), QString("12 records read."));
        QCOMPARE(InfoForm->BitBtn1->text(), QString("OK"));
        QCOMPARE(FormKontakt->BitBtn1->text(), QString("OK"));
        // The lexicon follows too.
        QCOMPARE(MainDivIVForm->DesignedLexicon1->GetItem(7), QString("Odczytano"));

        QCOMPARE(folder.storedPosition(), (long long)polish);
        QCOMPARE(MainDivIVForm->GetActLangNbr(), 1);
        verifyHeaderInFront(MainDivIVForm->imgPL);
        QCOMPARE(MainDivIVForm->focusWidget(), MainDivIVForm->ButtonConnect);

        // "Contact us" opens the contact window with the domestic block...
        auto contactShows = [](QLabel *expected) {
            bool shown = false;
            QTimer::singleShot(0, FormKontakt, [&] {
                shown = FormKontakt->isVisible() && expected->isVisible();
                FormKontakt->BitBtn1->click();
            });
            QTest::mouseClick(MainDivIVForm->BitBtn1, Qt::LeftButton);
            return shown;
        };
        QVERIFY(contactShows(FormKontakt->LabelPL));

        // Back to English: the design texts return, and the international block.
        ProgramFolder::choose(0);
        QVERIFY(contactShows(FormKontakt->LabelINT));
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Report"));
        QCOMPARE(PytForm->BitBtn2->text(), QString("Cancel"));
        QCOMPARE(folder.storedPosition(), 0LL);
        verifyHeaderInFront(MainDivIVForm->imgEN);
    }

    void aLanguageOutsideTheSevenTranslatesAsNumberZero()
    {
        ProgramFolder folder({"pl.lng"});
        folder.addFile("cs.lng", "[LANGUAGE_FILE]\nName=Čeština\nISOCode=cs - Czech\n[Texts]\nReport=Zpráva\n");
        folder.start();
        const int czech = ProgramFolder::positionOf("cs");
        QCOMPARE(czech, 1);
        ProgramFolder::choose(ProgramFolder::positionOf("pl"));
        ProgramFolder::choose(czech);
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Zpráva"));
        QCOMPARE(MainDivIVForm->btnExportPDF->text(), QString("Export to PDF")); // not in the file
        QCOMPARE(MainDivIVForm->GetActLangNbr(), 0);
        verifyHeaderInFront(MainDivIVForm->imgEN);
        QCOMPARE(folder.storedPosition(), 1LL);

        // The contact window follows the language number: the international site.
        QList<QUrl> opened;
        TFormKontakt::setUrlOpener([&](const QUrl &u) { opened << u; });
        FormKontakt->FormShow();
        QVERIFY(FormKontakt->Label3int->isVisibleTo(FormKontakt));
        FormKontakt->Label3intClick();
        TFormKontakt::setUrlOpener({});
        QCOMPARE(opened, QList<QUrl>{TFormKontakt::webSite(0)});
    }

    void aChoiceThatCannotBeStoredIsReported()
    {
        ProgramFolder folder;
        QVERIFY(QFile::remove(folder.db.path())); // the start-up stops at the connection
        folder.start();
        QCOMPARE(folder.errors.size(), 1);
        QCOMPARE(MainDivIVForm->LangFlagsCombo1->count(), 7);
        ProgramFolder::choose(ProgramFolder::positionOf("de"));
        QCOMPARE(folder.errors.size(), 2);
        QVERIFY2(folder.errors.last().contains("could not be stored"), qPrintable(folder.errors.last()));
        // The choice still holds for this run.
        QCOMPARE(MainDivIVForm->btnRaport->text(), QString("Bericht"));
        verifyHeaderInFront(MainDivIVForm->imgDE);
    }

    // Every text that a translated window registers has a translation in every shipped
    // language, and in each language every text fits its control.
    void everyLanguageIsCompleteAndFits()
    {
        ProgramFolder folder;
        folder.start();
        QStringList designTexts;
        for (QObject *w : QList<QObject *>{MainDivIVForm, ProgresForm, PytForm, FormEditName})
            designTexts += w->findChild<arvex::lang::TLangManClient *>(QString(), Qt::FindDirectChildrenOnly)->designTexts();
        designTexts.removeDuplicates();
        designTexts.removeAll(QString("√"));

        arvex::lang::TLangManEngine *engine = MainDivIVForm->LangManEngine1;
        QCOMPARE(engine->languageCount(), 7);
        for (int i = 0; i < engine->languageCount(); ++i) {
            ProgramFolder::choose(i);
            const arvex::lang::Language &l = engine->language(i);
            const QString code = l.isoCode;
            if (i > 0)
                for (const QString &t : designTexts)
                    QVERIFY2(l.texts.contains(t), qPrintable(l.name + ": no translation of \"" + t + "\""));

            QStringList problems = uichecks::clippedTexts(MainDivIVForm) + uichecks::overlappingTexts(MainDivIVForm->Panel1);
            // At the narrowest width the window takes, the header's controls stay clear too.
            const QSize size = MainDivIVForm->size();
            MainDivIVForm->resize(600, size.height());
            QCOMPARE(MainDivIVForm->width(), MainDivIVForm->minimumWidth());
            problems += uichecks::overlappingTexts(MainDivIVForm->Panel1);
            uichecks::saveScreenshot(MainDivIVForm, "main_narrowest_" + code);
            MainDivIVForm->resize(size);
            // The refusal of "Mark results by date" fits the information window.
            const QString refusal = QString::fromUtf8(TMainDivIVForm::DateOrderMessage);
            if (i > 0)
                QVERIFY2(l.texts.contains(refusal), qPrintable(l.name + ": no translation of the date-order message"));
            InfoForm->Label2->setText(arvex::lang::TLangManClient::translated(refusal));
            problems += uichecks::clippedTexts(InfoForm);
            uichecks::saveScreenshot(InfoForm, "date_order_" + code);
            for (QWidget *w : QList<QWidget *>{ProgresForm, PytForm, FormEditName}) {
                for (QLabel *l : w->findChildren<QLabel *>())
                    l->show(); // every message, also those shown one at a time
                problems += uichecks::clippedTexts(w);
            }
            QVERIFY2(problems.isEmpty(), qPrintable(l.name + ":\n" + problems.join('\n')));

            uichecks::saveScreenshot(MainDivIVForm, "main_" + code);
            ProgresForm->LabSearch->show();
            for (QLabel *lab : {ProgresForm->LabImport, ProgresForm->LabNodevice, ProgresForm->LabError, ProgresForm->LabelFTDI})
                lab->hide();
            ProgresForm->ProgressBar1->setValue(60);
            uichecks::saveScreenshot(ProgresForm, "progress_" + code);
            PytForm->NumerKomunikatu = 2;
            PytForm->FormShow();
            uichecks::saveScreenshot(PytForm, "confirm2_" + code);
            FormEditName->Edit1->setText("Lake Zegrze");
            uichecks::saveScreenshot(FormEditName, "editname_" + code);
        }
    }
};

QTEST_MAIN(TestLanguagesMain)
#include "tst_languages_main.moc"
