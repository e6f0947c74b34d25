// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Keyring.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <dlfcn.h>

namespace platform {

namespace {

const QString kEntry = QStringLiteral("passwords");

} // namespace

bool IsPasswordKey(const QString& key)
{
    static const QRegularExpression re(QStringLiteral("^(emailpw|loginpw|smtppw|sipdevice\\d+password)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(key).hasMatch();
}

Keyring::Keyring(QObject* parent) : QObject(parent), answerTimer_(new QTimer(this)), flushTimer_(new QTimer(this))
{
    answerTimer_->setSingleShot(true);
    flushTimer_->setSingleShot(true);
    connect(answerTimer_, &QTimer::timeout, this,
            [this] { giveUp(QStringLiteral("the keyring did not answer within %1 seconds").arg(answerMs_ / 1000.0)); });
    // A write not confirmed in time may not have happened: the file keeps every password then.
    connect(flushTimer_, &QTimer::timeout, this, [this] {
        giveUp(QStringLiteral("the keyring did not confirm the passwords within %1 seconds").arg(answerMs_ / 1000.0));
        finishFlush();
    });
}

Keyring::~Keyring() = default;

void Keyring::LoadClientLibrary()
{
    // Kept loaded for good: the keychain library opens the same one by name.
    ::dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
}

void Keyring::Open(const QString& settingsFile, std::function<void()> done)
{
    openDone_ = std::move(done);
    file_ = std::make_unique<SettingsStore>(settingsFile);
    state_ = State::Opening;
    auto* job = new QKeychain::ReadPasswordJob(service_);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(kEntry);
    connect(job, &QKeychain::Job::finished, this, [this](QKeychain::Job* j) {
        onRead(j->error(), j->errorString(), static_cast<QKeychain::ReadPasswordJob*>(j)->textData());
    });
    answerTimer_->start(answerMs_);
    job->start();
}

void Keyring::onRead(int error, const QString& errorText, const QString& data)
{
    if (state_ != State::Opening)
        return; // answered too late: the file is in use
    answerTimer_->stop();
    if (error != QKeychain::NoError && error != QKeychain::EntryNotFound)
        return giveUp(errorText.isEmpty() ? QStringLiteral("no keyring service runs") : errorText);
    const QJsonObject stored = QJsonDocument::fromJson(data.toUtf8()).object();
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (IsPasswordKey(it.key()))
            passwords_.insert(it.key().toCaseFolded(), it.value().toString());
    state_ = State::InUse;
    // Passwords still in the file were written where the keyring was not in use: the newer ones.
    for (const QString& key : file_->Keys()) {
        if (!IsPasswordKey(key))
            continue;
        passwords_.insert(key.toCaseFolded(), file_->GetSetting(key, QString()));
        inFile_ << key;
    }
    if (!inFile_.isEmpty())
        write();
    finishOpen();
}

void Keyring::giveUp(const QString& why)
{
    const bool wasInUse = state_ == State::InUse;
    state_ = State::Unavailable;
    why_ = why;
    answerTimer_->stop();
    if (wasInUse) {
        // Nothing is lost: every password goes back to the file.
        for (auto it = passwords_.cbegin(); it != passwords_.cend(); ++it)
            file_->SaveSetting(it.key(), it.value());
        emit Trouble(QStringLiteral("The passwords are kept in the settings file %1: %2.").arg(file_->fileName(), why));
    }
    finishOpen();
    if (!writing_)
        finishFlush();
}

void Keyring::finishOpen()
{
    if (!openDone_)
        return;
    // Always from the event loop, so the caller's Open has returned first.
    QTimer::singleShot(0, this, [done = std::exchange(openDone_, nullptr)] { done(); });
}

QString Keyring::Where() const
{
    switch (state_) {
    case State::InUse: return QStringLiteral("in the desktop keyring (entry \"%1\", key \"%2\")").arg(service_, kEntry);
    case State::Unavailable:
        return QStringLiteral("in the settings file %1 (%2)").arg(file_ ? file_->fileName() : QString(), why_);
    case State::Closed:
    case State::Opening: break;
    }
    return QStringLiteral("in the settings file");
}

std::optional<QString> Keyring::Password(const QString& key) const
{
    if (state_ != State::InUse)
        return std::nullopt;
    const auto it = passwords_.constFind(key.toCaseFolded());
    if (it == passwords_.cend())
        return std::nullopt;
    return *it;
}

bool Keyring::SetPassword(const QString& key, const QString& value)
{
    if (state_ != State::InUse)
        return false;
    const QString folded = key.toCaseFolded();
    const auto it = passwords_.constFind(folded);
    if (it != passwords_.cend() && *it == value)
        return true;
    passwords_.insert(folded, value);
    write();
    return true;
}

QString Keyring::blob() const
{
    QJsonObject o;
    for (auto it = passwords_.cbegin(); it != passwords_.cend(); ++it)
        o.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void Keyring::write()
{
    if (writing_) {
        dirty_ = true;
        return;
    }
    writing_ = true;
    dirty_ = false;
    auto* job = new QKeychain::WritePasswordJob(service_);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(kEntry);
    job->setTextData(blob());
    const QStringList written = inFile_;
    connect(job, &QKeychain::Job::finished, this, [this, written](QKeychain::Job* j) {
        if (j->error() == QKeychain::NoError && state_ == State::InUse)
            for (const QString& key : written) {
                file_->RemoveSetting(key);
                inFile_.removeOne(key);
            }
        onWritten(j->error(), j->errorString());
    });
    job->start();
}

void Keyring::onWritten(int error, const QString& errorText)
{
    writing_ = false;
    if (state_ != State::InUse)
        return finishFlush();
    if (error != QKeychain::NoError)
        return giveUp(errorText.isEmpty() ? QStringLiteral("the keyring refused the passwords") : errorText);
    if (dirty_)
        return write();
    finishFlush();
}

void Keyring::Flush(std::function<void()> done)
{
    flushDone_ = std::move(done);
    if (writing_)
        flushTimer_->start(answerMs_);
    else
        QTimer::singleShot(0, this, &Keyring::finishFlush);
}

void Keyring::finishFlush()
{
    flushTimer_->stop();
    if (flushDone_)
        std::exchange(flushDone_, nullptr)();
}

} // namespace platform
