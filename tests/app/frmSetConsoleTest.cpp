// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with the program's own console: signing in starts checking, the switch stops
// it, and quitting from the console ends the program on the countdown's next tick.
#include "AppFixture.h"
#include "console/Pilot.h"
#include "console/frmSoundRec.h"
#include "platform/SystemLocale.h"

TEST_F(AppTest, TheConsoleSignsInAndItsSwitchAndQuitDriveTheMainWindow)
{
    FakeEngine* engine = nullptr;
    frmSetParts parts = EngineParts(engine);
    parts.pilotConsole = true;
    markFirstRunDone();
    frmSet& w = start(parts);
    Pilot* pilot = w.console();
    ASSERT_TRUE(engine);
    EXPECT_TRUE(engine->checks.isEmpty()); // nothing before start-up has ended
    EXPECT_TRUE(testing_support::waitUntil([&] { return !engine->checks.isEmpty(); }, 5000));
    EXPECT_EQ(engine->checks, QList<int>{1}); // signed in: the first check and the countdown
    EXPECT_EQ(std::tuple(w.signedIn(), w.CheckMailTimer->isActive(), pilot->isVisible()), std::tuple(true, true, true));

    pilot->AFunction[Pilot::SwitchButton]->click();
    EXPECT_FALSE(w.CheckMailTimer->isActive());
    pilot->AFunction[Pilot::SwitchButton]->click();
    EXPECT_TRUE(w.CheckMailTimer->isActive());
    EXPECT_EQ(engine->checks, (QList<int>{1, 1}));

    // The countdown's next tick, on the real one-second timer, ends the program.
    bool ended = false;
    QObject::connect(&w, &frmSet::programEnded, [&] { ended = true; });
    pilot->Text2->setText("9700");
    pilot->AFunction[Pilot::QuitButton]->click();
    EXPECT_FALSE(ended);
    EXPECT_TRUE(testing_support::waitUntil([&] { return ended; }, 5000));
    EXPECT_EQ(stored("port"), "9700");
}

TEST_F(AppTest, TheCallFormKeepsWhetherUnansweredCallsGoToTheVoiceMenu)
{
    markFirstRunDone();
    start().soundRec()->chkForward->setChecked(true);
    EXPECT_EQ(stored("VOIPForward"), "1");
    window.reset();
    EXPECT_TRUE(start().soundRec()->chkForward->isChecked());
}

// The program shows its main window first: the console follows once the window has been drawn,
// in the system's language, and signs in only then. A window that is never shown still gets
// its console.
TEST_F(AppTest, TheConsoleFollowsTheDrawnWindowAndThenSignsIn)
{
    struct OrderedConsole : FakeConsole
    {
        explicit OrderedConsole(QStringList& events) : events(events) { }
        void Show() override { events << "show"; }
        void SignIn() override { events << "sign in"; }
        QStringList& events;
    };
    platform::SetSystemLcidOverride(1028);
    markFirstRunDone();
    for (bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "shown" : "never shown");
        QStringList events;
        OrderedConsole* console = nullptr;
        frmSetParts parts;
        parts.console = [&] {
            auto made = std::make_unique<OrderedConsole>(events);
            console = made.get();
            return made;
        };
        parts.consoleWhenShown = true;
        frmSet& w = start(std::move(parts));
        EXPECT_FALSE(console) << "no console before the window is drawn";
        if (shown) {
            w.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        }
        ASSERT_TRUE(testing_support::waitUntil([&] { return events.size() == 2; }, 5000));
        EXPECT_EQ(events, (QStringList{"show", "sign in"}));
        EXPECT_TRUE(console->labels.contains(QString::fromUtf8("狀態"))) << console->labels.join(' ').toStdString();
    }
}
