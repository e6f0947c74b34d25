// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QWidget>

class QLabel;

// A small window of notes on using the program.
class frmNotes : public QWidget
{
    Q_OBJECT
public:
    explicit frmNotes(QWidget* parent = nullptr);
    QLabel* Label1;

protected:
    void showEvent(QShowEvent* event) override;
};
