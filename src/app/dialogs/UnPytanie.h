#pragma once

#include "app/dialogs/SmallForm.h"

class QLabel;
class QPushButton;

namespace arvex::lang {
class TLangManClient;
}

// The confirmation window asked before a deletion. The caller sets NumerKomunikatu and shows
// the window modally: 1 OK, 2 Cancel. OK has the focus when the window opens, so Enter
// answers OK right after opening; Cancel is the default and the cancel button, so Escape
// always answers Cancel.
class TPytForm : public TSmallForm {
    Q_OBJECT
public:
    explicit TPytForm(QWidget *parent = nullptr);

    // Which question to ask: 1 deleting the marked records, 2 deleting an object with its records.
    int NumerKomunikatu = 0;

    QLabel *Label1 = nullptr; // question 1
    QLabel *Label2 = nullptr; // question 2
    QPushButton *BitBtn1 = nullptr; // OK
    QPushButton *BitBtn2 = nullptr; // Cancel

    arvex::lang::TLangManClient *LangManClient1 = nullptr;

    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;
};
