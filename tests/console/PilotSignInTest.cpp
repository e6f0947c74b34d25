// SPDX-License-Identifier: GPL-3.0-or-later
// The console signed in to the web service, started on loopback, through the real page
// fetcher: mail checking follows the sign-in, a refusal says why, quitting waits for the
// sign-out.
#include "ServiceProcess.h"
#include "TestCertificates.h"
#include "TestSupport.h"
#include "console/ClsLogin.h"
#include "console/ConsoleHost.h"
#include "console/Pilot.h"
#include "console/frmSoundRec.h"
#include "platform/SettingsStore.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <sys/socket.h>

using testing_support::waitUntil;

namespace {

struct RecordingHost : ConsoleHost
{
    QStringList asked;
    frmSoundRec* form = nullptr;
    frmSoundRec* consoleCallForm() override { return form; }
    QString smtpServer() const override { return "127.0.0.1"; }
    int32_t smtpPort() const override { return 25; }
    void consoleStartChecking() override { asked << "start"; }
    void consoleQuit() override { asked << "quit"; }
};

// One user of the program: a console on a profile of its own that names the service (if
// any), with its call form on a loopback port of its own; loaded as the program starts it.
struct CallingUser
{
    CallingUser(const QString& base, const QString& name, const QString& password, bool load = true)
    {
        if (!base.isEmpty())
            login_keys::Service(base).Save(store);
        store.SaveSetting("Loginname", name);
        store.SaveSetting("LoginPw", password);
        store.SaveSetting("port", QString::number(testing_support::FreeLoopbackPort(SOCK_DGRAM)));
        host.form = &form;
        pilot = std::make_unique<Pilot>(store, host);
        // The login request gives up after 19 ticks: two users signing in at once on a busy
        // machine need more than 190 ms of them.
        pilot->LoginTimer->setInterval(100);
        form.SetPort(pilot->Text2->text().toInt());
        if (load)
            pilot->Form_Load();
    }
    testing_support::TempFolder profile;
    platform::SettingsStore store{profile.file("settings.ini")};
    frmSoundRec form;
    RecordingHost host;
    std::unique_ptr<Pilot> pilot;
};

class ServiceConsole : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.addUser("alice", "2468"));
        port = service.serve();
        ASSERT_NE(port, 0);
    }
    ServiceProcess service;
    quint16 port = 0;
};

} // namespace

// Signed in, the console checks mail, its presence is confirmed and an alert goes out; quitting
// waits for the sign-out. The service logs all of it and never a password.
TEST_F(ServiceConsole, SignsInThenChecksAndQuitsOnlyOnceSignedOut)
{
    CallingUser alice(service.base(port), "alice", "2468", false);
    Pilot& p = *alice.pilot;
    const QStringList& asked = alice.host.asked;
    QStringList shown;
    QObject::connect(p.ObjLogin, &ClsLogin::LogInDelay, [&] { shown << p.statusText(); });
    p.LoginTimer->setInterval(1000); // the window's real one-second timer: three seconds, then the login
    p.Form_Load();
    EXPECT_FALSE(p.isLogin()); // the service answers first
    ASSERT_TRUE(waitUntil([&] { return p.isLogin(); }));
    EXPECT_EQ(shown, QStringList{"Login ...."});
    p.LoginTimer->setInterval(100);
    EXPECT_EQ(asked, QStringList{"start"});
    EXPECT_EQ(p.statusText(), " ");
    EXPECT_EQ(p.MyID(), "alice");

    QSignalSpy present(p.ObjLogin, &ClsLogin::PresenceConfirmed), alerts(p.ObjLogin, &ClsLogin::AlertSent);
    p.ObjLogin->ExpectedPresentValue(2); // presence every two ticks
    ASSERT_TRUE(waitUntil([&] { return present.count() >= 2; }));
    p.ObjLogin->ExpectedPresentValue(489);
    ASSERT_TRUE(waitUntil([&] { return p.ObjLogin->LoginState() == ClsLogin::SignedIn; }));
    p.ObjLogin->ExecSendAlert();
    ASSERT_TRUE(waitUntil([&] { return alerts.count() == 1; }));

    p.AFunction[Pilot::QuitButton]->click();
    EXPECT_EQ(asked, QStringList{"start"}); // not before the service has let go
    ASSERT_TRUE(waitUntil([&] { return asked.size() == 2; }));
    EXPECT_EQ(asked.last(), "quit");
    const QByteArray log = service.logText();
    EXPECT_TRUE(log.contains("function=8 uid=alice signed in")) << log.constData();
    EXPECT_TRUE(log.contains("function=0 uid=alice signed out"));
    EXPECT_FALSE(log.contains("2468"));
}

// A refused or incomplete sign-in says so and checks nothing; quitting then ends at once. A
// plain http:// service away from this machine is warned of once; one on loopback is not.
TEST_F(ServiceConsole, ARefusedIncompleteOrPlainSignInSaysSoAndChecksNothing)
{
    CallingUser refused(service.base(port), "alice", "1111");
    ASSERT_TRUE(waitUntil([&] { return refused.pilot->statusText() == "Fail Login server"; }));
    EXPECT_FALSE(refused.pilot->isLogin());
    EXPECT_TRUE(refused.pilot->findChildren<QMessageBox*>().isEmpty());

    CallingUser incomplete(service.base(port), "", "2468");
    Pilot& p = *incomplete.pilot;
    EXPECT_EQ(p.statusText(), "Enter your user ID and password to sign in.");
    EXPECT_EQ(p.Panels->currentWidget(), p.LoginPage);
    EXPECT_TRUE(refused.host.asked.isEmpty() && incomplete.host.asked.isEmpty());
    p.AFunction[Pilot::QuitButton]->click();
    EXPECT_EQ(incomplete.host.asked, QStringList{"quit"});

    CallingUser elsewhere("http://192.0.2.7/kv/", "alice", "2468", false); // documentation address: nobody answers
    elsewhere.pilot->StartLogin();
    elsewhere.pilot->StartLogin();
    EXPECT_EQ(elsewhere.pilot->findChildren<QMessageBox*>().size(), 1);
    elsewhere.pilot->ObjLogin->setLoginState(ClsLogin::Stopped);
}

TEST_F(ServiceConsole, AUserLookedUpByNameIsCalledAnsweredAndHungUp)
{
    ASSERT_TRUE(service.addUser("bob", "1357"));
    CallingUser alice(service.base(port), "alice", "2468");
    CallingUser bob(service.base(port), "bob", "1357");
    ASSERT_TRUE(waitUntil([&] { return alice.pilot->isLogin() && bob.pilot->isLogin(); }))
        << alice.pilot->statusText().toStdString() << " / " << bob.pilot->statusText().toStdString();
    // Alice calls with her console; Bob's form rings and he answers; Alice hangs up.
    alice.pilot->Text1->setText("bob");
    alice.pilot->AFunction[Pilot::CallButton]->click();
    ASSERT_TRUE(waitUntil([&] { return bob.form.VoipState() == frmSoundRec::RingingIn; }))
        << alice.pilot->statusText().toStdString() << " / " << alice.form.logLines().join("; ").toStdString();
    EXPECT_TRUE(bob.form.isVisible()); // brought up to be answered
    bob.form.cmdCall->click();
    ASSERT_TRUE(waitUntil([&] { return alice.form.isConnected() && bob.form.isConnected(); }));
    alice.pilot->AFunction[Pilot::CallButton]->click(); // the same button hangs up
    ASSERT_TRUE(waitUntil([&] { return !alice.form.isCalling() && !bob.form.isCalling(); }));
    EXPECT_TRUE(service.logText().contains("lookup: found bob")) << service.logText().toStdString();

    // Somebody not signed in is not found, and the status says so.
    alice.pilot->Text1->setText("carol");
    alice.pilot->AFunction[Pilot::CallButton]->click();
    EXPECT_TRUE(waitUntil([&] { return alice.pilot->statusText() == "Could not find server"; }));
    EXPECT_FALSE(alice.form.isCalling());
}

// Over HTTPS: a certificate the system trusts signs in; one that nobody vouches for does not.
TEST(SecureService, SignsInOnlyWithATrustedCertificate)
{
    TestCertificates::trustTestCa();
    const auto& certs = TestCertificates::instance();
    for (const auto* identity : {&certs.good(), &certs.selfSigned()}) {
        const bool trusted = identity == &certs.good();
        SCOPED_TRACE(trusted ? "trusted" : "self-signed");
        ServiceProcess service;
        ASSERT_TRUE(service.addUser("alice", "2468"));
        const quint16 port = service.serve({"--tls-cert", identity->certFile, "--tls-key", identity->keyFile});
        ASSERT_NE(port, 0);
        CallingUser alice(service.base(port, "https"), "alice", "2468");
        ASSERT_TRUE(
            waitUntil([&] { return alice.pilot->isLogin() || alice.pilot->statusText() == "Fail Login server"; }));
        EXPECT_EQ(alice.pilot->isLogin(), trusted);
        EXPECT_EQ(service.logText().contains("signed in"), trusted);
    }
}

// A silent service is given up after the login's ticks and its connection dropped; a refused
// connection alone ends the login, before any tick.
TEST(SilentOrClosedService, SignInFails)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    std::unique_ptr<QTcpSocket> peer;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { peer.reset(silent.nextPendingConnection()); });
    CallingUser alice(QString("http://127.0.0.1:%1/").arg(silent.serverPort()), "alice", "2468", false);
    alice.pilot->LoginTimer->setInterval(10);
    alice.pilot->Form_Load();
    ASSERT_TRUE(waitUntil([&] { return alice.pilot->statusText() == "Fail Login server"; }));
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return peer->state() == QAbstractSocket::UnconnectedState; }, 5000));

    const quint16 closed = testing_support::FreeLoopbackPort(SOCK_STREAM);
    CallingUser bob(QString("http://127.0.0.1:%1/").arg(closed), "bob", "1357", false);
    bob.pilot->LoginTimer->setInterval(3600 * 1000); // a tick never comes
    bob.pilot->ObjLogin->SetLoginID("bob", "1357");
    bob.pilot->ObjLogin->ExecLogin();
    ASSERT_TRUE(waitUntil([&] { return bob.pilot->statusText() == "Fail Login server"; }));
}
