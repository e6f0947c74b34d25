// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipStack.h"

#include "platform/telephone/SipKeypad.h"

#include "platform/telephone/SipDatagramGuard.h"
#include "platform/telephone/SipDeferrals.h"
#include "platform/telephone/SipLineConfig.h"
#include "platform/telephone/SipTexts.h"

#include <QDir>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <linux/filter.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kBusyIterateMs = 10; // a call in progress: prompt digits and prompt speech
constexpr int kIdleIterateMs = 100; // no call: an INVITE waits at most this long
constexpr int kIncomingTimeoutS = 600; // the call controller turns an unanswered caller away long before
constexpr int kPacketMs = 10; // speech starts going out after 10 ms of it, not 20
constexpr int kJitterMs = 0; // the caller's sound is never listened to, only its keys

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

// For TLS accounts: the certificates the program's mail connections trust too, the system's and
// any added to the default configuration, in PEM.
std::string TrustedCertificates()
{
    QList<QSslCertificate> all = QSslConfiguration::systemCaCertificates();
    for (const QSslCertificate& c : QSslConfiguration::defaultConfiguration().caCertificates())
        if (!all.contains(c))
            all << c;
    QByteArray pem;
    for (const QSslCertificate& c : all)
        pem += c.toPem();
    return pem.toStdString();
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

// Every socket of this process.
void ForEachSocket(const std::function<void(int fd)>& f)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        struct stat st
        {
        };
        if (ok && fd > 2 && ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode))
            f(fd);
    }
}

} // namespace

// The stack's callbacks only post; the work runs after the callback has returned, while the
// stack is still there (its queue closes when it goes).
class SipStack::Events : public linphone::CoreListener
{
public:
    Events(SipStack& stack, Reports& reports) : deferrals_(stack.deferrals_), stack_(&stack), reports_(&reports) { }

    void onCallStateChanged(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Call>& call,
                            linphone::Call::State state, const std::string&) override
    {
        deferrals_->post([reports = reports_, call, state] { reports->callState(call, state); });
    }
    void onAccountRegistrationStateChanged(const std::shared_ptr<linphone::Core>&,
                                           const std::shared_ptr<linphone::Account>& account,
                                           linphone::RegistrationState state, const std::string&) override
    {
        if (state == linphone::RegistrationState::Ok) {
            deferrals_->post([stack = stack_, reports = reports_, account] {
                if (stack->account_ && account && account->cPtr() == stack->account_->cPtr())
                    reports->registered();
            });
            return;
        }
        if (state != linphone::RegistrationState::Failed)
            return;
        deferrals_->post([stack = stack_, reports = reports_, account] {
            if (!stack->account_ || !account || account->cPtr() != stack->account_->cPtr())
                return;
            const std::shared_ptr<linphone::ErrorInfo> info = account->getErrorInfo();
            if (info && info->getReason() == linphone::Reason::IOError) { // the stack's own answer: no connection
                reports->registrationFailed(0, SipConnectionProblem(stack->tls_));
                return;
            }
            const int code = info ? info->getProtocolCode() : 0;
            reports->registrationFailed(code, SipRegistrationProblem(code, info ? Text(info->getPhrase()) : QString()));
        });
    }
    void onDtmfReceived(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Call>& call,
                        int dtmf) override
    {
        digit(call, dtmf > 0 && dtmf < 128 ? KeypadDigit(QChar(char16_t(dtmf))) : QString());
    }
    // A keypad key in an INFO body.
    void onInfoReceived(const std::shared_ptr<linphone::Core>&, const std::shared_ptr<linphone::Call>& call,
                        const std::shared_ptr<const linphone::InfoMessage>& message) override
    {
        const std::shared_ptr<const linphone::Content> content = message ? message->getContent() : nullptr;
        if (!content || !content->getBuffer())
            return;
        const size_t size = content->getSize();
        if (size > 4096)
            return;
        digit(call,
              KeypadKeyFromInfo(Text(content->getType()), Text(content->getSubtype()),
                                QByteArray(reinterpret_cast<const char*>(content->getBuffer()), qsizetype(size))));
    }

private:
    void digit(const std::shared_ptr<linphone::Call>& call, const QString& key)
    {
        if (!key.isEmpty())
            deferrals_->post([reports = reports_, call, key] { reports->digit(call, key); });
    }

    std::shared_ptr<SipDeferrals> deferrals_;
    SipStack* stack_;
    Reports* reports_;
};

std::unique_ptr<SipStack> SipStack::start(const SipLineConfig& config, const QString& folder, Reports& reports,
                                          QObject* owner, QString* problem)
{
    std::unique_ptr<SipStack> stack(new SipStack);
    stack->deferrals_ = SipDeferrals::create(owner);
    stack->listener_ = std::make_shared<Events>(*stack, reports);
    const QString failed = stack->setUp(config, folder);
    if (failed.isEmpty())
        return stack;
    if (problem)
        *problem = failed;
    return nullptr;
}

QString SipStack::setUp(const SipLineConfig& config, const QString& folder)
{
    const bool direct = config.kind == SipLineConfig::Kind::Direct;
    const QString transport = config.transport.isEmpty() ? QStringLiteral("udp") : config.transport;
    if (config.port > 0 && (direct || transport == u"udp") && !UdpPortFree(config.port))
        return QStringLiteral("Cannot listen on UDP port %1; another program is using it.").arg(config.port);
    const QString data = QDir(folder).filePath(QStringLiteral("data"));
    const QString plugins = QDir(folder).filePath(QStringLiteral("no-plugins"));
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

    const std::shared_ptr<linphone::Core> core =
        factory->createCore("", "", nullptr); // no linphonerc: nothing piles up between runs
    if (!core)
        return QStringLiteral("The SIP stack could not be started.");
    // No databases on disk: making them was most of a line's opening, and the line keeps no
    // history of its own (the program's log does).
    core->getConfig()->setString("storage", "uri", "null");
    core->setCallLogsDatabasePath(":memory:");
    core->setZrtpSecretsFile(":memory:");
    core->addListener(listener_);
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
    tls_ = !direct && transport == u"tls";
    if (tls_)
        core->setRootCaData(TrustedCertificates());

    if (core->start() != 0)
        return QStringLiteral("The SIP stack could not be started.");
    core_ = core; // started: from here on it is stopped when this goes
    KeepSocketsFromChildren();
    const std::shared_ptr<linphone::Transports> used = core->getTransportsUsed();
    localPort_ = used->getUdpPort() > 0   ? used->getUdpPort()
                 : used->getTcpPort() > 0 ? used->getTcpPort()
                                          : used->getTlsPort();
    if (localPort_ <= 0)
        return direct
                   ? QStringLiteral("Cannot listen on UDP port %1; another program may be using it.").arg(config.port)
                   : QStringLiteral("Cannot open a local SIP port.");
    if (used->getUdpPort() > 0) {
        guardedPort_ = used->getUdpPort();
        sip_datagram_guard::Guard(uint16_t(guardedPort_));
    }

    if (!direct) {
        const std::shared_ptr<linphone::AccountParams> params = core->createAccountParams();
        const std::shared_ptr<linphone::Address> identity = factory->createAddress(config.identity.toStdString());
        const std::shared_ptr<linphone::Address> server =
            factory->createAddress(QStringLiteral("sip:%1;transport=%2").arg(config.server, transport).toStdString());
        if (!identity || !server)
            return QStringLiteral("The SIP identity or server is not valid.");
        params->setIdentityAddress(identity);
        params->setServerAddress(server);
        params->enableOutboundProxy(true);
        params->enableRegister(true);
        account_ = core->createAccount(params);
        const QString user = config.user.isEmpty() ? SipIdentityUser(config.identity) : config.user;
        core->addAuthInfo(factory->createAuthInfo(SipIdentityUser(config.identity).toStdString(), user.toStdString(),
                                                  config.password.toStdString(), "", "", ""));
        core->addAccount(account_);
        core->setDefaultAccount(account_);
    }
    QObject::connect(&iterate_, &QTimer::timeout, &iterate_, [this] { core_->iterate(); });
    setBusy(false);
    iterate_.start();
    return {};
}

SipStack::~SipStack()
{
    iterate_.stop();
    if (core_) {
        core_->removeListener(listener_);
        core_->stop();
    }
    if (guardedPort_ > 0)
        sip_datagram_guard::Unguard(uint16_t(guardedPort_));
    deferrals_->close();
}

void SipStack::setBusy(bool busy)
{
    iterate_.setInterval(busy ? kBusyIterateMs : kIdleIterateMs);
}

void SipStack::KeepSocketsFromChildren()
{
    ForEachSocket([](int fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    });
}

bool SipStack::setLocalCallersOnly(bool on)
{
    // Looked at in each datagram: the IPv4 source in the network header, then the first bytes
    // after the 8-byte UDP header.
    static sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, uint32_t(SKF_NET_OFF + 12)),
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, 0xff000000),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0x7f000000, 3, 0), // 127.0.0.0/8: this machine
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, 8),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0x5349502f, 1, 0), // "SIP/": an answer, not a request
        BPF_STMT(BPF_RET | BPF_K, 0),
        BPF_STMT(BPF_RET | BPF_K, 0xffffffff),
    };
    static const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    if (localPort_ <= 0)
        return false;
    int told = 0;
    bool failed = false;
    ForEachSocket([&](int fd) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET
            || ntohs(address.sin_port) != localPort_ || ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0
            || type != SOCK_DGRAM)
            return;
        ++told;
        const int none = 0;
        if (on)
            failed |= ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0;
        else if (::setsockopt(fd, SOL_SOCKET, SO_DETACH_FILTER, &none, sizeof none) != 0)
            failed |= errno != ENOENT; // none was attached
    });
    return told > 0 && !failed;
}

} // namespace platform
