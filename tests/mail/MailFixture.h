#pragma once
#include "mail/MailHost.h"
#include "mail/checkmailClass.h"
#include "platform/Clock.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

// The window's side, as the engine sees it.
struct FakeHost : MailHost
{
    bool isSignedIn = true;
    QString server = QStringLiteral("127.0.0.1");
    int32_t port = 25;
    QString reply = QStringLiteral("I am away this week.");
    QStringList subjects;
    QStringList senders;

    bool signedIn() const override { return isSignedIn; }
    QString smtpServer() const override { return server; }
    int32_t smtpPort() const override { return port; }
    QString replyText() const override { return reply; }
    QStringList spamSubjects() const override { return subjects; }
    QStringList spamSenders() const override { return senders; }
};

// An engine with its lent controls: fast time-out timers and a clock that makes the log's
// pause pass at once.
class MailTest : public ::testing::Test
{
protected:
    MailTest();
    ~MailTest() override;

    // Runs one operation to its end; false when CheckmailFinish never came.
    bool run(const std::function<void()>& start);
    bool check(int kind) { return run([&] { engine.CheckMail(kind); }); }
    QStringList column(int c) const;
    void account(quint16 port, const QString& user = QStringLiteral("alice"));

    platform::ManualClock clock{0, 1000};
    FakeHost host;
    QTcpSocket popSocket;
    QTcpSocket smtpSocket;
    QTimer popTimer;
    QTimer smtpTimer;
    QStandardItemModel list{0, 4};
    checkmailClass engine;
    QStringList debug;
    std::unique_ptr<QSignalSpy> finished;
};
