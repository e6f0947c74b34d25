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

TEST(SingleInstance, ASecondStartAsksTheRunningCopyToShowItself)
{
    TempFolder tmp;
    SingleInstance first(tmp.path());
    ASSERT_FALSE(first.PrevInstance());
    QString problem;
    ASSERT_TRUE(first.Listen(&problem)) << problem.toStdString();
    QSignalSpy asked(&first, &SingleInstance::ShowRequested);

    // Something else on the socket is turned away and changes nothing.
    QLocalSocket stranger;
    stranger.connectToServer(first.socketName());
    ASSERT_TRUE(stranger.waitForConnected(3000));
    stranger.write("GET / HTTP/1.0\r\n");
    ASSERT_TRUE(testing_support::waitUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }, 3000));

    SingleInstance second(tmp.path());
    ASSERT_TRUE(second.PrevInstance());
    EXPECT_TRUE(second.anotherCopyRuns());
    std::optional<std::pair<bool, QString>> answer;
    second.AskRunningCopyToShow([&](bool shown, const QString& why) { answer = {shown, why}; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return answer.has_value(); }, 5000));
    EXPECT_TRUE(answer->first) << answer->second.toStdString();
    EXPECT_EQ(asked.size(), 1);
}

TEST(SingleInstance, ACopyThatDoesNotListenIsReportedNotWaitedFor)
{
    TempFolder tmp;
    SingleInstance first(tmp.path());
    ASSERT_FALSE(first.PrevInstance()); // holds the lock, never listens
    SingleInstance second(tmp.path());
    ASSERT_TRUE(second.PrevInstance());
    std::optional<std::pair<bool, QString>> answer;
    second.AskRunningCopyToShow([&](bool shown, const QString& why) { answer = {shown, why}; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return answer.has_value(); }, 3000));
    EXPECT_FALSE(answer->first);
    EXPECT_FALSE(answer->second.isEmpty());

    // A crashed copy's socket file is taken over by the next copy that holds the lock.
    tmp.write("TNX_Korvalen.socket", "left behind");
    QString problem;
    EXPECT_TRUE(first.Listen(&problem)) << problem.toStdString();
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
