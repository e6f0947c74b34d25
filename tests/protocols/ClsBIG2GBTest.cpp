// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/ClsBIG2GB.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>
#include <random>

namespace {

std::vector<uint16_t> readTable(const char* name)
{
    QFile file(QString(":/tables/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    const QByteArray bytes = file.readAll();
    std::vector<uint16_t> table(size_t(bytes.size() / 2));
    qFromLittleEndian<quint16>(bytes.constData(), qsizetype(table.size()), table.data());
    return table;
}

bool inRange(int v, int lo, int hi)
{
    return v >= lo && v <= hi;
}
bool isGbPair(uint16_t v)
{
    return inRange(v >> 8, 0xA1, 0xF7) && inRange(v & 0xFF, 0xA1, 0xFE);
}
bool isBig5Pair(uint16_t v)
{
    return v >> 8 >= 0xA1 && (inRange(v & 0xFF, 0x40, 0x7E) || inRange(v & 0xFF, 0xA1, 0xFE));
}
int big5Index(uint16_t v)
{
    return ((v >> 8) - 0xA1) * 157 + ((v & 0xFF) <= 0x7E ? (v & 0xFF) - 0x40 : (v & 0xFF) - 0xA1 + 63);
}

// Pretends to run on a Chinese system for the length of a test.
struct SystemLocale
{
    explicit SystemLocale(int lcid) { platform::SetSystemLcidOverride(lcid); }
    ~SystemLocale() { platform::SetSystemLcidOverride(0); }
};

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(ClsBIG2GB, TablesHoldOnlyPairsOfTheTargetAndMostMapBack)
{
    ASSERT_TRUE(ClsBIG2GB().loaded());
    const auto gbToBig5 = readTable("gb2big5.tbl");
    const auto big5ToGb = readTable("big52gb.tbl");
    ASSERT_EQ(gbToBig5.size(), size_t(ClsBIG2GB::kGbEntries));
    ASSERT_EQ(big5ToGb.size(), size_t(ClsBIG2GB::kBig5Entries));
    for (uint16_t v : big5ToGb)
        ASSERT_TRUE(v == ClsBIG2GB::kNoCounterpart || isGbPair(v)) << std::hex << v;
    int mapped = 0, back = 0;
    for (int i = 0; i < ClsBIG2GB::kGbEntries; ++i) {
        const uint16_t v = gbToBig5[size_t(i)];
        if (v == ClsBIG2GB::kNoCounterpart)
            continue;
        ASSERT_TRUE(isBig5Pair(v)) << std::hex << v;
        ++mapped;
        back += big5ToGb[size_t(big5Index(v))] == ((i / 94 + 0xA1) << 8 | (i % 94 + 0xA1));
    }
    EXPECT_GT(mapped, 6000);
    EXPECT_GT(back, mapped * 95 / 100);
}

TEST(ClsBIG2GB, ByteFormsKeepLengthAndPassWhatIsNotAPair)
{
    const ClsBIG2GB conv;
    const struct
    {
        bool toBig5;
        QByteArray in, out;
    } cases[] = {
        {true, "\xB0\xA1", "\xB0\xDA"},
        {false, "\xB0\xDA", "\xB0\xA1"},
        {true,
         "a\xB9\xFA"
         "b",
         "a\xB0\xEA"
         "b"},
        {false, "\xA5\x78", "\xCC\xA8"}, // guo; tai: trail below 0x7F
        {true, "\xA4\xA1", "  "}, // kana: not in Big5
        {true, "a\xB0", QByteArray("a\0", 2)},
        {false, "\xB0\xDA\xB0", QByteArray("\xB0\xA1\0", 3)}, // lead at end
        {true, "\xB0\x41\xF8\xA1", "\xB0\x41\xF8\xA1"},
        {false,
         "\xB0\x80\xFF"
         "A",
         "\xB0\x80\xFF"
         "A"}, // bad trail, lead
        {true, QByteArray("\0\xFF\0", 3), QByteArray("\0\xFF\0", 3)},
        {false, "", ""},
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

TEST(ClsBIG2GB, StringFormsGiveWhatTheSystemCodePageShows)
{
    const ClsBIG2GB conv;
    {
        const SystemLocale traditional(platform::kLcidTraditionalChinese);
        EXPECT_EQ(conv.GB2BIG(u("啊 a国b ぁ! Hi\r\n")), u("啊 a國b   ! Hi\r\n")); // kana: not in Big5
        // GBK 81 A1 is not a GB2312 pair: 81 stands alone, and A1 is a lead left at the end.
        const QString gbk = platform::BytesToText("\x81\xA1", 936).text;
        ASSERT_EQ(gbk.size(), 1);
        EXPECT_EQ(conv.GB2BIG(gbk), platform::BytesToText("\x81", 950).text + platform::BytesToText("\xA1", 950).text);
    }
    const SystemLocale simplified(platform::kLcidSimplifiedChinese);
    EXPECT_EQ(conv.BIG2GB(u("啊 a國b Hi\r\n")), u("啊 a国b Hi\r\n"));
    EXPECT_EQ(conv.BIG2GB(QString()), QString());
}
