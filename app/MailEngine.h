// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "app/Seams.h"
#include "mail/checkmailClass.h"

// The real mail engine behind the main window's seam.
class MailEngine : public MailEngineLink
{
public:
    bool IsBusy() const override { return engine_.MyStatus() != checkmailClass::Idle; }
    bool ConversationInProgress() const override { return false; }
    void StopConversation() override { }
    void ResetNewMailCounter() override { engine_.NewMailCount = 0; }
    void SetAnnouncement(const QString& text) override { engine_.AlertText = text; }
    void CheckMail(int mode) override { engine_.CheckMail(mode); }
    void Init(const EngineSettings& s) override;
    void ButtonSpeak(const QString& text) override { engine_.ButtonSpeak(text); }
    void PrepareNetCall() override { }
    void ReadMessage(int) override { }

    void Attach(MailHost& host, MailEngineEvents& events, const MailControlsLent& controls) override;
    int Mode() const override { return engine_.MyStatus(); }
    int NewMailCount() const override { return engine_.NewMailCount; }
    int AlertThreshold() const override { return engine_.AlertThreshold; }
    QString LastFailure() const override { return engine_.LastFailure(); }
    std::pair<QString, QString> RefusedCertificate() const override
    {
        return {engine_.LastRefusedCertificate().server, engine_.LastRefusedCertificate().fingerprint};
    }
    int NewMailFound() const override { return engine_.NewMailFound(); }
    QList<NewMailItem> NewMailListed() const override;
    bool PhoneReady() const override { return engine_.PhoneReady; }
    bool SessionRunning() const override { return engine_.SessionRunning(); }
    QString FetchedFrom() const override { return engine_.FromOrg(); }
    QString FetchedTo() const override { return engine_.ToMailAddress(); }
    QString FetchedText() const override { return engine_.Subject() + u'\n' + engine_.Body(); }
    void AlertUser() override { engine_.AlertUser(); }
    void CallStarted(bool lineCall, const QString& pin) override;
    void DigitReceived(const QString& key) override { engine_.DigitReceived(key); }
    void SpeakRemaining() override { engine_.TTSRemain(); }
    void ReadFetchedMessage() override { engine_.ReadFetchedMessage(); }
    void ListOne(int n) override { engine_.ListOne(int16_t(n)); }
    void ListAll(int n, bool todayOnly) override;
    void ListingEnded() override { engine_.ModemOnHook(); }

    // For whoever made it (tools, tests); the window sees only the seam.
    checkmailClass& engine() { return engine_; }

private:
    checkmailClass engine_;
};
