// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>
#include <memory>

namespace audio {

// The machine's memory, in the fields the call form's status shows (bytes, load in percent).
struct MemoryStatus
{
    quint32 dwLength = sizeof(MemoryStatus);
    quint32 dwMemoryLoad = 0;
    quint64 dwTotalPhys = 0;
    quint64 dwAvailPhys = 0;
    quint64 dwTotalPageFile = 0; // memory plus swap
    quint64 dwAvailPageFile = 0;
    quint64 dwTotalVirtual = 0; // this process's address space
    quint64 dwAvailVirtual = 0;
};

// One zero-filled block of memory that the sound buffers and the sound-file player hold.
// The block is owned: it is freed by GFree() or with the object, never twice.
class ClsMemory
{
public:
    ClsMemory() = default;
    ~ClsMemory();
    ClsMemory(ClsMemory&& other) noexcept;
    ClsMemory& operator=(ClsMemory&& other) noexcept;
    ClsMemory(const ClsMemory&) = delete;
    ClsMemory& operator=(const ClsMemory&) = delete;

    // The size the next GAlloc() allocates.
    qint64 MemSize() const { return size_; }
    void SetMemSize(qint64 bytes) { size_ = bytes; }
    // A number naming the block; 0 when nothing is allocated.
    quint32 MemHandle() const { return handle_; }
    // The block while locked, otherwise nullptr.
    char* MemPointer() const { return locks_ > 0 ? data_.get() : nullptr; }

    // Allocates MemSize() zero bytes (freeing any earlier block); returns the handle, 0 on failure.
    quint32 GAlloc();
    quint32 GAlloc(qint64 bytes)
    {
        size_ = bytes;
        return GAlloc();
    }
    char* GLock();
    // True while the block stays locked by an earlier GLock().
    bool GUnlock();
    // Frees the block; false when there was none.
    bool GFree();
    qint64 GSize() const { return handle_ ? allocated_ : 0; }

    static bool GetMemStat(MemoryStatus* status);

    // Blocks alive in the whole program, and blocks ever allocated (the call checks that
    // nothing is allocated while sound flows).
    static int LiveBlocks();
    static qint64 AllocationCount();

private:
    std::unique_ptr<char[]> data_;
    qint64 size_ = 0;
    qint64 allocated_ = 0;
    quint32 handle_ = 0;
    int locks_ = 0;
};

} // namespace audio
