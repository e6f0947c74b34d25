// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipDatagramGuard.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>
#include <vector>

namespace platform::sip_datagram_guard {
namespace {

constexpr std::string_view kCrlf = "\r\n";
constexpr std::string_view kEndOfHeader = "\r\n\r\n";
constexpr std::string_view kVersion = "SIP/2.0";

bool IsTokenChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
           || std::string_view("-.!%*_+`'~").find(c) != std::string_view::npos;
}

// "SIP/2.0 200 OK" or "INVITE sip:x SIP/2.0".
bool IsStartLine(std::string_view line)
{
    if (line.starts_with(kVersion) && line.size() >= kVersion.size() + 4 && line[kVersion.size()] == ' ')
        return std::all_of(line.begin() + kVersion.size() + 1, line.begin() + kVersion.size() + 4,
                           [](char c) { return c >= '0' && c <= '9'; });
    const size_t method = line.find(' ');
    if (method == 0 || method == std::string_view::npos || method > 16
        || !std::all_of(line.begin(), line.begin() + method, IsTokenChar))
        return false;
    const size_t uri = line.find(' ', method + 1);
    return uri != std::string_view::npos && uri > method + 1 && line.substr(uri + 1) == kVersion;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool NameIs(std::string_view field, std::string_view name)
{
    return field.size() == name.size()
           && std::equal(field.begin(), field.end(), name.begin(), [](char a, char b) { return Lower(a) == Lower(b); });
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The Content-Length of the header lines after the start line: -1 when there is none, -2 when
// there are several or one that is not a number.
long long ContentLength(std::string_view lines)
{
    long long length = -1;
    while (!lines.empty()) {
        const size_t end = lines.find(kCrlf);
        const std::string_view line = lines.substr(0, end);
        lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + kCrlf.size());
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = Trimmed(line.substr(0, colon));
        if (!NameIs(name, "Content-Length") && !NameIs(name, "l"))
            continue;
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (length != -1 || value.empty() || value.size() > 9
            || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -2;
        length = 0;
        for (char c : value)
            length = length * 10 + (c - '0');
    }
    return length;
}

std::mutex& PortsLock()
{
    static std::mutex lock;
    return lock;
}
std::vector<uint16_t>& Ports()
{
    static std::vector<uint16_t> ports;
    return ports;
}
std::atomic<uint64_t> dropped{0};

bool Guarded(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    int type = 0;
    socklen_t typeLength = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_DGRAM
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    uint16_t port = 0;
    if (address.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    else if (address.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    else
        return false;
    const std::lock_guard hold(PortsLock());
    return std::find(Ports().begin(), Ports().end(), port) != Ports().end();
}

} // namespace

size_t Screen(char* buffer, size_t n, size_t capacity, Verdict* verdict)
{
    Verdict ignored;
    Verdict& said = verdict ? *verdict : ignored;
    const std::string_view datagram(buffer, n);
    size_t start = 0;
    while (start < n && (datagram[start] == '\r' || datagram[start] == '\n'))
        ++start;
    if (start == n) { // a keep-alive of line ends only: the stack passes over it
        said = Verdict::KeepAlive;
        return n;
    }
    const size_t headEnd = datagram.find(kEndOfHeader, start);
    const size_t firstLineEnd = datagram.find(kCrlf, start);
    bool whole = headEnd != std::string_view::npos
                 && datagram.substr(start, headEnd - start).find('\0') == std::string_view::npos
                 && IsStartLine(datagram.substr(start, firstLineEnd - start));
    long long length = -1;
    if (whole) {
        length = ContentLength(datagram.substr(firstLineEnd + kCrlf.size(), headEnd - firstLineEnd));
        const size_t body = n - (headEnd + kEndOfHeader.size());
        whole = length >= -1 && (length < 0 || size_t(length) <= body);
    }
    if (!whole) {
        dropped.fetch_add(1, std::memory_order_relaxed);
        said = Verdict::Dropped;
        if (capacity < kEndOfHeader.size())
            return 0;
        std::memcpy(buffer, kEndOfHeader.data(), kEndOfHeader.size());
        return kEndOfHeader.size();
    }
    const size_t end = length < 0 ? n : headEnd + kEndOfHeader.size() + size_t(length);
    said = end < n ? Verdict::Trimmed : Verdict::Whole;
    return end;
}

void Guard(uint16_t port)
{
    const std::lock_guard hold(PortsLock());
    Ports().push_back(port);
}

void Unguard(uint16_t port)
{
    const std::lock_guard hold(PortsLock());
    const auto it = std::find(Ports().begin(), Ports().end(), port);
    if (it != Ports().end())
        Ports().erase(it);
}

uint64_t DroppedCount()
{
    return dropped.load(std::memory_order_relaxed);
}

} // namespace platform::sip_datagram_guard

// The stack reads every SIP datagram through this one function of its support library; this
// definition comes first in the program, screens what arrives on a guarded port and leaves
// every other read as it was.
extern "C" __attribute__((visibility("default"))) ssize_t
bctbx_recvfrom(int socket, void* buffer, size_t length, int flags, sockaddr* address, socklen_t* addressLength)
{
    using Read = ssize_t (*)(int, void*, size_t, int, sockaddr*, socklen_t*);
    static const Read next = [] {
        const auto found = reinterpret_cast<Read>(::dlsym(RTLD_NEXT, "bctbx_recvfrom"));
        return found ? found : static_cast<Read>(&::recvfrom);
    }();
    const ssize_t n = next(socket, buffer, length, flags, address, addressLength);
    if (n <= 0 || (flags & MSG_PEEK) || !platform::sip_datagram_guard::Guarded(socket))
        return n;
    return ssize_t(platform::sip_datagram_guard::Screen(static_cast<char*>(buffer), size_t(n), length));
}
