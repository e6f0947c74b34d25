// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <future>

// What the engine remembers of one mailbox across checks and runs: the unique ids of the
// messages it has listed and of those it has answered. A message is new only when its id was
// never listed, and is answered at most once. Kept in a small file in the program folder,
// written whole each time, so a crash leaves the old file or the new one.
class MailboxMemory
{
public:
    MailboxMemory() = default;
    MailboxMemory(const MailboxMemory&) = delete;
    MailboxMemory& operator=(const MailboxMemory&) = delete;
    // Waits for a write under way: nothing listed is lost at exit.
    ~MailboxMemory();

    // Ids are 1 to 70 printable characters; anything else is no id.
    static constexpr int kMaxIdLength = 70;
    // A mailbox holds at most 32767 messages; the file never grows past a few of those.
    static constexpr int kMaxIds = 65536;

    // Loads the memory of an account ("user@server") from its file, once a write under way
    // has finished.
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
    // The same on a thread of its own: the text is made here, the write and the flush to disk
    // happen there, and the call returns at once. A write still under way is finished first,
    // so two never race. done, when given, is called on the writing thread with the outcome.
    void saveInBackground(std::function<void(bool ok)> done = {});
    // Waits for that write; false when it failed, and the memory counts as unsaved again.
    bool finishWrite();

private:
    QByteArray text() const;

    QString account_;
    QString path_;
    QHash<QString, bool> ids_; // id -> answered
    bool dirty_ = false;
    std::future<bool> pending_;
};
