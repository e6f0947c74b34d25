// SPDX-License-Identifier: GPL-3.0-or-later
// The internet call's datagrams as another computer may send them: whatever the bytes, each
// reader answers a well-formed message or nothing, and received audio keeps the jitter buffer
// within its slots. The input is a run of datagrams, each a length byte and that many bytes
// (payload, then the type byte).
#include "FuzzSupport.h"
#include "console/CallDatagram.h"
#include "console/JitterBuffer.h"

#include <algorithm>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

namespace {

void CheckName(const QString& name)
{
    if (name.contains(u',') || name.size() > callmsg::kMaxNameLength)
        fuzz::Fail("a name kept a comma or grew past its limit", (long long)name.size(), callmsg::kMaxNameLength);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    JitterBuffer jitter;
    char block[JitterBuffer::kBlockBytes];
    size_t at = 0;
    while (at < size) {
        const size_t n = std::min<size_t>(data[at], size - at - 1);
        const QByteArray datagram = fuzz::Bytes(data + at + 1, n);
        at += 1 + n;
        if (datagram.isEmpty())
            continue;
        const quint8 type = quint8(datagram.back());
        const QByteArray payload = datagram.left(datagram.size() - 1);
        switch (type) {
        case callmsg::CallRequest:
            if (const auto r = callmsg::ReadRequest(payload)) {
                CheckName(r->name);
                if (r->name.isEmpty() || r->port == 0)
                    fuzz::Fail("a request without a name or port was taken", r->port, 1);
                fuzz::Keep(fuzz::Touch(r->key));
            }
            break;
        case callmsg::Audio:
            if (const auto a = callmsg::ReadAudio(payload)) {
                jitter.put(a->sequence, a->gsm);
                jitter.next(block, (a->sequence & 1) != 0);
                if (jitter.held() < 0 || jitter.held() > JitterBuffer::kSlots)
                    fuzz::Fail("the jitter buffer holds more than its slots", jitter.held(), JitterBuffer::kSlots);
            }
            break;
        case callmsg::Digit:
            if (const auto k = callmsg::ReadDigit(payload))
                if (callmsg::MakeDigit(*k) != payload)
                    fuzz::Fail("a key read back differently", payload.size(), 1);
            break;
        case callmsg::Notice:
            if (const auto notice = callmsg::ReadNotice(payload)) {
                CheckName(notice->name);
                const QByteArray again = callmsg::MakeNotice(notice->name, notice->text);
                if (again.size() > callmsg::kMaxPayload)
                    fuzz::Fail("a notice outgrew its datagram", again.size(), callmsg::kMaxPayload);
            }
            break;
        default: break;
        }
    }
    return 0;
}
