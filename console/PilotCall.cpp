// SPDX-License-Identifier: GPL-3.0-or-later
// The internet calls the console starts and ends on the main window's call form.
#include "console/ClsLogin.h"
#include "console/ConsoleHost.h"
#include "console/Pilot.h"
#include "console/frmSoundRec.h"

#include <QLineEdit>
#include <QPushButton>

void Pilot::connectCallForm()
{
    if (frmSoundRec* call = host_.consoleCallForm()) {
        connect(call, &frmSoundRec::StatusText, this, &Pilot::showMess);
        connect(call, &frmSoundRec::StateChanged, this, &Pilot::callStateChanged);
    }
}

void Pilot::hangUpCall()
{
    if (frmSoundRec* call = host_.consoleCallForm(); call && call->isCalling())
        call->Hangup();
}

// Menu entry 2: the call panel, or the end of a connected call.
void Pilot::callMenu()
{
    frmSoundRec* call = host_.consoleCallForm();
    if (call && call->isConnected()) {
        call->Hangup();
        return;
    }
    showPanel(CallPage);
    if (call)
        call->show();
}

void Pilot::callIdentityChanged()
{
    if (frmSoundRec* call = host_.consoleCallForm())
        call->SetIdentity(MyID(), MyKey());
}

// A lookup that failed leaves nothing half-way on the call form.
void Pilot::resetCall()
{
    if (frmSoundRec* call = host_.consoleCallForm(); call && !call->isConnected())
        call->Hangup();
}

void Pilot::callButton()
{
    frmSoundRec* call = host_.consoleCallForm();
    if (!call)
        return;
    if (call->isCalling()) {
        call->Hangup();
        return;
    }
    const QString target = Text1->text().trimmed();
    if (target.isEmpty()) {
        showMess(QStringLiteral("Type the user to call, or an address as host:port."));
        showPanel(CallPage);
        return;
    }
    if (!isLogin()) {
        showMess(QStringLiteral("Sign in first: switch the console on."));
        return;
    }
    addContact(target);
    if (const int port = Text2->text().toInt(); port != call->Port())
        call->SetPort(port);
    call->SetIdentity(MyID(), MyKey());
    if (target.contains(QLatin1Char(':'))) {
        call->CallAddress(target); // typed by hand: host:port
        call->show(); // its keys reach the other side
        call->Call();
    } else if (usesService()) {
        ObjLogin->LogVOIP(target);
    } else {
        showMess(QStringLiteral("Without a web service, type the address to call as host:port."));
    }
}

void Pilot::ObjLogin_LogVOIP(const QString& first, const QString& second, const QString& third)
{
    frmSoundRec* call = host_.consoleCallForm();
    if (!call)
        return;
    call->SetCallTarget(first, second, third);
    call->show();
    call->Call();
}

void Pilot::callStateChanged()
{
    frmSoundRec* call = host_.consoleCallForm();
    AFunction[CallButton]->setText(call && call->isCalling() ? hangUpText_ : callText_);
    // A call ringing in brings up the form that answers it.
    if (call && call->VoipState() == frmSoundRec::RingingIn) {
        call->show();
        call->raise();
    }
}
