// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// What the simulated telephone asks of its owner, the main window, which knows the mail engine
// and the call controller. The telephone itself knows neither.
class SimPhoneHost
{
public:
    virtual ~SimPhoneHost() = default;

    // True when no telephone call is in progress and the engine is free for the voice menu.
    virtual bool simAvailable() const = 0;
    // The handset was lifted: start the voice menu on the sound card (the owner sends the PIN
    // to the menu key by key).
    virtual void simphone_IncomingPhone() = 0;
    // The handset was put down.
    virtual void simPhoneHangUp() = 0;
    // Read the mailbox aloud, message after message; today's mail only, or all of it.
    virtual void simphone_listAll(bool todayOnly) = 0;
    // A key of the pad (0 to 9, 10 "*", 11 "#"; frmSimPhone::KeyText gives its text) for the menu.
    virtual void SimPhoneButton(int keyIndex) = 0;
    // The localized help page's address without an anchor; empty when there is none.
    virtual QString helpPage() const = 0;
};
