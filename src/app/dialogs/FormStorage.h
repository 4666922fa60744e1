#pragma once

#include <QDate>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>
#include <optional>
#include <vector>

class QDateEdit;
class QWidget;

namespace arvex::app {

// ---- Dates as 80-bit extended values -------------------------------------------------
// A date-time as days since 30 December 1899, the fraction being the time of day.
double toDayNumber(const QDate &date, const QTime &time);
// The date part of a day number (its whole days); invalid for a value out of range.
QDate dateOfDayNumber(double days);
// The value as the 10 bytes of an x87 80-bit extended number, little-endian, each byte as two
// upper-case hexadecimal digits: 1 June 2023 00:00:00 is "00000000000016B00E40".
QString encodeExtended(double value);
// Reads such digits pairwise from the start (an odd count as if a 0 stood in front) and
// decodes the first 10 bytes; nothing for fewer than 10 bytes, a character that is not a
// hexadecimal digit, or a value that is not a finite number.
std::optional<double> decodeExtended(const QString &digits);

// ---- The INI file --------------------------------------------------------------------
// A small INI text: sections of "key=value" lines, kept in their order. Keys are taken as
// they stand (parentheses and all); lines it does not understand are kept.
class IniFile {
public:
    // Reads a file; a missing file gives an empty one. False (with the reason) when it exists
    // but cannot be read.
    bool load(const QString &path, QString *error = nullptr);
    // Writes the whole text to the file at once (the old file stays whole if writing fails).
    bool save(const QString &path, QString *error = nullptr) const;

    void parse(const QString &text);
    QString text() const;

    std::optional<QString> value(const QString &section, const QString &key) const;
    void setValue(const QString &section, const QString &key, const QString &value);
    bool hasSection(const QString &section) const;

private:
    struct Line {
        QString key;   // empty for a line that is no key (comment, blank)
        QString value;
        QString raw;
    };
    struct Section {
        QString name;
        std::vector<Line> lines;
    };
    Section *find(const QString &name);
    const Section *find(const QString &name) const;
    std::vector<Section> sections_; // the first one, unnamed, holds lines before any section
};

// ---- The window's stored settings ----------------------------------------------------
// The screen the window is shown on, as far as restoring its placement needs it.
struct ScreenState {
    int pixelsPerInch = 96;
    QSize desktop;                       // size of the whole desktop
    std::function<bool(QPoint)> onMonitor; // whether a point lies on some monitor
    static ScreenState of(const QWidget *window);
};

// Keeps a window's placement and a few control properties in the section named after the
// window of the settings file, restored when the window is first shown and written when it
// closes. Keys: FormVersion, ShowCmd, Flags, PixelsPerInch, MinMaxPos(WxH), MinMaxPos,
// NormPos(WxH), NormPos, then the properties in the order they were added.
class FormStorage : public QObject {
    Q_OBJECT
public:
    static constexpr int FormVersion = 0;

    struct Property {
        QString key;                                // component name, '_', property name
        std::function<QString()> write;
        std::function<bool(const QString &)> read;  // false: not usable, nothing changed
    };

    explicit FormStorage(QWidget *window); // the window owns it

    // "Arvex.cfp" in the user's configuration folder.
    static QString defaultFileName();
    void setFileName(const QString &path) { fileName_ = path; }
    QString fileName() const { return fileName_; }
    QString section() const;

    void addProperty(Property p) { properties_.push_back(std::move(p)); }
    // The date of a picker; writing adds the picker's fixed time of day, reading sets only
    // the date.
    static Property dateProperty(const QString &key, QDateEdit *picker, QTime timeOfDay);
    // An integer that must lie in [min, max].
    static Property intProperty(const QString &key, std::function<int()> get, std::function<void(int)> set,
                                int min, int max);

    // Tests give the screen they pretend to be on.
    void setScreenState(std::function<ScreenState()> screen) { screen_ = std::move(screen); }

    // Reads the file and applies what it holds. Missing keys leave the current values; a
    // value that cannot be used is left out and named in the problems. False when the file
    // exists but cannot be read.
    bool restore(QStringList *problems = nullptr, QString *error = nullptr);
    // Puts the current values into the file (other sections and keys of the file stay).
    bool save(QString *error = nullptr);

    bool restored() const { return restored_; }

private:
    void restorePlacement(const IniFile &ini, QStringList &problems);
    void writePlacement(IniFile &ini) const;

    QWidget *window_;
    QString fileName_;
    std::vector<Property> properties_;
    std::function<ScreenState()> screen_;
    bool restored_ = false;
};

} // namespace arvex::app
