#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(CodePage, ConvertsBothWays)
{
    const struct { int codePage; QByteArray bytes; QString text; } cases[] = {
        {950, "\xA4\xA4\xA4\xE5", QString::fromUtf8("中文")},
        {936, "\xD6\xD0\xCE\xC4", QString::fromUtf8("中文")},
        {1252, "\x80 caf\xE9", QString::fromUtf8("€ café")},
        {950, "a\xA3\xE1", QString::fromUtf8("a€")},
        {65001, "\xE4\xB8\xAD", QString::fromUtf8("中")},
        {1200, QByteArray("a\0b\0", 4), "ab"}, // two-byte units
    };
    for (const auto& c : cases) {
        const TextConversion t = BytesToText(c.bytes, c.codePage);
        EXPECT_TRUE(t.ok()) << c.codePage;
        EXPECT_EQ(t.text, c.text) << c.codePage;
        const BytesConversion b = TextToBytes(c.text, c.codePage);
        EXPECT_TRUE(b.ok()) << c.codePage;
        EXPECT_EQ(b.bytes, c.bytes) << c.codePage;
    }
}

TEST(CodePage, BadBytesAreCountedAtTheirOffset)
{
    const struct { QByteArray bytes; int unmapped, first; QString text; } cases[] = {
        {"\xA4", 1, 0, QString(QChar(0xFFFD))}, // a lead byte left at the end
        {"\xA4\xA4\xA4", 1, 2, QString::fromUtf8("中\uFFFD")},
        {"ab\xA4\x0A" "c\xA4", 2, 2, QString::fromUtf8("ab\uFFFD\nc\uFFFD")}, // the byte after a bad lead is kept
    };
    for (const auto& c : cases) {
        const TextConversion t = BytesToText(c.bytes, 950);
        EXPECT_EQ(t.unmapped, c.unmapped) << c.bytes.toHex().constData();
        EXPECT_EQ(t.firstUnmapped, c.first) << c.bytes.toHex().constData();
        EXPECT_EQ(t.text, c.text) << c.bytes.toHex().constData();
    }
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks)
{
    const struct { QString text; int codePage; QByteArray bytes; int unmapped, first; } cases[] = {
        {QString::fromUtf8("中"), 1252, "?", 1, 0},
        {QString::fromUtf8("ab中c文"), 1252, "ab?c?", 2, 2},
        {QString::fromUtf8("😀x😀"), 1252, "?x?", 2, 0},
        {QString::fromUtf8("x😀y"), 936, "x?y", 1, 1},
    };
    for (const auto& c : cases) {
        const BytesConversion b = TextToBytes(c.text, c.codePage);
        EXPECT_EQ(b.bytes, c.bytes) << c.text.toStdString();
        EXPECT_EQ(b.unmapped, c.unmapped) << c.text.toStdString();
        EXPECT_EQ(b.firstUnmapped, c.first) << c.text.toStdString();
    }
}

TEST(CodePage, UnknownCodePageAndEmptyInput)
{
    EXPECT_FALSE(BytesToText("abc", 12345).converterFound);
    EXPECT_FALSE(TextToBytes("abc", 12345).ok());

    const TextConversion t = BytesToText(QByteArray(), 950);
    EXPECT_TRUE(t.ok() && t.text.isEmpty());
    const BytesConversion b = TextToBytes(QString(), 936);
    EXPECT_TRUE(b.ok() && b.bytes.isEmpty());
}
