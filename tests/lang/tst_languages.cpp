// The language engine on its own: ISO codes, language files, the list, switching, the
// translator, translation clients and the lexicon.

#include "lang/LangFlagsCombo.h"
#include "lang/DateTexts.h"
#include "lang/LangMan.h"
#include "meter/DownloadSequence.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace arvex::lang;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray languageFile(const char *name, const char *code, const QByteArray &texts = {}, const QByteArray &lexicon = {})
{
    return QByteArray("[LANGUAGE_FILE]\nName=") + name + "\nISOCode=" + code + "\n[Texts]\n" + texts +
           "\n[Lexicon]\n" + lexicon + "\n";
}

} // namespace

class TestLanguages : public QObject {
    Q_OBJECT

private slots:
    void isoCodesAreReduced_data()
    {
        QTest::addColumn<QString>("declared");
        QTest::addColumn<QString>("reduced");
        QTest::newRow("design code") << "en - English" << "en";
        QTest::newRow("plain") << "pl" << "pl";
        QTest::newRow("capitals") << "DE" << "de";
        QTest::newRow("region") << "pt-BR" << "pt";
        QTest::newRow("underscore region") << "fr_CA" << "fr";
        QTest::newRow("blanks around") << "  Ru  " << "ru";
        QTest::newRow("one letter") << "e" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("digit") << "e1" << "";
        QTest::newRow("blank inside") << "e n" << "";
        QTest::newRow("xx is no code") << "xx" << "";
        QTest::newRow("XX in capitals") << "XX - none" << "";
        QTest::newRow("not a to z") << "ελ" << "";
    }
    void isoCodesAreReduced()
    {
        QFETCH(QString, declared);
        QFETCH(QString, reduced);
        QCOMPARE(reduceISOCode(declared), reduced);
    }

    void languageNumbersFollowTheSevenCodes()
    {
        const char *codes[] = {"en", "pl", "de", "fr", "es", "ru", "it"};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(languageNumber(QString::fromLatin1(codes[i])), i);
        QCOMPARE(languageNumber("cs"), 0);
        QCOMPARE(languageNumber(""), 0);
        QCOMPARE(languageNumber("PL"), 0); // exact: the engine's codes are already lower-case
    }

    void onlySignedFilesAreLanguages()
    {
        QTemporaryDir dir;
        // Listed by name: b and d are skipped, the rest keep their order.
        writeFile(dir.filePath("a_czech.lng"), languageFile("Čeština", "cs - Czech", "Report=Zpráva\n"));
        writeFile(dir.filePath("b_nosig.lng"), "Name=Nothing\n[LANGUAGE_FILE]\n");
        writeFile(dir.filePath("c_bom.lng"), "\xEF\xBB\xBF  [LANGUAGE_FILE]  \r\nName=Polski\r\nISOCode=PL-pl\r\n");
        writeFile(dir.filePath("d_empty.lng"), "");
        writeFile(dir.filePath("e_noname.lng"), "[LANGUAGE_FILE]\nISOCode=x1\n");
        writeFile(dir.filePath("f_other.txt"), languageFile("Other", "it"));
        QVERIFY(QDir().mkdir(dir.filePath("g_folder.lng")));

        TLangManEngine engine;
        engine.loadLanguages(dir.path());
        QCOMPARE(engine.languageCount(), 4);
        const QStringList names{engine.language(0).name, engine.language(1).name, engine.language(2).name,
                                engine.language(3).name};
        QCOMPARE(names, QStringList({"English", "Čeština", "Polski", "e_noname"}));
        QCOMPARE(engine.GetISOCode(0), QString("en"));
        QCOMPARE(engine.GetISOCode(1), QString("cs"));
        QCOMPARE(engine.GetISOCode(2), QString("pl"));
        QCOMPARE(engine.GetISOCode(3), QString(""));
        QCOMPARE(engine.GetISOCode(4), QString(""));
        QCOMPARE(engine.GetISOCode(-1), QString(""));
    }

    void textsAndEscapesAreRead()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("x.lng"),
                  "[LANGUAGE_FILE]\n# a comment\nName = Testowy \nISOCode=pl\nFlag=flags/x.png\n"
                  "[Texts]\n"
                  "Deleting records.\\nAre you sure?=Usuwanie.\\nNa pewno?\n"
                  "a\\=b=c=d\n"
                  "back\\\\slash=ok\n"
                  "no separator line\n"
                  "[Lexicon]\n1=Open Office Calc  nie\n7=Odczytano\nx=ignored\n");
        const std::optional<Language> l = readLanguageFile(dir.filePath("x.lng"));
        QVERIFY(l);
        QCOMPARE(l->name, QString("Testowy"));
        QCOMPARE(l->flag, QDir(dir.path()).filePath("flags/x.png"));
        QCOMPARE(l->texts.value("Deleting records.\nAre you sure?"), QString("Usuwanie.\nNa pewno?"));
        QCOMPARE(l->texts.value("a=b"), QString("c=d"));
        QCOMPARE(l->texts.value("back\\slash"), QString("ok"));
        QCOMPARE(l->texts.size(), 3);
        QCOMPARE(l->lexicon.value(1), QString("Open Office Calc  nie"));
        QCOMPARE(l->lexicon.size(), 2);
        QVERIFY(!readLanguageFile(dir.filePath("missing.lng")));
    }

    void translateByCodeOrName()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("de.lng"), languageFile("Deutsch", "de - German", "Report=Bericht\n"));
        writeFile(dir.filePath("pl.lng"), languageFile("Polski", "pl - Polish", "Report=Raport\n"));
        TLangManEngine engine;
        engine.loadLanguages(dir.path());
        QSignalSpy changed(&engine, &TLangManEngine::languageChanged);

        QCOMPARE(engine.Translate("pl"), QString("Polski"));
        QCOMPARE(engine.text("Report"), QString("Raport"));
        QCOMPARE(QCoreApplication::translate("any", "Report"), QString("Raport"));
        QCOMPARE(QCoreApplication::translate("any", "Unknown text"), QString("Unknown text"));
        QCOMPARE(engine.Translate("DEUTSCH"), QString("Deutsch"));
        QCOMPARE(engine.Translate("DE"), QString("Deutsch"));
        QCOMPARE(changed.count(), 2); // the same language again changes nothing
        // No match, and the empty code, leave the language in force.
        QCOMPARE(engine.Translate("cs"), QString("Deutsch"));
        QCOMPARE(engine.Translate(""), QString("Deutsch"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(engine.Translate("English"), QString("English"));
        QCOMPARE(QCoreApplication::translate("any", "Report"), QString("Report"));
    }

    void clientsRetranslateTheirWindowOnly()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("pl.lng"), languageFile("Polski", "pl", "Cancel=Anuluj\nEnter new name:=Wpisz nazwę:\n"));
        TLangManEngine engine;
        engine.loadLanguages(dir.path());

        QWidget translated, plain;
        auto *label = new QLabel("Enter new name:", &translated);
        auto *button = new QPushButton("Cancel", &translated);
        auto *plainButton = new QPushButton("Cancel", &plain);
        auto *client = new TLangManClient(&translated);
        client->add(label);
        client->add(button);

        engine.Translate("pl");
        QCOMPARE(label->text(), QString("Wpisz nazwę:"));
        QCOMPARE(button->text(), QString("Anuluj"));
        QCOMPARE(plainButton->text(), QString("Cancel"));
        engine.Translate("en");
        QCOMPARE(label->text(), QString("Enter new name:"));
        QCOMPARE(button->text(), QString("Cancel"));
        QCOMPARE(client->designTexts(), QStringList({"Enter new name:", "Cancel"}));
    }

    void lexiconFallsBackToEnglish()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("pl.lng"), languageFile("Polski", "pl", {}, "7=Odczytano\n8=rekordów.\n"));
        TLangManEngine engine;
        engine.loadLanguages(dir.path());
        TDesignedLexicon lexicon(&engine, designedLexiconRows());
        QCOMPARE(lexicon.count(), 10);
        QCOMPARE(lexicon.GetItem(0), QString("Microsoft Office Excel not installed"));
        QCOMPARE(lexicon.GetItem(1), QString("Open Office Calc  not installed"));
        QCOMPARE(lexicon.GetItem(7), QString("records read."));
        QCOMPARE(lexicon.GetItem(8), QString("records."));
        QCOMPARE(lexicon.GetItem(9), QString("No objects to report"));
        for (int row = 2; row <= 6; ++row)
            QVERIFY(!lexicon.GetItem(row).isEmpty());
        engine.Translate("pl");
        QCOMPARE(lexicon.GetItem(7), QString("Odczytano"));
        QCOMPARE(lexicon.GetItem(9), QString("No objects to report"));
        QCOMPARE(lexicon.GetItem(10), QString());
        QCOMPARE(lexicon.GetItem(-1), QString());
    }

    void pluralCategories_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("category");
        QTest::newRow("en 1") << "en" << 1 << "one";
        QTest::newRow("en 0") << "en" << 0 << "other";
        QTest::newRow("en 21") << "en" << 21 << "other";
        QTest::newRow("no code: English") << "" << 1 << "one";
        QTest::newRow("pl 1") << "pl" << 1 << "one";
        QTest::newRow("pl 2") << "pl" << 2 << "few";
        QTest::newRow("pl 5") << "pl" << 5 << "many";
        QTest::newRow("pl 12") << "pl" << 12 << "many";
        QTest::newRow("pl 21") << "pl" << 21 << "many";
        QTest::newRow("pl 22") << "pl" << 22 << "few";
        QTest::newRow("pl 0") << "pl" << 0 << "many";
        QTest::newRow("ru 21") << "ru" << 21 << "one";
        QTest::newRow("ru 11") << "ru" << 11 << "many";
        QTest::newRow("ru 104") << "ru" << 104 << "few";
        QTest::newRow("fr 0") << "fr" << 0 << "one";
        QTest::newRow("fr 2") << "fr" << 2 << "other";
        QTest::newRow("cs 3: a language outside the seven") << "cs" << 3 << "few";
    }
    void pluralCategories()
    {
        QFETCH(QString, code);
        QFETCH(int, count);
        QFETCH(QString, category);
        QCOMPARE(pluralCategory(code, count), category);
    }

    void lexiconFormsAreRead()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("cs.lng"), languageFile("Čeština", "cs", {},
                                                        "8=záznamů.\n8[one]=záznam.\n8[FEW]=záznamy.\n"
                                                        "8[several]=ignored\n9[one]=\\n\n"));
        TLangManEngine engine;
        engine.loadLanguages(dir.path());
        TDesignedLexicon lexicon(&engine, designedLexiconRows());
        lexicon.setDesignForms(designedLexiconForms());
        QCOMPARE(lexicon.GetItem(8, 1), QString("record."));
        QCOMPARE(lexicon.GetItem(8, 3), QString("records."));
        engine.Translate("cs");
        const Language &l = engine.language(1);
        QCOMPARE(l.lexicon.size(), 1);
        QCOMPARE(l.lexiconForms.value(8).size(), 2);
        QCOMPARE(lexicon.GetItem(8, 1), QString("záznam."));
        QCOMPARE(lexicon.GetItem(8, 3), QString("záznamy."));
        QCOMPARE(lexicon.GetItem(8, 5), QString("záznamů.")); // no form: the plain row
        QCOMPARE(lexicon.GetItem(8), QString("záznamů."));
        QCOMPARE(lexicon.GetItem(7, 1), QString("record read.")); // no row: English, worded for 1
        QCOMPARE(lexicon.GetItem(9, 1), QString("\n"));
        QCOMPARE(lexicon.GetItem(10, 1), QString());
    }

    // The closing message of a download with the shipped files reads correctly for every
    // count, keeping each language's word order.
    void closingMessageReadsForEveryCount_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("message");
        QTest::newRow("en 0") << "en" << 0 << "0 records read.";
        QTest::newRow("en 1") << "en" << 1 << "1 record read.";
        QTest::newRow("en 2") << "en" << 2 << "2 records read.";
        QTest::newRow("pl 0") << "pl" << 0 << "Odczytano 0 rekordów.";
        QTest::newRow("pl 1") << "pl" << 1 << "Odczytano 1 rekord.";
        QTest::newRow("pl 2") << "pl" << 2 << "Odczytano 2 rekordy.";
        QTest::newRow("pl 5") << "pl" << 5 << "Odczytano 5 rekordów.";
        QTest::newRow("pl 12") << "pl" << 12 << "Odczytano 12 rekordów.";
        QTest::newRow("pl 22") << "pl" << 22 << "Odczytano 22 rekordy.";
        QTest::newRow("pl 101") << "pl" << 101 << "Odczytano 101 rekordów.";
        QTest::newRow("ru 1") << "ru" << 1 << "Прочитана 1 запись.";
        QTest::newRow("ru 3") << "ru" << 3 << "Прочитаны 3 записи.";
        QTest::newRow("ru 5") << "ru" << 5 << "Прочитано 5 записей.";
        QTest::newRow("ru 11") << "ru" << 11 << "Прочитано 11 записей.";
        QTest::newRow("ru 21") << "ru" << 21 << "Прочитана 21 запись.";
        QTest::newRow("es 1") << "es" << 1 << "Se ha leído 1 registro.";
        QTest::newRow("es 2") << "es" << 2 << "Se han leído 2 registros.";
        QTest::newRow("de 1") << "de" << 1 << "1 Datensatz gelesen.";
        QTest::newRow("de 7") << "de" << 7 << "7 Datensätze gelesen.";
        QTest::newRow("fr 0") << "fr" << 0 << "0 mesure lue.";
        QTest::newRow("fr 1") << "fr" << 1 << "1 mesure lue.";
        QTest::newRow("fr 3") << "fr" << 3 << "3 mesures lues.";
        QTest::newRow("it 1") << "it" << 1 << "1 record letto.";
        QTest::newRow("it 4") << "it" << 4 << "4 record letti.";
    }
    void closingMessageReadsForEveryCount()
    {
        QFETCH(QString, code);
        QFETCH(int, count);
        QFETCH(QString, message);
        TLangManEngine engine;
        engine.loadLanguages(QStringLiteral(ARVEX_APP_DIR));
        engine.Translate(code);
        QCOMPARE(engine.currentISOCode(), code);
        TDesignedLexicon lexicon(&engine, designedLexiconRows());
        lexicon.setDesignForms(designedLexiconForms());
        QCOMPARE(arvex::meter::DownloadSequence::closingMessage(languageNumber(code), count, lexicon.GetItem(7, count),
                                                               lexicon.GetItem(8, count)),
                 message);
    }

    // Dates keep the locale's order of day, month and year, with the year in four digits.
    void datesHaveFourDigitYears_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("en_US") << "en_US" << "2/3/2023 07:05:09";
        QTest::newRow("en_GB") << "en_GB" << "03/02/2023 07:05:09";
        QTest::newRow("de_DE") << "de_DE" << "03.02.2023 07:05:09";
        QTest::newRow("pl_PL") << "pl_PL" << "3.02.2023 07:05:09";
        QTest::newRow("ru_RU") << "ru_RU" << "03.02.2023 07:05:09";
        QTest::newRow("fr_FR") << "fr_FR" << "03/02/2023 07:05:09";
        QTest::newRow("it_IT") << "it_IT" << "03/02/2023 07:05:09";
        QTest::newRow("es_ES") << "es_ES" << "3/2/2023 07:05:09";
        QTest::newRow("ja_JP: year first") << "ja_JP" << "2023/02/03 07:05:09";
        QTest::newRow("ko_KR: quoted literals") << "ko_KR" << "2023. 2. 3. 07:05:09";
    }
    void datesHaveFourDigitYears()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        const QDateTime when(QDate(2023, 2, 3), QTime(7, 5, 9), Qt::UTC);
        QCOMPARE(dateTimeText(when, QLocale(locale)), text);
        QVERIFY(fullYearDateFormat(QLocale(locale)).contains("yyyy"));
        QVERIFY(!fullYearDateFormat(QLocale(locale)).contains("yyyyy"));
    }

    // The six files the program ships: each signed, with its code, name and flag, and
    // every lexicon row that the program reads translated.
    void shippedFilesAreComplete()
    {
        TLangManEngine engine;
        engine.loadLanguages(QStringLiteral(ARVEX_APP_DIR));
        QStringList codes;
        for (int i = 0; i < engine.languageCount(); ++i)
            codes << engine.GetISOCode(i);
        QCOMPARE(codes, QStringList({"en", "de", "es", "fr", "it", "pl", "ru"}));
        for (int i = 1; i < engine.languageCount(); ++i) {
            const Language &l = engine.language(i);
            QCOMPARE(l.flag, QStringLiteral(":/art/flags/%1.svg").arg(l.isoCode));
            for (int row : {0, 1, 7, 8, 9})
                QVERIFY2(!l.lexicon.value(row).isEmpty(), qPrintable(l.name + " row " + QString::number(row)));
            QVERIFY2(l.lexicon.value(1).contains("Calc"), qPrintable(l.name));
        }
    }

    void comboShowsTheEnginesList()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("de.lng"), languageFile("Deutsch", "de", "Report=Bericht\n"));
        writeFile(dir.filePath("pl.lng"), languageFile("Polski", "pl", "Report=Raport\n"));
        TLangManEngine engine;
        engine.loadLanguages(dir.path());
        TLangFlagsCombo combo;
        combo.setEngine(&engine);
        QCOMPARE(combo.count(), 3);
        QCOMPARE(combo.itemText(2), QString("Polski"));
        QVERIFY(!combo.itemIcon(2).isNull()); // a stand-in where the flag picture is missing
        QCOMPARE(combo.currentIndex(), -1);

        // A user's choice: first Click (the language is still the old one), then the switch.
        QString languageAtClick;
        connect(&combo, &TLangFlagsCombo::Click, this, [&] { languageAtClick = engine.currentLanguageName(); });
        combo.setCurrentIndex(2);
        emit combo.activated(2);
        QCOMPARE(languageAtClick, QString("English"));
        QCOMPARE(engine.currentLanguageName(), QString("Polski"));
    }
};

QTEST_MAIN(TestLanguages)
#include "tst_languages.moc"
