// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechTables.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

struct VoiceInfo
{
    QString name; // the engine's voice name, e.g. "en-us", "cmn-latn-pinyin"
    QString description; // shown in the voice list; Chinese voices say "Chinese"
    QString language; // hexadecimal language id as the attribute "language=804" asks for
};

// The voices installed on this system (English and Mandarin at least, when espeak-ng's data
// is installed); empty when the speech engine's data is missing. The Mandarin voice that reads
// pinyin with tone numbers comes before the other Mandarin one.
QList<VoiceInfo> InstalledVoices();
// Runs work from context's event loop once the engine has its voices (never from inside this
// call); dropped when context is destroyed first. The window fills its voice list this way. The
// engine starts loading its data and voices on its own thread at the event loop's next turn, so
// that a window shown meanwhile does not share the processor with it.
void WhenSpeechReady(QObject* context, std::function<void()> work);

// One voice, as the program's windows and the call controller use it: choose a voice, rate
// and volume, where its sound goes and in which format, and speak asynchronously. Every Speak
// raises exactly one StartStream and one EndStream; Viseme comes during speech, timed by what
// has been heard. One worker thread owns the speech engine for all voices; events arrive on
// the thread that made the voice.
class SpeechVoice : public QObject
{
    Q_OBJECT
public:
    enum SpeakFlag { Async = 1, PurgeBeforeSpeak = 2 };
    static constexpr int kDefaultFormat = 22; // 22 kHz 16-bit mono, the engine's own
    static constexpr int kTelephoneFormat = 6; // 8 kHz 16-bit mono

    explicit SpeechVoice(QObject* parent = nullptr);
    ~SpeechVoice() override;

    // The installed voices having every "key=value" of the ";"-separated attributes; keys are
    // "language" (hexadecimal id) and "name" (name or description), any other key matches none.
    QList<VoiceInfo> GetVoices(const QString& requiredAttributes = QString()) const;
    bool setVoice(int index); // index into InstalledVoices()
    bool setVoiceByAttributes(const QString& attributes); // first voice matching "language=804"
    // -1 when no voice is installed. A new voice is American English, else the first, which
    // it learns from the engine only when first asked or when it first speaks.
    int voice() const;

    void setRate(int rate); // -10..10, clamped
    int rate() const;
    void setVolume(int volume); // 0..100, clamped
    int volume() const;

    // Where the sound goes: a numbered output; the stream's format type (4..35) decides the
    // sample rate and channels written to it. Choosing an output by number returns the voice to
    // its own format unless format changes were disallowed, which keeps the format set before.
    // Settings take effect from the next Speak.
    void setAudioOutput(int number);
    int audioOutput() const;
    void setAllowAudioOutputFormatChangesOnNextSet(bool allow);
    void setOutputFormat(int formatType); // other numbers are ignored
    int outputFormat() const;
    // A stream bound to an output number and format; none returns to the default output.
    void setAudioOutputStream(const std::optional<AudioOutputStream>& stream);

    // Speaks asynchronously (always; Async is implied). With PurgeBeforeSpeak what is being
    // spoken and what waits stops at once first; without it the text waits its turn. An empty
    // text only purges. Signals never come from inside Speak.
    void Speak(const QString& text, int flags = Async | PurgeBeforeSpeak);
    bool isSpeaking() const;
    // Streams whose EndStream is still to come, purged ones too, and those of them whose
    // StartStream is still to come.
    int unendedStreams() const;
    int unstartedStreams() const;

signals:
    void StartStream();
    void EndStream();
    void Viseme(int viseme); // 0..21

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
