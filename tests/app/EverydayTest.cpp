// SPDX-License-Identifier: GPL-3.0-or-later
// The main window in everyday use: a check at once, failed checks and settings that count from
// the next check, new mail on the desktop, a second start, the log window, the greeting's time.
#include "AppFixture.h"
#include "PrivateBus.h"
#include "RealPeers.h"
#include "protocols/ScriptedServer.h"

#include "app/frmLogView.h"
#include "platform/Clock.h"
#include "platform/DesktopNotifier.h"
#include "platform/LogFile.h"
#include "platform/ShellOpen.h"

#include <QSignalSpy>
#include <QTcpServer>

namespace {

// An engine stand-in that reports the new mail of its last check.
struct NoticeEngine : FakeEngine
{
    int found = 0;
    QList<NewMailItem> listed;
    int NewMailFound() const override { return found; }
    QList<NewMailItem> NewMailListed() const override { return listed; }
};

class EverydayTest : public AppTest
{
protected:
    void TearDown() override
    {
        AppTest::TearDown();
        platform::SetShellOpenCommand(QString());
        platform::SetAppClock(nullptr);
    }
    // A window with the real engine, no log pauses and no countdown of its own.
    frmSet& startWithRealEngine()
    {
        frmSetParts parts;
        parts.mailEngine = [this] {
            auto made = std::make_unique<MailEngine>();
            made->engine().PauseAfterLog = false;
            mail = &made->engine();
            return made;
        };
        frmSet& w = start(parts);
        finishes = std::make_unique<QSignalSpy>(mail, &checkmailClass::CheckmailFinish); // the first check starts next
        w.CheckMailTimer->stop();
        return w;
    }
    // The next check has ended and the window has taken its end.
    bool checkEnds(frmSet& w)
    {
        const qsizetype seen = ended++;
        return testing_support::waitUntil(
            [&] {
                return finishes->size() > seen && mail->MyStatus() == checkmailClass::Idle && w.frame[0]->isEnabled();
            },
            15000);
    }
    checkmailClass* mail = nullptr;
    std::unique_ptr<QSignalSpy> finishes;
    qsizetype ended = 0;
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // free again once probe goes
}

} // namespace

TEST_F(EverydayTest, CheckNowStartsACheckOrSaysThatOneRuns)
{
    markFirstRunDone();
    FakeEngine* engine = nullptr;
    frmSet& w = start(EngineParts(engine));
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return engine->checks == QList<int>{1}; }, 2000)); // the start-up check
    for (int i = 0; i < 5; ++i)
        w.CheckMailTimer_Timer();
    w.CheckNowButton->click();
    EXPECT_EQ(std::pair(engine->checks, w.tickCounter()), std::pair(QList<int>({1, 2}), 0))
        << "a whole interval to the next timed check";

    engine->busy = true;
    w.CheckNowButton->click();
    EXPECT_EQ(std::pair(engine->checks, w.panelText(2)),
              std::pair(QList<int>({1, 2}), QString("A mail check is in progress.")));
    // The same while the window holds a check that the engine has not yet begun.
    engine->busy = false;
    w.MailObj_CheckmailStart();
    w.CheckNowButton->click();
    EXPECT_EQ(engine->checks, QList<int>({1, 2}));
}

// Every failed check is in the log with its reason, whatever went wrong; the reason stays
// beside the countdown until the next check. Account, server, port, interval, spam lists and the
// automatic reply are read from the window at every check; nothing waits for a restart.
TEST_F(EverydayTest, EveryFailedCheckIsLoggedAndWhatTheWindowHoldsCountsFromTheNextCheck)
{
    RealPeers& peers = RealPeers::instance();
    peers.clear("bob");
    peers.clear("alice");
    peers.fill("alice", {"01-plain.eml"});
    markFirstRunDone();
    store->SaveSetting("logcheck", "-1"); // "on" as older profiles stored it
    frmSet& w = startWithRealEngine();
    ASSERT_TRUE(checkEnds(w)); // no account yet
    w.popSecurityBox->setCurrentIndex(w.popSecurityBox->findData("none")); // these servers speak plain text
    w.smtpSecurityBox->setCurrentIndex(w.smtpSecurityBox->findData("none"));
    ScriptedServer silent({"S: +OK ready", "C: USER bob"});
    const struct
    {
        const char* what;
        QString user, password, port;
        const char* reason;
    } rows[] = {
        {"refused", "bob", "secret", QString::number(closedPort()), "connection refused"},
        {"-ERR", "bob", "wrong", QString::number(peers.pop3Port()), "refused the sign-in: -ERR [AUTH]"},
        {"no account", "", "", "110", "No check: give the POP3 server"},
        {"time-out", "bob", "secret", QString::number(silent.port()), "did not answer in time"},
    };
    for (const auto& row : rows) {
        // Forty ticks of silence are a time-out: fast ones for the silent server only.
        w.PopTimer->setInterval(row.port == QString::number(silent.port()) ? 5 : 1000);
        w.Text2->setText(row.user);
        w.Text3->setText(row.password);
        w.Text4->setText(row.user.isEmpty() ? "" : "127.0.0.1");
        w.Text5->setText(row.port);
        w.CheckNowButton->click();
        ASSERT_TRUE(checkEnds(w)) << row.what;
        const QString why = w.checkFailureText();
        EXPECT_TRUE(why.contains(row.reason)) << row.what << ": " << why.toStdString();
        EXPECT_TRUE(QString::fromUtf8(profile.read("program/kv_.log")).contains(why)) << row.what;
        w.CheckMailTimer_Timer();
        EXPECT_TRUE(w.panelText(2).startsWith("Count down")) << row.what;
        EXPECT_EQ(w.checkFailureText(), why) << row.what;
    }

    // Another account on the right port, and a shorter interval; the window's own ticks again.
    w.PopTimer->setInterval(1000);
    w.Text2->setText("alice");
    w.Text3->setText(RealPeers::password);
    w.Text4->setText("127.0.0.1");
    w.Text5->setText(QString::number(peers.pop3Port()));
    w.Text7->setText("20");
    EXPECT_EQ(w.countdownPeriod(), 1200);
    w.CheckNowButton->click();
    ASSERT_TRUE(checkEnds(w));
    EXPECT_EQ(w.checkFailureText(), "");
    ASSERT_EQ(w.listModel->rowCount(), 1);
    EXPECT_EQ(w.frame[5]->title(), "0/1 Messages, and 0 New messages"); // the engine's count reaches the page

    // New mail, one of it spam by a list edited in its file; replies on, through the sink.
    peers.fill("alice", {"02-html.eml", "07-spam-subject.eml"});
    profile.write("program/spam.txt", "WIN A PRIZE\r\n");
    peers.clearSent();
    w.Check[0]->setChecked(true);
    w.Text15->setPlainText("Away until Monday.");
    w.txtEmailServer->setText("127.0.0.1");
    w.Text16->setText(QString::number(peers.smtpPort()));
    w.CheckNowButton->click();
    ASSERT_TRUE(checkEnds(w));
    ASSERT_TRUE(testing_support::waitUntil([&] { return peers.sentMessages().size() == 1; }, 10000));
    EXPECT_EQ(w.spamSubjects(), QStringList{"WIN A PRIZE"});
    EXPECT_EQ(w.listModel->rowCount(), 2);
    EXPECT_EQ(peers.mailboxFiles("alice").size(), 2);
    const RealPeers::SentMessage reply = peers.sentMessages().value(0);
    EXPECT_EQ(reply.rcptTos, QStringList{"news@example.org"});
    EXPECT_TRUE(reply.data.contains("Away until Monday.")) << reply.data.toStdString();
}

TEST_F(EverydayTest, NewMailOfATimedCheckIsAnnouncedOnTheDesktop)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    FakeNotifications service;
    ASSERT_TRUE(service.registerOn(bus.connect("service")));
    markFirstRunDone();
    NoticeEngine* engine = nullptr;
    frmSetParts parts = EngineParts(engine);
    parts.notifier = [&] { return std::make_unique<platform::DesktopNotifier>(bus.connect("korvalen")); };
    frmSet& w = start(parts);
    ASSERT_TRUE(w.notifyCheck->isChecked()); // on unless switched off

    engine->found = 4;
    engine->listed = {{"Ann <ann@example.org>", "Hello"}, {"Bob", "  "}, {"Carl", "Third"}, {"Dora", "Fourth"}};
    w.MailObj_CheckmailFinish(MailEngineLink::FirstCheck); // mail there at start is not news
    w.notifyCheck->setChecked(false);
    w.MailObj_CheckmailFinish(MailEngineLink::TimedCheck);
    w.notifyCheck->setChecked(true);
    engine->found = 0;
    w.MailObj_CheckmailFinish(MailEngineLink::TimedCheck); // nothing new
    engine->found = 4;
    w.MailObj_CheckmailFinish(MailEngineLink::TimedCheck);
    engine->found = 1;
    engine->listed = {{"Eve", "Lunch & more"}};
    w.MailObj_CheckmailFinish(MailEngineLink::TimedCheck);
    // The bus keeps the order: when the last is in, an earlier one would be too.
    ASSERT_TRUE(testing_support::waitUntil([&] { return service.notices.size() == 2; }, 5000));
    EXPECT_EQ(service.notices[0].appName, "Korvalen");
    EXPECT_EQ(
        QStringList(
            {service.notices[0].summary, service.notices[0].body, service.notices[1].summary, service.notices[1].body}),
        QStringList({"4 new messages", "Ann &lt;ann@example.org&gt;: Hello\nBob: (no subject)\nCarl: Third\nand 1 more",
                     "1 new message", "Eve: Lunch &amp; more"}));
}

TEST_F(EverydayTest, ASecondStartBringsTheWindowToTheFront)
{
    markFirstRunDone();
    frmSet& w = start();
    w.showMinimized();
    ASSERT_TRUE(w.isMinimized());
    platform::SingleInstance second(profile.file("lock"));
    ASSERT_TRUE(second.PrevInstance());
    std::optional<bool> shown;
    second.AskRunningCopyToShow([&](bool ok, const QString&) { shown = ok; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return shown.has_value(); }, 5000));
    EXPECT_TRUE(*shown);
    EXPECT_TRUE(w.isVisible() && !w.isMinimized());
}

TEST(SingleInstanceProgram, ASecondProgramShowsTheFirstAndSaysSo)
{
    testing_support::TempFolder home;
    QDir().mkpath(home.file("runtime"));
    QFile::setPermissions(home.file("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto [name, dir] :
         {std::pair{"XDG_RUNTIME_DIR", "runtime"}, {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"}})
        env.insert(name, home.file(dir));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first, second;
    first.setProcessEnvironment(env);
    second.setProcessEnvironment(env);
    first.start(KORVALEN_BINARY, {});
    ASSERT_TRUE(first.waitForStarted());
    // The first run waits at its agreement, listening.
    ASSERT_TRUE(
        testing_support::waitUntil([&] { return QFile::exists(home.file("runtime/TNX_Korvalen.socket")); }, 10000));
    second.start(KORVALEN_BINARY, {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    const QString said = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(said.contains("already running") && said.contains("front")) << said.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

// The log button opens the log the engine writes on the desktop; without a viewer there, in a
// window of the program that follows the log.
TEST_F(EverydayTest, TheLogOpensOnTheDesktopOrInAWindowThatFollowsIt)
{
    markFirstRunDone();
    frmSet& w = start();
    QStringList opened;
    platform::SetShellOpenHandler([&](const QUrl& target) {
        opened << target.toLocalFile();
        return true;
    });
    // Nothing logged yet: the window says so at once.
    w.ButtonAccount[5]->click();
    ASSERT_NE(w.logView(), nullptr);
    EXPECT_TRUE(w.logView()->isVisible() && opened.isEmpty());
    EXPECT_TRUE(w.logView()->textBox->placeholderText().startsWith("Nothing has been logged yet."));
    w.logView()->close();

    platform::AppendLogRecord("kv_", "pop.example.org", "Cannot connect to pop.example.org:110: connection refused.");
    w.ButtonAccount[5]->click();
    platform::SetShellOpenHandler(nullptr);
    EXPECT_EQ(opened, QStringList({profile.file("program/kv_.log")}));
    for (const char* opener : {"/nonexistent/xdg-open", "false"}) { // missing, or no handler
        platform::SetShellOpenCommand(opener);
        w.ButtonAccount[5]->click();
        ASSERT_TRUE(testing_support::waitUntil([&] { return w.logView()->isVisible(); }, 5000)) << opener;
        w.logView()->close();
    }
    frmLogView& view = *w.logView();
    view.show();
    EXPECT_TRUE(
        view.text().endsWith("\"pop.example.org\",\"Cannot connect to pop.example.org:110: connection refused.\""))
        << view.text().toStdString();

    // New records appear as they are written; a half-written line waits for its end.
    platform::AppendLogRecord("kv_", "phone", "Calling 5551234");
    ASSERT_TRUE(testing_support::waitUntil([&] { return view.text().endsWith("\"phone\",\"Calling 5551234\""); }, 5000))
        << view.text().toStdString();
    QFile log(profile.file("program/kv_.log"));
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write("#2026-12-06 09:00:00#,\"half");
    log.flush();
    view.Follow();
    EXPECT_FALSE(view.text().contains("half"));
    log.write("\"\r\n");
    log.close();
    view.Follow();
    EXPECT_EQ(view.text().count('\n'), 2);

    // A log started anew is shown anew.
    profile.write("program/kv_.log", "#2026-12-07 08:00:00#,\"a\",\"b\"\r\n");
    view.Follow();
    EXPECT_EQ(view.text(), "#2026-12-07 08:00:00#,\"a\",\"b\"");
}

// The greeting tells the time of the press, not the time the program started.
TEST_F(EverydayTest, TheTimeButtonTakesTheTimeWhenPressed)
{
    platform::ManualClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 41)).toMSecsSinceEpoch());
    platform::SetAppClock(&clock);
    markFirstRunDone();
    frmSet& w = start();
    EXPECT_EQ(w.txtGreeting->text(), "Hello, it is Sunday, Dec 6, The Time is 09:41 AM");
    clock.advance((24 * 60 + 34) * 60 * 1000LL);
    w.ButtonAccount_Click(3); // the button itself needs a voice to speak with
    EXPECT_EQ(w.txtGreeting->text(), "Hello, it is Monday, Dec 7, The Time is 10:15 AM");
    EXPECT_EQ(w.greetingToSpeak(), w.txtGreeting->text());
    // A greeting of the user's own is spoken as written.
    w.txtGreeting->setText("Good morning");
    clock.advance(60 * 1000);
    w.ButtonAccount_Click(3);
    EXPECT_EQ(w.txtGreeting->text(), "Good morning");
}
