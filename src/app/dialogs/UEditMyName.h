#pragma once

#include <QDialog>

class QLineEdit;

class TFormEditName : public QDialog {
    Q_OBJECT
public:
    explicit TFormEditName(QWidget *parent = nullptr);

    QLineEdit *Edit1 = nullptr; // the name being edited
};
