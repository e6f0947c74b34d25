// SPDX-License-Identifier: GPL-3.0-or-later
// Text for speech: mixed Chinese and Latin text is spoken one same-language run at a time,
// the voice switched before each run.
#include "mail/checkmailClass.h"

#include "platform/CodePage.h"
#include "platform/ProgramWide.h"
#include "telephony/ClsAudioControl.h"

namespace {

constexpr int kLatin = 1;
constexpr int kChinese = 3;

// Chinese characters and the punctuation and full-width forms that go with them.
bool isChinese(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F)
           || (u >= 0xFF00 && u <= 0xFFEF) || c.isSurrogate();
}

} // namespace

QString checkmailClass::Speakable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\r' || u == '\n' || u == '\t')
            out += QLatin1Char(' ');
        else if (u >= 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0))
            out += c;
    }
    return out;
}

QString checkmailClass::FindEmailaddress(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() < 3)
        return QStringLiteral("example.com");
    return parts[parts.size() - 2] + QLatin1Char('.') + parts.last();
}

QString checkmailClass::ReturnBodyIn(int target) const
{
    return platform::BytesToText(ByteConvert(bodyBytes_, target), target == 2 ? 950 : 936).text;
}

// The summary keeps Chinese subjects, senders and bodies: they are spoken by the Chinese voice.
void checkmailClass::saySubDateBody(const QString& date, const QString& subject, const QString& sender,
                                    const QString& body)
{
    TTSText(Speakable(QStringLiteral("message received on ") + date + QStringLiteral(". subject. ") + subject
                      + QStringLiteral(" from. ") + sender + QStringLiteral(". ") + QStringLiteral(" message content. ")
                      + body));
}

void checkmailClass::TTSGB(const QByteArray& bytes)
{
    TTSText(platform::BytesToText(bytes, 936).text);
}

// Speaks the first same-language run and keeps the rest for TTSRemain, which the end of that
// run's speech asks for.
void checkmailClass::TTSText(const QString& text)
{
    remainingSpeech_.clear();
    if (!audio_ || text.isEmpty())
        return;
    const bool chinese = isChinese(text[0]);
    qsizetype end = 1;
    while (end < text.size() && isChinese(text[end]) == chinese)
        ++end;
    const int language = chinese ? kChinese : kLatin;
    if (audio_->getPhoneMode() == telephony::ClsAudioControl::ModemLine)
        emit ChangeVoiceEngine(language);
    else
        emit ChangeVoiceLanguage(language);
    remainingSpeech_ = text.mid(end);
    audio_->SpecialSpeak(text.left(end), !remainingSpeech_.isEmpty());
}

void checkmailClass::TTSRemain()
{
    const QString rest = remainingSpeech_;
    TTSText(rest);
}
