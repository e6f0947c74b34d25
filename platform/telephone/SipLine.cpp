// SPDX-License-Identifier: GPL-3.0-or-later
// The SIP line: the line-device operations over one stack at a time, and the state of its one
// call. The stack itself is in SipStack.cpp, the call's audio in SipCallAudio.cpp and the
// settings in SipLineConfig.cpp.
#include "platform/telephone/SipLine.h"

#include "platform/sound/AudioOutput.h"
#include "platform/telephone/SipCallAudio.h"
#include "platform/telephone/SipStack.h"
#include "platform/telephone/SipTexts.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <malloc.h>

namespace platform {

namespace {

constexpr int kLocalFailure = 1; // Error number of a failure that has no SIP code

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

struct SipLine::Private : SipStack::Reports
{
    enum class CallState { None, Ringing, Answering, Dialling, Connected };

    SipLine* q = nullptr;
    bool autoAnswer = false;
    bool localOnly = false;
    int ringIntervalMs = kRingIntervalMs;

    QTemporaryDir dir;
    QString silence;
    std::unique_ptr<SipStack> stack;
    int open = -1;
    SipLineConfig current; // the open device's settings; the list may change meanwhile
    QTimer ring;
    // The stack lets go of a finished call's transactions about 32 s after its end; what it
    // freed is then handed back to the system, so a flood of calls leaves nothing behind.
    QTimer giveBackMemory;

    std::shared_ptr<linphone::Call> call;
    CallState state = CallState::None;
    int rings = 0;
    int audio = -1;

    bool ours(const std::shared_ptr<linphone::Call>& c) const { return call && c && call->cPtr() == c->cPtr(); }
    void stopStack();
    void setCadence()
    {
        if (stack)
            stack->setBusy(state != CallState::None);
    }
    void dropAudio();

    void callState(const std::shared_ptr<linphone::Call>& c, linphone::Call::State s) override;
    void digit(const std::shared_ptr<linphone::Call>& c, const QString& digit) override;
    void registrationFailed(int code, const QString& text) override
    {
        emit q->LineStatus(text);
        error(code > 0 ? code : kLocalFailure, text);
    }
    void registered() override
    {
        emit q->LineStatus(SipText("Registered", "%1: registered, ready for calls.").arg(current.name(open + 1)));
    }
    void connected();
    void endCall(bool hungUpHere);
    void error(int code, const QString& text) { emit q->Error(code, text); }
    // Failures found inside an operation are reported after it has returned, as the stack's are.
    void errorLater(const QString& text)
    {
        QMetaObject::invokeMethod(
            q, [q = q, text] { emit q->Error(kLocalFailure, text); }, Qt::QueuedConnection);
    }
    std::shared_ptr<linphone::Address> target(const QString& number) const;
    bool keepToLocalCallers();
};

SipLine::SipLine(QList<SipLineConfig> lines, SettingsStore* store, QObject* parent)
    : SipLineDevices(std::move(lines), store, parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->silence = SipCallAudio::WriteSilence(d->dir.path());
    d->ring.setTimerType(Qt::PreciseTimer);
    connect(&d->ring, &QTimer::timeout, this, [this] {
        if (d->state == Private::CallState::Ringing)
            emit IncomingCall(++d->rings);
    });
    d->giveBackMemory.setSingleShot(true);
    d->giveBackMemory.setInterval(kGiveBackMemoryMs);
    connect(&d->giveBackMemory, &QTimer::timeout, this, [] { ::malloc_trim(0); });
}

SipLine::~SipLine()
{
    d->stopStack();
}

bool SipLine::autoAnswer() const
{
    return d->autoAnswer;
}
void SipLine::setRingInterval(int ms)
{
    d->ringIntervalMs = std::max(1, ms);
}
int SipLine::localSipPort() const
{
    return d->stack ? d->stack->localPort() : 0;
}
int32_t SipLine::audioDevice() const
{
    return d->audio;
}
bool SipLine::localCallersOnly() const
{
    return d->localOnly;
}

void SipLine::setLocalCallersOnly(bool on)
{
    d->localOnly = on;
    if (d->stack && !d->keepToLocalCallers())
        CloseDevice();
}

// Tells the open direct listener whom to take calls from; a listener that should take only
// local callers but cannot be told so is not left open to everyone.
bool SipLine::Private::keepToLocalCallers()
{
    if (open < 0 || current.kind != SipLineConfig::Kind::Direct)
        return true;
    if (stack->setLocalCallersOnly(localOnly) || !localOnly) // a filter left behind only keeps strangers out
        return true;
    errorLater(QStringLiteral("The SIP line could not be kept to callers on this machine, so it was closed."));
    return false;
}

void SipLine::OpenDevice(int32_t device, bool, bool autoAnswer)
{
    CloseDevice();
    d->autoAnswer = autoAnswer;
    if (device < 0 || device >= lines().size()) {
        d->errorLater(QStringLiteral("There is no SIP line device %1.").arg(device));
        return;
    }
    const SipLineConfig config = lines()[device];
    QString problem = config.problem();
    if (problem.isEmpty())
        d->stack = SipStack::start(config, d->dir.path(), *d, this, &problem);
    if (!d->stack) {
        d->errorLater(problem);
        return;
    }
    d->open = device;
    d->current = config;
    if (!d->keepToLocalCallers()) {
        CloseDevice();
        return;
    }
    if (config.kind == SipLineConfig::Kind::Direct) {
        const QString ready = SipText("Listening", "%1: listening for calls.").arg(config.name(device + 1));
        QMetaObject::invokeMethod(
            this, [this, ready] { emit LineStatus(ready); }, Qt::QueuedConnection);
    }
}

void SipLine::CloseDevice()
{
    if (d->call)
        HangUp();
    d->stopStack();
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
    if (d->open < 0 || !d->stack)
        return QStringLiteral("Bad");
    if (d->call)
        return QStringLiteral("Busy");
    const std::shared_ptr<linphone::Address> address = d->target(number.trimmed());
    if (!address) {
        if (d->current.kind == SipLineConfig::Kind::Direct && d->current.server.isEmpty() && !number.contains(u'@')
            && !number.contains(u':'))
            d->errorLater(SipText("NoTarget",
                                  "%1 cannot dial %2: it has no target host. Enter where numbers are dialled in "
                                  "\"Server or target host\" of the SIP line's settings.")
                              .arg(d->current.name(d->open + 1), number.trimmed()));
        return QStringLiteral("Bad Number");
    }
    const std::shared_ptr<linphone::Core>& core = d->stack->core();
    const std::shared_ptr<linphone::CallParams> params = core->createCallParams(nullptr);
    params->enableVideo(false);
    const std::shared_ptr<linphone::Call> call = core->inviteAddressWithParams(address, params);
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
        QMetaObject::invokeMethod(
            this, [this] { emit Disconnected(); }, Qt::QueuedConnection);
        return;
    }
    d->endCall(true);
}

void SipLine::Answer()
{
    if (!d->call || d->state != Private::CallState::Ringing)
        return;
    d->ring.stop();
    const std::shared_ptr<linphone::CallParams> params = d->stack->core()->createCallParams(d->call);
    if (params)
        params->enableVideo(false);
    if ((params ? d->call->acceptWithParams(params) : d->call->accept()) != 0) {
        d->errorLater(QStringLiteral("The call could not be answered."));
        return;
    }
    d->state = Private::CallState::Answering;
}

// ---- the call ----

void SipLine::Private::dropAudio()
{
    if (audio >= 0)
        AudioOutputs::instance().remove(audio);
    audio = -1;
}

void SipLine::Private::stopStack()
{
    ring.stop();
    dropAudio();
    call = nullptr;
    state = CallState::None;
    stack.reset(); // drops the reports still pending: they hold the stack's calls
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
        const SipLineConfig& config = current;
        const QString host =
            config.kind == SipLineConfig::Kind::Direct ? config.server : SipIdentityDomain(config.identity);
        if (host.isEmpty())
            return nullptr;
        uri = QStringLiteral("sip:%1%2@%3").arg(digits ? q->dialPrefix() : QString(), number, host);
    }
    if (uri.contains(QRegularExpression(QStringLiteral("[\\s<>\"]"))))
        return nullptr;
    const std::shared_ptr<linphone::Address> address = linphone::Factory::get()->createAddress(uri.toStdString());
    if (!address || address->getDomain().empty())
        return nullptr;
    return address;
}

void SipLine::Private::callState(const std::shared_ptr<linphone::Call>& c, linphone::Call::State s)
{
    using S = linphone::Call::State;
    if (!c || !stack)
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
    if (s == S::Released) {
        // The program keeps its own log; the stack's call history would grow with every call,
        // and a flood of calls would leave megabytes of it behind.
        stack->core()->clearCallLogs();
        giveBackMemory.start();
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
            error(kLocalFailure,
                  QStringLiteral("Call failed: %1").arg(phrase.isEmpty() ? QStringLiteral("no answer") : phrase));
        }
        if (ours(c))
            endCall(false);
        break;
    }
    default: break;
    }
}

void SipLine::Private::connected()
{
    SipStack::KeepSocketsFromChildren(); // the call's RTP sockets
    state = CallState::Connected;
    setCadence();
    ring.stop();
    const std::shared_ptr<const linphone::Address> far = call->getRemoteAddress();
    audio = AudioOutputs::instance().add(std::make_unique<SipCallAudio>(
        call, dir.path(), silence, far ? Text(far->asStringUriOnly()) : QString(), stack->deferrals()));
    emit q->PhoneConnected(audio, 0);
}

void SipLine::Private::digit(const std::shared_ptr<linphone::Call>& c, const QString& digit)
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
    dropAudio();
    if (hungUpHere && ending) {
        const linphone::Call::State s = ending->getState();
        if (s == linphone::Call::State::IncomingReceived) // turned away: the caller hears busy
            ending->decline(linphone::Reason::Busy);
        else if (s != linphone::Call::State::End && s != linphone::Call::State::Released
                 && s != linphone::Call::State::Error)
            ending->terminate();
        QMetaObject::invokeMethod(
            q, [q = q] { emit q->Disconnected(); }, Qt::QueuedConnection);
        return;
    }
    emit q->Disconnected();
}

} // namespace platform
