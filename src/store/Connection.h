#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <functional>
#include <stdexcept>
#include <vector>

namespace arvex::store {

// A database failure carrying the database layer's own text and, when the engine gave one,
// its SQL code.
class DatabaseError : public std::runtime_error {
public:
    static constexpr int NoCode = 0;
    explicit DatabaseError(const QString &text, int sqlCode = NoCode)
        : std::runtime_error(text.toStdString()), text_(text), sqlCode_(sqlCode)
    {
    }
    QString text() const { return text_; }
    int sqlCode() const { return sqlCode_; }
    // True when the database refused the statement for the values it was given (a key or
    // constraint violated, a check or an exception raised by the schema, a value it cannot
    // convert or hold): the same statement with other values can succeed. Everything else
    // (disk full, I/O error, lost connection, lock conflict, no such table) is a failure of
    // the database itself, after which nothing more should be written.
    bool refusedValues() const;
    // A lock conflict or lock time-out: another transaction holds the rows.
    bool lockConflict() const;

private:
    QString text_;
    int sqlCode_;
};

// Stored date-times (measurement times, import times) are wall-clock values without a zone,
// as the meter and the database keep them. They are carried as QDateTime with the Qt::UTC
// spec holding those fields unchanged, so that no conversion to or from the local zone can
// move or invalidate them (a time in a daylight-saving gap has no local instant). Every
// value bound to a statement and every value read from one passes through here; readers
// take date() and time(), never toLocalTime().
QDateTime wallClock(const QDateTime &dateTime);
// A date-time value as wallClock() gives it; any other value unchanged.
QVariant wallClockValue(const QVariant &value);

// Points the Firebird client at the embedded engine folder "<programPath>firebird" so that
// databases open in-process. Must run before the client library is first used.
void useEmbeddedEngine(const QString &programPath);

// The one connection to the measurement database, opened in-process by the embedded engine.
//
// The Qt driver gives each query object outside an explicit transaction a transaction of its
// own that is committed only when the object dies. To keep "every statement commits on its own"
// true and visible at once, every statement here runs inside an explicit transaction that is
// committed right after it (or rolled back when it fails). A caller may group statements with
// Transaction; statements run inside it then commit together.
class Connection {
public:
    static constexpr const char *UserName = "sysdba";
    static constexpr const char *Password = "quillbarn";
    // How long a statement waits for rows that another transaction holds before it fails
    // with a lock conflict.
    static constexpr int LockTimeoutSeconds = 5;

    explicit Connection(const QString &name = QStringLiteral("FDConnection1"));
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setVendorLib(const QString &path) { vendorLib_ = path; }
    QString vendorLib() const { return vendorLib_; }
    void setDatabase(const QString &path) { database_ = path; }
    QString database() const { return database_; }

    void open();   // throws DatabaseError
    void close();
    bool isOpen() const;
    QSqlDatabase &db() { return db_; }

    // Runs a statement that returns no rows; gives the number of rows it changed.
    int execute(const QString &sql, const QVariantList &params = {});
    // Runs a statement of one parameter once for each value, all in one transaction (or in
    // the caller's), so that either every execution takes effect or none. Gives the number
    // of rows changed.
    int executeForEach(const QString &sql, const QVariantList &values);
    // Runs a select and gives all its rows, each a list of column values, plus the column names.
    struct Rows {
        QStringList columns;
        std::vector<QVariant> values; // row-major, columns.size() per row
        int rowCount() const { return columns.isEmpty() ? 0 : int(values.size() / columns.size()); }
    };
    Rows select(const QString &sql, const QVariantList &params = {});
    // Runs a select and hands over its rows as they are fetched, with no copy of the whole
    // result: `columns` once with the column names, then `row` for each row, whose values
    // `value(i)` gives. An exception thrown by either ends the select and passes on.
    using ValueFn = std::function<QVariant(int column)>;
    void selectEach(const QString &sql, const QVariantList &params,
                    const std::function<void(const QStringList &columns)> &columns,
                    const std::function<void(const ValueFn &value)> &row);

    // True while a Transaction groups the statements.
    bool inTransaction() const { return depth_ > 0; }
    // Changes with every transaction begun. The driver binds a prepared statement to the
    // transaction it was prepared in, so prepared statements are reused only within one.
    quint64 transactionSerial() const { return serial_; }

    // Busy indication while a command runs (the window installs a cursor change here).
    using BusyHandler = std::function<void(bool busy)>;
    static void setBusyHandler(BusyHandler handler);

    // Starts and ends one statement's transaction unless a Transaction is open.
    class Statement {
    public:
        explicit Statement(Connection &c);
        ~Statement();
        void commit();

    private:
        Connection &c_;
        bool own_ = false;
        bool done_ = false;
    };

    // Groups statements: committed by commit(), rolled back if left without it.
    class Transaction {
    public:
        explicit Transaction(Connection &c);
        ~Transaction();
        void commit();

    private:
        Connection &c_;
        bool done_ = false;
    };

private:
    friend class Statement;
    friend class Transaction;
    void begin();
    void commitNow();
    void rollbackNow();

    QString name_;
    QString vendorLib_;
    QString database_;
    QSqlDatabase db_;
    int depth_ = 0;
    quint64 serial_ = 0;
};

// The error to report when writing `tables` met another program's lock: names the tables
// and says that another program holds them; any other error unchanged.
DatabaseError explainLockConflict(const DatabaseError &error, const QString &tables);

// Raises DatabaseError with the text of a failed Qt SQL call.
[[noreturn]] void raise(const class QSqlError &error, const QString &context = {});

// Busy indication for the span of one database command.
class BusyScope {
public:
    BusyScope();
    ~BusyScope();
};

} // namespace arvex::store
