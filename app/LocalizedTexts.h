// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// One caption from "statement.ini" in the program folder; empty when the file, section or key
// is missing.
QString ReadStatementText(const QString& section, const QString& key);

// The language letter of a locale: "T" traditional Chinese, "S" simplified Chinese, "E" English.
QString LanguageLetter(int lcid);

// One of the program's own texts in the system's language: key in the section of the language
// letter followed by stem ("EMain", "TMain", ...); the English text when the file has none.
QString LocalText(const char* stem, const char* key, const char* english);
// The same in the language of a given letter.
QString LocalText(const QString& letter, const char* stem, const char* key, const char* english);
