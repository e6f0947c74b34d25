// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the fuzz targets.
#include "platform/SystemLocale.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

// The systems the decoders are run as: Western, Big5, GBK, and a code page of another
// family (Japanese) that the Chinese paths do not expect.
inline int PickSystem(uint8_t selector, int choices = 4)
{
    static const struct
    {
        int lcid;
        int codePage;
    } systems[] = {
        {0x0409, 0},
        {0x0404, 0},
        {0x0804, 0},
        {0x0409, 932},
    };
    const auto& s = systems[selector % choices];
    platform::SetSystemLcidOverride(s.lcid);
    platform::SetSystemCodePageOverride(s.codePage);
    return s.lcid;
}

inline QByteArray Bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The bytes taken as UTF-16 code units as they are, lone surrogates included.
inline QString Utf16(const uint8_t* data, size_t size)
{
    QString s(qsizetype(size / 2), Qt::Uninitialized);
    if (size >= 2)
        std::memcpy(s.data(), data, size / 2 * 2);
    return s;
}

// Reads every unit from our own (instrumented) code so a bad size shows up here.
inline unsigned Touch(const QString& s)
{
    unsigned sum = 0;
    for (qsizetype i = 0; i < s.size(); ++i)
        sum += s.at(i).unicode();
    return sum;
}

inline unsigned Touch(const QByteArray& b)
{
    unsigned sum = 0;
    for (qsizetype i = 0; i < b.size(); ++i)
        sum += uchar(b.at(i));
    return sum;
}

// Keeps results alive so the calls are not optimised away.
inline void Keep(unsigned value)
{
    asm volatile("" : : "r"(value));
}

// FUZZ_TRACE=1 in the environment: a target tells what happened, to check how deep a seed goes.
inline bool Tracing()
{
    static const bool on = std::getenv("FUZZ_TRACE") != nullptr;
    return on;
}

[[noreturn]] inline void Fail(const char* what, long long got, long long limit)
{
    std::fprintf(stderr, "fuzz check failed: %s (%lld vs %lld)\n", what, got, limit);
    std::abort();
}

} // namespace fuzz
