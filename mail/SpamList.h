// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>

namespace spam {

// The entries of a spam list file: every comma-separated field of every line is an entry;
// unquoted fields are trimmed of blanks, a quoted field keeps its inner text (commas
// included), and an empty line is an empty entry. A missing file gives no entries.
QStringList ReadListFile(const QString& path);
QStringList ParseRecordLine(const QString& line);

// Writes the entries one a line (CR LF, system code page) so that ReadListFile gives each back
// unchanged: an entry that a comma or blanks at its ends would change is written in double
// quotes. When some entry cannot be written so (a double quote inside a quoted one, a line
// break, a character the code page lacks) or the file cannot be written, the file is left as
// it was and error says why.
bool WriteListFile(const QString& path, const QStringList& entries, QString* error = nullptr);

// The text is spam when an entry occurs in it, capitals as written; empty entries match nothing.
bool Matches(const QString& text, const QStringList& entries);

} // namespace spam
