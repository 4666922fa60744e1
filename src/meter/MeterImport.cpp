#include "meter/MeterImport.h"

#include "store/Connection.h"
#include "store/MainStore.h"
#include "store/StoredProc.h"

namespace arvex::meter {

MeterImport::MeterImport(store::Connection &connection, store::StoredProc &addObject, store::StoredProc &addResult)
    : connection_(connection), addObject_(addObject), addResult_(addResult)
{
}

int MeterImport::StoreObject(const ObjectRecord &object)
{
    addObject_.setParam(0, store::PhMeterDeviceKey);
    addObject_.setParam(1, object.number);
    addObject_.setParam(2, object.name);
    addObject_.setParam(3, QString(QLatin1String("")));
    addObject_.setParam(4, QString(QLatin1String("")));
    addObject_.setParam(5, 0);
    addObject_.execute();
    return addObject_.output().toInt();
}

bool MeterImport::StoreResult(int objectKey, const QByteArray &record)
{
    const std::optional<ResultRecord> r = DecodeResult(record);
    if (!r)
        return false;
    addResult_.setParam(0, objectKey);
    addResult_.setParam(1, r->measured);
    addResult_.setParam(2, double(r->ph));
    addResult_.setParam(3, double(r->temperature));
    addResult_.setParam(4, int(r->leading));
    addResult_.setParam(5, r->flag);
    addResult_.setParam(6, 0);
    addResult_.setParam(7, QString(QLatin1String("")));
    try {
        addResult_.execute();
    } catch (const store::DatabaseError &e) {
        // A result the database refuses for its values is skipped alone; a failure of the
        // database itself (disk full, I/O, lost connection, lock time-out) is not a fault of
        // this result and must not pass for one: it ends the import.
        if (e.refusedValues())
            return false;
        throw;
    }
    return true;
}

ImportOutcome MeterImport::ImportObjects(const QList<QByteArray> &objectRecords, const ExchangeFn &exchange,
                                         const ProgressFn &progress, const ReplyCheckFn &replyComplete)
{
    ImportOutcome outcome;
    const int count = int(objectRecords.size());
    for (int i = 0; i < count; ++i) {
        const ObjectRecord object = DecodeObject(objectRecords.at(i));
        const int key = StoreObject(object); // committed on its own before the meter is asked
        const QByteArray reply = exchange(ResultsCommand(object.number), 0);
        if (progress)
            progress(i, count);
        QList<QByteArray> results;
        if (!SplitRecords(reply, ResultRecordSize, &results))
            return outcome; // import error; everything stored so far stays
        // One object's results are committed together: a refused result is undone alone by
        // the database, the others of the object stay in the transaction. A failure of the
        // database rolls the whole object's results back, so that none of them is kept
        // half-stored, and passes on; the count is of what was committed.
        int stored = 0;
        try {
            store::Connection::Transaction batch(connection_);
            for (const QByteArray &rec : results)
                if (StoreResult(key, rec))
                    ++stored;
            if (replyComplete && !replyComplete())
                return outcome; // import error; the batch is rolled back
            batch.commit();
        } catch (const store::DatabaseError &e) {
            throw store::DatabaseError(
                QStringLiteral("The results of object %1 could not be stored; none of them was kept.\n%2")
                    .arg(object.number)
                    .arg(e.text()),
                e.sqlCode());
        }
        outcome.stored += stored;
    }
    outcome.completed = true;
    return outcome;
}

} // namespace arvex::meter
