#include "app/dialogs/UnPytanie.h"

#include "lang/LangMan.h"

#include <QLabel>
#include <QPushButton>

TPytForm::TPytForm(QWidget *parent)
    : TSmallForm(parent, QStringLiteral("PytForm"),
                 {QSize(376, 132), lightBlue(), maroon(), QColor(), 19, false, true, true})
{
    auto question = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(20, 16, 336, 46);
        l->setAlignment(Qt::AlignCenter);
        l->hide();
        return l;
    };
    Label1 = question("Label1", QStringLiteral("Deleting records.\nAre you sure?"));
    Label2 = question("Label2", QStringLiteral("Deleting an object and its records.\nAre you sure?"));

    BitBtn1 = glyphButton("BitBtn1", QStringLiteral("OK"), "ok", QRect(20, 78, 160, 40));
    BitBtn2 = glyphButton("BitBtn2", QStringLiteral("Cancel"), "cancel", QRect(196, 78, 160, 40));
    BitBtn2->setDefault(true);
    setTabOrder(BitBtn1, BitBtn2);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(mrCancel); });

    LangManClient1 = new arvex::lang::TLangManClient(this);
    for (QLabel *l : {Label1, Label2})
        LangManClient1->add(l);
    LangManClient1->add(BitBtn1);
    LangManClient1->add(BitBtn2);
}

void TPytForm::showEvent(QShowEvent *event)
{
    FormShow();
    TSmallForm::showEvent(event);
}

void TPytForm::FormShow()
{
    Label1->hide();
    Label2->hide();
    if (NumerKomunikatu == 1)
        Label1->show();
    else if (NumerKomunikatu == 2)
        Label2->show();
    BitBtn1->setFocus();
}
