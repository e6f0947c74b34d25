// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QLocale>

namespace platform {

// Locale identifiers as the program knows them: 1028 traditional Chinese, 2052 simplified
// Chinese, 1033 US English, ...
constexpr int kLcidTraditionalChinese = 0x0404; // 1028
constexpr int kLcidSimplifiedChinese = 0x0804; // 2052

// Hong Kong (0x0C04) and Macao (0x1404) read traditional Chinese like Taiwan.
int MapLcid(int lcid);
// The identifier of a locale, not yet mapped; 1033 for a language we have no number for.
int LcidFromLocale(const QLocale& locale);
// The system's identifier, mapped.
int SystemLcid();
// The ANSI code page of a locale: 1028 -> 950 (Big5), 2052 -> 936 (GBK), otherwise 1252.
int AnsiCodePage(int lcid);
int SystemAnsiCodePage();

// Tests and tools may pretend to run on another system; 0 returns to the real one.
void SetSystemLcidOverride(int lcid);
// The same for the code page alone; 0 follows the identifier again.
void SetSystemCodePageOverride(int codePage);

} // namespace platform
