// SPDX-License-Identifier: GPL-3.0-or-later
// Big5/GB2312 conversion in both directions, as bytes and as text. The first byte picks the
// system (low 2 bits) and how the text forms get their input (bit 2: UTF-8, otherwise the
// bytes read in the source code page).
#include "FuzzSupport.h"
#include "platform/CodePage.h"
#include "protocols/ClsBIG2GB.h"

static const ClsBIG2GB& converter()
{
    static const ClsBIG2GB c;
    return c;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!converter().loaded()) {
        std::fprintf(stderr, "the conversion tables did not load\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::PickSystem(data[0] & 3);
    const bool utf8 = data[0] & 4;
    const QByteArray in = fuzz::Bytes(data + 1, size - 1);
    const ClsBIG2GB& c = converter();

    unsigned sum = 0;
    const QByteArray big = c.GB2BIGByte(in);
    if (big.size() != in.size())
        fuzz::Fail("GB2BIGByte changed the length", big.size(), in.size());
    const QByteArray gb = c.BIG2GBByte(in);
    if (gb.size() != in.size())
        fuzz::Fail("BIG2GBByte changed the length", gb.size(), in.size());
    sum += fuzz::Touch(big) + fuzz::Touch(gb);

    const QString gbText = utf8 ? QString::fromUtf8(in) : platform::BytesToText(in, 936).text;
    const QString bigText = utf8 ? QString::fromUtf8(in) : platform::BytesToText(in, 950).text;
    sum += fuzz::Touch(c.GB2BIG(gbText)) + fuzz::Touch(c.BIG2GB(bigText));
    fuzz::Keep(sum);
    return 0;
}
