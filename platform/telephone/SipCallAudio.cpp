// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipCallAudio.h"

#include "platform/telephone/SipDeferrals.h"

#include <linphone++/linphone.hh>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QtEndian>
#include <algorithm>

namespace platform {

namespace {

constexpr int kSilenceSeconds = 5; // the silence played between prompts keeps RTP flowing

bool WriteWav(const QString& path, int sampleRate, int channels, const QByteArray& pcm)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && f.write(PcmWavHeader(sampleRate, channels, pcm.size())) == 44 && f.write(pcm) == pcm.size();
}

// Bytes of near-silence at the start of 16-bit PCM, whole frames.
qsizetype LeadingSilence(const QByteArray& pcm, int channels)
{
    constexpr int kQuiet = 64; // far below speech, above dither
    const qsizetype frame = 2 * qsizetype(channels);
    qsizetype i = 0;
    while (i + frame <= pcm.size()) {
        bool quiet = true;
        for (qsizetype c = 0; c < frame; c += 2)
            quiet &= std::abs(int(qFromLittleEndian<qint16>(pcm.constData() + i + c))) < kQuiet;
        if (!quiet)
            break;
        i += frame;
    }
    return i;
}

qint64 NowMicros()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed() / 1000;
}

} // namespace

// The end of a played file, taken up after the stack's callback has returned: reopening the
// player from inside it stalls the player.
class SipCallAudio::PlayerEvents : public linphone::PlayerListener
{
public:
    PlayerEvents(std::shared_ptr<SipDeferrals> deferrals, SipCallAudio* audio)
        : deferrals_(std::move(deferrals)), audio_(audio)
    { }
    void onEofReached(const std::shared_ptr<linphone::Player>&) override
    {
        deferrals_->post([audio = audio_] {
            if (audio)
                audio->onEnd();
        });
    }

private:
    std::shared_ptr<SipDeferrals> deferrals_;
    QPointer<SipCallAudio> audio_;
};

QString SipCallAudio::WriteSilence(const QString& folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("silence.wav"));
    WriteWav(path, 8000, 1, QByteArray(8000 * 2 * kSilenceSeconds, '\0'));
    return path;
}

SipCallAudio::SipCallAudio(std::shared_ptr<linphone::Call> call, QString folder, QString silence, QString far,
                           std::shared_ptr<SipDeferrals> deferrals)
    : call_(std::move(call)), folder_(std::move(folder)), silence_(std::move(silence)), far_(std::move(far))
{
    player_ = call_->getPlayer();
    if (player_) {
        listener_ = std::make_shared<PlayerEvents>(std::move(deferrals), this);
        player_->addListener(listener_);
    }
    QMetaObject::invokeMethod(
        this, [this] { playNext(); }, Qt::QueuedConnection);
}

SipCallAudio::~SipCallAudio()
{
    if (player_ && listener_)
        player_->removeListener(listener_);
    dropSegments();
}

QString SipCallAudio::description() const
{
    return QStringLiteral("SIP call %1").arg(far_);
}

bool SipCallAudio::start(int sampleRate, int channels)
{
    dropSegments();
    if (sampleRate < 1000 || sampleRate > 192000 || channels < 1 || channels > 2) {
        error_ = QStringLiteral("Unsupported sound format %1 Hz, %2 channels.").arg(sampleRate).arg(channels);
        started_ = false;
        return false;
    }
    rate_ = sampleRate;
    channels_ = channels;
    writtenBytes_ = 0;
    finishedMicros_ = 0;
    sounded_ = false;
    started_ = true;
    error_.clear();
    if (speaking_)
        playNext();
    return true;
}

qint64 SipCallAudio::write(const QByteArray& pcm)
{
    if (!started_ || pcm.isEmpty())
        return 0;
    writtenBytes_ += pcm.size();
    QByteArray sound = pcm;
    if (!sounded_) { // the silence a voice starts with is not waited for
        const qsizetype silent = LeadingSilence(sound, channels_);
        finishedMicros_ += microsOf(silent);
        sound.remove(0, silent);
        sounded_ = !sound.isEmpty();
    }
    pending_.append(sound);
    // The first sound goes out at once; what comes while a segment plays gathers into the next
    // one, so that speech made in many small stretches does not become many short files.
    if (!speaking_)
        commit();
    return pcm.size();
}

void SipCallAudio::flush()
{
    const qint64 heard = playedMicros();
    dropSegments();
    finishedMicros_ = heard;
    writtenBytes_ = bytesOf(heard);
    if (speaking_)
        playNext();
}

qint64 SipCallAudio::playedMicros() const
{
    qint64 current = 0;
    if (speaking_ && !segments_.empty()) // the end is heard when the player says so
        current = std::clamp<qint64>(NowMicros() - segmentStart_, 0, segments_.front().micros - 1);
    return std::min(writtenMicros(), finishedMicros_ + current);
}

void SipCallAudio::commit()
{
    if (pending_.isEmpty())
        return;
    const QByteArray pcm = pending_.left(pending_.size() - pending_.size() % (2 * channels_));
    pending_.clear();
    Segment s{QDir(folder_).filePath(QStringLiteral("speech-%1.wav").arg(++serial_)), microsOf(pcm.size())};
    if (pcm.isEmpty() || !WriteWav(s.path, rate_, channels_, pcm)) {
        finishedMicros_ += s.micros; // what cannot be played counts as heard, so speech goes on
        QFile::remove(s.path);
        return;
    }
    segments_.push_back(s);
    if (!speaking_)
        playNext();
}

// The next segment, or the silence when there is none.
void SipCallAudio::playNext()
{
    if (!player_)
        return;
    player_->close();
    speaking_ = !segments_.empty();
    const QString file = speaking_ ? segments_.front().path : silence_;
    if (player_->open(file.toStdString()) == 0)
        player_->start();
    segmentStart_ = NowMicros();
}

void SipCallAudio::onEnd()
{
    if (speaking_ && !segments_.empty()) {
        finishedMicros_ += segments_.front().micros;
        QFile::remove(segments_.front().path);
        segments_.pop_front();
    }
    commit(); // what was written while it played
    playNext();
}

void SipCallAudio::dropSegments()
{
    pending_.clear();
    for (const Segment& s : segments_)
        QFile::remove(s.path);
    segments_.clear();
}

} // namespace platform
