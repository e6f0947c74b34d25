// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "RealPeers.h"

#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/SystemLocale.h"

void AppTest::SetUp()
{
    QDir().mkpath(profile.file("program"));
    QFile::copy(testing_support::sourceDir() + "/data/statement.ini", profile.file("program/statement.ini"));
    platform::SetProgramFolderOverride(profile.file("program"));
    platform::SetSystemLcidOverride(1033);
    platform::Globals() = platform::ProgramWide{};
    store = std::make_unique<RecordingStore>(profile.file("settings.ini"));
    instance = std::make_unique<platform::SingleInstance>(profile.file("lock"));
}

void AppTest::TearDown()
{
    window.reset();
    platform::SetProgramFolderOverride(QString());
    platform::SetSystemLcidOverride(0);
    platform::Globals() = platform::ProgramWide{};
}

void AppTest::useTestMailbox(const QString& password)
{
    store->SaveSetting("EmailUID", "bob");
    store->SaveSetting("EmailPw", password);
    store->SaveSetting("popserver", "127.0.0.1");
    store->SaveSetting("popport", QString::number(RealPeers::instance().pop3Port()));
}

frmSet& AppTest::makeWindow(frmSetParts parts)
{
    window = std::make_unique<frmSet>(*store, *instance, std::move(parts));
    window->reportProblem = [this](const QString& text) { problems << text; };
    window->askRetry = [this](const QString& text) {
        problems << text;
        return false;
    };
    return *window;
}

frmSet& AppTest::start(frmSetParts parts)
{
    frmSet& w = makeWindow(std::move(parts));
    EXPECT_TRUE(w.Form_Load());
    return w;
}

QString AppTest::stored(const QString& key, const QString& byDefault) const
{
    return platform::SettingsStore(profile.file("settings.ini")).GetSetting(key, byDefault);
}
