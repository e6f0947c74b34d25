// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/SpeechEngine.h"

#include "platform/speech/SpeechTables.h"

#include <espeak-ng/speak_lib.h>

#include <cstring>
#include <utility>

namespace platform {

namespace {

// The piece being made; only the engine's thread touches it.
struct Synthesis
{
    const std::atomic_bool* cancel = nullptr;
    const std::atomic_bool* abort = nullptr;
    SpeechResampler* resampler = nullptr;
    const std::function<void(SpeechAudio)>* chunk = nullptr;
    SpeechAudio pending; // what goes out with the next chunk, or all of it without chunks
    int lastViseme = -1;
};
Synthesis* current = nullptr;

bool Stopped(const Synthesis& s)
{
    return (s.cancel && s.cancel->load()) || s.abort->load();
}

// Called by the engine each time its buffer fills (some tens of ms of sound) and at the end:
// the sound goes on from here at once, so the first words are heard whatever the text's length.
int OnSound(short* wav, int count, espeak_EVENT* events)
{
    Synthesis* s = current;
    if (!s)
        return 1;
    if (Stopped(*s))
        return 1; // returning 1 makes the engine stop this piece at once
    for (const espeak_EVENT* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type != espeakEVENT_PHONEME)
            continue;
        // the name fills all 8 bytes when it needs them, without a terminating zero
        const QString name = QString::fromUtf8(e->id.string, qsizetype(strnlen(e->id.string, sizeof e->id.string)));
        const int viseme = VisemeOfPhoneme(name);
        if (viseme != s->lastViseme)
            s->pending.visemes.append({qint64(e->audio_position) * 1000, viseme});
        s->lastViseme = viseme;
    }
    if (wav && count > 0)
        s->pending.pcm.append(s->resampler->push(wav, size_t(count)));
    if (*s->chunk && (!s->pending.pcm.isEmpty() || !s->pending.visemes.isEmpty()))
        (*s->chunk)(std::exchange(s->pending, SpeechAudio{}));
    return Stopped(*s) ? 1 : 0;
}

QByteArray Basename(const char* identifier)
{
    const QByteArray id(identifier ? identifier : "");
    return id.mid(id.lastIndexOf('/') + 1).toLower();
}

} // namespace

SpeechEngine& SpeechEngine::instance()
{
    static SpeechEngine engine;
    return engine;
}

SpeechEngine::SpeechEngine()
{
    thread_ = std::thread([this] { run(); });
}

SpeechEngine::~SpeechEngine()
{
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
        queue_.clear();
    }
    abort_ = true;
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void SpeechEngine::waitReady()
{
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return ready_; });
}

bool SpeechEngine::available()
{
    waitReady();
    return available_;
}

void SpeechEngine::whenReady(std::function<void()> work)
{
    {
        std::lock_guard lock(mutex_);
        if (!ready_) {
            whenReady_.push_back(std::move(work));
            return;
        }
    }
    work();
}

QList<VoiceInfo> SpeechEngine::voices()
{
    waitReady();
    return voices_;
}

QByteArray SpeechEngine::voiceId(int index)
{
    waitReady();
    return index >= 0 && index < voiceIds_.size() ? voiceIds_[index] : QByteArray();
}

void SpeechEngine::submit(SpeechRequest request)
{
    {
        std::lock_guard lock(mutex_);
        if (quitting_)
            return;
        queue_.push_back(std::move(request));
    }
    wake_.notify_all();
}

void SpeechEngine::run()
{
    // without its data the engine would end the program unless told not to
    const int rate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, nullptr,
                          espeakINITIALIZE_DONT_EXIT | espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_PHONEME_IPA);
    QList<VoiceInfo> voices;
    QList<QByteArray> ids;
    if (rate > 0) {
        espeak_SetSynthCallback(OnSound);
        const espeak_VOICE** list = espeak_ListVoices(nullptr);
        for (; list && *list; ++list) {
            const espeak_VOICE* v = *list;
            // languages: a priority byte, a code, a zero; an empty code ends the list
            const char* firstLanguage = v->languages && *v->languages ? v->languages + 1 : "";
            VoiceInfo info{QString::fromUtf8(Basename(v->identifier)), QString::fromUtf8(v->name).trimmed(),
                           LanguageIdOf(QString::fromUtf8(firstLanguage))};
            if (info.name.isEmpty() || info.description.isEmpty())
                continue;
            voices.append(info);
            ids.append(QByteArray(v->identifier));
        }
        // the Mandarin voice that reads pinyin comes before the one that reads it as English,
        // so a voice chosen by language reads tone numbers right
        const auto find = [&voices](const char* name) {
            for (qsizetype i = 0; i < voices.size(); ++i)
                if (voices[i].name == QLatin1String(name))
                    return i;
            return qsizetype(-1);
        };
        const qsizetype pinyin = find("cmn-latn-pinyin"), plain = find("cmn");
        if (pinyin > plain && plain >= 0) {
            voices.move(pinyin, plain);
            ids.move(pinyin, plain);
        }
        // The system's usual voice comes first, as the first voice is the one a new user gets.
        const qsizetype usual = find("en-us");
        if (usual > 0) {
            voices.move(usual, 0);
            ids.move(usual, 0);
        }
    }
    {
        std::lock_guard lock(mutex_);
        available_ = rate > 0 && !voices.isEmpty();
        engineRate_ = rate > 0 ? rate : 22050;
        voices_ = voices;
        voiceIds_ = ids;
        ready_ = true;
    }
    wake_.notify_all();
    std::vector<std::function<void()>> waiting;
    {
        std::lock_guard lock(mutex_);
        waiting.swap(whenReady_);
    }
    for (const auto& work : waiting)
        work();

    for (;;) {
        SpeechRequest request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quitting_ || !queue_.empty(); });
            if (quitting_)
                break;
            request = std::move(queue_.front());
            queue_.pop_front();
        }
        SpeechAudio audio = synthesize(request);
        if (request.done)
            request.done(std::move(audio));
    }
    if (rate > 0)
        espeak_Terminate();
}

SpeechAudio SpeechEngine::synthesize(const SpeechRequest& request)
{
    SpeechAudio audio;
    if ((request.cancel && request.cancel->load()) || !available_) {
        audio.cancelled = request.cancel && request.cancel->load();
        return audio;
    }
    // Rate and volume are set for every piece: another voice may have spoken between. Loading a
    // voice takes the engine milliseconds, so it is loaded only when it changes.
    if (request.voiceId != loadedVoice_) {
        loadedVoice_ = espeak_SetVoiceByName(request.voiceId.constData()) == EE_OK ? request.voiceId : QByteArray();
    }
    espeak_SetParameter(espeakRATE, request.wordsPerMinute, 0);
    espeak_SetParameter(espeakWORDGAP, request.wordGap, 0);
    espeak_SetParameter(espeakVOLUME, request.volume, 0);

    Synthesis synthesis;
    synthesis.cancel = request.cancel.get();
    synthesis.abort = &abort_;
    synthesis.resampler = &resampler_;
    synthesis.chunk = &request.chunk;
    resampler_.begin(engineRate_, request.sampleRate, request.channels);
    current = &synthesis;
    // control characters would end the text early (a zero) or be read out as names
    QString clean = request.text;
    for (QChar& c : clean)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    const QByteArray text = clean.toUtf8();
    unsigned int flags = espeakCHARS_UTF8;
    if (request.endPause)
        flags |= espeakENDPAUSE;
    espeak_Synth(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0, flags, nullptr, nullptr);
    current = nullptr;

    audio = std::move(synthesis.pending);
    audio.cancelled = request.cancel && request.cancel->load();
    if (audio.cancelled) {
        audio.pcm.clear();
        audio.visemes.clear();
        return audio;
    }
    audio.pcm.append(resampler_.finish()); // the filter's tail
    return audio;
}

} // namespace platform
