// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>

class frmSoundRec;

// What the console window asks of its owner, the main window.
class ConsoleHost
{
public:
    virtual ~ConsoleHost() = default;

    // The outgoing mail server the console sends its e-mails through.
    virtual QString smtpServer() const = 0;
    virtual int32_t smtpPort() const = 0;

    // Mail checking follows the sign-in: started once signed in (mode 1), stopped by the switch.
    virtual void consoleStartChecking() { }
    virtual void consoleStopChecking() { }
    // The main settings window, on one of its pages (-1: as it is); the notes window.
    virtual void consoleShowSettings(int page) { (void)page; }
    virtual void consoleShowNotes() { }
    // Runs the setup wizard again; the console then reloads its own fields.
    virtual void consoleRunWizard() { }
    // The user quit and the sign-out has ended: the program ends on the main window's next tick.
    virtual void consoleQuit() { }
    // The internet-call form the console starts and ends calls on; none where calls are off.
    virtual frmSoundRec* consoleCallForm() { return nullptr; }
    // The web site the help pages and the site link open.
    virtual QString consoleSiteAddress() const { return QString(); }
};
