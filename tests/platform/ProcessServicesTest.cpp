#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/ShellOpen.h"
#include "platform/SingleInstance.h"

#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace platform;
using testing_support::TempFolder;

TEST(SingleInstance, SecondCopyFindsTheFirstUntilItEnds)
{
    TempFolder tmp;
    {
        SingleInstance first(tmp.path());
        EXPECT_FALSE(first.PrevInstance());
        EXPECT_FALSE(first.PrevInstance()); // asking again does not find itself
        EXPECT_TRUE(SingleInstance(tmp.path()).PrevInstance());
    }
    EXPECT_FALSE(SingleInstance(tmp.path()).PrevInstance());
}

TEST(SingleInstance, LockOfACopyThatDiedIsTakenOver)
{
    TempFolder tmp;
    SingleInstance instance(tmp.path());
    tmp.write(QFileInfo(instance.lockFileName()).fileName(), "2147483646\nkorvalen\n\n"); // no such process
    EXPECT_FALSE(instance.PrevInstance());
    EXPECT_TRUE(SingleInstance(tmp.path()).PrevInstance());
}

TEST(ShellOpen, PathsBecomeFileUrlsAndAddressesStayWhole)
{
    QList<QUrl> opened;
    SetShellOpenHandler([&opened](const QUrl& url) { opened.append(url); return true; });
    TempFolder tmp;
    tmp.write("read me.txt", "x");

    EXPECT_TRUE(OpenWithShell(tmp.file("read me.txt")));
    EXPECT_TRUE(OpenWithShell("https://example.org/x#DB"));
    EXPECT_FALSE(OpenWithShell(""));
    EXPECT_FALSE(OpenWithShell("   "));
    SetShellOpenHandler(nullptr);

    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QFileInfo(tmp.file("read me.txt")).absoluteFilePath()));
    EXPECT_EQ(opened[1].toString(), "https://example.org/x#DB");
}

TEST(Clock, ManualClockMovesWhenToldOrWhenRead)
{
    ManualClock still(1000);
    still.advance(250);
    EXPECT_EQ(still.msecsSinceEpoch(), 1250);
    EXPECT_EQ(still.msecsSinceEpoch(), 1250);

    ManualClock stepping(0, 100);
    stepping.advance(1000);
    EXPECT_EQ(stepping.msecsSinceEpoch(), 1000);
    EXPECT_EQ(stepping.msecsSinceEpoch(), 1100);
}

TEST(Clock, SecondsSinceLocalMidnight)
{
    const QDateTime t(QDate(2024, 1, 15), QTime(10, 20, 30, 500), Qt::LocalTime);
    EXPECT_DOUBLE_EQ(ManualClock(t.toMSecsSinceEpoch()).secondsSinceMidnight(), 10 * 3600 + 20 * 60 + 30.5);
}

TEST(Clock, YieldForRunsEventsUntilTheAppClockHasMoved)
{
    ManualClock clock(1'000'000, 100);
    SetAppClock(&clock);
    auto ran = std::make_shared<bool>(false);
    QTimer::singleShot(0, [ran] { *ran = true; });
    YieldFor(5000);
    SetAppClock(nullptr);
    EXPECT_TRUE(*ran);
    EXPECT_GE(clock.msecsSinceEpoch(), 1'005'000);
    EXPECT_NE(&AppClock(), &clock);
}

TEST(ProgramFolder, OverrideAndProblems)
{
    TempFolder tmp;
    SetProgramFolderOverride(tmp.path());
    EXPECT_EQ(ProgramFolder(), tmp.path());
    EXPECT_EQ(ProgramFolderProblem(), "");
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "the write probe is removed";

    SetProgramFolderOverride(tmp.file("missing"));
    EXPECT_TRUE(ProgramFolderProblem().contains(tmp.file("missing")));
    SetProgramFolderOverride(QString());
}
