#include "RealPeers.h"
#include "TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Output
{
    int exitCode;
    QString out;
};

Output mailcheck(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(KORVALEN_MAILCHECK), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

} // namespace

TEST(MailCheck, ChecksFetchesAndDeletesAgainstARealServer)
{
    RealPeers& peers = RealPeers::instance();
    peers.clear("bob");
    peers.fill("bob", {"01-plain.eml", "07-spam-subject.eml", "05-utf8.eml"});
    const QStringList account = {"--host", "127.0.0.1", "--port", QString::number(peers.pop3Port()), "--user", "bob",
                                 "--password", RealPeers::password, "--no-pause", "--spam-folder",
                                 testing_support::sourceDir() + "/tests/fixtures/mailbox"};

    Output r = mailcheck(account + QStringList{"--kind", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("row 1: Tom Baker  | Meeting moved to Thursday |")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("log: Remove Spam message Congratulations! WIN A PRIZE today"));
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("row 2: Juergen Mueller  | Grüße aus Köln")));
    EXPECT_TRUE(r.out.contains("counts: 2 listed, 2 new"));
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

    EXPECT_EQ(mailcheck({"--host", "x"}).exitCode, 2);
    EXPECT_EQ(mailcheck(account + QStringList{"--kind", "5"}).exitCode, 2);
}
