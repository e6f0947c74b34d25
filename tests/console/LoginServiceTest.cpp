// SPDX-License-Identifier: GPL-3.0-or-later
// The sign-in service's settings and the dialog that enters them.
#include "LoginKeys.h"
#include "TestSupport.h"
#include "console/LoginService.h"
#include "console/LoginServiceDialog.h"
#include "platform/SettingsStore.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(LoginService, KeepsTheBaseOnlyEnciphered)
{
    testing_support::TempFolder folder;
    platform::SettingsStore store(folder.file("settings.ini"));
    LoginService service = login_keys::Service("https://login.example/kv");
    EXPECT_EQ(service.base(), "https://login.example/kv/"); // the script name follows a "/"
    ASSERT_TRUE(service.Save(store));

    const QString stored = store.GetSetting("LoginService", "");
    EXPECT_FALSE(stored.contains("login"));
    EXPECT_TRUE(QRegularExpression("^[0-9]+(\\+[0-9]+)+$").match(stored).hasMatch()) << qPrintable(stored);

    const LoginService loaded = LoginService::Load(platform::SettingsStore(folder.file("settings.ini")));
    EXPECT_EQ(loaded, service);
    EXPECT_TRUE(loaded.isConfigured());
    // the internet call's pair is not needed to sign in
    LoginService noCall = loaded;
    noCall.setPair(LoginService::Call, {});
    EXPECT_TRUE(noCall.isConfigured());
    noCall.setPair(LoginService::Lookup, {});
    EXPECT_FALSE(noCall.isConfigured());
}

TEST(LoginService, ReadsKeyPairsAndSaysWhatIsWrong)
{
    struct Row
    {
        const char* text;
        bool ok;
        const char* problem;
    } rows[] = {
        {"10037,43621", true, ""},
        {" 7 , 2 ", true, ""},
        {"1,46340", true, ""},
        {"1,46341", false, "between 2 and 46340"},
        {"0,3233", false, "1 or more"},
        {"17,1", false, "between 2"},
        {"x,3233", false, "not a whole number"},
        {"17", false, "exponent,modulus"},
        {"17,3233,1", false, "exponent,modulus"},
        {",3233", false, "missing"},
        {"", false, "exponent,modulus"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        QString problem;
        const auto pair = KeyPair::parse(r.text, &problem);
        EXPECT_EQ(pair.has_value(), r.ok);
        EXPECT_TRUE(problem.contains(r.problem)) << qPrintable(problem);
    }
}

TEST(LoginService, WarnsAboutPlainHttpLeavingThisMachine)
{
    struct Row
    {
        const char* base;
        bool warn;
    } rows[] = {
        {"http://login.example/", true},   {"HTTP://192.0.2.1:8080/kv/", true}, {"https://login.example/", false},
        {"http://127.0.0.1:8080/", false}, {"http://localhost/", false},        {"http://[::1]:80/", false},
        {"http://127.8.9.1/", false},      {"http://10.0.0.1/", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.base);
        EXPECT_EQ(needsPlainHttpWarning(r.base), r.warn);
    }
    EXPECT_EQ(BaseProblem("https://login.example/kv/"), "");
    for (const char* bad : {"", "login.example", "ftp://x/", "https:///", "https://ex ample/", "https://x/?a=1"})
        EXPECT_NE(BaseProblem(bad), "") << bad;
}

class ServiceDialog : public ::testing::Test
{
protected:
    void fill(const QString& base)
    {
        dialog.baseEdit->setText(base);
        const LoginService s = login_keys::Service("https://x/");
        for (int i = 0; i < LoginService::kPairs; ++i) {
            dialog.exponentEdits[i]->setText(QString::number(s.pair(LoginService::Pair(i)).exponent));
            dialog.modulusEdits[i]->setText(QString::number(s.pair(LoginService::Pair(i)).modulus));
        }
    }
    void pressOk() { dialog.buttons->button(QDialogButtonBox::Ok)->click(); }

    testing_support::TempFolder folder;
    platform::SettingsStore store{folder.file("settings.ini")};
    LoginServiceDialog dialog{store};
    QSignalSpy saved{&dialog, &LoginServiceDialog::Saved};
};

// What is typed is stored: at once over https://, after one warning over plain http://.
TEST_F(ServiceDialog, StoresWhatIsTypedAfterWarningOnceAboutPlainHttp)
{
    dialog.open();
    fill("https://login.example/kv/");
    pressOk();
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(LoginService::Load(store), login_keys::Service("https://login.example/kv/"));
    dialog.open();
    fill("http://login.example/kv/");
    pressOk();
    EXPECT_TRUE(dialog.messageLabel->text().contains("plain http://"));
    EXPECT_EQ(saved.count(), 1);
    pressOk();
    ASSERT_EQ(saved.count(), 2);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(LoginService::Load(store), login_keys::Service("http://login.example/kv/"));

    LoginServiceDialog again(store); // shows what is stored
    EXPECT_EQ(again.baseEdit->text(), "http://login.example/kv/");
    EXPECT_EQ(again.modulusEdits[LoginService::Lookup]->text(), "39913");
}

TEST_F(ServiceDialog, RefusesBadNumbersWithTheFieldNamed)
{
    struct Row
    {
        int pair;
        bool modulus;
        const char* typed;
        const char* says;
    } rows[] = {
        {LoginService::Password, true, "46341", "Password key: The modulus must be between 2 and 46340."},
        {LoginService::Lookup, false, "12a", "Lookup key: The exponent \"12a\" is not a whole number."},
        {LoginService::Presence, true, "", "Presence key: The modulus is missing."},
    };
    dialog.open();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.says);
        fill("https://login.example/");
        (r.modulus ? dialog.modulusEdits : dialog.exponentEdits)[r.pair]->setText(r.typed);
        pressOk();
        EXPECT_EQ(dialog.messageLabel->text(), r.says);
        EXPECT_TRUE(dialog.isVisible());
    }
    fill("login.example");
    pressOk();
    EXPECT_TRUE(dialog.messageLabel->text().contains("https://"));
    EXPECT_EQ(saved.count(), 0);
    EXPECT_EQ(store.GetSetting("LoginService", "none"), "none");
}

} // namespace
