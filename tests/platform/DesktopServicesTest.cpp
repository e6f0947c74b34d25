// SPDX-License-Identifier: GPL-3.0-or-later
// What the program asks of the desktop: notifications, the running copy, the file opener.
#include "platform/DesktopNotifier.h"
#include "platform/ShellOpen.h"
#include "platform/SingleInstance.h"

#include "PrivateBus.h"
#include "TestSupport.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

using namespace platform;
using testing_support::TempFolder;

TEST(DesktopNotifier, DeliversTheNoticeAndReportsAnOutageOnce)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    DesktopNotifier notifier(bus.connect("notifier"));
    QSignalSpy delivered(&notifier, &DesktopNotifier::delivered);
    QSignalSpy unavailable(&notifier, &DesktopNotifier::unavailable);

    // Nobody shows notices on this bus yet: two tries, one report.
    notifier.notify("Korvalen", "first", "a");
    notifier.notify("Korvalen", "second", "b");
    FakeNotifications service;
    ASSERT_TRUE(service.registerOn(bus.connect("service")));
    notifier.notify("Korvalen", "2 new messages", "Ann: Hello\nBob &amp; Co: Lunch");
    // Calls on one connection are answered in order: once this one is in, the others are too.
    ASSERT_TRUE(testing_support::waitUntil([&] { return delivered.size() == 1; }, 5000));
    ASSERT_EQ(unavailable.size(), 1);
    EXPECT_TRUE(unavailable[0][0].toString().contains("org.freedesktop.Notifications"))
        << unavailable[0][0].toString().toStdString();
    ASSERT_EQ(service.notices.size(), 1);
    EXPECT_EQ(service.notices[0].summary, "2 new messages");
    EXPECT_EQ(service.notices[0].body, "Ann: Hello\nBob &amp; Co: Lunch");

    // A notice that gets through ends the outage: the next one is reported again.
    service.unregister();
    notifier.notify("Korvalen", "third", "c");
    ASSERT_TRUE(testing_support::waitUntil([&] { return unavailable.size() == 2; }, 5000));
    EXPECT_EQ(service.notices.size(), 1);
}

// A copy that does not listen is reported, not waited for. Once it listens, over a crashed
// copy's socket file, a second start asks it to show itself; anything else is turned away.
TEST(SingleInstance, ASecondStartAsksTheRunningCopyToShowItself)
{
    TempFolder tmp;
    SingleInstance first(tmp.path());
    ASSERT_FALSE(first.PrevInstance());
    const auto secondStart = [&] {
        SingleInstance second(tmp.path());
        EXPECT_TRUE(second.PrevInstance() && second.anotherCopyRuns());
        std::optional<std::pair<bool, QString>> answer;
        second.AskRunningCopyToShow([&](bool shown, const QString& why) { answer = {shown, why}; });
        EXPECT_TRUE(testing_support::waitUntil([&] { return answer.has_value(); }, 5000));
        return answer.value_or(std::pair(false, QString()));
    };
    const auto notListening = secondStart();
    EXPECT_FALSE(notListening.first);
    EXPECT_FALSE(notListening.second.isEmpty());

    tmp.write("TNX_Korvalen.socket", "left behind");
    QString problem;
    ASSERT_TRUE(first.Listen(&problem)) << problem.toStdString();
    QSignalSpy asked(&first, &SingleInstance::ShowRequested);
    QLocalSocket stranger;
    stranger.connectToServer(first.socketName());
    ASSERT_TRUE(stranger.waitForConnected(3000));
    stranger.write("GET / HTTP/1.0\r\n");
    ASSERT_TRUE(testing_support::waitUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }, 3000));
    EXPECT_EQ(asked.size(), 0);

    const auto shown = secondStart();
    EXPECT_TRUE(shown.first) << shown.second.toStdString();
    EXPECT_EQ(asked.size(), 1);
}

// The desktop's opener tells by its exit status whether it found a handler.
TEST(ShellOpen, ReportsWhetherTheDesktopOpenedTheFile)
{
    TempFolder tmp;
    tmp.write("kv_.log", "x\r\n");
    QObject context;
    const struct
    {
        const char* opener;
        bool opened;
    } rows[] = {{"true", true}, {"false", false}, {"/nonexistent/xdg-open", false}};
    for (const auto& row : rows) {
        SetShellOpenCommand(row.opener);
        std::optional<bool> answer;
        OpenWithShell(tmp.file("kv_.log"), &context, [&](bool opened) { answer = opened; });
        EXPECT_FALSE(answer.has_value()); // never at once
        ASSERT_TRUE(testing_support::waitUntil([&] { return answer.has_value(); }, 5000)) << row.opener;
        EXPECT_EQ(*answer, row.opened) << row.opener;
    }
    SetShellOpenCommand(QString());
}
