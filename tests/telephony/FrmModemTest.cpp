// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/FrmModem.h"

#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/FixedCallHost.h"

#include <gtest/gtest.h>

using namespace telephony;
using platform::ScriptedLine;

// Only a voice line opens, and the form dials only through an open one. The window unloads the
// form when a call ends (from inside the line's own report) and loads it again later; the
// controller hears the line each time it is open, and only the open line.
TEST(FrmModem, OpensOnlyAVoiceLineAndTheControllerHearsOnlyTheOpenOne)
{
    platform::LineDeviceTable table;
    auto* line = static_cast<ScriptedLine*>(
        table.addBackend(std::make_unique<ScriptedLine>(QStringList{"Scripted line (data)", "Scripted line"})));
    auto* other = static_cast<ScriptedLine*>(table.addBackend(std::make_unique<ScriptedLine>()));
    FrmModem form{[&] { return std::make_unique<platform::ModemControl>(table); }};
    EXPECT_EQ(form.InitModem(0, true), "Modem Not Voice Capable");
    EXPECT_EQ(form.MakeCall("555", false), "Bad");
    EXPECT_TRUE(line->operations().isEmpty()) << "nothing was opened or dialled";

    FixedCallHost host;
    ClsAudioControl controller;
    controller.setHost(&host);
    controller.ModemPhone(&form);
    QStringList digits;
    QObject::connect(&controller, &ClsAudioControl::DigitReceived, [&](const QString& d) { digits << d; });
    for (int load = 0; load < 3; ++load) {
        host.shown.clear();
        digits.clear();
        ASSERT_EQ(form.InitModem(1, load == 0), "Voice Modem");
        EXPECT_EQ(line->operations().last(), load == 0 ? "open 1 auto" : "open 1");
        EXPECT_EQ(form.openLine(), line);
        QMetaObject::Connection kill;
        if (load == 1) // unloaded inside the line's report
            kill = QObject::connect(line, &platform::VoiceModem::Disconnected, [&] { form.KillMeSelf(); });
        line->ring(2);
        line->callerId("555", "Ann", 12);
        line->connect();
        line->digit("7");
        line->error(70000, "Line noise");
        emit other->IncomingCall(9); // a line that is not open
        line->farHangUp();
        const QStringList heard{"The Phone Has Ring 2 times.", "From : Ann , 555", "Line noise", "Missed Call"};
        EXPECT_EQ(host.shown, heard) << load;
        EXPECT_EQ(digits, QStringList{"7"}) << load;
        EXPECT_EQ(controller.ErrorNumber, 70000) << "a wide error number is kept";

        QObject::disconnect(kill);
        form.KillMeSelf();
        EXPECT_EQ(form.openLine(), nullptr);
        EXPECT_EQ(line->operations().last(), "close") << "unloading closes the line";
        emit line->IncomingCall(3);
        EXPECT_EQ(form.MakeCall("555", false), "Bad") << "a reloaded form has no line open";
        emit line->IncomingCall(4);
        EXPECT_EQ(host.shown, heard) << "a closed line is not heard";
    }
}
