// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include <QSignalSpy>

TEST_F(AppTest, SpamListsAreEditedThroughTheirFiles)
{
    profile.write("program/spam.txt", "WIN,\"a, b\"\r\nlottery\r\n");
    markFirstRunDone();
    frmSet& w = start();
    ASSERT_EQ(w.spamSubjects(), QStringList({"WIN", "a, b", "lottery"}));

    w.List1->setCurrentRow(0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(w.List1, &del);
    // The entry with a comma stays one entry: split, "a" and "b" would delete ordinary mail.
    EXPECT_EQ(profile.read("program/spam.txt"), "\"a, b\"\r\nlottery\r\n");
    EXPECT_EQ(w.spamSubjects(), QStringList({"a, b", "lottery"}));

    QStringList prompts;
    const QStringList answers = {"offers@", "Ann, Bob <ab@x.example>", "", "say \"hi\", now"};
    w.askText = [&](const QString& prompt) {
        prompts << prompt;
        return answers.value(prompts.size() - 1);
    };
    for (int i = 0; i < 4; ++i) // an empty answer adds nothing
        w.ButtonAccount[7]->click();
    EXPECT_EQ(prompts.value(0), "New spam mail 'From' email address");
    EXPECT_EQ(profile.read("program/spamfrom.txt"), "offers@\r\n\"Ann, Bob <ab@x.example>\"\r\n");
    EXPECT_EQ(w.spamSenders(), QStringList({"offers@", "Ann, Bob <ab@x.example>"}));
    // One the file cannot hold as typed is refused, and the user is told which.
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains("say \"hi\", now")) << problems[0].toStdString();
}

// A check and a call hold the settings and the countdown in either order; only the last one
// to end gives them back.
TEST_F(AppTest, TheSettingsComeBackWhenTheLastOfACheckAndACallEndsButQuittingWaitsForNeither)
{
    markFirstRunDone();
    frmSet& w = start();
    const auto checkStarts = [&] { w.MailObj_CheckmailStart(); };
    const auto checkEnds = [&] { w.MailObj_CheckmailFinish(2); };
    const auto callStarts = [&] { w.ObjAudio_VoiceConnected(1, 0); };
    const auto callEnds = [&] { w.ObjAudio_VoiceDisCon(1); };
    const std::vector<std::function<void()>> orders[] = {
        {callStarts, checkStarts, callEnds, checkEnds},
        {checkStarts, callStarts, checkEnds, callEnds},
    };
    for (const auto& steps : orders) {
        for (size_t i = 0; i < steps.size(); ++i) {
            steps[i]();
            EXPECT_EQ(w.frame[0]->isEnabled(), i == steps.size() - 1) << "after step " << i;
            EXPECT_EQ(w.CheckMailTimer->isActive(), i == steps.size() - 1) << "after step " << i;
        }
    }
    // Quitting is not put off until a check or a call ends.
    QSignalSpy ended(&w, &frmSet::programEnded);
    w.MailObj_CheckmailStart();
    ASSERT_FALSE(w.CheckMailTimer->isActive());
    w.close();
    ASSERT_TRUE(testing_support::waitUntil([&] { return ended.size() == 1; }, 2000));
    EXPECT_EQ(stored("FirstRunning"), "1"); // settings were saved on the way out
}
