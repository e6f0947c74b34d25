// SPDX-License-Identifier: GPL-3.0-or-later
// Listing with a server that announces PIPELINING: commands go ahead in bounded windows, and
// the owner still sees one header at a time, in order, with spam deleted in between.
#include "ScriptedServer.h"
#include "platform/SystemLocale.h"
#include "protocols/CPostOffice.h"

#include <gtest/gtest.h>

namespace {

using Steps = QList<QByteArray>;
using Status = CPostOffice::Status;

const Steps kLogin = {"S: +OK ready", "C: USER alice", "S: +OK", "C: PASS secret", "S: +OK"};
const Steps kCapaAhead = {"C: CAPA", "S: +OK", "S: TOP", "S: UIDL", "S: pipelining", "S: ."};
const Steps kQuit = {"C: QUIT", "S: +OK bye"};

Steps stat(int count)
{
    return {"C: STAT", "S: +OK " + QByteArray::number(count) + " 9999"};
}

// The commands of messages first..last as a pipelining client writes them.
Steps asked(int first, int last)
{
    Steps out;
    for (int n = first; n <= last; ++n)
        out << "C: UIDL " + QByteArray::number(n) << "C: TOP " + QByteArray::number(n) + " 0";
    return out;
}

// The server's replies to them; subjects "m<n>", "SPAM" for the numbers in spam.
Steps answered(int first, int last, const QList<int>& spam = {})
{
    Steps out;
    for (int n = first; n <= last; ++n) {
        const QByteArray num = QByteArray::number(n);
        out << "S: +OK " + num + " id" + num << "S: +OK"
            << "S: Subject: " + (spam.contains(n) ? QByteArray("SPAM") : "m" + num) << "S: "
            << "S: .";
    }
    return out;
}

// An owner that lists from message 1, deletes every "SPAM" and quits after the last message.
class ListingAhead : public ::testing::Test
{
protected:
    ListingAhead()
    {
        platform::SetSystemLcidOverride(0x0409);
        timer.setInterval(5);
        pop.setTimerControl(&timer);
        pop.Winsock(&socket);
        pop.POPHostname(QStringLiteral("127.0.0.1"));
        pop.POPUserName = QStringLiteral("alice");
        pop.POPPassword = QStringLiteral("secret");
        pop.TimeoutCount = 400;
        QObject::connect(&pop, &CPostOffice::POPStatus, [this] { react(); });
    }
    ~ListingAhead() override { platform::SetSystemLcidOverride(0); }

    void play(const Steps& script)
    {
        events.clear();
        server = std::make_unique<ScriptedServer>(script);
        pop.POPPort(server->port());
        pop.Connect();
        ASSERT_TRUE(waitUntil([&] { return pop.status() == Status::Closed; }));
        // What the server has not played yet is a client fault or a missing command.
        EXPECT_TRUE(server->scenarioDone()) << server->report().toStdString();
    }
    void react()
    {
        events << QByteArray::number(pop.status());
        switch (pop.status()) {
        case Status::StatSent: return pop.MsgCount() ? pop.ListFrom(1) : pop.QuitServer();
        case Status::TopSent:
            events.last() += ' ' + pop.MsgSubject().toLatin1() + ' ' + pop.MsgUniqueID().trimmed().toLatin1();
            if (pop.MsgSubject() == QLatin1String("SPAM"))
                return pop.DeleteCurrentMsg();
            [[fallthrough]];
        case Status::DeleSent: return pop.CurrentMessageNum() < pop.MsgCount() ? pop.RetrieveNext() : pop.QuitServer();
        default: return;
        }
    }

    QTcpSocket socket;
    QTimer timer;
    CPostOffice pop;
    std::unique_ptr<ScriptedServer> server;
    QByteArrayList events; // status of each POPStatus, with subject and id for headers
};

} // namespace

// A window and a quarter of messages: a window goes out at once; when fewer than half of it
// remain in flight the rest follow in one go, and only then does the server answer on (it
// faults a line that comes early or late).
TEST_F(ListingAhead, ABigMailboxIsAskedInBoundedWindows)
{
    const int window = CPostOffice::kListAhead;
    const int count = window + window / 4;
    play(kLogin + stat(count) + kCapaAhead + asked(1, window) + answered(1, window / 2 + 1) + asked(window + 1, count)
         + answered(window / 2 + 2, count) + kQuit);
    ASSERT_EQ(events.size(), count + 3);
    EXPECT_EQ(events[1], "5 m1 id1");
    EXPECT_EQ(events[count], "5 m" + QByteArray::number(count) + " id" + QByteArray::number(count));
    EXPECT_EQ(pop.ErrNum(), 0);
}

// Faults inside a window end the session when the owner reaches them: the headers before are
// read, nothing is deleted (no QUIT was confirmed), and the server's words are kept.
TEST_F(ListingAhead, FaultsInAWindowEndTheSessionWhereTheyStand)
{
    const Steps start = kLogin + stat(3) + kCapaAhead + asked(1, 3);
    const struct
    {
        const char* what;
        Steps script;
        QByteArrayList events;
        const char* desc;
    } rows[] = {
        {"TOP refused", start + answered(1, 1) + Steps{"S: +OK 2 id2", "S: -ERR message 2 is gone"} + answered(3, 3),
         QByteArrayList{"3", "5 m1 id1", "10"}, "POP Protocol : 5 -ERR message 2 is gone\r\n"},
        {"DELE refused", start + answered(1, 3, {1}) + Steps{"C: DELE 1", "S: -ERR locked"},
         QByteArrayList{"3", "5 SPAM id1", "10"}, "POP Protocol : 7 -ERR locked\r\n"},
        {"closed in the middle of a header",
         start + answered(1, 1) + Steps{"S: +OK 2 id2", "S: +OK", "S| Subject: m", "CLOSE"},
         QByteArrayList{"3", "5 m1 id1", "10"}, "POP Protocol : 5 connection closed by server"},
        {"closed after a DELE", start + answered(1, 3, {3}) + Steps{"C: DELE 3", "S: +OK", "C: QUIT", "CLOSE"},
         QByteArrayList{"3", "5 m1 id1", "5 m2 id2", "5 SPAM id3", "7", "8", "10"},
         "POP Protocol : 8 connection closed before QUIT was confirmed; nothing was deleted"},
        {"a status line without end", start + Steps{"S| +OK 1 " + QByteArray(CPostOffice::kStatusLineCap + 10, 'x')},
         QByteArrayList{"3", "10"}, nullptr},
    };
    for (const auto& row : rows) {
        play(row.script);
        EXPECT_EQ(events, row.events) << row.what;
        EXPECT_EQ(pop.ErrNum(), CPostOffice::kProtocolError) << row.what;
        if (row.desc) {
            EXPECT_EQ(pop.ErrDesc().toStdString(), row.desc) << row.what;
        }
    }
}

// A header longer than the reply cap keeps its start, as without pipelining, and the replies
// after it are read from where it really ends.
TEST_F(ListingAhead, AnOversizedHeaderIsClippedAndTheNextOneStillRead)
{
    Steps big = {"S: +OK 1 id1", "S: +OK", "S: Subject: big"};
    for (int i = 0; i < 600; ++i)
        big << "S: X-Filler: " + QByteArray(70, char('a' + i % 26));
    big << "S: "
        << "S: .";
    play(kLogin + stat(2) + kCapaAhead + asked(1, 2) + big + answered(2, 2) + kQuit);
    EXPECT_EQ(events, QByteArrayList({"3", "5 big id1", "5 m2 id2", "8", "10"}));
}
