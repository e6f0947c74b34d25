// SPDX-License-Identifier: GPL-3.0-or-later
// The keypad voice menu: every key of a caller (or of the simulated telephone) is read in the
// light of the call's status, which the menu moves on and answers by speaking.
#include "mail/checkmailClass.h"

#include "mail/MailHost.h"
#include "mail/ReplyForm.h"
#include "platform/Clock.h"
#include "platform/Utilities.h"
#include "protocols/CPostOffice.h"
#include "telephony/ClsAudioControl.h"

#include <QDate>
#include <QLocale>

using Call = telephony::ClsAudioControl;

namespace {

const QString kKeys = QStringLiteral("0123456789*#");
const QString kPressOne = QStringLiteral(" Press 1 for retrieve message");

bool allDigits(const QString& text)
{
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return !text.isEmpty();
}

// A dictated address or subject stays on its line.
QString oneLine(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return text;
}

// Two keys a character: the column key, then the row digit (the keypad key carrying the letter).
QString dictated(QChar column, int row)
{
    static const char* const seven[10] = {"", " ", "a", "d", "g", "j", "m", "p", "t", "w"};
    static const char* const eight[10] = {"\b", "s", "b", "e", "h", "k", "n", "q", "u", "x"};
    static const char* const nine[10] = {"\r", "z", "c", "f", "i", "l", "o", "r", "v", "y"};
    switch (column.toLatin1()) {
    case '7': return QString::fromLatin1(seven[row]);
    case '8': return QString::fromLatin1(eight[row]);
    case '9': return QString::fromLatin1(nine[row]);
    default: return QString(QChar('0' + row)); // "*": the digits
    }
}

double nowSeconds()
{
    return double(platform::AppClock().msecsSinceEpoch()) / 1000.0;
}

} // namespace

void checkmailClass::DigitReceived(const QString& key)
{
    if (key.size() != 1 || !kKeys.contains(key[0]) || !audio_)
        return;
    // Keys that come while one is handled wait their turn.
    pendingKeys_.append(key);
    if (handlingKey_)
        return;
    handlingKey_ = true;
    while (!pendingKeys_.isEmpty())
        handleKey(pendingKeys_.takeFirst());
    handlingKey_ = false;
}

void checkmailClass::handleKey(const QString& key)
{
    if (!audio_ || audio_->getStatus() == Call::Disconnecting)
        return;
    DigitBuffer = (DigitBuffer + key).right(kDigitBufferCap);
    emit DebugPrint(QStringLiteral("Digit Received : ") + DigitBuffer);
    audio_->ResetTimer();
    switch (audio_->getStatus()) {
    case Call::AlertSaying: onAlertAnsweredKey(); break;
    case Call::WaitingForPin: onPinKey(); break;
    case Call::MenuRepeating: onMenuKey(); break;
    case Call::ReadingPieces: onListeningKey(); break;
    case Call::MenuSpeech: onNumberKey(); break;
    case Call::WaitingForInput: onDictationKey(); break;
    case 14: onLongNumberKey(); break;
    default: break; // the key stays in the buffer
    }
}

void checkmailClass::CallStarted(bool lineCall)
{
    DigitBuffer.clear();
    pendingKeys_.clear();
    PinTries = 0;
    pinFailedThisCall_ = false;
    deleteArmed_ = false;
    readIndex_ = 0;
    remainingSpeech_.clear();
    lineCall_ = lineCall;
    if (lineCall && lockedOut()) {
        logPhone(QStringLiteral("Call refused: too many wrong PINs, the line is locked for a while"));
        GoodByeHangup();
    }
}

// ---- the statuses

void checkmailClass::onAlertAnsweredKey()
{
    AlertAnswered = true;
    const QString key = DigitBuffer.left(1);
    DigitBuffer.clear();
    if (key == QLatin1String("#"))
        return GoodByeHangup();
    setErrorMessage(QString::fromLatin1(kPleaseWait), 0);
    const int rows = list_ ? list_->rowCount() : 0;
    const int first = rows - NewMailCount + 1;
    if (first >= 1 && first <= rows) {
        audio_->ChangeStatus(Call::ReadingPieces);
        readIndex_ = int16_t(first);
        readMessage(readIndex_);
    } else {
        sayMenu();
    }
}

void checkmailClass::onPinKey()
{
    if (DigitBuffer.size() < kPinLength && !DigitBuffer.endsWith(QLatin1Char('#')))
        return;
    QString entry = DigitBuffer;
    DigitBuffer.clear();
    // The log shows how many keys came, never the keys.
    logPhone(QStringLiteral("PIN Digit Received : ") + QString(entry.size(), QLatin1Char('*')));
    audio_->StopTimeout();
    if (entry.endsWith(QLatin1Char('#')))
        entry.chop(1);
    // Only digits can match, and an empty PIN never does.
    if (allDigits(entry) && !PinCode.isEmpty() && entry == PinCode) {
        PinTries = 0;
        audio_->ChangeStatus(Call::MenuSpeech);
        return sayTotals();
    }
    ++PinTries;
    notePinFailure();
    if (PinTries < kPinTriesPerCall)
        return say(QStringLiteral(" Please Re enter Password"));
    GoodByeHangup();
}

void checkmailClass::onMenuKey()
{
    const QString key = DigitBuffer.left(1);
    DigitBuffer.clear();
    logPhone(QStringLiteral("Menu Received : ") + key);
    audio_->StopTimeout();
    if (key == QLatin1String("1")) {
        audio_->ChangeStatus(Call::MenuSpeech);
        sayTotals();
    } else if (key == QLatin1String("#")) {
        GoodByeHangup();
    } else {
        sayMenu();
    }
}

void checkmailClass::onListeningKey()
{
    const QString key = DigitBuffer.left(1);
    DigitBuffer.clear();
    logPhone(QStringLiteral("While Listening Received : ") + key);
    // The speed keys leave the hang-up timer running, so the call still ends when left alone.
    if (key != QLatin1String("4") && key != QLatin1String("6"))
        audio_->StopTimeout();
    const bool armed = deleteArmed_;
    deleteArmed_ = false;
    const int rows = list_ ? list_->rowCount() : 0;

    switch (key[0].toLatin1()) {
    case '*': sayMenu(); break;
    case '0':
        if (armed)
            deleteReadMessage();
        else if (!placeholder_ && readPosition_ >= 1) {
            deleteArmed_ = true;
            say(QStringLiteral(" press 0 again to delete this message"));
        } else {
            sayMenu();
        }
        break;
    case '1':
        if (readIndex_ - 1 < 1) {
            readIndex_ = 1;
            audio_->ChangeStatus(Call::MenuSpeech); // the text asks for a number
            say(QStringLiteral(" there are no previous message in mail box, please re enter message number"));
        } else {
            readMessage(--readIndex_);
        }
        break;
    case '2': TTSText(Speakable(DisplayText)); break;
    case '3':
        if (readIndex_ + 1 > rows) {
            audio_->ChangeStatus(Call::MenuSpeech);
            say(QStringLiteral(" you do not have %1 message, please re enter message number").arg(readIndex_ + 1));
        } else {
            readMessage(++readIndex_);
        }
        break;
    case '4': audio_->RateChange(-1); break;
    case '5':
        say(QStringLiteral(" Checking new message"));
        CheckMail(TimedCheck);
        audio_->ChangeStatus(Call::MenuSpeech);
        break;
    case '6': audio_->RateChange(1); break;
    case '7':
        emit EnDePhoneCall(false);
        say(QStringLiteral(" disable phone call, you will not receive any phone call from now on "));
        break;
    case '8': startReply(); break;
    case '9':
        emit EnDePhoneCall(true);
        say(QStringLiteral(" Enable phone call"));
        break;
    case '#': GoodByeHangup(); break;
    default: break;
    }
}

void checkmailClass::onNumberKey()
{
    // A first "*" leaves for the main menu.
    if (DigitBuffer == QLatin1String("*")) {
        DigitBuffer.clear();
        return sayMenu();
    }
    // Four digits are a whole number only at the fifth key or "#": "0003#" reads message 3.
    if (DigitBuffer.size() < 5 && !DigitBuffer.endsWith(QLatin1Char('#')))
        return;
    QString entry = DigitBuffer.left(5);
    DigitBuffer.clear();
    logPhone(QStringLiteral("Read Mode Received : ") + entry);
    if (entry.endsWith(QLatin1Char('#')))
        entry.chop(1);
    audio_->StopTimeout();
    if (!allDigits(entry))
        return say(QStringLiteral(" Please enter number in key pad, then press enter key"));
    const int n = entry.left(4).toInt();
    setErrorMessage(QString::fromLatin1(kPleaseWait), 0);
    readIndex_ = int16_t(n);
    if (readMessage(n))
        audio_->ChangeStatus(Call::ReadingPieces);
}

void checkmailClass::onDictationKey()
{
    if (DigitBuffer.size() < 2)
        return;
    const QString keys = DigitBuffer.left(2);
    DigitBuffer.clear();
    audio_->StopTimeout();
    QChar column = keys[0];
    const QChar rowKey = keys[1];
    if (column == QLatin1Char('*') && rowKey == QLatin1Char('*')) // back to the menu, nothing sent
        return sayMenu();
    const int row = rowKey.isDigit() ? rowKey.digitValue() : 0;
    if (!rowKey.isDigit() && rowKey != QLatin1Char('#'))
        column = QLatin1Char('?');
    if (column == QLatin1Char('#'))
        return sendReply();
    if (QStringLiteral("789*").contains(column))
        return emit DisplayDigitInput(dictated(column, row));
    say(QStringLiteral(" Unknown Key enter"));
}

void checkmailClass::onLongNumberKey()
{
    if (DigitBuffer.size() < 13 && !DigitBuffer.endsWith(QLatin1Char('#')))
        return;
    logPhone(QStringLiteral("UIN Digit Received : ") + DigitBuffer);
    audio_->StopTimeout();
    if (DigitBuffer.endsWith(QLatin1Char('#')))
        DigitBuffer.chop(1);
}

// ---- what the keys do

void checkmailClass::GoodByeHangup()
{
    // A session that runs is left to end by itself: killing it would lose what it did.
    waiting_.removeIf([](const Request& r) { return r.mode == FetchOne; });
    if (!audio_)
        return;
    audio_->ResetPlay();
    DigitBuffer.clear();
    pendingKeys_.clear();
    emit DebugPrint(QString());
    audio_->ChangeStatus(Call::GoodBye);
    say(QStringLiteral(" Good bye"));
}

void checkmailClass::ModemOnHook()
{
    if (audio_)
        audio_->ChangeStatus(Call::Idle);
}

void checkmailClass::ListOne(int16_t n)
{
    if (audio_)
        audio_->ChangeStatus(Call::ReadingOne);
    RetrieveMailInServer(n);
}

void checkmailClass::listAll(int16_t n)
{
    if (audio_)
        audio_->ChangeStatus(Call::ReadingList);
    if (!TodayOnly)
        return RetrieveMailInServer(n);
    const QString date = list_ ? list_->text(n - 1, MailList::Date) : QString();
    const QDate today = QDate::currentDate();
    const QString todayText = QStringLiteral("%1 %2 %3")
                                  .arg(QLocale::system().monthName(today.month(), QLocale::ShortFormat))
                                  .arg(today.day())
                                  .arg(today.year());
    if (date == todayText)
        RetrieveMailInServer(n);
    else
        say(QStringLiteral(" ")); // its end moves the reading on to the next message
}

bool checkmailClass::readMessage(int n)
{
    const int rows = list_ ? list_->rowCount() : 0;
    if (n > rows || n < 1) {
        say(QStringLiteral(" you do not have %1 message, please re enter again").arg(n));
        return false;
    }
    if (audio_)
        audio_->ResetPlay();
    setErrorMessage(QString::fromLatin1(kPleaseWait), 0);
    if (host_)
        host_->selectMessage(n - 1);
    RetrieveMailInServer(int16_t(n));
    return true;
}

void checkmailClass::ReadFetchedMessage()
{
    // Nobody listens any more: a fetch that ended after the hang-up is not read aloud.
    if (!audio_)
        return;
    const int status = audio_->getStatus();
    if (status != Call::ReadingPieces && status != Call::ReadingList && status != Call::ReadingOne)
        return;
    saySubDateBody(date_, subject_, sender_, DisplayText);
}

void checkmailClass::startReply()
{
    if (placeholder_)
        return say(QStringLiteral(" there is no message to reply to, please enter message number"));
    if (sender_.contains(QLatin1String("Korvalen")) || fromOrg_.contains(QLatin1String("Korvalen")))
        return sayMenu(QStringLiteral(" It is Korvalen message. "));
    ReplyForm* form = host_ ? host_->replyForm() : nullptr;
    if (!form)
        return sayMenu(QStringLiteral(" replies can not be written here. "));
    form->showCompose();
    form->setSubject(QStringLiteral("Re: ") + subject_);
    replyThread_ = readThread_;
    form->setBody(QString());
    form->setTo(platform::ExtractAngleAddress(fromOrg_));
    if (form->from().isEmpty())
        form->setFrom(platform::ExtractAngleAddress(toMailAddress_));
    audio_->ChangeStatus(Call::WaitingForInput);
    say(QStringLiteral(" please enter message from Key pad"));
}

void checkmailClass::sendReply()
{
    ReplyForm* form = host_ ? host_->replyForm() : nullptr;
    if (!form)
        return sayMenu();
    if (dictatedSend_) // one reply at a time
        return say(QStringLiteral(" e mail is Busy, try later"));
    dictatedSend_ = true;
    say(QStringLiteral(" sending"));
    queueSend({oneLine(form->to()), oneLine(form->from()), oneLine(form->subject()), form->body(),
               PendingSend::Dictated, replyThread_});
}

void checkmailClass::deleteReadMessage()
{
    if (placeholder_ || readPosition_ < 1)
        return sayMenu();
    // By the id of the message read: the server refuses it if another stands there now.
    menuDelete_ = true;
    request(DeleteOne, readPosition_, readId_);
}

// ---- speaking and the log

void checkmailClass::say(const QString& text)
{
    if (audio_)
        audio_->RepeatedlySay(1, text);
}

void checkmailClass::sayTotals()
{
    const int rows = list_ ? list_->rowCount() : 0;
    say(QStringLiteral(" You have total %1 message and %2 new message.").arg(rows).arg(NewMailCount)
        + QStringLiteral(" please enter message number, then press enter key"));
}

void checkmailClass::sayMenu(const QString& extra)
{
    audio_->ChangeStatus(Call::MenuRepeating);
    say(kPressOne + extra);
}

void checkmailClass::logPhone(const QString& text)
{
    WriteLogLine(QStringLiteral("phone"), text);
}

// Three calls with wrong PINs within the lock-out time lock the line for that long.
bool checkmailClass::lockedOut()
{
    return nowSeconds() < lockedUntil_;
}

void checkmailClass::notePinFailure()
{
    if (!lineCall_ || pinFailedThisCall_)
        return;
    pinFailedThisCall_ = true;
    const double now = nowSeconds();
    pinFailureTimes_.append(now);
    pinFailureTimes_.removeIf([now](double t) { return now - t > kLockoutSeconds; });
    if (pinFailureTimes_.size() >= kLockoutCalls) {
        lockedUntil_ = now + kLockoutSeconds;
        pinFailureTimes_.clear();
        logPhone(QStringLiteral("Wrong PINs on %1 calls: calls are said good-bye to for %2 minutes")
                     .arg(kLockoutCalls)
                     .arg(kLockoutSeconds / 60));
    }
}
