#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <functional>
#include <optional>
#include <vector>

class QAbstractButton;
class QAction;
class QGroupBox;
class QLabel;
class QTabWidget;
class QWidget;

namespace arvex::lang {

// The ISO code as the engine keeps it: the declared code trimmed and lower-cased, cut to its
// first two characters; empty unless both are letters a to z and the pair is not "xx".
// "en - English" gives "en", "PL" gives "pl", "pt-BR" gives "pt".
QString reduceISOCode(const QString &declared);

// The language number of an ISO code: 0 "en", 1 "pl", 2 "de", 3 "fr", 4 "es", 5 "ru", 6 "it";
// every other code, the empty one included, gives 0. The comparison is exact.
int languageNumber(const QString &isoCode);

// One language of the list: the design language (entry 0) or one language file.
struct Language {
    QString name;                  // as shown in the language box
    QString isoCode;               // reduced: two lower-case letters, or empty
    QString flag;                  // picture file or resource path; empty: none
    QString fileName;              // the language file; empty for the design language
    QHash<QString, QString> texts; // design text -> translation
    QMap<int, QString> lexicon;    // lexicon row -> translation
    // Lexicon rows worded for a count: row -> plural category ("one", "few", ...) -> text.
    QMap<int, QHash<QString, QString>> lexiconForms;
};

// The plural category of a count in a language, as the Unicode CLDR names them: "zero",
// "one", "two", "few", "many" or "other". Polish gives "one" for 1, "few" for 2 to 4, 22 to
// 24, ..., "many" for 0, 5 to 21, 25, ...; English "one" for 1 and "other" for the rest. An
// empty or unknown code counts as English.
QString pluralCategory(const QString &isoCode, qint64 count);

// Reads one language file. The first line, trimmed, must be "[LANGUAGE_FILE]"; otherwise, or
// when the file cannot be read, there is no language. Layout (UTF-8):
//
//   [LANGUAGE_FILE]
//   Name=Polski
//   ISOCode=pl - Polish
//   Flag=:/art/flags/pl.svg        (a resource path, or a file beside the language file)
//   [Texts]
//   Report=Raport                  (design text = translation)
//   [Lexicon]
//   7=Odczytano                    (row number = translation)
//   8=rekordów.
//   8[one]=rekord.                 (the row for a count of that plural category)
//   8[few]=rekordy.
//
// Lines starting with '#' or ';' are comments. In texts, "\n" is a line break, "\\" a
// backslash and "\=" an equals sign (so the first bare '=' ends the design text).
std::optional<Language> readLanguageFile(const QString &path);

// Undoes the escapes of a language file's text ("\n", "\t", "\\", "\=").
QString unescapeText(const QString &text);

// The language engine. It holds the list of languages (English first, then one entry per
// language file of the program folder), the language in force, and it is the application's
// translator: QCoreApplication::translate() answers with the text of the language in force.
// Windows that carry a TLangManClient retranslate when it switches.
class TLangManEngine : public QTranslator {
    Q_OBJECT
public:
    static constexpr const char *DesignLanguageName = "English";
    static constexpr const char *DesignLangISOCode = "en - English";
    static constexpr const char *DefaultLanguage = "English";
    static constexpr const char *LangFileExtension = ".lng";
    static constexpr const char *LangFileSignature = "LANGUAGE_FILE";
    static constexpr const char *DesignLangFlag = ":/art/flags/en.svg";

    // Installs itself as the application's translator (when there is an application).
    explicit TLangManEngine(QObject *parent = nullptr);
    ~TLangManEngine() override;

    // Builds the list: the design language, then every valid language file directly in the
    // folder, by file name (case-insensitive). The language in force becomes English again.
    void loadLanguages(const QString &folder);
    bool languagesLoaded() const { return loaded_; }
    QString folder() const { return folder_; }

    int languageCount() const { return int(languages_.size()); }
    const Language &language(int index) const { return languages_.at(index); }

    // ISO code of the language at a position, or "" for a position outside the list.
    QString GetISOCode(int languageIndex) const;
    // Switches to the language named by an ISO code (any case) or a language name (any
    // case); does nothing when none matches. Gives the name of the language in force.
    QString Translate(const QString &isoOrLangName);
    // Switches to the language at a position; does nothing for a position outside the list.
    void TranslateIndex(int languageIndex);

    int currentIndex() const { return current_; }
    QString currentLanguageName() const { return languages_.at(current_).name; }
    QString currentISOCode() const { return languages_.at(current_).isoCode; }

    // The translation of a design text in the language in force; the design text itself
    // when there is none.
    QString text(const QString &designText) const;
    // A lexicon row in the language in force; a null string when the language has none.
    QString lexiconItem(int row) const;
    // The row's form for a plural category in the language in force; null when it has none.
    QString lexiconForm(int row, const QString &category) const;

    // QTranslator
    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }

signals:
    // The language in force changed; every window has been retranslated.
    void languageChanged(int languageIndex);

private:
    void switchTo(int index);

    std::vector<Language> languages_;
    int current_ = 0;
    bool loaded_ = false;
    QString folder_;
};

// The lexicon of program messages: rows of English design texts, read by row number in the
// language in force (the English row where the language has no translation).
class TDesignedLexicon : public QObject {
    Q_OBJECT
public:
    TDesignedLexicon(const TLangManEngine *engine, QStringList designRows, QObject *parent = nullptr);
    // English forms of rows for plural categories (row -> category -> text).
    void setDesignForms(QMap<int, QHash<QString, QString>> forms) { designForms_ = std::move(forms); }

    int count() const { return int(rows_.size()); }
    // Row i in the language in force; "" for a row outside the lexicon.
    QString GetItem(int index) const;
    // Row i worded for a count: the language's form for the count's plural category, else its
    // plain row; where the language has neither, the English row worded for the count.
    QString GetItem(int index, qint64 count) const;
    QString designItem(int index) const { return rows_.value(index); }

private:
    QPointer<const TLangManEngine> engine_;
    QStringList rows_;
    QMap<int, QHash<QString, QString>> designForms_;
};

// The rows of the program's lexicon DesignedLexicon1. Rows 2 to 6 are not used by this program
// but keep the numbers of 7 to 9.
QStringList designedLexiconRows();
// The English forms of those rows for a count of one ("1 record read.").
QMap<int, QHash<QString, QString>> designedLexiconForms();

// A window's translation client: it remembers the design text of each registered control
// (taken when the control is added) and, each time the application's language changes,
// puts the translation of the language in force in its place.
class TLangManClient : public QObject {
    Q_OBJECT
public:
    explicit TLangManClient(QWidget *window);

    void add(QAbstractButton *button);
    void add(QLabel *label);
    void add(QGroupBox *group);
    void add(QAction *action);
    void addTab(QTabWidget *tabs, int index);
    // Any other text: apply receives the translation of the design text.
    void add(QObject *owner, const QString &designText, std::function<void(const QString &)> apply);

    // Puts the texts of the language in force into the registered controls.
    void retranslate();
    // The design texts of the registered controls, in the order they were added.
    QStringList designTexts() const;

    // The translation of a design text through the application's translators.
    static QString translated(const QString &designText);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry {
        QPointer<QObject> owner;
        QString design;
        std::function<void(const QString &)> apply;
    };
    std::vector<Entry> entries_;
};

} // namespace arvex::lang
