#include "chart/UnChart.h"

TWykresForm::TWykresForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("WykresForm"));
}
