// SPDX-License-Identifier: GPL-3.0-or-later
// TLS and the SMTP login on the account page, and trusting a certificate the last check
// refused.
#include "app/frmSet.h"

#include "app/FieldFilters.h"
#include "app/LocalizedTexts.h"
#include "app/SettingKeys.h"
#include "platform/SettingsStore.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QComboBox* securityBox(QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->addItem(QStringLiteral("None (plain text)"), MailSecurityText(MailSecurity::None));
    box->addItem(QStringLiteral("STARTTLS"), MailSecurityText(MailSecurity::StartTls));
    box->addItem(QStringLiteral("TLS"), MailSecurityText(MailSecurity::Tls));
    return box;
}

MailSecurity chosen(const QComboBox* box)
{
    return MailSecurityFromText(box->currentData().toString(), MailSecurity::None);
}

void choose(QComboBox* box, MailSecurity security)
{
    box->setCurrentIndex(box->findData(MailSecurityText(security)));
}

// A port the user left at the usual one for the old choice follows the new choice.
void portFollows(QComboBox* box, QLineEdit* port, int (*usualPort)(MailSecurity))
{
    auto previous = std::make_shared<MailSecurity>(chosen(box));
    QObject::connect(box, &QComboBox::currentIndexChanged, port, [=] {
        const MailSecurity now = chosen(box);
        if (port->text().trimmed().isEmpty() || port->text().trimmed().toInt() == usualPort(*previous))
            port->setText(QString::number(usualPort(now)));
        *previous = now;
    });
}

} // namespace

void frmSet::buildSecurityRows(QGridLayout* grid, int row)
{
    QWidget* page = grid->parentWidget();
    popSecurityBox = securityBox(page);
    smtpSecurityBox = securityBox(page);
    txtSmtpUser = new QLineEdit(page);
    txtSmtpPw = new QLineEdit(page);
    txtSmtpPw->setEchoMode(QLineEdit::Password);
    QWidget* const fields[] = {popSecurityBox, smtpSecurityBox, txtSmtpUser, txtSmtpPw};
    for (int i = 0; i < 4; ++i) {
        securityLabels_[i] = new QLabel(page);
        grid->addWidget(securityLabels_[i], row, 0);
        grid->addWidget(fields[i], row++, 1);
    }
    fields::EnterMovesOn(txtSmtpUser);
    portFollows(popSecurityBox, Text5, keys::PopPortFor);
    portFollows(smtpSecurityBox, Text16, keys::SmtpPortFor);

    trustButton = new QPushButton(this);
    trustButton->hide();
    connect(trustButton, &QPushButton::clicked, this, &frmSet::TrustButton_Click);
}

void frmSet::applySecurityTexts(const QString& letter)
{
    auto own = [&](const char* key, const char* english) { return LocalText(letter, "Main", key, english); };
    securityLabels_[0]->setText(own("PopSecurity", "POP3 security"));
    securityLabels_[1]->setText(own("SmtpSecurity", "SMTP security"));
    securityLabels_[2]->setText(own("SmtpUser", "SMTP user (empty: no login)"));
    securityLabels_[3]->setText(own("SmtpPassword", "SMTP password"));
    trustButton->setText(own("TrustCertificate", "Trust this certificate..."));
}

// The ports are read here too: their defaults follow the profile's security.
void frmSet::loadSecuritySettings()
{
    const keys::MailDefaults defaults(store_);
    // The boxes first: their change handlers must not move the ports read next.
    choose(popSecurityBox, defaults.popSecurity(store_));
    choose(smtpSecurityBox, defaults.smtpSecurity(store_));
    Text5->setText(fields::PortText(defaults.popPort(store_), keys::PopPortFor(chosen(popSecurityBox))));
    Text16->setText(fields::PortText(defaults.smtpPort(store_), keys::SmtpPortFor(chosen(smtpSecurityBox))));
    txtSmtpUser->setText(keys::Read(store_, keys::SmtpUID));
    txtSmtpPw->setText(keys::Read(store_, keys::SmtpPw));
}

MailSecurity frmSet::smtpSecurity() const
{
    return chosen(smtpSecurityBox);
}

QString frmSet::smtpUser() const
{
    return txtSmtpUser->text().trimmed();
}

QString frmSet::smtpPassword() const
{
    return txtSmtpPw->text();
}

QString frmSet::trustedCertificate(const QString& server) const
{
    return keys::TrustedCertificate(store_, server);
}

void frmSet::showRefusedCertificate()
{
    const auto [server, fingerprint] = MailObj ? MailObj->RefusedCertificate() : std::pair<QString, QString>();
    trustButton->setVisible(!fingerprint.isEmpty());
    trustButton->setToolTip(fingerprint.isEmpty() ? QString() : server + QStringLiteral("\n") + fingerprint);
}

// Trusting is the user's informed choice: the question names the server, the reason and the
// fingerprint; the choice is stored at once and counts from the next check.
void frmSet::TrustButton_Click()
{
    const auto [server, fingerprint] = MailObj ? MailObj->RefusedCertificate() : std::pair<QString, QString>();
    if (fingerprint.isEmpty())
        return trustButton->hide();
    const QString question = LocalText("Main", "TrustQuestion",
                                       "%1\n\nTrust this certificate for %2 from now on? Only its fingerprint "
                                       "%3 is trusted; a changed certificate is refused again.")
                                 .arg(checkFailureText(), server, fingerprint);
    if (!askTrust(question))
        return;
    if (!keys::TrustCertificate(store_, server, fingerprint))
        return reportProblem(store_.lastError().isEmpty() ? QStringLiteral("Cannot store the certificate for ") + server
                                                          : store_.lastError());
    trustButton->hide();
    failurePanel_->setText(LocalText("Main", "Trusted", "Certificate trusted for %1; check again.").arg(server));
}
