// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

// Starts reading the system's font configuration and caches on a thread of its own, so the
// first text field of a window finds them ready. Does nothing where the toolkit's font
// library is not loaded.
void LoadFontConfigurationBeside();

} // namespace platform
