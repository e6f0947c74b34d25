// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>

// The number-string codec of the web sign-in and the internet call: each character's code (its
// Latin-1 byte) raised to a power modulo a small modulus, written as decimal numbers. Every
// modulus in use is below 46341, so a product of two residues fits in 32 bits; anything that
// would overflow, divide by zero or make a code outside 0..255 makes the result empty.

// base^exponent mod modulus by square-and-multiply in 32-bit signed arithmetic; 1 for an
// exponent below 1. *ok (when given) turns false on an overflow or a zero modulus, and the
// result is then 0.
int32_t ModPow(int32_t base, int32_t exponent, int32_t modulus, bool* ok = nullptr);

// Text to numbers with "-" between them ("dash form"); "" for an empty text or on any error.
QString Encode(const QString& text, int32_t exponent, int32_t modulus);

// Numbers with "+" between them ("plus form") back to text; "" on any error. Each piece is read
// leniently: leading blanks skipped, reading stops at the first character that cannot go on
// with the number, an empty piece reads as 0, fractions are cut off.
QString Decode(const QString& numbers, int32_t exponent, int32_t modulus);

// The lenient number reading of one piece, as a double; what Decode truncates.
double LenientNumber(QStringView piece);
