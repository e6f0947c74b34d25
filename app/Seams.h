// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "protocols/CertificateTrust.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

// What the main window asks of the long-lived objects it creates. Each object plugs in through
// frmSetParts; while one is missing the main window does what it does without it, and nothing
// pretends to do that object's work.

class MailHost;
class MailList;
class QTcpSocket;
class QTimer;
namespace platform {
class DesktopNotifier;
class SpeechVoice;
} // namespace platform
namespace telephony {
class ClsAudioControl;
}

// The settings the engine is given at the start of every check.
struct EngineSettings
{
    QString phoneNumber;
    QString pin;
    bool autoReply = false;
    int autoReplyDays = 7; // one automatic reply per sender in this many days
    bool logging = false;
    bool telephone = true;
    int repeatCount = 16;
    int constant40 = 40;
    int newMailThreshold = 1;
    QString popUser;
    QString popPassword;
    QString popServer;
    int32_t popPort = 110;
    MailSecurity popSecurity = MailSecurity::None;
    int voiceIndex = -1;
};

// What the window hears from the mail engine.
class MailEngineEvents
{
public:
    virtual ~MailEngineEvents() = default;
    virtual void MailObj_CheckmailStart() = 0;
    virtual void MailObj_CheckmailFinish(int32_t mode) = 0;
    virtual void mailobj_showListViewCount() = 0;
    virtual void showMess(const QString& text) = 0;
    virtual void MailObj_PhoneCall() = 0;
    virtual void MailObj_ChangeVoiceEngine(int32_t language) = 0;
    virtual void MailObj_ChangeVoiceLanguage(int32_t language) = 0;
    virtual void Mailobj_DisplayDigitInput(const QString& key) = 0;
    virtual void MailObj_EnDePhoneCall(bool on) = 0;
};

// The controls the window lends the engine once.
struct MailControlsLent
{
    telephony::ClsAudioControl* audio = nullptr;
    // The sockets are made when the first session needs them.
    std::function<QTcpSocket*()> popSocket;
    QTimer* popTimer = nullptr;
    std::function<QTcpSocket*()> smtpSocket;
    QTimer* smtpTimer = nullptr;
    MailList* list = nullptr;
};

// One new mail as the mailbox list shows it.
struct NewMailItem
{
    QString sender;
    QString subject;
};

class MailEngineLink
{
public:
    // Engine modes, as its check events report them.
    enum Mode { Idle = 0, FirstCheck = 1, TimedCheck = 2, DeleteOne = 3, FetchOne = 4 };

    virtual ~MailEngineLink() = default;
    virtual bool IsBusy() const = 0; // a mail conversation is running
    virtual bool ConversationInProgress() const = 0;
    virtual void StopConversation() = 0;
    virtual void ResetNewMailCounter() = 0; // a check of mode 1 counts from nothing
    virtual void SetAnnouncement(const QString& text) = 0;
    virtual void CheckMail(int mode) = 0;
    virtual void Init(const EngineSettings& settings) = 0;
    virtual void ButtonSpeak(const QString& text) = 0;
    virtual void PrepareNetCall() = 0;
    virtual void ReadMessage(int index) = 0;

    // Wiring, once; a stand-in without an engine ignores it.
    virtual void Attach(MailHost& host, MailEngineEvents& events, const MailControlsLent& controls)
    {
        (void)host, (void)events, (void)controls;
    }
    // What the window reads after the engine's events.
    virtual int Mode() const { return Idle; }
    virtual int NewMailCount() const { return 0; }
    virtual int AlertThreshold() const { return 1; }
    virtual QString LastFailure() const { return QString(); }
    // The certificate the last check or send refused: server "host:port" and fingerprint.
    virtual std::pair<QString, QString> RefusedCertificate() const { return {}; }
    // The new mail the last check found: how many, and the first few.
    virtual int NewMailFound() const { return 0; }
    virtual QList<NewMailItem> NewMailListed() const { return {}; }
    virtual bool PhoneReady() const { return false; }
    virtual bool SessionRunning() const { return false; }
    virtual QString FetchedFrom() const { return QString(); } // the fetched message's From, as received
    virtual QString FetchedTo() const { return QString(); }
    // The fetched message as text: subject, then body.
    virtual QString FetchedText() const { return QString(); }
    virtual void AlertUser() { }
    // The voice menu.
    virtual void CallStarted(bool lineCall, const QString& pin) { (void)lineCall, (void)pin; }
    virtual void DigitReceived(const QString& key) { (void)key; }
    virtual void SpeakRemaining() { }
    virtual void ReadFetchedMessage() { }
    virtual void ListOne(int n) { (void)n; }
    virtual void ListAll(int n, bool todayOnly) { (void)n, (void)todayOnly; }
    virtual void ListingEnded() { }
};

class ConsoleLink
{
public:
    virtual ~ConsoleLink() = default;
    virtual bool isLogin() const = 0;
    virtual void EnableMenu(bool on) = 0;
    virtual void ReloadSetting() = 0;
    virtual void Show() = 0;
    // Start-up has ended: the console signs in, and mail checking follows.
    virtual void SignIn() { }
    virtual void Unload() = 0;
    virtual void SetLabelCaption(int index, const QString& text) = 0;
    virtual void SetMenuToolTip(int index, const QString& text) = 0;
    virtual void SetButtonText(int index, const QString& text) = 0;
    virtual void SetExtraTexts(const QString& button6, const QString& button7) = 0;
    virtual void ShowViseme(int picture) { (void)picture; } // the mouth picture 1..21
};

// The objects and lists the main window starts with. Empty members are objects that do not
// exist (yet): no engine, no console, no voices.
struct frmSetParts
{
    std::function<std::unique_ptr<MailEngineLink>()> mailEngine;
    std::function<std::unique_ptr<ConsoleLink>()> console;
    // Without a console made above: true, the program's own console window; false, none (the
    // user counts as signed in and checking starts with the program).
    bool pilotConsole = false;
    std::function<QStringList()> voices; // descriptions of the installed voices
    std::function<std::unique_ptr<platform::SpeechVoice>()> voice; // makes one voice
    std::function<QStringList()> audioOutputs; // descriptions of the speech outputs
    std::function<std::unique_ptr<platform::DesktopNotifier>()> notifier; // new mail on the desktop
    // The stored telephone line is opened once the window is on the screen, not during start-up
    // (opening a SIP line takes a noticeable time).
    bool openLineWhenShown = false;
    // The console is made and shown once the window has been drawn (at once on the first run,
    // where it stands behind the agreement and the wizard).
    bool consoleWhenShown = false;
};
