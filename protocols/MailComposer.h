// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

// Builds the text of one outgoing plain-text mail as the server receives it after DATA: a
// header that any mail reader understands (date with its time zone, a fresh Message-ID, UTF-8
// body with a transfer encoding that suits it, non-ASCII header text as encoded words) and,
// for a reply, the fields that thread it under the mail it answers. Lines end in CR LF; the
// caller applies the SMTP dot rule.
class MailComposer
{
public:
    // Header lines should stay within 78 characters; encoded words within 75.
    static constexpr int kFoldWidth = 78;
    // A reply's References keeps the thread's first id and this many of its last ones.
    static constexpr int kMaxReferences = 20;

    QString From;
    QString To;
    QString Subject;
    QString Text;
    // The header of the mail answered: its Message-ID, References and In-Reply-To values.
    QString RepliedMessageID;
    QString RepliedReferences;
    QString RepliedInReplyTo;
    // An answer the program sent by itself, not one a person wrote.
    bool AutoReplied = false;

    // The message at the time given (its offset from UTC is the zone written).
    QByteArray compose(const QDateTime& now) const;

    // "Sun, 06 Dec 2026 21:48:16 +0100", English names whatever the system language.
    static QByteArray DateField(const QDateTime& when);
    // The value as it stands when it is printable ASCII, otherwise UTF-8 encoded words,
    // folded so that no line of the field exceeds the fold width. nameLength is the length of
    // "Name: " before the value.
    static QByteArray HeaderText(const QString& value, int nameLength);
    // An address field: a display name in other scripts becomes encoded words, the address
    // in angle brackets stays as written.
    static QByteArray AddressText(const QString& value, int nameLength);
    // The "<...>" message ids in a header value, in order; anything else is dropped.
    static QList<QByteArray> MessageIds(const QString& value);
    // A new unique id under the sender's domain.
    static QByteArray NewMessageId(const QString& from);
};
