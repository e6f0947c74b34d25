// SPDX-License-Identifier: GPL-3.0-or-later
// The console's sign-in: to the web service when one is set up, otherwise on this computer at
// once.
#include "console/ClsLogin.h"
#include "console/ConsoleHost.h"
#include "console/LoginServiceDialog.h"
#include "console/Pilot.h"
#include "platform/WebBrowser.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

void Pilot::setupLogin()
{
    LoginTimer = new QTimer(this);
    LoginTimer->setInterval(1000);
    WebBrowser1 = new platform::WebBrowser(this);
    ObjLogin = new ClsLogin(this);
    ObjLogin->SetTimeControl(LoginTimer);
    ObjLogin->SetwebbrowserControl(WebBrowser1);
    ObjLogin->AppnameValue(QStringLiteral("kv_"));
    ObjLogin->AppversionValue(QStringLiteral("115"));
    ObjLogin->ExpectedPresentValue(489);
    ObjLogin->SetService(service_);
    connect(ObjLogin, &ClsLogin::LogInDelay, this, &Pilot::ObjLogin_LogInDelay);
    connect(ObjLogin, &ClsLogin::LogIned, this, &Pilot::LogIned);
    connect(ObjLogin, &ClsLogin::LoginError, this, &Pilot::ObjLogin_LoginError);
    connect(ObjLogin, &ClsLogin::LoggedOut, this, &Pilot::ObjLogin_Logout);
    connect(ObjLogin, &ClsLogin::LogVOIPFound, this, &Pilot::ObjLogin_LogVOIP);
}

bool Pilot::usesService() const
{
    return service_.isConfigured();
}

bool Pilot::isLogin() const
{
    if (!usesService())
        return localSignedIn_;
    const int32_t state = ObjLogin->LoginState();
    return state == ClsLogin::SignedIn || state == ClsLogin::PresenceRequest;
}

QString Pilot::MyID() const
{
    return usesService() ? ObjLogin->UID() : login_name->text().trimmed();
}

QString Pilot::MyKey() const
{
    return ObjLogin->MyKey();
}

void Pilot::StartLogin()
{
    if (!usesService()) {
        localSignedIn_ = true; // no web service: this computer signs in at once
        LogIned();
        return;
    }
    const QString name = login_name->text().trimmed();
    const QString secret = password->text().trimmed();
    if (name.isEmpty() || secret.isEmpty()) {
        showMess(QStringLiteral("Enter your user ID and password to sign in."));
        showPanel(LoginPage);
        return;
    }
    warnOfPlainHttp();
    ObjLogin->SetVoipPort(Text2->text().toInt());
    ObjLogin->SetLoginID(name, secret);
}

// The service's address travels readable by anyone on the way: say so, once a run.
void Pilot::warnOfPlainHttp()
{
    if (httpWarned_ || !needsPlainHttpWarning(service_.base()))
        return;
    httpWarned_ = true;
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                QStringLiteral("The web service %1 is reached over plain http://: your user ID, "
                                               "and the numbers that stand for your password, cross the network "
                                               "readable by anyone on the way. Ask for an https:// address.")
                                    .arg(service_.base()),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void Pilot::ObjLogin_LogInDelay()
{
    showMess(QStringLiteral("Login ...."));
    const int32_t state = ObjLogin->LoginState();
    if (state != ClsLogin::SignedIn && state != ClsLogin::PresenceRequest)
        ObjLogin->ExecLogin();
    else
        host_.consoleStartChecking();
}

void Pilot::LogIned()
{
    SetAmenu(true);
    LoginPage->setEnabled(false);
    callIdentityChanged();
    host_.consoleStartChecking();
    showMess(QStringLiteral(" "));
}

void Pilot::ObjLogin_LoginError(const QString& message, int code)
{
    showMess(message);
    if (code == ClsLogin::LookupRequest)
        resetCall();
}

void Pilot::ObjLogin_Logout(int result)
{
    Q_UNUSED(result);
    host_.consoleQuit();
}

// ---- the web service's settings

void Pilot::openServiceSettings()
{
    auto* dialog = new LoginServiceDialog(store_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &LoginServiceDialog::Saved, this, [this](const LoginService& service) {
        const bool wasSignedIn = isLogin();
        service_ = service;
        ObjLogin->SetService(service_);
        ObjLogin->setLoginState(ClsLogin::Stopped);
        localSignedIn_ = false;
        httpWarned_ = false;
        if (switchOn_ || wasSignedIn)
            StartLogin(); // signs in again where the new settings say
    });
    dialog->open();
}
