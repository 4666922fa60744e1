#pragma once

#include "app/dialogs/SmallForm.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace arvex::lang {
class TLangManClient;
}

// The name editor. The caller places it (its top-left corner, in screen pixels), fills
// Edit1, shows it modally and on 1 reads Edit1. The window sees every key first: Enter
// answers 1 and Escape 2, also while the edit box has the focus.
class TFormEditName : public TSmallForm {
    Q_OBJECT
public:
    explicit TFormEditName(QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr; // the name being edited
    QPushButton *BitBtn1 = nullptr; // OK
    QPushButton *BitBtn2 = nullptr; // Cancel

    arvex::lang::TLangManClient *LangManClient1 = nullptr;

    // Key preview: 27 (Escape) gives 2, 13 (Enter) gives 1; other keys pass on.
    bool FormKeyDown(int key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
