// SPDX-License-Identifier: GPL-3.0-or-later
// The number-string codec on any text: the first bytes pick the exponent and modulus (any
// 32-bit values, in range or not), the rest is decoded as plus form and encoded back.
#include "FuzzSupport.h"
#include "console/QXRSA_Encode.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    int32_t exponent = 0, modulus = 0;
    std::memcpy(&exponent, data, 4);
    std::memcpy(&modulus, data + 4, 4);
    const QString numbers = QString::fromLatin1(fuzz::Bytes(data + 8, size - 8));
    const QString text = Decode(numbers, exponent, modulus);
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            fuzz::Fail("decoded character beyond Latin-1", c.unicode(), 0xFF);
    }
    const QString again = Encode(text, exponent, modulus);
    // a valid pair encodes each character to one number
    if (!text.isEmpty() && !again.isEmpty() && again.count(u'-') != text.size() - 1)
        fuzz::Fail("numbers in the dash form", again.count(u'-') + 1, text.size());
    unsigned sum = fuzz::Touch(text) + fuzz::Touch(again);
    sum += unsigned(LenientNumber(numbers) != 0);
    fuzz::Keep(sum);
    return 0;
}
