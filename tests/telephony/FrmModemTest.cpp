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
    {
    }
};

} // namespace

TEST(FrmModem, OpensOnlyAVoiceLineAndDialsOnlyThroughAnOpenOne)
{
    Form f({"Scripted line (data)", "Scripted line"});
    EXPECT_EQ(f.form.GetNumberOfModems(), 2);
    EXPECT_EQ(f.form.GetModemName(0), "Scripted line (data)");
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
// again later; the controller keeps hearing the line through the same form.
TEST(FrmModem, ReportsStillArriveAfterEveryUnloadAndReload)
{
    Form f({"Scripted line"});
    QStringList heard;
    QObject::connect(&f.form, &FrmModem::IncomingCall, [&](int32_t n) { heard << QString("ring %1").arg(n); });
    QObject::connect(&f.form, &FrmModem::CallerID, [&](const QString& num, const QString& name, int32_t flags) { heard << QString("id %1 %2 %3").arg(num, name).arg(flags); });
    QObject::connect(&f.form, &FrmModem::PhoneConnected, [&](int32_t device, int32_t) { heard << QString("up %1").arg(device == f.line->audioDevice()); });
    QObject::connect(&f.form, &FrmModem::DigitReceived, [&](const QString& d) { heard << "digit " + d; });
    QObject::connect(&f.form, &FrmModem::Error, [&](int32_t n, const QString& text) { heard << QString("error %1 %2").arg(n).arg(text); });
    QObject::connect(&f.form, &FrmModem::Disconnected, [&] { heard << "down"; });
    FixedCallHost host;
    const QStringList& bar = host.shown;
    ClsAudioControl controller;
    controller.setHost(&host);
    controller.ModemPhone(&f.form);

    for (int load = 0; load < 3; ++load) {
        heard.clear();
        ASSERT_EQ(f.form.InitModem(0, false), "Voice Modem");
        const bool killInsideReport = load == 1;
        QMetaObject::Connection kill;
        if (killInsideReport)
            kill = QObject::connect(&f.form, &FrmModem::Disconnected, [&] { f.form.KillMeSelf(); });
        f.line->ring(2);
        f.line->callerId("555", "Ann", 12);
        f.line->connect();
        f.line->digit("7");
        f.line->error(70000, "Line noise");
        f.line->farHangUp();
        EXPECT_EQ(heard, QStringList({"ring 2", "id 555 Ann 12", "up 1", "digit 7", "error 70000 Line noise", "down"})) << load;
        EXPECT_EQ(controller.ErrorNumber, 70000) << "a wide error number is kept";
        EXPECT_EQ(bar.count("The Phone Has Ring 2 times."), load + 1);

        QObject::disconnect(kill);
        f.form.KillMeSelf();
        EXPECT_FALSE(f.form.isLoaded());
        EXPECT_EQ(f.line->operations().last(), "close") << "unloading closes the line";
        f.line->ring(3);
        EXPECT_EQ(f.form.MakeCall("555", false), "Bad") << "a reloaded form has no line open";
        EXPECT_TRUE(f.form.isLoaded());
        EXPECT_EQ(heard.size(), 6) << "a closed line reports nothing";
    }
}
