// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include <QSignalSpy>

// A started window whose mail engine and console the test can see.
class Countdown : public AppTest
{
protected:
    frmSet& run(bool withConsole = true)
    {
        markFirstRunDone();
        frmSetParts parts = EngineParts(engine);
        if (withConsole)
            parts.console = [this] {
                auto c = std::make_unique<FakeConsole>();
                console = c.get();
                return c;
            };
        return start(parts);
    }
    void tick(int times)
    {
        while (times-- > 0)
            window->CheckMailTimer_Timer();
    }
    FakeEngine* engine = nullptr;
    FakeConsole* console = nullptr;
};

TEST_F(Countdown, ThePeriodEndingStartsATimedCheckThatAlertsForEnoughNewMail)
{
    frmSet& w = run();
    w.Text7->setText(""); // ten minutes
    tick(1);
    EXPECT_EQ(w.panelText(2), "Count down 599 Seconds");
    w.Text7->setText("15");
    tick(98);
    EXPECT_EQ(w.panelText(2), "Count down 801 Seconds");
    EXPECT_TRUE(engine->checks.isEmpty());

    w.Text7->setText("1"); // the count (99) is already past the new period (60)
    w.Text1->setText("New mail for you");
    tick(1);
    EXPECT_EQ(engine->checks, QList<int>{2});
    EXPECT_EQ(engine->announcement, "New mail for you");
    EXPECT_EQ(w.tickCounter(), 0);
    tick(59);
    EXPECT_EQ(engine->checks, QList<int>{2});
    tick(1);
    EXPECT_EQ(engine->checks, QList<int>({2, 2}));

    engine->busy = true;
    tick(60);
    EXPECT_EQ(engine->checks, QList<int>({2, 2})); // skipped, and the count starts again
    EXPECT_EQ(w.tickCounter(), 0);
    engine->busy = false;

    // A timed check alerts the user when it found at least the set number of new mails, and
    // never without any: a threshold of 0 does not ring for nothing. Checks run only for a
    // signed-in user.
    const struct
    {
        int threshold, newMail, alerts;
    } rows[] = {{0, 0, 0}, {0, 1, 1}, {2, 1, 0}, {2, 2, 1}};
    for (const auto& r : rows) {
        engine->threshold = r.threshold;
        engine->newMail = r.newMail;
        engine->alerts = 0;
        w.MailObj_CheckmailStart();
        w.MailObj_CheckmailFinish(2);
        EXPECT_EQ(engine->alerts, r.alerts) << r.threshold << " " << r.newMail;
    }

    console->signedIn = false;
    engine->checks.clear();
    w.CheckMailTimer->stop();
    w.StartEmailChecking(1);
    EXPECT_EQ(std::tuple(engine->checks, engine->resets, w.CheckMailTimer->isActive()),
              std::tuple(QList<int>(), 1, true));
    console->signedIn = true;
    w.StartEmailChecking(2);
    EXPECT_EQ(std::pair(engine->checks, engine->resets), std::pair(QList<int>{2}, 1))
        << "only mode 1 counts from nothing";
}

TEST_F(Countdown, ClosingOrTheExitingFlagEndsTheProgramOnTheNextTick)
{
    frmSet& alone = run(false); // without a console, closing quits on the next tick
    QSignalSpy endedAlone(&alone, &frmSet::programEnded);
    alone.show();
    alone.close();
    EXPECT_EQ(std::pair(alone.isVisible(), endedAlone.count()), std::pair(false, qsizetype(0)));
    tick(1);
    EXPECT_EQ(endedAlone.count(), 1);

    // With a console that can still quit, closing only hides.
    int unloads = 0;
    frmSet& w = run();
    console->unloads = &unloads;
    w.Text4->setText("pop.saved.example");
    QSignalSpy ended(&w, &frmSet::programEnded);
    w.show();
    w.close();
    tick(3);
    EXPECT_EQ(std::pair(w.isVisible(), ended.count()), std::pair(false, qsizetype(0)));
    w.CheckMailTimer->setInterval(10); // the exiting flag ends it on the lent timer; nothing sleeps
    w.setExiting();
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_EQ(std::tuple(ended.count(), unloads, w.CheckMailTimer->isActive()), std::tuple(qsizetype(1), 1, false));
    EXPECT_EQ(stored("popserver"), "pop.saved.example");
}
