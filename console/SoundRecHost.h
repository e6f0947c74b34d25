// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>

// What the internet-call form asks of its owner, the main window, when it forwards a call to
// the voice menu: the caller then hears the program's speech and drives the menu with keys.
class SoundRecHost
{
public:
    virtual ~SoundRecHost() = default;

    // May the voice menu take an internet caller now? False while a telephone call runs;
    // true prepares the engine for the call.
    virtual bool NetVoiceCall() = 0;
    // The voice menu's speech has ended.
    virtual bool isAudioDone() const = 0;
    // The forwarded call is connected: speech for the caller goes to the numbered audio output
    // device (8 kHz, 16-bit, mono), and the menu starts.
    virtual void NetCallConnected(int32_t device) = 0;
    // A key the caller pressed.
    virtual void DigitReceived(const QString& key) = 0;
    // The caller hung up or went away; the output named in NetCallConnected is about to go.
    virtual void NetCallEnded() = 0;
};
