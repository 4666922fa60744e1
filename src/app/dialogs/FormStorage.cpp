#include "app/dialogs/FormStorage.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <cstdint>

namespace arvex::app {

namespace {

const QDate DayZero(1899, 12, 30);
constexpr double MSecsPerDay = 86400000.0;
// 1 January 0001 and 31 December 9999 as day numbers: the dates a picker can hold.
constexpr double FirstDay = -693593.0;
constexpr double LastDay = 2958465.0;

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

// Screen coordinates a window can have: widgets are at most QWIDGETSIZE_MAX (2^24 - 1)
// pixels wide, so a stored value beyond this is no placement. Keeping to it also keeps the
// rectangle arithmetic (right - left, the corners) inside an int.
constexpr qint64 CoordinateLimit = QWIDGETSIZE_MAX;

// "a,b,c,d" as four integers, each within the coordinate limit.
std::optional<QRect> fourInts(const QString &text, bool asCorners)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    qint64 v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toLongLong(&ok);
        if (!ok || v[i] < -CoordinateLimit || v[i] > CoordinateLimit)
            return std::nullopt;
    }
    if (asCorners) // left, top, right, bottom; right and bottom lie outside the rectangle
        return QRect(int(v[0]), int(v[1]), int(v[2] - v[0]), int(v[3] - v[1]));
    return QRect(int(v[0]), int(v[1]), int(v[2]), int(v[3]));
}

std::optional<int> toInt(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int v = text->trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

} // namespace

// ---- Dates -----------------------------------------------------------------------------

double toDayNumber(const QDate &date, const QTime &time)
{
    const double days = double(DayZero.daysTo(date));
    // Hours, minutes, seconds and milliseconds are added one after the other: 23:59:59 on
    // 1 June 2023 is then 00C0D13DFFFF16B00E40 as the settings files hold it, one unit in the
    // last place above the double nearest to the exact time.
    const double h = time.hour() / 24.0, m = time.minute() / 1440.0, s = time.second() / 86400.0,
                 ms = time.msec() / MSecsPerDay;
    if (days < 0) // before day zero the time of day counts away from it, as the days do
        return days - (h + m + s + ms);
    double v = days;
    v += h;
    v += m;
    v += s;
    v += ms;
    return v;
}

QDate dateOfDayNumber(double days)
{
    if (!std::isfinite(days) || days < FirstDay || days >= LastDay + 1)
        return QDate();
    return DayZero.addDays(qint64(std::trunc(days)));
}

QString encodeExtended(double value)
{
    std::uint64_t significand = 0;
    unsigned exponent = 0;
    const bool negative = std::signbit(value);
    if (std::isnan(value)) {
        exponent = 0x7FFF;
        significand = 0xC000000000000000ull;
    } else if (std::isinf(value)) {
        exponent = 0x7FFF;
        significand = 0x8000000000000000ull;
    } else if (value != 0) {
        int e = 0;
        const double m = std::frexp(std::fabs(value), &e); // |value| = m * 2^e, m in [0.5, 1)
        significand = std::uint64_t(std::ldexp(m, 64));     // exact: a double has 53 bits
        exponent = unsigned(e - 1 + 16383);
    }
    const unsigned signAndExponent = exponent | (negative ? 0x8000u : 0u);
    QString out;
    out.reserve(20);
    auto byte = [&out](unsigned b) { out += QStringLiteral("%1").arg(b & 0xFF, 2, 16, QLatin1Char('0')).toUpper(); };
    for (int i = 0; i < 8; ++i)
        byte(unsigned(significand >> (8 * i)));
    byte(signAndExponent);
    byte(signAndExponent >> 8);
    return out;
}

std::optional<double> decodeExtended(const QString &digits)
{
    QString hex = digits;
    if (hex.size() % 2 == 1)
        hex.prepend(QLatin1Char('0'));
    if (hex.size() < 20)
        return std::nullopt;
    for (QChar c : hex)
        if (hexDigit(c) < 0)
            return std::nullopt;
    unsigned char bytes[10];
    for (int i = 0; i < 10; ++i)
        bytes[i] = static_cast<unsigned char>(hexDigit(hex.at(2 * i)) * 16 + hexDigit(hex.at(2 * i + 1)));
    std::uint64_t significand = 0;
    for (int i = 7; i >= 0; --i)
        significand = (significand << 8) | bytes[i];
    const unsigned signAndExponent = bytes[8] | (unsigned(bytes[9]) << 8);
    const int exponent = int(signAndExponent & 0x7FFF);
    const bool negative = (signAndExponent & 0x8000) != 0;
    if (exponent == 0x7FFF)
        return std::nullopt; // infinity or not a number
    double value = 0;
    if (significand != 0)
        value = std::ldexp(double(significand), (exponent == 0 ? 1 : exponent) - 16383 - 63);
    if (!std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

// ---- IniFile ---------------------------------------------------------------------------

bool IniFile::load(const QString &path, QString *error)
{
    sections_.clear();
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    parse(QString::fromUtf8(f.readAll()));
    return true;
}

bool IniFile::save(const QString &path, QString *error) const
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error)
            *error = QStringLiteral("the folder \"%1\" cannot be created").arg(QDir::toNativeSeparators(info.absolutePath()));
        return false;
    }
    QSaveFile f(path);
    const QByteArray bytes = text().toUtf8();
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

void IniFile::parse(const QString &text)
{
    sections_.clear();
    sections_.push_back({QString(), {}});
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) {
            sections_.push_back({t.mid(1, t.size() - 2).trimmed(), {}});
            continue;
        }
        const int eq = t.indexOf(QLatin1Char('='));
        if (eq > 0 && !t.startsWith(QLatin1Char(';')))
            sections_.back().lines.push_back({t.left(eq).trimmed(), t.mid(eq + 1).trimmed(), line});
        else
            sections_.back().lines.push_back({QString(), QString(), line});
    }
    // Blank lines at the end of each section are written again by text().
    for (Section &s : sections_)
        while (!s.lines.empty() && s.lines.back().key.isEmpty() && s.lines.back().raw.trimmed().isEmpty())
            s.lines.pop_back();
}

QString IniFile::text() const
{
    QString out;
    for (const Section &s : sections_) {
        if (s.name.isNull() && s.lines.empty())
            continue;
        if (!s.name.isNull()) {
            if (!out.isEmpty())
                out += QLatin1Char('\n');
            out += QLatin1Char('[') + s.name + QLatin1String("]\n");
        }
        for (const Line &l : s.lines)
            out += (l.key.isEmpty() ? l.raw : l.key + QLatin1Char('=') + l.value) + QLatin1Char('\n');
    }
    return out;
}

IniFile::Section *IniFile::find(const QString &name)
{
    for (Section &s : sections_)
        if (!s.name.isNull() && s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

const IniFile::Section *IniFile::find(const QString &name) const
{
    return const_cast<IniFile *>(this)->find(name);
}

bool IniFile::hasSection(const QString &section) const { return find(section) != nullptr; }

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    if (const Section *s = find(section))
        for (const Line &l : s->lines)
            if (!l.key.isEmpty() && l.key.compare(key, Qt::CaseInsensitive) == 0)
                return l.value;
    return std::nullopt;
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    Section *s = find(section);
    if (!s) {
        sections_.push_back({section, {}});
        s = &sections_.back();
    }
    for (Line &l : s->lines)
        if (!l.key.isEmpty() && l.key.compare(key, Qt::CaseInsensitive) == 0) {
            l.value = value;
            return;
        }
    s->lines.push_back({key, value, QString()});
}

// ---- FormStorage ---------------------------------------------------------------------

ScreenState ScreenState::of(const QWidget *window)
{
    ScreenState s;
    const QScreen *screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        s.pixelsPerInch = qRound(screen->logicalDotsPerInch());
        s.desktop = screen->virtualSize();
    }
    s.onMonitor = [](QPoint p) { return QGuiApplication::screenAt(p) != nullptr; };
    return s;
}

FormStorage::FormStorage(QWidget *window) : QObject(window), window_(window), fileName_(defaultFileName())
{
    setObjectName(QStringLiteral("JvFormStorage1"));
}

QString FormStorage::defaultFileName()
{
#ifdef Q_OS_WIN
    // The roaming application-data folder.
    QString folder = qEnvironmentVariable("APPDATA");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    return QDir(folder).filePath(QStringLiteral("Arvex.cfp"));
}

QString FormStorage::section() const { return window_->objectName(); }

FormStorage::Property FormStorage::dateProperty(const QString &key, QDateEdit *picker, QTime timeOfDay)
{
    return {key,
            [picker, timeOfDay] { return encodeExtended(toDayNumber(picker->date(), timeOfDay)); },
            [picker](const QString &text) {
                const std::optional<double> v = decodeExtended(text);
                const QDate d = v ? dateOfDayNumber(*v) : QDate();
                if (!d.isValid())
                    return false;
                picker->setDate(d);
                return true;
            }};
}

FormStorage::Property FormStorage::intProperty(const QString &key, std::function<int()> get,
                                               std::function<void(int)> set, int min, int max)
{
    return {key,
            [get] { return QString::number(get()); },
            [set, min, max](const QString &text) {
                bool ok = false;
                const int v = text.trimmed().toInt(&ok);
                if (!ok || v < min || v > max)
                    return false;
                set(v);
                return true;
            }};
}

bool FormStorage::restore(QStringList *problems, QString *error)
{
    restored_ = true;
    IniFile ini;
    if (!ini.load(fileName_, error))
        return false;
    QStringList bad;
    const QString sec = section();
    // The stored layout version: every version from 0 on is accepted.
    (void)toInt(ini.value(sec, QStringLiteral("FormVersion")));
    restorePlacement(ini, bad);
    for (const Property &p : properties_) {
        const std::optional<QString> v = ini.value(sec, p.key);
        if (v && !p.read(*v))
            bad << p.key;
    }
    if (problems)
        *problems = bad;
    return true;
}

void FormStorage::restorePlacement(const IniFile &ini, QStringList &problems)
{
    const QString sec = section();
    const ScreenState screen = screen_ ? screen_() : ScreenState::of(window_);
    const QString desktop = QStringLiteral("(%1x%2)").arg(screen.desktop.width()).arg(screen.desktop.height());
    auto sized = [&](const QString &key) {
        std::optional<QString> v = ini.value(sec, key + desktop);
        return v ? v : ini.value(sec, key);
    };

    (void)ini.value(sec, QStringLiteral("Flags"));
    const std::optional<QString> minMax = sized(QStringLiteral("MinMaxPos"));
    const std::optional<QString> norm = sized(QStringLiteral("NormPos"));
    if (minMax || norm) {
        std::optional<int> ppi = toInt(ini.value(sec, QStringLiteral("PixelsPerInch")));
        if (!ppi && ini.value(sec, QStringLiteral("PixelsPerInch")))
            problems << QStringLiteral("PixelsPerInch");
        std::optional<QRect> rect;
        if (norm) {
            rect = fourInts(*norm, true);
            if (!rect)
                problems << QStringLiteral("NormPos");
        }
        if (rect && ppi.value_or(screen.pixelsPerInch) == screen.pixelsPerInch && rect->width() > 0 &&
            rect->height() > 0 && screen.onMonitor && screen.onMonitor(rect->topLeft()) &&
            screen.onMonitor(rect->bottomRight())) {
            window_->setGeometry(*rect);
        }
    }

    if (const std::optional<QString> cmdText = ini.value(sec, QStringLiteral("ShowCmd"))) {
        const std::optional<int> cmd = toInt(cmdText);
        const Qt::WindowStates plain = window_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
        if (!cmd)
            problems << QStringLiteral("ShowCmd");
        else if (*cmd == 1 || *cmd == 5 || *cmd == 9)
            window_->setWindowState(plain);
        else if (*cmd == 2 || *cmd == 6 || *cmd == 7)
            window_->setWindowState(window_->windowState() | Qt::WindowMinimized);
        else if (*cmd == 3)
            window_->setWindowState(plain | Qt::WindowMaximized);
    }
}

void FormStorage::writePlacement(IniFile &ini) const
{
    const QString sec = section();
    const ScreenState screen = screen_ ? screen_() : ScreenState::of(window_);
    const Qt::WindowStates state = window_->windowState();
    const int showCmd = state & Qt::WindowMinimized ? 2 : state & Qt::WindowMaximized ? 3 : 1;
    // Flag 2: a minimised window comes back maximised.
    const int flags = (state & Qt::WindowMinimized) && (state & Qt::WindowMaximized) ? 2 : 0;
    const QRect n = window_->normalGeometry().isValid() ? window_->normalGeometry() : window_->geometry();
    const QString desktop = QStringLiteral("(%1x%2)").arg(screen.desktop.width()).arg(screen.desktop.height());
    const QString minMax = QStringLiteral("-1,-1,-1,-1");
    const QString normPos = QStringLiteral("%1,%2,%3,%4").arg(n.left()).arg(n.top()).arg(n.left() + n.width()).arg(n.top() + n.height());

    ini.setValue(sec, QStringLiteral("ShowCmd"), QString::number(showCmd));
    ini.setValue(sec, QStringLiteral("Flags"), QString::number(flags));
    ini.setValue(sec, QStringLiteral("PixelsPerInch"), QString::number(screen.pixelsPerInch));
    ini.setValue(sec, QStringLiteral("MinMaxPos") + desktop, minMax);
    ini.setValue(sec, QStringLiteral("MinMaxPos"), minMax);
    ini.setValue(sec, QStringLiteral("NormPos") + desktop, normPos);
    ini.setValue(sec, QStringLiteral("NormPos"), normPos);
}

bool FormStorage::save(QString *error)
{
    IniFile ini;
    if (!ini.load(fileName_)) // unreadable: written anew
        ini = IniFile();
    const QString sec = section();
    ini.setValue(sec, QStringLiteral("FormVersion"), QString::number(FormVersion));
    writePlacement(ini);
    for (const Property &p : properties_)
        ini.setValue(sec, p.key, p.write());
    return ini.save(fileName_, error);
}

} // namespace arvex::app
