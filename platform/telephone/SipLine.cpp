#include "platform/telephone/SipLine.h"

#include "platform/SettingsStore.h"
#include "platform/sound/AudioOutput.h"
#include "platform/telephone/SipLocationDialog.h"
#include "platform/telephone/SipSettingsDialog.h"

#include <linphone++/linphone.hh>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <deque>
#include <mutex>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kBusyIterateMs = 10;   // a call in progress: prompt digits and prompt speech
constexpr int kIdleIterateMs = 100;  // no call: an INVITE waits at most this long
constexpr int kLocalFailure = 1;     // Error number of a failure that has no SIP code
constexpr int kSilenceSeconds = 5;   // the silence played between prompts keeps RTP flowing
constexpr int kIncomingTimeoutS = 3600; // the call controller decides when a ringing call ends
constexpr int kMaxInfoBody = 64;     // a keypad INFO body is a few bytes
constexpr int kPacketMs = 10;        // speech starts going out after 10 ms of it, not 20
constexpr int kJitterMs = 0;         // the caller's sound is never listened to, only its keys

const QRegularExpression& HostPort()
{
    static const QRegularExpression re(QStringLiteral(R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9.\-]+)(:(\d{1,5}))?$)"));
    return re;
}

bool ValidHostPort(const QString& text)
{
    const QRegularExpressionMatch m = HostPort().match(text);
    return m.hasMatch() && (m.captured(3).isEmpty() || (m.captured(3).toInt() >= 1 && m.captured(3).toInt() <= 65535));
}

// sip:user@domain, the domain with an optional port
bool ValidIdentity(const QString& text)
{
    static const QRegularExpression re(QStringLiteral(R"(^sips?:([^@\s:;<>"]+)@(\S+)$)"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() && ValidHostPort(m.captured(2));
}

QString IdentityUser(const QString& identity)
{
    const qsizetype colon = identity.indexOf(u':');
    const qsizetype at = identity.indexOf(u'@');
    return at > colon ? identity.mid(colon + 1, at - colon - 1) : QString();
}

QString IdentityDomain(const QString& identity)
{
    const qsizetype at = identity.indexOf(u'@');
    return at < 0 ? QString() : identity.mid(at + 1);
}

QString Key(int index, const char* field)
{
    return QStringLiteral("sipDevice%1%2").arg(index).arg(QLatin1String(field));
}

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

bool WriteWav(const QString& path, int sampleRate, int channels, const QByteArray& pcm)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(PcmWavHeader(sampleRate, channels, pcm.size())) == 44
           && f.write(pcm) == pcm.size();
}

// The keys a caller can press; anything else from the far end is dropped.
QString KeypadDigit(QChar c)
{
    const char16_t u = c.toUpper().unicode();
    if ((u >= u'0' && u <= u'9') || u == u'*' || u == u'#' || (u >= u'A' && u <= u'D'))
        return QString(QChar(u));
    return {};
}

// The stack shares its ports (SO_REUSEADDR), so a port another program holds must be found
// before the stack is started on it.
bool UdpPortFree(int port)
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return true; // let the stack try
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(quint16(port));
    const bool free = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return free;
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

// The stack opens its sockets without close-on-exec: a program started later (a browser, a
// test's peer) would inherit them and keep the SIP port taken after the line is closed.
void KeepSocketsFromChildren()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        struct stat st{};
        if (!ok || fd <= 2 || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

qint64 NowMicros()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed() / 1000;
}

// Posts work to an object on its own thread, after the callback that asked for it has returned:
// the SIP stack must not have its call or media state changed from inside its callbacks.
struct Mailbox
{
    std::mutex mutex;
    QObject* target = nullptr;

    void post(std::function<void()> work)
    {
        std::lock_guard lock(mutex);
        if (target)
            QMetaObject::invokeMethod(target, std::move(work), Qt::QueuedConnection);
    }
    void close()
    {
        std::lock_guard lock(mutex);
        target = nullptr;
    }
};

// ---- the call's audio ----

// What a voice writes here is heard at the far end. Each batch of writes becomes a WAV segment
// that the call's player plays after the ones before it; between segments a silence loops so
// the far end keeps getting RTP. Heard time is the played segments plus the current one's
// elapsed time, and reaches what was written when the player reports the segment's end.
class CallOutput : public AudioOutput
{
public:
    CallOutput(std::shared_ptr<linphone::Call> call, QString folder, QString silence, QString far)
        : call_(std::move(call)), folder_(std::move(folder)), silence_(std::move(silence)), far_(std::move(far))
    {
        mailbox_->target = this;
        player_ = call_->getPlayer();
        if (player_) {
            listener_ = std::make_shared<PlayerEvents>(mailbox_, this);
            player_->addListener(listener_);
        }
        QMetaObject::invokeMethod(this, [this] { playNext(); }, Qt::QueuedConnection);
    }

    ~CallOutput() override
    {
        mailbox_->close();
        if (player_ && listener_)
            player_->removeListener(listener_);
        dropSegments();
    }

    QString description() const override { return QStringLiteral("SIP call %1").arg(far_); }

    bool start(int sampleRate, int channels) override
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
        started_ = true;
        error_.clear();
        if (speaking_)
            playNext();
        return true;
    }

    qint64 write(const QByteArray& pcm) override
    {
        if (!started_ || pcm.isEmpty())
            return 0;
        writtenBytes_ += pcm.size();
        QByteArray sound = pcm;
        if (writtenBytes_ == pcm.size()) { // the silence a voice starts with is not waited for
            const qsizetype silent = LeadingSilence(sound, channels_);
            finishedMicros_ += microsOf(silent);
            sound.remove(0, silent);
        }
        pending_.append(sound);
        if (!speaking_)
            commit(); // the first words go out at once
        else if (!commitPosted_) { // later writes of one turn of the event loop make one segment
            commitPosted_ = true;
            QMetaObject::invokeMethod(this, [this] { commit(); }, Qt::QueuedConnection);
        }
        return pcm.size();
    }

    void flush() override
    {
        const qint64 heard = playedMicros();
        dropSegments();
        finishedMicros_ = heard;
        writtenBytes_ = bytesOf(heard);
        if (speaking_)
            playNext();
    }

    void stop() override { started_ = false; }

    qint64 playedMicros() const override
    {
        qint64 current = 0;
        if (speaking_ && !segments_.empty()) // the end is heard when the player says so
            current = std::clamp<qint64>(NowMicros() - segmentStart_, 0, segments_.front().micros - 1);
        return std::min(writtenMicros(), finishedMicros_ + current);
    }

    qint64 writtenMicros() const override { return microsOf(writtenBytes_); }
    QString errorString() const override { return error_; }

private:
    struct Segment
    {
        QString path;
        qint64 micros = 0;
    };

    class PlayerEvents : public linphone::PlayerListener
    {
    public:
        PlayerEvents(std::shared_ptr<Mailbox> mailbox, CallOutput* output) : mailbox_(std::move(mailbox)), output_(output) {}
        void onEofReached(const std::shared_ptr<linphone::Player>&) override
        {
            CallOutput* output = output_;
            const std::shared_ptr<Mailbox> mailbox = mailbox_;
            mailbox_->post([mailbox, output] {
                std::unique_lock lock(mailbox->mutex);
                const bool alive = mailbox->target == output;
                lock.unlock();
                if (alive)
                    output->onEnd();
            });
        }

    private:
        std::shared_ptr<Mailbox> mailbox_;
        CallOutput* output_;
    };

    qint64 microsOf(qint64 bytes) const { return bytes / (2 * channels_) * 1000000 / rate_; }
    qint64 bytesOf(qint64 micros) const { return micros * rate_ / 1000000 * 2 * channels_; }

    void commit()
    {
        commitPosted_ = false;
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
    void playNext()
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

    void onEnd()
    {
        if (speaking_ && !segments_.empty()) {
            finishedMicros_ += segments_.front().micros;
            QFile::remove(segments_.front().path);
            segments_.pop_front();
        }
        playNext();
    }

    void dropSegments()
    {
        pending_.clear();
        for (const Segment& s : segments_)
            QFile::remove(s.path);
        segments_.clear();
    }

    std::shared_ptr<linphone::Call> call_;
    std::shared_ptr<linphone::Player> player_;
    std::shared_ptr<PlayerEvents> listener_;
    std::shared_ptr<Mailbox> mailbox_ = std::make_shared<Mailbox>();
    QString folder_, silence_, far_, error_;
    std::deque<Segment> segments_;
    QByteArray pending_;
    bool commitPosted_ = false;
    bool started_ = false;
    bool speaking_ = false;
    int rate_ = 8000;
    int channels_ = 1;
    qint64 writtenBytes_ = 0;
    qint64 finishedMicros_ = 0;
    qint64 segmentStart_ = 0;
    int serial_ = 0;
};

} // namespace

// ---- settings ----

QString SipLineConfig::name() const
{
    if (kind == Kind::Direct)
        return QStringLiteral("SIP direct port %1").arg(port);
    QString address = identity;
    address.remove(QRegularExpression(QStringLiteral("^sips?:")));
    return QStringLiteral("SIP %1").arg(address);
}

QString SipLineConfig::problem() const
{
    if (kind == Kind::Direct) {
        if (port < 1 || port > 65535)
            return QStringLiteral("The port must be a number from 1 to 65535.");
        if (!server.isEmpty() && !ValidHostPort(server))
            return QStringLiteral("The target host must be a host name or address, with an optional :port.");
        return {};
    }
    if (!ValidIdentity(identity))
        return QStringLiteral("The identity must look like sip:user@example.org.");
    if (!ValidHostPort(server))
        return QStringLiteral("The server must be a host name or address, with an optional :port.");
    if (!transport.isEmpty() && transport != u"udp" && transport != u"tcp" && transport != u"tls")
        return QStringLiteral("The transport must be udp, tcp or tls.");
    if (port < 0 || port > 65535)
        return QStringLiteral("The local port must be 0 (any) or a number up to 65535.");
    if (user.contains(QRegularExpression(QStringLiteral("\\s"))))
        return QStringLiteral("The user name must not contain blanks.");
    return {};
}

QList<SipLineConfig> LoadSipLines(const SettingsStore& store)
{
    constexpr int kMaxDevices = 64; // a damaged count must not make a huge list
    QList<SipLineConfig> lines;
    const int count = std::clamp(store.GetSetting(QStringLiteral("sipDevices"), QStringLiteral("0")).toInt(), 0, kMaxDevices);
    for (int i = 0; i < count; ++i) {
        SipLineConfig c;
        c.kind = store.GetSetting(Key(i, "Kind"), QString()).compare(u"direct", Qt::CaseInsensitive) == 0
                     ? SipLineConfig::Kind::Direct
                     : SipLineConfig::Kind::Account;
        c.identity = store.GetSetting(Key(i, "Identity"), QString());
        c.server = store.GetSetting(Key(i, "Server"), QString());
        c.user = store.GetSetting(Key(i, "User"), QString());
        c.password = store.GetSetting(Key(i, "Password"), QString());
        c.transport = store.GetSetting(Key(i, "Transport"), QString()).toLower();
        c.port = std::clamp(store.GetSetting(Key(i, "Port"), QStringLiteral("0")).toInt(), 0, 65535);
        lines.append(c);
    }
    return lines;
}

bool SaveSipLines(SettingsStore& store, const QList<SipLineConfig>& lines)
{
    const int before = store.GetSetting(QStringLiteral("sipDevices"), QStringLiteral("0")).toInt();
    bool ok = store.SaveSetting(QStringLiteral("sipDevices"), QString::number(lines.size()));
    for (int i = 0; i < lines.size(); ++i) {
        const SipLineConfig& c = lines[i];
        ok &= store.SaveSetting(Key(i, "Kind"), c.kind == SipLineConfig::Kind::Direct ? QStringLiteral("direct") : QStringLiteral("account"));
        ok &= store.SaveSetting(Key(i, "Identity"), c.identity);
        ok &= store.SaveSetting(Key(i, "Server"), c.server);
        ok &= store.SaveSetting(Key(i, "User"), c.user);
        ok &= store.SaveSetting(Key(i, "Password"), c.password);
        ok &= store.SaveSetting(Key(i, "Transport"), c.transport);
        ok &= store.SaveSetting(Key(i, "Port"), QString::number(c.port));
    }
    // a removed account leaves no password behind
    for (int i = int(lines.size()); i < std::min(before, 64); ++i)
        for (const char* field : {"Kind", "Identity", "Server", "User", "Password", "Transport", "Port"})
            ok &= store.SaveSetting(Key(i, field), QString());
    return ok;
}

QString LoadSipDialPrefix(const SettingsStore& store)
{
    const QString prefix = store.GetSetting(QStringLiteral("sipDialPrefix"), QString());
    return IsValidDialPrefix(prefix) ? prefix : QString();
}

bool SaveSipDialPrefix(SettingsStore& store, const QString& prefix)
{
    return store.SaveSetting(QStringLiteral("sipDialPrefix"), prefix);
}

bool IsValidDialPrefix(const QString& prefix)
{
    static const QRegularExpression re(QStringLiteral("^[0-9*#+]*$"));
    return prefix.size() <= 32 && re.match(prefix).hasMatch();
}

// ---- the line ----

struct SipLine::Private
{
    enum class CallState { None, Ringing, Answering, Dialling, Connected };

    SipLine* q = nullptr;
    QList<SipLineConfig> lines;
    SettingsStore* store = nullptr;
    QString prefix;
    bool autoAnswer = false;
    int ringIntervalMs = kRingIntervalMs;

    QTemporaryDir dir;
    QString silence;
    std::shared_ptr<linphone::Core> core;
    std::shared_ptr<linphone::CoreListener> listener;
    std::shared_ptr<linphone::Account> account;
    int open = -1;
    int localPort = 0;
    QTimer iterate;
    QTimer ring;

    std::shared_ptr<linphone::Call> call;
    CallState state = CallState::None;
    int rings = 0;
    int audio = -1;

    class Events;

    // Work the stack's callbacks leave for after they return. It holds the stack's objects, so
    // it is dropped when the stack stops: a call kept here would keep the stack and its ports.
    struct Inbox
    {
        std::mutex mutex;
        Private* d = nullptr;
        std::deque<std::function<void(Private*)>> work;
        bool drainPosted = false;

        void post(std::function<void(Private*)> item)
        {
            std::lock_guard lock(mutex);
            if (!d)
                return;
            work.push_back(std::move(item));
            if (!drainPosted) {
                drainPosted = true;
                QMetaObject::invokeMethod(d->q, [this, self = d->inbox] { drain(); }, Qt::QueuedConnection);
            }
        }
        void drain()
        {
            for (;;) {
                std::unique_lock lock(mutex);
                drainPosted = false;
                if (!d || work.empty())
                    return;
                const std::function<void(Private*)> item = std::move(work.front());
                work.pop_front();
                Private* const target = d;
                lock.unlock();
                item(target); // may stop the stack, which empties the inbox
            }
        }
        void clear()
        {
            std::lock_guard lock(mutex);
            work.clear();
        }
        void close()
        {
            std::lock_guard lock(mutex);
            d = nullptr;
            work.clear();
        }
    };
    std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();

    bool ours(const std::shared_ptr<linphone::Call>& c) const { return call && c && call->cPtr() == c->cPtr(); }
    bool startCore(const SipLineConfig& config);
    void stopCore();
    void setCadence() { iterate.setInterval(state == CallState::None ? kIdleIterateMs : kBusyIterateMs); }

    void onCallState(const std::shared_ptr<linphone::Call>& c, linphone::Call::State s);
    void onRegistration(const std::shared_ptr<linphone::Account>& a, linphone::RegistrationState s);
    void onDigit(const std::shared_ptr<linphone::Call>& c, const QString& digit);
    void connected();
    void endCall(bool hungUpHere);
    void error(int code, const QString& text) { emit q->Error(code, text); }
    std::shared_ptr<linphone::Address> target(const QString& number) const;
};

// The stack's callbacks only post; the work runs after the callback has returned.
class SipLine::Private::Events : public linphone::CoreListener
{
public:
    explicit Events(std::shared_ptr<Inbox> inbox) : inbox_(std::move(inbox)) {}

    void onCallStateChanged(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Call>& call,
                            linphone::Call::State state, const std::string&) override
    {
        post([call, state](Private* d) { d->onCallState(call, state); });
    }
    void onAccountRegistrationStateChanged(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Account>& account,
                                           linphone::RegistrationState state, const std::string&) override
    {
        post([account, state](Private* d) { d->onRegistration(account, state); });
    }
    void onDtmfReceived(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Call>& call, int dtmf) override
    {
        const QString digit = dtmf > 0 && dtmf < 128 ? KeypadDigit(QChar(char16_t(dtmf))) : QString();
        if (!digit.isEmpty())
            post([call, digit](Private* d) { d->onDigit(call, digit); });
    }
    // A keypad key as an INFO application/dtmf body: the key alone, perhaps with blanks.
    void onInfoReceived(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Call>& call,
                        const std::shared_ptr<const linphone::InfoMessage>& message) override
    {
        const std::shared_ptr<const linphone::Content> content = message ? message->getContent() : nullptr;
        if (!content || QString::fromStdString(content->getType()).compare(u"application", Qt::CaseInsensitive) != 0)
            return;
        const QString subtype = QString::fromStdString(content->getSubtype()).toLower();
        const size_t size = content->getSize();
        const uint8_t* buffer = content->getBuffer();
        if (!buffer || size == 0 || size > kMaxInfoBody)
            return;
        QString body = QString::fromLatin1(reinterpret_cast<const char*>(buffer), qsizetype(size)).trimmed();
        if (subtype == u"dtmf-relay") { // normally taken by the stack itself: "Signal=5"
            static const QRegularExpression signal(QStringLiteral("^Signal\\s*=\\s*(\\S)\\s*(\\r?\\n|$)"),
                                                   QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch m = signal.match(body);
            body = m.hasMatch() ? m.captured(1) : QString();
        } else if (subtype != u"dtmf") {
            return;
        }
        const QString digit = body.size() == 1 ? KeypadDigit(body[0]) : QString();
        if (!digit.isEmpty())
            post([call, digit](Private* d) { d->onDigit(call, digit); });
    }

private:
    void post(std::function<void(Private*)> work) { inbox_->post(std::move(work)); }

    std::shared_ptr<Inbox> inbox_;
};

SipLine::SipLine(QList<SipLineConfig> lines, SettingsStore* store, QObject* parent)
    : VoiceModem(parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->inbox->d = d.get();
    d->lines = std::move(lines);
    d->store = store;
    if (store)
        d->prefix = LoadSipDialPrefix(*store);
    d->silence = d->dir.filePath(QStringLiteral("silence.wav"));
    WriteWav(d->silence, 8000, 1, QByteArray(8000 * 2 * kSilenceSeconds, '\0'));
    connect(&d->iterate, &QTimer::timeout, this, [this] {
        if (d->core)
            d->core->iterate();
    });
    d->ring.setTimerType(Qt::PreciseTimer);
    connect(&d->ring, &QTimer::timeout, this, [this] {
        if (d->state == Private::CallState::Ringing)
            emit IncomingCall(++d->rings);
    });
}

SipLine::~SipLine()
{
    d->inbox->close();
    d->stopCore();
}

const QList<SipLineConfig>& SipLine::lines() const { return d->lines; }
void SipLine::setLines(const QList<SipLineConfig>& lines) { d->lines = lines; }
QString SipLine::dialPrefix() const { return d->prefix; }
void SipLine::setDialPrefix(const QString& prefix) { d->prefix = IsValidDialPrefix(prefix) ? prefix : QString(); }
bool SipLine::autoAnswer() const { return d->autoAnswer; }
void SipLine::setRingInterval(int ms) { d->ringIntervalMs = std::max(1, ms); }
int SipLine::localSipPort() const { return d->core ? d->localPort : 0; }
int32_t SipLine::audioDevice() const { return d->audio; }

int16_t SipLine::DeviceCount() const { return int16_t(std::min<qsizetype>(d->lines.size(), 32767)); }

QString SipLine::DeviceName(int32_t device) const
{
    return device >= 0 && device < d->lines.size() ? d->lines[device].name() : QString();
}

int32_t SipLine::DeviceCapabilities(int32_t device) const
{
    return device >= 0 && device < d->lines.size() ? kVoiceCapable : 0;
}

void SipLine::ShowModemDialog(int32_t device, QWidget* owner)
{
    SipSettingsDialog dialog(d->lines, int(device), owner);
    if (dialog.exec() != QDialog::Accepted)
        return;
    d->lines = dialog.lines();
    if (d->store)
        SaveSipLines(*d->store, d->lines);
}

void SipLine::ShowLocationDialog(int32_t, QWidget* owner)
{
    SipLocationDialog dialog(d->prefix, owner);
    if (dialog.exec() != QDialog::Accepted)
        return;
    setDialPrefix(dialog.prefix());
    if (d->store)
        SaveSipDialPrefix(*d->store, d->prefix);
}

void SipLine::OpenDevice(int32_t device, bool, bool autoAnswer)
{
    CloseDevice();
    d->autoAnswer = autoAnswer;
    if (device < 0 || device >= d->lines.size()) {
        QMetaObject::invokeMethod(this, [this, device] { d->error(kLocalFailure, QStringLiteral("There is no SIP line device %1.").arg(device)); },
                                  Qt::QueuedConnection);
        return;
    }
    const SipLineConfig config = d->lines[device];
    const QString problem = config.problem();
    if (!problem.isEmpty()) {
        QMetaObject::invokeMethod(this, [this, problem] { d->error(kLocalFailure, problem); }, Qt::QueuedConnection);
        return;
    }
    if (d->startCore(config))
        d->open = device;
}

void SipLine::CloseDevice()
{
    if (d->call)
        HangUp();
    d->stopCore();
    d->open = -1;
}

int32_t SipLine::LineState() const
{
    if (d->open < 0)
        return -1;
    switch (d->state) {
    case Private::CallState::None: return 0;
    case Private::CallState::Ringing: return 1;
    default: return 2;
    }
}

QString SipLine::MakeCall(const QString&, const QString&, const QString& number, bool)
{
    if (d->open < 0 || !d->core)
        return QStringLiteral("Bad");
    if (d->call)
        return QStringLiteral("Busy");
    const std::shared_ptr<linphone::Address> address = d->target(number.trimmed());
    if (!address)
        return QStringLiteral("Bad Number");
    const std::shared_ptr<linphone::CallParams> params = d->core->createCallParams(nullptr);
    params->enableVideo(false);
    const std::shared_ptr<linphone::Call> call = d->core->inviteAddressWithParams(address, params);
    if (!call)
        return QStringLiteral("Failed");
    d->call = call;
    d->state = Private::CallState::Dialling;
    d->setCadence();
    return number;
}

void SipLine::HangUp()
{
    if (!d->call) {
        QMetaObject::invokeMethod(this, [this] { emit Disconnected(); }, Qt::QueuedConnection);
        return;
    }
    d->endCall(true);
}

void SipLine::Answer()
{
    if (!d->call || d->state != Private::CallState::Ringing)
        return;
    d->ring.stop();
    const std::shared_ptr<linphone::CallParams> params = d->core->createCallParams(d->call);
    if (params)
        params->enableVideo(false);
    if ((params ? d->call->acceptWithParams(params) : d->call->accept()) != 0) {
        QMetaObject::invokeMethod(this, [this] { d->error(kLocalFailure, QStringLiteral("The call could not be answered.")); },
                                  Qt::QueuedConnection);
        return;
    }
    d->state = Private::CallState::Answering;
}

// ---- the stack ----

bool SipLine::Private::startCore(const SipLineConfig& config)
{
    const bool direct = config.kind == SipLineConfig::Kind::Direct;
    const QString transport = config.transport.isEmpty() ? QStringLiteral("udp") : config.transport;
    if (config.port > 0 && (direct || transport == u"udp") && !UdpPortFree(config.port)) {
        const QString text = QStringLiteral("Cannot listen on UDP port %1; another program is using it.").arg(config.port);
        QMetaObject::invokeMethod(q, [this, text] { error(kLocalFailure, text); }, Qt::QueuedConnection);
        return false;
    }
    const QString base = dir.path();
    const QString data = QDir(base).filePath(QStringLiteral("data"));
    const QString plugins = QDir(base).filePath(QStringLiteral("no-plugins"));
    QDir().mkpath(data);
    QDir().mkpath(plugins);

    static const bool quiet = [] {
        linphone::LoggingService::get()->setLogLevel(linphone::LogLevel::Fatal);
        return true;
    }();
    (void)quiet;
    const std::shared_ptr<linphone::Factory> factory = linphone::Factory::get();
    factory->setConfigDir(data.toStdString());
    factory->setDataDir((data + u'/').toStdString());
    factory->setDownloadDir((data + u'/').toStdString());
    // the stack's media plugins would bring another Qt into this process
    factory->setMspluginsDir(plugins.toStdString());

    core = factory->createCore("", "", nullptr); // no linphonerc: nothing piles up between runs
    if (!core) {
        QMetaObject::invokeMethod(q, [this] { error(kLocalFailure, QStringLiteral("The SIP stack could not be started.")); },
                                  Qt::QueuedConnection);
        return false;
    }
    listener = std::make_shared<Events>(inbox);
    core->addListener(listener);
    core->enableIpv6(false);
    core->enableVideoCapture(false);
    core->enableVideoDisplay(false);
    const std::shared_ptr<linphone::VideoActivationPolicy> video = factory->createVideoActivationPolicy();
    video->setAutomaticallyAccept(false);
    video->setAutomaticallyInitiate(false);
    core->setVideoActivationPolicy(video);
    core->setIncTimeout(kIncomingTimeoutS);
    core->setUseFiles(true); // no sound card: the call's player is its voice
    core->setRing("");
    core->setRingback("");
    core->setAudioPort(-1); // any free port: several lines and peers share this machine
    core->setVideoPort(-1);
    core->setAudioJittcomp(kJitterMs);
    core->setUploadPtime(kPacketMs);
    core->enableAudioAdaptiveJittcomp(false);
    core->setUseInfoForDtmf(false);
    core->setUseRfc2833ForDtmf(true);
    core->setUserAgent("Korvalen", "1");
    for (const std::shared_ptr<linphone::PayloadType>& pt : core->getAudioPayloadTypes()) {
        const std::string mime = pt->getMimeType();
        pt->enable(mime == "PCMU" || mime == "PCMA" || mime == "telephone-event");
    }

    const std::shared_ptr<linphone::Transports> transports = factory->createTransports();
    const int port = direct ? config.port : (config.port > 0 ? config.port : -1);
    transports->setUdpPort(direct || transport == u"udp" ? port : 0);
    transports->setTcpPort(!direct && transport == u"tcp" ? port : 0);
    transports->setTlsPort(!direct && transport == u"tls" ? port : 0);
    transports->setDtlsPort(0);
    core->setTransports(transports);

    if (core->start() != 0) {
        core = nullptr;
        QMetaObject::invokeMethod(q, [this] { error(kLocalFailure, QStringLiteral("The SIP stack could not be started.")); },
                                  Qt::QueuedConnection);
        return false;
    }
    KeepSocketsFromChildren();
    const std::shared_ptr<linphone::Transports> used = core->getTransportsUsed();
    localPort = used->getUdpPort() > 0 ? used->getUdpPort() : used->getTcpPort() > 0 ? used->getTcpPort() : used->getTlsPort();
    if (localPort <= 0) {
        stopCore();
        const QString text = direct ? QStringLiteral("Cannot listen on UDP port %1; another program may be using it.").arg(config.port)
                                    : QStringLiteral("Cannot open a local SIP port.");
        QMetaObject::invokeMethod(q, [this, text] { error(kLocalFailure, text); }, Qt::QueuedConnection);
        return false;
    }

    if (!direct) {
        const std::shared_ptr<linphone::AccountParams> params = core->createAccountParams();
        const std::shared_ptr<linphone::Address> identity = factory->createAddress(config.identity.toStdString());
        const std::shared_ptr<linphone::Address> server =
            factory->createAddress(QStringLiteral("sip:%1;transport=%2").arg(config.server, transport).toStdString());
        if (!identity || !server) {
            stopCore();
            QMetaObject::invokeMethod(q, [this] { error(kLocalFailure, QStringLiteral("The SIP identity or server is not valid.")); },
                                      Qt::QueuedConnection);
            return false;
        }
        params->setIdentityAddress(identity);
        params->setServerAddress(server);
        params->enableOutboundProxy(true);
        params->enableRegister(true);
        account = core->createAccount(params);
        const QString user = config.user.isEmpty() ? IdentityUser(config.identity) : config.user;
        core->addAuthInfo(factory->createAuthInfo(IdentityUser(config.identity).toStdString(), user.toStdString(),
                                                  config.password.toStdString(), "", "", ""));
        core->addAccount(account);
        core->setDefaultAccount(account);
    }
    state = CallState::None;
    setCadence();
    iterate.start();
    return true;
}

void SipLine::Private::stopCore()
{
    iterate.stop();
    ring.stop();
    if (audio >= 0)
        AudioOutputs::instance().remove(audio);
    audio = -1;
    call = nullptr;
    state = CallState::None;
    if (!core)
        return;
    core->removeListener(listener);
    core->stop();
    inbox->clear();
    core = nullptr;
    account = nullptr;
    listener = nullptr;
    localPort = 0;
}

std::shared_ptr<linphone::Address> SipLine::Private::target(const QString& number) const
{
    static const QRegularExpression plainNumber(QStringLiteral("^[0-9*#+]+$"));
    static const QRegularExpression plainUser(QStringLiteral("^[A-Za-z0-9._~!$&'()*+,;=%-]+$"));
    if (number.isEmpty() || number.size() > 256)
        return nullptr;
    QString uri;
    if (number.startsWith(u"sip:", Qt::CaseInsensitive) || number.startsWith(u"sips:", Qt::CaseInsensitive)) {
        uri = number;
    } else if (number.contains(u'@')) {
        uri = QStringLiteral("sip:") + number;
    } else {
        const bool digits = plainNumber.match(number).hasMatch();
        if (!digits && !plainUser.match(number).hasMatch())
            return nullptr;
        const SipLineConfig& config = lines[open];
        const QString host = config.kind == SipLineConfig::Kind::Direct ? config.server : IdentityDomain(config.identity);
        if (host.isEmpty())
            return nullptr;
        uri = QStringLiteral("sip:%1%2@%3").arg(digits ? prefix : QString(), number, host);
    }
    if (uri.contains(QRegularExpression(QStringLiteral("[\\s<>\"]"))))
        return nullptr;
    const std::shared_ptr<linphone::Address> address = linphone::Factory::get()->createAddress(uri.toStdString());
    if (!address || address->getDomain().empty())
        return nullptr;
    return address;
}

void SipLine::Private::onRegistration(const std::shared_ptr<linphone::Account>& a, linphone::RegistrationState s)
{
    if (!account || !a || a->cPtr() != account->cPtr() || s != linphone::RegistrationState::Failed)
        return;
    const std::shared_ptr<linphone::ErrorInfo> info = a->getErrorInfo();
    const int code = info ? info->getProtocolCode() : 0;
    const QString phrase = info ? Text(info->getPhrase()) : QString();
    // what the user can do about the usual refusals
    const QString hint = code == 401 || code == 407 || code == 403
                             ? QStringLiteral(" Check the user name and password of the SIP account.")
                             : code == 404 ? QStringLiteral(" Check the SIP identity.") : QString();
    if (code > 0)
        error(code, QStringLiteral("Registration failed: %1 %2.").arg(code).arg(phrase.trimmed()) + hint);
    else
        error(kLocalFailure, QStringLiteral("Registration failed: %1").arg(phrase.isEmpty() ? QStringLiteral("no answer from the server") : phrase));
}

void SipLine::Private::onCallState(const std::shared_ptr<linphone::Call>& c, linphone::Call::State s)
{
    using S = linphone::Call::State;
    if (!c || !core)
        return;
    if (s == S::IncomingReceived) {
        if (call && !ours(c)) { // one call at a time: the second caller hears busy
            c->decline(linphone::Reason::Busy);
            return;
        }
        if (open < 0) {
            c->decline(linphone::Reason::Declined);
            return;
        }
        call = c;
        state = CallState::Ringing;
        setCadence();
        rings = 1;
        const std::shared_ptr<const linphone::Address> from = c->getRemoteAddress();
        const QString name = from ? Text(from->getDisplayName()) : QString();
        const QString number = from ? Text(from->getUsername()) : QString();
        const int flags = (name.isEmpty() ? 0 : 4) | (number.isEmpty() ? 0 : 8);
        const QPointer<SipLine> alive(q);
        emit q->CallerID(number, name, flags ? flags : 32);
        if (!alive || !ours(c))
            return;
        ring.start(ringIntervalMs);
        emit q->IncomingCall(rings);
        return;
    }
    if (!ours(c))
        return;
    switch (s) {
    case S::StreamsRunning:
        if (state != CallState::Connected)
            connected();
        break;
    case S::Error:
    case S::End: {
        const std::shared_ptr<const linphone::ErrorInfo> info = c->getErrorInfo();
        const int code = info ? info->getProtocolCode() : 0;
        const bool failed = s == S::Error || (state == CallState::Dialling && code >= 300);
        if (failed && code >= 300) {
            error(code, QStringLiteral("Call failed: %1 %2").arg(code).arg(Text(info->getPhrase())).trimmed());
        } else if (failed) {
            const QString phrase = info ? Text(info->getPhrase()) : QString();
            error(kLocalFailure, QStringLiteral("Call failed: %1").arg(phrase.isEmpty() ? QStringLiteral("no answer") : phrase));
        }
        if (ours(c))
            endCall(false);
        break;
    }
    default:
        break;
    }
}

void SipLine::Private::connected()
{
    KeepSocketsFromChildren(); // the call's RTP sockets
    state = CallState::Connected;
    setCadence();
    ring.stop();
    const std::shared_ptr<const linphone::Address> far = call->getRemoteAddress();
    auto output = std::make_unique<CallOutput>(call, dir.path(), silence, far ? Text(far->asStringUriOnly()) : QString());
    audio = AudioOutputs::instance().add(std::move(output));
    emit q->PhoneConnected(audio, 0);
}

void SipLine::Private::onDigit(const std::shared_ptr<linphone::Call>& c, const QString& digit)
{
    if (ours(c))
        emit q->DigitReceived(digit);
}

// The call is over here at once; the far end is told (BYE, CANCEL or a refusal) when we end it.
void SipLine::Private::endCall(bool hungUpHere)
{
    const std::shared_ptr<linphone::Call> ending = std::move(call);
    call = nullptr;
    state = CallState::None;
    setCadence();
    ring.stop();
    if (audio >= 0)
        AudioOutputs::instance().remove(audio);
    audio = -1;
    if (hungUpHere && ending) {
        const linphone::Call::State s = ending->getState();
        if (s == linphone::Call::State::IncomingReceived)
            ending->decline(linphone::Reason::Declined);
        else if (s != linphone::Call::State::End && s != linphone::Call::State::Released && s != linphone::Call::State::Error)
            ending->terminate();
        QMetaObject::invokeMethod(q, [q = q] { emit q->Disconnected(); }, Qt::QueuedConnection);
        return;
    }
    emit q->Disconnected();
}

} // namespace platform
