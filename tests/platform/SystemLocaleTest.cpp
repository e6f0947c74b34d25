// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemLocale.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(SystemLocale, LocaleToLcidToCodePage)
{
    // Locale name, its identifier, the identifier mapped, and its ANSI code page.
    const struct
    {
        const char* name;
        int lcid, mapped, codePage;
    } cases[] = {
        {"zh_TW", 0x0404, 0x0404, 950},  {"zh_HK", 0x0C04, 0x0404, 950},  {"zh_CN", 0x0804, 0x0804, 936},
        {"en_US", 0x0409, 0x0409, 1252}, {"ja_JP", 0x0411, 0x0411, 1252},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LcidFromLocale(QLocale(QString::fromLatin1(c.name))), c.lcid) << c.name;
        EXPECT_EQ(MapLcid(c.lcid), c.mapped) << c.name;
        EXPECT_EQ(AnsiCodePage(c.lcid), c.codePage) << c.name;
    }
    SetSystemLcidOverride(0x0C04);
    EXPECT_EQ(SystemLcid(), 0x0404);
    EXPECT_EQ(SystemAnsiCodePage(), 950);
    SetSystemLcidOverride(0);
}
