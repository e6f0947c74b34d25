// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/CvbTAPILine.h"
#include "TestSupport.h"

#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

using namespace telephony;
using platform::ScriptedLine;

namespace {

struct Lines
{
    platform::LineDeviceTable table;
    ScriptedLine* line = nullptr;
    CvbTAPILine tapi{table};
    QStringList events;

    explicit Lines(const QStringList& names = {"Line A", "Fax (data)", "Line B"})
    {
        line = static_cast<ScriptedLine*>(table.addBackend(std::make_unique<ScriptedLine>(names)));
        QObject::connect(&tapi, &CvbTAPILine::MakeCallResult,
                         [this](int32_t r) { events << QString("made %1").arg(uint32_t(r), 0, 16); });
        QObject::connect(&tapi, &CvbTAPILine::DropCallResult,
                         [this](int32_t r) { events << QString("dropped %1").arg(r); });
        QObject::connect(&tapi, &CvbTAPILine::Connected, [this] { events << "connected"; });
        QObject::connect(&tapi, &CvbTAPILine::Disconnected, [this] { events << "disconnected"; });
        QObject::connect(&tapi, &CvbTAPILine::Idle, [this] { events << "idle"; });
    }
    bool waitFor(const QString& event)
    {
        return testing_support::waitUntil([&] { return events.contains(event); }, 3000);
    }
};

} // namespace

TEST(CvbTAPILine, WithoutLinesCreateFailsWithoutAnError)
{
    platform::LineDeviceTable none;
    CvbTAPILine tapi(none);
    EXPECT_FALSE(tapi.Create());
    EXPECT_EQ(tapi.LastError(), 0u);
    EXPECT_EQ(tapi.numLines(), 0);
    EXPECT_FALSE(tapi.OpenLine(1, 4));
    QImage icon(32, 32, QImage::Format_ARGB32);
    EXPECT_FALSE(tapi.PaintDevIcon(&icon, 0, 0, 32, 32));
}

// Only voice lines whose versions meet the asked range are offered as modems.
TEST(CvbTAPILine, NegotiatesWithVoiceLinesOnlyAndDescribesTheCurrentLine)
{
    Lines lines;
    ASSERT_TRUE(lines.tapi.Create());
    EXPECT_EQ(lines.tapi.numLines(), 3);
    const struct
    {
        int32_t id;
        int32_t version;
        const char* name;
    } rows[] = {{0, CvbTAPILine::kLineHighVersion, "Line A"}, {1, 0, ""}, {2, CvbTAPILine::kLineHighVersion, "Line B"}};
    for (const auto& r : rows) {
        ASSERT_TRUE(lines.tapi.setCurrentLineID(r.id));
        EXPECT_EQ(lines.tapi.NegotiatedAPIVersion(), r.version) << r.id;
        EXPECT_EQ(lines.tapi.LineName(), r.name) << r.id;
        EXPECT_EQ(lines.tapi.LineSupportsVoiceCalls(), r.version != 0) << r.id;
        EXPECT_EQ(lines.tapi.LastError(), r.version ? 0u : lineerr::kIncompatibleApiVersion) << r.id;
        EXPECT_EQ(lines.tapi.LastError(), 0u) << "reading the error clears it";
    }

    for (int32_t bad : {-1, 3, INT32_MAX}) {
        EXPECT_FALSE(lines.tapi.setCurrentLineID(bad)) << bad;
        EXPECT_EQ(lines.tapi.Err().number, 380);
        EXPECT_EQ(lines.tapi.Err().description, "Invalid property value");
        EXPECT_EQ(lines.tapi.CurrentLineID(), 2) << "a refused line changes nothing";
    }

    // asked versions that no line speaks
    for (const auto& [low, high] : {std::pair(0x10000, 0x10002), std::pair(0x20003, 0x30000)}) {
        lines.tapi.LowAPI = low;
        lines.tapi.HiAPI = high;
        ASSERT_TRUE(lines.tapi.Create());
        EXPECT_EQ(lines.tapi.NegotiatedAPIVersion(), 0) << std::hex << low << ".." << high;
    }
}

// A call's progress arrives as events after the request returned, in the order a line gives it.
TEST(CvbTAPILine, PlacesAndDropsCalls)
{
    const struct
    {
        const char* name;
        QString refusal;
        bool farEnd;
        QStringList events;
        QStringList operations;
    } rows[] = {
        {"we hang up",
         "",
         false,
         {"made 0", "connected", "dropped 0", "idle"},
         {"open 0", "dial 555", "hangup", "close"}},
        {"far end hangs up",
         "",
         true,
         {"made 0", "connected", "disconnected", "dropped 0", "idle"},
         {"open 0", "dial 555", "hangup", "close"}},
        {"line busy", "Busy", false, {"made 80000005"}, {"open 0", "close"}},
    };
    for (const auto& r : rows) {
        Lines lines;
        ASSERT_TRUE(lines.tapi.Create());
        ASSERT_TRUE(lines.tapi.OpenLine(1, 4));
        EXPECT_FALSE(lines.tapi.OpenLine(1, 4)) << "one line at a time";
        lines.line->refuseNextCall(r.refusal);
        ASSERT_TRUE(lines.tapi.MakeCallAsynch("555"));
        EXPECT_TRUE(lines.events.isEmpty()) << "the result comes later";
        ASSERT_TRUE(lines.waitFor(r.events.first())) << r.name;
        if (r.refusal.isEmpty()) {
            lines.line->connect();
            if (r.farEnd)
                lines.line->farHangUp();
            else
                EXPECT_TRUE(lines.tapi.DropCallAsynch());
            EXPECT_TRUE(lines.waitFor("idle")) << r.name;
        }
        EXPECT_EQ(lines.events, r.events) << r.name;
        EXPECT_EQ(lines.line->operations(), r.operations) << r.name;
        EXPECT_FALSE(lines.tapi.DropCallAsynch() || lines.tapi.CloseLine()) << "the call and the line are gone";
        EXPECT_TRUE(lines.tapi.OpenLine(1, 4)) << r.name;
    }
}

TEST(CvbTAPILine, DialogsAndIconBelongToTheCurrentLine)
{
    Lines lines;
    ASSERT_TRUE(lines.tapi.Create());
    ASSERT_TRUE(lines.tapi.setCurrentLineID(2));
    EXPECT_TRUE(lines.tapi.ConfigDialog(nullptr, ""));
    EXPECT_TRUE(lines.tapi.DialingPropertiesDialog(nullptr, ""));
    EXPECT_EQ(lines.line->operations(), QStringList({"dialog 2", "location 2"}));

    QImage icon(40, 40, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    EXPECT_TRUE(lines.tapi.PaintDevIcon(&icon, 4, 4, 32, 32));
    int drawn = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            drawn += qAlpha(icon.pixel(x, y)) > 0;
    EXPECT_TRUE(drawn > 200 && qAlpha(icon.pixel(1, 1)) == 0) << drawn << " pixels, drawn inside the rectangle";
    EXPECT_FALSE(lines.tapi.PaintDevIcon(nullptr, 0, 0, 32, 32));
    EXPECT_EQ(lines.tapi.LastError(), lineerr::kInvalPointer);
}
