#pragma once

#include <QByteArray>
#include <QString>

namespace arvex::meter {

// The 8-bit code page in which single-byte texts cross the program's edge (meter names,
// serial and firmware texts, the semicolon text export): on Windows the system's ANSI code
// page; elsewhere the Windows code page of the user's locale language.
QByteArray ansiCodePageName();                       // e.g. "CP1250"
QByteArray ansiCodePageForLanguage(const QString &isoLanguage); // "pl" -> "CP1250"
QString fromAnsi(const QByteArray &bytes);
QByteArray toAnsi(const QString &text);
// Overrides the code page (tests, or a user who needs another); empty restores the default.
void setAnsiCodePage(const QByteArray &name);

} // namespace arvex::meter
