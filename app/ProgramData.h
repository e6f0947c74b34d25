// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QIcon>
#include <QTextStream>

// The window icon: the icon files in the program folder, or the icon theme's when they are gone.
QIcon ProgramIcon();

// Reads every data file the program needs (captions of the system's language, sounds, pictures,
// window icon) and writes to `out` where they were found, one line per kind, and a line per
// problem. True when nothing is missing or unreadable.
bool CheckProgramData(QTextStream& out);
