#include "app/dialogs/UEditMyName.h"

#include "lang/LangMan.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFormEditName::TFormEditName(QWidget *parent)
    : TSmallForm(parent, QStringLiteral("FormEditName"),
                 {QSize(410, 134), lightBlue(), maroon(), QColor(), 19, false, false, true})
{
    Label1 = new QLabel(QStringLiteral("Enter new name:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(24, 8, 361, 23);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(24, 34, 361, 31);

    BitBtn1 = glyphButton("BitBtn1", QStringLiteral("OK"), "ok", QRect(24, 80, 170, 40));
    BitBtn2 = glyphButton("BitBtn2", QStringLiteral("Cancel"), "cancel", QRect(215, 80, 170, 40));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(mrCancel); });
    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    // Key preview: the window sees the keys of its controls before they do.
    for (QWidget *w : {static_cast<QWidget *>(Edit1), static_cast<QWidget *>(BitBtn1), static_cast<QWidget *>(BitBtn2)})
        w->installEventFilter(this);

    LangManClient1 = new arvex::lang::TLangManClient(this);
    LangManClient1->add(Label1);
    LangManClient1->add(BitBtn1);
    LangManClient1->add(BitBtn2);
}

bool TFormEditName::FormKeyDown(int key)
{
    if (key == Qt::Key_Escape) {
        done(mrCancel);
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        done(mrOk);
        return true;
    }
    return false;
}

bool TFormEditName::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && FormKeyDown(static_cast<QKeyEvent *>(event)->key()))
        return true;
    return TSmallForm::eventFilter(watched, event);
}

void TFormEditName::keyPressEvent(QKeyEvent *event)
{
    if (!FormKeyDown(event->key()))
        TSmallForm::keyPressEvent(event);
}

void TFormEditName::showEvent(QShowEvent *event)
{
    TSmallForm::showEvent(event);
    Edit1->setFocus();
}
