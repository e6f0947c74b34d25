// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringView>
#include <optional>

namespace platform {

// An output format by its number, 4..35: 8, 11, 12, 16, 22, 24, 32 and 44 kHz, each as 8-bit
// mono, 8-bit stereo, 16-bit mono, 16-bit stereo (6 = 8 kHz 16-bit mono, the telephone's).
// Speech is always written as 16-bit samples; an 8-bit format only decides rate and channels.
struct OutputFormat
{
    int sampleRate = 22050;
    int channels = 1;
    int bits = 16;
};
std::optional<OutputFormat> OutputFormatOf(int formatType);

// The voice rate -10..10 as words per minute: three times slower or faster at the ends.
int WordsPerMinute(int rate);
// Extra pause between words (10 ms units): the engine reads no slower than 80 words a minute,
// so the slowest rates stretch the gaps instead.
int WordGap(int rate);

// The voice volume 0..100 as the engine's amplitude: the engine silences its amplitude 1, so
// 1..100 are spread over 2..100 and every volume but 0 is heard.
int EngineVolume(int volume);

// The mouth shape 0..21 for a phoneme in IPA (0 = silence), by its longest known prefix;
// stress and length marks do not count.
int VisemeOfPhoneme(QStringView ipa);

// The hexadecimal language id ("409", "804") for an engine language code such as "en-us" or
// "cmn-latn-pinyin"; empty when the language has none.
QString LanguageIdOf(const QString& languageCode);

// Where the piece of text starting at `from` should end so that no piece is longer than
// maxLength: after a sentence if one ends in reach, else after a clause, a space, or at the
// limit (never inside a surrogate pair).
qsizetype PieceEnd(QStringView text, qsizetype from, qsizetype maxLength);

} // namespace platform
