// SPDX-License-Identifier: GPL-3.0-or-later
#include "MailFixture.h"

#include "platform/ProgramFolder.h"
#include "protocols/ScriptedServer.h"

#include <QCoreApplication>
#include <QEvent>

MailTest::MailTest()
{
    platform::SetAppClock(&clock);
    platform::SetProgramFolderOverride(programFolder.path());
    host.server = QStringLiteral("127.0.0.1");
    host.reply = QStringLiteral("I am away this week.");
    controls.lendTo(engine, host);
    engine.PopTimeoutTicks = 200; // two seconds of silence
    QObject::connect(&engine, &checkmailClass::DebugPrint, [this](const QString& t) { debug.append(t); });
    finished = std::make_unique<QSignalSpy>(&engine, &checkmailClass::CheckmailFinish);
}

MailTest::~MailTest()
{
    platform::SetAppClock(nullptr);
    platform::SetProgramFolderOverride(QString());
}

void MailTest::account(quint16 port, const QString& user)
{
    engine.UserName = user;
    engine.Password = QStringLiteral("secret");
    engine.ServerName = QStringLiteral("127.0.0.1");
    engine.ServerPort = port;
}

int MailTest::checkAfterRestart(const std::function<void(checkmailClass&)>& setUp)
{
    checkmailClass again;
    MailControls second{10};
    second.lendTo(again, host);
    again.UserName = engine.UserName;
    again.Password = engine.Password;
    again.ServerName = engine.ServerName;
    again.ServerPort = engine.ServerPort;
    again.AutoReplyOn = true;
    again.PopTimeoutTicks = 200;
    if (setUp)
        setUp(again);
    QSignalSpy done(&again, &checkmailClass::CheckmailFinish);
    again.CheckMail(checkmailClass::TimedCheck);
    const bool ended = waitUntil(
        [&] { return done.size() == 1 && again.MyStatus() == checkmailClass::Idle && !again.Sending(); }, 20000);
    return ended ? again.NewMailCount : -1;
}

bool MailTest::run(const std::function<void()>& start)
{
    const qsizetype before = finished->size();
    start();
    // The SMTP client closing resumes a listing, so wait for the engine to be idle as well.
    const bool done = waitUntil(
        [&] { return finished->size() > before && engine.MyStatus() == checkmailClass::Idle && !engine.Sending(); },
        20000);
    // let what the end posted run, deferred deletions too
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    engine.FinishMemoryWrite(); // tests read and remove the file
    return done;
}

QStringList MailTest::column(int c) const
{
    QStringList out;
    for (int r = 0; r < list.rowCount(); ++r)
        out.append(list.text(r, c));
    return out;
}
