#include "platform/SystemLocale.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(SystemLocale, MapLcidFoldsHongKongAndMacaoIntoTaiwan)
{
    const struct { int in, out; } cases[] = {{0x0C04, 0x0404}, {0x1404, 0x0404}, {0x0404, 0x0404},
                                             {0x0804, 0x0804}, {0x1004, 0x1004}, {0x0409, 0x0409}};
    for (const auto& c : cases)
        EXPECT_EQ(MapLcid(c.in), c.out) << std::hex << c.in;
}

TEST(SystemLocale, LcidFromLocale)
{
    const struct { const char* name; int lcid; } cases[] = {
        {"zh_TW", 1028}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404}, {"zh_CN", 2052}, {"zh_SG", 2052}, {"en_US", 1033},
        {"en_GB", 0x0809}, {"de_DE", 1031}, {"de_AT", 1031}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LcidFromLocale(QLocale(QString::fromLatin1(c.name))), c.lcid) << c.name;
    // Chinese of a territory we have no number for: the script decides.
    EXPECT_EQ(LcidFromLocale(QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::AnyTerritory)), 1028);
    EXPECT_EQ(LcidFromLocale(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::AnyTerritory)), 2052);
}

TEST(SystemLocale, AnsiCodePageAndOverride)
{
    const struct { int lcid, codePage; } cases[] = {{1028, 950}, {2052, 936}, {3076, 950}, {0x1404, 950},
                                                    {1033, 1252}, {1031, 1252}, {0x0411, 1252}};
    for (const auto& c : cases)
        EXPECT_EQ(AnsiCodePage(c.lcid), c.codePage) << c.lcid;

    SetSystemLcidOverride(3076);
    EXPECT_EQ(SystemLcid(), 1028);
    EXPECT_EQ(SystemAnsiCodePage(), 950);
    SetSystemLcidOverride(0);
    EXPECT_EQ(SystemLcid(), MapLcid(LcidFromLocale(QLocale::system())));
}
