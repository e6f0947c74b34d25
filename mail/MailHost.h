// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "protocols/CertificateTrust.h"

#include <QString>
#include <QStringList>
#include <cstdint>

class ReplyForm;

// What the mail engine needs from the window that owns it.
class MailHost
{
public:
    virtual ~MailHost() = default;
    // Checks run only while the user is signed in to the web service.
    virtual bool signedIn() const = 0;
    virtual QString smtpServer() const = 0;
    virtual int32_t smtpPort() const = 0;
    // TLS and login for sending; an empty user means no login.
    virtual MailSecurity smtpSecurity() const { return MailSecurity::None; }
    virtual QString smtpUser() const { return {}; }
    virtual QString smtpPassword() const { return {}; }
    // The certificate fingerprint the user trusts for a server ("host:port"); empty when none.
    virtual QString trustedCertificate(const QString& server) const
    {
        (void)server;
        return {};
    }
    virtual QString replyText() const = 0;
    // The spam lists as the window shows them: subject phrases and sender texts.
    virtual QStringList spamSubjects() const = 0;
    virtual QStringList spamSenders() const = 0;
    // The voice menu: the mailbox list's selection follows the message read, and a dictated
    // reply is written into the console's compose page (none without a console).
    virtual void selectMessage(int row) { (void)row; }
    // The buttons speak their captions: an alert without telephone is spoken then.
    virtual bool spokenCaptions() const { return false; }
    virtual ReplyForm* replyForm() { return nullptr; }
};
