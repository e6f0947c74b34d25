// SPDX-License-Identifier: GPL-3.0-or-later
// Each test runs in a process of its own (ctest runs them one by one): the session bus a
// process talks to is chosen once, at its first use.
#include "platform/Keyring.h"
#include "platform/SettingsStore.h"

#include "PrivateBus.h"
#include "TestSupport.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

using platform::Keyring;
using platform::SettingsStore;
using testing_support::TempFolder;

namespace {

// A keyring daemon of the test's own on a private bus, unlocked, keeping its files in the
// test's folders.
class PrivateKeyring
{
public:
    PrivateKeyring()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
        env.insert("HOME", home_.path());
        daemon_.setProcessEnvironment(env);
        daemon_.start("gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"});
        if (!daemon_.waitForStarted(5000))
            return;
        daemon_.write("unlock-me");
        daemon_.closeWriteChannel();
        QDBusConnection watcher = bus_.connect("keyring-watcher");
        ready_ = testing_support::waitUntil(
            [&] { return watcher.interface()->isServiceRegistered("org.freedesktop.secrets").value(); }, 10000);
        // Every keyring call of this process goes to the private bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().toUtf8());
    }
    ~PrivateKeyring()
    {
        Resume();
        daemon_.kill();
        daemon_.waitForFinished(3000);
    }
    bool ready() const { return ready_; }
    void Pause() { ::kill(pid_t(daemon_.processId()), SIGSTOP); }
    void Resume() { ::kill(pid_t(daemon_.processId()), SIGCONT); }

private:
    PrivateBus bus_;
    TempFolder home_;
    QProcess daemon_;
    bool ready_ = false;
};

// Opens the keyring for the settings file and waits for its answer.
bool Open(Keyring& keyring, const QString& file)
{
    bool opened = false;
    keyring.Open(file, [&] { opened = true; });
    return testing_support::waitUntil([&] { return opened; }, 15000);
}

bool Flush(Keyring& keyring)
{
    bool flushed = false;
    keyring.Flush([&] { flushed = true; });
    return testing_support::waitUntil([&] { return flushed; }, 15000);
}

QString FileValue(const QString& file, const QString& key)
{
    return SettingsStore(file).GetSetting(key, "<none>");
}

} // namespace

TEST(Keyring, PasswordsMoveIntoTheKeyringStayThereAndComeBackWhenItStopsAnswering)
{
    PrivateKeyring daemon;
    ASSERT_TRUE(daemon.ready());
    TempFolder tmp;
    tmp.write("k.ini", "[setting]\npopserver=pop.example.org\nEmailPw=mail-secret\nsipDevice0Password=sip-secret\n"
                       "sipDevice0User=ann\nLoginPw=4071\n");
    const QString file = tmp.file("k.ini");
    {
        Keyring keyring;
        keyring.setService("korvalen-test");
        ASSERT_TRUE(Open(keyring, file));
        ASSERT_EQ(keyring.state(), Keyring::State::InUse) << keyring.Where().toStdString();
        SettingsStore store(file);
        store.UseKeyring(&keyring);
        EXPECT_EQ(store.GetSetting("emailpw", ""), "mail-secret");
        ASSERT_TRUE(Flush(keyring));
        // the file keeps everything but the passwords
        for (const char* password : {"EmailPw", "sipDevice0Password", "LoginPw"})
            EXPECT_EQ(FileValue(file, password), "<none>") << password;
        EXPECT_EQ(FileValue(file, "sipDevice0User"), "ann");
        EXPECT_EQ(FileValue(file, "popserver"), "pop.example.org");

        EXPECT_TRUE(store.SaveSetting("EmailPw", "changed"));
        EXPECT_TRUE(store.SaveSetting("popserver", "pop2.example.org"));
        EXPECT_EQ(store.GetSetting("EmailPw", ""), "changed");
        ASSERT_TRUE(Flush(keyring));
        EXPECT_EQ(FileValue(file, "EmailPw"), "<none>");
        EXPECT_EQ(FileValue(file, "popserver"), "pop2.example.org");
    }
    // the next start reads them from the keyring
    Keyring keyring;
    keyring.setService("korvalen-test");
    keyring.setAnswerMs(1500);
    ASSERT_TRUE(Open(keyring, file));
    SettingsStore store(file);
    store.UseKeyring(&keyring);
    EXPECT_EQ(store.GetSetting("EmailPw", ""), "changed");
    EXPECT_EQ(store.GetSetting("sipdevice0password", ""), "sip-secret");
    EXPECT_EQ(store.GetSetting("LoginPw", ""), "4071");

    // A keyring that stops answering, while in use or at a start, costs no password: every one
    // goes back to the file. The time limits run on the real clock here.
    QSignalSpy trouble(&keyring, &Keyring::Trouble);
    daemon.Pause();
    EXPECT_TRUE(store.SaveSetting("EmailPw", "changed again"));
    ASSERT_TRUE(Flush(keyring)); // gives up after its time limit
    EXPECT_EQ(keyring.state(), Keyring::State::Unavailable);
    EXPECT_EQ(trouble.size(), 1);
    for (const auto& [key, value] :
         {std::pair{"EmailPw", "changed again"}, {"sipDevice0Password", "sip-secret"}, {"LoginPw", "4071"}})
        EXPECT_EQ(FileValue(file, key), value) << key;
    EXPECT_TRUE(store.SaveSetting("LoginPw", "5678"));
    EXPECT_EQ(FileValue(file, "LoginPw"), "5678");

    Keyring late;
    late.setService("korvalen-test");
    late.setAnswerMs(500);
    ASSERT_TRUE(Open(late, file));
    EXPECT_EQ(late.state(), Keyring::State::Unavailable);
    EXPECT_TRUE(late.Where().contains("did not answer")) << late.Where().toStdString();
    daemon.Resume();
}
