// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/ClsBIG2GB.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// Pretends to run on a Chinese system for the length of a test.
struct SystemLocale
{
    explicit SystemLocale(int lcid) { platform::SetSystemLcidOverride(lcid); }
    ~SystemLocale() { platform::SetSystemLcidOverride(0); }
};

} // namespace

// The shipped tables are their generator's (ChineseTables.MatchTheirGenerator); here is their use.
TEST(ClsBIG2GB, ByteFormsKeepLengthAndPassWhatIsNotAPair)
{
    const ClsBIG2GB conv;
    ASSERT_TRUE(conv.loaded());
    const struct
    {
        bool toBig5;
        QByteArray in, out;
    } cases[] = {
        {true, "a\xB9\xFA", "a\xB0\xEA"}, // guo
        {false, "\xA5\x78", "\xCC\xA8"}, // tai: trail below 0x7F
        {true, "\xA4\xA1", "  "}, // kana: not in Big5
        {false, "\xB0\xDA\xB0", QByteArray("\xB0\xA1\0", 3)}, // lead at end
        {true, "\xB0\x41\xF8\xA1", "\xB0\x41\xF8\xA1"},
        {false, "\xB0\x80\xFF", "\xB0\x80\xFF"}, // bad trail, lead
    };
    for (const auto& c : cases) {
        const QByteArray out = c.toBig5 ? conv.GB2BIGByte(c.in) : conv.BIG2GBByte(c.in);
        EXPECT_EQ(out.toHex(' ').toStdString(), c.out.toHex(' ').toStdString()) << c.in.toHex(' ').constData();
    }
    const SystemLocale traditional(platform::kLcidTraditionalChinese);
    std::mt19937 rng(7); // any input: the same length, and the string forms survive it too
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes(int(rng() % 40), '\0');
        for (char& b : bytes)
            b = char(rng() % 4 ? 0xA0 + rng() % 0x60 : rng() % 256);
        EXPECT_EQ(conv.GB2BIGByte(bytes).size(), bytes.size());
        EXPECT_EQ(conv.BIG2GBByte(bytes).size(), bytes.size());
        conv.BIG2GB(conv.GB2BIG(platform::BytesToText(bytes, round % 2 ? 936 : 950).text));
    }
}
