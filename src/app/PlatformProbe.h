#pragma once

#include <QString>

namespace arvex::app {

// Whether a spreadsheet program is installed. On Windows: whether the class key
// (e.g. "Excel.Application\CurVer") opens for reading under HKEY_CLASSES_ROOT. Elsewhere:
// whether a desktop application under the XDG data folders declares the MIME type.
bool isExcelRegistered();    // application/vnd.ms-excel  ("Excel.Application\CurVer")
bool isOpenOfficeRegistered(); // application/vnd.oasis.opendocument.spreadsheet ("soffice.StarCalcDocument\CurVer")

bool desktopApplicationHandles(const QString &mimeType);

} // namespace arvex::app
