#pragma once

#include <QDialog>

class TFormEditName : public QDialog {
    Q_OBJECT
public:
    explicit TFormEditName(QWidget *parent = nullptr);
};
