// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
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
