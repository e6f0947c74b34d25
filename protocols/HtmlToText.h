// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// Plain text of a mail's HTML body for display and speech: p, /div and br become line breaks,
// other tags are dropped, source line breaks vanish, runs of blanks collapse, and named
// entities come from a fixed table.
QString HtmlToText(const QString& html);
