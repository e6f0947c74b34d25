// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the console window: the console signs in and switches mail
// checking; the voice menu writes dictated replies into its compose page.
#include "app/Vendor.h"
#include "app/frmNotes.h"
#include "app/frmSet.h"
#include "console/Pilot.h"
#include "mail/ReplyForm.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

namespace {

// The compose page as the voice menu fills it.
class PilotReplyForm : public ReplyForm
{
public:
    explicit PilotReplyForm(Pilot& pilot) : pilot_(pilot) { }
    QString to() const override { return pilot_.txtToEmailAddress->text(); }
    QString from() const override { return pilot_.txtFromEmailAddress->text(); }
    QString subject() const override { return pilot_.txtMailSubject->text(); }
    QString body() const override { return pilot_.RTf->toPlainText(); }
    void setTo(const QString& text) override { pilot_.txtToEmailAddress->setText(text); }
    void setFrom(const QString& text) override { pilot_.txtFromEmailAddress->setText(text); }
    void setSubject(const QString& text) override { pilot_.txtMailSubject->setText(text); }
    void setBody(const QString& text) override { pilot_.RTf->setPlainText(text); }
    void showCompose() override { pilot_.showCompose(); }

private:
    Pilot& pilot_;
};

// The console window as the main window drives it.
class PilotLink : public ConsoleLink
{
public:
    explicit PilotLink(Pilot& pilot) : pilot_(pilot) { }
    bool isLogin() const override { return pilot_.isLogin(); }
    void EnableMenu(bool on) override { pilot_.SetAmenu(on); }
    void ReloadSetting() override { pilot_.ReloadSetting(); }
    void Show() override { pilot_.show(); }
    void SignIn() override { pilot_.Form_Load(); }
    void Unload() override { pilot_.Unload(); }
    void SetLabelCaption(int index, const QString& text) override { pilot_.SetLabelCaption(index, text); }
    void SetMenuToolTip(int index, const QString& text) override { pilot_.SetMenuToolTip(index, text); }
    void SetButtonText(int index, const QString& text) override { pilot_.SetButtonText(index, text); }
    void SetExtraTexts(const QString& call, const QString& hangUp) override { pilot_.SetExtraTexts(call, hangUp); }
    void ShowViseme(int picture) override { pilot_.ShowViseme(picture); }

private:
    Pilot& pilot_;
};

} // namespace

Pilot* frmSet::console()
{
    if (!pilot_) {
        pilot_ = std::make_unique<Pilot>(store_, *this);
        replyForm_ = std::make_unique<PilotReplyForm>(*pilot_);
    }
    return pilot_.get();
}

ReplyForm* frmSet::replyForm()
{
    console();
    return replyForm_.get();
}

bool frmSet::hasConsole() const
{
    return parts_.console || parts_.pilotConsole;
}

// The console is created the first time it is needed.
ConsoleLink* frmSet::Console()
{
    if (!console_ && !unloaded_) {
        if (parts_.console)
            console_ = parts_.console();
        else if (parts_.pilotConsole)
            console_ = std::make_unique<PilotLink>(*console());
    }
    return console_.get();
}

void frmSet::consoleStartChecking()
{
    StartEmailChecking(1);
}

void frmSet::consoleStopChecking()
{
    StopEmailChecking();
}

void frmSet::consoleShowSettings(int page)
{
    if (page >= 0 && page < kMenuButtons)
        Amenu_Click(page);
    bringToFront();
}

void frmSet::consoleShowNotes()
{
    if (!notes_)
        notes_ = std::make_unique<frmNotes>();
    notes_->show();
    notes_->raise();
}

void frmSet::consoleRunWizard()
{
    RunSetupWizard();
}

// The sign-out has ended: the countdown's next tick ends the program.
void frmSet::consoleQuit()
{
    exiting_ = true;
    CheckMailTimer->start();
}

QString frmSet::consoleSiteAddress() const
{
    return QString::fromLatin1(kVendorSite);
}
