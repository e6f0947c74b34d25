// SPDX-License-Identifier: GPL-3.0-or-later
// TLS and login settings of the main window and the wizard, and trusting a refused certificate.
#include "AppFixture.h"

namespace {

// An engine whose last check refused a certificate.
struct RefusingEngine : FakeEngine
{
    std::pair<QString, QString> refused;
    std::pair<QString, QString> RefusedCertificate() const override { return refused; }
    QString LastFailure() const override { return refused.second.isEmpty() ? QString() : "not trusted"; }
};

const QString kPrint = "AB:" + QString("CD:").repeated(30) + "EF";

} // namespace

// A fresh profile gets what providers ask for; one saved before keeps its plain connections.
TEST_F(AppTest, SecurityAndPortsFollowTheProfileAndTheChoice)
{
    // What the profile holds; the POP3 and SMTP protection and port shown.
    const std::tuple<const char*, std::vector<std::pair<const char*, const char*>>, QStringList> rows[] = {
        {"fresh", {}, {"tls", "995", "starttls", "587"}},
        {"saved before TLS, odd ports",
         {{"EmailUID", "ann"}, {"popport", "1110"}, {"smtpport", "2525"}},
         {"none", "1110", "none", "2525"}},
        {"chosen",
         {{"popserver", "p"}, {"popsecurity", "starttls"}, {"smtpsecurity", "tls"}},
         {"starttls", "110", "tls", "465"}},
    };
    for (const auto& [what, saved, shown] : rows) {
        SCOPED_TRACE(what);
        QFile::remove(profile.file("settings.ini")); // a profile of its own
        store = std::make_unique<RecordingStore>(profile.file("settings.ini"));
        markFirstRunDone();
        for (const auto& [key, value] : saved)
            store->SaveSetting(key, value);
        frmSet& w = start();
        EXPECT_EQ(QStringList({w.popSecurityBox->currentData().toString(), w.Text5->text(),
                               w.smtpSecurityBox->currentData().toString(), w.Text16->text()}),
                  shown);
        window.reset();
    }

    // A port left at the usual one follows the choice; one the user set stays.
    QFile::remove(profile.file("settings.ini"));
    store = std::make_unique<RecordingStore>(profile.file("settings.ini"));
    markFirstRunDone();
    frmSet& w = start();
    w.popSecurityBox->setCurrentIndex(w.popSecurityBox->findData("none"));
    EXPECT_EQ(w.Text5->text(), "110");
    w.smtpSecurityBox->setCurrentIndex(w.smtpSecurityBox->findData("tls"));
    EXPECT_EQ(w.Text16->text(), "465");
    w.Text16->setText("2465");
    w.smtpSecurityBox->setCurrentIndex(w.smtpSecurityBox->findData("none"));
    EXPECT_EQ(w.Text16->text(), "2465");
    w.txtSmtpUser->setText(" ann ");
    w.txtSmtpPw->setText("pw");
    EXPECT_EQ(w.smtpUser(), "ann");
    w.Form_Unload();
    for (auto [key, value] :
         {std::pair{"popsecurity", "none"}, {"smtpsecurity", "none"}, {"SmtpUID", "ann"}, {"SmtpPw", "pw"}})
        EXPECT_EQ(stored(key), value) << key;
}

// The refused certificate can be trusted from beside the failure text, after a question that
// names it; only that fingerprint, only for that server.
TEST_F(AppTest, ARefusedCertificateIsTrustedFromTheFailurePanel)
{
    markFirstRunDone();
    RefusingEngine* engine = nullptr;
    frmSet& w = start(EngineParts(engine));
    ASSERT_NE(engine, nullptr);
    QStringList asked;
    bool answer = false;
    w.askTrust = [&](const QString& text) {
        asked << text;
        return answer;
    };
    w.MailObj_CheckmailFinish(MailEngineLink::TimedCheck);
    EXPECT_TRUE(w.trustButton->isHidden());

    engine->refused = {"pop.example.org:995", kPrint};
    w.MailObj_CheckmailFinish(MailEngineLink::TimedCheck);
    EXPECT_FALSE(w.trustButton->isHidden());
    w.trustButton->click(); // declined
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("pop.example.org:995") && asked[0].contains(kPrint)) << asked[0].toStdString();
    EXPECT_EQ(w.trustedCertificate("pop.example.org:995"), "");

    answer = true;
    w.trustButton->click();
    EXPECT_TRUE(w.trustButton->isHidden());
    EXPECT_EQ(w.trustedCertificate("pop.example.org:995"), kPrint);
    EXPECT_EQ(w.trustedCertificate("pop.example.org:110"), "");

    engine->refused = {"pop.example.org:995", "11:" + kPrint.mid(3)}; // the certificate changed
    w.MailObj_CheckmailFinish(MailEngineLink::TimedCheck);
    w.trustButton->click();
    EXPECT_EQ(w.trustedCertificate("pop.example.org:995"), "11:" + kPrint.mid(3)); // one per server
    EXPECT_EQ(stored("TrustedCerts"), "pop.example.org:995=11:" + kPrint.mid(3));
}
