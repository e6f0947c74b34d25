// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/sound/AudioOutput.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <memory>

namespace linphone {
class Call;
class Player;
} // namespace linphone

namespace platform {

class SipDeferrals;

// The audio of a connected SIP call: what a voice writes here is heard at the far end. The first
// sound of a stream becomes a WAV segment at once; what is written while a segment plays becomes
// the next segment when that one ends, and the call's player plays them in turn;
// between segments a silence loops so the far end keeps getting RTP. Heard time is the played
// segments plus the current one's elapsed time, and reaches what was written when the player
// reports the segment's end.
class SipCallAudio : public AudioOutput
{
    Q_OBJECT
public:
    // Writes the silence played between prompts into folder; returns its path.
    static QString WriteSilence(const QString& folder);

    // folder: where the segments are written; far: the far end, for the description. The
    // player's reports go through deferrals, the stack's queue.
    SipCallAudio(std::shared_ptr<linphone::Call> call, QString folder, QString silence, QString far,
                 std::shared_ptr<SipDeferrals> deferrals);
    ~SipCallAudio() override;

    QString description() const override;
    bool start(int sampleRate, int channels) override;
    qint64 write(const QByteArray& pcm) override;
    void flush() override;
    void stop() override { started_ = false; }
    qint64 playedMicros() const override;
    qint64 writtenMicros() const override { return microsOf(writtenBytes_); }
    QString errorString() const override { return error_; }

private:
    struct Segment
    {
        QString path;
        qint64 micros = 0;
    };
    class PlayerEvents;

    qint64 microsOf(qint64 bytes) const { return bytes / (2 * channels_) * 1000000 / rate_; }
    qint64 bytesOf(qint64 micros) const { return micros * rate_ / 1000000 * 2 * channels_; }
    void commit();
    void playNext();
    void onEnd();
    void dropSegments();

    std::shared_ptr<linphone::Call> call_;
    std::shared_ptr<linphone::Player> player_;
    std::shared_ptr<PlayerEvents> listener_;
    QString folder_, silence_, far_, error_;
    std::deque<Segment> segments_;
    QByteArray pending_;
    bool sounded_ = false; // the stream has had more than its leading silence
    bool started_ = false;
    bool speaking_ = false;
    int rate_ = 8000;
    int channels_ = 1;
    qint64 writtenBytes_ = 0;
    qint64 finishedMicros_ = 0;
    qint64 segmentStart_ = 0;
    int serial_ = 0;
};

} // namespace platform
