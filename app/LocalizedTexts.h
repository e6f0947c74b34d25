#pragma once
#include <QString>

// One caption from "statement.ini" in the program folder; empty when the file, section or key
// is missing.
QString ReadStatementText(const QString& section, const QString& key);

// The language letter of a locale: "T" traditional Chinese, "S" simplified Chinese, "E" English.
QString LanguageLetter(int lcid);
