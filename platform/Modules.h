// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace platform {

// Parts of the program that bring many libraries (the SIP stack, the sound system) are modules of
// their own, loaded when first needed. Each module takes the program's own classes from the
// program, which exports them.

// Where the module of that file name is: beside the running program (a build), or in the library
// folder the program is installed with.
QString ModulePath(const QString& fileName);

// Loads the module at path, once per program, and finds the function of that name in it: nullptr
// when either fails, with the reason in problem. Safe on any thread.
void* ModuleFunction(const QString& path, const char* name, QString* problem);

} // namespace platform
