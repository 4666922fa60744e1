#pragma once

#include <QDialog>

class TProgresForm : public QDialog {
    Q_OBJECT
public:
    explicit TProgresForm(QWidget *parent = nullptr);
};
