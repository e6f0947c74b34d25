// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;

namespace platform {

// The dialling location of the SIP line: a prefix put in front of every plain number dialled
// (an outside-line digit, a country code). OK refuses anything but digits, "*", "#" and "+".
class SipLocationDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SipLocationDialog(const QString& prefix, QWidget* parent = nullptr);

    QString prefix() const;
    void accept() override;

    QLineEdit* prefixEdit;
    QLabel* messageLabel;
};

} // namespace platform
