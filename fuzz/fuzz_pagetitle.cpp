// SPDX-License-Identifier: GPL-3.0-or-later
// The sign-in's page-title reader on any page bytes; the first byte picks the charset the
// server named.
#include "FuzzSupport.h"
#include "platform/WebBrowser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const charsets[] = {"", "utf-8", "iso-8859-1", "windows-1252", "Big5", "bogus", "UTF-16"};
    const char* charset = charsets[data[0] % (sizeof charsets / sizeof *charsets)];
    const QString title = platform::PageTitle(fuzz::Bytes(data + 1, size - 1), QByteArray(charset));
    if (title.size() > 4096)
        fuzz::Fail("title length", title.size(), 4096);
    fuzz::Keep(fuzz::Touch(title));
    return 0;
}
