// SPDX-License-Identifier: GPL-3.0-or-later
#include "InProcessSipPhone.h"

#include "SipPeers.h"
#include "TestSupport.h"

#include <QDir>
#include <linphone++/linphone.hh>

namespace {

constexpr int kTurnMs = 5; // a fast turn: keys and state changes go out without delay
constexpr int kKeyMs = 200; // a key sent while the one before (100 ms) still goes out is dropped
// How loud the far end's audio must be to count as sound (dBm0, as the stack's level meter gives
// it, smoothed over some 100 ms): spoken words are -20 and above, the line's silence between
// prompts -44 and below.
constexpr float kLoud = -30;

} // namespace

// The stack's callbacks only note what happened; the phone acts on it after the turn, as a
// stack must not be told anything from inside its own callbacks.
class InProcessSipPhone::Events : public linphone::CoreListener
{
public:
    explicit Events(InProcessSipPhone& phone) : phone_(phone) { }

    void onCallStateChanged(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Call>& call,
                            linphone::Call::State state, const std::string&) override
    {
        phone_.later_.push_back([this, call, state] { phone_.callState(call, int(state)); });
    }

private:
    InProcessSipPhone& phone_;
};

InProcessSipPhone::InProcessSipPhone(const QString& from)
{
    clock_.start();
    const QString data = dir_.filePath(QStringLiteral("data"));
    const QString plugins = dir_.filePath(QStringLiteral("no-plugins"));
    QDir().mkpath(data);
    QDir().mkpath(plugins);
    const std::shared_ptr<linphone::Factory> factory = linphone::Factory::get();
    factory->setConfigDir(data.toStdString());
    factory->setDataDir((data + u'/').toStdString());
    factory->setDownloadDir((data + u'/').toStdString());
    factory->setMspluginsDir(plugins.toStdString()); // its media plugins would bring another Qt in
    core_ = factory->createCore("", "", nullptr);
    if (!core_)
        return;
    // no databases on disk: creating them is most of a stack's start-up, and a phone keeps no history
    core_->getConfig()->setString("storage", "uri", "null");
    core_->setCallLogsDatabasePath(":memory:");
    core_->setZrtpSecretsFile(":memory:");
    events_ = std::make_shared<Events>(*this);
    core_->addListener(events_);
    core_->enableIpv6(false);
    core_->enableVideoCapture(false);
    core_->enableVideoDisplay(false);
    core_->setUseFiles(true);
    core_->setRing("");
    core_->setRingback("");
    core_->setAudioPort(-1);
    core_->setVideoPort(-1);
    core_->setIncTimeout(600);
    core_->setUseRfc2833ForDtmf(true);
    core_->setUseInfoForDtmf(false);
    core_->setPrimaryContact(from.toStdString());
    for (const std::shared_ptr<linphone::PayloadType>& pt : core_->getAudioPayloadTypes()) {
        const std::string mime = pt->getMimeType();
        pt->enable(mime == "PCMU" || mime == "PCMA" || mime == "telephone-event");
    }
    const quint16 wanted = sip_peers::ListenerPort();
    const std::shared_ptr<linphone::Transports> transports = factory->createTransports();
    transports->setUdpPort(wanted);
    transports->setTcpPort(0);
    transports->setTlsPort(0);
    transports->setDtlsPort(0);
    core_->setTransports(transports);
    if (core_->start() != 0)
        return;
    const int used = core_->getTransportsUsed()->getUdpPort();
    port = used > 0 ? quint16(used) : 0;
    turn_.setInterval(kTurnMs);
    QObject::connect(&turn_, &QTimer::timeout, &turn_, [this] { turn(); });
    turn_.start();
}

InProcessSipPhone::~InProcessSipPhone()
{
    turn_.stop();
    later_.clear();
    call_ = nullptr;
    if (core_) {
        if (events_)
            core_->removeListener(events_);
        core_->stop();
    }
}

void InProcessSipPhone::turn()
{
    core_->iterate();
    std::vector<std::function<void()>> due;
    due.swap(later_);
    for (const std::function<void()>& f : due)
        f();
    if (!call_ || call_->getState() != linphone::Call::State::StreamsRunning)
        return;
    heard_.push_back({clock_.elapsed(), call_->getPlayVolume() > kLoud});
    if (!keys_.isEmpty() && now() - lastKeyMs_ >= kKeyMs) {
        call_->sendDtmf(char(keys_.front().toLatin1()));
        keys_.remove(0, 1);
        lastKeyMs_ = now();
    }
}

void InProcessSipPhone::callState(const std::shared_ptr<linphone::Call>& call, int s)
{
    using S = linphone::Call::State;
    const S state = S(s);
    if (state == S::IncomingReceived) {
        if (call_) {
            call->decline(linphone::Reason::Busy);
            return;
        }
        call_ = call;
        connected_ = hungUpHere_ = false;
        const std::shared_ptr<const linphone::Address> to = call->getToAddress();
        incomingTo_ = to ? QString::fromStdString(to->asStringUriOnly()) : QString();
        note(QStringLiteral("incoming"));
        call->accept();
        return;
    }
    if (call != call_)
        return;
    switch (state) {
    case S::OutgoingRinging: note(QStringLiteral("ringing")); break;
    case S::StreamsRunning:
        if (!connected_)
            note(QStringLiteral("connected"));
        connected_ = true;
        break;
    case S::End:
    case S::Error: {
        const std::shared_ptr<const linphone::ErrorInfo> info = call->getErrorInfo();
        const int code = info ? info->getProtocolCode() : 0;
        if (code >= 300 && call->getDir() == linphone::Call::Dir::Outgoing && !hungUpHere_)
            note(QStringLiteral("refused %1").arg(code));
        else if (state == S::Error)
            note(QStringLiteral("failed"));
        else
            note(hungUpHere_ ? QStringLiteral("ended by us") : QStringLiteral("ended by them"));
        call_ = nullptr;
        keys_.clear();
        break;
    }
    default: break;
    }
}

bool InProcessSipPhone::call(const QString& uri)
{
    if (!core_ || call_)
        return false;
    const std::shared_ptr<linphone::CallParams> params = core_->createCallParams(nullptr);
    params->enableVideo(false);
    const std::shared_ptr<linphone::Address> to = linphone::Factory::get()->createAddress(uri.toStdString());
    call_ = to ? core_->inviteAddressWithParams(to, params) : nullptr;
    hungUpHere_ = connected_ = false;
    if (call_)
        note(QStringLiteral("calling"));
    return call_ != nullptr;
}

void InProcessSipPhone::hangUp()
{
    if (!call_)
        return;
    hungUpHere_ = true;
    call_->terminate();
}

bool InProcessSipPhone::waitFor(const QString& entry, int ms) const
{
    return testing_support::waitUntil([&] { return log_.contains(entry); }, ms);
}

double InProcessSipPhone::soundSince(qint64 ms) const
{
    qint64 loud = 0;
    for (size_t i = 1; i < heard_.size(); ++i)
        if (heard_[i].ms >= ms && heard_[i].loud)
            loud += heard_[i].ms - heard_[i - 1].ms;
    return loud / 1000.0;
}
