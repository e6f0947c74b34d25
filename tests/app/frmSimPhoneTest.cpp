// SPDX-License-Identifier: GPL-3.0-or-later
// The on-screen telephone: handset, keypad with its bounce guard and clicks, reading buttons.
#include "TestSupport.h"
#include "app/SimPhoneHost.h"
#include "app/frmSimPhone.h"
#include "audio/ClsMeida.h"
#include "audio/GsmWave.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/sound/WaveDevice.h"

#include <QDateTime>
#include <QPushButton>
#include <QSignalSpy>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct FakeHost : SimPhoneHost
{
    bool available = true;
    QStringList calls;
    std::function<void()> duringHangUp;
    bool simAvailable() const override { return available; }
    void simphone_IncomingPhone() override { calls << "connect"; }
    void simPhoneHangUp() override
    {
        calls << "hang up";
        if (duringHangUp)
            duringHangUp();
    }
    void simphone_listAll(bool todayOnly) override { calls << (todayOnly ? "list today" : "list all"); }
    void SimPhoneButton(int keyIndex) override { calls << "key " + frmSimPhone::KeyText(keyIndex); }
    QString helpPage() const override { return {}; }
};

qint64 at(int h, int m, int s, int ms)
{
    return QDateTime(QDate(2024, 3, 5), QTime(h, m, s, ms)).toMSecsSinceEpoch();
}

const QString dataDir = testing_support::sourceDir() + "/data/";

// The telephone over the program's own data files, its sounds on a silent output that plays
// only when the test says so.
class SimPhone : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::SetProgramFolderOverride(dataDir);
        platform::SetAppClock(&clock);
        out->setCapture(true);
        media.SetDevices(std::make_unique<platform::SilentWaveInput>(platform::WavePace::Manual),
                         std::unique_ptr<platform::WaveOutput>(out));
        phone = std::make_unique<frmSimPhone>(host, &media);
    }
    void TearDown() override
    {
        phone.reset();
        platform::SetAppClock(nullptr);
        platform::SetProgramFolderOverride(QString());
    }

    // Plays out what was queued and names the sound file it was ("" for silence).
    QString played()
    {
        out->advance(10 * audio::kGsmSampleRate);
        const std::vector<qint16> heard(out->captured().begin() + qsizetype(heardSoFar), out->captured().end());
        heardSoFar = out->captured().size();
        if (heard.empty())
            return "";
        for (const char* name : {"1.wav", "2.wav", "3.wav", "signon.wav", "signoff.wav"}) {
            audio::GsmWave wave;
            EXPECT_TRUE(audio::ReadGsmWave(dataDir + name, &wave, nullptr));
            std::vector<qint16> samples = audio::GsmDecode(wave.data);
            samples.resize(wave.sampleCount);
            if (samples == heard)
                return name;
        }
        return "an unknown sound";
    }
    // What can be pressed: "keys", "reading", both ("keys+reading") or nothing ("").
    QString enabled() const
    {
        QStringList on;
        const auto keysOn =
            std::count_if(phone->ar.begin(), phone->ar.end(), [](QPushButton* k) { return k->isEnabled(); });
        if (keysOn)
            on << (keysOn == frmSimPhone::kKeys ? "keys" : "some keys");
        if (phone->Command1->isEnabled() || phone->Command2->isEnabled())
            on << (phone->Command1->isEnabled() && phone->Command2->isEnabled() ? "reading" : "one reading button");
        return on.join('+');
    }
    void connectCall()
    {
        phone->IncomePhone->click();
        played();
        host.calls.clear();
    }

    platform::ManualClock clock{at(10, 0, 0, 0)};
    platform::SilentWaveOutput* out = new platform::SilentWaveOutput(platform::WavePace::Manual);
    audio::ClsMeida media;
    size_t heardSoFar = 0;
    FakeHost host;
    std::unique_ptr<frmSimPhone> phone;
};

} // namespace

TEST_F(SimPhone, LiftingAndPuttingDownTheHandsetSwitchesKeypadAndChime)
{
    const auto click = [](frmSimPhone& p) { p.IncomePhone->click(); };
    const auto ended = [](frmSimPhone& p) { p.EndedByProgram(); };
    // The step; then the caption, what can be pressed, the sound and what the host is told.
    const std::tuple<const char*, std::function<void(frmSimPhone&)>, QStringList, QStringList> steps[] = {
        {"at start", [](frmSimPhone&) {}, {"Connect", "reading", ""}, {}},
        {"lift", click, {"Disconnect", "keys", "signon.wav"}, {"connect"}},
        {"put down", click, {"Connect", "reading", "signoff.wav"}, {"hang up"}},
        {"lift again", click, {"Disconnect", "keys", "signon.wav"}, {"connect"}},
        {"engine ends the call", ended, {"Connect", "reading", "signoff.wav"}, {}},
        {"engine ends it again", ended, {"Connect", "reading", ""}, {}},
    };
    for (const auto& [step, act, shown, calls] : steps) {
        host.calls.clear();
        act(*phone);
        EXPECT_EQ(QStringList({phone->IncomePhone->text(), enabled(), played()}), shown) << step;
        EXPECT_EQ(host.calls, calls) << step;
    }
}

TEST_F(SimPhone, AnEngineThatEndsTheCallAsItIsHungUpLeavesItHungUpWithOneChime)
{
    connectCall();
    host.duringHangUp = [this] { phone->EndedByProgram(); };
    QSignalSpy sounds(&media, &audio::ClsMeida::OutputDone);
    phone->IncomePhone->click();
    EXPECT_EQ(played(), "signoff.wav");
    EXPECT_EQ(sounds.count(), 1) << "the chime was started more than once";
    EXPECT_EQ(std::pair(phone->IncomePhone->text(), enabled()), std::pair(QString("Connect"), QString("reading")));
}

// Every key sends its text; the digits click one of three sounds, * and # none.
TEST_F(SimPhone, EachKeySendsItsTextAndClicksItsSound)
{
    const QString keys = "0123456789*#";
    const QStringList sounds = {"2.wav", "1.wav", "2.wav", "3.wav", "1.wav", "2.wav",
                                "3.wav", "1.wav", "2.wav", "3.wav", "",      ""};
    connectCall();
    for (int key = 0; key < frmSimPhone::kKeys; ++key) {
        clock.advance(2000);
        phone->ar[key]->click();
        EXPECT_EQ(std::pair(host.calls, played()), std::pair(QStringList{"key " + keys.mid(key, 1)}, sounds[key]))
            << key;
        host.calls.clear();
    }
    EXPECT_TRUE(frmSimPhone::KeyText(12).isEmpty() && frmSimPhone::KeyText(-1).isEmpty());
}

TEST_F(SimPhone, APressTooSoonAfterTheLastIsDropped)
{
    // What, the first press, the gaps to the next presses, the keys sent.
    const std::tuple<const char*, qint64, QList<int>, int> rows[] = {
        {"0.4 s apart", at(10, 0, 0, 0), {400}, 1},
        {"0.6 s apart", at(10, 0, 0, 0), {600}, 2},
        {"a dropped press does not hold off the next", at(10, 0, 0, 0), {400, 400}, 2},
        {"1.2 s across midnight", at(23, 59, 59, 500), {1200}, 2},
        {"0.3 s across midnight", at(23, 59, 59, 850), {300}, 1},
    };
    for (const auto& [what, first, gapsMs, keysSent] : rows) {
        phone = std::make_unique<frmSimPhone>(host, &media);
        connectCall();
        clock.set(first);
        phone->ar[5]->click();
        for (int gap : gapsMs) {
            clock.advance(gap);
            phone->ar[5]->click();
        }
        EXPECT_EQ(host.calls.size(), keysSent) << what;
        played();
    }
}

TEST_F(SimPhone, NothingStartsWhileTheTelephoneIsTakenButAHangUpStillWorks)
{
    host.available = false;
    for (QPushButton* b : {phone->IncomePhone, phone->Command1, phone->Command2})
        b->click();
    EXPECT_TRUE(host.calls.isEmpty()) << host.calls.join(", ").toStdString();
    EXPECT_EQ(std::tuple(phone->IncomePhone->text(), enabled(), played()),
              std::tuple(QString("Connect"), QString("reading"), QString()));

    host.available = true;
    connectCall();
    host.available = false;
    phone->IncomePhone->click();
    EXPECT_EQ(std::pair(host.calls, phone->IncomePhone->text()), std::pair(QStringList{"hang up"}, QString("Connect")));
}
