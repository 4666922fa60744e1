#pragma once
// Independent readers of the files the program writes for other programs, run as separate
// processes: poppler-utils for PDF, python3-xlrd for .xls, Python's zipfile for the package
// layout, LibreOffice headless (converting to CSV or PDF) for .xls and .ods.

#include <QJsonDocument>
#include <QString>
#include <QStringList>

namespace readers {

struct ToolRun {
    int code = -1;
    QString out;
    QString err;
};

// Runs a program with a timeout (ms); code -1 when it did not end normally.
ToolRun run(const QString &program, const QStringList &args, int timeoutMs = 120000);

// The Python of the Debian system (it has python3-xlrd), not a user's own interpreter.
QString systemPython();

// xlrd's view of a workbook: {"sheets": [{"name", "rows", "cols", "cells": [[{"t": "text"|
// "number"|"date"|"empty"|..., "v": value, "bold": bool}...]...], "merged": [[r0, r1, c0, c1]...]}]}
// with dates as "yyyy-mm-ddThh:mm:ss". Empty on failure (the reason in *error).
QJsonDocument xlrdRead(const QString &file, QString *error = nullptr);

// Runs Python code given on standard input with the file as its argument; gives standard output.
ToolRun python(const QString &code, const QStringList &args);

// LibreOffice headless conversion into outDir ("csv" writes every sheet to a file of its own,
// UTF-8, values unformatted); gives the files made.
QStringList libreOfficeConvert(const QString &file, const QString &outDir, const QString &format,
                               QString *error = nullptr);

// A CSV file of LibreOffice, parsed: rows of cells; quoted[i][j] tells a cell written in quotes.
struct Csv {
    QList<QStringList> rows;
    QList<QList<bool>> quoted;
};
Csv readCsv(const QString &file);

// pdftotext -layout of the whole file, and pdfinfo's "Key: value" lines.
QString pdfText(const QString &file);
QString pdfInfo(const QString &file);

} // namespace readers
