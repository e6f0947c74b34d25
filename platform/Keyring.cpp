// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Keyring.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace platform {

namespace {

const QString kEntry = QStringLiteral("passwords");

// The keyring's client library answers through the event loop of the thread that asked, one
// request after another for the whole process: every request goes from this one thread, so
// its round trips to the keyring go on while the window's thread builds the window. The thread
// runs while a keyring object exists.
class ClientThread
{
public:
    static QThread* Acquire()
    {
        if (!thread_) {
            thread_ = new QThread; // kept for good: the client library's queue lives in it
            thread_->setObjectName(QStringLiteral("keyring"));
        }
        if (users_++ == 0)
            thread_->start();
        return thread_;
    }
    static void Release()
    {
        if (--users_ > 0)
            return;
        thread_->quit();
        thread_->wait(); // its loop ends at once; a request under way is dropped with it
    }

private:
    static inline QThread* thread_ = nullptr;
    static inline int users_ = 0;
};

} // namespace

// Asks the keyring on the client thread and tells what it answered through its signals.
class KeyringAgent : public QObject
{
    Q_OBJECT
public:
    void read(const QString& service)
    {
        auto* job = new QKeychain::ReadPasswordJob(service);
        job->setAutoDelete(true);
        job->setInsecureFallback(false);
        job->setKey(kEntry);
        connect(job, &QKeychain::Job::finished, this, [this](QKeychain::Job* j) {
            emit readDone(j->error(), j->errorString(), static_cast<QKeychain::ReadPasswordJob*>(j)->textData());
        });
        job->start();
    }
    void write(const QString& service, const QString& data)
    {
        auto* job = new QKeychain::WritePasswordJob(service);
        job->setAutoDelete(true);
        job->setInsecureFallback(false);
        job->setKey(kEntry);
        job->setTextData(data);
        connect(job, &QKeychain::Job::finished, this,
                [this](QKeychain::Job* j) { emit writeDone(j->error(), j->errorString()); });
        job->start();
    }

signals:
    void readDone(int error, const QString& errorText, const QString& data);
    void writeDone(int error, const QString& errorText);
};

bool IsPasswordKey(const QString& key)
{
    static const QRegularExpression re(QStringLiteral("^(emailpw|loginpw|smtppw|sipdevice\\d+password)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(key).hasMatch();
}

Keyring::Keyring(QObject* parent)
    : QObject(parent), agent_(new KeyringAgent), answerTimer_(new QTimer(this)), flushTimer_(new QTimer(this))
{
    agent_->moveToThread(ClientThread::Acquire());
    connect(agent_, &KeyringAgent::readDone, this, &Keyring::onRead);
    connect(agent_, &KeyringAgent::writeDone, this, &Keyring::onWritten);
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

Keyring::~Keyring()
{
    agent_->deleteLater(); // on its thread, as it ends
    ClientThread::Release();
}

void Keyring::Open(const QString& settingsFile, std::function<void()> done)
{
    openDone_ = std::move(done);
    file_ = std::make_unique<SettingsStore>(settingsFile);
    state_ = State::Opening;
    answerTimer_->start(answerMs_);
    QMetaObject::invokeMethod(agent_, [agent = agent_, service = service_] { agent->read(service); });
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
    writtenFromFile_ = inFile_;
    QMetaObject::invokeMethod(agent_,
                              [agent = agent_, service = service_, data = blob()] { agent->write(service, data); });
}

void Keyring::onWritten(int error, const QString& errorText)
{
    if (error == QKeychain::NoError && state_ == State::InUse)
        for (const QString& key : std::exchange(writtenFromFile_, {})) {
            file_->RemoveSetting(key);
            inFile_.removeOne(key);
        }
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

#include "Keyring.moc"
