// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProfileString.h"

#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using platform::GetPrivateProfileString;
using testing_support::TempFolder;

TEST(ProfileString, LookupRules)
{
    TempFolder tmp;
    tmp.write("c.ini", "\xEF\xBB\xBF; captions\n[Main]\r\nTitle = Korvalen \r\n  Quoted=\"  two blanks  \"\n"
                       "Single='one'\nUnmatched=\"open\n; Hidden=comment\nChinese=中文\n[ Other ]\nTitle=other\n");
    const struct
    {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Main", "Title", "Korvalen"}, {" MAIN ", " title ", "Korvalen"},
        {"other", "TITLE", "other"},   {"Main", "Quoted", "  two blanks  "},
        {"Main", "Single", "one"},     {"Main", "Unmatched", "\"open"},
        {"Main", "Hidden", "DEF"},     {"Main", "Chinese", "中文"},
        {"Main", "Missing", "DEF"},
    };
    const QByteArray bytes = tmp.read("c.ini");
    for (const auto& c : cases) {
        // the bytes of a file already read follow the same rules
        EXPECT_EQ(platform::ProfileStringIn(bytes, c.section, c.key, "DEF"), QString::fromUtf8(c.expected));
        EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "DEF", tmp.file("c.ini")), QString::fromUtf8(c.expected))
            << c.section << '/' << c.key;
    }
    EXPECT_EQ(GetPrivateProfileString("Main", "Title", "DEF", tmp.file("none.ini")), "DEF");
}

// A result holds at most size - 1 characters (captions are read with 199), and no file, however
// broken, gets past that or crashes the reader.
TEST(ProfileString, ResultHoldsAtMostSizeMinusOneCharactersWhateverTheFile)
{
    TempFolder tmp;
    const QString longValue(300, 'v');
    tmp.write("c.ini", "[s]\nk=" + longValue.toUtf8() + "\n");
    const QString file = tmp.file("c.ini");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", file, 199), longValue.left(198));
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", file), longValue);
    EXPECT_EQ(GetPrivateProfileString("s", "none", "default", file, 4), "def");

    QByteArray random(64 * 1024, '\0');
    QRandomGenerator(12345).fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
    for (const QByteArray& bytes : {random, QByteArrayLiteral("[s]\0\nk=\xFF\xFE\xC0\x80\0ok\n[]\n=\n[\n")}) {
        tmp.write("g.ini", bytes);
        EXPECT_LE(GetPrivateProfileString("s", "k", "DEF", tmp.file("g.ini"), 200).size(), 199);
    }
}
