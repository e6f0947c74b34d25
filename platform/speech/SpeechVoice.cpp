// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/SpeechVoice.h"

#include "platform/speech/SpeechEngine.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <deque>

namespace platform {

namespace {

constexpr qsizetype kPieceLength = 400; // a piece takes the engine tens of ms, so a purge is prompt
constexpr qint64 kLeadMicros = 1500000; // sound made ahead of what is heard
constexpr int kPollMs = 10; // how often the heard position is read while speaking

// The voice that answers a finished piece; cleared (under the lock) before the voice dies.
struct Mailbox
{
    std::mutex mutex;
    SpeechVoice* voice = nullptr;
};

struct Utterance
{
    quint64 id = 0;
    QString text;
    qsizetype next = 0; // where the text not yet sent to the engine starts
    SpeechRequest settings;
    int outputNumber = 0;
    std::shared_ptr<std::atomic_bool> cancel = std::make_shared<std::atomic_bool>(false);
    QPointer<AudioOutput> output;
    bool started = false;
    bool purged = false;
    bool silent = false; // nothing to speak with or to: the stream just opens and closes
    bool pieceInFlight = false;
    qint64 pieceStart = -1; // where the piece in flight starts on the output, once its sound comes
    std::deque<QPair<qint64, int>> visemes; // heard position on the output, viseme
};

bool Matches(const VoiceInfo& voice, const QString& attributes)
{
    for (const QString& part : attributes.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(u'=');
        const QString key = part.left(eq).trimmed().toLower();
        const QString value = eq < 0 ? QString() : part.mid(eq + 1).trimmed();
        if (key.isEmpty())
            continue;
        if (key == u"language") {
            bool ok = false, mine = false;
            const int wanted = value.toInt(&ok, 16);
            if (!ok || voice.language.isEmpty() || voice.language.toInt(&mine, 16) != wanted || !mine)
                return false;
        } else if (key == u"name") {
            if (voice.name.compare(value, Qt::CaseInsensitive) != 0
                && voice.description.compare(value, Qt::CaseInsensitive) != 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

struct SpeechVoice::Private
{
    SpeechVoice* q = nullptr;
    static constexpr int kDefaultVoice = -2; // not yet looked up
    int voice = kDefaultVoice;
    int rate = 0;
    int volume = 100;
    int output = 0;
    int format = kDefaultFormat;
    bool allowFormatChanges = true;

    std::deque<std::unique_ptr<Utterance>> queue;
    quint64 nextId = 1;
    QTimer poll;
    bool pumping = false;
    bool again = false;
    std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();

    int chosenVoice();
    void purge();
    void schedulePump();
    void pump();
    bool step(const QPointer<SpeechVoice>& alive);
    void begin(Utterance& u);
    void requestPiece(Utterance& u);
    void onAudio(quint64 id, SpeechAudio audio, bool last);
};

QList<VoiceInfo> InstalledVoices()
{
    return SpeechEngine::instance().voices();
}

void WhenSpeechReady(QObject* context, std::function<void()> work)
{
    // The engine's thread may answer after the context is gone: it reaches it through this.
    struct Target
    {
        std::mutex mutex;
        QObject* object = nullptr;
    };
    auto target = std::make_shared<Target>();
    target->object = context;
    QObject::connect(context, &QObject::destroyed, [target] {
        std::lock_guard lock(target->mutex);
        target->object = nullptr;
    });
    // The engine starts at the event loop's next turn: a window being shown goes out first.
    QTimer::singleShot(0, context, [target, work = std::move(work)]() mutable {
        SpeechEngine::instance().whenReady([target, work = std::move(work)] {
            std::lock_guard lock(target->mutex);
            if (target->object)
                QMetaObject::invokeMethod(target->object, work, Qt::QueuedConnection);
        });
    });
}

SpeechVoice::SpeechVoice(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->mailbox->voice = this;
    d->poll.setInterval(kPollMs);
    connect(&d->poll, &QTimer::timeout, this, [this] { d->pump(); });
}

int SpeechVoice::Private::chosenVoice()
{
    if (voice != kDefaultVoice)
        return voice;
    // American English by default, else whatever comes first
    const QList<VoiceInfo> voices = InstalledVoices();
    voice = -1;
    for (qsizetype i = 0; i < voices.size() && voice < 0; ++i)
        if (voices[i].language == u"409")
            voice = int(i);
    if (voice < 0 && !voices.isEmpty())
        voice = 0;
    return voice;
}

SpeechVoice::~SpeechVoice()
{
    {
        std::lock_guard lock(d->mailbox->mutex);
        d->mailbox->voice = nullptr;
    }
    d->poll.stop();
    for (auto& u : d->queue) {
        u->cancel->store(true);
        if (u->started && !u->purged && u->output) {
            u->output->flush();
            u->output->stop();
        }
    }
}

QList<VoiceInfo> SpeechVoice::GetVoices(const QString& requiredAttributes) const
{
    QList<VoiceInfo> found;
    for (const VoiceInfo& v : InstalledVoices())
        if (Matches(v, requiredAttributes))
            found.append(v);
    return found;
}

bool SpeechVoice::setVoice(int index)
{
    if (index < 0 || index >= InstalledVoices().size())
        return false;
    d->voice = index;
    return true;
}

bool SpeechVoice::setVoiceByAttributes(const QString& attributes)
{
    const QList<VoiceInfo> all = InstalledVoices();
    for (qsizetype i = 0; i < all.size(); ++i)
        if (Matches(all[i], attributes))
            return setVoice(int(i));
    return false;
}

int SpeechVoice::voice() const
{
    return d->chosenVoice();
}
void SpeechVoice::setRate(int rate)
{
    d->rate = std::clamp(rate, -10, 10);
}
int SpeechVoice::rate() const
{
    return d->rate;
}
void SpeechVoice::setVolume(int volume)
{
    d->volume = std::clamp(volume, 0, 100);
}
int SpeechVoice::volume() const
{
    return d->volume;
}

void SpeechVoice::setAudioOutput(int number)
{
    d->output = number;
    if (d->allowFormatChanges)
        d->format = kDefaultFormat;
}

int SpeechVoice::audioOutput() const
{
    return d->output;
}
void SpeechVoice::setAllowAudioOutputFormatChangesOnNextSet(bool allow)
{
    d->allowFormatChanges = allow;
}

void SpeechVoice::setOutputFormat(int formatType)
{
    if (OutputFormatOf(formatType))
        d->format = formatType;
}

int SpeechVoice::outputFormat() const
{
    return d->format;
}

void SpeechVoice::setAudioOutputStream(const std::optional<AudioOutputStream>& stream)
{
    d->output = stream ? stream->deviceNumber : 0;
    d->format = stream && OutputFormatOf(stream->formatType) ? stream->formatType : kDefaultFormat;
}

void SpeechVoice::Speak(const QString& text, int flags)
{
    if ((flags & PurgeBeforeSpeak) || text.isEmpty())
        d->purge();
    if (!text.isEmpty()) {
        auto u = std::make_unique<Utterance>();
        u->id = d->nextId++;
        u->text = text;
        u->outputNumber = d->output;
        const OutputFormat format = OutputFormatOf(d->format).value_or(OutputFormat{});
        SpeechEngine& engine = SpeechEngine::instance();
        u->settings.voiceId = engine.voiceId(d->chosenVoice());
        u->settings.wordsPerMinute = WordsPerMinute(d->rate);
        u->settings.wordGap = WordGap(d->rate);
        u->settings.volume = EngineVolume(d->volume);
        u->settings.sampleRate = format.sampleRate;
        u->settings.channels = format.channels;
        u->silent = !engine.available() || u->settings.voiceId.isEmpty();
        d->queue.push_back(std::move(u));
    }
    d->schedulePump();
}

bool SpeechVoice::isSpeaking() const
{
    return std::any_of(d->queue.begin(), d->queue.end(), [](const auto& u) { return !u->purged; });
}

int SpeechVoice::unendedStreams() const
{
    return int(d->queue.size());
}

int SpeechVoice::unstartedStreams() const
{
    return int(std::count_if(d->queue.begin(), d->queue.end(), [](const auto& u) { return !u->started; }));
}

// ---- the stream of one Speak ----

void SpeechVoice::Private::purge()
{
    for (auto& u : queue) {
        if (u->purged)
            continue;
        u->purged = true;
        u->cancel->store(true);
        // what was made ahead is dropped, so the sound stops now, not when it runs out
        if (u->started && u->output) {
            u->output->flush();
            u->output->stop();
        }
    }
}

void SpeechVoice::Private::schedulePump()
{
    QMetaObject::invokeMethod(
        q, [this] { pump(); }, Qt::QueuedConnection);
}

void SpeechVoice::Private::pump()
{
    if (pumping) { // a slot called back into the voice: run again once this round is over
        again = true;
        return;
    }
    const QPointer<SpeechVoice> alive(q);
    pumping = true;
    do {
        again = false;
        if (!step(alive))
            return; // a slot destroyed the voice
    } while (again);
    pumping = false;
    if (queue.empty())
        poll.stop();
    else if (!poll.isActive())
        poll.start();
}

bool SpeechVoice::Private::step(const QPointer<SpeechVoice>& alive)
{
    // the front stream ends; false when a slot destroyed the voice
    const auto endFront = [&] {
        const auto done = std::move(queue.front());
        queue.pop_front();
        emit q->EndStream();
        return !alive.isNull();
    };
    while (!queue.empty()) {
        Utterance* u = queue.front().get();
        if (u->purged) {
            const auto done = std::move(queue.front());
            queue.pop_front();
            if (!done->started)
                emit q->StartStream();
            if (alive)
                emit q->EndStream();
            if (!alive)
                return false;
            continue;
        }
        if (!u->started) {
            begin(*u);
            emit q->StartStream();
            if (!alive)
                return false;
            continue;
        }
        if (u->silent || !u->output) { // nothing to speak with, or the output went away
            if (!endFront())
                return false;
            continue;
        }

        const qint64 heard = u->output->playedMicros();
        bool interrupted = false;
        while (!u->visemes.empty() && u->visemes.front().first <= heard) {
            const int viseme = u->visemes.front().second;
            u->visemes.pop_front();
            emit q->Viseme(viseme);
            if (!alive)
                return false;
            if (u->purged || !u->output) {
                interrupted = true;
                break;
            }
        }
        if (interrupted)
            continue;

        const bool allSent = u->next >= u->text.size();
        if (!u->pieceInFlight && !allSent && u->output->writtenMicros() - heard < kLeadMicros)
            requestPiece(*u);
        if (!u->pieceInFlight && allSent && u->output->playedMicros() >= u->output->writtenMicros()) {
            u->output->stop(); // a WAV file is complete before EndStream is heard of
            if (!endFront())
                return false;
            continue;
        }
        return true;
    }
    return true;
}

void SpeechVoice::Private::begin(Utterance& u)
{
    u.started = true;
    if (u.silent)
        return;
    u.output = AudioOutputs::instance().output(u.outputNumber);
    if (!u.output || !u.output->start(u.settings.sampleRate, u.settings.channels))
        u.silent = true;
}

void SpeechVoice::Private::requestPiece(Utterance& u)
{
    const qsizetype end = PieceEnd(u.text, u.next, kPieceLength);
    SpeechRequest request = u.settings;
    request.text = u.text.mid(u.next, end - u.next);
    // a pause after a piece only where the text itself pauses
    const QChar last = request.text.isEmpty() ? QChar(u'.') : request.text.back();
    request.endPause = end >= u.text.size() || last.isPunct() || last.isSpace();
    request.cancel = u.cancel;
    // each stretch of sound is handed to this thread as soon as the engine makes it
    const auto deliver = [mailbox = mailbox, id = u.id](SpeechAudio audio, bool last) {
        std::lock_guard lock(mailbox->mutex);
        if (SpeechVoice* voice = mailbox->voice)
            QMetaObject::invokeMethod(
                voice,
                [voice, id, last, audio = std::move(audio)]() mutable {
                    voice->d->onAudio(id, std::move(audio), last);
                },
                Qt::QueuedConnection);
    };
    request.chunk = [deliver](SpeechAudio audio) { deliver(std::move(audio), false); };
    request.done = [deliver](SpeechAudio audio) { deliver(std::move(audio), true); };
    u.next = end;
    u.pieceInFlight = true;
    u.pieceStart = -1;
    SpeechEngine::instance().submit(std::move(request));
}

void SpeechVoice::Private::onAudio(quint64 id, SpeechAudio audio, bool last)
{
    if (queue.empty() || queue.front()->id != id)
        return; // purged and ended meanwhile
    Utterance& u = *queue.front();
    if (last)
        u.pieceInFlight = false;
    if (!u.purged && !audio.cancelled && u.output) {
        if (u.pieceStart < 0)
            u.pieceStart = u.output->writtenMicros();
        u.output->write(audio.pcm);
        // events are heard when the output has played up to their place in the stream; the
        // resampler may still hold the sound of the latest ones
        const qint64 written = u.output->writtenMicros();
        for (const auto& [micros, viseme] : audio.visemes)
            u.visemes.emplace_back(std::min(u.pieceStart + micros, written), viseme);
    }
    pump();
}

} // namespace platform
