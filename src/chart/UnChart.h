#pragma once

#include <QDialog>

// The chart window of one object's marked results.
class TWykresForm : public QDialog {
    Q_OBJECT
public:
    explicit TWykresForm(QWidget *parent = nullptr);
};
