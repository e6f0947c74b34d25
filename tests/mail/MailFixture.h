// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "mail/StandaloneMail.h"
#include "platform/Clock.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

// An engine with its lent controls: fast time-out timers and a clock that makes the log's
// pause pass at once.
class MailTest : public ::testing::Test
{
protected:
    MailTest();
    ~MailTest() override;

    // Runs one operation to its end; false when CheckmailFinish never came.
    bool run(const std::function<void()>& start);
    bool check(int kind)
    {
        return run([&] { engine.CheckMail(kind); });
    }
    QStringList column(int c) const;
    void account(quint16 port, const QString& user = QStringLiteral("alice"));
    // Another engine, as after a restart, answering new mail: one timed check of the same account.
    // Its count of new mail, -1 when the check never ended.
    int checkAfterRestart(const std::function<void(checkmailClass&)>& setUp = {});

    testing_support::TempFolder programFolder; // the engine's memory of the mailbox lives here
    platform::ManualClock clock{0, 1000};
    FixedMailHost host;
    MailControls controls{10};
    MailList& list = controls.list;
    checkmailClass engine;
    QStringList debug;
    std::unique_ptr<QSignalSpy> finished;
};
