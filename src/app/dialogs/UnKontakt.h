#pragma once

#include <QDialog>

class TFormKontakt : public QDialog {
    Q_OBJECT
public:
    explicit TFormKontakt(QWidget *parent = nullptr);
};
