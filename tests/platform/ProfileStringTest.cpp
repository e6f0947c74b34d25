#include "platform/ProfileString.h"

#include "TestSupport.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using platform::GetPrivateProfileString;
using testing_support::TempFolder;

TEST(ProfileString, LookupRules)
{
    TempFolder tmp;
    tmp.write("c.ini", "\xEF\xBB\xBF; captions of the main window\n"
                       "[Main]\r\n"
                       "Title = Korvalen \r\n"
                       "  Quoted=\"  two blanks  \"\n"
                       "Single='one'\n"
                       "Unmatched=\"open\n"
                       "; Hidden=comment\n"
                       "Empty=\n"
                       "Chinese=中文\n"
                       "[ Other Section ]\n"
                       "Title=other\n");
    const struct { const char* section; const char* key; const char* expected; } cases[] = {
        {"Main", "Title", "Korvalen"},       {"MAIN", "title", "Korvalen"},     {" main ", " TITLE ", "Korvalen"},
        {"Main", "Quoted", "  two blanks  "}, {"Main", "Single", "one"},         {"Main", "Unmatched", "\"open"},
        {"Main", "Empty", ""},               {"Main", "Chinese", "中文"},        {"Main", "Hidden", "DEF"},
        {"; Hidden", "x", "DEF"},            {"Main", "Missing", "DEF"},        {"Missing", "Title", "DEF"},
        {"other section", "TITLE", "other"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "DEF", tmp.file("c.ini")), QString::fromUtf8(c.expected))
            << c.section << '/' << c.key;
    EXPECT_EQ(GetPrivateProfileString("Main", "Title", "DEF", tmp.file("none.ini")), "DEF");
}

TEST(ProfileString, ResultHoldsAtMostSizeMinusOneCharacters)
{
    TempFolder tmp;
    const QString longValue(300, 'v');
    tmp.write("c.ini", "[s]\nk=" + longValue.toUtf8() + "\n");
    const QString file = tmp.file("c.ini");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", file, 199), longValue.left(198));
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", file, 1), "");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", file), longValue);
    EXPECT_EQ(GetPrivateProfileString("s", "none", "default", file, 4), "def");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "default", tmp.file("none.ini"), 4), "def");
}

TEST(ProfileString, GarbageFilesNeverCrash)
{
    TempFolder tmp;
    QByteArray random(64 * 1024, '\0');
    QRandomGenerator rng(12345);
    for (char& c : random)
        c = char(rng.bounded(256));
    const QByteArray files[] = {
        random,
        QByteArrayLiteral("[s]\0\nk=\xFF\xFE\xC0\x80\0ok\n[]\n=\n[\n"),
        "[s]\nk=" + QByteArray(100 * 1024, 'x') + "\n",
    };
    for (const QByteArray& bytes : files) {
        tmp.write("g.ini", bytes);
        EXPECT_LE(GetPrivateProfileString("s", "k", "DEF", tmp.file("g.ini"), 200).size(), 199);
        tmp.write("g.ini", ""); // a new size, so the next file is read afresh
        EXPECT_EQ(GetPrivateProfileString("s", "k", "DEF", tmp.file("g.ini")), "DEF");
    }
}

TEST(ProfileString, FileRewrittenOnDiskIsReadAgain)
{
    TempFolder tmp;
    const QString file = tmp.file("c.ini");
    tmp.write("c.ini", "[s]\nk=first\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", file), "first");
    tmp.write("c.ini", "[s]\nk=second value\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", file), "second value");
}
