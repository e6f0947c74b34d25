#include "app/frmLogin.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char* const kAgreement =
    "Korvalen is free software: you can redistribute it and/or modify it under the terms of the "
    "GNU General Public License as published by the Free Software Foundation, either version 3 of "
    "the License, or (at your option) any later version.\n\n"
    "Korvalen is distributed in the hope that it will be useful, but WITHOUT ANY WARRANTY; without "
    "even the implied warranty of MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE. See the GNU "
    "General Public License for more details.\n\n"
    "What Korvalen does on your behalf:\n"
    "- it signs in to your mailbox at the interval you set and may delete, on the server, mail that "
    "matches your spam lists;\n"
    "- it can answer new mail automatically;\n"
    "- it can place telephone calls to the number you give and answer calls on your line, reading "
    "your mail to a caller who knows your PIN;\n"
    "- it keeps your account settings, passwords included, in your user profile.\n\n"
    "Choose \"I agree\" to accept these terms and start Korvalen.";
}

frmLogin::frmLogin(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("License Agreement"));
    setModal(true);
    lblLabels = new QLabel(QStringLiteral("Please read the following agreement."), this);
    txtUserName = new QPlainTextEdit(QString::fromUtf8(kAgreement), this);
    txtUserName->setReadOnly(true);
    cmdOK = new QPushButton(QStringLiteral("I agree"), this);
    cmdCancel = new QPushButton(QStringLiteral("I do not agree"), this);
    cmdOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblLabels);
    layout->addWidget(txtUserName);
    layout->addLayout(buttons);
    resize(520, 420);

    connect(cmdOK, &QPushButton::clicked, this, [this] {
        accepted = true;
        accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::reject);
}

void frmLogin::reject()
{
    accepted = false;
    QDialog::reject();
}
