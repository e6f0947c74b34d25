// SPDX-License-Identifier: GPL-3.0-or-later
// The console's function buttons, menu entries, trees and tray icon.
#include "console/ConsoleHost.h"
#include "console/ClsLogin.h"
#include "console/Pilot.h"
#include "platform/ProgramWide.h"
#include "platform/ShellOpen.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

constexpr int kSimplifiedChinese = 2052;
constexpr int kTraditionalChinese = 1028;
// Pages of the main window the setup tree opens; the others are the console's own.
constexpr int kMainPages = 6;
constexpr int kServicePage = 8;

} // namespace

void Pilot::AFunction_Click(int index)
{
    switch (index) {
    case SwitchButton: switchButton(); break;
    case HideButton: hideToTray(); break;
    case QuitButton: quit(); break;
    case kSendButton: sendMail(); break;
    case ClearButton:
        txtToEmailAddress->clear();
        txtMailSubject->clear();
        RTf->clear();
        showCompose();
        break;
    case ContactsButton:
        Trees->setCurrentWidget(tvwContact);
        showPanel(Trees);
        break;
    case CallButton: callButton(); break;
    default: break;
    }
}

void Pilot::Amenu_Click(int index)
{
    switch (index) {
    case ContactsEntry:
        Trees->setCurrentWidget(tvwContact);
        showPanel(Trees);
        break;
    case NotesEntry: host_.consoleShowNotes(); break;
    case CallEntry: callMenu(); break;
    case SettingsEntry: host_.consoleShowSettings(-1); break;
    case HelpEntry: {
        const int lcid = platform::Globals().lcid;
        const QString page = lcid == kSimplifiedChinese    ? QStringLiteral("Cs/search.htm")
                             : lcid == kTraditionalChinese ? QStringLiteral("Ct/search.htm")
                                                           : QStringLiteral("search.htm");
        const QString site = host_.consoleSiteAddress();
        if (!site.isEmpty())
            platform::OpenWithShell(site + page);
        break;
    }
    case ComposeEntry: showCompose(); break;
    case LoginEntry: showPanel(LoginPage); break;
    case SetupEntry:
        Trees->setCurrentWidget(tvwSetup);
        showPanel(Trees);
        break;
    case SiteEntry: {
        const QString site = host_.consoleSiteAddress();
        if (!site.isEmpty())
            platform::OpenWithShell(site);
        break;
    }
    case WizardEntry:
        host_.consoleRunWizard();
        ReloadSetting();
        break;
    default: break;
    }
}

// ---- the switch

void Pilot::switchButton()
{
    if (switchOn_) {
        switchOn_ = false;
        LoginPage->setEnabled(true);
        host_.consoleStopChecking();
    } else {
        switchOn_ = true;
        SetAmenu(true);
        StartLogin();
    }
    showSwitch();
}

void Pilot::Form_Load()
{
    // The program starts switched on: it signs in, and mail checking follows.
    switchOn_ = true;
    showSwitch();
    StartLogin();
}

// ---- hiding and quitting

void Pilot::hideToTray()
{
    if (QSystemTrayIcon* icon = tray()) {
        icon->show();
        hide();
    } else {
        showMinimized(); // no notification area: the task bar keeps it
    }
}

void Pilot::trayActivated()
{
    if (tray_)
        tray_->hide();
    showNormal();
    raise();
    activateWindow();
}

void Pilot::quit()
{
    if (quitting_)
        return;
    hangUpCall();
    quitting_ = true; // the fields are saved when the program unloads the window
    if (tray_)
        tray_->hide();
    // Signed in to the web service: the program ends once the sign-out has been answered or
    // has timed out.
    if (usesService() && isLogin()) {
        showMess(QStringLiteral("Logout ...."));
        ObjLogin->Logout();
    } else {
        host_.consoleQuit();
    }
}

void Pilot::Unload()
{
    quitting_ = true;
    if (tray_)
        tray_->hide();
    close();
}

// ---- the trees

void Pilot::addContact(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || !tvwContact->findItems(trimmed, Qt::MatchExactly).isEmpty())
        return;
    new QTreeWidgetItem(tvwContact, QStringList(trimmed));
}

void Pilot::contactChosen(QTreeWidgetItem* item)
{
    if (!item)
        return;
    Text1->setText(item->text(0));
    showPanel(CallPage);
}

void Pilot::setupChosen(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const int page = item->data(0, Qt::UserRole).toInt();
    if (page < kMainPages)
        host_.consoleShowSettings(page);
    else if (page == kServicePage)
        openServiceSettings();
    else
        showPanel(page == kMainPages ? LoginPage : CallPage);
}
