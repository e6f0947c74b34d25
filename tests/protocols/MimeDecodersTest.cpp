// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemLocale.h"
#include "protocols/CMessage.h"
#include "protocols/MimeDecoders.h"

#include <gtest/gtest.h>

using namespace mime;

namespace {

// Decoding depends on the system code page; these tests run on an English one.
class MimeDecoders : public ::testing::Test
{
protected:
    void SetUp() override { platform::SetSystemLcidOverride(0x0409); }
    void TearDown() override { platform::SetSystemLcidOverride(0); }
};

} // namespace

// Base64 skips line breaks only between groups; quoted-printable keeps what is not an escape.
TEST_F(MimeDecoders, TransferEncodingsDecodeWhatTheyCanAndKeepTheRest)
{
    const QByteArray line(76, 'Q'); // 57 bytes of 0x41 0x04 0x10 ...
    const QByteArray decodedLine = QByteArray::fromBase64(line);
    const struct
    {
        bool base64;
        QByteArray in;
        QByteArray out;
    } cases[] = {
        {true, "YQ==", "a"},
        {true, "YWJjZA", "abc"}, // a group cut short at the end is ignored
        {true, line + "\r\n" + line, decodedLine + decodedLine},
        {true, "YWJj\r\nZGVm\r\n", "abcdef"},
        {true, "Y*Jj",
         "\xF2"
         "c"}, // an unknown character counts as missing
        {false, "a=3Db", "a=b"},
        {false, "=b0=a1", "\xB0\xA1"},
        {false, "soft=\r\nbreak", "soft break"},
        {false, "a_b", "a_b"},
        {false, "\xA4\xA4", "\xA4\xA4"},
        {false, "end=", "end="},
        {false, "end=4", "end=4"},
        {false, "=ZZ!", "=ZZ!"},
        {false, "=\r", "=\r"},
    };
    for (const auto& c : cases)
        EXPECT_EQ((c.base64 ? DecodeBase64(c.in) : DecodeQuotedPrintable(c.in)).toHex(), c.out.toHex())
            << c.in.left(20).constData();

    // A 75-character line misaligns the groups after it.
    const QByteArray shortLine(75, 'Q');
    EXPECT_NE(DecodeBase64(shortLine + "\r\n" + line), QByteArray::fromBase64(shortLine + line));
}

// Whole Big5 words, 8-bit Big5 and display names are the message tests'.
TEST_F(MimeDecoders, HeaderWordsDecodeTheFirstEncodedWord)
{
    const struct
    {
        QByteArray value;
        int charsetIn; // known so far: a plain value is read in it
        QString text;
        QByteArray bytes;
        int charset;
    } cases[] = {
        {"Re: =?big5?B?pKSk5Q==?= tail =?gb2312?B?1tDOxA==?=", CharsetNotSet, QString::fromUtf8("中文"),
         "\xA4\xA4\xA4\xE5", CharsetBig5},
        {"=?iso-8859-1?Q?a_b=5Fc?=", CharsetNotSet, "a b_c", "a b_c",
         CharsetOther}, // "_" is a blank, "=5F" an underscore
        {"=?big5?B?"
         "?=",
         CharsetNotSet, "", "", CharsetBig5}, // a blank is no base64
        {"=?big5?B?pKSk", CharsetNotSet, "=?big5?B?pKSk", "=?big5?B?pKSk", CharsetBig5}, // not closed: as it stands
        {"=?", CharsetNotSet, "=?", "=?", CharsetNotSet},
    };
    for (const auto& c : cases) {
        const DecodedWord w = DecodeHeaderWord(c.value, c.charsetIn);
        EXPECT_EQ(w.text, c.text) << c.value.constData();
        EXPECT_EQ(w.bytes, c.bytes.isEmpty() ? QByteArray() : c.bytes) << c.value.constData();
        EXPECT_EQ(w.charset, c.charset) << c.value.constData();
    }
}
