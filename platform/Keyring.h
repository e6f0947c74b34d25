// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/SettingsStore.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace platform {

class KeyringAgent;

// The passwords among the settings: the mail account's, the outgoing server's, the web
// service's and each SIP line's.
bool IsPasswordKey(const QString& key);

// The desktop's keyring, holding the program's passwords as one entry ("korvalen",
// "passwords"). Where no keyring runs, or it does not answer, the passwords stay in the
// owner-only settings file as before. Every call returns at once; answers come later.
class Keyring : public QObject
{
    Q_OBJECT
public:
    enum class State { Closed, Opening, InUse, Unavailable };
    static constexpr int kAnswerMs = 5000; // how long the keyring may take to answer

    explicit Keyring(QObject* parent = nullptr);
    ~Keyring() override;

    // Reads the passwords from the keyring and moves those the settings file still holds into
    // it; done runs once, from the event loop, when the keyring has answered or has not in time.
    void Open(const QString& settingsFile, std::function<void()> done);
    // Runs done once no write is under way (at once when none is), or when the last has not
    // answered in time; the program calls this before it quits.
    void Flush(std::function<void()> done);

    State state() const { return state_; }
    // Where the passwords are kept, in words, for the log and the README's reader.
    QString Where() const;
    // The keyring's value of a password key, if the keyring is in use and holds it.
    std::optional<QString> Password(const QString& key) const;
    // Keeps a password in the keyring; false when the keyring is not in use (the caller keeps
    // it in the file). A write that fails later puts every password in the file.
    bool SetPassword(const QString& key, const QString& value);

    // The keyring entry's service and key, and the name tests give it to keep away from a
    // real one.
    void setService(const QString& service) { service_ = service; }
    void setAnswerMs(int ms) { answerMs_ = ms; }

signals:
    // The keyring failed after it was opened; the passwords went back to the file.
    void Trouble(const QString& why);

private:
    void onRead(int error, const QString& errorText, const QString& data);
    void write();
    void onWritten(int error, const QString& errorText);
    void giveUp(const QString& why);
    void finishOpen();
    void finishFlush();
    QString blob() const;

    State state_ = State::Closed;
    QString service_ = QStringLiteral("korvalen");
    int answerMs_ = kAnswerMs;
    QString why_; // why the keyring is not in use
    std::unique_ptr<SettingsStore> file_;
    QHash<QString, QString> passwords_; // by case-folded key
    QStringList inFile_; // keys to take out of the file once the keyring holds them
    QStringList writtenFromFile_; // those of them the write under way carries
    bool writing_ = false;
    bool dirty_ = false; // changed since the write under way began
    std::function<void()> openDone_;
    std::function<void()> flushDone_;
    KeyringAgent* agent_; // on the client thread
    QTimer* answerTimer_;
    QTimer* flushTimer_;
};

} // namespace platform
