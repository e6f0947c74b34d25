// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>
#include <optional>

namespace platform {

// The machine's memory as the user thinks of it, in bytes.
struct MachineMemory
{
    quint64 totalPhysical = 0;
    quint64 availablePhysical = 0; // free, and caches the system would give back
    quint32 loadPercent = 0; // of the physical memory in use
    quint64 totalWithSwap = 0;
    quint64 availableWithSwap = 0;
    quint64 addressSpace = 0; // this process's
    quint64 availableAddressSpace = 0;
};

// What the system says now; nothing where it says nothing.
std::optional<MachineMemory> ReadMachineMemory();

} // namespace platform
