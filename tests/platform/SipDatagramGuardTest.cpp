// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipDatagramGuard.h"

#include <gtest/gtest.h>
#include <string>

using namespace platform::sip_datagram_guard;

namespace {

const std::string kInvite = "INVITE sip:line@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1\r\nCall-ID: a\r\n";

struct Row
{
    const char* name;
    std::string datagram;
    Verdict verdict;
    std::string handedOn; // "" = the datagram as it came
};

} // namespace

// Only whole messages reach the stack; the rest become a keep-alive it passes over.
TEST(SipDatagramGuard, HandsOnWholeMessagesOnly)
{
    const std::string keepAlive = "\r\n\r\n";
    const Row rows[] = {
        {"a request with its body", kInvite + "Content-Length: 3\r\n\r\nv=0", Verdict::Whole, ""},
        {"an answer without a body", "SIP/2.0 200 OK\r\nCall-ID: a\r\nContent-Length: 0\r\n\r\n", Verdict::Whole, ""},
        {"no Content-Length: the rest of the datagram is the body", kInvite + "\r\nv=0\r\n", Verdict::Whole, ""},
        {"compact name, any case, blanks around the number", kInvite + "l:  2 \r\n\r\nab", Verdict::Whole, ""},
        {"a leading line end", "\r\n" + kInvite + "Content-Length: 0\r\n\r\n", Verdict::Whole, ""},
        {"a body longer than its length is cut", kInvite + "content-length: 2\r\n\r\nabINVITE x SIP/2.0\r\n",
         Verdict::Trimmed, kInvite + "content-length: 2\r\n\r\nab"},
        {"a keep-alive", "\r\n\r\n", Verdict::KeepAlive, ""},
        {"a body shorter than promised", kInvite + "Content-Length: 99999\r\n\r\nv=0\r\n", Verdict::Dropped, keepAlive},
        {"a header that never ends", kInvite + "Content-Length: 0\r\n", Verdict::Dropped, keepAlive},
        {"a NUL byte in the header", kInvite + std::string("Subject: a\0b\r\n\r\n", 16), Verdict::Dropped, keepAlive},
        {"two lengths", kInvite + "Content-Length: 0\r\nl: 0\r\n\r\n", Verdict::Dropped, keepAlive},
        {"a length that is no number", kInvite + "Content-Length: -1\r\n\r\n", Verdict::Dropped, keepAlive},
        {"a length beyond any datagram", kInvite + "Content-Length: 99999999999\r\n\r\n", Verdict::Dropped, keepAlive},
        {"no start line", "hello there\r\nCall-ID: a\r\n\r\n", Verdict::Dropped, keepAlive},
        {"junk before a message", "xx\r\n" + kInvite + "\r\n", Verdict::Dropped, keepAlive},
        {"a start line with another version", "INVITE sip:a SIP/3.0\r\n\r\n", Verdict::Dropped, keepAlive},
        {"a status without its code", "SIP/2.0 2\r\n\r\n", Verdict::Dropped, keepAlive},
        {"bytes that are no SIP at all", std::string(300, '\xff'), Verdict::Dropped, keepAlive},
        {"a single byte", "I", Verdict::Dropped, keepAlive},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string buffer = row.datagram;
        buffer.resize(row.datagram.size() + 64);
        Verdict verdict{};
        const uint64_t droppedBefore = DroppedCount();
        const size_t n = Screen(buffer.data(), row.datagram.size(), buffer.size(), &verdict);
        EXPECT_EQ(verdict, row.verdict);
        EXPECT_EQ(buffer.substr(0, n), row.handedOn.empty() ? row.datagram : row.handedOn);
        EXPECT_EQ(DroppedCount() - droppedBefore, row.verdict == Verdict::Dropped ? 1u : 0u);
    }
}
