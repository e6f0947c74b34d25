// SPDX-License-Identifier: GPL-3.0-or-later
// pop-listing-client: the listing dialogue in plain C over a plain socket, the yardstick for
// bench/pop-listing. USER, PASS, STAT, then UIDL n and TOP n 0 for every message, QUIT.
//
//   pop-listing-client HOST PORT USER PASSWORD [--ahead] [--headers FILE]
//
// Without --ahead one command at a time, each waiting for its reply; with --ahead, CAPA after
// PASS and, when the server announces PIPELINING, every UIDL and TOP written at once (as fast
// as the socket takes them, reading replies meanwhile). Prints one line:
// "ms=<connect to QUIT reply> cpu_ms=<processor time meanwhile> peak_kb=<peak resident memory>
// messages=<headers read> ahead=<0|1>". --headers writes the header
// blocks, each closed by an empty line, after the timing.
#define _POSIX_C_SOURCE 200809L
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static int fd = -1;
static char* in;
static size_t inLen, inCap, inPos;
static char* out;
static size_t outLen, outCap, outPos;
static FILE* headers;

static void die(const char* what)
{
    fprintf(stderr, "pop-listing-client: %s%s%s\n", what, errno ? ": " : "", errno ? strerror(errno) : "");
    exit(2);
}

static void* grow(void* p, size_t* cap, size_t need)
{
    if (need <= *cap)
        return p;
    while (*cap < need)
        *cap = *cap ? *cap * 2 : 65536;
    p = realloc(p, *cap);
    if (!p)
        die("out of memory");
    return p;
}

static void queue(const char* line)
{
    size_t n = strlen(line);
    out = grow(out, &outCap, outLen + n);
    memcpy(out + outLen, line, n);
    outLen += n;
}

// Writes what the socket takes and reads what is there; blocks until one of the two moved.
static void pump(void)
{
    struct pollfd p = {fd, POLLIN | (outPos < outLen ? POLLOUT : 0), 0};
    if (poll(&p, 1, 60000) <= 0)
        die("server silent");
    if (p.revents & POLLOUT) {
        ssize_t n = write(fd, out + outPos, outLen - outPos);
        if (n < 0 && errno != EAGAIN)
            die("write");
        if (n > 0)
            outPos += (size_t)n;
        if (outPos == outLen)
            outPos = outLen = 0;
    }
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
        if (inPos > (1u << 20)) { // the replies read so far go
            memmove(in, in + inPos, inLen - inPos);
            inLen -= inPos;
            inPos = 0;
        }
        in = grow(in, &inCap, inLen + 65536);
        ssize_t n = read(fd, in + inLen, inCap - inLen);
        if (n == 0) {
            errno = 0;
            die("connection closed");
        }
        if (n < 0 && errno != EAGAIN)
            die("read");
        if (n > 0)
            inLen += (size_t)n;
    }
}

static char* find(const char* what, size_t from)
{
    size_t k = strlen(what);
    for (size_t i = from; i + k <= inLen; ++i)
        if (in[i] == what[0] && memcmp(in + i, what, k) == 0)
            return in + i;
    return NULL;
}

// One reply: a status line, or with multi a "+OK" block up to "CR LF . CR LF". Returns its
// start; *len is its length. Sets *ok to whether it began with "+".
static const char* reply(int multi, size_t* len, int* ok)
{
    size_t seen = 0; // bytes after inPos already searched, less a possible split marker
    for (;;) {
        if (inLen > inPos) {
            *ok = in[inPos] == '+';
            const int block = multi && *ok;
            const char* end = find(block ? "\r\n.\r\n" : "\r\n", inPos + seen);
            if (end) {
                const char* start = in + inPos;
                size_t total = (size_t)(end - start) + (block ? 5 : 2);
                inPos += total;
                *len = total;
                return start;
            }
            seen = inLen - inPos > 4 ? inLen - inPos - 4 : 0;
        }
        pump();
    }
}

static const char* command(const char* line, int multi, size_t* len)
{
    int ok;
    queue(line);
    const char* r = reply(multi, len, &ok);
    if (!ok) {
        fprintf(stderr, "pop-listing-client: %s -> %.*s", line, (int)*len, r);
        exit(1);
    }
    return r;
}

static long header(const char* r, size_t len, char** kept, size_t* keptLen, size_t* keptCap)
{
    const char* body = memchr(r, '\n', len);
    size_t n = (size_t)(r + len - 3 - (body + 1));
    *kept = grow(*kept, keptCap, *keptLen + n + 2);
    memcpy(*kept + *keptLen, body + 1, n);
    memcpy(*kept + *keptLen + n, "\r\n", 2);
    *keptLen += n + 2;
    return 1;
}

// Peak resident memory in KB (Linux), 0 where unknown.
static long peakResidentKb(void)
{
    FILE* f = fopen("/proc/self/status", "r");
    char l[256];
    long kb = 0;
    while (f && fgets(l, sizeof l, f))
        if (strncmp(l, "VmHWM:", 6) == 0)
            kb = strtol(l + 6, NULL, 10);
    if (f)
        fclose(f);
    return kb;
}

int main(int argc, char** argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: pop-listing-client HOST PORT USER PASSWORD [--ahead] [--headers FILE]\n");
        return 2;
    }
    int ahead = 0;
    for (int i = 5; i < argc; ++i) {
        if (strcmp(argv[i], "--ahead") == 0)
            ahead = 1;
        else if (strcmp(argv[i], "--headers") == 0 && i + 1 < argc)
            headers = fopen(argv[++i], "wb");
    }
    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const clock_t cpu0 = clock();

    struct sockaddr_in addr = {0};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)atoi(argv[2]));
    if (inet_pton(AF_INET, argv[1], &addr.sin_addr) != 1)
        die("HOST must be an IPv4 address");
    fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (struct sockaddr*)&addr, sizeof addr) < 0)
        die("connect");
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, O_NONBLOCK);

    size_t len;
    int ok;
    char line[600];
    reply(0, &len, &ok);
    snprintf(line, sizeof line, "USER %s\r\n", argv[3]);
    command(line, 0, &len);
    snprintf(line, sizeof line, "PASS %s\r\n", argv[4]);
    command(line, 0, &len);
    if (ahead) {
        const char* caps = command("CAPA\r\n", 1, &len);
        ahead = 0;
        for (const char* l = caps; l < caps + len; l = (const char*)memchr(l, '\n', (size_t)(caps + len - l)) + 1)
            if (strncasecmp(l, "PIPELINING", 10) == 0 && (l[10] == '\r' || l[10] == ' '))
                ahead = 1;
    }
    const char* stat = command("STAT\r\n", 0, &len);
    long count = strtol(stat + 4, NULL, 10);

    char* kept = NULL;
    size_t keptLen = 0, keptCap = 0;
    long read = 0;
    if (ahead) {
        for (long n = 1; n <= count; ++n) {
            snprintf(line, sizeof line, "UIDL %ld\r\nTOP %ld 0\r\n", n, n);
            queue(line);
        }
        for (long n = 1; n <= count; ++n) {
            reply(0, &len, &ok);
            const char* r = reply(1, &len, &ok);
            if (!ok)
                die("TOP refused");
            read += header(r, len, &kept, &keptLen, &keptCap);
        }
    } else {
        for (long n = 1; n <= count; ++n) {
            snprintf(line, sizeof line, "UIDL %ld\r\n", n);
            command(line, 0, &len);
            snprintf(line, sizeof line, "TOP %ld 0\r\n", n);
            const char* r = command(line, 1, &len);
            read += header(r, len, &kept, &keptLen, &keptCap);
        }
    }
    command("QUIT\r\n", 0, &len);
    clock_gettime(CLOCK_MONOTONIC, &t1);
    const clock_t cpu1 = clock();
    close(fd);

    if (headers) {
        fwrite(kept, 1, keptLen, headers);
        fclose(headers);
    }
    printf("ms=%.3f cpu_ms=%.3f peak_kb=%ld messages=%ld ahead=%d\n",
           (double)(t1.tv_sec - t0.tv_sec) * 1e3 + (double)(t1.tv_nsec - t0.tv_nsec) / 1e6,
           (double)(cpu1 - cpu0) * 1e3 / CLOCKS_PER_SEC, peakResidentKb(), read, ahead);
    return read == count ? 0 : 1;
}
