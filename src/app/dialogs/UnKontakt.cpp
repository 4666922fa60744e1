#include "app/dialogs/UnKontakt.h"

TFormKontakt::TFormKontakt(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormKontakt"));
}
