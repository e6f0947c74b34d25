// SPDX-License-Identifier: GPL-3.0-or-later
// The SIP line's datagram guard: whatever arrives, the stack is handed either a prefix of the
// datagram that is one whole message, the datagram as it came (a keep-alive), or an empty
// keep-alive in its place.
#include "FuzzSupport.h"
#include "platform/telephone/SipDatagramGuard.h"

#include <string>

using namespace platform::sip_datagram_guard;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string datagram(reinterpret_cast<const char*>(data), size);
    std::string buffer = datagram;
    buffer.resize(size + 4);
    Verdict verdict{};
    const size_t n = Screen(buffer.data(), size, buffer.size(), &verdict);
    switch (verdict) {
    case Verdict::Whole:
    case Verdict::KeepAlive:
        if (n != size || buffer.compare(0, n, datagram) != 0)
            fuzz::Fail("a datagram handed on whole was changed", (long long)n, (long long)size);
        break;
    case Verdict::Trimmed:
        if (n >= size || buffer.compare(0, n, datagram, 0, n) != 0)
            fuzz::Fail("a trimmed datagram is not a shorter prefix", (long long)n, (long long)size);
        break;
    case Verdict::Dropped:
        if (buffer.compare(0, n, "\r\n\r\n") != 0)
            fuzz::Fail("a dropped datagram was not replaced by a keep-alive", (long long)n, 4);
        break;
    }
    if (verdict == Verdict::Whole || verdict == Verdict::Trimmed) {
        // what the stack gets ends its header, and has no NUL before that end
        const std::string handed = buffer.substr(0, n);
        const size_t end = handed.find("\r\n\r\n");
        if (end == std::string::npos || handed.find('\0') < end)
            fuzz::Fail("a message without a whole header was handed on", (long long)n, (long long)size);
    }
    return 0;
}
