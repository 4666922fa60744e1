#pragma once

#include "store/Connection.h"

#include <QSqlQuery>
#include <QVariant>
#include <memory>

namespace arvex::store {

// An executable stored procedure called with positional input parameters and at most one
// output parameter. The statement is prepared once per transaction and reused within it, so
// repeated calls inside one transaction (the results of one imported object) cost only the
// execution.
class StoredProc {
public:
    StoredProc(Connection &connection, const QString &procedure, int inputCount, bool hasOutput);
    ~StoredProc();

    QString procedureName() const { return procedure_; }
    // The tables the procedure writes, named when another program's lock stops it.
    void setWrites(const QString &tables) { writes_ = tables; }
    int inputCount() const { return int(params_.size()); }
    void setParam(int position, const QVariant &value);
    QVariant param(int position) const { return params_.value(position); }

    // Runs the procedure (in its own transaction unless the connection groups statements).
    void execute(); // throws DatabaseError
    QVariant output() const { return output_; }

    // Forgets the prepared statement (after the connection was closed or reopened).
    void unprepare();

private:
    void run();

    Connection &connection_;
    QString procedure_;
    QString writes_;
    QVariantList params_;
    bool hasOutput_;
    QVariant output_;
    std::unique_ptr<QSqlQuery> query_;
    quint64 preparedIn_ = 0;
};

} // namespace arvex::store
