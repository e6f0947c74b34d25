// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedServer.h"
#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"
#include "protocols/cSmtp.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using Steps = QList<QByteArray>;

const Steps kHelo = {"S: 220 sink ready", "C: EHLO 127.0.0.1", "S: 250 hello"};
const Steps kUpToRcpt = kHelo + Steps{"C: MAIL FROM:<ann@x.org>", "S: 250 ok", "C: RCPT TO:<bob@y.org>"};
const Steps kUpToData = kUpToRcpt + Steps{"S: 250 ok", "C: DATA", "S: 354 go ahead"};

// The message lines the server receives for the standard mail: the fixed clock's date in its
// zone, a fresh id under the sender's domain, a plain ASCII body as it stands.
Steps header(const QByteArray& from = "ann@x.org", const QByteArray& to = "bob@y.org", const QByteArray& subject = "hi")
{
    return Steps{"C~ Date: Tue, 04 Feb 2003 09:05:07 [+-][0-9]{4}",
                 "C: From: " + from,
                 "C: To: " + to,
                 "C: Subject: " + subject,
                 "C~ Message-ID: <[0-9a-z]+\\.[0-9a-z]+@x\\.org>",
                 "C: MIME-Version: 1.0",
                 "C: Content-Type: text/plain; charset=UTF-8",
                 "C: Content-Transfer-Encoding: 7bit",
                 "C: "};
}

Steps text(const Steps& body = {"C: hello", "C: ."})
{
    return header() + body;
}

// The owner's part: a socket and a fast timer lent to the client, a fixed clock and a program
// folder of the test's own.
class Smtp : public ::testing::Test
{
protected:
    Smtp()
    {
        platform::SetSystemLcidOverride(0x0409);
        platform::SetAppClock(&clock);
        platform::SetProgramFolderOverride(folder.path());
    }
    ~Smtp() override
    {
        platform::SetProgramFolderOverride(QString());
        platform::SetAppClock(nullptr);
        platform::SetSystemLcidOverride(0);
    }

    platform::ManualClock clock{QDateTime(QDate(2003, 2, 4), QTime(9, 5, 7)).toMSecsSinceEpoch()};
    testing_support::TempFolder folder;
    QTcpSocket socket;
    QTimer timer;
};

} // namespace

TEST_F(Smtp, RepliesDecideHowTheMailEnds)
{
    QTcpServer refusing;
    ASSERT_TRUE(refusing.listen(QHostAddress::LocalHost, 0));
    const quint16 refusedPort = refusing.serverPort();
    refusing.close();
    folder.write("a.bin", "Cats and dogs!"); // 14 bytes: the encoded line begins with "."
    const Steps sent = kUpToData + text() + Steps{"S: 250 queued", "C: QUIT"};
    const Steps bye = {"S: 250 ok", "C: QUIT", "S: 221 bye"};
    const char* kSent = "Message sent";
    const char* kNotSent = "Connecting to Mail server";
    const char* kTimeout = "Winsock Timeout !";
    const struct
    {
        const char* what;
        Steps script;
        int code;
        const char* status;
        quint16 port = 0;
        std::function<void(cSmtp&)> send = {}; // by default the standard mail, no file
    } rows[] = {
        {"delivered in six commands", sent + Steps{"S: 221 bye"}, cSmtp::Delivered, kSent},
        {"recipient refused", kUpToRcpt + Steps{"S: 550 no such user", "C: QUIT", "S: 221 bye"}, cSmtp::NotDelivered,
         "SMTP Err : 550"},
        {"closed before acceptance", kUpToData + text() + Steps{"CLOSE"}, cSmtp::NotDelivered, kNotSent},
        {"closed after delivery", sent + Steps{"CLOSE"}, cSmtp::ServerClosed, kSent},
        {"replies split over segments",
         Steps{"S| 2", "S: 20 hi", "C: EHLO 127.0.0.1", "S| 250 hel", "S: lo", "C: MAIL FROM:<ann@x.org>",
               "S| 250 ok\r", "S| \n", "C: RCPT TO:<bob@y.org>", "S: 250 ok", "C: DATA", "S| 35", "S: 4 go"}
             + text() + Steps{"S| 25", "S: 0 ok", "C: QUIT", "S| 22", "S: 1 bye"},
         cSmtp::Delivered, kSent},
        {"silent server", {}, cSmtp::TimedOut, kTimeout},
        {"continuation lines for ever", Steps{"S* " + QByteArray("220-still here\r\n").repeated(300)}, cSmtp::TimedOut,
         kTimeout},
        {"no server", {}, cSmtp::NetworkError, kNotSent, refusedPort},
        {"lines cannot end the data or add headers",
         kHelo
             + Steps{"C: MAIL FROM:<ann@x.org>", "S: 250 ok", "C: RCPT TO:<bob@y.org  RCPT TO:eve@z.org>", "S: 250 ok",
                     "C: DATA", "S: 354 go"}
             + header("ann@x.org ", "bob@y.org  RCPT TO:eve@z.org", "a  Bcc: eve@z.org")
             + Steps{"C: ..hidden", "C: ..", "C: plain", "C: ..after a bare line feed", "C: bare CR", "C: ."} + bye,
         cSmtp::Delivered, kSent, 0,
         [](cSmtp& s) {
             s.MailFrom = "ann@x.org\n";
             s.SendTo = "bob@y.org\r\nRCPT TO:eve@z.org";
             s.MessageSubject = "a\r\nBcc: eve@z.org";
             s.MessageText = ".hidden\r\n.\r\nplain\n.after a bare line feed\rbare CR";
             s.Connect(0, QString());
         }},
        // The block's lines end in CR LF on the wire like every other line.
        {"file attached uuencoded",
         kUpToData
             + text({"C: hello", "C: ", "C: begin 664 a.bin", "C: ..0V%T<R!A;F0@9&]G<R$@", "C: `", "C: end", "C: ."})
             + bye,
         cSmtp::Delivered, kSent, 0, [this](cSmtp& s) { s.Connect(1, folder.file("a.bin")); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedServer server(row.script);
        cSmtp smtp;
        std::vector<int> closes;
        QObject::connect(&smtp, &cSmtp::ServerClose, [&](int16_t code) { closes.push_back(code); });
        timer.setInterval(5);
        smtp.setWsock(&socket);
        smtp.setWtimeout(&timer);
        smtp.SMTPPort = row.port ? row.port : server.port();
        smtp.Server = "127.0.0.1";
        smtp.MailFrom = "ann@x.org";
        smtp.SendTo = "bob@y.org";
        smtp.MessageSubject = "hi";
        smtp.MessageText = "hello";
        smtp.TempFileNumber = 7;
        row.send ? row.send(smtp) : smtp.Connect(0, QString());
        ASSERT_TRUE(waitUntil([&] { return !closes.empty(); }));
        EXPECT_EQ(closes, std::vector<int>{row.code});
        EXPECT_EQ(smtp.status().toStdString(), row.status);
        EXPECT_FALSE(timer.isActive());
        EXPECT_TRUE(row.port || waitUntil([&] { return server.clientGone(); })); // and the line is closed
        EXPECT_TRUE(row.port || server.scenarioDone()) << server.report().toStdString();
        EXPECT_FALSE(QFile::exists(folder.file("utemp7.uue"))); // the temporary file is gone

        QSignalSpy ticks(&timer, &QTimer::timeout); // the owner may run its timer on: nothing more is raised
        timer.start(1);
        ASSERT_TRUE(waitUntil([&] { return ticks.count() > cSmtp::kTimeoutTicks + 5; }));
        timer.stop();
        EXPECT_EQ(closes.size(), 1u);
    }
}
