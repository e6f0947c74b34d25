// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

// The system language as the program uses it, set once at start-up (tests and tools set it too).
struct ProgramWide
{
    int lcid = 0x0409; // mapped system locale identifier
};

ProgramWide& Globals();

} // namespace platform
