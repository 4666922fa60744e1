#include "lang/LangMan.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>
#include <QWidget>

#include <memory>
#include <string>
#include <unicode/locid.h>
#include <unicode/plurrule.h>

namespace arvex::lang {

namespace {

// A language file is a few kilobytes; anything far larger is not one.
constexpr qint64 MaxLanguageFileSize = 16 * 1024 * 1024;

// Position of the first '=' that no backslash escapes, or -1.
int separatorOf(const QString &line)
{
    for (int i = 0; i < line.size(); ++i) {
        if (line.at(i) == QLatin1Char('\\'))
            ++i;
        else if (line.at(i) == QLatin1Char('='))
            return i;
    }
    return -1;
}

} // namespace

QString reduceISOCode(const QString &declared)
{
    const QString code = declared.trimmed().toLower().left(2);
    if (code.size() != 2)
        return QString();
    for (QChar c : code)
        if (c < QLatin1Char('a') || c > QLatin1Char('z'))
            return QString();
    if (code == QLatin1String("xx"))
        return QString();
    return code;
}

QString pluralCategory(const QString &isoCode, qint64 count)
{
    // The plural rules of every language are data (CLDR) that ICU keeps up to date; Qt has
    // them only inside its own translation files, with no call that names a count's category.
    const QString code = isoCode.isEmpty() ? QStringLiteral("en") : isoCode;
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::PluralRules> rules(
        icu::PluralRules::forLocale(icu::Locale(code.toLatin1().constData()), status));
    if (U_FAILURE(status) || !rules)
        return count == 1 ? QStringLiteral("one") : QStringLiteral("other");
    std::string category;
    rules->select(double(count)).toUTF8String(category);
    return QString::fromStdString(category);
}

int languageNumber(const QString &isoCode)
{
    static const char *const codes[] = {"en", "pl", "de", "fr", "es", "ru", "it"};
    for (int i = 0; i < 7; ++i)
        if (isoCode == QLatin1String(codes[i]))
            return i;
    return 0;
}

QString unescapeText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar e = text.at(++i);
        if (e == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (e == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else
            out += e; // "\\", "\=" and any other escaped character stand for themselves
    }
    return out;
}

std::optional<Language> readLanguageFile(const QString &path)
{
    QFile file(path);
    if (file.size() > MaxLanguageFileSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString content = QString::fromUtf8(file.readAll());
    if (content.startsWith(QChar(0xFEFF)))
        content.remove(0, 1);
    const QStringList lines = content.split(QLatin1Char('\n'));
    const QString signature = QStringLiteral("[%1]").arg(QLatin1String(TLangManEngine::LangFileSignature));
    if (lines.isEmpty() || lines.first().trimmed() != signature)
        return std::nullopt;

    Language lang;
    lang.fileName = QFileInfo(path).absoluteFilePath();
    enum class Section { Header, Texts, Lexicon, Other } section = Section::Header;
    QString declaredCode;
    for (int n = 1; n < lines.size(); ++n) {
        const QString line = lines.at(n).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2).trimmed().toLower();
            section = name == QLatin1String("texts")     ? Section::Texts
                      : name == QLatin1String("lexicon") ? Section::Lexicon
                                                         : Section::Other;
            continue;
        }
        const int eq = separatorOf(line);
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        switch (section) {
        case Section::Header: {
            const QString k = key.toLower();
            if (k == QLatin1String("name"))
                lang.name = unescapeText(value);
            else if (k == QLatin1String("isocode") || k == QLatin1String("iso"))
                declaredCode = value;
            else if (k == QLatin1String("flag"))
                lang.flag = value;
            break;
        }
        case Section::Texts:
            if (!key.isEmpty())
                lang.texts.insert(unescapeText(key), unescapeText(value));
            break;
        case Section::Lexicon: {
            // "7=..." is the row; "7[few]=..." its form for a count of that plural category.
            static const QRegularExpression form(QStringLiteral("^(\\d+)\\[(zero|one|two|few|many|other)\\]$"));
            bool ok = false;
            const int row = key.toInt(&ok);
            if (ok && row >= 0) {
                lang.lexicon.insert(row, unescapeText(value));
            } else if (const QRegularExpressionMatch m = form.match(key.toLower()); m.hasMatch()) {
                const int formRow = m.captured(1).toInt(&ok);
                if (ok)
                    lang.lexiconForms[formRow].insert(m.captured(2), unescapeText(value));
            }
            break;
        }
        case Section::Other:
            break;
        }
    }
    lang.isoCode = reduceISOCode(declaredCode);
    if (lang.name.isEmpty())
        lang.name = QFileInfo(path).completeBaseName();
    if (!lang.flag.isEmpty() && !lang.flag.startsWith(QLatin1String(":/")))
        lang.flag = QFileInfo(QFileInfo(path).absoluteDir(), lang.flag).absoluteFilePath();
    return lang;
}

// ---------------------------------------------------------------------------------------

TLangManEngine::TLangManEngine(QObject *parent) : QTranslator(parent)
{
    setObjectName(QStringLiteral("LangManEngine1"));
    Language design;
    design.name = QString::fromLatin1(DesignLanguageName);
    design.isoCode = reduceISOCode(QString::fromLatin1(DesignLangISOCode));
    design.flag = QString::fromLatin1(DesignLangFlag);
    languages_.push_back(design);
    if (QCoreApplication::instance())
        QCoreApplication::installTranslator(this);
}

TLangManEngine::~TLangManEngine()
{
    if (QCoreApplication::instance())
        QCoreApplication::removeTranslator(this);
}

void TLangManEngine::loadLanguages(const QString &folder)
{
    languages_.resize(1);
    folder_ = folder;
    const QDir dir(folder);
    const QStringList files =
        dir.entryList({QStringLiteral("*") + QLatin1String(LangFileExtension)}, QDir::Files | QDir::Readable,
                      QDir::Name | QDir::IgnoreCase);
    for (const QString &f : files)
        if (auto lang = readLanguageFile(dir.filePath(f)))
            languages_.push_back(std::move(*lang));
    loaded_ = true;
    if (current_ != 0)
        switchTo(0);
}

QString TLangManEngine::GetISOCode(int languageIndex) const
{
    if (languageIndex < 0 || languageIndex >= languageCount())
        return QString();
    return languages_.at(languageIndex).isoCode;
}

QString TLangManEngine::Translate(const QString &isoOrLangName)
{
    const QString wanted = isoOrLangName.trimmed();
    if (!wanted.isEmpty()) {
        int found = -1;
        for (int i = 0; i < languageCount() && found < 0; ++i)
            if (!languages_[i].isoCode.isEmpty() && languages_[i].isoCode == wanted.toLower())
                found = i;
        for (int i = 0; i < languageCount() && found < 0; ++i)
            if (languages_[i].name.compare(wanted, Qt::CaseInsensitive) == 0)
                found = i;
        if (found >= 0)
            switchTo(found);
    }
    return currentLanguageName();
}

void TLangManEngine::TranslateIndex(int languageIndex)
{
    if (languageIndex >= 0 && languageIndex < languageCount())
        switchTo(languageIndex);
}

void TLangManEngine::switchTo(int index)
{
    if (index == current_)
        return;
    current_ = index;
    if (QCoreApplication *app = QCoreApplication::instance()) {
        // The application passes the event on to every window (posted); deliver those at
        // once so that all windows show the new language when this returns.
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(app, &change);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    }
    emit languageChanged(current_);
}

QString TLangManEngine::text(const QString &designText) const
{
    return languages_.at(current_).texts.value(designText, designText);
}

QString TLangManEngine::lexiconItem(int row) const { return languages_.at(current_).lexicon.value(row); }

QString TLangManEngine::lexiconForm(int row, const QString &category) const
{
    return languages_.at(current_).lexiconForms.value(row).value(category);
}

QString TLangManEngine::translate(const char *context, const char *sourceText, const char *disambiguation,
                                  int n) const
{
    Q_UNUSED(context);
    Q_UNUSED(disambiguation);
    Q_UNUSED(n);
    if (current_ == 0 || !sourceText)
        return QString();
    return languages_.at(current_).texts.value(QString::fromUtf8(sourceText));
}

// ---------------------------------------------------------------------------------------

TDesignedLexicon::TDesignedLexicon(const TLangManEngine *engine, QStringList designRows, QObject *parent)
    : QObject(parent), engine_(engine), rows_(std::move(designRows))
{
    setObjectName(QStringLiteral("DesignedLexicon1"));
}

QString TDesignedLexicon::GetItem(int index) const
{
    if (index < 0 || index >= rows_.size())
        return QString();
    if (engine_) {
        const QString t = engine_->lexiconItem(index);
        if (!t.isEmpty())
            return t;
    }
    return rows_.at(index);
}

QString TDesignedLexicon::GetItem(int index, qint64 count) const
{
    if (index < 0 || index >= rows_.size())
        return QString();
    if (engine_ && engine_->currentIndex() > 0) {
        const QString form = engine_->lexiconForm(index, pluralCategory(engine_->currentISOCode(), count));
        if (!form.isEmpty())
            return form;
        const QString row = engine_->lexiconItem(index);
        if (!row.isEmpty())
            return row;
    }
    const QString form = designForms_.value(index).value(pluralCategory(QStringLiteral("en"), count));
    return form.isEmpty() ? rows_.at(index) : form;
}

QStringList designedLexiconRows()
{
    return {
        QStringLiteral("Microsoft Office Excel not installed"),
        QStringLiteral("Open Office Calc  not installed"),
        QStringLiteral("Conductivity meter"),
        QStringLiteral("Oxygen meter"),
        QStringLiteral("Conductivity"),
        QStringLiteral("Dissolved oxygen"),
        QStringLiteral("Redox potential"),
        QStringLiteral("records read."),
        QStringLiteral("records."),
        QStringLiteral("No objects to report"),
    };
}

QMap<int, QHash<QString, QString>> designedLexiconForms()
{
    return {
        {7, {{QStringLiteral("one"), QStringLiteral("record read.")}}},
        {8, {{QStringLiteral("one"), QStringLiteral("record.")}}},
    };
}

// ---------------------------------------------------------------------------------------

TLangManClient::TLangManClient(QWidget *window) : QObject(window)
{
    setObjectName(QStringLiteral("LangManClient1"));
    window->installEventFilter(this);
}

void TLangManClient::add(QAbstractButton *button)
{
    add(button, button->text(), [button](const QString &t) { button->setText(t); });
}

void TLangManClient::add(QLabel *label)
{
    add(label, label->text(), [label](const QString &t) { label->setText(t); });
}

void TLangManClient::add(QGroupBox *group)
{
    add(group, group->title(), [group](const QString &t) { group->setTitle(t); });
}

void TLangManClient::add(QAction *action)
{
    add(action, action->text(), [action](const QString &t) { action->setText(t); });
}

void TLangManClient::addTab(QTabWidget *tabs, int index)
{
    add(tabs, tabs->tabText(index), [tabs, index](const QString &t) { tabs->setTabText(index, t); });
}

void TLangManClient::add(QObject *owner, const QString &designText, std::function<void(const QString &)> apply)
{
    entries_.push_back({owner, designText, std::move(apply)});
}

void TLangManClient::retranslate()
{
    for (const Entry &e : entries_)
        if (e.owner)
            e.apply(translated(e.design));
}

QStringList TLangManClient::designTexts() const
{
    QStringList out;
    for (const Entry &e : entries_)
        out << e.design;
    return out;
}

QString TLangManClient::translated(const QString &designText)
{
    return QCoreApplication::translate("LangMan", designText.toUtf8().constData());
}

bool TLangManClient::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::LanguageChange)
        retranslate();
    return QObject::eventFilter(watched, event);
}

} // namespace arvex::lang
