// SPDX-License-Identifier: GPL-3.0-or-later
// The keypad key in a SIP INFO body: whatever the body, the line hands on one key a caller can
// press, or nothing.
#include "FuzzSupport.h"
#include "platform/telephone/SipKeypad.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the content type; the rest is the body.
    static const char* const subtypes[] = {"dtmf", "dtmf-relay", "DTMF-Relay", "plain"};
    const QString subtype = QString::fromLatin1(subtypes[data[0] % 4]);
    const QString type = data[0] & 0x80 ? QStringLiteral("text") : QStringLiteral("application");
    const QString key = platform::KeypadKeyFromInfo(type, subtype, fuzz::Bytes(data + 1, size - 1));
    if (key.isEmpty())
        return 0;
    if (key.size() != 1 || !QStringLiteral("0123456789*#ABCD").contains(key))
        fuzz::Fail("an INFO body gave something that is not a keypad key", (long long)key.size(), 1);
    if (type != u"application" || subtype == u"plain")
        fuzz::Fail("a key came from a body of another type", (long long)size, 0);
    return 0;
}
