#include "mail/SpamList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(SpamList, FilesAreReadAsCommaSeparatedRecords)
{
    const struct { const char* line; QStringList fields; } cases[] = {
        {"WIN A PRIZE", {"WIN A PRIZE"}},
        {"a,b", {"a", "b"}},
        {"  padded  , x", {"padded", "x"}},
        {"\"quoted, with comma\"", {"quoted, with comma"}},
        {"\" keeps blanks \",next", {" keeps blanks ", "next"}},
        {"\"unclosed", {"unclosed"}},
        {"", {""}},
        {"a,", {"a", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(spam::ParseRecordLine(c.line), c.fields) << c.line;

    testing_support::TempFolder folder;
    folder.write("spam.txt", "one\r\ntwo,three\n\n\"four\"\r\n");
    EXPECT_EQ(spam::ReadListFile(folder.file("spam.txt")), QStringList({"one", "two", "three", "", "four"}));
    EXPECT_TRUE(spam::ReadListFile(folder.file("missing.txt")).isEmpty());
}

TEST(SpamList, EntriesMatchAsWrittenAnywhereInTheText)
{
    const QStringList entries = {"", "offers@", "WIN"};
    EXPECT_TRUE(spam::Matches("Best <offers@spam.example>", entries));
    EXPECT_TRUE(spam::Matches("You WIN!", entries));
    EXPECT_FALSE(spam::Matches("you win", entries));
    EXPECT_FALSE(spam::Matches("anything", {""}));
    EXPECT_FALSE(spam::Matches("anything", {}));
}
