// SPDX-License-Identifier: GPL-3.0-or-later
// Captions of the main window (and of the console and the wizard) in the system's language.
#include "app/frmSet.h"

#include "app/LocalizedTexts.h"
#include "app/SettingKeys.h"
#include "app/frmCapDev.h"
#include "platform/ProgramWide.h"
#include "platform/SettingsStore.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// A caption of the captions file: stem alone, or stem and its index.
QString text(const QString& section, const QString& stem, int index = -1)
{
    return ReadStatementText(section, index < 0 ? stem : stem + QString::number(index));
}

} // namespace

void frmSet::LoadLocalizedTexts(int lcid)
{
    const QString letter = LanguageLetter(lcid);
    const QString conv = letter + QStringLiteral("Conv");
    const QString label = letter + QStringLiteral("Label");
    const QString button = letter + QStringLiteral("Button");

    // The stored announcement, or the localized one when none is stored.
    Text1->setText(
        store_.GetSetting(QString::fromLatin1(keys::Emailvoicefile.name), text(conv, QStringLiteral("UGotMail"))));
    Label33->setText(text(label, QStringLiteral("SettingCheck2")));
    for (int i = 0; i < kCheckBoxes; ++i)
        Check[i]->setText(text(label, QStringLiteral("SettingCheck"), i));
    for (int i = 0; i < kGeneralLabels; ++i)
        GLabel[i]->setText(text(label, QStringLiteral("Gen"), i));
    // A console still to come takes its captions when it is made.
    if (ConsoleLink* console = consoleWaits_ ? console_.get() : Console())
        applyConsoleTexts(*console, letter);
    for (int i = 0; i < kActionButtons; ++i)
        ButtonAccount[i]->setText(text(button, QStringLiteral("ButtonA"), i));
    for (int i = 0; i < kMenuButtons; ++i) {
        // The menu buttons carry no pictures here, so their tool-tip is their caption too.
        Amenu[i]->setToolTip(text(button, QStringLiteral("SettingDialog"), i));
        Amenu[i]->setText(Amenu[i]->toolTip());
    }
    for (int i = 0; i < kPages; ++i)
        frame[i]->setTitle(text(button, QStringLiteral("SettingDialog"), i));

    // Captions of our own beyond the classic set.
    const char* const extra[] = {"AudioOutput", "AudioFormat", "SpamSubject", "SpamFrom", "Greeting"};
    for (int i = 0; i < 5; ++i)
        extraLabels_[i]->setText(text(label, QString::fromLatin1(extra[i])));
    // Texts of the telephone and mailbox pages.
    auto own = [&](const char* key, const char* english) { return LocalText(letter, "Main", key, english); };
    lblReplyDays->setText(own("ReplyDays", "Days between replies to one sender"));
    lblReplyDays->setToolTip(
        own("ReplyDaysTip", "A sender gets one automatic reply in this many days; 0 answers every new mail"));
    pinNote_->setText(own("PinNote", "Until you set a PIN of your own, only callers on this computer are answered."));
    ARButton12->setText(own("ModemButton", "Modem configuration"));
    ARButton12->setToolTip(own("ModemButtonTip", "Add, change or remove the SIP telephone lines"));
    ARButton13->setText(own("CountryButton", "Country code"));
    ARButton13->setToolTip(own("CountryButtonTip", "The dialling prefix put in front of every number the line dials"));
    lblNoLine->setText(
        own("NoLine", "No telephone line is set up yet. Press \"Modem configuration\" below to add a SIP line."));
    ARButton15->setText(own("ReadButton", "Read"));
    ARButton15->setToolTip(own("ReadButtonTip", "The simulated telephone: the voice menu and the mailbox read aloud"));
    applySecurityTexts(letter);
    if (wizard_)
        wizard_->ApplyTexts(letter);
    applyDesktopTexts();
}

void frmSet::applyConsoleTexts(ConsoleLink& console, const QString& letter)
{
    const QString label = letter + QStringLiteral("Label");
    const QString button = letter + QStringLiteral("Button");
    for (int i = 0; i <= 10; ++i)
        console.SetLabelCaption(i, text(label, QStringLiteral("PilotLabel"), i));
    for (int i = 0; i <= 9; ++i)
        console.SetMenuToolTip(i, text(button, QStringLiteral("PilotDialog"), i));
    for (int i = 0; i <= 6; ++i)
        console.SetButtonText(i, text(button, QStringLiteral("PilotButton"), i));
    console.SetExtraTexts(text(button, QStringLiteral("PilotButton6")), text(button, QStringLiteral("PilotButton7")));
}

// The console comes after the main window: made, captioned and shown, with the main window
// kept in front as when the console came first; then it signs in.
void frmSet::showConsoleNow()
{
    consoleWaits_ = false;
    if (unloaded_)
        return;
    ConsoleLink* console = Console();
    if (!console)
        return;
    applyConsoleTexts(*console, LanguageLetter(platform::Globals().lcid));
    console->Show();
    if (isVisible()) {
        raise();
        activateWindow();
    }
    console->SignIn();
}
