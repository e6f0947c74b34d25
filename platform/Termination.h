// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

// A terminate or interrupt signal (logout, Ctrl+C, the demo's end) asks the program to quit
// the orderly way: the main window's next countdown tick ends it and the settings are saved.
void InstallTerminationHandler();
bool TerminationRequested();

} // namespace platform
