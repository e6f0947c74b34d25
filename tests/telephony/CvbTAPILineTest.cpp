// SPDX-License-Identifier: GPL-3.0-or-later
// The line list as the settings window reads it: names, and which lines are voice lines. Calls,
// dialogs and icons through this class are not used by the program.
#include "telephony/CvbTAPILine.h"

#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"

#include <gtest/gtest.h>

using namespace telephony;

// Only voice lines negotiate a version, which offers them as modems.
TEST(CvbTAPILine, NegotiatesWithVoiceLinesOnlyAndDescribesTheCurrentLine)
{
    platform::LineDeviceTable table;
    table.addBackend(std::make_unique<platform::ScriptedLine>(QStringList{"Line A", "Fax (data)", "Line B"}));
    CvbTAPILine tapi(table);
    ASSERT_TRUE(tapi.Create());
    EXPECT_EQ(tapi.numLines(), 3);
    const std::tuple<int32_t, int32_t, const char*> rows[] = {
        {0, CvbTAPILine::kLineHighVersion, "Line A"}, {1, 0, ""}, {2, CvbTAPILine::kLineHighVersion, "Line B"}};
    for (const auto& [id, version, name] : rows) {
        ASSERT_TRUE(tapi.setCurrentLineID(id));
        EXPECT_EQ(tapi.NegotiatedAPIVersion(), version) << id;
        EXPECT_EQ(tapi.LineName(), name) << id;
    }
}
