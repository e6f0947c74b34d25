// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace platform {

// Appends one record to "<name>.log" in the program folder:
//   #yyyy-mm-dd hh:mm:ss#,"category","message"
// with the time from the program's clock, in the system code page, one record per line: a
// double quote inside a field is doubled, control characters become blanks.
// False when the file cannot be written; callers treat the log as a convenience.
bool AppendLogRecord(const QString& logName, const QString& category, const QString& message);

} // namespace platform
