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
#include <QTreeWidget>
#include <QTcpServer>
#include <QTextCursor>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

struct FakeHost : ConsoleHost
{
    int32_t port = 0;
    QStringList asked; // what the console asked of the main window, in order
    std::function<void()> wizard = [] {};
    QString smtpServer() const override { return "127.0.0.1"; }
    int32_t smtpPort() const override { return port; }
    void consoleStartChecking() override { asked << "start"; }
    void consoleRunWizard() override
    {
        asked << "wizard";
        wizard();
    }
    void consoleQuit() override { asked << "quit"; }
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
        EXPECT_TRUE(testing_support::waitUntil([&] { return !pilot->isSending(); }));
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

} // namespace

TEST_F(Console, DictatedKeysEditTheMessageAtItsCursor)
{
    // What, the text and cursor before, the keys, the text after, what is spoken.
    const std::tuple<const char*, QString, int, QStringList, QString, QStringList> rows[] = {
        {"letters, a space and an erase",
         "",
         0,
         {"H", "i", " ", "\b", "!"},
         "Hi!",
         {"H", "i", " Space", " Erase", "!"}},
        {"enter starts a new line", "", 0, {"a", "\r", "b"}, "a\nb", {"a", " Enter", "b"}},
        {"erase on an empty message", "", 0, {"\b"}, "", {" Erase"}},
        {"typed and erased at the cursor", "abd", 2, {"\b", "c"}, "acd", {" Erase", "c"}},
        {"other control characters are dropped", "x", 1, {"\x01", "\n", "\t", "\x1by"}, "xy", {"", "", "", "y"}}};
    for (const auto& [what, before, cursor, keys, after, spoken] : rows) {
        pilot->RTf->setPlainText(before);
        QTextCursor c = pilot->RTf->textCursor();
        c.setPosition(cursor);
        pilot->RTf->setTextCursor(c);
        QStringList said;
        for (const QString& key : keys)
            said << pilot->applyDictatedKey(key);
        EXPECT_EQ(std::pair(pilot->RTf->toPlainText(), said), std::pair(after, spoken)) << what;
    }
}

// A send that cannot be done says why. A second send waits until the first has ended; the
// first sends what was composed when it was pressed.
TEST_F(Console, SendsTheComposedMailThroughTheServerOneAtATimeOrSaysWhyNot)
{
    QTcpServer silent; // accepts and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const int32_t sink = RealPeers::instance().smtpPort();
    const std::tuple<const char*, int32_t, QString, QString> rows[] = {
        {"the server refuses the recipient", sink, RealPeers::rejectedRecipient, "Fail Send Email"},
        {"nothing listens", testing_support::FreeLoopbackPort(SOCK_STREAM), "bob@example.net", "Network Error"},
        {"the server stays silent", silent.serverPort(), "bob@example.net", "Network Error"},
        {"no recipient", sink, " ", "Enter both the To and the From address to send."},
    };
    for (const auto& [what, port, to, shown] : rows) {
        host.port = port;
        compose(to, "alice@example.com");
        EXPECT_EQ(send(), QStringList{shown}) << what;
    }

    RealPeers& peers = RealPeers::instance();
    peers.clearSent();
    host.port = peers.smtpPort();
    compose("bob@example.net", "alice@example.com", "Lunch on Friday", "At noon?\nThe usual place.");
    pilot->AFunction[Pilot::kSendButton]->click();
    pilot->txtMailSubject->setText("Second");
    pilot->AFunction[Pilot::kSendButton]->click();
    EXPECT_EQ(pilot->statusText(), "e mail is Busy, try later");
    EXPECT_TRUE(testing_support::waitUntil([&] { return !pilot->isSending(); }));
    EXPECT_EQ(pilot->statusText(), "Send Complete");
    EXPECT_EQ(send(), (QStringList{"E-mail Sending", "Send Complete"})); // free again once the first has ended

    const auto sent = peers.sentMessages();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].rcptTos, QStringList{"bob@example.net"});
    EXPECT_EQ(sent[0].mailFrom, "alice@example.com");
    EXPECT_TRUE(sent[0].data.contains("\r\nTo: bob@example.net\r\n")) << sent[0].data.toStdString();
    EXPECT_TRUE(sent[0].data.contains("\r\nSubject: Lunch on Friday\r\n")) << sent[0].data.toStdString();
    EXPECT_TRUE(sent[0].data.contains("\r\n\r\nAt noon?\r\nThe usual place.")) << sent[0].data.toStdString();
    EXPECT_TRUE(sent[1].data.contains("\r\nSubject: Second\r\n")) << sent[1].data.toStdString();
}

TEST_F(Console, KeepsItsFieldsBetweenRunsReloadsThemAfterTheWizardAndQuitsOnce)
{
    pilot->Text1->setText("bob");
    pilot->Text2->setText("9696");
    pilot->login_name->setText("alice");
    pilot->password->setText("1234");
    pilot->Form_Unload();
    // closing the window keeps the sender; the recipient is typed anew each run
    pilot->txtFromEmailAddress->setText("new@example.com");
    pilot->txtToEmailAddress->setText("not kept@example.net");
    pilot->show();
    pilot->close();
    EXPECT_TRUE(host.asked.isEmpty()); // closing is not quitting
    EXPECT_TRUE(pilot->trayIcon() ? !pilot->isVisible() : pilot->isMinimized());
    pilot = std::make_unique<Pilot>(store, host);
    const QLineEdit* fields[] = {pilot->txtFromEmailAddress, pilot->txtToEmailAddress, pilot->Text1, pilot->Text2,
                                 pilot->login_name,          pilot->password};
    QStringList kept;
    for (const QLineEdit* field : fields)
        kept << field->text();
    EXPECT_EQ(kept, (QStringList{"new@example.com", "", "bob", "9696", "alice", "1234"}));
    ASSERT_EQ(pilot->tvwContact->topLevelItemCount(), 1); // the last user called is a contact
    EXPECT_EQ(pilot->tvwContact->topLevelItem(0)->text(0), "bob");

    // The wizard stores a new sign-in; the console takes it over, the composer keeps its text.
    host.wizard = [&] { store.SaveSetting("Loginname", "carol"); };
    pilot->txtFromEmailAddress->setText("typed@example.com");
    pilot->Amenu_Click(Pilot::WizardEntry);
    EXPECT_EQ(pilot->login_name->text(), "carol");
    EXPECT_EQ(pilot->txtFromEmailAddress->text(), "typed@example.com");
    pilot->AFunction[Pilot::QuitButton]->click();
    pilot->AFunction[Pilot::QuitButton]->click();
    EXPECT_EQ(host.asked, (QStringList{"wizard", "quit"})); // the program ends once
}
