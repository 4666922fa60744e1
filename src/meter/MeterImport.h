#pragma once

#include "meter/MeterProtocol.h"

#include <QByteArray>
#include <QList>
#include <functional>

namespace arvex::store {
class Connection;
class StoredProc;
} // namespace arvex::store

namespace arvex::meter {

// Sends command bytes and gives the reply; expected length 0 means unknown.
using ExchangeFn = std::function<QByteArray(const QByteArray &command, int expectedLength)>;
// Called with the 0-based object index and the number of objects.
using ProgressFn = std::function<void(int index, int count)>;
// Asked before an object's stored results are committed: false when the reply they were
// decoded from turned out incomplete (see CheckedExchange); the object then keeps none.
using ReplyCheckFn = std::function<bool()>;

struct ImportOutcome {
    bool completed = false; // false: import error
    int stored = 0;         // results stored
};

// Stores what the meter sends through the two import procedures.
class MeterImport {
public:
    MeterImport(store::Connection &connection, store::StoredProc &addObject, store::StoredProc &addResult);

    // One call of P_UPDATEOBIEKT_TEMP; gives the object's key. Database errors pass on.
    int StoreObject(const ObjectRecord &object);
    // Decodes one result record and stores it under the object. False when the record does
    // not decode or the database refuses its values; any other database error passes on.
    bool StoreResult(int objectKey, const QByteArray &record);
    // Stores every object in reply order and asks the meter for each one's results.
    // A database error while storing an object passes on; one while storing its results
    // rolls back all of that object's results and passes on.
    ImportOutcome ImportObjects(const QList<QByteArray> &objectRecords, const ExchangeFn &exchange,
                                const ProgressFn &progress = {}, const ReplyCheckFn &replyComplete = {});

private:
    store::Connection &connection_;
    store::StoredProc &addObject_;
    store::StoredProc &addResult_;
};

} // namespace arvex::meter
