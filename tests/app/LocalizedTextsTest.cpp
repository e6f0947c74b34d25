#include "AppFixture.h"

#include "app/LocalizedTexts.h"
#include "app/frmCapDev.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TEST(LocalizedTexts, OurCaptionsFileHasEveryKeyInEveryLanguage)
{
    testing_support::TempFolder folder;
    QFile::copy(testing_support::sourceDir() + "/data/statement.ini", folder.file("statement.ini"));
    platform::SetProgramFolderOverride(folder.path());
    QList<std::pair<QString, QString>> keys = {{"Conv", "UGotMail"}, {"Label", "PilotLabel10"}};
    auto stems = [&](const char* section, const char* stem, int last) {
        for (int i = 0; i <= last; ++i)
            keys.append({section, stem + QString::number(i)});
    };
    stems("Label", "SettingCheck", 6);
    stems("Label", "Gen", 18);
    stems("Label", "PilotLabel", 10);
    stems("Button", "ButtonA", 9);
    stems("Button", "SettingDialog", 6);
    stems("Button", "PilotDialog", 9);
    stems("Button", "PilotButton", 7);
    for (const char* letter : {"T", "S", "E"})
        for (const auto& [section, key] : keys)
            EXPECT_FALSE(ReadStatementText(letter + section, key).isEmpty()) << letter << section.toStdString() << " " << key.toStdString();
    EXPECT_NE(ReadStatementText("TLabel", "Gen0"), ReadStatementText("SLabel", "Gen0"));
    EXPECT_NE(ReadStatementText("SLabel", "Gen0"), ReadStatementText("ELabel", "Gen0"));
    platform::SetProgramFolderOverride(QString());
}

TEST_F(AppTest, CaptionsOnTheWindowsFollowTheLocale)
{
    markFirstRunDone();
    for (int lcid : {2052, 1028, 3076, 1033}) {
        platform::SetSystemLcidOverride(lcid);
        const QString letter = LanguageLetter(lcid);
        auto text = [&](const char* kind, const QString& key) { return ReadStatementText(letter + kind, key); };
        frmSetParts parts;
        FakeConsole* console = nullptr;
        parts.console = [&console] {
            auto c = std::make_unique<FakeConsole>();
            console = c.get();
            return c;
        };
        frmSet& w = start(parts);
        ASSERT_NE(console, nullptr);
        ASSERT_EQ(console->labels.size(), 11);
        EXPECT_EQ(console->labels[10], text("Label", "PilotLabel10"));
        EXPECT_EQ(w.GLabel[18]->text(), text("Label", "Gen18")) << lcid;
        EXPECT_EQ(w.Check[5]->text(), text("Label", "SettingCheck5"));
        EXPECT_EQ(w.Label33->text(), text("Label", "SettingCheck2"));
        EXPECT_EQ(w.ButtonAccount[9]->text(), text("Button", "ButtonA9"));
        EXPECT_EQ(w.Amenu[3]->toolTip(), text("Button", "SettingDialog3"));
        EXPECT_EQ(w.frame[3]->title(), w.Amenu[3]->toolTip());
        EXPECT_EQ(w.frame[6]->title(), text("Button", "SettingDialog6"));
        EXPECT_EQ(w.Text1->text(), text("Conv", "UGotMail"));
        EXPECT_EQ(w.wizard()->windowTitle(), text("Wizard", "Title"));
        window.reset();
        instance = std::make_unique<platform::SingleInstance>(profile.file("lock"));
    }
}

TEST_F(AppTest, AMissingCaptionsFileLeavesCaptionsEmptyUnlessAnnouncementIsStored)
{
    markFirstRunDone();
    QFile::remove(profile.file("program/statement.ini"));
    frmSet& w = start();
    EXPECT_EQ(w.Text1->text(), "");
    EXPECT_EQ(w.GLabel[0]->text(), "");
    EXPECT_EQ(w.Amenu[0]->toolTip(), "");
    window.reset();
    instance = std::make_unique<platform::SingleInstance>(profile.file("lock"));
    store->SaveSetting("Emailvoicefile", "Mail has come.");
    EXPECT_EQ(start().Text1->text(), "Mail has come.");
}
