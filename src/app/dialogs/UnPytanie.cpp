#include "app/dialogs/UnPytanie.h"

TPytForm::TPytForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PytForm"));
}
