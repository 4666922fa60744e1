#include "app/dialogs/UnInfo.h"

#include <QLabel>
#include <QPushButton>

TInfoForm::TInfoForm(QWidget *parent)
    : TSmallForm(parent, QStringLiteral("InfoForm"),
                 {QSize(341, 172), lightBlue(), maroon(), QColor(), 19, false, true, false})
{
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(23, 8, 298, 105);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(false);
    Label2->setTextFormat(Qt::PlainText);

    BitBtn1 = glyphButton("BitBtn1", QStringLiteral("OK"), "ok", QRect(110, 120, 120, 40));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(mrOk); });
}

void TInfoForm::DlgShow(const QString &nazwa)
{
    Label2->setText(nazwa);
    BitBtn1->setFocus();
    exec();
}
