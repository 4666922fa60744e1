#pragma once

#include <QDialog>

class TPytForm : public QDialog {
    Q_OBJECT
public:
    explicit TPytForm(QWidget *parent = nullptr);
};
