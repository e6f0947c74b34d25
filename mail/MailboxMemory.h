// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QHash>
#include <QSet>
#include <QString>

// What the engine remembers of one mailbox across checks and runs: the unique ids of the
// messages it has listed and of those it has answered. A message is new only when its id was
// never listed, and is answered at most once. Kept in a small file in the program folder,
// written whole each time, so a crash leaves the old file or the new one.
class MailboxMemory
{
public:
    // Ids are 1 to 70 printable characters; anything else is no id.
    static constexpr int kMaxIdLength = 70;
    // A mailbox holds at most 32767 messages; the file never grows past a few of those.
    static constexpr int kMaxIds = 65536;

    // Loads the memory of an account ("user@server") from its file.
    void open(const QString& account);
    QString filePath() const { return path_; }

    static bool validId(const QString& id);
    bool listed(const QString& id) const { return ids_.contains(id); }
    bool answered(const QString& id) const { return ids_.value(id, false); }
    void markListed(const QString& id);
    // Room for this many more ids, so that a big listing does not grow the set step by step.
    void reserve(qsizetype more);
    // Saved at once: a reply that went out must never go out again.
    bool markAnswered(const QString& id);
    // Forgets the ids no longer on the server.
    void keepOnly(const QSet<QString>& onServer);
    // Writes the file when something changed; false when it cannot be written.
    bool save();

private:
    QString account_;
    QString path_;
    QHash<QString, bool> ids_; // id -> answered
    bool dirty_ = false;
};
