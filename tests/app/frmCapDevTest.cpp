#include "AppFixture.h"

#include "app/frmCapDev.h"

#include <QtWidgets>

using testing_support::answerNext;

static void next(frmCapDev& wizard, int times = frmCapDev::kPages)
{
    while (times-- > 0)
        QTest::mouseClick(wizard.OKButton[0], Qt::LeftButton);
}

static void fillAccount(frmCapDev& wizard)
{
    wizard.txtEmailUID->setText("alice");
    wizard.txtEmailPw->setText("pw");
    wizard.txtPopServer->setText("pop.example.org");
}

TEST_F(AppTest, FinishingTheWizardWritesTheKeysInOrder)
{
    frmCapDev w(*store);
    w.Form_Load();
    w.show();
    w.cboModem->addItems({"Line A", "Line B"});
    w.txtLoginName->setText("kv-user");
    fillAccount(w);
    w.chkVoiceCall->setChecked(false);
    w.cboModem->setCurrentIndex(1);
    w.txtPhone->setText("5551234");
    w.txtMinute->setText("25");
    next(w, 4);
    EXPECT_TRUE(store->written.isEmpty()); // nothing before the last page is passed
    EXPECT_TRUE(w.frames[4]->isVisible());
    next(w, 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.saved());
    const QStringList account = {"Loginname", "LoginPw", "minute", "EmailUID", "EmailPw", "popserver", "smtpserver"};
    EXPECT_EQ(store->written, account + QStringList({"voicecall", "voicemodem0", "phone1"}));
    for (auto [key, value] : {std::pair{"Loginname", "kv-user"}, {"minute", "25"}, {"voicecall", "0"}, {"voicemodem0", "1"}})
        EXPECT_EQ(stored(key), value) << key;

    store->written.clear(); // without a telephone line its three keys are left alone
    w.Form_Load();
    w.skipTelephone = true;
    next(w);
    EXPECT_EQ(store->written, account);
}

TEST_F(AppTest, CancellingOrClosingTheWizardWritesNothing)
{
    frmCapDev w(*store);
    w.Form_Load();
    w.show();
    next(w, 2);
    w.txtPopServer->setText("typed.but.cancelled");
    QTest::mouseClick(w.CancelButton, Qt::LeftButton);
    EXPECT_TRUE(w.cancelled);
    EXPECT_FALSE(w.isVisible());
    w.SaveWizard(); // a save after a cancel does nothing
    w.Form_Load();
    EXPECT_FALSE(w.cancelled);
    w.show();
    w.close();
    EXPECT_FALSE(w.saved());
    EXPECT_TRUE(store->written.isEmpty());
}

TEST_F(AppTest, WizardBoxesHoldTheDefaultsOrTheStoredAccountAndTheIntervalIsChecked)
{
    frmCapDev w(*store);
    w.Form_Load();
    w.show();
    EXPECT_EQ(w.txtLoginPw->text(), "4071");
    EXPECT_EQ(w.txtSmtpServer->text(), "smtp.");
    EXPECT_EQ(w.txtMinute->text(), "10");
    for (auto [typed, savedAs] : {std::pair{"5", "10"}, {"99", "99"}, {"100", "10"}, {"", "10"}}) {
        w.Form_Load();
        fillAccount(w);
        w.txtMinute->setText(typed);
        next(w); // finishing judges the box even if it kept the focus
        EXPECT_EQ(stored("minute"), savedAs) << typed;
    }
    const std::pair<const char*, const char*> account[] = {
        {"EmailUID", "alice"}, {"EmailPw", "pw"}, {"popserver", "pop.example.org"}, {"smtpserver", "smtp.example.org"},
        {"Loginname", "kv-user"}, {"LoginPw", "9876"}, {"minute", "30"}, {"phone1", "5551234"}};
    for (auto [key, value] : account)
        store->SaveSetting(key, value);
    w.Form_Load(); // running it again keeps the stored account
    next(w);
    for (auto [key, value] : account)
        EXPECT_EQ(stored(key), value) << key;
}

TEST_F(AppTest, ACancelledRerunKeepsTheMainWindowsUnsavedEdits)
{
    markFirstRunDone();
    frmSet& w = start();
    for (auto [key, value] : {std::pair{"EmailUID", "alice"}, {"EmailPw", "pw"}, {"popserver", "pop.stored.example"}})
        store->SaveSetting(key, value);
    w.Text4->setText("pop.edited.example");
    answerNext<frmCapDev>([](frmCapDev* d) { QTest::mouseClick(d->CancelButton, Qt::LeftButton); });
    w.RunSetupWizard();
    EXPECT_EQ(w.Text4->text(), "pop.edited.example");
    answerNext<frmCapDev>([](frmCapDev* d) { next(*d); });
    w.RunSetupWizard();
    EXPECT_EQ(w.Text4->text(), "pop.stored.example"); // the wizard showed and kept the stored value
}

// Without a server, user and password every check would do nothing: the account page is not
// passed until they are given, and what was typed stays.
TEST_F(AppTest, TheWizardStaysOnTheAccountPageUntilServerUserAndPasswordAreGiven)
{
    frmCapDev w(*store);
    w.Form_Load();
    w.show();
    const struct { const char *user, *password, *server, *message; } rows[] = {
        {"", "", "", "Enter the POP3 user name, password and server: mail cannot be checked without them."},
        {"alice", "", " ", "Enter the POP3 password and server: mail cannot be checked without them."},
        {"alice", "pw", "", "Enter the POP3 server: mail cannot be checked without it."},
        {" ", "pw", "pop.example.org", "Enter the POP3 user name: mail cannot be checked without it."},
    };
    next(w, 1);
    for (const auto& row : rows) {
        w.txtEmailUID->setText(row.user);
        w.txtEmailPw->setText(row.password);
        w.txtPopServer->setText(row.server);
        next(w, 1);
        EXPECT_EQ(w.page(), 1) << row.message;
        EXPECT_TRUE(w.lblProblem->isVisible());
        EXPECT_EQ(w.lblProblem->text(), row.message);
        EXPECT_EQ(w.txtPopServer->text(), row.server);
    }
    QTest::mouseClick(w.OKButton[1], Qt::LeftButton); // going back is always allowed
    EXPECT_EQ(w.page(), 0);
    EXPECT_FALSE(w.lblProblem->isVisible());
    next(w, 1);
    fillAccount(w);
    next(w);
    EXPECT_TRUE(w.saved());
    EXPECT_EQ(stored("popserver"), "pop.example.org");
}
