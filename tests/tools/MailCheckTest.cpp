// SPDX-License-Identifier: GPL-3.0-or-later
#include "RealPeers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Output
{
    int exitCode;
    QString out;
};

Output mailcheck(const QStringList& args, const QString& locale = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The tool remembers each mailbox in its program folder, which is the build folder here and
    // shared by every test running meanwhile: these runs get one of their own.
    static const testing_support::TempFolder programFolder;
    env.insert("KORVALEN_PROGRAM_FOLDER", programFolder.path());
    if (!locale.isEmpty()) // the system's language, as the tool reads it
        env.insert("LC_ALL", locale);
    const auto run = testing_support::runProgram(QStringLiteral(KORVALEN_MAILCHECK), args, {}, env);
    return {run.exitCode, QString::fromUtf8(run.out + run.err)};
}

// Bob's mailbox on the test server, with the test spam lists.
QStringList bobsAccount(const RealPeers& peers)
{
    const QString spam = testing_support::sourceDir() + "/tests/fixtures/mailbox";
    return QStringList{"--host", "127.0.0.1", "--port", QString::number(peers.pop3Port()), "--user", "bob"}
           + QStringList{"--password", RealPeers::password, "--no-pause", "--spam-folder", spam};
}

} // namespace

TEST(MailCheck, ChecksFetchesAndDeletesAgainstARealServer)
{
    RealPeers& peers = RealPeers::instance();
    peers.clear("bob");
    peers.fill("bob", {"01-plain.eml", "07-spam-subject.eml", "05-utf8.eml"});
    const QStringList account = bobsAccount(peers);

    Output r = mailcheck(account + QStringList{"--kind", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("row 1: Tom Baker  | Meeting moved to Thursday |")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("log: Remove Spam message Congratulations! WIN A PRIZE today"));
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("row 2: Juergen Mueller  | Grüße aus Köln")));
    EXPECT_TRUE(r.out.contains("counts: 2 listed, 2 new")) << r.out.toStdString();
    EXPECT_EQ(peers.mailboxFiles("bob").size(), 2);

    r = mailcheck(account + QStringList{"--fetch", "2"});
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("text: Liebe Alice,  viele Grüße aus Köln!"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Retrieve message 2"));

    r = mailcheck(account + QStringList{"--delete", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(peers.mailboxFiles("bob").size(), 1);

    r = mailcheck(account + QStringList{"--kind", "2", "--known", "1"}); // nothing after the known one
    EXPECT_TRUE(r.out.contains("counts: 1 listed, 0 new")) << r.out.toStdString();

    r = mailcheck(account + QStringList{"--fetch", "7"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("error: Fail to retrieve E - mail (9998)"));
    EXPECT_EQ(mailcheck(account + QStringList{"--kind", "5"}).exitCode, 2);
}

// On a simplified-Chinese system a Big5 subject is shown in GB2312, as the program shows it;
// whatever a sender writes, each printed line stays one record and a row keeps its fields.
TEST(MailCheck, ShowsRowsAsTheProgramDoesAndNoFieldBreaksARow)
{
    RealPeers& peers = RealPeers::instance();
    peers.clear("bob");
    peers.fill("bob", {"03-big5.eml"});
    peers.fillMessages("bob", {"From: Ops | Back\\slash <ops@example.net>\r\n"
                               "To: bob@example.com\r\n"
                               "Subject: =?utf-8?B?"
                               + QByteArray("one\r\nrow 9: forged | row").toBase64()
                               + "?=\r\n"
                                 "Date: Wed, 06 Mar 2024 11:00:00 +0000\r\n"
                                 "\r\n"
                                 "body\r\n"});
    const QStringList account = bobsAccount(peers);
    const Output r = mailcheck(account + QStringList{"--kind", "2"}, "zh_CN.UTF-8");
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("row 1: Wang Xiaoming  | 下周三会议通知 |"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("row 2: Ops \\| Back\\\\slash  | one\\r\\nrow 9: forged \\| row |"))
        << r.out.toStdString();
    for (const QString& line : r.out.split('\n'))
        EXPECT_FALSE(line.startsWith("row 9")) << line.toStdString();
}

// The tool trusts only what the system's CAs vouch for: the test server's certificate is
// refused with its fingerprint, and --trust with that fingerprint lets it in from then on.
TEST(MailCheck, RefusesAnUnknownCertificateUntilTrustedByFingerprint)
{
    RealPeers& peers = RealPeers::instance();
    peers.clear("bob");
    peers.fill("bob", {"01-plain.eml"});
    testing_support::TempFolder folder;
    const QStringList account =
        QStringList{"--host", "127.0.0.1", "--port", QString::number(peers.pop3TlsPort()), "--user", "bob"}
        + QStringList{"--password", RealPeers::password, "--no-pause", "--settings", folder.file("settings.ini")}
        + QStringList{"--security", "tls", "--timeout", "10"};
    Output r = mailcheck(account);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("why: The certificate of 127.0.0.1 is not trusted: its issuer is unknown."))
        << r.out.toStdString();
    const qsizetype at = r.out.indexOf("SHA-256 fingerprint ");
    ASSERT_GE(at, 0);
    const QString print = r.out.mid(at + 20, 95);

    r = mailcheck(account + QStringList{"--trust", print});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("trusted: " + print + " for 127.0.0.1:" + QString::number(peers.pop3TlsPort())));
    EXPECT_TRUE(r.out.contains("row 1: Tom Baker  | Meeting moved to Thursday |"));

    r = mailcheck(account); // remembered
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();

    // Trust goes with the server's port: STLS on the other port is asked again.
    r = mailcheck(account + QStringList{"--port", QString::number(peers.pop3Port()), "--security", "starttls"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("its issuer is unknown")) << r.out.toStdString();
}
