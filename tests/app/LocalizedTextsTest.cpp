// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/LocalizedTexts.h"
#include "app/frmCapDev.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"

TEST(LocalizedTexts, OurCaptionsFileHasEveryKeyInEveryLanguage)
{
    testing_support::TempFolder folder;
    QFile::copy(testing_support::sourceDir() + "/data/statement.ini", folder.file("statement.ini"));
    platform::SetProgramFolderOverride(folder.path());
    QList<std::pair<QString, QString>> keys = {{"Conv", "UGotMail"}};
    const std::tuple<const char*, const char*, int> stems[] = {
        {"Label", "SettingCheck", 6}, {"Label", "Gen", 18},           {"Label", "PilotLabel", 10},
        {"Button", "ButtonA", 9},     {"Button", "SettingDialog", 6}, {"Button", "PilotDialog", 9},
        {"Button", "PilotButton", 7}};
    for (auto [section, stem, last] : stems)
        for (int i = 0; i <= last; ++i)
            keys.append({section, stem + QString::number(i)});
    for (const char* key :
         {"CheckNow", "CheckNowTip", "CheckBusy", "NotifyCheck", "NotifyOne", "NotifyMany", "NotifyMore", "NoSubject",
          "LogTitle", "LogReload", "LogClose", "LogEmpty", "FormatMono", "FormatStereo"})
        keys.append({QStringLiteral("Desktop"), QString::fromLatin1(key)});
    for (const char* letter : {"T", "S", "E"})
        for (const auto& [section, key] : keys)
            EXPECT_FALSE(ReadStatementText(letter + section, key).isEmpty())
                << letter << (section + " " + key).toStdString();
    EXPECT_NE(ReadStatementText("TLabel", "Gen0"), ReadStatementText("SLabel", "Gen0"));
    EXPECT_NE(ReadStatementText("SLabel", "Gen0"), ReadStatementText("ELabel", "Gen0"));
    platform::SetProgramFolderOverride(QString());
}

TEST_F(AppTest, CaptionsOnTheWindowsFollowTheLocale)
{
    markFirstRunDone();
    for (auto [lcid, letter] : {std::pair{2052, "S"}, {1028, "T"}, {3076, "T"}, {1033, "E"}}) {
        SCOPED_TRACE(lcid);
        platform::SetSystemLcidOverride(lcid);
        auto text = [&](const char* kind, const char* key) { return ReadStatementText(letter + QString(kind), key); };
        auto made = std::make_unique<FakeConsole>();
        FakeConsole& console = *made;
        frmSetParts parts;
        parts.console = [&made] { return std::move(made); };
        frmSet& w = start(parts);
        ASSERT_EQ(console.labels.size(), 11);
        EXPECT_EQ(QStringList({console.labels[10], w.GLabel[18]->text(), w.ButtonAccount[9]->text(),
                               w.Amenu[3]->toolTip(), w.frame[6]->title(), w.Text1->text(), w.wizard()->windowTitle()}),
                  QStringList({text("Label", "PilotLabel10"), text("Label", "Gen18"), text("Button", "ButtonA9"),
                               text("Button", "SettingDialog3"), text("Button", "SettingDialog6"),
                               text("Conv", "UGotMail"), text("Wizard", "Title")}));
    }
}
