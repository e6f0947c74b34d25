// SPDX-License-Identifier: GPL-3.0-or-later
#include "MailFixture.h"
#include "protocols/ScriptedServer.h"

namespace {

using Steps = QList<QByteArray>;

const Steps kLoginAndTwo = {"S: +OK ready", "C: USER alice", "S: +OK",      "C: PASS secret",
                            "S: +OK",       "C: STAT",       "S: +OK 2 640"};
// The listing asks for capabilities first: a server without CAPA is asked one command at a time.
const Steps kListing = kLoginAndTwo + QList<QByteArray>{"C: CAPA", "S: -ERR unknown command"};
// Faults inside a pipelined window are in CPostOfficeAheadTest.

class ServerFaults : public MailTest
{
protected:
    ServerFaults() { engine.PopTimeoutTicks = 50; } // half a second of silence
};

} // namespace

// Whatever the server does, the check ends, the window can go on, and nothing is deleted
// that is not spam (the server checks every command line, so a stray DELE is a fault).
TEST_F(ServerFaults, EveryCheckEndsAndNothingButSpamIsDeleted)
{
    const QByteArray longTrickle(2000, 'x');
    // What the user reads in the status bar and the log, after "127.0.0.1:<port> ".
    const struct
    {
        const char* name;
        Steps steps;
        const char* reason;
    } cases[] = {
        {"closes in the middle of a header",
         kListing + Steps{"C: UIDL 1", "S: +OK 1 a", "C: TOP 1 0", "S: +OK", "S| Subject: half", "CLOSE"},
         "check failed: POP Protocol : 5 connection closed by server"},
        {"garbage greeting", {"S: \x01\x02garbage"}, "refused a command: garbage"},
        {"never ends a reply", kListing + Steps{"C: UIDL 1", "S: +OK 1 a", "C: TOP 1 0", "S: +OK", "S* " + longTrickle},
         "did not answer in time (POP3 Server Timeout)"},
        {"closes after deleting spam, before QUIT",
         kListing
             + Steps{"C: UIDL 1", "S: +OK 1 a", "C: TOP 1 0", "S: +OK", "S: Subject: WIN A PRIZE", "S: ", "S: .",
                     "C: DELE 1", "CLOSE"},
         "check failed: POP Protocol : 7 connection closed by server"},
    };
    host.subjects = {"WIN A PRIZE"};
    for (const auto& c : cases) {
        ScriptedServer server(c.steps);
        account(server.port());
        engine.LastErrorNumber = 0;
        engine.DisplayText.clear();
        ASSERT_TRUE(check(checkmailClass::TimedCheck)) << c.name;
        EXPECT_TRUE(server.scenarioDone()) << c.name << ": " << server.report().toStdString();
        EXPECT_EQ(engine.DisplayText, checkmailClass::kFetchFailed) << c.name;
        EXPECT_NE(engine.LastErrorNumber, 0) << c.name;
        EXPECT_EQ(list.rowCount(), 0) << c.name;
        EXPECT_FALSE(engine.SessionRunning()) << c.name;
        const QString where = QStringLiteral("127.0.0.1:%1 ").arg(server.port());
        EXPECT_EQ(engine.LastFailure().toStdString(), (where + c.reason).toStdString()) << c.name;
        EXPECT_TRUE(debug.contains(engine.LastFailure())) << c.name; // and in the log
    }
}
