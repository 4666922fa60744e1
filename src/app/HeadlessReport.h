#pragma once

// Reports without the window, for scheduled reports beside the scheduled download:
// "arvex-ph-cli report --pdf FILE" and "arvex-ph-cli export FILE" prepare the report of the
// marked objects from the template of the stored interface language, on the program folder's
// database (the window may hold it open meanwhile), and write the file.

#include <QString>
#include <QStringList>

class QTextStream;

namespace arvex::app {

// Exit codes beside those of the download (HeadlessDownload.h).
enum HeadlessReportExit { ReportWritten = 0, ReportFailed = 1, ReportNothingMarked = 4 };

// True when the command line asks for "report" or "export".
bool isHeadlessReportCommand(const QStringList &arguments);
// The same on main()'s arguments; also true for "--help" alone, which tells every command.
bool isHeadlessReportCommand(int argc, char *argv[]);
// main() of those commands: its own application object (fonts and painting need one).
int headlessReportMain(int argc, char *argv[]);
// Runs "arvex-ph-cli report|export ..." (program name first) with the program folder given.
int runHeadlessReport(const QStringList &arguments, const QString &programFolder, QTextStream &out, QTextStream &err);

QString headlessReportHelp();

} // namespace arvex::app
