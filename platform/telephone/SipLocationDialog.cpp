#include "platform/telephone/SipLocationDialog.h"

#include "platform/telephone/SipLineConfig.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace platform {

SipLocationDialog::SipLocationDialog(const QString& prefix, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialling location"));
    prefixEdit = new QLineEdit(prefix, this);
    prefixEdit->setMaxLength(32);
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Dialling prefix:"), prefixEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SipLocationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SipLocationDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Put in front of every plain number the line dials, e.g. 0 for an outside line."), this));
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
        messageLabel->setText(QStringLiteral("The prefix may hold only digits, *, # and +."));
        prefixEdit->setFocus();
        return;
    }
    messageLabel->clear();
    QDialog::accept();
}

} // namespace platform
