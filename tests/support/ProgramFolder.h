#pragma once

#include <QString>
#include <QTemporaryDir>

// A program folder of its own for a test: the program, the headless command and the
// window's files (engine folder, language files) of the build's program folder, and a fresh
// copy of the built database.
class ProgramFolder {
public:
    ProgramFolder();
    QString path() const { return dir_.path(); }
    QString database() const { return dir_.filePath(QStringLiteral("ARVEXBASE.fb")); }
    QString cli() const { return dir_.filePath(QStringLiteral("arvex-ph-cli")); }
    QString program() const { return dir_.filePath(QStringLiteral("arvex-ph")); }
    QString file(const QString &name) const { return dir_.filePath(name); }
    // isql-fb on the folder's database; gives what it printed.
    QString isql(const QString &sql) const;
    long long isqlValue(const QString &sql) const;

private:
    QTemporaryDir dir_;
};
