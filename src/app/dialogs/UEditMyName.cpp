#include "app/dialogs/UEditMyName.h"

#include <QLineEdit>

TFormEditName::TFormEditName(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormEditName"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
}
