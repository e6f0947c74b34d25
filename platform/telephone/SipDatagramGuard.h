// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// The SIP stack reads each peer's UDP datagrams as one stream: a datagram whose header never
// ends (a NUL byte in it, no blank line) or whose Content-Length promises more than came leaves
// the stream waiting, and every later datagram from that address and port is swallowed into
// it. With an account every call comes from the provider's proxy, so one bad or spoofed
// datagram would make the line deaf. The guard sees every datagram the stack reads from a
// guarded port and hands it on only as a whole message: a body longer than its Content-Length
// is cut to it, and anything else that is not a whole message is handed on as an empty
// keep-alive, which the stack passes over.
namespace sip_datagram_guard {

// What becomes of one datagram.
enum class Verdict { Whole, Trimmed, KeepAlive, Dropped };

// Screens the n bytes of one datagram in buffer (capacity bytes long) in place and gives the
// number of bytes to hand on.
size_t Screen(char* buffer, size_t n, size_t capacity, Verdict* verdict = nullptr);

// The stack's SIP sockets are known by their local UDP port.
void Guard(uint16_t port);
void Unguard(uint16_t port);
// Datagrams dropped on guarded ports since the program started.
uint64_t DroppedCount();

} // namespace sip_datagram_guard
} // namespace platform
