#include "support/FileReaders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace readers {

ToolRun run(const QString &program, const QStringList &args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    ToolRun r;
    if (!p.waitForStarted(10000)) {
        r.err = p.errorString();
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString systemPython() { return QStringLiteral("/usr/bin/python3"); }

ToolRun python(const QString &code, const QStringList &args)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("script.py"));
    QFile f(script);
    f.open(QIODevice::WriteOnly);
    f.write(code.toUtf8());
    f.close();
    return run(systemPython(), QStringList{script} + args);
}

QJsonDocument xlrdRead(const QString &file, QString *error)
{
    static const char *code = R"PY(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
types = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number",
         xlrd.XL_CELL_DATE: "date", xlrd.XL_CELL_BOOLEAN: "bool", xlrd.XL_CELL_ERROR: "error",
         xlrd.XL_CELL_BLANK: "blank"}
out = {"sheets": []}
for sh in book.sheets():
    rows = []
    for r in range(sh.nrows):
        row = []
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            v = cell.value
            if cell.ctype == xlrd.XL_CELL_DATE:
                v = xlrd.xldate.xldate_as_datetime(v, book.datemode).strftime("%Y-%m-%dT%H:%M:%S")
            xf = book.xf_list[cell.xf_index]
            font = book.font_list[xf.font_index]
            b = xf.border
            row.append({"t": types.get(cell.ctype, "?"), "v": v, "bold": bool(font.bold),
                        "font": font.name, "border": [b.left_line_style, b.top_line_style,
                                                      b.right_line_style, b.bottom_line_style]})
        rows.append(row)
    out["sheets"].append({"name": sh.name, "rows": sh.nrows, "cols": sh.ncols, "cells": rows,
                          "merged": [list(m) for m in sh.merged_cells],
                          "gridlines": bool(sh.show_grid_lines)})
print(json.dumps(out))
)PY";
    const ToolRun r = python(QString::fromUtf8(code), {file});
    if (r.code != 0) {
        if (error)
            *error = r.err;
        return {};
    }
    return QJsonDocument::fromJson(r.out.toUtf8());
}

QStringList libreOfficeConvert(const QString &file, const QString &outDir, const QString &format, QString *error)
{
    // A profile of its own, so that a running office or another test cannot interfere.
    QTemporaryDir profile(QDir::tempPath() + QStringLiteral("/arvex-lo-XXXXXX"));
    QString target = format;
    if (format == QLatin1String("csv"))
        // separator ",", quote '"', UTF-8, start row 1, no column types, language en-US,
        // quote all text cells, detect special numbers off, values as stored, every sheet.
        target = QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,true,false,false,false,false,-1");
    const QStringList before = QDir(outDir).entryList(QDir::Files);
    const ToolRun r = run(QStringLiteral("soffice"),
                          {QStringLiteral("-env:UserInstallation=file://") + profile.path(), QStringLiteral("--headless"),
                           QStringLiteral("--norestore"), QStringLiteral("--convert-to"), target,
                           QStringLiteral("--outdir"), outDir, file},
                          180000);
    QStringList made;
    for (const QString &name : QDir(outDir).entryList(QDir::Files, QDir::Name))
        if (!before.contains(name))
            made << QDir(outDir).filePath(name);
    if (error && (r.code != 0 || made.isEmpty()))
        *error = QStringLiteral("soffice exit %1: %2 %3").arg(r.code).arg(r.out, r.err);
    return made;
}

Csv readCsv(const QString &file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    const QString text = QString::fromUtf8(f.readAll());
    Csv csv;
    QStringList row;
    QList<bool> q;
    QString cell;
    bool inQuotes = false, wasQuoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            wasQuoted = true;
        } else if (c == QLatin1Char(',')) {
            row << cell;
            q << wasQuoted;
            cell.clear();
            wasQuoted = false;
        } else if (c == QLatin1Char('\n')) {
            row << cell;
            q << wasQuoted;
            csv.rows << row;
            csv.quoted << q;
            row.clear();
            q.clear();
            cell.clear();
            wasQuoted = false;
        } else if (c != QLatin1Char('\r')) {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !row.isEmpty()) {
        row << cell;
        q << wasQuoted;
        csv.rows << row;
        csv.quoted << q;
    }
    return csv;
}

QString pdfText(const QString &file)
{
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")}).out;
}

QString pdfInfo(const QString &file) { return run(QStringLiteral("pdfinfo"), {file}).out; }

} // namespace readers
