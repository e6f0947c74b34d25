#include "AppFixture.h"

#include "platform/ProgramWide.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>

namespace {

frmSetParts withEngine(FakeEngine*& seen, FakeConsole** console = nullptr)
{
    frmSetParts parts;
    parts.mailEngine = [&seen] {
        auto e = std::make_unique<FakeEngine>();
        seen = e.get();
        return e;
    };
    if (console)
        parts.console = [console] {
            auto c = std::make_unique<FakeConsole>();
            *console = c.get();
            return c;
        };
    return parts;
}

void tick(frmSet& w, int times)
{
    for (int i = 0; i < times; ++i)
        w.CheckMailTimer_Timer();
}

} // namespace

TEST_F(AppTest, CountdownShowsTheSecondsLeft)
{
    markFirstRunDone();
    frmSet& w = start();
    w.Text7->setText("");
    tick(w, 1);
    EXPECT_EQ(w.panelText(2), "Count down 599 Seconds");
    w.Text7->setText("15");
    tick(w, 98);
    EXPECT_EQ(w.panelText(2), "Count down 801 Seconds");
}

TEST_F(AppTest, ThePeriodEndingStartsATimedCheckUnlessTheEngineIsBusy)
{
    markFirstRunDone();
    FakeEngine* engine = nullptr;
    frmSet& w = start(withEngine(engine));
    w.Text7->setText("1");
    w.Text1->setText("New mail for you");
    tick(w, 59);
    EXPECT_TRUE(engine->checks.isEmpty());
    tick(w, 1);
    EXPECT_EQ(engine->checks, QList<int>{2});
    EXPECT_EQ(engine->announcement, "New mail for you");
    EXPECT_EQ(w.tickCounter(), 0);

    engine->busy = true;
    tick(w, 60);
    EXPECT_EQ(engine->checks, QList<int>{2}); // skipped, and the count starts again
    EXPECT_EQ(w.tickCounter(), 0);
}

TEST_F(AppTest, ShorteningTheIntervalPastTheCountStillChecks)
{
    markFirstRunDone();
    FakeEngine* engine = nullptr;
    frmSet& w = start(withEngine(engine));
    w.Text7->setText("30");
    tick(w, 200);
    w.Text7->setText("1"); // the count (200) is already past the new period (60)
    tick(w, 1);
    EXPECT_EQ(engine->checks, QList<int>{2});
}

TEST_F(AppTest, ChecksRunOnlyForASignedInUser)
{
    markFirstRunDone();
    FakeEngine* engine = nullptr;
    FakeConsole* console = nullptr;
    frmSet& w = start(withEngine(engine, &console));
    console->signedIn = false;
    w.CheckMailTimer->stop();
    w.StartEmailChecking(1);
    EXPECT_TRUE(engine->checks.isEmpty());
    EXPECT_EQ(engine->resets, 1);
    EXPECT_TRUE(w.CheckMailTimer->isActive());
    console->signedIn = true;
    w.StartEmailChecking(2);
    EXPECT_EQ(engine->checks, QList<int>{2});
    EXPECT_EQ(engine->resets, 1); // only mode 1 counts from nothing
}

TEST_F(AppTest, TheExitingFlagEndsTheProgramOnTheNextTick)
{
    markFirstRunDone();
    FakeConsole* console = nullptr;
    FakeEngine* engine = nullptr;
    frmSet& w = start(withEngine(engine, &console));
    w.Text4->setText("pop.saved.example");
    QSignalSpy ended(&w, &frmSet::programEnded);
    w.CheckMailTimer->setInterval(10); // a fast lent timer; nothing sleeps
    platform::Globals().exiting = true;
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(w.CheckMailTimer->isActive());
    EXPECT_EQ(stored("popserver"), "pop.saved.example");
}

TEST_F(AppTest, ClosingOnlyHidesWhileAConsoleCanQuit)
{
    markFirstRunDone();
    FakeConsole* console = nullptr;
    FakeEngine* engine = nullptr;
    frmSet& w = start(withEngine(engine, &console));
    int unloads = 0;
    console->unloads = &unloads;
    QSignalSpy ended(&w, &frmSet::programEnded);
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(platform::Globals().exiting);
    tick(w, 3);
    EXPECT_EQ(ended.count(), 0);

    platform::Globals().exiting = true;
    tick(w, 1);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(unloads, 1);
}

TEST_F(AppTest, ClosingWithoutAConsoleQuitsOnTheNextTick)
{
    markFirstRunDone();
    frmSet& w = start();
    QSignalSpy ended(&w, &frmSet::programEnded);
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(ended.count(), 0);
    tick(w, 1);
    EXPECT_EQ(ended.count(), 1);
}
