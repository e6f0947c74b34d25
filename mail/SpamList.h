#pragma once
#include <QString>
#include <QStringList>

namespace spam {

// The entries of a spam list file: every comma-separated field of every line is an entry;
// unquoted fields are trimmed of blanks, a quoted field keeps its inner text (commas
// included), and an empty line is an empty entry. A missing file gives no entries.
QStringList ReadListFile(const QString& path);
QStringList ParseRecordLine(const QString& line);

// The text is spam when an entry occurs in it, capitals as written; empty entries match nothing.
bool Matches(const QString& text, const QStringList& entries);

} // namespace spam
