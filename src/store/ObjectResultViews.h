#pragma once

#include "store/MainStore.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <functional>

namespace arvex::store {

// The two linked views of the main window: the objects of the current device (FDQObiekty)
// and the results of the current object (FDQWyniki). Builds their select texts, remembers
// the sort order of each, keeps the results following the current object, and carries out
// marking, select-all, naming and deletion on them. Holds no window: the grids and buttons
// only call into it.
//
// The remembered sort texts and the two select-all toggles live where the caller keeps them
// (the main window's LastSortString, FlSelect_OT and FlSelect_WT); a set made without them
// keeps its own.
class ObjectResultViews : public QObject {
    Q_OBJECT
public:
    struct State {
        QString &objectsSort;  // body of the objects' ORDER BY, e.g. "NAZWA_LONG asc "
        QString &resultsSort;  // body of the results' ORDER BY
        bool &selectObjects;   // SELE of the next select-all on objects
        bool &selectResults;   // SELE of the next select-all on results
    };

    explicit ObjectResultViews(MainStore &store, QObject *parent = nullptr);
    ObjectResultViews(MainStore &store, State state, QObject *parent = nullptr);

    static QString objectsSql(const QString &sort);
    static QString resultsSql(const QString &sort);
    static constexpr const char *ObjectMarkField = "REZI2";
    static constexpr const char *ResultMarkField = "REZI1";

    MainStore &store() const { return store_; }
    Dataset &objects() const { return store_.FDQObiekty; }
    Dataset &results() const { return store_.FDQWyniki; }
    QString objectsSort() const { return state_.objectsSort; }
    QString resultsSort() const { return state_.resultsSort; }
    bool nextSelectObjects() const { return state_.selectObjects; }
    bool nextSelectResults() const { return state_.selectResults; }

    // Re-reads the objects of the current device, then the results of the first object.
    // An empty sort text keeps the remembered one. Throws DatabaseError; when the view
    // cannot be opened it stays closed and the remembered order is kept.
    void refreshObjects(const QString &sort = QString());
    // Re-reads the results of the objects view's current object (key 0 when there is none).
    void refreshResults(const QString &sort = QString());

    // A title click asking to sort by a field: false when the field is the view's mark
    // field (nothing is read), otherwise the view is re-read in that order and true returned.
    bool sortObjects(const QString &field, bool ascending);
    bool sortResults(const QString &field, bool ascending);

    // Select-all on a mark column: passes the toggle to the procedure, re-reads, inverts it.
    void selectAllObjects();
    void selectAllResults();

    // Flips the mark of the current row and writes it back; false when there is no row.
    bool toggleObjectMark();
    bool toggleResultMark();

    // Marks the results measured from the start of `from` up to the end of `to`, then
    // re-reads both views.
    void markByDate(const QDate &from, const QDate &to);

    // Deletes every marked result of the results view, all or none; gives how many went.
    int deleteMarkedResults();
    // Deletes every result of the current object and then the object, all or none; false
    // when the objects view has no current row (nothing is touched).
    bool deleteObject();

    bool hasCurrentObject() const;
    QString currentObjectName() const; // NAZWA_LONG of the current object
    // Writes the user's name of the current object, cut to the column width; false when
    // there is no current object.
    bool renameObject(const QString &name);

    // Where errors of the row-change rule go (it runs from a signal, so nothing above it
    // could catch them). Unset: a warning on the debug output.
    void setErrorHandler(std::function<void(const QString &)> handler) { errorHandler_ = std::move(handler); }

signals:
    // After each successful re-read of a view.
    void objectsRefreshed();
    void resultsRefreshed();

private:
    void objectRowChanged();
    bool toggleMark(Dataset &view, const char *field);

    MainStore &store_;
    struct Own {
        QString objectsSort, resultsSort;
        bool selectObjects = false, selectResults = false;
    } own_;
    State state_;
    bool readingObjects_ = false;
    std::function<void(const QString &)> errorHandler_;
};

} // namespace arvex::store
