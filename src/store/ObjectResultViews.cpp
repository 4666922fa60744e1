#include "store/ObjectResultViews.h"

#include <QDebug>
#include <QScopeGuard>
#include <utility>

namespace arvex::store {

namespace {
const QString ObjectsBase = QStringLiteral(" select * from OBIEKTY where IDDEV = :IDdev");
const QString ResultsBase = QStringLiteral("select * from WYNIKI where IDOB = :IDobj");

// Re-reads a view with a new select text; the remembered order changes only when it opens.
void reread(Dataset &view, const QString &sql, const QVariant &key, QString &remembered, const QString &sort)
{
    view.close();
    view.clearSql();
    view.addSql(sql);
    view.setParam(0, key);
    view.open();
    remembered = sort;
}
} // namespace

ObjectResultViews::ObjectResultViews(MainStore &store, QObject *parent)
    : ObjectResultViews(store, State{own_.objectsSort, own_.resultsSort, own_.selectObjects, own_.selectResults},
                        parent)
{
}

ObjectResultViews::ObjectResultViews(MainStore &store, State state, QObject *parent)
    : QObject(parent), store_(store), state_(state)
{
    connect(&store_.FDQObiekty, &Dataset::currentRowChanged, this, &ObjectResultViews::objectRowChanged);
}

QString ObjectResultViews::objectsSql(const QString &sort)
{
    return sort.isEmpty() ? ObjectsBase : ObjectsBase + QStringLiteral(" order by ") + sort;
}

QString ObjectResultViews::resultsSql(const QString &sort)
{
    return sort.isEmpty() ? ResultsBase : ResultsBase + QStringLiteral(" order by ") + sort;
}

void ObjectResultViews::refreshObjects(const QString &sort)
{
    const QString s = sort.isEmpty() ? state_.objectsSort : sort;
    {
        // Opening moves to the first row; the results are read once, below, not also by the
        // row-change rule.
        const bool wasReading = std::exchange(readingObjects_, true);
        const auto restore = qScopeGuard([this, wasReading] { readingObjects_ = wasReading; });
        reread(objects(), objectsSql(s), store_.currentDeviceKey(), state_.objectsSort, s);
    }
    emit objectsRefreshed();
    refreshResults();
}

void ObjectResultViews::refreshResults(const QString &sort)
{
    const QString s = sort.isEmpty() ? state_.resultsSort : sort;
    const int object = objects().fieldValue(QStringLiteral("IDOB")).toInt(); // 0 without a current row
    reread(results(), resultsSql(s), object, state_.resultsSort, s);
    emit resultsRefreshed();
}

void ObjectResultViews::objectRowChanged()
{
    if (readingObjects_)
        return;
    try {
        refreshResults();
    } catch (const DatabaseError &e) {
        if (errorHandler_)
            errorHandler_(e.text());
        else
            qWarning().noquote() << e.text();
    }
}

bool ObjectResultViews::sortObjects(const QString &field, bool ascending)
{
    if (field.compare(QLatin1String(ObjectMarkField), Qt::CaseInsensitive) == 0)
        return false;
    refreshObjects(field + (ascending ? QStringLiteral(" asc ") : QStringLiteral(" desc ")));
    return true;
}

bool ObjectResultViews::sortResults(const QString &field, bool ascending)
{
    if (field.compare(QLatin1String(ResultMarkField), Qt::CaseInsensitive) == 0)
        return false;
    refreshResults(field + (ascending ? QStringLiteral(" asc ") : QStringLiteral(" desc ")));
    return true;
}

void ObjectResultViews::selectAllObjects()
{
    StoredProc &p = store_.FDSP_SelectObj;
    p.setParam(0, store_.currentDeviceKey());
    p.setParam(1, state_.selectObjects ? 1 : 0);
    p.execute();
    refreshObjects();
    state_.selectObjects = !state_.selectObjects;
}

void ObjectResultViews::selectAllResults()
{
    StoredProc &p = store_.FDSP_SelectWyn;
    p.setParam(0, results().fieldValue(QStringLiteral("IDOB")).toInt()); // 0 on an empty view
    p.setParam(1, state_.selectResults ? 1 : 0);
    p.execute();
    refreshResults();
    state_.selectResults = !state_.selectResults;
}

bool ObjectResultViews::toggleMark(Dataset &view, const char *field)
{
    if (!view.isActive() || view.eof())
        return false;
    const QString name = QLatin1String(field);
    view.edit();
    try {
        view.setFieldValue(name, 1 - view.fieldValue(name).toInt()); // empty counts as 0
        view.post();
    } catch (...) {
        view.cancel();
        throw;
    }
    return true;
}

bool ObjectResultViews::toggleObjectMark() { return toggleMark(objects(), ObjectMarkField); }
bool ObjectResultViews::toggleResultMark() { return toggleMark(results(), ResultMarkField); }

void ObjectResultViews::markByDate(const QDate &from, const QDate &to)
{
    StoredProc &p = store_.FDSP_Markdate;
    p.setParam(0, from);
    p.setParam(1, to.addDays(1));
    p.execute();
    refreshObjects();
}

int ObjectResultViews::deleteMarkedResults()
{
    Dataset &view = results();
    if (!view.isActive())
        return 0;
    const int mark = view.fieldIndex(QLatin1String(ResultMarkField));
    const int removed = view.deleteRows([&view, mark](int row) { return view.value(row, mark).toInt() > 0; });
    view.setCurrentRow(view.rowCount() - 1); // the walk over the rows ends on the last one
    return removed;
}

bool ObjectResultViews::hasCurrentObject() const { return objects().isActive() && !objects().eof(); }

bool ObjectResultViews::deleteObject()
{
    if (!hasCurrentObject())
        return false;
    // The object and every result the database holds for it go in one transaction, also
    // results stored since the view was read (by another process) or missing from a view
    // left closed by a failed read: nothing would remove them later. When the database
    // refuses any row, nothing is deleted and the views show again what it holds.
    const QVariant key = objects().fieldValue(QStringLiteral("IDOB"));
    Connection &c = store_.FDConnection1;
    try {
        Connection::Transaction t(c);
        try {
            c.execute(QStringLiteral("delete from WYNIKI where IDOB = ?"), {key});
        } catch (const DatabaseError &e) {
            throw explainLockConflict(e, QStringLiteral("WYNIKI"));
        }
        // The next object becomes current and the row-change rule shows its results.
        objects().deleteCurrent();
        t.commit();
    } catch (...) {
        try {
            refreshObjects();
            objects().locate(QStringLiteral("IDOB"), key);
        } catch (const DatabaseError &) {
            // The first error is the one to report.
        }
        throw;
    }
    return true;
}

QString ObjectResultViews::currentObjectName() const
{
    return hasCurrentObject() ? objects().fieldValue(QStringLiteral("NAZWA_LONG")).toString() : QString();
}

bool ObjectResultViews::renameObject(const QString &name)
{
    if (!hasCurrentObject())
        return false;
    Dataset &view = objects();
    view.edit();
    try {
        view.setFieldValue(QStringLiteral("NAZWA_LONG"), name);
        view.post();
    } catch (...) {
        view.cancel();
        throw;
    }
    return true;
}

} // namespace arvex::store
