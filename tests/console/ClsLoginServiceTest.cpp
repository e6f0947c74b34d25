// SPDX-License-Identifier: GPL-3.0-or-later
// The web sign-in against korvalen-service on loopback, through the real page fetcher.
#include "ServiceProcess.h"
#include "TestSupport.h"
#include "TestCertificates.h"
#include "console/ClsLogin.h"
#include "platform/WebBrowser.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>

using testing_support::waitUntil;

namespace {

// One console's sign-in: its object, browser and lent timer, answering the pending wait with
// the login request as the console window does.
struct Console
{
    Console(const QString& base, int tickMs)
    {
        timer.setInterval(tickMs);
        login.SetService(login_keys::Service(base));
        login.SetwebbrowserControl(&browser);
        login.SetTimeControl(&timer);
        login.AppnameValue("kv_");
        login.AppversionValue("115");
        QObject::connect(&login, &ClsLogin::LogInDelay, [this] {
            if (login.LoginState() != ClsLogin::SignedIn && login.LoginState() != ClsLogin::PresenceRequest)
                login.ExecLogin();
        });
    }
    bool signIn(const QString& name, const QString& password)
    {
        login.SetLoginID(name, password);
        return waitUntil([&] { return signedIn.count() > 0 || errors.count() > 0; }, 15000) && signedIn.count() == 1;
    }
    QString lastError() const { return errors.isEmpty() ? QString() : errors.last().at(0).toString(); }

    platform::WebBrowser browser;
    QTimer timer;
    ClsLogin login;
    QSignalSpy signedIn{&login, &ClsLogin::LogIned};
    QSignalSpy errors{&login, &ClsLogin::LoginError};
};

// The pending wait on the window's real one-second timer: three seconds, then the login.
TEST(AgainstService, SignsInOnTheRealOneSecondTimer)
{
    ServiceProcess service;
    ASSERT_TRUE(service.addUser("alice", "s3cret"));
    const quint16 port = service.serve();
    ASSERT_NE(port, 0);
    Console c(service.base(port), 1000);
    QSignalSpy delays(&c.login, &ClsLogin::LogInDelay);
    ASSERT_TRUE(c.signIn("alice", "s3cret")) << qPrintable(c.lastError());
    EXPECT_EQ(delays.count(), 1);
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
        ASSERT_TRUE(service.addUser("alice", "s3cret"));
        const quint16 port = service.serve({"--tls-cert", identity->certFile, "--tls-key", identity->keyFile});
        ASSERT_NE(port, 0);
        // the login gives up after 19 ticks: a TLS handshake on a busy machine needs more than 190 ms
        Console c(service.base(port, "https"), 100);
        EXPECT_EQ(c.signIn("alice", "s3cret"), trusted) << qPrintable(c.lastError());
        EXPECT_EQ(c.lastError(), trusted ? "" : "Fail Login server");
        EXPECT_EQ(service.logText().contains("signed in"), trusted);
    }
}

// A silent service is given up after the login's ticks and its connection dropped; a refused
// connection alone ends the login, before any tick.
TEST(SilentOrClosedService, LoginFails)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    std::unique_ptr<QTcpSocket> peer;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { peer.reset(silent.nextPendingConnection()); });
    Console c(QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()), 10);
    EXPECT_FALSE(c.signIn("alice", "s3cret"));
    EXPECT_EQ(c.lastError(), "Fail Login server");
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return peer->state() == QAbstractSocket::UnconnectedState; }, 5000));

    const quint16 closed = testing_support::FreeLoopbackPort(SOCK_STREAM);
    Console refused(QStringLiteral("http://127.0.0.1:%1/").arg(closed), 3600 * 1000); // a tick never comes
    refused.login.SetLoginID("alice", "s3cret");
    refused.login.ExecLogin();
    ASSERT_TRUE(waitUntil([&] { return refused.errors.count() > 0; }));
    EXPECT_EQ(refused.lastError(), "Fail Login server");
}

} // namespace
