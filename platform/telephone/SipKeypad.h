// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

namespace platform {

// The keys a caller can press ("0"-"9", "*", "#", "A"-"D"); anything else is empty.
QString KeypadDigit(QChar c);

// The key a SIP INFO request carries: an application/dtmf body with the key alone, or an
// application/dtmf-relay body "Signal=5", blanks allowed. Empty for anything else.
QString KeypadKeyFromInfo(const QString& type, const QString& subtype, const QByteArray& body);

} // namespace platform
