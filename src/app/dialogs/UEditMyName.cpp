#include "app/dialogs/UEditMyName.h"

TFormEditName::TFormEditName(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormEditName"));
}
