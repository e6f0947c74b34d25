#include "ScriptedServer.h"
#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"
#include "protocols/cSmtp.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Steps = QList<QByteArray>;

const Steps kUpToData = {"S: 220 sink ready", "C: HELO 127.0.0.1", "S: 250 hello",
                         "C: MAIL FROM:ann@x.org", "S: 250 ok", "C: RCPT TO:bob@y.org", "S: 250 ok",
                         "C: DATA", "S: 354 go ahead"};

// The owner's part: a socket and a fast timer lent to the client, a fixed clock, a program
// folder of the test's own, and the codes ServerClose raised.
class Smtp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::SetSystemLcidOverride(0x0409);
        platform::SetAppClock(&clock);
        platform::SetProgramFolderOverride(folder.path());
        timer.setInterval(5);
    }
    void TearDown() override
    {
        platform::SetProgramFolderOverride(QString());
        platform::SetAppClock(nullptr);
        platform::SetSystemLcidOverride(0);
    }

    // Lends the controls and sets the standard mail; Connect is the test's.
    void lend(cSmtp& smtp, quint16 port)
    {
        smtp.setWsock(&socket);
        smtp.setWtimeout(&timer);
        smtp.SMTPPort = port;
        smtp.SendTo = QStringLiteral("bob@y.org");
        smtp.MailFrom = QStringLiteral("ann@x.org");
        smtp.Server = QStringLiteral("127.0.0.1");
        smtp.MessageText = QStringLiteral("hello");
        smtp.MessageSubject = QStringLiteral("hi");
        QObject::connect(&smtp, &cSmtp::ServerClose, [this](int16_t code) { closes.push_back(code); });
    }
    void start(cSmtp& smtp, quint16 port)
    {
        lend(smtp, port);
        smtp.Connect(0, QString());
    }
    bool closed() { return waitUntil([&] { return !closes.empty(); }); }

    // The message lines the server receives for the standard settings, the fixed clock's date first.
    static Steps text(const Steps& body = {"C: hello", "C: ", "C: ", "C: ."})
    {
        const QByteArray date = "C: DATE: 04 " + QLocale::system().monthName(2, QLocale::ShortFormat).toLatin1() + " 03 09:05:07";
        return Steps{date, "C: From: ann@x.org", "C: To: bob@y.org", "C: Subject: hi", "C: "} + body;
    }

    platform::ManualClock clock{QDateTime(QDate(2003, 2, 4), QTime(9, 5, 7)).toMSecsSinceEpoch()};
    testing_support::TempFolder folder;
    QTcpSocket socket;
    QTimer timer;
    std::vector<int> closes;
};

} // namespace

TEST_F(Smtp, DeliversAMessageInSixCommands)
{
    ScriptedServer server(kUpToData + text() + Steps{"S: 250 queued", "C: QUIT", "S: 221 bye"});
    cSmtp smtp;
    QSignalSpy connected(&smtp, &cSmtp::ServerConnect);
    QSignalSpy sending(&smtp, &cSmtp::Sending);
    QSignalSpy written(&smtp, &cSmtp::SendComplete);
    start(smtp, server.port());
    EXPECT_EQ(smtp.status(), "Connecting to Mail server");
    ASSERT_TRUE(closed());
    EXPECT_EQ(closes, std::vector<int>{cSmtp::Delivered});
    EXPECT_EQ(smtp.status(), "Message sent");
    EXPECT_EQ(connected.count(), 1);
    EXPECT_EQ(sending.count(), 1);
    EXPECT_GE(written.count(), 1);
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();

    // The owner may run its timer on: no time-out follows a finished mail.
    QSignalSpy ticks(&timer, &QTimer::timeout);
    timer.start();
    ASSERT_TRUE(waitUntil([&] { return ticks.count() > cSmtp::kTimeoutTicks + 5; }));
    EXPECT_EQ(closes, std::vector<int>{cSmtp::Delivered});
}

TEST_F(Smtp, RepliesDecideHowTheMailEnds)
{
    const Steps sent = kUpToData + text() + Steps{"S: 250 queued", "C: QUIT"};
    const struct {
        const char* what;
        Steps script;
        int code;
        const char* status;
    } rows[] = {
        {"recipient refused", {"S: 220 hi", "C: HELO 127.0.0.1", "S: 250 hello", "C: MAIL FROM:ann@x.org", "S: 250 ok",
                               "C: RCPT TO:bob@y.org", "S: 550 no such user", "C: QUIT", "S: 221 bye"},
         cSmtp::NotDelivered, "SMTP Err : 550"},
        {"greeting refused", {"S: 421 busy", "C: QUIT", "S: 221 bye"}, cSmtp::NotDelivered, "SMTP Err : 421"},
        {"QUIT refused after delivery", sent + Steps{"S: 500 what?"}, cSmtp::Delivered, "Message sent"},
        {"QUIT refused after an error", {"S: 554 go away", "C: QUIT", "S: 500 what?"}, cSmtp::NotDelivered, "SMTP Err : 554"},
        {"closed after the greeting", {"S: 220 hi", "C: HELO 127.0.0.1", "CLOSE"}, cSmtp::NotDelivered, "Connecting to Mail server"},
        {"closed before acceptance", kUpToData + text() + Steps{"CLOSE"}, cSmtp::NotDelivered, "Connecting to Mail server"},
        {"closed after delivery", sent + Steps{"CLOSE"}, cSmtp::ServerClosed, "Message sent"},
        {"multi-line replies", Steps{"S: 220-sink", "S: 220-says", "S: 220 hello", "C: HELO 127.0.0.1",
                                "S: 250-sink", "S: 250-SIZE 1000", "S: 250 HELP", "C: MAIL FROM:ann@x.org", "S: 250 ok",
                                "C: RCPT TO:bob@y.org", "S: 250 ok", "C: DATA", "S: 354 go"}
                                   + text() + Steps{"S: 250 ok", "C: QUIT", "S: 221-bye", "S: 221 bye"},
         cSmtp::Delivered, "Message sent"},
        {"replies split over segments", Steps{"S| 2", "S: 20 hi", "C: HELO 127.0.0.1", "S| 250 hel", "S: lo",
                                         "C: MAIL FROM:ann@x.org", "S| 250 ok\r", "S| \n", "C: RCPT TO:bob@y.org",
                                         "S: 250 ok", "C: DATA", "S| 35", "S: 4 go"}
                                            + text() + Steps{"S| 25", "S: 0 ok", "C: QUIT", "S| 22", "S: 1 bye"},
         cSmtp::Delivered, "Message sent"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        closes.clear();
        ScriptedServer server(row.script);
        cSmtp smtp;
        start(smtp, server.port());
        ASSERT_TRUE(closed());
        EXPECT_EQ(closes, std::vector<int>{row.code});
        EXPECT_EQ(smtp.status(), row.status);
        EXPECT_FALSE(timer.isActive());
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
    }
}

TEST_F(Smtp, MessageLinesCannotEndTheDataOrAddHeaders)
{
    ScriptedServer server(Steps{"S: 220 hi", "C: HELO 127.0.0.1", "S: 250 hello",
                                "C: MAIL FROM:ann@x.org ", "S: 250 ok", "C: RCPT TO:bob@y.org  RCPT TO:eve@z.org",
                                "S: 250 ok", "C: DATA", "S: 354 go",
                                "C: DATE: 04 " + QLocale::system().monthName(2, QLocale::ShortFormat).toLatin1() + " 03 09:05:07",
                                "C: From: ann@x.org ", "C: To: bob@y.org  RCPT TO:eve@z.org", "C: Subject: a  Bcc: eve@z.org",
                                "C: ", "C: ..hidden", "C: ..", "C: plain\n..after a bare line feed", "C: ", "C: ", "C: .",
                                "S: 250 ok", "C: QUIT", "S: 221 bye"});
    cSmtp smtp;
    lend(smtp, server.port());
    smtp.MailFrom = QStringLiteral("ann@x.org\n");
    smtp.SendTo = QStringLiteral("bob@y.org\r\nRCPT TO:eve@z.org");
    smtp.MessageSubject = QStringLiteral("a\r\nBcc: eve@z.org");
    smtp.MessageText = QStringLiteral(".hidden\r\n.\r\nplain\n.after a bare line feed");
    smtp.Connect(0, QString());
    ASSERT_TRUE(closed());
    EXPECT_EQ(closes, std::vector<int>{cSmtp::Delivered});
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
}

TEST_F(Smtp, AttachesAFileUuencoded)
{
    folder.write("a.bin", "Cats and dogs!"); // 14 bytes: the encoded line begins with "."
    // The block's lines end in LF alone, so the server reads it as one line.
    ScriptedServer server(kUpToData + text({"C: hello", "C: ", "C: begin 664 a.bin\n..0V%T<R!A;F0@9&]G<R$@\n`\nend\n", "C: ."})
                          + Steps{"S: 250 ok", "C: QUIT", "S: 221 bye"});
    cSmtp smtp;
    lend(smtp, server.port());
    smtp.TempFileNumber = 7;
    smtp.Connect(1, folder.file("a.bin"));
    ASSERT_TRUE(closed());
    EXPECT_EQ(closes, std::vector<int>{cSmtp::Delivered});
    EXPECT_FALSE(QFile::exists(folder.file("utemp7.uue"))); // the temporary file is gone
    EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
}

TEST_F(Smtp, UuencodesInLinesOf45Bytes)
{
    QByteArray bytes45;
    for (int i = 0; i < 45; ++i)
        bytes45 += char(i);
    const struct {
        QByteArray content;
        QByteArray encoded;
    } rows[] = {
        {"", "begin 664 f.bin\n`\n`\nend\n"},
        {"Cat", "begin 664 f.bin\n#0V%T\n`\nend\n"},
        {"   ", "begin 664 f.bin\n#(\"`@\n`\nend\n"}, // blanks become "`", the padding is blanks
        {bytes45, "begin 664 f.bin\nM``$\"`P0%!@<(\"0H+#`T.#Q`1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLL\n`\n`\nend\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.content.toStdString());
        folder.write("f.bin", row.content);
        cSmtp smtp;
        smtp.EncodeNow(folder.file("f.bin"));
        QFile encoded(folder.file("utemp0.uue"));
        ASSERT_TRUE(encoded.open(QIODevice::ReadOnly));
        EXPECT_EQ(encoded.readAll(), row.encoded);
    }
}

TEST_F(Smtp, TimesOutOnceWhenTheServerStalls)
{
    const struct {
        const char* what;
        Steps script;
    } rows[] = {
        {"silent server", {}},
        {"reply 251 is not acted on", {"S: 220 hi", "C: HELO 127.0.0.1", "S: 250 hello", "C: MAIL FROM:ann@x.org",
                                       "S: 250 ok", "C: RCPT TO:bob@y.org", "S: 251 will forward"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        closes.clear();
        ScriptedServer server(row.script);
        cSmtp smtp;
        start(smtp, server.port());
        ASSERT_TRUE(closed());
        EXPECT_EQ(closes, std::vector<int>{cSmtp::TimedOut});
        EXPECT_EQ(smtp.status(), "Winsock Timeout !");
        EXPECT_FALSE(timer.isActive());
        EXPECT_TRUE(waitUntil([&] { return server.clientGone(); })); // and the line is closed
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
    }
}

TEST_F(Smtp, SocketErrorIsANetworkError)
{
    QTcpServer closedPort;
    ASSERT_TRUE(closedPort.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closedPort.serverPort();
    closedPort.close();
    cSmtp smtp;
    start(smtp, port);
    ASSERT_TRUE(closed());
    EXPECT_EQ(closes, std::vector<int>{cSmtp::NetworkError});
    EXPECT_FALSE(timer.isActive());
}
