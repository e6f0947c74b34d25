// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Utilities.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Utilities, NumberFieldsAngleAddressesAndArrayTails)
{
    const struct
    {
        const char* text;
        int32_t min, max, def;
        const char* expected;
    } cases[] = {
        {"45", 10, 60, 30, "45"}, {"61", 10, 60, 30, "30"},
        {"abc", 0, 99, 7, "7"},   {"65537", 1, 65536, 25, "25"},
        {"9e99", 0, 99, 1, "1"},  {"1234567890", 0, 99999999, 1, "1234567890"}, // only the first 8 characters count
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValidateNumberField(c.text, c.min, c.max, c.def), c.expected) << '"' << c.text << '"';

    EXPECT_EQ(ExtractAngleAddress("Ann <a@b.c>"), "a@b.c");
    EXPECT_EQ(ExtractAngleAddress("x <a@b"), "x <a@b");
    EXPECT_EQ(ExtractAngleAddress("x > y < z"), "x > y < z");

    const struct
    {
        qsizetype start;
        bool ok;
        const char* tail;
    } tails[] = {{0, true, "abcdef"}, {5, true, "f"}, {7, false, ""}, {-1, false, ""}};
    for (const auto& c : tails) {
        QByteArray dest("old");
        EXPECT_EQ(CopyArrayTail(dest, "abcdef", c.start), c.ok) << c.start;
        EXPECT_EQ(dest, c.tail) << c.start;
    }
}
