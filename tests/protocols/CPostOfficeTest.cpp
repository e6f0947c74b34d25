// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedServer.h"
#include "TestSupport.h"
#include "platform/SystemLocale.h"
#include "protocols/CPostOffice.h"

#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using Steps = QList<QByteArray>;
using Status = CPostOffice::Status;
using React = std::function<void(CPostOffice&)>;
enum Ask { Nothing, Headers, Whole, ToFile, Delete, Quit, Drop }; // the engine's first step once the count is known

const Steps kLogin = {"S: +OK ready", "C: USER alice", "S: +OK", "C: PASS secret", "S: +OK"};
const Steps kQuit = {"C: QUIT", "S: +OK bye"};

Steps top(int n, const QByteArray& subject)
{
    return {"C: TOP " + QByteArray::number(n) + " 0", "S: +OK", "S: Subject: " + subject,
            "S: Date: Tue, 4 Feb 2003 10:00:00",      "S: ",    "S: ."};
}

// The engine's part: a socket and a fast timer lent to the client, and what each POPStatus showed.
class PostOffice : public ::testing::Test
{
protected:
    PostOffice() { platform::SetSystemLcidOverride(0x0409); }
    ~PostOffice() override { platform::SetSystemLcidOverride(0); }

    // Once the count is known does ask with it; after each message read, asks for the next up to
    // last, then quits. ToFile reads the message again into a file.
    React follow(Ask ask, int last)
    {
        return [this, ask, last](CPostOffice& p) {
            if (p.status() == Status::RetrSent && ask == ToFile)
                return p.WriteCurrentMsgToFile(folder.file("m.eml"));
            if (p.status() == Status::TopSent || p.status() == Status::RetrSent || p.status() == Status::RetrToFile)
                return p.CurrentMessageNum() < last ? p.RetrieveNext() : p.QuitServer();
            if (p.status() == Status::DeleSent)
                return p.QuitServer();
            if (p.status() != Status::StatSent && p.status() != Status::UidlSent)
                return;
            switch (ask) {
            case Headers: return p.SetCurrentMsg(p.MsgCount());
            case Whole:
            case ToFile: return p.RetrieveMsgNum(p.MsgCount());
            case Delete: return p.DeleteMsgNum(p.MsgCount());
            case Quit: return p.QuitServer();
            case Drop: return p.DisConnect();
            case Nothing: return;
            }
        };
    }
    // A fresh client on script's server; true once its session has ended.
    bool play(const Steps& script, Ask ask = Nothing, int last = 0)
    {
        seen = {};
        pop.reset();
        server = std::make_unique<ScriptedServer>(script);
        pop = std::make_unique<CPostOffice>();
        start(*pop, server->port(), follow(ask, last));
        return waitUntil([&] { return pop->status() == Status::Closed; });
    }
    void start(CPostOffice& p, quint16 port, React react = {})
    {
        timer.setInterval(5);
        p.setTimerControl(&timer);
        p.Winsock(&socket);
        p.POPHostname(QStringLiteral("127.0.0.1"));
        p.POPUserName = QStringLiteral("alice");
        p.POPPassword = QStringLiteral("secret");
        p.POPPort(port);
        p.TimeoutCount = 400;
        QObject::connect(&p, &CPostOffice::POPStatus, [this, &p, react] {
            seen.statuses.push_back(p.status());
            if (p.status() == Status::TopSent || p.status() == Status::RetrSent) {
                seen.listed << p.MsgSubject() + " " + p.MsgSendDate().toString(Qt::ISODate);
                seen.body = p.MsgContentsByte();
            }
            if (react)
                react(p);
        });
        p.Connect();
    }

    testing_support::TempFolder folder;
    QTcpSocket socket;
    QTimer timer;
    struct
    {
        std::vector<int> statuses;
        QStringList listed; // "subject date" of each message read
        QByteArray body;
    } seen;
    std::unique_ptr<ScriptedServer> server;
    std::unique_ptr<CPostOffice> pop;
};

} // namespace

TEST_F(PostOffice, SessionsFollowTheRepliesHoweverTheyArrive)
{
    const QByteArray head = "+OK\r\nSubject: big\r\n\r\n";
    QByteArray big;
    while (big.size() < 40000)
        big += QByteArray(78, char('a' + big.size() % 26)) + "\r\n";
    const QByteArray kept = (head + big).left(CPostOffice::kReplyBufferCap).mid(head.size()) + "\n";
    const Steps retr = kLogin + Steps{"C: STAT", "S: +OK 1 9", "C: RETR 1"};
    const Steps stat3 = kLogin + Steps{"C: STAT", "S: +OK 3 9"};
    const Steps uidl1 = kLogin + Steps{"C: STAT", "S: +OK 1 9", "C: UIDL 1", "S: +OK 1 u"};
    // The POPStatus events of each kind of session; QUIT raises one at once and one after the reply.
    using Events = std::vector<int>;
    const Events listed = {Status::StatSent, Status::TopSent, Status::QuitSent, Status::Closed};
    const Events read = {Status::StatSent, Status::RetrSent, Status::QuitSent, Status::Closed};
    const Events failed = {Status::StatSent, Status::Closed};
    const struct
    {
        const char* what;
        Steps script;
        Ask ask;
        int last; // the last message read
        Events statuses;
        QString listed = {}; // "subject date" of the message read
        QByteArray body = {};
        const char* desc = ""; // a protocol error's
        std::string uid = {};
        QByteArray file = {}; // the file keeps the status line, not ". CR LF"
    } rows[] = {
        // headers and ids listed, with the replies split anywhere
        {"one-line replies split",
         Steps{"S| +O", "S: K ready", "C: USER alice", "S| +OK", "S:", "C: PASS secret", "S| +OK\r", "S:", "C: STAT",
               "S| +OK 1", "S: 2 320", "C: UIDL 12", "S| +OK 12 ab", "S: c"}
             + top(12, "hi") + kQuit,
         Headers, 12, listed, "hi 2003-02-04", "", "", "abc\r\n"},
        {"end marker byte by byte",
         uidl1 + Steps{"C: TOP 1 0", "S: +OK", "S| Subject: bytes\r\n\r", "S| \n", "S| .", "S| \r", "S| \n"} + kQuit,
         Headers, 1, listed, "bytes 9999-01-01", "", "", "u\r\n"},
        // whole messages, however long and however they arrive
        {"40000 bytes at once, kept to the cap", retr + Steps{"S: " + head + big + "."} + kQuit, Whole, 1, read,
         "big 9999-01-01", kept},
        {"the same message again, into a file",
         retr
             + Steps{"S: +OK", "S: Subject: f", "S:", "S: body", "S: .", "C: RETR 1",
                     "S| +OK 9\r\nSubject: f\r\n\r\nbody\r\n.\r", "S| \n"}
             + kQuit,
         ToFile, 1, Events{Status::StatSent, Status::RetrSent, Status::RetrToFile, Status::QuitSent, Status::Closed},
         "f 9999-01-01", "body\r\n", "", "", "+OK 9\r\nSubject: f\r\n\r\nbody\r\n"},
        // a refused command, or a server that goes away, ends the session at once with the reason
        {"RETR refused", retr + Steps{"S: -ERR locked"}, Whole, 1, failed, "", "", "POP Protocol : 6 -ERR locked\r\n"},
        {"DELE refused", stat3 + Steps{"C: DELE 3", "S: -ERR no"}, Delete, 0, failed, "", "",
         "POP Protocol : 7 -ERR no\r\n"},
        {"closed after QUIT", stat3 + Steps{"C: QUIT", "CLOSE"}, Quit, 0,
         Events{Status::StatSent, Status::QuitSent, Status::Closed}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(play(row.script, row.ask, row.last));
        EXPECT_EQ(seen.statuses, row.statuses);
        EXPECT_EQ(pop->ErrNum(), *row.desc ? CPostOffice::kProtocolError : 0);
        EXPECT_EQ(pop->ErrDesc().toStdString(), row.desc);
        EXPECT_EQ(seen.listed, row.listed.isEmpty() ? QStringList() : QStringList{row.listed});
        EXPECT_EQ(pop->MsgUniqueID().toStdString(), row.uid);
        EXPECT_EQ(seen.body, row.body);
        EXPECT_EQ(folder.read("m.eml"), row.file);
        QFile::remove(folder.file("m.eml"));
        EXPECT_FALSE(timer.isActive()); // no time-out can follow a finished session
        EXPECT_TRUE(server->scenarioDone()) << server->report().toStdString();
    }
}

TEST_F(PostOffice, CountsMustBeMessageNumbers)
{
    const struct
    {
        const char* reply;
        int count; // -1: the session ends with a protocol error
    } rows[] = {
        {"+OK 0 0", 0}, {"+OK 32767 9", 32767}, {"+OK 5", 5}, {"+OK 32768 0", -1}, {"+OK x 0", -1}, {"+OK", -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        const Steps script = kLogin + Steps{"C: STAT", "S: " + QByteArray(row.reply)};
        ASSERT_TRUE(play(script, Drop));
        EXPECT_EQ(pop->ErrNum(), row.count < 0 ? CPostOffice::kProtocolError : 0);
        EXPECT_TRUE(row.count < 0 || pop->MsgCount() == row.count) << pop->MsgCount();
    }
    for (int16_t n : {0, -1, -32768}) { // a count that wrapped is refused too
        CPostOffice fresh;
        QSignalSpy raised(&fresh, &CPostOffice::POPStatus);
        fresh.SetCurrentMsg(n);
        EXPECT_EQ(raised.count(), 1);
        EXPECT_EQ(fresh.ErrNum(), CPostOffice::kProtocolError);
    }
}

TEST_F(PostOffice, AReleasedClientLeavesTheNextSessionAlone)
{
    ScriptedServer first(kLogin + Steps{"C: STAT", "S: +OK 1 9"});
    QPointer<CPostOffice> old(new CPostOffice);
    start(*old, first.port());
    ASSERT_TRUE(waitUntil([&] { return !seen.statuses.empty(); }));
    old->deleteLater(); // released by the engine in the middle of its session
    ASSERT_TRUE(play(kLogin + Steps{"C: STAT", "S: +OK 0 0"} + kQuit, Quit));
    EXPECT_TRUE(old.isNull()); // it was destroyed while the new session ran
    EXPECT_EQ(seen.statuses, (std::vector<int>{Status::StatSent, Status::QuitSent, Status::Closed}));
    EXPECT_EQ(pop->ErrNum(), 0);
    EXPECT_TRUE(server->scenarioDone()) << server->report().toStdString();
}
