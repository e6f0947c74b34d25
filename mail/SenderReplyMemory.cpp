// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/SenderReplyMemory.h"

#include "platform/ProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstdlib>

namespace {
constexpr qint64 kDayMsecs = 24LL * 60 * 60 * 1000;
constexpr int kMaxAddressLength = 254; // the longest address the mail format allows
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024; // far above kMaxSenders lines
} // namespace

QString SenderReplyMemory::key(const QString& sender)
{
    const QString address = sender.trimmed().toLower();
    if (address.isEmpty() || address.size() > kMaxAddressLength)
        return QString();
    for (QChar c : address)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F)
            return QString();
    return address;
}

void SenderReplyMemory::open(const QString& account)
{
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    account_ = account;
    path_ = QDir(platform::ProgramFolder()).filePath(QStringLiteral("kv_replied_%1.txt").arg(hash));
    last_.clear();

    // Lines: milliseconds since the epoch, a blank, the address; the first line names the account.
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return;
    while (!file.atEnd() && last_.size() < kMaxSenders) {
        const QByteArray line = file.readLine(kMaxAddressLength * 4 + 32).trimmed();
        const qsizetype blank = line.indexOf(' ');
        if (blank <= 0 || line.startsWith('#'))
            continue;
        bool ok = false;
        const qint64 when = line.left(blank).toLongLong(&ok);
        const QString address = key(QString::fromUtf8(line.mid(blank + 1)));
        if (ok && !address.isEmpty())
            last_[address] = std::max(last_.value(address, when), when);
    }
}

bool SenderReplyMemory::answeredWithin(const QString& sender, int days, qint64 nowMsecs) const
{
    const auto it = last_.constFind(key(sender));
    if (days <= 0 || it == last_.cend())
        return false;
    // A clock set back counts the same distance: a reply "in the future" is recent too.
    return std::llabs(nowMsecs - it.value()) < days * kDayMsecs;
}

bool SenderReplyMemory::markAnswered(const QString& sender, qint64 nowMsecs)
{
    const QString address = key(sender);
    if (address.isEmpty())
        return true;
    last_[address] = nowMsecs;
    return save(nowMsecs);
}

bool SenderReplyMemory::save(qint64 nowMsecs)
{
    if (path_.isEmpty())
        return false;
    for (auto it = last_.begin(); it != last_.end();)
        it = std::llabs(nowMsecs - it.value()) >= kMaxDays * kDayMsecs ? last_.erase(it) : std::next(it);
    if (last_.size() > kMaxSenders) {
        QList<qint64> times = last_.values();
        std::nth_element(times.begin(), times.begin() + (times.size() - kMaxSenders), times.end());
        const qint64 oldestKept = times[times.size() - kMaxSenders];
        for (auto it = last_.begin(); it != last_.end() && last_.size() > kMaxSenders;)
            it = it.value() < oldestKept ? last_.erase(it) : std::next(it);
    }
    QByteArray text = "# " + account_.toUtf8().replace('\n', ' ').replace('\r', ' ') + "\n";
    for (auto it = last_.cbegin(); it != last_.cend(); ++it)
        text += QByteArray::number(it.value()) + ' ' + it.key().toUtf8() + '\n';
    QSaveFile file(path_);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}
