#include "app/dialogs/UnProgres.h"

TProgresForm::TProgresForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ProgresForm"));
}
