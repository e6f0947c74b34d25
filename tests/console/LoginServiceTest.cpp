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

    LoginService loaded = LoginService::Load(platform::SettingsStore(folder.file("settings.ini")));
    EXPECT_EQ(loaded, service);
    loaded.setPair(LoginService::Call, {});
    EXPECT_TRUE(loaded.isConfigured()) << "the internet call's pair is not needed to sign in";
    loaded.setPair(LoginService::Lookup, {});
    EXPECT_FALSE(loaded.isConfigured());
}

TEST(LoginService, ReadsKeyPairsAndSaysWhatIsWrong)
{
    const std::pair<const char*, const char*> rows[] = {
        {"10037,43621", ""},
        {" 7 , 2 ", ""},
        {"1,46340", ""},
        {"1,46341", "between 2 and 46340"},
        {"0,3233", "1 or more"},
        {"17,1", "between 2"},
        {"x,3233", "not a whole number"},
        {"17,3233,1", "exponent,modulus"},
        {",3233", "missing"},
        {"", "exponent,modulus"},
    };
    for (const auto& [text, says] : rows) {
        QString problem;
        EXPECT_EQ(KeyPair::parse(text, &problem).has_value(), !*says) << text;
        EXPECT_TRUE(problem.contains(says)) << text << ": " << qPrintable(problem);
    }
}

TEST(LoginService, WarnsAboutPlainHttpLeavingThisMachine)
{
    for (const char* base : {"http://login.example/", "HTTP://192.0.2.1:8080/kv/", "http://10.0.0.1/"})
        EXPECT_TRUE(needsPlainHttpWarning(base)) << base;
    for (const char* base : {"https://login.example/", "http://127.8.9.1/", "http://localhost/", "http://[::1]:80/"})
        EXPECT_FALSE(needsPlainHttpWarning(base)) << base;
    EXPECT_EQ(BaseProblem("https://login.example/kv/"), "");
    for (const char* bad : {"", "login.example", "ftp://x/", "https:///", "https://ex ample/", "https://x/?a=1"})
        EXPECT_NE(BaseProblem(bad), "") << bad;
}

// A bad number is named with its key and field (how each is judged is the key-pair test's), a
// bad base is refused; what is typed is stored at once over https://, after one warning over
// plain http://, and shown again the next time.
TEST(ServiceDialog, RefusesBadEntriesAndStoresWhatIsTypedAfterWarningOnceAboutPlainHttp)
{
    testing_support::TempFolder folder;
    platform::SettingsStore store{folder.file("settings.ini")};
    LoginServiceDialog dialog{store};
    QSignalSpy saved{&dialog, &LoginServiceDialog::Saved};
    const auto fill = [&](const QString& base) {
        dialog.baseEdit->setText(base);
        const LoginService s = login_keys::Service("https://x/");
        for (int i = 0; i < LoginService::kPairs; ++i) {
            dialog.exponentEdits[i]->setText(QString::number(s.pair(LoginService::Pair(i)).exponent));
            dialog.modulusEdits[i]->setText(QString::number(s.pair(LoginService::Pair(i)).modulus));
        }
    };
    QPushButton* ok = dialog.buttons->button(QDialogButtonBox::Ok);
    dialog.open();
    fill("https://login.example/");
    dialog.exponentEdits[LoginService::Lookup]->setText("12a");
    ok->click();
    EXPECT_EQ(dialog.messageLabel->text(), "Lookup key: The exponent \"12a\" is not a whole number.");
    fill("login.example");
    ok->click();
    EXPECT_TRUE(dialog.messageLabel->text().contains("https://"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(store.GetSetting("LoginService", "none"), "none");

    fill("https://login.example/kv/");
    ok->click();
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(LoginService::Load(store), login_keys::Service("https://login.example/kv/"));
    dialog.open();
    fill("http://login.example/kv/");
    ok->click();
    EXPECT_TRUE(dialog.messageLabel->text().contains("plain http://"));
    EXPECT_EQ(saved.count(), 1);
    ok->click();
    ASSERT_EQ(saved.count(), 2);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(LoginService::Load(store), login_keys::Service("http://login.example/kv/"));
    LoginServiceDialog again(store);
    EXPECT_EQ(again.baseEdit->text(), "http://login.example/kv/");
    EXPECT_EQ(again.modulusEdits[LoginService::Lookup]->text(), "39913");
}

} // namespace
