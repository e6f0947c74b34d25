#include "AppFixture.h"

#include "app/frmCapDev.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using testing_support::answerNext;

namespace {

void next(frmCapDev& wizard, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(wizard.OKButton[0], Qt::LeftButton);
}

} // namespace

class WizardTest : public AppTest
{
protected:
    frmCapDev& open()
    {
        wizard = std::make_unique<frmCapDev>(*store);
        wizard->Form_Load();
        wizard->show();
        return *wizard;
    }
    std::unique_ptr<frmCapDev> wizard;
};

TEST_F(WizardTest, FinishingWritesTheKeysInOrder)
{
    frmCapDev& w = open();
    w.cboModem->addItems({"Line A", "Line B"});
    w.txtLoginName->setText("kv-user");
    w.chkVoiceCall->setChecked(false);
    w.cboModem->setCurrentIndex(1);
    w.txtPhone->setText("5551234");
    w.txtMinute->setText("25");
    next(w, 4);
    EXPECT_TRUE(store->written.isEmpty()); // nothing before the last page is passed
    EXPECT_TRUE(w.frames[4]->isVisible());
    next(w);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.saved());
    EXPECT_EQ(store->written, QStringList({"Loginname", "LoginPw", "minute", "EmailUID", "EmailPw", "popserver",
                                           "smtpserver", "voicecall", "voicemodem0", "phone1"}));
    EXPECT_EQ(stored("Loginname"), "kv-user");
    EXPECT_EQ(stored("minute"), "25");
    EXPECT_EQ(stored("voicecall"), "0");
    EXPECT_EQ(stored("voicemodem0"), "1");

    // Without a telephone line its three keys are left alone.
    store->written.clear();
    w.Form_Load();
    w.skipTelephone = true;
    next(w, frmCapDev::kPages);
    EXPECT_EQ(store->written,
              QStringList({"Loginname", "LoginPw", "minute", "EmailUID", "EmailPw", "popserver", "smtpserver"}));
}

TEST_F(WizardTest, CancellingOrClosingWritesNothing)
{
    frmCapDev& w = open();
    next(w, 2);
    w.txtPopServer->setText("typed.but.cancelled");
    QTest::mouseClick(w.CancelButton, Qt::LeftButton);
    EXPECT_TRUE(w.cancelled);
    EXPECT_FALSE(w.isVisible());
    w.SaveWizard(); // a save after a cancel does nothing
    EXPECT_TRUE(store->written.isEmpty());

    w.Form_Load();
    EXPECT_FALSE(w.cancelled);
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.saved());
    EXPECT_TRUE(store->written.isEmpty());
}

TEST_F(WizardTest, RunningItAgainKeepsTheStoredAccount)
{
    const std::pair<const char*, const char*> account[] = {
        {"EmailUID", "alice"}, {"EmailPw", "pw"}, {"popserver", "pop.example.org"}, {"smtpserver", "smtp.example.org"},
        {"Loginname", "kv-user"}, {"LoginPw", "9876"}, {"minute", "30"}, {"phone1", "5551234"}};
    for (auto [key, value] : account)
        store->SaveSetting(key, value);
    next(open(), frmCapDev::kPages);
    for (auto [key, value] : account)
        EXPECT_EQ(stored(key), value) << key;
}

TEST_F(WizardTest, FreshBoxesHoldTheDefaultsAndTheIntervalIsChecked)
{
    frmCapDev& w = open();
    EXPECT_EQ(w.txtLoginPw->text(), "4071");
    EXPECT_EQ(w.txtSmtpServer->text(), "smtp.");
    EXPECT_EQ(w.txtMinute->text(), "10");
    const std::pair<const char*, const char*> rows[] = {{"5", "10"}, {"99", "99"}, {"100", "10"}, {"", "10"}};
    for (auto [typed, savedAs] : rows) {
        w.Form_Load();
        w.txtMinute->setText(typed);
        next(w, frmCapDev::kPages); // finishing judges the box even if it kept the focus
        EXPECT_EQ(stored("minute"), savedAs) << typed;
    }
}

TEST_F(AppTest, ACancelledRerunKeepsTheMainWindowsUnsavedEdits)
{
    markFirstRunDone();
    frmSet& w = start();
    store->SaveSetting("popserver", "pop.stored.example");
    w.Text4->setText("pop.edited.example");
    answerNext<frmCapDev>([](frmCapDev* d) { QTest::mouseClick(d->CancelButton, Qt::LeftButton); });
    w.RunSetupWizard();
    EXPECT_EQ(w.Text4->text(), "pop.edited.example");

    answerNext<frmCapDev>([](frmCapDev* d) { next(*d, frmCapDev::kPages); });
    w.RunSetupWizard();
    EXPECT_EQ(w.Text4->text(), "pop.stored.example"); // the wizard showed and kept the stored value
}
