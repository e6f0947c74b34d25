#include "platform/Utilities.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <limits>

using namespace platform;

TEST(Utilities, KeyFilters)
{
    const struct { int16_t key, digitOnly, decimal; } cases[] = {
        {'a', 0, 0}, {kKeyBackspace, kKeyBackspace, kKeyBackspace}, {'0', '0', '0'}, {'5', '5', '5'},
        {'9', '9', '9'}, {'/', 0, 0}, {':', 0, 0}, {'.', 0, '.'}, {'-', 0, 0}, {0x4E2D, 0, 0}};
    for (const auto& c : cases) {
        int16_t a = c.key, b = c.key;
        DigitOnlyKeyFilter(a);
        DecimalKeyFilter(b);
        EXPECT_EQ(a, c.digitOnly) << c.key;
        EXPECT_EQ(b, c.decimal) << c.key;
    }
}

TEST(Utilities, ValidateNumberField)
{
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
    const struct { const char* text; int32_t min, max, def; const char* expected; } cases[] = {
        {"5", 10, 60, 60, "60"},           {"45", 10, 60, 60, "45"},
        {"10", 10, 60, 60, "10"},          {"61", 10, 60, 30, "30"},
        {"", 10, 60, 60, "60"},            {"65536", 1, 65536, 25, "65536"},
        {"65537", 1, 65536, 25, "25"},     {"1234567890", 0, 99999999, 1, "1234567890"},
        {"123456789", 0, 9999999, 1, "1"}, {"99999999999", kMin, kMax, 3, "99999999999"},
        {"abc", 0, 99, 7, "7"},            {"12abc", 0, 99, 7, "7"},
        {" 12 ", 0, 99, 1, " 12 "},        {"9e99", 0, 99, 1, "1"},
        {"1e2", 0, 100, 1, "1e2"},         {"1e", 0, 10, 3, "3"},
        {"12.5", 0, 12, 1, "12.5"},        {"13.5", 0, 13, 1, "1"}, // half to even: 12 and 14
        {"-5", -10, 10, 0, "-5"},          {"-5", 0, 10, 3, "3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValidateNumberField(c.text, c.min, c.max, c.def), c.expected)
            << '"' << c.text << "\" in " << c.min << ".." << c.max;
}

TEST(Utilities, ExtractAngleAddress)
{
    const struct { const char* in; const char* out; } cases[] = {
        {"Ann <a@b.c>", "a@b.c"}, {"a@b.c", "a@b.c"}, {"x <a@b", "x <a@b"}, {"x > y < z", "x > y < z"}, {"<>", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtractAngleAddress(c.in), c.out) << c.in;
}

TEST(Utilities, MakeTempFileNameCreatesDistinctFiles)
{
    testing_support::TempFolder tmp;
    const QString first = MakeTempFileName(tmp.path());
    const QString second = MakeTempFileName(tmp.path());
    EXPECT_NE(first, second);
    for (const QString& name : {first, second}) {
        const QFileInfo info(name);
        EXPECT_TRUE(info.isFile()) << name.toStdString();
        EXPECT_EQ(info.absolutePath(), QFileInfo(tmp.path()).absoluteFilePath());
        EXPECT_TRUE(info.fileName().startsWith('M') && info.fileName().endsWith(".tmp")) << name.toStdString();
    }
    EXPECT_EQ(MakeTempFileName(tmp.file("no/such/folder")), "");
}

TEST(Utilities, CopyArrayTail)
{
    const QByteArray source("abcdef");
    const struct { qsizetype start; bool ok; const char* tail; } cases[] = {
        {0, true, "abcdef"}, {2, true, "cdef"}, {5, true, "f"}, {7, false, ""}, {100, false, ""}, {-1, false, ""},
    };
    for (const auto& c : cases) {
        QByteArray dest("old");
        EXPECT_EQ(CopyArrayTail(dest, source, c.start), c.ok) << c.start;
        EXPECT_EQ(dest, c.tail) << c.start;
    }
}
