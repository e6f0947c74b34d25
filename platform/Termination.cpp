// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Termination.h"

#include <csignal>

namespace platform {
namespace {
volatile std::sig_atomic_t requested = 0;
extern "C" void onTerminate(int)
{
    requested = 1;
}
} // namespace

void InstallTerminationHandler()
{
    std::signal(SIGTERM, onTerminate);
    std::signal(SIGINT, onTerminate);
    std::signal(SIGHUP, onTerminate);
}

bool TerminationRequested()
{
    return requested != 0;
}

} // namespace platform
