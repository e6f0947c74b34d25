// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace platform {

// A text of the SIP line's windows and reports in the system's language: the key in the captions
// file's section "TSipLine", "SSipLine" or "ESipLine"; the English text when the file has none.
QString SipText(const char* key, const char* english);

// A refused registration: the server's code (0 without one) and phrase, and what to check.
QString SipRegistrationProblem(int code, const QString& phrase);
// A registration that found no connection to the server; over TLS that includes a server
// certificate this computer does not trust.
QString SipConnectionProblem(bool tls);

} // namespace platform
