// SPDX-License-Identifier: GPL-3.0-or-later
// The number-string codec against numbers worked out by hand. The pair 17/2753 modulo
// 3233 = 61 x 53 is the textbook example: 65^17 mod 3233 = 2790 and 2790^2753 mod 3233 = 65;
// 72^17 = 3000, 105^17 = 3179, 233^17 = 1453 and 63^17 = 3216 (mod 3233) were computed once
// with Python's pow(), not with this code.
#include "console/QXRSA_Encode.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t E = 17, D = 2753, N = 3233;

TEST(QXRSA_Encode, ModPowFollowsSquareAndMultiplyIn32Bits)
{
    // base, exponent, modulus, result, whether it could be worked out
    const std::tuple<int32_t, int32_t, int32_t, int32_t, bool> rows[] = {
        {65, 17, 3233, 2790, true},  {2790, 2753, 3233, 65, true}, {7, 1, 5, 2, true},
        {0, 9, 5, 0, true},          {5, 0, 7, 1, true}, // an exponent below 1 gives 1
        {5, -4, 0, 1, true}, // even with no modulus
        {-2, 3, 7, -1, true}, // the remainder keeps the dividend's sign
        {46341, 2, 46340, 0, false}, // 46341^2 does not fit in 32 bits
        {3, 2, 0, 0, false}}; // no modulus to divide by
    for (const auto& [base, exponent, modulus, result, fits] : rows) {
        bool ok = !fits;
        EXPECT_EQ(std::pair(ModPow(base, exponent, modulus, &ok), ok), std::pair(result, fits))
            << base << "^" << exponent << " mod " << modulus;
    }
}

TEST(QXRSA_Encode, EncodesLatin1CodesInDashForm)
{
    EXPECT_EQ(Encode("Hi", E, N), "3000-3179");
    EXPECT_EQ(Encode("A", E, N), "2790"); // one character: no dash
    EXPECT_EQ(Encode(QString::fromUtf8("\xC3\xA9"), E, N), "1453"); // é is Latin-1 233
    EXPECT_EQ(Encode(QString::fromUtf8("\xE4\xB8\xAD"), E, N), "3216"); // no Latin-1 code: '?'
    EXPECT_EQ(Encode("A", E, 0), ""); // an error empties the whole result
    EXPECT_EQ(Encode(QString::fromLatin1("A\xFF"), 4, 2000000000), ""); // 255^4 overflows on the way
}

// Numbers are read as leniently as the service's language reads them.
TEST(QXRSA_Encode, DecodesPlusFormWithALenientNumberRead)
{
    const std::pair<const char*, QString> rows[] = {
        {"3000+3179", "Hi"},
        {"2790+", "A"}, // a trailing "+" adds nothing
        {"", ""},
        {" 2790", "A"}, // leading blanks skipped
        {"2790abc", "A"}, // reading stops at the first non-number character
        {"2790.99", "A"}, // fractions are cut off
        {"2790++2790", QString("A") + QChar(0) + "A"}, // an empty piece reads as 0
        {"99999999999", ""}, // beyond 32 bits
        {"3233", QString(QChar(0))},
        {"1453", QString::fromUtf8("\xC3\xA9")}};
    for (const auto& [numbers, text] : rows)
        EXPECT_EQ(Decode(QString::fromLatin1(numbers), D, N), text) << numbers;
    EXPECT_EQ(Decode("-1", 1, N), ""); // a negative code is no character
    EXPECT_EQ(Decode("3000", 1, N), ""); // nor is a code above 255
}

} // namespace
