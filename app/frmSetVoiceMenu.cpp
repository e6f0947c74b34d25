// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the keypad voice menu: the voices it asks for, the mailbox list it
// reads aloud item after item, and the telephone switch it turns.
#include "app/frmSet.h"

#include "platform/ProgramWide.h"
#include "platform/speech/SpeechVoice.h"
#include "telephony/ClsAudioControl.h"

#include <QCheckBox>
#include <QComboBox>
#include "mail/MailList.h"
#include <QTreeView>

using platform::Globals;
using telephony::ClsAudioControl;

namespace {
constexpr int kChinese = 3;
} // namespace

// On the line: the call speaks with the Chinese voice for a Chinese run, else the default one.
void frmSet::MailObj_ChangeVoiceEngine(int32_t language)
{
    platform::SpeechVoice* voice = language == kChinese && chineseVoice ? chineseVoice.get() : defaultVoice.get();
    if (ObjAudio && voice)
        ObjAudio->setVoiceEng(voice);
}

// On the sound card: the settings voice itself changes language.
void frmSet::MailObj_ChangeVoiceLanguage(int32_t language)
{
    if (!settingsVoice)
        return;
    if (language != kChinese)
        settingsVoice->setVoice(VoiceCB->currentIndex());
    else if (chineseVoiceAvailable_)
        settingsVoice->setVoiceByAttributes(QStringLiteral("language=804"));
}

void frmSet::MailObj_EnDePhoneCall(bool on)
{
    Check[4]->setChecked(on);
}

void frmSet::selectMessage(int row)
{
    if (row >= 0 && row < listModel->rowCount())
        ListView1->setCurrentIndex(listModel->index(row, 0));
}

// A clicked message is read aloud on the sound card.
void frmSet::ListView1_Click(int row)
{
    mailobj_showListViewCount();
    if (!MailObj || !ObjAudio || row < 0 || row >= listModel->rowCount())
        return;
    if (ObjAudio->getStatus() != ClsAudioControl::Idle || MailObj->Mode() != MailEngineLink::Idle)
        return; // a call or a check has the voice
    ObjAudio->ListPhoneConnected(0);
    Sounddevice = 0;
    MailObj->ListOne(row + 1);
}

// One message has been spoken: the list reading goes on with the next, or ends.
void frmSet::readNextListItem()
{
    if (!MailObj || !ObjAudio)
        return;
    const int next = ListView1->currentIndex().row() + 1;
    if (ObjAudio->getStatus() != ClsAudioControl::ReadingOne && next >= 1 && next < listModel->rowCount()) {
        selectMessage(next);
        MailObj->ListAll(next + 1, false);
        return;
    }
    MailObj->ListingEnded(); // the listing has ended: the next caller is answered again
    simPhoneReadingEnded();
}
