// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with the program's own console: signing in starts checking, the switch stops
// it, and quitting from the console ends the program on the countdown's next tick.
#include "AppFixture.h"
#include "TestSupport.h"
#include "console/Pilot.h"
#include "console/frmSoundRec.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

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
    EXPECT_TRUE(w.signedIn());
    EXPECT_TRUE(w.CheckMailTimer->isActive());
    EXPECT_TRUE(pilot->isVisible());

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
