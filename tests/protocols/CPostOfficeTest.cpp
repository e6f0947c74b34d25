#include "ScriptedServer.h"
#include "TestSupport.h"
#include "platform/SystemLocale.h"
#include "protocols/CPostOffice.h"

#include <QFile>
#include <QSignalSpy>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Steps = QList<QByteArray>;
using Status = CPostOffice::Status;

const Steps kLogin = {"S: +OK ready", "C: USER alice", "S: +OK", "C: PASS secret", "S: +OK"};

// The engine's part: a socket and a fast timer lent to the client, and the statuses it raised.
class PostOffice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::SetSystemLcidOverride(0x0409);
        timer.setInterval(5);
    }
    void TearDown() override
    {
        platform::SetSystemCodePageOverride(0);
        platform::SetSystemLcidOverride(0);
    }

    // Connects to the server; every POPStatus is recorded, then answered by next().
    void start(CPostOffice& pop, quint16 port, std::function<void()> next = {}, int16_t timeoutTicks = 400)
    {
        pop.setTimerControl(&timer);
        pop.Winsock(&socket);
        pop.POPHostname(QStringLiteral("127.0.0.1"));
        pop.POPUserName = QStringLiteral("alice");
        pop.POPPassword = QStringLiteral("secret");
        pop.POPPort(port);
        pop.TimeoutCount = timeoutTicks;
        QObject::connect(&pop, &CPostOffice::POPStatus, [this, &pop, next] {
            statuses.push_back(pop.status());
            if (next)
                next();
        });
        pop.Connect();
    }
    static bool ended(const CPostOffice& pop)
    {
        return waitUntil([&] { return pop.status() == CPostOffice::Closed; });
    }

    QTcpSocket socket;
    QTimer timer;
    std::vector<int> statuses;
};

} // namespace

TEST_F(PostOffice, ListsHeadersOfNewMessages)
{
    ScriptedServer server(kLogin + Steps{
        "C: STAT",      "S: +OK 2 320",
        "C: UIDL 2",    "S: +OK 2 abc",
        "C: TOP 2 0",   "S: +OK", "S: Subject: hi", "S: Date: Tue, 4 Feb 2003 10:00:00", "S: ", "S: .",
        "C: QUIT",      "S: +OK bye",
    });
    CPostOffice pop;
    QString subject;
    QDate date;
    start(pop, server.port(), [&] {
        if (pop.status() == Status::StatSent)
            pop.SetCurrentMsg(pop.MsgCount());
        else if (pop.status() == Status::TopSent) {
            subject = pop.MsgSubject();
            date = pop.MsgSendDate();
            pop.QuitServer();
        }
    });
    ASSERT_TRUE(ended(pop));
    EXPECT_EQ(statuses, (std::vector<int>{3, 5, 8, 10})); // QUIT: one event at once, one after the reply
    EXPECT_EQ(pop.MsgCount(), 2);
    EXPECT_EQ(pop.MsgUniqueID(), "abc\r\n");
    EXPECT_EQ(subject, "hi");
    EXPECT_EQ(date, QDate(2003, 2, 4));
    EXPECT_EQ(pop.ErrNum(), 0);
    EXPECT_FALSE(timer.isActive()); // no time-out can follow a finished session
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
}

TEST_F(PostOffice, RejectedUserNameListsWithTopAlone)
{
    ScriptedServer server({
        "S: +OK ready", "C: USER alice", "S: -ERR who?", "C: PASS secret", "S: +OK",
        "C: STAT",      "S: +OK 2 320",
        "C: UIDL 1",    "S: +OK 1 abc",
        "C: TOP 1 0",   "S: +OK", "S: Subject: one", "S:", "S: .",
        "C: TOP 2 0",   "S: +OK", "S: Subject: two", "S:", "S: .",
        "C: QUIT",      "S: +OK",
    });
    CPostOffice pop;
    int16_t countAtUidl = -1;
    QStringList subjects;
    start(pop, server.port(), [&] {
        if (pop.status() == Status::UidlSent) {
            countAtUidl = pop.MsgCount();
            pop.SetCurrentMsg(1);
        } else if (pop.status() == Status::TopSent) {
            subjects << pop.MsgSubject();
            pop.CurrentMessageNum() < 2 ? pop.RetrieveNext() : pop.QuitServer();
        }
    });
    ASSERT_TRUE(ended(pop));
    EXPECT_TRUE(pop.UserRejected());
    EXPECT_EQ(countAtUidl, 1); // the count comes from message 1's UIDL line
    EXPECT_EQ(subjects, QStringList({"one", "two"}));
    EXPECT_EQ(statuses, (std::vector<int>{4, 5, 5, 8, 10}));
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
}

TEST_F(PostOffice, FindsTheEndOfMultiLineRepliesHoweverTheyArrive)
{
    const QByteArray head = "+OK\r\nSubject: big\r\n\r\n";
    QByteArray body;
    while (body.size() < 40000)
        body += QByteArray(78, char('a' + body.size() % 26)) + "\r\n";
    const QByteArray kept = (head + body).left(CPostOffice::kReplyBufferCap).mid(head.size()) + "\n";
    QList<QByteArray> pieces; // the big reply in ten segments
    for (qsizetype at = 0; at < body.size(); at += body.size() / 10 + 1)
        pieces << "S| " + body.mid(at, body.size() / 10 + 1);

    const struct {
        const char* what;
        bool whole; // RETR, else TOP
        Steps reply;
        QByteArray subject, body;
    } rows[] = {
        {"marker split after the dot", false, {"S: +OK", "S: Subject: split", "S:", "S| .", "S: "}, "split", {}},
        {"marker byte by byte", false, {"S: +OK", "S| Subject: bytes\r\n\r", "S| \n", "S| .", "S| \r", "S| \n"}, "bytes", {}},
        {"body across segments", true, {"S| +OK 9\r\nSubject: r\r\n\r\nfirst ", "S| line\r\nsecond\r\n", "S: ."},
         "r", "first line\r\nsecond\r\n"},
        {"40000 bytes at once", true, {"S: " + head + body + "."}, "big", kept},
        {"40000 bytes in segments", true, Steps{"S| " + head} + pieces + Steps{"S: ."}, "big", kept},
        {"40000 bytes, marker byte by byte", true,
         {"S| " + head + body.chopped(1), "S| \n", "S| .", "S| \r", "S| \n"}, "big", kept},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        statuses.clear();
        ScriptedServer server(kLogin + Steps{"C: STAT", "S: +OK 1 9", row.whole ? "C: RETR 1" : "C: UIDL 1"}
                              + (row.whole ? Steps{} : Steps{"S: +OK 1 u", "C: TOP 1 0"}) + row.reply
                              + Steps{"C: QUIT", "S: +OK"});
        CPostOffice pop;
        QByteArray subject, text;
        start(pop, server.port(), [&] {
            if (pop.status() == Status::StatSent)
                row.whole ? pop.RetrieveMsgNum(1) : pop.SetCurrentMsg(1);
            else if (pop.status() == Status::TopSent || pop.status() == Status::RetrSent) {
                subject = pop.MsgSubject().toLatin1();
                text = pop.MsgContentsByte();
                pop.QuitServer();
            }
        });
        ASSERT_TRUE(ended(pop));
        EXPECT_EQ(pop.ErrNum(), 0);
        EXPECT_EQ(statuses.size(), 4u); // one event per step, nothing twice
        EXPECT_EQ(subject, row.subject);
        if (row.whole) {
            EXPECT_EQ(text, row.body);
        }
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
    }
}

TEST_F(PostOffice, WritesAWholeMessageToAFile)
{
    testing_support::TempFolder folder;
    ScriptedServer server(kLogin + Steps{
        "C: STAT", "S: +OK 1 9", "C: RETR 1", "S: +OK", "S: Subject: f", "S:", "S: body", "S: .",
        "C: RETR 1", "S| +OK 9\r\nSubject: f\r\n\r\nbody\r\n.\r", "S| \n",
        "C: QUIT", "S: +OK"});
    CPostOffice pop;
    start(pop, server.port(), [&] {
        if (pop.status() == Status::StatSent)
            pop.RetrieveMsgNum(1);
        else if (pop.status() == Status::RetrSent) // the same message again, into the file
            pop.WriteCurrentMsgToFile(folder.file("m.eml"));
        else if (pop.status() == Status::RetrToFile)
            pop.QuitServer();
    });
    ASSERT_TRUE(ended(pop));
    EXPECT_EQ(statuses, (std::vector<int>{3, 6, 9, 8, 10}));
    QFile written(folder.file("m.eml"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "+OK 9\r\nSubject: f\r\n\r\nbody\r\n"); // status line kept, ". CR LF" not
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
}

TEST_F(PostOffice, NegativeRepliesEndTheSessionWithTheReply)
{
    const struct {
        Steps script;
        std::function<void(CPostOffice&)> atStat;
        const char* desc;
    } rows[] = {
        {{"S: -ERR busy"}, {}, "POP Protocol : 0 -ERR busy\r\n"},
        {{"S: +OK", "C: USER alice", "S: +OK", "C: PASS secret", "S: -ERR denied"}, {}, "POP Protocol : 2 -ERR denied\r\n"},
        {kLogin + Steps{"C: STAT", "S: -ERR locked"}, {}, "POP Protocol : 3 -ERR locked\r\n"},
        {kLogin + Steps{"C: STAT", "S: +OK 3 9", "C: UIDL 3", "S: -ERR gone"},
         [](CPostOffice& p) { p.SetCurrentMsg(3); }, "POP Protocol : 4 -ERR gone\r\n"},
        {kLogin + Steps{"C: STAT", "S: +OK 3 9", "C: DELE 2", "S: -ERR no"},
         [](CPostOffice& p) { p.DeleteMsgNum(2); }, "POP Protocol : 7 -ERR no\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.desc);
        ScriptedServer server(row.script);
        CPostOffice pop;
        start(pop, server.port(), [&] {
            if (pop.status() == Status::StatSent && row.atStat)
                row.atStat(pop);
        });
        ASSERT_TRUE(ended(pop));
        EXPECT_EQ(pop.ErrNum(), CPostOffice::kProtocolError);
        EXPECT_EQ(pop.ErrDesc(), row.desc);
        EXPECT_FALSE(timer.isActive());
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
    }
}

TEST_F(PostOffice, ReadsOneLineRepliesOnlyWhenComplete)
{
    ScriptedServer server({
        "S| +O", "S: K ready",
        "C: USER alice", "S| +OK", "S:",
        "C: PASS secret", "S| +OK\r", "S:",
        "C: STAT", "S| +OK 1", "S: 2 320", // one reply: twelve messages
        "C: UIDL 12", "S| +OK 12 ab", "S: c",
        "C: TOP 12 0", "S: +OK", "S:", "S: .",
        "C: QUIT", "S: +OK"});
    CPostOffice pop;
    start(pop, server.port(), [&] {
        if (pop.status() == Status::StatSent)
            pop.SetCurrentMsg(pop.MsgCount());
        else if (pop.status() == Status::TopSent)
            pop.QuitServer();
    });
    ASSERT_TRUE(ended(pop));
    EXPECT_EQ(statuses, (std::vector<int>{3, 5, 8, 10}));
    EXPECT_EQ(pop.MsgCount(), 12);
    EXPECT_EQ(pop.MsgUniqueID(), "abc\r\n");
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
}

TEST_F(PostOffice, CountsMustBeMessageNumbers)
{
    const struct {
        const char* reply;
        bool viaUidl; // the server refused the user name: the count is in the UIDL line
        int count;    // -1: the session ends with a protocol error
    } rows[] = {
        {"+OK 0 0", false, 0},       {"+OK 32767 9", false, 32767}, {"+OK 5", false, 5},
        {"+OK 32768 0", false, -1},  {"+OK -1 0", false, -1},       {"+OK x 0", false, -1},
        {"+OK  3 0", false, -1},     {"+OK", false, -1},            {"+OK 9999999999 0", false, -1},
        {"+OK 1 abc", true, 1},      {"+OK 40000 abc", true, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        statuses.clear();
        Steps script = {"S: +OK", "C: USER alice", row.viaUidl ? "S: -ERR" : "S: +OK", "C: PASS secret", "S: +OK", "C: STAT"};
        script += row.viaUidl ? Steps{"S: +OK 1 1", "C: UIDL 1"} : Steps{};
        script << "S: " + QByteArray(row.reply);
        ScriptedServer server(script);
        CPostOffice pop;
        start(pop, server.port());
        ASSERT_TRUE(waitUntil([&] { return !statuses.empty(); }));
        EXPECT_EQ(pop.ErrNum(), row.count < 0 ? CPostOffice::kProtocolError : 0);
        if (row.count >= 0) {
            EXPECT_EQ(pop.MsgCount(), row.count);
        }
    }
}

TEST_F(PostOffice, TimesOutWhenRepliesDoNotComplete)
{
    timer.setInterval(10);
    const struct {
        const char* what;
        Steps script;
        int ticks;
    } rows[] = {
        {"silent server", {}, 10},
        {"trickling server", {"S* +OK " + QByteArray(100000, 'x')}, 10 * CPostOffice::kReplyTickFactor},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedServer server(row.script, 2);
        QSignalSpy ticks(&timer, &QTimer::timeout);
        CPostOffice pop;
        start(pop, server.port(), {}, 10);
        ASSERT_TRUE(ended(pop));
        EXPECT_EQ(pop.ErrNum(), CPostOffice::kTimeoutError);
        EXPECT_EQ(pop.ErrDesc(), "POP3 Server Timeout ");
        EXPECT_EQ(ticks.count(), row.ticks);
        EXPECT_FALSE(timer.isActive());
        EXPECT_TRUE(waitUntil([&] { return server.clientGone(); })); // the client hung up
    }
}

TEST_F(PostOffice, ServerClosingEndsTheSession)
{
    const struct {
        Steps script;
        bool retr;
        int16_t errNum;
        const char* desc;
    } rows[] = {
        {{"S: +OK", "C: USER alice", "S: +OK", "C: PASS secret", "CLOSE"}, false,
         CPostOffice::kProtocolError, "POP Protocol : 2 connection closed by server"},
        {kLogin + Steps{"C: STAT", "S: +OK 1 9", "C: RETR 1", "S: +OK", "S: Subject: cut", "CLOSE"}, true,
         CPostOffice::kProtocolError, "POP Protocol : 6 connection closed by server"},
        {kLogin + Steps{"C: STAT", "S: +OK 0 0", "C: QUIT", "CLOSE"}, false, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.desc);
        statuses.clear();
        ScriptedServer server(row.script);
        CPostOffice pop;
        start(pop, server.port(), [&] {
            if (pop.status() == Status::StatSent)
                row.retr ? pop.RetrieveMsgNum(1) : pop.QuitServer();
        });
        ASSERT_TRUE(ended(pop));
        EXPECT_EQ(pop.ErrNum(), row.errNum);
        EXPECT_EQ(pop.ErrDesc(), row.desc);
        EXPECT_EQ(statuses.back(), 10);
        EXPECT_FALSE(timer.isActive());
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
    }
}

TEST_F(PostOffice, RefusesMessageNumbersBeyond32767)
{
    ScriptedServer server(kLogin + Steps{
        "C: STAT", "S: +OK 32767 9", "C: UIDL 32767", "S: +OK 32767 z", "C: TOP 32767 0", "S: +OK", "S:", "S: ."});
    CPostOffice pop;
    start(pop, server.port(), [&] {
        if (pop.status() == Status::StatSent)
            pop.SetCurrentMsg(pop.MsgCount());
        else if (pop.status() == Status::TopSent)
            pop.RetrieveNext();
    });
    ASSERT_TRUE(ended(pop));
    EXPECT_EQ(statuses, (std::vector<int>{3, 5, 10}));
    EXPECT_EQ(pop.ErrNum(), CPostOffice::kProtocolError);
    EXPECT_EQ(pop.CurrentMessageNum(), 32767);
    EXPECT_FALSE(server.received().contains("32768")); // nothing was asked of the server
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();

    // A count that wrapped arrives as a number below 1.
    for (int16_t n : {int16_t(0), int16_t(-1), int16_t(-32768)}) {
        CPostOffice fresh;
        QSignalSpy raised(&fresh, &CPostOffice::POPStatus);
        fresh.SetCurrentMsg(n);
        EXPECT_EQ(raised.count(), 1);
        EXPECT_EQ(fresh.ErrNum(), CPostOffice::kProtocolError);
    }
}

TEST_F(PostOffice, DoubleByteTextIsOnlyNoted)
{
    platform::SetSystemCodePageOverride(950);
    ScriptedServer server(kLogin + Steps{
        "C: STAT", "S: +OK 1 9", "C: UIDL 1", "S: +OK 1 u",
        "C: TOP 1 0", "S: +OK", "S: Subject: \xA4\xA4\xA4\xE5", "S:", "S: .", "C: QUIT", "S: +OK"});
    CPostOffice pop;
    QSignalSpy notes(&pop, &CPostOffice::DebugPrint);
    start(pop, server.port(), [&] {
        if (pop.status() == Status::StatSent)
            pop.SetCurrentMsg(1);
        else if (pop.status() == Status::TopSent)
            pop.QuitServer();
    });
    ASSERT_TRUE(ended(pop));
    ASSERT_TRUE(notes.count() == 1 || notes.wait(5000));
    EXPECT_TRUE(notes.first().first().toString().contains(QString::number(CPostOffice::kCodePageMismatch)));
    EXPECT_EQ(pop.ErrNum(), 0);
    EXPECT_EQ(statuses, (std::vector<int>{3, 5, 8, 10}));
}

TEST_F(PostOffice, SocketErrorsCarryTheirNumber)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    CPostOffice pop;
    start(pop, port);
    ASSERT_TRUE(ended(pop));
    EXPECT_EQ(pop.ErrNum(), 10061); // connection refused
    EXPECT_EQ(pop.ErrDesc(), socket.errorString());
    EXPECT_EQ(statuses, (std::vector<int>{10}));
}

TEST_F(PostOffice, AReleasedClientLeavesTheNextSessionAlone)
{
    ScriptedServer first(kLogin + Steps{"C: STAT", "S: +OK 1 9"});
    ScriptedServer second(kLogin + Steps{"C: STAT", "S: +OK 0 0", "C: QUIT", "S: +OK"});
    auto* old = new CPostOffice;
    QPointer<CPostOffice> oldGone(old);
    start(*old, first.port());
    ASSERT_TRUE(waitUntil([&] { return !statuses.empty(); }));
    old->deleteLater(); // released by the engine in the middle of its session

    CPostOffice pop;
    start(pop, second.port(), [&] {
        if (pop.status() == Status::StatSent)
            pop.QuitServer();
    });
    ASSERT_TRUE(ended(pop));
    EXPECT_TRUE(oldGone.isNull()); // it was destroyed while the new session ran
    EXPECT_EQ(statuses, (std::vector<int>{3, 3, 8, 10}));
    EXPECT_EQ(pop.ErrNum(), 0);
    EXPECT_TRUE(second.scenarioDone()) << second.report().toStdString();
}
