#include "store/Connection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace arvex::store {

namespace {
Connection::BusyHandler &busyHandler()
{
    static Connection::BusyHandler handler;
    return handler;
}
int busyDepth = 0;
} // namespace

void useEmbeddedEngine(const QString &programPath)
{
    const QString dir = QDir(programPath).filePath(QStringLiteral("firebird"));
    if (QFileInfo::exists(dir + QStringLiteral("/firebird.conf")))
        qputenv("FIREBIRD", QDir::toNativeSeparators(dir).toLocal8Bit());
}

void raise(const QSqlError &error, const QString &context)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("Unknown database error");
    if (!context.isEmpty() && !text.contains(context))
        text = context + QStringLiteral(": ") + text;
    throw DatabaseError(text);
}

void Connection::setBusyHandler(BusyHandler handler) { busyHandler() = std::move(handler); }

BusyScope::BusyScope()
{
    if (busyDepth++ == 0 && busyHandler())
        busyHandler()(true);
}

BusyScope::~BusyScope()
{
    if (--busyDepth == 0 && busyHandler())
        busyHandler()(false);
}

Connection::Connection(const QString &name)
    : name_(name + QStringLiteral("-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Connection::~Connection()
{
    close();
    db_ = QSqlDatabase();
    if (QSqlDatabase::contains(name_))
        QSqlDatabase::removeDatabase(name_);
}

namespace {
// Every timestamp read is turned into a local date and time. With TZ unset, the C library
// looks at /etc/localtime again on every such conversion (a stat call each), which made that
// lookup the larger part of reading a view of many results. Naming the same zone file in TZ
// lets it reuse what it loaded; the zone in force does not change.
void keepTimeZoneLoaded()
{
#ifdef Q_OS_LINUX
    static const bool done = [] {
        if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QStringLiteral("/etc/localtime")))
            return false;
        qputenv("TZ", ":/etc/localtime");
        return true;
    }();
    Q_UNUSED(done);
#endif
}
} // namespace

void Connection::open()
{
    keepTimeZoneLoaded();
    close();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QIBASE")))
        throw DatabaseError(QStringLiteral("The Firebird database driver (QIBASE) is not installed."));
    if (!QSqlDatabase::contains(name_))
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), name_);
    else
        db_ = QSqlDatabase::database(name_, false);
    db_.setHostName(QString());
    db_.setDatabaseName(database_);
    db_.setUserName(QString::fromLatin1(UserName));
    db_.setPassword(QString::fromLatin1(Password));
    db_.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
    BusyScope busy;
    if (!db_.open())
        raise(db_.lastError());
}

void Connection::close()
{
    if (db_.isValid() && db_.isOpen()) {
        while (depth_ > 0) {
            depth_ = 0;
            db_.rollback();
        }
        db_.close();
    }
}

bool Connection::isOpen() const { return db_.isValid() && db_.isOpen(); }

void Connection::begin()
{
    if (!isOpen())
        throw DatabaseError(QStringLiteral("The database is not open."));
    if (!db_.transaction())
        raise(db_.lastError());
    ++serial_;
}

void Connection::commitNow()
{
    if (!db_.commit()) {
        const QSqlError e = db_.lastError();
        db_.rollback();
        raise(e);
    }
}

void Connection::rollbackNow() { db_.rollback(); }

Connection::Statement::Statement(Connection &c) : c_(c)
{
    if (c_.depth_ == 0) {
        c_.begin();
        own_ = true;
        c_.depth_ = 1;
    }
}

Connection::Statement::~Statement()
{
    if (own_ && !done_) {
        c_.depth_ = 0;
        c_.rollbackNow();
    }
}

void Connection::Statement::commit()
{
    if (own_ && !done_) {
        done_ = true;
        c_.depth_ = 0;
        c_.commitNow();
    }
}

Connection::Transaction::Transaction(Connection &c) : c_(c)
{
    if (c_.depth_ > 0)
        throw DatabaseError(QStringLiteral("A transaction is already open."));
    c_.begin();
    c_.depth_ = 1;
}

Connection::Transaction::~Transaction()
{
    if (!done_) {
        c_.depth_ = 0;
        c_.rollbackNow();
    }
}

void Connection::Transaction::commit()
{
    if (!done_) {
        done_ = true;
        c_.depth_ = 0;
        c_.commitNow();
    }
}

namespace {
void bindAll(QSqlQuery &q, const QVariantList &params)
{
    for (int i = 0; i < params.size(); ++i)
        q.bindValue(i, params.at(i));
}
} // namespace

int Connection::execute(const QString &sql, const QVariantList &params)
{
    BusyScope busy;
    Statement st(*this);
    int affected = 0;
    {
        QSqlQuery q(db_);
        if (!q.prepare(sql))
            raise(q.lastError());
        bindAll(q, params);
        if (!q.exec())
            raise(q.lastError());
        affected = q.numRowsAffected();
    }
    st.commit();
    return affected;
}

Connection::Rows Connection::select(const QString &sql, const QVariantList &params)
{
    Rows rows;
    int n = 0;
    selectEach(
        sql, params,
        [&](const QStringList &columns) {
            rows.columns = columns;
            n = int(columns.size());
        },
        [&](const ValueFn &value) {
            for (int i = 0; i < n; ++i)
                rows.values.push_back(value(i));
        });
    return rows;
}

void Connection::selectEach(const QString &sql, const QVariantList &params,
                            const std::function<void(const QStringList &columns)> &columns,
                            const std::function<void(const ValueFn &value)> &row)
{
    BusyScope busy;
    Statement st(*this);
    {
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            raise(q.lastError());
        bindAll(q, params);
        if (!q.exec())
            raise(q.lastError());
        const QSqlRecord rec = q.record();
        QStringList names;
        for (int i = 0; i < rec.count(); ++i)
            names << rec.fieldName(i);
        columns(names);
        const ValueFn value = [&q](int column) { return q.value(column); };
        while (q.next())
            row(value);
        if (q.lastError().isValid())
            raise(q.lastError());
    }
    st.commit();
}

} // namespace arvex::store
