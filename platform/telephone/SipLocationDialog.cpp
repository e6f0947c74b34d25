// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipLocationDialog.h"

#include "platform/telephone/SipLineConfig.h"
#include "platform/telephone/SipTexts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace platform {

SipLocationDialog::SipLocationDialog(const QString& prefix, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(SipText("LocationTitle", "Country code: dialling prefix of the SIP line"));
    prefixEdit = new QLineEdit(prefix, this);
    prefixEdit->setMaxLength(32);
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(SipText("Prefix", "Dialling prefix:"), prefixEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(SipText("OK", "OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(SipText("Cancel", "Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SipLocationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SipLocationDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        SipText("PrefixHint",
                "Put in front of every plain number the line dials, e.g. 0 for an outside line or +44 for a country."),
        this));
    layout->addLayout(form);
    layout->addWidget(messageLabel);
    layout->addWidget(buttons);
}

QString SipLocationDialog::prefix() const
{
    return prefixEdit->text().trimmed();
}

void SipLocationDialog::accept()
{
    if (!IsValidDialPrefix(prefix())) {
        messageLabel->setText(SipText("BadPrefix", "The prefix may hold only digits, *, # and +."));
        prefixEdit->setFocus();
        return;
    }
    messageLabel->clear();
    QDialog::accept();
}

} // namespace platform
