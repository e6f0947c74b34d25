// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// When a mail must not get an automatic reply, so that answering machines never answer each
// other, mailing lists are not answered and bounces are not bounced.
namespace autoreply {

// Why a mail with this header, whose answer would go to replyAddress, gets no automatic
// reply; an empty string when it may get one.
QString SkipReason(const QString& headers, const QString& replyAddress);

// Addresses that no person reads: mailer daemons, postmasters, no-reply senders, the
// owners and request addresses of lists.
bool IsSystemAddress(const QString& address);

} // namespace autoreply
