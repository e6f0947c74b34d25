// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "TestSupport.h"
#include "app/MailEngine.h"
#include "app/Seams.h"
#include "app/frmSet.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <memory>

// A settings store on a file of the test's own that remembers the order of its writes.
class RecordingStore : public platform::SettingsStore
{
public:
    using platform::SettingsStore::SettingsStore;
    bool SaveSetting(const QString& key, const QString& value) override
    {
        written << key;
        return platform::SettingsStore::SaveSetting(key, value);
    }
    QStringList written;
};

struct FakeEngine : MailEngineLink
{
    bool busy = false;
    bool conversation = false;
    QList<int> checks;
    int resets = 0;
    QString announcement;
    bool IsBusy() const override { return busy; }
    bool ConversationInProgress() const override { return conversation; }
    void StopConversation() override { }
    void ResetNewMailCounter() override { ++resets; }
    void SetAnnouncement(const QString& text) override { announcement = text; }
    void CheckMail(int mode) override { checks << mode; }
    void Init(const EngineSettings&) override { }
    void ButtonSpeak(const QString&) override { }
    void PrepareNetCall() override { }
    void ReadMessage(int) override { }
    int newMail = 0, threshold = 1, alerts = 0;
    int NewMailCount() const override { return newMail; }
    int AlertThreshold() const override { return threshold; }
    void AlertUser() override { ++alerts; }
};

struct FakeConsole : ConsoleLink
{
    bool signedIn = true;
    int shown = 0, reloads = 0;
    int* unloads = nullptr; // outlives the console, which the window deletes
    QStringList labels;
    bool isLogin() const override { return signedIn; }
    void EnableMenu(bool) override { }
    void ReloadSetting() override { ++reloads; }
    void Show() override { ++shown; }
    void Unload() override
    {
        if (unloads)
            ++*unloads;
    }
    void SetLabelCaption(int, const QString& text) override { labels << text; }
    void SetMenuToolTip(int, const QString&) override { }
    void SetButtonText(int, const QString&) override { }
    void SetExtraTexts(const QString&, const QString&) override { }
};

// Parts whose mail engine, of type E, the test sees through seen once the window has made it.
template <typename E> frmSetParts EngineParts(E*& seen)
{
    frmSetParts parts;
    parts.mailEngine = [&seen] {
        auto made = std::make_unique<E>();
        seen = made.get();
        return made;
    };
    return parts;
}

// Parts with the real mail engine, which the test sees through mail.
inline frmSetParts RealEngineParts(checkmailClass*& mail)
{
    frmSetParts parts;
    parts.mailEngine = [&mail] {
        auto made = std::make_unique<MailEngine>();
        mail = &made->engine();
        return made;
    };
    return parts;
}

// A main window on a fresh profile: its own settings file, program folder (with the real
// captions file) and lock folder. FirstRunning is set unless a test wants the first run.
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window; parts not given are absent.
    frmSet& makeWindow(frmSetParts parts = {});
    // Creates and starts it; the first run's dialogs must be answered by the test.
    frmSet& start(frmSetParts parts = {});
    // A second store on the same file, as the next start of the program sees it.
    QString stored(const QString& key, const QString& byDefault = "<missing>") const;
    void markFirstRunDone()
    {
        store->SaveSetting("FirstRunning", "1");
        store->written.clear();
    }
    // Points the stored account at the test POP3 server: user bob, the given password.
    void useTestMailbox(const QString& password);

    testing_support::TempFolder profile;
    std::unique_ptr<RecordingStore> store;
    std::unique_ptr<platform::SingleInstance> instance;
    std::unique_ptr<frmSet> window;
    QStringList problems;
};
