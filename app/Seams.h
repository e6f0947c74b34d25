#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

// What the main window asks of the long-lived objects it creates. Each object plugs in through
// frmSetParts; while one is missing the main window does what it does without it, and nothing
// pretends to do that object's work.

class checkmailClass;
namespace platform { class SpeechVoice; }

// The settings the engine is given at the start of every check.
struct EngineSettings
{
    QString phoneNumber;
    QString pin;
    bool autoReply = false;
    bool logging = false;
    bool telephone = true;
    int repeatCount = 16;
    int constant40 = 40;
    int newMailThreshold = 1;
    QString popUser;
    QString popPassword;
    QString popServer;
    int32_t popPort = 110;
    int voiceIndex = -1;
};

class MailEngineLink
{
public:
    virtual ~MailEngineLink() = default;
    virtual bool IsBusy() const = 0;                    // a mail conversation is running
    virtual bool ConversationInProgress() const = 0;
    virtual void StopConversation() = 0;
    virtual void ResetNewMailCounter() = 0;             // a check of mode 1 counts from nothing
    virtual void SetAnnouncement(const QString& text) = 0;
    virtual void CheckMail(int mode) = 0;
    virtual void Init(const EngineSettings& settings) = 0;
    virtual void ButtonSpeak(const QString& text) = 0;
    virtual void PrepareNetCall() = 0;
    virtual void ReadMessage(int index) = 0;
    // The engine whose events the window handles; none for a stand-in.
    virtual checkmailClass* engine() { return nullptr; }
};

class ConsoleLink
{
public:
    virtual ~ConsoleLink() = default;
    virtual bool isLogin() const = 0;
    virtual void EnableMenu(bool on) = 0;
    virtual void ReloadSetting() = 0;
    virtual void Show() = 0;
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
    std::function<QStringList()> voices;        // descriptions of the installed voices
    std::function<std::unique_ptr<platform::SpeechVoice>()> voice; // makes one voice
    std::function<QStringList()> audioOutputs;  // descriptions of the speech outputs
};
