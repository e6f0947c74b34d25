// SPDX-License-Identifier: GPL-3.0-or-later
// The console's composer: keys dictated on the telephone, and sending through its own client.
#include "RealPeers.h"
#include "TestSupport.h"
#include "console/ConsoleHost.h"
#include "console/Pilot.h"
#include "platform/SettingsStore.h"
#include "protocols/cSmtp.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>

namespace {

struct FakeHost : ConsoleHost
{
    QString server = "127.0.0.1";
    int32_t port = 0;
    QString smtpServer() const override { return server; }
    int32_t smtpPort() const override { return port; }
};

class Console : public ::testing::Test
{
protected:
    Console() { pilot->SmtpTimeout->setInterval(10); } // 30 ticks of silence: 0.3 s

    void compose(const QString& to, const QString& from, const QString& subject = "Lunch",
                 const QString& body = "At noon?")
    {
        pilot->txtToEmailAddress->setText(to);
        pilot->txtFromEmailAddress->setText(from);
        pilot->txtMailSubject->setText(subject);
        pilot->RTf->setPlainText(body);
    }
    // Presses Send and waits for the send to end; the status texts shown on the way.
    QStringList send()
    {
        QStringList shown;
        pilot->showMess("");
        auto c = QObject::connect(pilot->ObjSmtp, &cSmtp::Sending, [&] { shown << pilot->statusText(); });
        pilot->AFunction[Pilot::kSendButton]->click();
        if (!pilot->statusText().isEmpty())
            shown << pilot->statusText();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !pilot->isSending(); }, 10000));
        QObject::disconnect(c);
        if (shown.isEmpty() || shown.last() != pilot->statusText())
            shown << pilot->statusText();
        return shown;
    }

    testing_support::TempFolder profile;
    platform::SettingsStore store{profile.file("settings.ini")};
    FakeHost host;
    std::unique_ptr<Pilot> pilot = std::make_unique<Pilot>(store, host);
};

const QString BS(QChar(8));
const QString CR(QChar(13));

} // namespace

TEST_F(Console, DictatedKeysEditTheMessageAtItsCursor)
{
    const struct
    {
        const char* what;
        QString before;
        int cursor;
        QStringList keys;
        QString after;
        QStringList spoken;
    } rows[] = {
        {"letters, a space and an erase", "", 0, {"H", "i", " ", BS, "!"}, "Hi!", {"H", "i", " Space", " Erase", "!"}},
        {"enter starts a new line", "", 0, {"a", CR, "b"}, "a\nb", {"a", " Enter", "b"}},
        {"erase on an empty message", "", 0, {BS}, "", {" Erase"}},
        {"typed at the cursor", "ac", 1, {"b"}, "abc", {"b"}},
        {"erased before the cursor", "abc", 2, {BS}, "ac", {" Erase"}},
        {"other control characters are dropped",
         "x",
         1,
         {QString(QChar(1)), "\n", "\t", QString(QChar(27)) + "y"},
         "xy",
         {"", "", "", "y"}},
    };
    for (const auto& r : rows) {
        pilot->RTf->setPlainText(r.before);
        QTextCursor c = pilot->RTf->textCursor();
        c.setPosition(r.cursor);
        pilot->RTf->setTextCursor(c);
        QStringList spoken;
        for (const QString& key : r.keys)
            spoken << pilot->applyDictatedKey(key);
        EXPECT_EQ(pilot->RTf->toPlainText(), r.after) << r.what;
        EXPECT_EQ(spoken, r.spoken) << r.what;
    }
}

TEST_F(Console, SendsTheComposedMailThroughTheServer)
{
    RealPeers& peers = RealPeers::instance();
    peers.clearSent();
    host.port = peers.smtpPort();
    compose("bob@example.net", "alice@example.com", "Lunch on Friday", "At noon?\nThe usual place.");
    EXPECT_EQ(send(), (QStringList{"E-mail Sending", "Send Complete"}));

    const auto sent = peers.sentMessages();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].rcptTos, QStringList{"bob@example.net"});
    EXPECT_EQ(sent[0].mailFrom, "alice@example.com");
    EXPECT_TRUE(sent[0].data.contains("\r\nTo: bob@example.net\r\n")) << sent[0].data.toStdString();
    EXPECT_TRUE(sent[0].data.contains("\r\nSubject: Lunch on Friday\r\n")) << sent[0].data.toStdString();
    EXPECT_TRUE(sent[0].data.contains("\r\n\r\nAt noon?\r\nThe usual place.")) << sent[0].data.toStdString();
}

TEST_F(Console, ASendThatCannotBeDoneSaysWhy)
{
    QTcpServer silent; // accepts and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const auto sink = [] { return int32_t(RealPeers::instance().smtpPort()); };
    const QString noAddress = "Enter both the To and the From address to send.";
    const struct
    {
        const char* what;
        std::function<int32_t()> port;
        QString to, from;
        QStringList shown;
    } rows[] = {
        {"the server refuses the recipient",
         sink,
         RealPeers::rejectedRecipient,
         "alice@example.com",
         {"Fail Send Email"}},
        {"nothing listens",
         [] { return int32_t(testing_support::FreeLoopbackPort(SOCK_STREAM)); },
         "bob@example.net",
         "alice@example.com",
         {"Network Error"}},
        {"the server stays silent",
         [&] { return int32_t(silent.serverPort()); },
         "bob@example.net",
         "alice@example.com",
         {"Network Error"}},
        {"no recipient", sink, " ", "alice@example.com", {noAddress}},
        {"no sender", sink, "bob@example.net", "", {noAddress}},
    };
    for (const auto& r : rows) {
        host.port = r.port();
        compose(r.to, r.from);
        EXPECT_EQ(send(), r.shown) << r.what;
    }
}

TEST_F(Console, ASecondSendWaitsUntilTheFirstHasEnded)
{
    RealPeers& peers = RealPeers::instance();
    peers.clearSent();
    host.port = peers.smtpPort();
    compose("bob@example.net", "alice@example.com", "First");
    pilot->AFunction[Pilot::kSendButton]->click();
    pilot->txtMailSubject->setText("Second");
    pilot->AFunction[Pilot::kSendButton]->click();
    EXPECT_EQ(pilot->statusText(), "e mail is Busy, try later");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !pilot->isSending(); }, 10000));
    EXPECT_EQ(pilot->statusText(), "Send Complete");
    EXPECT_EQ(send(), (QStringList{"E-mail Sending", "Send Complete"})); // free again once the first has ended
    const auto sent = peers.sentMessages();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_TRUE(sent[0].data.contains("Subject: First\r\n") && sent[1].data.contains("Subject: Second\r\n"));
}

TEST_F(Console, KeepsTheFromAddressBetweenRuns)
{
    store.SaveSetting("txtFromEmailAddress", "old@example.com");
    pilot = std::make_unique<Pilot>(store, host);
    EXPECT_EQ(pilot->txtFromEmailAddress->text(), "old@example.com");

    pilot->txtFromEmailAddress->setText("new@example.com");
    pilot->txtToEmailAddress->setText("not kept@example.net");
    pilot->show();
    pilot->close();
    EXPECT_EQ(platform::SettingsStore(profile.file("settings.ini")).GetSetting("txtFromEmailAddress", ""),
              "new@example.com");
    EXPECT_TRUE(Pilot(store, host).txtToEmailAddress->text().isEmpty());
}
