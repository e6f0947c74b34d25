// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// The value of the first field of that name in a header block (lines end in CR LF or LF),
// with its continuation lines joined and the blanks around it trimmed. Names compare without
// regard to case. A null string when the header has no such field; an empty one when the
// field is there without a value.
QString HeaderField(const QString& headers, QStringView name);
