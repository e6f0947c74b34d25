// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>

// The number-string codec as the internet call uses it, with the call's own key pair: the
// decoding exponent is the inverse of the encoding one, so two copies of the program read each
// other.
namespace callcodec {

constexpr int32_t kModulus = 23393; // 149 x 157: every character code 0..255 lies below it
constexpr int32_t kEncodeExponent = 17;
constexpr int32_t kDecodeExponent = 10865; // 17 x 10865 = 1 modulo 148 x 156

// Text of any script through the codec: its UTF-8 bytes, one number each, "-" between.
QString EncodeText(const QString& text);
// Back from the "-" form; malformed numbers give an empty text, never a crash.
QString DecodeText(const QString& numbers);

} // namespace callcodec
