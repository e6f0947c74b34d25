// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(CodePage, LossIsCountedAtItsOffset)
{
    // A lead byte left at the end; the byte after a bad lead is kept.
    const TextConversion t = BytesToText("ab\xA4\x0A"
                                         "c\xA4",
                                         950);
    EXPECT_EQ(t.text, QString::fromUtf8("ab\uFFFD\nc\uFFFD"));
    EXPECT_EQ(t.unmapped, 2);
    EXPECT_EQ(t.firstUnmapped, 2);

    const BytesConversion b = TextToBytes(QString::fromUtf8("ab中c😀"), 1252);
    EXPECT_EQ(b.bytes, "ab?c?");
    EXPECT_EQ(b.unmapped, 2);
    EXPECT_EQ(b.firstUnmapped, 2);

    EXPECT_FALSE(BytesToText("abc", 12345).converterFound || TextToBytes("abc", 12345).converterFound);
}

TEST(CodePage, AsciiIsTakenAsItIsOnlyWhereTheCodePageReadsItSo)
{
    for (int codePage : {1252, 950, 936, 65001})
        EXPECT_TRUE(CodePageKeepsAscii(codePage)) << codePage;
    // EBCDIC; a DOS page and Shift-JIS read some ASCII bytes as other characters.
    for (int codePage : {37, 437, 932, 12345})
        EXPECT_FALSE(CodePageKeepsAscii(codePage)) << codePage;
    EXPECT_EQ(BytesToText("AB", 37).text, QString::fromUtf8("\u00A0\u00E2"));
    EXPECT_EQ(TextToBytes("AB", 37).bytes, "\xC1\xC2");

    // A Big5 character across the 64th byte, after a run of ASCII.
    const QByteArray bytes = QByteArray(63, 'a') + "\xA4\xA4" + "b";
    const QString text = QString(63, u'a') + QString::fromUtf8("中b");
    EXPECT_EQ(BytesToText(bytes, 950).text, text);
    EXPECT_EQ(TextToBytes(text, 950).bytes, bytes);
}

TEST(CodePage, OneCharacterAboveAsciiIsFoundWhereverItIs)
{
    for (qsizetype size : {1, 31, 32, 33, 63, 64, 65, 200}) {
        const QByteArray bytes(size, 'a');
        const QString text(size, u'a');
        EXPECT_TRUE(IsAscii(bytes) && IsAscii(text)) << size;
        for (qsizetype at = 0; at < size; ++at) {
            QByteArray b = bytes;
            b[at] = '\x80';
            EXPECT_FALSE(IsAscii(b)) << size << " " << at;
            for (char16_t c : {u'\x80', u'\x100'}) {
                QString t = text;
                t[at] = QChar(c);
                EXPECT_FALSE(IsAscii(t)) << size << " " << at;
            }
        }
    }
}

TEST(CodePage, DetectorPicksTheLikeliestCandidate)
{
    const auto in = [](const char* text, int codePage) { return TextToBytes(QString::fromUtf8(text), codePage).bytes; };
    const QByteArray big5 = in("大家好，這封信是測試用的。今天下午三點開會，請準時出席。", 950);
    const QByteArray gb = in("大家好，这封信是测试用的。今天下午三点开会，请准时出席。", 936);
    const QByteArray western = in("Vielen Dank für Ihre Nachricht. Mit freundlichen Grüßen", 1252);
    const QByteArray shortChinese = "\xD6\xD0\xCE\xC4"; // too short to judge: all alike
    const struct
    {
        QByteArray bytes;
        QList<int> candidates;
        int expected;
    } cases[] = {
        {big5, {1252, 936, 950}, 950},
        {gb, {1252, 950, 936}, 936},
        {western, {950, 936, 1252}, 1252},
        {western, {950, 936}, 950}, // only the candidates count
        {in("Une idée naïve.", 65001), {1252, 65001}, 65001},
        {shortChinese, {936, 950}, 936},
        {shortChinese, {950, 936}, 950},
        {big5, {437, 866}, 437}, // code pages the detector does not score
        {QByteArray(), {1252, 950}, 1252},
        {big5, {}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LikeliestCodePage(c.bytes, c.candidates), c.expected) << c.bytes.left(12).toHex().constData();
}
