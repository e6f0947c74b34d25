// SPDX-License-Identifier: GPL-3.0-or-later
// HtmlToText on the input read as UTF-8 and as raw UTF-16.
#include "FuzzSupport.h"
#include "protocols/HtmlToText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    unsigned sum = 0;
    sum += fuzz::Touch(HtmlToText(QString::fromUtf8(fuzz::Bytes(data, size))));
    sum += fuzz::Touch(HtmlToText(fuzz::Utf16(data, size)));
    fuzz::Keep(sum);
    return 0;
}
