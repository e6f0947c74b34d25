// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The agreement shown on the first start; the program runs only once it is accepted.
class frmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit frmLogin(QWidget* parent = nullptr);

    bool accepted = false;

    QPlainTextEdit* txtUserName;
    QLabel* lblLabels;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    void reject() override; // Escape and closing the window decline
};
