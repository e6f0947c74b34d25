// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace platform {
class SpeechVoice;
}

namespace telephony {

// What the call controller needs from the window that owns it.
class CallHost
{
public:
    virtual ~CallHost() = default;
    // Whether a ringing line may be answered now: the mail engine is ready for a caller.
    virtual bool mayAnswer() const = 0;
    // Calls are answered only while the user is signed in to the web service.
    virtual bool signedIn() const = 0;
    // Shows the controller's state in the status bar.
    virtual void showCallStatus(const QString& text) = 0;
    // Seconds of silence after which a call is hung up, asked at each use.
    virtual int hangupTime() const = 0;
    // The voice a caller hears, and the one that speaks on the sound card between line calls;
    // none keeps the voice the controller has.
    virtual platform::SpeechVoice* callVoice() const = 0;
    virtual platform::SpeechVoice* idleVoice() const = 0;
};

} // namespace telephony
