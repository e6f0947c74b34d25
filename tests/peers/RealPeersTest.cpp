#include "RealPeers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTcpSocket>

namespace {

// A raw line-by-line conversation, as a mail client has it.
class Dialogue
{
public:
    explicit Dialogue(quint16 port)
    {
        socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
        EXPECT_TRUE(socket_.waitForConnected(5000)) << socket_.errorString().toStdString();
    }

    QByteArray line()
    {
        while (!socket_.canReadLine())
            if (!socket_.waitForReadyRead(5000))
                return {};
        return socket_.readLine();
    }

    QByteArray ask(const QByteArray& command)
    {
        socket_.write(command + "\r\n");
        return line();
    }

    // A multi-line POP3 answer up to the lone dot, the dot excluded.
    QByteArray lines()
    {
        QByteArray all;
        for (QByteArray l = line(); !l.isEmpty() && l != ".\r\n"; l = line())
            all += l;
        return all;
    }

    void waitClosed() { socket_.waitForDisconnected(5000); }

private:
    QTcpSocket socket_;
};

class RealPeersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        peers.clear("alice");
        peers.clearSent();
    }
    RealPeers& peers = RealPeers::instance();
};

TEST_F(RealPeersTest, Pop3ServesFilledMailInOrderAndDeletesAtQuit)
{
    peers.fill("alice", {"01-plain.eml", "03-big5.eml"});
    peers.fill("alice", {"07-spam-subject.eml"});
    ASSERT_EQ(peers.mailboxFiles("alice").size(), 3);

    Dialogue pop(peers.pop3Port());
    EXPECT_TRUE(pop.line().startsWith("+OK"));
    EXPECT_TRUE(pop.ask("USER alice").startsWith("+OK"));
    EXPECT_TRUE(pop.ask("PASS secret").startsWith("+OK"));
    EXPECT_TRUE(pop.ask("STAT").startsWith("+OK 3 "));
    EXPECT_TRUE(pop.ask("RETR 2").startsWith("+OK"));
    const QByteArray big5 = pop.lines();
    EXPECT_TRUE(big5.contains("\r\nSubject: =?big5?B?pFW2Z6RUt3zEs7Nxqr4=?=\r\n")) << big5.constData();
    EXPECT_TRUE(pop.ask("RETR 3").startsWith("+OK"));
    EXPECT_TRUE(pop.lines().contains("WIN A PRIZE"));
    EXPECT_TRUE(pop.ask("DELE 1").startsWith("+OK"));
    ASSERT_EQ(peers.mailboxFiles("alice").size(), 3) << "deleted before QUIT";
    EXPECT_TRUE(pop.ask("QUIT").startsWith("+OK"));
    pop.waitClosed();

    const QStringList left = peers.mailboxFiles("alice");
    ASSERT_EQ(left.size(), 2);
    QFile first(left[0]);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_TRUE(first.readAll().contains("charset=big5"));

    peers.clear("alice");
    EXPECT_TRUE(peers.mailboxFiles("alice").isEmpty());
    Dialogue again(peers.pop3Port());
    again.line();
    again.ask("USER alice");
    again.ask("PASS secret");
    EXPECT_TRUE(again.ask("STAT").startsWith("+OK 0 0"));
}

TEST_F(RealPeersTest, SmtpSinkKeepsEnvelopeAndData)
{
    Dialogue smtp(peers.smtpPort());
    EXPECT_TRUE(smtp.line().startsWith("220"));
    smtp.ask("HELO client.test");
    EXPECT_TRUE(smtp.ask("MAIL FROM:<alice@example.com>").startsWith("250"));
    EXPECT_TRUE(smtp.ask("RCPT TO:<tom@example.org>").startsWith("250"));
    EXPECT_TRUE(smtp.ask(QByteArray("RCPT TO:<") + RealPeers::rejectedRecipient + ">").startsWith("550"));
    EXPECT_TRUE(smtp.ask("DATA").startsWith("354"));
    EXPECT_TRUE(smtp.ask("Subject: Re: hello\r\n\r\n..leading dot\r\n\xa4\xa4\r\n.").startsWith("250"));
    smtp.ask("QUIT");

    const auto sent = peers.sentMessages();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].helo, "client.test");
    EXPECT_EQ(sent[0].mailFrom, "alice@example.com");
    EXPECT_EQ(sent[0].rcptTos, QStringList{"tom@example.org"});
    EXPECT_EQ(sent[0].data, QByteArray("Subject: Re: hello\r\n\r\n.leading dot\r\n\xa4\xa4\r\n"));

    peers.clearSent();
    EXPECT_TRUE(peers.sentMessages().isEmpty());
    std::cout << "[ peers    ] started in " << peers.startMillis() << " ms\n";
}

} // namespace
