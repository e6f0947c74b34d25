#include "platform/ProgramWide.h"

namespace platform {

ProgramWide& Globals()
{
    static ProgramWide globals;
    return globals;
}

} // namespace platform
