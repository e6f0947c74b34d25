// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/ScriptedLine.h"

#include "platform/sound/AudioOutput.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace platform {

// What was spoken down the line in a call, and in which format.
struct ScriptedLineRecording
{
    QByteArray pcm;
    int sampleRate = 8000;
    int channels = 1;
};

namespace {

// The call's audio: keeps what is spoken and hears it at once, as a line that never lags.
class RecordingOutput : public AudioOutput
{
public:
    explicit RecordingOutput(std::shared_ptr<ScriptedLineRecording> sink) : sink_(std::move(sink)) { }
    QString description() const override { return QStringLiteral("Scripted line call"); }
    bool start(int sampleRate, int channels) override
    {
        bytesPerSecond_ = qint64(sampleRate) * channels * 2;
        written_ = 0;
        if (bytesPerSecond_ > 0) {
            sink_->sampleRate = sampleRate;
            sink_->channels = channels;
        }
        return bytesPerSecond_ > 0;
    }
    qint64 write(const QByteArray& pcm) override
    {
        const qint64 whole = pcm.size() & ~qsizetype(1);
        sink_->pcm.append(pcm.left(whole));
        written_ += whole;
        return whole;
    }
    void flush() override { }
    void stop() override { }
    qint64 playedMicros() const override { return writtenMicros(); }
    qint64 writtenMicros() const override { return bytesPerSecond_ ? written_ * 1000000 / bytesPerSecond_ : 0; }

private:
    std::shared_ptr<ScriptedLineRecording> sink_;
    qint64 bytesPerSecond_ = 0;
    qint64 written_ = 0;
};

constexpr int32_t kClosed = -1, kIdle = 0, kRinging = 1, kInCall = 2;

} // namespace

ScriptedLine::ScriptedLine(QStringList names, QObject* parent)
    : VoiceModem(parent), names_(std::move(names)), spoken_(std::make_shared<ScriptedLineRecording>()),
      speechFolder_(qEnvironmentVariable("KORVALEN_SCRIPTED_LINE_SPEECH"))
{
    stepTimer_.setSingleShot(true);
    QObject::connect(&stepTimer_, &QTimer::timeout, this, &ScriptedLine::runSteps);
}

ScriptedLine::~ScriptedLine()
{
    if (audio_ >= 0)
        AudioOutputs::instance().remove(audio_);
}

void ScriptedLine::ShowModemDialog(int32_t device, QWidget*)
{
    operations_ << QStringLiteral("dialog %1").arg(device);
}

void ScriptedLine::ShowLocationDialog(int32_t device, QWidget*)
{
    operations_ << QStringLiteral("location %1").arg(device);
}

int16_t ScriptedLine::DeviceCount() const
{
    return int16_t(names_.size());
}

QString ScriptedLine::DeviceName(int32_t device) const
{
    return device >= 0 && device < names_.size() ? names_[device] : QString();
}

int32_t ScriptedLine::DeviceCapabilities(int32_t device) const
{
    if (device < 0 || device >= names_.size())
        return 0;
    return names_[device].endsWith(QStringLiteral(" (data)")) ? 0 : kVoiceCapable;
}

void ScriptedLine::OpenDevice(int32_t device, bool, bool autoAnswer)
{
    if (device < 0 || device >= names_.size()) {
        emit Error(-1, QStringLiteral("No line device %1").arg(device));
        return;
    }
    if (open_ >= 0)
        CloseDevice();
    open_ = device;
    autoAnswer_ = autoAnswer;
    state_ = kIdle;
    operations_ << QStringLiteral("open %1%2").arg(device).arg(autoAnswer ? " auto" : "");
}

void ScriptedLine::CloseDevice()
{
    if (open_ < 0)
        return;
    endCall();
    operations_ << QStringLiteral("close");
    open_ = -1;
    state_ = kClosed;
}

int32_t ScriptedLine::LineState() const
{
    return state_;
}

QString ScriptedLine::MakeCall(const QString&, const QString&, const QString& number, bool)
{
    if (state_ < 0)
        return QStringLiteral("Bad");
    if (state_ != kIdle)
        return QStringLiteral("Busy");
    if (!refusal_.isEmpty())
        return std::exchange(refusal_, QString());
    operations_ << QStringLiteral("dial ") + number;
    state_ = kRinging;
    if (connectOnAnswer_)
        QMetaObject::invokeMethod(this, &ScriptedLine::connect, Qt::QueuedConnection);
    return number;
}

void ScriptedLine::HangUp()
{
    operations_ << QStringLiteral("hangup");
    endCall();
    QMetaObject::invokeMethod(this, &VoiceModem::Disconnected, Qt::QueuedConnection);
}

void ScriptedLine::Answer()
{
    operations_ << QStringLiteral("answer");
    if (connectOnAnswer_ && state_ == kRinging)
        QMetaObject::invokeMethod(this, &ScriptedLine::connect, Qt::QueuedConnection);
}

void ScriptedLine::setLocalCallersOnly(bool on)
{
    operations_ << (on ? QStringLiteral("local callers only") : QStringLiteral("any callers"));
}

void ScriptedLine::ring(int32_t rings)
{
    if (state_ < 0)
        return;
    if (state_ == kIdle)
        state_ = kRinging;
    emit IncomingCall(rings);
}

void ScriptedLine::callerId(const QString& number, const QString& name, int32_t flags)
{
    if (state_ >= 0)
        emit CallerID(number, name, flags);
}

void ScriptedLine::connect()
{
    if (state_ != kRinging)
        return;
    state_ = kInCall;
    spoken_->pcm.clear();
    audio_ = AudioOutputs::instance().add(std::make_unique<RecordingOutput>(spoken_));
    emit PhoneConnected(audio_, 0);
}

void ScriptedLine::digit(const QString& digit)
{
    if (state_ == kInCall)
        emit DigitReceived(digit);
}

void ScriptedLine::farHangUp()
{
    if (state_ <= kIdle)
        return;
    endCall();
    emit Disconnected();
}

void ScriptedLine::error(int32_t number, const QString& description)
{
    emit Error(number, description);
}

QByteArray ScriptedLine::spoken() const
{
    return spoken_->pcm;
}

void ScriptedLine::endCall()
{
    if (audio_ >= 0) {
        AudioOutputs::instance().remove(std::exchange(audio_, -1));
        writeSpeech();
    }
    if (state_ > kIdle)
        state_ = kIdle;
}

// The call's speech as a WAV file of the next free number in the speech folder.
void ScriptedLine::writeSpeech()
{
    if (speechFolder_.isEmpty())
        return;
    const QDir folder(speechFolder_);
    QString path;
    for (int n = 1; path.isEmpty() || QFile::exists(path); ++n)
        path = folder.filePath(QStringLiteral("call-%1.wav").arg(n));
    QFile f(path);
    const QByteArray& pcm = spoken_->pcm;
    if (!f.open(QIODevice::WriteOnly) || f.write(PcmWavHeader(spoken_->sampleRate, spoken_->channels, pcm.size())) != 44
        || f.write(pcm) != pcm.size())
        qWarning("scripted line: cannot write the call's speech to %s: %s", qPrintable(path),
                 qPrintable(f.errorString()));
}

bool ScriptedLine::play(const QString& script, QString* problem, int stepMs)
{
    constexpr int kLongestWaitMs = 24 * 3600 * 1000; // waits adding up to more than a day are a typo
    stepMs = qBound(0, stepMs, kLongestWaitMs);
    std::vector<Step> steps;
    int wait = stepMs;
    const QStringList lines = script.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QStringList w = line.split(QRegularExpression(QStringLiteral("\\s+")));
        const QString verb = w[0].toLower();
        bool ok = true;
        const auto number = [&](int k) {
            bool good = false;
            const int v = k < w.size() ? w[k].toInt(&good) : 0;
            ok = ok && good;
            return v;
        };
        std::function<void()> run;
        if (verb == "ring" && w.size() == 2) {
            const int n = number(1);
            run = [this, n] { ring(n); };
        } else if (verb == "callerid" && w.size() >= 3) {
            const QString num = w[1], name = w.mid(3).join(' ');
            const int flags = number(2);
            run = [this, num, name, flags] { callerId(num, name, flags); };
        } else if (verb == "connect" && w.size() == 1) {
            run = [this] { connect(); };
        } else if (verb == "autoconnect" && w.size() == 1) {
            run = [this] { connectOnAnswer_ = true; };
        } else if (verb == "digit" && w.size() == 2) {
            const QString d = w[1];
            run = [this, d] { digit(d); };
        } else if (verb == "hangup" && w.size() == 1) {
            run = [this] { farHangUp(); };
        } else if (verb == "error" && w.size() >= 2) {
            const int n = number(1);
            const QString text = w.mid(2).join(' ');
            run = [this, n, text] { error(n, text); };
        } else if (verb == "wait" && w.size() == 2) {
            const int ms = number(1);
            ok = ok && ms >= 0 && ms <= kLongestWaitMs - wait;
            if (ok)
                wait += ms;
            if (ok)
                continue;
        } else {
            ok = false;
        }
        if (!ok) {
            if (problem)
                *problem = QStringLiteral("line %1: cannot read \"%2\"").arg(i + 1).arg(line);
            return false;
        }
        steps.push_back({wait, std::move(run)});
        wait = stepMs;
    }
    steps_.insert(steps_.end(), std::make_move_iterator(steps.begin()), std::make_move_iterator(steps.end()));
    if (!stepTimer_.isActive() && !steps_.empty())
        stepTimer_.start(steps_.front().waitMs);
    return true;
}

void ScriptedLine::runSteps()
{
    if (steps_.empty())
        return;
    Step step = std::move(steps_.front());
    steps_.erase(steps_.begin());
    step.run();
    if (!steps_.empty())
        stepTimer_.start(steps_.front().waitMs);
}

} // namespace platform
