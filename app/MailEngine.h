#pragma once
#include "app/Seams.h"
#include "mail/checkmailClass.h"

// The real mail engine behind the main window's seam.
class MailEngine : public MailEngineLink
{
public:
    bool IsBusy() const override { return engine_.MyStatus() != checkmailClass::Idle; }
    bool ConversationInProgress() const override { return false; }
    void StopConversation() override {}
    void ResetNewMailCounter() override { engine_.NewMailCount = 0; }
    void SetAnnouncement(const QString& text) override { engine_.AlertText = text; }
    void CheckMail(int mode) override { engine_.CheckMail(mode); }
    void Init(const EngineSettings& s) override;
    void ButtonSpeak(const QString& text) override { engine_.ButtonSpeak(text); }
    void PrepareNetCall() override {}
    void ReadMessage(int) override {}
    checkmailClass* engine() override { return &engine_; }

private:
    checkmailClass engine_;
};
