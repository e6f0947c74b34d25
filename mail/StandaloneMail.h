// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "mail/MailHost.h"
#include "mail/checkmailClass.h"

#include <QMap>
#include <QSslSocket>
#include <QTimer>

// What the main window gives the mail engine, for tools and tests that run it without the
// window: settings held as plain values, and controls of its own lent to the engine.
struct FixedMailHost : MailHost
{
    bool isSignedIn = true;
    QString server;
    int32_t port = 25;
    MailSecurity security = MailSecurity::None;
    QString user;
    QString password;
    QMap<QString, QString> trusted; // server "host:port" to fingerprint
    QString reply;
    QStringList subjects;
    QStringList senders;
    ReplyForm* form = nullptr;
    bool captionsSpoken = false;
    QList<int> selected; // rows the voice menu selected

    bool signedIn() const override { return isSignedIn; }
    QString smtpServer() const override { return server; }
    int32_t smtpPort() const override { return port; }
    MailSecurity smtpSecurity() const override { return security; }
    QString smtpUser() const override { return user; }
    QString smtpPassword() const override { return password; }
    QString trustedCertificate(const QString& server) const override { return trusted.value(server); }
    QString replyText() const override { return reply; }
    QStringList spamSubjects() const override { return subjects; }
    QStringList spamSenders() const override { return senders; }
    void selectMessage(int row) override { selected << row; }
    ReplyForm* replyForm() override { return form; }
    bool spokenCaptions() const override { return captionsSpoken; }
};

struct MailControls
{
    explicit MailControls(int tickMs = 1000)
    {
        popTimer.setInterval(tickMs);
        smtpTimer.setInterval(tickMs);
    }
    // Hands the host, the sockets, the time-out timers and the list to the engine.
    void lendTo(checkmailClass& engine, MailHost& host)
    {
        engine.setHost(&host);
        engine.Popsock(&popSocket);
        engine.setPOPTimerControl(&popTimer);
        engine.SMTPsock(&smtpSocket);
        engine.setSMTPTimerControl(&smtpTimer);
        engine.setListView(&list);
    }

    QSslSocket popSocket; // plain or TLS, as each session asks
    QSslSocket smtpSocket;
    QTimer popTimer;
    QTimer smtpTimer;
    MailList list;
};
