#include "app/dialogs/UnInfo.h"

TInfoForm::TInfoForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InfoForm"));
}
