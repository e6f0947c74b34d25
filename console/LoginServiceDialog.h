// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "console/LoginService.h"

#include <QDialog>
#include <array>

class QLabel;
class QLineEdit;
class QDialogButtonBox;
namespace platform {
class SettingsStore;
}

// Where the user enters the web service's address and the six key pairs agreed with it.
// OK checks every field, warns once about a plain http:// address that leaves this machine,
// and stores the service; Saved() then carries it. Shown with open(), never waited for.
class LoginServiceDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LoginServiceDialog(platform::SettingsStore& store, QWidget* parent = nullptr);

    QLineEdit* baseEdit;
    std::array<QLineEdit*, LoginService::kPairs> exponentEdits{};
    std::array<QLineEdit*, LoginService::kPairs> modulusEdits{};
    QLabel* messageLabel;
    QDialogButtonBox* buttons;

    // The OK button: stores and closes when everything is usable, else says what is wrong.
    void tryAccept();

signals:
    void Saved(const LoginService& service);

private:
    void complain(QLineEdit* field, const QString& message);

    platform::SettingsStore& store_;
    QString warnedBase_; // the plain address the user was already warned about
};
