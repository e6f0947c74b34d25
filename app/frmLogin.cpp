// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmLogin.h"

#include "app/LocalizedTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The agreement, a piece a key of the captions file (a line of the file holds 198 characters at
// the most), each with what joins it to the piece before.
struct Piece
{
    const char* key;
    const char* joinBefore;
    const char* english;
};
const Piece kAgreement[] = {
    {"Agreement1", "",
     "Korvalen is free software: you can redistribute it and/or modify it under the terms of the "
     "GNU General Public License as published by the Free Software Foundation,"},
    {"Agreement2", " ", "either version 3 of the License, or (at your option) any later version."},
    {"Agreement3", "\n\n",
     "Korvalen is distributed in the hope that it will be useful, but WITHOUT ANY WARRANTY; "
     "without even the implied warranty of MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE."},
    {"Agreement4", " ", "See the GNU General Public License for more details."},
    {"Agreement5", "\n\n", "What Korvalen does on your behalf:"},
    {"Agreement6", "\n",
     "- it signs in to your mailbox at the interval you set and may delete, on the server, mail "
     "that matches your spam lists;"},
    {"Agreement7", "\n", "- it can answer new mail automatically;"},
    {"Agreement8", "\n",
     "- it can place telephone calls to the number you give and answer calls on your line, "
     "reading your mail to a caller who knows your PIN;"},
    {"Agreement9", "\n", "- it keeps your account settings, passwords included, in your user profile."},
    {"Agreement10", "\n\n", "Choose \"I agree\" to accept these terms and start Korvalen."},
};

QString AgreementText()
{
    QString text;
    for (const Piece& piece : kAgreement) {
        const QString part = LocalText("License", piece.key, piece.english);
        // Chinese sentences follow each other without a blank
        const bool blank = QLatin1String(piece.joinBefore) == QLatin1String(" ");
        text += (blank && !part.isEmpty() && part.front().unicode() > 0x2E80) ? QString()
                                                                              : QString::fromLatin1(piece.joinBefore);
        text += part;
    }
    return text;
}

} // namespace

frmLogin::frmLogin(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(LocalText("License", "Title", "License Agreement"));
    setModal(true);
    lblLabels = new QLabel(LocalText("License", "Read", "Please read the following agreement."), this);
    txtUserName = new QPlainTextEdit(AgreementText(), this);
    txtUserName->setReadOnly(true);
    cmdOK = new QPushButton(LocalText("License", "Agree", "I agree"), this);
    cmdCancel = new QPushButton(LocalText("License", "Disagree", "I do not agree"), this);
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
