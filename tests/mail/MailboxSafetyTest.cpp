// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever happens to a session, nobody is answered twice, spam goes at the next good check,
// old mail is never new, and the listing never stalls.
#include "MailFixture.h"
#include "RealPeers.h"
#include "mail/MailboxMemory.h"
#include "protocols/ScriptedServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <future>

namespace {

using Steps = QList<QByteArray>;

const Steps kLogin = {"S: +OK ready", "C: USER alice", "S: +OK", "C: PASS secret", "S: +OK"};
const Steps kQuit = {"C: QUIT", "S: +OK bye"};
// A server without CAPA: the listing asks one command at a time.
const Steps kPlain = {"C: CAPA", "S: -ERR unknown command"};

Steps stat(int count)
{
    return {"C: STAT", "S: +OK " + QByteArray::number(count) + " 999"};
}

// UIDL and TOP of message n: a one-line id, then a short header from name@example.org.
Steps head(int n, const QByteArray& name, const QByteArray& subject)
{
    const QByteArray num = QByteArray::number(n);
    return {"C: UIDL " + num,
            "S: +OK " + num + " id-" + name,
            "C: TOP " + num + " 0",
            "S: +OK",
            "S: From: " + name + " <" + name + "@example.org>",
            "S: To: alice@example.com",
            "S: Subject: " + subject,
            "S: ",
            "S: ."};
}

Steps anchor(int n, const QByteArray& name)
{
    return {"C: UIDL " + QByteArray::number(n), "S: +OK " + QByteArray::number(n) + " id-" + name};
}

class MailboxSafety : public MailTest
{
protected:
    MailboxSafety()
    {
        peers.clearSent();
        host.port = peers.smtpPort();
        host.subjects = {"WIN A PRIZE"};
        engine.PopTimeoutTicks = 50; // half a second of silence
    }

    // Plays one check against a scripted server that checks every line.
    void play(const Steps& steps, int kind = checkmailClass::TimedCheck)
    {
        ScriptedServer server(steps);
        account(server.port());
        ASSERT_TRUE(check(kind));
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
    }
    // How many replies each recipient got.
    QMap<QString, int> answered() const
    {
        QMap<QString, int> out;
        for (const auto& m : peers.sentMessages())
            for (const QString& to : m.rcptTos)
                ++out[to];
        return out;
    }

    RealPeers& peers = RealPeers::instance();
};

} // namespace

// Spam by subject and by sender is deleted on the server, and nothing else.
TEST_F(MailboxSafety, SpamIsDeletedOnTheServerAndNothingElse)
{
    peers.clear("alice");
    account(peers.pop3Port());
    host.senders = {"offers@spam.example"};
    peers.fill("alice", {"01-plain.eml", "07-spam-subject.eml", "02-html.eml", "08-spam-sender.eml"});
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(column(1), QStringList({"Meeting moved to Thursday", "Spring newsletter"}));
    EXPECT_EQ(engine.NewMailCount, 2);
    EXPECT_EQ(peers.mailboxFiles("alice").size(), 2);
}

// Mailbox: old, spam, Ann, Ben. The first timed check deletes the spam and answers Ann and Ben,
// but its end does not commit the deletion; the next check looks at the spam again and answers
// nobody again.
TEST_F(MailboxSafety, AnUncommittedSessionIsUndoneAndNobodyIsAnsweredTwice)
{
    const Steps listed = head(2, "spam", "WIN A PRIZE") + Steps{"C: DELE 2", "S: +OK"} + head(3, "ann", "Hello")
                         + head(4, "ben", "Lunch");
    const struct
    {
        const char* what;
        Steps end; // how check 1 ends after its listing starts
        int answeredInCheck1;
    } rows[] = {
        {"-ERR to QUIT", listed + Steps{"C: QUIT", "S: -ERR cannot remove"}, 2},
        {"closed after DELE", head(2, "spam", "WIN A PRIZE") + Steps{"C: DELE 2", "S: +OK", "CLOSE"}, 0},
    };
    engine.AutoReplyOn = true;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        peers.clearSent();
        engine.ResetMailCount(0);
        list.removeRows(0, list.rowCount());
        QFile::remove(engine.MemoryFile());
        if (!engine.SenderMemoryFile().isEmpty())
            QFile::remove(engine.SenderMemoryFile());

        play(kLogin + stat(1) + kPlain + head(1, "old", "Minutes") + kQuit, checkmailClass::FirstCheck);
        play(kLogin + stat(4) + anchor(1, "old") + kPlain + row.end);
        EXPECT_FALSE(engine.LastFailure().isEmpty());
        EXPECT_EQ(list.rowCount(), 1); // rows after the uncommitted deletion are gone
        EXPECT_EQ(engine.KnownCount(), 1);
        EXPECT_EQ(peers.sentMessages().size(), row.answeredInCheck1);

        play(kLogin + stat(4) + anchor(1, "old") + kPlain + listed + kQuit);
        EXPECT_EQ(engine.LastFailure(), "");
        EXPECT_EQ(column(1), QStringList({"Minutes", "Hello", "Lunch"}));
        EXPECT_EQ(engine.NewMailCount, 2);
        EXPECT_EQ(answered(), (QMap<QString, int>{{"ann@example.org", 1}, {"ben@example.org", 1}}));

        // Committed: the rows are the mailbox, so its last row is where the next check looks.
        play(kLogin + stat(3) + anchor(3, "ben") + kQuit);
        EXPECT_EQ(list.rowCount(), 3);
        EXPECT_EQ(engine.NewMailCount, 2);
    }
}

TEST_F(MailboxSafety, AFirstCheckThatFailsHalfWayLeavesTheOldMailOld)
{
    engine.AutoReplyOn = true;
    play(kLogin + stat(3) + kPlain + head(1, "old1", "One")
             + Steps{"C: UIDL 2", "S: +OK 2 id-old2", "C: TOP 2 0", "CLOSE"},
         checkmailClass::FirstCheck);
    EXPECT_NE(engine.LastFailure(), "");
    play(kLogin + stat(3) + anchor(1, "old1") + kPlain + head(2, "old2", "Two") + head(3, "old3", "Three") + kQuit);
    EXPECT_EQ(list.rowCount(), 3);
    EXPECT_EQ(engine.NewMailCount, 0);
    play(kLogin + stat(4) + anchor(3, "old3") + kPlain + head(4, "new", "Four") + kQuit);
    EXPECT_EQ(engine.NewMailCount, 1);
    EXPECT_EQ(answered(), (QMap<QString, int>{{"new@example.org", 1}}));
}

// A server without UIDL: positions alone, as before.
TEST_F(MailboxSafety, WithoutUniqueIdsMailIsJudgedByPosition)
{
    const Steps noId = {"C: UIDL 2", "S: -ERR not supported", "C: TOP 2 0", "S: +OK", "S: Subject: Two", "S: ", "S: ."};
    play(kLogin + stat(1) + kPlain
             + Steps{"C: UIDL 1", "S: -ERR not supported", "C: TOP 1 0", "S: +OK", "S: Subject: One", "S: ", "S: ."}
             + kQuit,
         checkmailClass::FirstCheck);
    play(kLogin + stat(2) + kPlain + noId + kQuit);
    EXPECT_EQ(column(1), QStringList({"One", "Two"}));
    EXPECT_EQ(engine.NewMailCount, 1);
    play(kLogin + stat(2) + kQuit); // unchanged count: nothing to ask
}

TEST_F(MailboxSafety, MailRemovedOrReplacedElsewhereIsNotNewAgain)
{
    peers.clear("alice");
    account(peers.pop3Port());
    engine.AutoReplyOn = true;
    peers.fill("alice", {"01-plain.eml", "02-html.eml", "05-utf8.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));

    // One removed: the list is rebuilt, nothing in it is new or answered.
    ASSERT_TRUE(QFile::remove(peers.mailboxFiles("alice").first()));
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(column(1).value(0), "Spring newsletter");
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_EQ(engine.NewMailCount, 0);

    // One removed and one come: the same count, but the new mail is found and answered.
    ASSERT_TRUE(QFile::remove(peers.mailboxFiles("alice").first()));
    peers.fill("alice", {"06-alternative.eml"});
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(column(1).value(1), "Photos from the trip");
    EXPECT_EQ(engine.NewMailCount, 1);
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(answered(), (QMap<QString, int>{{"carol@example.org", 1}}));

    // A restart keeps what was answered: the rebuilt list answers nobody again.
    EXPECT_EQ(checkAfterRestart(), 0);
    EXPECT_EQ(answered(), (QMap<QString, int>{{"carol@example.org", 1}}));
}

// The memory file is written beside the event loop: an engine that ends right after its check
// still leaves it whole, and the next one finds that mail old.
TEST_F(MailboxSafety, TheListedMailOutlivesAnEngineEndedRightAfterItsCheck)
{
    ScriptedServer first(kLogin + stat(2) + kPlain + head(1, "ann", "One") + head(2, "ben", "Two") + kQuit);
    account(first.port());
    EXPECT_EQ(checkAfterRestart([](checkmailClass& early) { early.AutoReplyOn = false; }), 2);
    ScriptedServer second(kLogin + stat(3) + kPlain + head(1, "ann", "One") + head(2, "ben", "Two")
                          + head(3, "cat", "Three") + kQuit);
    account(second.port());
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_TRUE(second.scenarioDone()) << second.report().toStdString();
    EXPECT_EQ(engine.NewMailCount, 1);
}

// A write that failed beside the event loop is written again by the next save, not dropped.
TEST_F(MailboxSafety, AFailedWriteOfTheMemoryIsRetried)
{
    MailboxMemory memory;
    memory.open("alice@127.0.0.1");
    memory.markListed("id-1");
    ASSERT_TRUE(QDir().mkpath(memory.filePath())); // a folder where the file goes: the write fails
    std::promise<bool> first;
    memory.saveInBackground([&first](bool ok) { first.set_value(ok); });
    ASSERT_FALSE(first.get_future().get());
    ASSERT_TRUE(QDir(memory.filePath()).removeRecursively());
    memory.saveInBackground();
    ASSERT_TRUE(memory.finishWrite());
    MailboxMemory later;
    later.open("alice@127.0.0.1");
    EXPECT_TRUE(later.listed("id-1"));
}

// The SMTP server answers slower than the POP3 idle limit: the POP3 server is waiting for us,
// not silent, and the listing goes on.
TEST_F(MailboxSafety, ASlowSendDoesNotFailTheListing)
{
    peers.clear("alice");
    account(peers.pop3Port());
    engine.PopTimeoutTicks = 60; // 0.6 s of POP3 silence: room for a busy machine's Dovecot
    controls.smtpTimer.setInterval(50); // 1.5 s of SMTP silence
    engine.AutoReplyOn = true;
    peers.fill("alice", {"01-plain.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    peers.fill("alice", {"06-alternative.eml"});

    const Steps late = {"S| "}; // each reply after 0.7 s
    ScriptedServer smtp(late + Steps{"S: 220 hi", "C: EHLO 127.0.0.1"} + late
                            + Steps{"S: 250 ok", "C: MAIL FROM:<alice@example.com>"} + late
                            + Steps{"S: 250 ok", "C: RCPT TO:<carol@example.org>"} + late
                            + Steps{"S: 250 ok", "C: DATA"} + late + Steps{"S: 354 go"},
                        700);
    host.port = smtp.port();
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(engine.LastFailure().toStdString(), "");
    EXPECT_EQ(list.rowCount(), 2);
}

// A send still going when its check has failed never drives the next check's session.
TEST_F(MailboxSafety, ASendsCloseResumesOnlyItsOwnSession)
{
    engine.PopTimeoutTicks = 500;
    engine.AutoReplyOn = true;
    ScriptedServer smtp(Steps{"S| ", "S: 220 hi", "C: EHLO 127.0.0.1", "S| ", "S: 250 ok",
                              "C: MAIL FROM:<alice@example.com>", "S| ", "S: 554 no"},
                        300);
    host.port = smtp.port();
    ScriptedServer first(kLogin + stat(1) + kPlain + head(1, "ann", "Hello") + Steps{"CLOSE"});
    account(first.port());
    engine.CheckMail(checkmailClass::TimedCheck);
    ASSERT_TRUE(waitUntil([&] { return finished->size() == 1 && engine.MyStatus() == checkmailClass::Idle; }));
    ASSERT_TRUE(engine.Sending());

    ScriptedServer second(kLogin + Steps{"C: STAT", "S| ", "S: +OK 0 0"} + kQuit, 3000);
    account(second.port());
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_TRUE(second.scenarioDone()) << second.report().toStdString();
    EXPECT_EQ(engine.LastFailure(), "");
}

// The real log pause on the real clock: every new mail is listed and answered, one pause after
// another, while the server's replies are read as they come.
TEST_F(MailboxSafety, RepliesFollowTheLogPauseOnTheRealClock)
{
    platform::SetAppClock(nullptr);
    controls.popTimer.setInterval(1000);
    controls.smtpTimer.setInterval(1000);
    engine.PopTimeoutTicks = 40;
    peers.clear("alice");
    account(peers.pop3Port());
    engine.AutoReplyOn = true;
    peers.fill("alice", {"01-plain.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    peers.fill("alice", {"02-html.eml", "05-utf8.eml", "06-alternative.eml"});

    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(engine.LastFailure(), "");
    EXPECT_EQ(list.rowCount(), 4);
    EXPECT_EQ(answered(),
              (QMap<QString, int>{{"news@example.org", 1}, {"juergen@example.de", 1}, {"carol@example.org", 1}}));
    // Four pauses of one and a half to two seconds: the listing's and one per reply.
    EXPECT_GE(took.elapsed(), 4 * 1400);
    EXPECT_LT(took.elapsed(), 15000);
}

// A fetch asked while a check runs waits for the check's end instead of taking its session over;
// without the web sign-in a fetch still ends, with the placeholder the caller hears.
TEST_F(MailboxSafety, ARequestWaitsForTheSessionInProgress)
{
    peers.clear("alice");
    account(peers.pop3Port());
    peers.fill("alice", {"01-plain.eml", "02-html.eml"});
    QList<int> modes;
    QObject::connect(&engine, &checkmailClass::CheckmailFinish, [&](int32_t mode) { modes << mode; });
    engine.CheckMail(checkmailClass::FirstCheck);
    engine.RetrieveMailInServer(2);
    ASSERT_TRUE(waitUntil([&] { return modes.size() == 2 && engine.MyStatus() == checkmailClass::Idle; }));
    EXPECT_EQ(modes, (QList<int>{checkmailClass::FirstCheck, checkmailClass::FetchOne}));
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_TRUE(engine.DisplayText.contains("newsletter", Qt::CaseInsensitive)) << engine.DisplayText.toStdString();

    host.isSignedIn = false;
    ASSERT_TRUE(run([&] { engine.RetrieveMailInServer(1); }));
    EXPECT_EQ(engine.DisplayText, checkmailClass::kFetchFailed);
}
