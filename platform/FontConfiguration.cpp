// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FontConfiguration.h"

#include <dlfcn.h>
#include <thread>

namespace platform {

// The library is the toolkit's own, loaded with it; its initialisation is safe to run beside
// the toolkit's own use of it.
void LoadFontConfigurationBeside()
{
    using Init = int (*)();
    if (auto init = reinterpret_cast<Init>(dlsym(RTLD_DEFAULT, "FcInit")))
        std::thread(init).detach();
}

} // namespace platform
