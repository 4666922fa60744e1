#pragma once

#include <QString>
#include <QTemporaryDir>

// isql-fb on a database file: what it printed, and the single integer a select of one value
// prints. Both throw std::runtime_error when isql-fb reports "Statement failed", does not end
// within 60 s, or (isqlNumber) prints anything but one integer.
QString runIsql(const QString &database, const QString &sql);
long long isqlNumber(const QString &database, const QString &sql);

// A fresh copy of the database the build made, in a folder of its own that is removed at
// the end, beside a link to the build's embedded engine folder (so that the folder serves as
// a program folder); the embedded engine of the build's program folder is used.
class TestDatabase {
public:
    TestDatabase();
    QString path() const { return path_; }
    QString folder() const { return dir_.path(); }
    // Runs SQL through isql-fb against the copy and gives what it printed (stdout + stderr).
    QString isql(const QString &sql) const;
    // The single integer a select of one value prints through isql-fb.
    long long isqlValue(const QString &sql) const;

    static void useBuildEngine();
    static QString appDir() { return QStringLiteral(ARVEX_APP_DIR); }

private:
    QTemporaryDir dir_;
    QString path_;
};
