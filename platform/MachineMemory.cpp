// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MachineMemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <algorithm>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/sysinfo.h>
#endif

namespace platform {

std::optional<MachineMemory> ReadMachineMemory()
{
#if defined(__linux__)
    struct sysinfo si
    {
    };
    if (sysinfo(&si) != 0)
        return std::nullopt;
    const quint64 unit = si.mem_unit ? si.mem_unit : 1;
    quint64 total = quint64(si.totalram) * unit;
    quint64 avail = quint64(si.freeram + si.bufferram) * unit;
    const quint64 swapTotal = quint64(si.totalswap) * unit;
    const quint64 swapFree = quint64(si.freeswap) * unit;
    // MemAvailable counts reclaimable caches too, as the user thinks of free memory.
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : meminfo.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() < 2)
                continue;
            const quint64 kb = f[1].toULongLong() * 1024;
            if (f[0] == "MemTotal:")
                total = kb;
            else if (f[0] == "MemAvailable:")
                avail = kb;
        }
    }
    MachineMemory m;
    m.totalPhysical = total;
    m.availablePhysical = std::min(avail, total);
    m.loadPercent = total ? quint32((total - m.availablePhysical) * 100 / total) : 0;
    m.totalWithSwap = total + swapTotal;
    m.availableWithSwap = m.availablePhysical + swapFree;
    // The address space: its limit when one is set, otherwise the user half of 48-bit addresses.
    quint64 space = quint64(1) << 47;
    struct rlimit lim
    {
    };
    if (getrlimit(RLIMIT_AS, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY)
        space = lim.rlim_cur;
    quint64 used = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmSize:"))
                used = line.mid(7).simplified().split(' ').value(0).toULongLong() * 1024;
        }
    }
    m.addressSpace = space;
    m.availableAddressSpace = space > used ? space - used : 0;
    return m;
#else
    return std::nullopt;
#endif
}

} // namespace platform
