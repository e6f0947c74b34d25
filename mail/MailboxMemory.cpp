// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/MailboxMemory.h"

#include "platform/ProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace {
constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024; // far above kMaxIds lines; a bigger file is not ours

bool writeWhole(const QString& path, const QByteArray& text)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}
} // namespace

MailboxMemory::~MailboxMemory()
{
    finishWrite();
}

bool MailboxMemory::validId(const QString& id)
{
    if (id.isEmpty() || id.size() > kMaxIdLength)
        return false;
    for (QChar c : id)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return false;
    return true;
}

void MailboxMemory::open(const QString& account)
{
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    const QString path = QDir(platform::ProgramFolder()).filePath(QStringLiteral("kv_mailbox_%1.txt").arg(hash));
    // Read afresh each time: another run of the program may have written it meanwhile.
    finishWrite();
    account_ = account;
    path_ = path;
    ids_.clear();
    dirty_ = false;

    // Lines: "L id" listed, "A id" listed and answered; the first line names the account.
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return;
    while (!file.atEnd() && ids_.size() < kMaxIds) {
        const QByteArray line = file.readLine(kMaxIdLength + 8).trimmed();
        if (line.size() < 3 || line[1] != ' ' || (line[0] != 'L' && line[0] != 'A'))
            continue;
        const QString id = QString::fromLatin1(line.mid(2));
        if (validId(id))
            ids_[id] = ids_.value(id, false) || line[0] == 'A';
    }
}

void MailboxMemory::markListed(const QString& id)
{
    if (!validId(id) || (ids_.size() >= kMaxIds && !ids_.contains(id)))
        return;
    // One look-up: a new id goes in as not answered, a known one stays as it is.
    const qsizetype before = ids_.size();
    (void)ids_[id];
    dirty_ = dirty_ || ids_.size() != before;
}

void MailboxMemory::reserve(qsizetype more)
{
    ids_.reserve(std::min<qsizetype>(ids_.size() + std::max<qsizetype>(more, 0), kMaxIds));
}

bool MailboxMemory::markAnswered(const QString& id)
{
    if (!validId(id))
        return true;
    if (!ids_.value(id, false)) {
        ids_[id] = true;
        dirty_ = true;
    }
    return save();
}

void MailboxMemory::keepOnly(const QSet<QString>& onServer)
{
    for (auto it = ids_.begin(); it != ids_.end();) {
        if (onServer.contains(it.key())) {
            ++it;
        } else {
            it = ids_.erase(it);
            dirty_ = true;
        }
    }
}

QByteArray MailboxMemory::text() const
{
    const QByteArray head = "# " + account_.toUtf8().replace('\n', ' ').replace('\r', ' ') + "\n";
    // Ids are printable ASCII (validId), so each character is one byte; the text is sized once.
    qsizetype size = head.size();
    for (auto it = ids_.cbegin(); it != ids_.cend(); ++it)
        size += it.key().size() + 3;
    QByteArray text(size, Qt::Uninitialized);
    char* out = std::copy(head.cbegin(), head.cend(), text.data());
    for (auto it = ids_.cbegin(); it != ids_.cend(); ++it) {
        *out++ = it.value() ? 'A' : 'L';
        *out++ = ' ';
        out = std::transform(it.key().cbegin(), it.key().cend(), out, [](QChar c) { return char(c.unicode()); });
        *out++ = '\n';
    }
    return text;
}

bool MailboxMemory::save()
{
    finishWrite();
    if (!dirty_ || path_.isEmpty())
        return true;
    if (!writeWhole(path_, text()))
        return false;
    dirty_ = false;
    return true;
}

void MailboxMemory::saveInBackground(std::function<void(bool ok)> done)
{
    finishWrite(); // a failed write under way makes the memory dirty again: this one retries it
    if (!dirty_ || path_.isEmpty())
        return;
    dirty_ = false; // set again should the write fail
    pending_ = std::async(std::launch::async, [path = path_, text = text(), done = std::move(done)] {
        const bool ok = writeWhole(path, text);
        if (done)
            done(ok);
        return ok;
    });
}

bool MailboxMemory::finishWrite()
{
    if (!pending_.valid())
        return true;
    const bool ok = pending_.get();
    dirty_ = dirty_ || !ok;
    return ok;
}
