// SPDX-License-Identifier: GPL-3.0-or-later
#include "MailFixture.h"
#include "TestSupport.h"
#include "protocols/ScriptedServer.h"

#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/FrmModem.h"

#include <QFile>
#include <QSignalSpy>

using telephony::ClsAudioControl;

namespace {

// The engine with a call controller on a scripted line; the log goes to a folder of its own.
class AlertUser : public MailTest
{
protected:
    AlertUser()
    {
        platform::SetProgramFolderOverride(folder.path());
        line = static_cast<platform::ScriptedLine*>(table.addBackend(std::make_unique<platform::ScriptedLine>()));
        audio.ModemPhone(&modem);
        audio.timercontrol(&timer);
        engine.SetAudioControl(&audio);
        engine.writelog(true);
        engine.PhoneNumber = "5551234";
        engine.RepeatCount = 3;
        engine.NewMailCount = 2;
    }
    ~AlertUser() override { platform::SetProgramFolderOverride(QString()); }
    QString log() const { return QString::fromLatin1(folder.read("kv_.log")); }

    testing_support::TempFolder folder;
    platform::LineDeviceTable table;
    platform::ScriptedLine* line = nullptr;
    telephony::FrmModem modem{[this] { return std::make_unique<platform::ModemControl>(table); }};
    QTimer timer;
    ClsAudioControl audio;
};

} // namespace

TEST_F(AlertUser, RingsOnlyAnIdleWorkingLineAndLogsWhatHappened)
{
    const struct
    {
        const char* name;
        bool phoneOn, lineOpen;
        int32_t status;
        const char* logged; // the log record expected, none when nothing is logged
        const char* dialled = nullptr; // the line operation expected, none when nothing is dialled
    } rows[] = {
        // nothing to do, and nothing logged
        {"telephone off", false, true, ClsAudioControl::Idle, nullptr},
        {"a call in progress", true, true, ClsAudioControl::WaitingForPin, nullptr},
        // the user is told in the log
        {"no line open", true, false, ClsAudioControl::Idle, "\"Phone\",\"Error, Please check Line & Hardware \""},
        {"ready", true, true, ClsAudioControl::Idle, "\"Phone\",\"Calling 5551234\"", "dial 5551234"},
    };
    for (const auto& r : rows) {
        QFile::remove(folder.file("kv_.log"));
        modem.KillMeSelf();
        QCoreApplication::processEvents();
        if (r.lineOpen)
            modem.InitModem(0, false);
        audio.ChangeStatus(r.status);
        engine.PhoneOn = r.phoneOn;
        QSignalSpy calls(&engine, &checkmailClass::PhoneCall);
        EXPECT_EQ(engine.AlertUser(), r.dialled ? -1 : 0) << r.name; // -1: AlertUser's true
        EXPECT_EQ(calls.size(), r.dialled ? 1 : 0) << r.name;
        EXPECT_EQ(line->operations().contains(r.dialled ? r.dialled : "dial"), r.dialled != nullptr) << r.name;
        EXPECT_EQ(log().contains(r.logged ? r.logged : "\"Phone\""), r.logged != nullptr)
            << r.name << log().toStdString();
        EXPECT_EQ(engine.AlertAnswered, false);
        audio.ChangeStatus(ClsAudioControl::Idle);
    }
}

// Only the caller's own dictated reply is announced on the line; another send leaves the
// caller's menu alone.
TEST_F(AlertUser, AnotherSendLeavesTheCallerAlone)
{
    audio.ChangeStatus(ClsAudioControl::MenuSpeech); // a caller is on the line
    engine.SendMail("bob@example.org", "alice@example.com", "Re:hi", "text"); // nobody listens there
    ASSERT_TRUE(waitUntil([&] { return !engine.Sending(); }));
    EXPECT_EQ(audio.getStatus(), ClsAudioControl::MenuSpeech);
}
