// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/SpamList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(SpamList, EntriesMatchAsWrittenAnywhereInTheText)
{
    const QStringList entries = {"", "offers@", "WIN"};
    EXPECT_TRUE(spam::Matches("Best <offers@spam.example>", entries));
    EXPECT_TRUE(spam::Matches("You WIN!", entries));
    EXPECT_FALSE(spam::Matches("you win", entries));
    EXPECT_FALSE(spam::Matches("anything", {""}));
}

// A written entry must read back as itself: one split at its comma would delete more mail.
TEST(SpamList, WrittenEntriesReadBackUnchanged)
{
    testing_support::TempFolder folder;
    const QString path = folder.file("spam.txt");
    const QStringList entries = {"WIN", "a, b", " keeps blanks ", "say \"hi\" now", "", "trailing,"};
    ASSERT_TRUE(spam::WriteListFile(path, entries));
    EXPECT_EQ(folder.read("spam.txt"),
              "WIN\r\n\"a, b\"\r\n\" keeps blanks \"\r\nsay \"hi\" now\r\n\r\n\"trailing,\"\r\n");
    EXPECT_EQ(spam::ReadListFile(path), entries);
}

TEST(SpamList, AnEntryThatCannotReadBackLeavesTheFileAsItWas)
{
    testing_support::TempFolder folder;
    const QString path = folder.file("spam.txt");
    folder.write("spam.txt", "before\r\n");
    const char* const unwritable[] = {
        "\"quoted\" start", // the quotes would be taken off
        "say \"hi\", now", // a comma needs quotes, and the inner quote would end them
        " \"x\"", // so do outer blanks
        "two\nlines",
        "\xE4\xB8\xAD", // not in the Western code page
    };
    for (const char* entry : unwritable) {
        QString error;
        EXPECT_FALSE(spam::WriteListFile(path, {"kept", QString::fromUtf8(entry)}, &error)) << entry;
        EXPECT_TRUE(error.contains(QString::fromUtf8(entry))) << error.toStdString();
        EXPECT_EQ(folder.read("spam.txt"), "before\r\n") << entry;
    }
    QString error;
    EXPECT_FALSE(spam::WriteListFile(folder.file("no/such/folder/spam.txt"), {"x"}, &error));
    EXPECT_TRUE(error.contains("no/such/folder")) << error.toStdString();
}
