// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QHash>
#include <QString>

// When each sender last got an automatic reply from one mailbox, so that nobody gets more
// than one in a number of days, whatever they send meanwhile and across restarts. Kept in a
// small file in the program folder, written whole each time.
class SenderReplyMemory
{
public:
    static constexpr int kDefaultDays = 7;
    // The longest interval the setting offers; older entries are forgotten.
    static constexpr int kMaxDays = 365;
    // Far more senders than one mailbox answers in a year; the oldest go first beyond this.
    static constexpr int kMaxSenders = 20000;

    // Loads the memory of an account ("user@server").
    void open(const QString& account);
    QString filePath() const { return path_; }

    // Whether the sender got a reply less than days ago (days 0: never counts as recent).
    bool answeredWithin(const QString& sender, int days, qint64 nowMsecs) const;
    // Notes the reply and saves at once; false when the file cannot be written.
    bool markAnswered(const QString& sender, qint64 nowMsecs);

private:
    static QString key(const QString& sender);
    bool save(qint64 nowMsecs);

    QString account_;
    QString path_;
    QHash<QString, qint64> last_; // address in lower case -> time of the last reply
};
