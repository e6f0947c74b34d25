#include "audio/ClsMemory.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/sysinfo.h>
#endif

namespace audio {

namespace {
std::atomic<int> g_live{0};
std::atomic<qint64> g_allocations{0};
std::atomic<quint32> g_nextHandle{0};
} // namespace

ClsMemory::~ClsMemory()
{
    GFree();
}

ClsMemory::ClsMemory(ClsMemory&& o) noexcept
    : data_(std::move(o.data_)), size_(o.size_), allocated_(o.allocated_), handle_(o.handle_), locks_(o.locks_)
{
    o.allocated_ = 0;
    o.handle_ = 0;
    o.locks_ = 0;
}

ClsMemory& ClsMemory::operator=(ClsMemory&& o) noexcept
{
    if (this != &o) {
        GFree();
        data_ = std::move(o.data_);
        size_ = o.size_;
        allocated_ = std::exchange(o.allocated_, 0);
        handle_ = std::exchange(o.handle_, 0);
        locks_ = std::exchange(o.locks_, 0);
    }
    return *this;
}

quint32 ClsMemory::GAlloc()
{
    GFree();
    if (size_ < 0)
        return 0;
    data_.reset(new (std::nothrow) char[size_ ? size_ : 1]());
    if (!data_)
        return 0;
    allocated_ = size_;
    handle_ = ++g_nextHandle;
    if (handle_ == 0)
        handle_ = ++g_nextHandle;
    ++g_live;
    ++g_allocations;
    return handle_;
}

char* ClsMemory::GLock()
{
    if (!handle_)
        return nullptr;
    ++locks_;
    return data_.get();
}

bool ClsMemory::GUnlock()
{
    if (locks_ > 0)
        --locks_;
    return locks_ > 0;
}

bool ClsMemory::GFree()
{
    if (!handle_)
        return false;
    data_.reset();
    handle_ = 0;
    allocated_ = 0;
    locks_ = 0;
    --g_live;
    return true;
}

int ClsMemory::LiveBlocks()
{
    return g_live;
}

qint64 ClsMemory::AllocationCount()
{
    return g_allocations;
}

bool ClsMemory::GetMemStat(MemoryStatus* s)
{
    *s = MemoryStatus{};
#if defined(__linux__)
    struct sysinfo si {};
    if (sysinfo(&si) != 0)
        return false;
    const quint64 unit = si.mem_unit ? si.mem_unit : 1;
    quint64 total = quint64(si.totalram) * unit;
    quint64 avail = quint64(si.freeram + si.bufferram) * unit;
    quint64 swapTotal = quint64(si.totalswap) * unit;
    quint64 swapFree = quint64(si.freeswap) * unit;
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
    s->dwTotalPhys = total;
    s->dwAvailPhys = std::min(avail, total);
    s->dwMemoryLoad = total ? quint32((total - s->dwAvailPhys) * 100 / total) : 0;
    s->dwTotalPageFile = total + swapTotal;
    s->dwAvailPageFile = s->dwAvailPhys + swapFree;
    // The address space: its limit when one is set, otherwise the user half of 48-bit addresses.
    quint64 space = quint64(1) << 47;
    struct rlimit lim {};
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
    s->dwTotalVirtual = space;
    s->dwAvailVirtual = space > used ? space - used : 0;
    return true;
#else
    return false;
#endif
}

} // namespace audio
