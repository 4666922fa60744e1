#pragma once

#include <QDialog>

class TInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);
};
