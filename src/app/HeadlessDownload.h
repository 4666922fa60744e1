#pragma once

// The download without a window, for scripted and scheduled downloads: the same sequence as
// START, against the program folder's database, telling its steps and its closing message
// (in the stored interface language) on a text stream.

#include <QString>
#include <QStringList>

class QTextStream;

namespace arvex::app {

// Exit codes of the headless command.
enum HeadlessExit { ExitCompleted = 0, ExitUsage = 1, ExitNoDevice = 2, ExitImportError = 3 };

// Runs "arvex-ph-cli <arguments>" (program name first) with the program folder given;
// writes to out and err and gives the exit code.
int runHeadless(const QStringList &arguments, const QString &programFolder, QTextStream &out, QTextStream &err);

QString headlessHelp();

} // namespace arvex::app
