// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/frmCapDev.h"
#include "app/frmLogin.h"
#include "platform/Keyring.h"
#include "platform/ProgramFolder.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"

using testing_support::answerNext;

TEST_F(AppTest, TheAgreementDecidesWhetherTheWizardAndTheEngineRun)
{
    int enginesMade = 0;
    auto console = std::make_unique<FakeConsole>();
    FakeConsole& consoleSeen = *console;
    frmSetParts parts;
    parts.mailEngine = [&] {
        ++enginesMade;
        return std::make_unique<FakeEngine>();
    };
    answerNext<frmLogin>([](frmLogin* d) { QTest::mouseClick(d->cmdCancel, Qt::LeftButton); });
    EXPECT_FALSE(makeWindow(parts).Form_Load()); // declined: it ends before the engine exists
    EXPECT_EQ(std::pair(enginesMade, store->written.isEmpty()), std::pair(0, true));

    parts.console = [&] { return std::move(console); };
    store->SaveSetting("popserver", "pop.before.example");
    answerNext<frmLogin>([](frmLogin* d) {
        answerNext<frmCapDev>([](frmCapDev* wizard) {
            wizard->txtEmailUID->setText("alice");
            wizard->txtEmailPw->setText("pw");
            wizard->txtPopServer->setText("pop.wizard.example");
            for (int i = 0; i < frmCapDev::kPages; ++i)
                QTest::mouseClick(wizard->OKButton[0], Qt::LeftButton);
        });
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
    });
    frmSet& w = start(parts);
    EXPECT_EQ(std::pair(stored("FirstRunning"), stored("popserver")),
              std::pair(QString("1"), QString("pop.wizard.example")));
    EXPECT_EQ(w.Text4->text(), "pop.wizard.example"); // taken over by ReloadSetting
    EXPECT_EQ(std::tuple(consoleSeen.reloads, consoleSeen.shown, enginesMade), std::tuple(1, 1, 1));

    window.reset(); // the next start shows neither dialog
    EXPECT_EQ(start().Text4->text(), "pop.wizard.example");
}

TEST_F(AppTest, AnUnwritableProgramFolderIsReported)
{
    markFirstRunDone();
    platform::SetProgramFolderOverride(profile.file("no-such-folder"));
    start();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(profile.file("no-such-folder")));
}

// The program shows its window before it opens the stored line; a window that is never shown
// still gets its line a little later.
class LineAfterWindowTest : public AppTest
{
protected:
    void TearDown() override
    {
        AppTest::TearDown();
        platform::LineDeviceTable::instance().clear(); // the next test starts without these lines
    }
    platform::ScriptedLine* addLines()
    {
        markFirstRunDone();
        store->SaveSetting("voicemodem0", "1");
        return static_cast<platform::ScriptedLine*>(platform::LineDeviceTable::instance().addBackend(
            std::make_unique<platform::ScriptedLine>(QStringList{"Line A", "Line B"})));
    }
    frmSet& startWindowFirst()
    {
        frmSetParts parts;
        parts.openLineWhenShown = true;
        return start(std::move(parts));
    }
    static QStringList opened(platform::ScriptedLine* line) { return line->operations().filter("open"); }
};

TEST_F(LineAfterWindowTest, TheStoredLineOpensOnceTheWindowIsShownOrALittleLater)
{
    for (bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "shown" : "never shown");
        platform::ScriptedLine* line = addLines();
        frmSet& w = startWindowFirst();
        EXPECT_EQ(w.modembox->currentText(), "Line B");
        EXPECT_TRUE(opened(line).isEmpty()) << "nothing is opened before the window is shown";
        if (shown)
            w.show();
        // when shown, well before the unshown window's wait
        ASSERT_TRUE(testing_support::waitUntil([&] { return !opened(line).isEmpty(); }, shown ? 1500 : 5000));
        EXPECT_EQ(opened(line), QStringList{"open 1 auto"});
        EXPECT_EQ(w.panelText(1), "Voice Modem");
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.modembox->setCurrentIndex(0); // the user's choice wins, and nothing opens twice
        EXPECT_EQ(opened(line), (QStringList{"open 1 auto", "open 0 auto"}));
        window.reset();
        platform::LineDeviceTable::instance().clear();
    }
}

// The program shows its window before the keyring has answered: what the keyring holds reaches
// the password fields when it answers, nothing saved before then writes over it, and the first
// check waits for it.
class PasswordsLaterTest : public AppTest
{
protected:
    // The program's store while the keyring is asked: passwords come from the file until the
    // keyring has answered, then from the keyring.
    struct KeyringStore : RecordingStore
    {
        using RecordingStore::RecordingStore;
        QString GetSetting(const QString& key, const QString& byDefault) const override
        {
            if (answered && platform::IsPasswordKey(key) && held.contains(key.toCaseFolded()))
                return held.value(key.toCaseFolded());
            return RecordingStore::GetSetting(key, byDefault);
        }
        bool answered = false;
        QHash<QString, QString> held; // by case-folded key
    };
    void SetUp() override
    {
        AppTest::SetUp();
        keyring = new KeyringStore(profile.file("settings.ini"));
        store.reset(keyring);
        markFirstRunDone();
        keyring->held = {{"emailpw", "pop-secret"}, {"smtppw", "smtp-secret"}};
    }
    KeyringStore* keyring = nullptr;
};

TEST_F(PasswordsLaterTest, ASaveBeforeTheAnswerKeepsTheKeyringsPasswords)
{
    FakeEngine* engine = nullptr;
    frmSet& w = makeWindow(EngineParts(engine));
    w.awaitPasswords();
    ASSERT_TRUE(w.Form_Load());
    EXPECT_TRUE(w.txtSmtpPw->text().isEmpty());
    QTest::keyClicks(w.Text3, "typed"); // the user's edit is newer than the keyring's
    w.CheckNow_Click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(engine->checks.isEmpty()) << "no check without the password";

    w.SaveSettings();
    EXPECT_FALSE(keyring->written.contains("SmtpPw"));
    EXPECT_EQ(stored("EmailPw"), "typed");
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();

    keyring->answered = true;
    w.passwordsKnown();
    EXPECT_EQ(w.Text3->text(), "typed");
    EXPECT_EQ(w.txtSmtpPw->text(), "smtp-secret");
    // the start's check and the one asked for, once each
    ASSERT_TRUE(testing_support::waitUntil([&] { return engine->checks.size() == 2; }, 5000));
    EXPECT_EQ(engine->checks, (QList<int>{1, 2}));
}

// A wizard opened before the keyring answers must not show, and then save, empty passwords.
TEST_F(PasswordsLaterTest, TheWizardWaitsForThePasswordsItShows)
{
    frmSet& w = makeWindow();
    w.awaitPasswords();
    ASSERT_TRUE(w.Form_Load());
    QString shown = "<not shown>";
    answerNext<frmCapDev>([&](frmCapDev* wizard) {
        shown = wizard->txtEmailPw->text();
        wizard->close();
    });
    w.RunSetupWizard();
    EXPECT_EQ(shown, "<not shown>");
    keyring->answered = true;
    w.passwordsKnown();
    EXPECT_EQ(shown, "pop-secret");
}
