#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(CodePage, BigFiveAndGbkConvertBothWays)
{
    const struct { int codePage; QByteArray bytes; QString text; } cases[] = {
        {950, "\xA4\xA4\xA4\xE5", QString::fromUtf8("中文")},
        {936, "\xD6\xD0\xCE\xC4", QString::fromUtf8("中文")},
        {950, "a\xA3\xE1", QString::fromUtf8("a€")},
    };
    for (const auto& c : cases) {
        const TextConversion t = BytesToText(c.bytes, c.codePage);
        EXPECT_TRUE(t.ok() && t.text == c.text) << c.codePage;
        const BytesConversion b = TextToBytes(c.text, c.codePage);
        EXPECT_TRUE(b.ok() && b.bytes == c.bytes) << c.codePage;
    }
}

TEST(CodePage, LossIsCountedAtItsOffset)
{
    // A lead byte left at the end; the byte after a bad lead is kept.
    const TextConversion t = BytesToText("ab\xA4\x0A" "c\xA4", 950);
    EXPECT_EQ(t.text, QString::fromUtf8("ab\uFFFD\nc\uFFFD"));
    EXPECT_EQ(t.unmapped, 2);
    EXPECT_EQ(t.firstUnmapped, 2);

    const BytesConversion b = TextToBytes(QString::fromUtf8("ab中c😀"), 1252);
    EXPECT_EQ(b.bytes, "ab?c?");
    EXPECT_EQ(b.unmapped, 2);
    EXPECT_EQ(b.firstUnmapped, 2);

    EXPECT_FALSE(BytesToText("abc", 12345).converterFound || TextToBytes("abc", 12345).converterFound);
}
