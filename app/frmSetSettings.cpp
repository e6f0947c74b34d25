// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's fields are the live copy of the settings: read at start-up and on
// ReloadSetting, written once, when the window unloads.
#include "app/frmSet.h"

#include "app/FieldFilters.h"
#include "app/LocalizedTexts.h"
#include "app/SettingKeys.h"
#include "app/frmCapDev.h"
#include "platform/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <vector>

namespace {

QString boxValue(const QCheckBox* box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

// Stored numbers that are not numbers, or are out of range, take the field's default, as if
// the user had typed them and left the field.
void frmSet::LoadSettings()
{
    auto get = [this](const keys::Key& key) { return keys::Read(store_, key); };
    auto check = [this](int index, const keys::Key& key) {
        (index < 0 ? notifyCheck : Check[index])->setChecked(keys::ReadInt(store_, key) != 0);
    };

    Text2->setText(get(keys::EmailUID));
    Text3->setText(get(keys::EmailPw));
    Text4->setText(get(keys::popserver));
    txtEmailServer->setText(get(keys::smtpserver));
    loadSecuritySettings(); // with the ports
    Text6->setText(keys::InRange(get(keys::Emailcount), keys::EmailcountRange));
    Text15->setPlainText(get(keys::autoreplymessage));
    check(0, keys::autoreplycheck);
    txtReplyDays->setText(keys::InRange(get(keys::autoreplydays), keys::autoreplydaysRange));
    Text7->setText(keys::InRange(get(keys::minute), keys::minuteRange));
    check(1, keys::logcheck);
    check(2, keys::toolTips);
    check(4, keys::voicecall);
    check(5, keys::AutoAnsCheck);
    txtRingsToAnswer->setText(keys::InRange(get(keys::ringsAnswer), keys::ringsAnswerRange));
    Text9->setText(get(keys::phone1));
    Text13->setText(keys::InRange(get(keys::hangupTime), keys::hangupTimeRange));
    Text10->setText(keys::InRange(get(keys::repeatvoice), keys::repeatvoiceRange));
    Pin->setText(get(keys::PhonePin));
    check(-1, keys::notifyNewMail);
}

void frmSet::ReloadSetting()
{
    auto get = [this](const keys::Key& key) { return keys::Read(store_, key); };
    Text7->setText(keys::InRange(get(keys::minute), keys::minuteRange));
    Text2->setText(get(keys::EmailUID));
    Text3->setText(get(keys::EmailPw));
    Text4->setText(get(keys::popserver));
    txtEmailServer->setText(get(keys::smtpserver));
    loadSecuritySettings(); // the wizard may have chosen them
    Check[4]->setChecked(keys::ReadInt(store_, keys::voicecall) != 0);
    Text9->setText(get(keys::phone1));
    if (Check[4]->isChecked())
        selectStoredModem();
}

void frmSet::SaveSettings()
{
    // A field still being edited is judged as if it had been left.
    for (auto [edit, range] : {std::pair{Text6, keys::EmailcountRange},
                               {Text7, keys::minuteRange},
                               {txtRingsToAnswer, keys::ringsAnswerRange},
                               {Text10, keys::repeatvoiceRange},
                               {Text13, keys::hangupTimeRange},
                               {txtReplyDays, keys::autoreplydaysRange}})
        edit->setText(keys::InRange(edit->text(), range));
    Text5->setText(fields::PortText(Text5->text(), keys::popportRange.byDefault));
    Text16->setText(fields::PortText(Text16->text(), keys::smtpportRange.byDefault));

    std::vector<std::pair<const char*, QString>> values = {
        {keys::EmailUID.name, Text2->text()},
        {keys::EmailPw.name, Text3->text()},
        {keys::popserver.name, Text4->text()},
        {keys::popport.name, Text5->text()},
        {keys::smtpserver.name, txtEmailServer->text()},
        {keys::smtpport.name, Text16->text()},
        {keys::Emailvoicefile.name, Text1->text()},
        {keys::Emailcount.name, Text6->text()},
        {keys::autoreplymessage.name, Text15->toPlainText()},
        {keys::autoreplycheck.name, boxValue(Check[0])},
        {keys::minute.name, Text7->text()},
        {keys::logcheck.name, boxValue(Check[1])},
        {keys::toolTips.name, boxValue(Check[2])},
        {keys::voicecall.name, boxValue(Check[4])},
        {keys::AutoAnsCheck.name, boxValue(Check[5])},
        {keys::voicemodem0.name, QString::number(modembox->currentIndex())},
        {keys::ringsAnswer.name, txtRingsToAnswer->text()},
        {keys::phone1.name, Text9->text()},
        {keys::repeatvoice.name, Text10->text()},
        {keys::hangupTime.name, Text13->text()},
        {keys::PhonePin.name, Pin->text()},
        {keys::VoiceName.name, QString::number(VoiceCB->currentIndex())},
        {keys::Sounddevice.name, QString::number(Sounddevice)},
        {keys::SoundVolume.name, QString::number(VolumeSldr->value())},
        {keys::SoundRate.name, QString::number(RateSldr->value())},
        {keys::notifyNewMail.name, boxValue(notifyCheck)},
        {keys::autoreplydays.name, txtReplyDays->text()},
        {keys::popsecurity.name, popSecurityBox->currentData().toString()},
        {keys::smtpsecurity.name, smtpSecurityBox->currentData().toString()},
        {keys::SmtpUID.name, txtSmtpUser->text().trimmed()},
        {keys::SmtpPw.name, txtSmtpPw->text()},
    };
    // Passwords the keyring has not given yet are not saved over the ones it holds.
    if (!passwordsKnown_)
        for (auto [edit, key] : {std::pair{Text3, keys::EmailPw}, {txtSmtpPw, keys::SmtpPw}})
            if (!edit->isModified())
                std::erase_if(values, [name = key.name](const auto& v) { return v.first == name; });
    // A voice list the engine has not filled yet keeps the stored choice.
    if (!voicesListed_)
        std::erase_if(values, [](const auto& v) { return v.first == keys::VoiceName.name; });
    // A blank account field is not saved over the account the store holds: the next start
    // checks with that one, and the user is told.
    bool keptStored = false;
    for (auto [edit, key] : {std::pair{Text2, keys::EmailUID}, {Text3, keys::EmailPw}, {Text4, keys::popserver}}) {
        if (!edit->text().trimmed().isEmpty())
            continue;
        keptStored |= !keys::Read(store_, key).trimmed().isEmpty();
        std::erase_if(values, [name = key.name](const auto& v) { return v.first == name; });
    }
    if (keptStored)
        reportProblem(fields::BlankAccountFields(Text2, Text3, Text4).message + QLatin1Char(' ')
                      + LocalText("Main", "SavedKept", "What was saved before is kept."));
    saveAll(values);
}

// Writes the values in order; when the store refuses, the user is told and may try again,
// so no setting is lost without notice.
bool frmSet::saveAll(const std::vector<std::pair<const char*, QString>>& values)
{
    for (;;) {
        QStringList failed;
        QString reason;
        for (const auto& [key, value] : values) {
            if (!store_.SaveSetting(QString::fromLatin1(key), value)) {
                failed << QString::fromLatin1(key);
                reason = store_.lastError();
            }
        }
        if (failed.isEmpty())
            return true;
        const QString message = LocalText("Main", "NotSaved",
                                          "%1\n\nNot saved: %2.\nFix the problem, then choose Retry; "
                                          "Discard loses these changes.")
                                    .arg(reason, failed.join(QStringLiteral(", ")));
        if (!askRetry(message))
            return false;
    }
}
