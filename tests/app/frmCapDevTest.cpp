// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/frmCapDev.h"

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

// Cancelled or closed, the wizard writes nothing; finished, it writes its keys in order.
TEST_F(AppTest, TheWizardWritesNothingUnlessFinishedThenItsKeysInOrder)
{
    frmCapDev w(*store);
    w.Form_Load();
    w.show();
    next(w, 2);
    w.txtPopServer->setText("typed.but.cancelled");
    QTest::mouseClick(w.CancelButton, Qt::LeftButton);
    EXPECT_TRUE(w.cancelled && !w.isVisible());
    w.SaveWizard(); // a save after a cancel does nothing
    w.Form_Load();
    EXPECT_FALSE(w.cancelled);
    w.show();
    w.close();
    EXPECT_FALSE(w.saved());
    EXPECT_TRUE(store->written.isEmpty());

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
    EXPECT_TRUE(w.saved() && !w.isVisible());
    const QStringList account = {"Loginname",  "LoginPw",     "minute",       "EmailUID", "EmailPw", "popserver",
                                 "smtpserver", "popsecurity", "smtpsecurity", "SmtpUID",  "SmtpPw"};
    EXPECT_EQ(store->written, account + QStringList({"voicecall", "voicemodem0", "phone1"}));
    for (auto [key, value] :
         {std::pair{"Loginname", "kv-user"}, {"minute", "25"}, {"voicecall", "0"}, {"voicemodem0", "1"}})
        EXPECT_EQ(stored(key), value) << key;

    store->written.clear(); // without a telephone line its three keys are left alone
    w.Form_Load();
    w.skipTelephone = true;
    next(w);
    EXPECT_EQ(store->written, account);
}

TEST_F(AppTest, WizardBoxesHoldTheStoredAccountAndTheIntervalIsChecked)
{
    frmCapDev w(*store);
    w.show();
    // the main window's range, so that it keeps what the wizard saved
    for (auto [typed, savedAs] : {std::pair{"5", "10"}, {"60", "60"}, {"61", "10"}, {"", "10"}}) {
        w.Form_Load();
        fillAccount(w);
        w.txtMinute->setText(typed);
        next(w); // finishing judges the box even if it kept the focus
        EXPECT_EQ(stored("minute"), savedAs) << typed;
    }
    const std::pair<const char*, const char*> account[] = {{"EmailUID", "alice"},
                                                           {"EmailPw", "pw"},
                                                           {"popserver", "pop.example.org"},
                                                           {"smtpserver", "smtp.example.org"},
                                                           {"Loginname", "kv-user"},
                                                           {"LoginPw", "9876"},
                                                           {"minute", "30"},
                                                           {"phone1", "5551234"}};
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
    const struct
    {
        const char *user, *password, *server, *message;
    } rows[] = {
        {"", "", "", "Enter the POP3 user name, password and server: mail cannot be checked without them."},
        {" ", "pw", "pop.example.org", "Enter the POP3 user name: mail cannot be checked without it."},
    };
    next(w, 1);
    for (const auto& row : rows) {
        w.txtEmailUID->setText(row.user);
        w.txtEmailPw->setText(row.password);
        w.txtPopServer->setText(row.server);
        next(w, 1);
        EXPECT_EQ(std::tuple(w.page(), w.lblProblem->isVisible(), w.lblProblem->text(), w.txtPopServer->text()),
                  std::tuple(1, true, QString(row.message), QString(row.server)));
    }
    QTest::mouseClick(w.OKButton[1], Qt::LeftButton); // going back is always allowed
    EXPECT_EQ(std::pair(w.page(), w.lblProblem->isVisible()), std::pair(0, false));
}

// Return in a field: the page's next field, and from its last field the next page; the focus
// starts on each page's first field.
TEST_F(AppTest, TheWizardCanBeFilledInFromTheKeyboard)
{
    frmCapDev w(*store);
    w.cboModem->addItems({"Line A", "Line B"});
    w.Form_Load();
    w.show();
    auto type = [&](const QString& text) {
        QWidget* field = w.focusWidget();
        if (auto* edit = qobject_cast<QLineEdit*>(field)) {
            edit->selectAll();
            QTest::keyClicks(edit, text);
        }
        QTest::keyClick(field, Qt::Key_Return);
    };
    EXPECT_EQ(w.focusWidget(), w.txtLoginName);
    type("kv-user");
    EXPECT_EQ(w.focusWidget(), w.txtLoginPw);
    type("1234");
    ASSERT_EQ(w.page(), 1);
    EXPECT_EQ(w.focusWidget(), w.txtEmailUID);
    type("alice"); // once jumped two pages
    EXPECT_EQ(w.page(), 1);
    EXPECT_EQ(w.focusWidget(), w.txtEmailPw);
    type("pw");
    type("pop.example.org");
    EXPECT_EQ(w.page(), 1);
    type("smtp.example.org");
    EXPECT_EQ(w.focusWidget(), w.cboPopSecurity);
    for (int field = 0; field < 4; ++field) // both protections and the SMTP login as they are
        type({});
    ASSERT_EQ(w.page(), 2);
    EXPECT_EQ(w.focusWidget(), w.chkVoiceCall);
    type({});
    EXPECT_EQ(w.focusWidget(), w.cboModem);
    QTest::keyClick(w.cboModem, Qt::Key_Down);
    type({});
    EXPECT_EQ(w.focusWidget(), w.txtPhone);
    type("+1 555-0100");
    ASSERT_EQ(w.page(), 3);
    EXPECT_EQ(w.focusWidget(), w.txtMinute);
    type("25");
    ASSERT_EQ(w.page(), 4);
    EXPECT_EQ(w.focusWidget(), w.OKButton[0]);

    QTest::keyClick(w.focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(w.saved());
    for (auto [key, value] : {std::pair{"LoginPw", "1234"},
                              {"smtpserver", "smtp.example.org"},
                              {"voicemodem0", "0"},
                              {"phone1", "+1 555-0100"},
                              {"minute", "25"}})
        EXPECT_EQ(stored(key), value) << key;
}

// The number fields take what can be dialled, typed or pasted.
TEST_F(AppTest, TelephoneNumberFieldsTakeOnlyWhatCanBeDialled)
{
    markFirstRunDone();
    frmSet& window = start();
    for (QLineEdit* field : {window.Text9, window.wizard()->txtPhone}) {
        field->clear();
        QTest::keyClicks(field, "+49 (30) 123-45x6*#;");
        EXPECT_EQ(field->text(), "+49 30 123-456*#");
        field->clear();
        field->insert("tel:0800.1"); // a paste
        emit field->textEdited(field->text());
        EXPECT_EQ(field->text(), "08001");
    }
}

// Without a line the telephone pages say how to add one instead of an empty grey list.
TEST_F(AppTest, WithoutALineTheTelephonePagesSayHowToAddOne)
{
    markFirstRunDone();
    frmSet& window = start();
    window.show();
    window.SetFrameOn(2);
    ASSERT_EQ(window.modembox->count(), 0);
    EXPECT_FALSE(window.modembox->isVisible());
    EXPECT_TRUE(window.lblNoLine->isVisible());
    EXPECT_TRUE(window.lblNoLine->text().contains("Modem configuration"));
}
