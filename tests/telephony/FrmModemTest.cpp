// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/FrmModem.h"

#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/FixedCallHost.h"

#include <gtest/gtest.h>

using namespace telephony;
using platform::ScriptedLine;

namespace {

struct Form
{
    platform::LineDeviceTable table;
    ScriptedLine* line;
    FrmModem form{[this] { return std::make_unique<platform::ModemControl>(table); }};

    explicit Form(const QStringList& names)
        : line(static_cast<ScriptedLine*>(table.addBackend(std::make_unique<ScriptedLine>(names))))
    { }
};

} // namespace

TEST(FrmModem, OpensOnlyAVoiceLineAndDialsOnlyThroughAnOpenOne)
{
    Form f({"Scripted line (data)", "Scripted line"});
    EXPECT_EQ(f.form.InitModem(0, true), "Modem Not Voice Capable");
    EXPECT_EQ(f.form.MakeCall("555", false), "Bad");
    EXPECT_TRUE(f.line->operations().isEmpty()) << "nothing was opened or dialled";

    EXPECT_EQ(f.form.InitModem(1, true), "Voice Modem");
    EXPECT_EQ(f.form.MakeCall("555", false), "555");
    f.form.Hangup();
    f.form.ShowModemDialog(1);
    f.form.ShowLocationDialog(0);
    EXPECT_EQ(f.line->operations(), QStringList({"open 1 auto", "dial 555", "hangup", "dialog 1", "location 0"}));
}

// The window unloads the form when a call ends (from inside the line's own report) and loads it
// again later; the controller hears the line each time it is open, and only the open line.
TEST(FrmModem, TheControllerHearsOnlyTheOpenLineAfterEveryUnloadAndReload)
{
    Form f({"Scripted line"});
    auto* other = static_cast<ScriptedLine*>(f.table.addBackend(std::make_unique<ScriptedLine>()));
    FixedCallHost host;
    const QStringList& bar = host.shown;
    ClsAudioControl controller;
    controller.setHost(&host);
    controller.ModemPhone(&f.form);
    QStringList digits;
    QObject::connect(&controller, &ClsAudioControl::DigitReceived, [&](const QString& d) { digits << d; });

    for (int load = 0; load < 3; ++load) {
        host.shown.clear();
        digits.clear();
        ASSERT_EQ(f.form.InitModem(0, false), "Voice Modem");
        EXPECT_EQ(f.form.openLine(), f.line);
        const bool killInsideReport = load == 1;
        QMetaObject::Connection kill;
        if (killInsideReport)
            kill = QObject::connect(f.line, &platform::VoiceModem::Disconnected, [&] { f.form.KillMeSelf(); });
        f.line->ring(2);
        f.line->callerId("555", "Ann", 12);
        f.line->connect();
        f.line->digit("7");
        f.line->error(70000, "Line noise");
        emit other->IncomingCall(9); // a line that is not open
        f.line->farHangUp();
        EXPECT_EQ(bar, QStringList({"The Phone Has Ring 2 times.", "From : Ann , 555", "Line noise", "Missed Call"}))
            << load;
        EXPECT_EQ(digits, QStringList{"7"}) << load;
        EXPECT_EQ(controller.ErrorNumber, 70000) << "a wide error number is kept";

        QObject::disconnect(kill);
        f.form.KillMeSelf();
        EXPECT_FALSE(f.form.isLoaded());
        EXPECT_EQ(f.form.openLine(), nullptr);
        EXPECT_EQ(f.line->operations().last(), "close") << "unloading closes the line";
        emit f.line->IncomingCall(3);
        EXPECT_EQ(f.form.MakeCall("555", false), "Bad") << "a reloaded form has no line open";
        EXPECT_TRUE(f.form.isLoaded());
        emit f.line->IncomingCall(4);
        EXPECT_EQ(bar.size(), 4) << "a closed line is not heard";
    }
}
