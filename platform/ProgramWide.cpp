// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramWide.h"

namespace platform {

ProgramWide& Globals()
{
    static ProgramWide globals;
    return globals;
}

} // namespace platform
