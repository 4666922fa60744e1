#pragma once

#include <QDialog>

class TPytForm : public QDialog {
    Q_OBJECT
public:
    explicit TPytForm(QWidget *parent = nullptr);

    // Which question to ask: 1 deleting the marked records, 2 deleting an object with its records.
    int NumerKomunikatu = 0;
};
