#include "store/StoredProc.h"

#include <QSqlError>

namespace arvex::store {

StoredProc::StoredProc(Connection &connection, const QString &procedure, int inputCount, bool hasOutput)
    : connection_(connection), procedure_(procedure), hasOutput_(hasOutput)
{
    for (int i = 0; i < inputCount; ++i)
        params_.append(QVariant());
}

StoredProc::~StoredProc() = default;

void StoredProc::setParam(int position, const QVariant &value)
{
    if (position < 0 || position >= params_.size())
        throw DatabaseError(QStringLiteral("%1: parameter %2 out of range").arg(procedure_).arg(position));
    params_[position] = value;
}

void StoredProc::unprepare() { query_.reset(); }

void StoredProc::execute()
{
    try {
        run();
    } catch (const DatabaseError &e) {
        throw explainLockConflict(e, writes_);
    }
}

void StoredProc::run()
{
    BusyScope busy;
    Connection::Statement st(connection_);
    if (!query_ || preparedIn_ != connection_.transactionSerial()) {
        query_.reset();
        QStringList marks;
        for (int i = 0; i < params_.size(); ++i)
            marks << QStringLiteral("?");
        query_ = std::make_unique<QSqlQuery>(connection_.db());
        if (!query_->prepare(QStringLiteral("execute procedure %1 %2").arg(procedure_, marks.join(QLatin1Char(','))))) {
            const QSqlError e = query_->lastError();
            query_.reset();
            raise(e);
        }
        preparedIn_ = connection_.transactionSerial();
    }
    for (int i = 0; i < params_.size(); ++i)
        query_->bindValue(i, wallClockValue(params_.at(i)));
    if (!query_->exec())
        raise(query_->lastError());
    output_ = QVariant();
    if (hasOutput_ && query_->next())
        output_ = wallClockValue(query_->value(0));
    query_->finish();
    st.commit();
}

} // namespace arvex::store
