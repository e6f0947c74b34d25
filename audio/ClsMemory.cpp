// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ClsMemory.h"

#include "platform/MachineMemory.h"

#include <atomic>
#include <new>
#include <utility>

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
    const std::optional<platform::MachineMemory> m = platform::ReadMachineMemory();
    if (!m)
        return false;
    s->dwMemoryLoad = m->loadPercent;
    s->dwTotalPhys = m->totalPhysical;
    s->dwAvailPhys = m->availablePhysical;
    s->dwTotalPageFile = m->totalWithSwap;
    s->dwAvailPageFile = m->availableWithSwap;
    s->dwTotalVirtual = m->addressSpace;
    s->dwAvailVirtual = m->availableAddressSpace;
    return true;
}

} // namespace audio
