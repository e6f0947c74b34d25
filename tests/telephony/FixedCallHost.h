// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "telephony/CallHost.h"

#include <QStringList>

// What the main window gives the call controller, as plain values: it answers as told and
// keeps the status texts shown.
struct FixedCallHost : telephony::CallHost
{
    bool answer = true;
    bool isSignedIn = true;
    int hangup = 10;
    platform::SpeechVoice* onCall = nullptr;
    platform::SpeechVoice* offCall = nullptr;
    mutable int asked = 0; // how often the controller asked to answer
    QStringList shown;

    bool mayAnswer() const override
    {
        ++asked;
        return answer;
    }
    bool signedIn() const override { return isSignedIn; }
    void showCallStatus(const QString& text) override { shown << text; }
    int hangupTime() const override { return hangup; }
    platform::SpeechVoice* callVoice() const override { return onCall; }
    platform::SpeechVoice* idleVoice() const override { return offCall; }
};
