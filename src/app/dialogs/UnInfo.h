#pragma once

#include "app/dialogs/SmallForm.h"

class QLabel;
class QPushButton;

// The information window: one message and OK. It has no translation client: it shows
// exactly the text it is given (callers pass texts already in the language in force).
class TInfoForm : public TSmallForm {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);

    QLabel *Label2 = nullptr;
    QPushButton *BitBtn1 = nullptr; // OK, the only control that closes the window

    // Shows nazwa (line breaks included) and waits until the user closes the window.
    void DlgShow(const QString &nazwa);
};
