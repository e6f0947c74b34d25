// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/frmSoundRec.h"

#include "console/CallDatagram.h"
#include "console/NetCallAudio.h"
#include "console/SoundRecHost.h"
#include "platform/ProgramFolder.h"
#include "platform/sound/AudioOutput.h"
#include "platform/sound/WaveDevice.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHostInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

constexpr int kMaxLogLines = 100; // the message box starts again after this many
const QString kRingIn = QStringLiteral("ring1.wav");
const QString kRingOut = QStringLiteral("ring2.wav");

QString Endpoint(const QHostAddress& a, quint16 port)
{
    return a.toString() + u':' + QString::number(port);
}

} // namespace

frmSoundRec::frmSoundRec(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Internet call"));
    txtAddress = new QLineEdit(this);
    txtAddress->setPlaceholderText(tr("user address, host:port"));
    cmdCall = new QPushButton(tr("Call"), this);
    cmdHangup = new QPushButton(tr("Hang up"), this);
    chkForward = new QCheckBox(tr("Unanswered calls go to the voice menu"), this);
    lblStatus = new QLabel(this);
    lblStatus->setTextFormat(Qt::PlainText); // names come from the other side
    txtMessage = new QPlainTextEdit(this);
    txtMessage->setReadOnly(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Address"), this), 0, 0);
    grid->addWidget(txtAddress, 0, 1, 1, 2);
    grid->addWidget(cmdCall, 1, 1);
    grid->addWidget(cmdHangup, 1, 2);
    grid->addWidget(chkForward, 2, 0, 1, 3);
    grid->addWidget(lblStatus, 3, 0, 1, 3);
    grid->addWidget(txtMessage, 4, 0, 1, 3);
    connect(cmdCall, &QPushButton::clicked, this, [this] {
        const QString typed = txtAddress->text().trimmed();
        const QString shown = targetHost_ + u':' + QString::number(targetPort_);
        if (state_ == Idle && !typed.isEmpty() && typed != shown)
            CallAddress(typed);
        Call();
    });
    connect(cmdHangup, &QPushButton::clicked, this, &frmSoundRec::Hangup);
    connect(chkForward, &QCheckBox::toggled, this, [this](bool on) {
        if (on && forwardAfterRings_ == 0)
            forwardAfterRings_ = 3;
        else if (!on)
            forwardAfterRings_ = 0;
    });

    udp_.SetControl(&udpControl_);
    udp_.AssignBusy(&udpBusy_);
    connect(&udp_, &net::UDPsocket::MessageArrival, this, &frmSoundRec::Udp_MessageArrival);
    connect(&udp_, &net::UDPsocket::DebugPrint, this, &frmSoundRec::logLine);
    // A socket error closes the socket; calls must still reach us, so it listens again shortly.
    connect(&udpControl_, &QUdpSocket::errorOccurred, this, [this] {
        QTimer::singleShot(kRebindMs, this, [this] {
            if (!udp_.isBound() && state_ == Idle)
                SetPort(port_);
        });
    });

    ownRingTimer_.setInterval(1000);
    SetRingTimer(&ownRingTimer_);

    connect(&media_, &audio::ClsMeida::InputData, this, &frmSoundRec::Media_InputData);
    connect(&media_, &audio::ClsMeida::OutputDone, this, &frmSoundRec::Media_OutputDone);
    connect(&media_, &audio::ClsMeida::LogLine, this, &frmSoundRec::Media_LogLine);
    connect(&media_, &audio::ClsMeida::Message, this, &frmSoundRec::logLine);

    silenceBlock_ = audio::GsmEncode(std::vector<qint16>(audio::kGsmBlockSamples, 0));
    cmdHangup->setEnabled(false);
}

frmSoundRec::~frmSoundRec()
{
    if (state_ != Idle)
        endCall(QString(), true);
}

void frmSoundRec::SetIdentity(const QString& myName, const QString& myKey)
{
    myName_ = myName;
    myKey_ = myKey;
}

bool frmSoundRec::SetPort(int port)
{
    if (port <= 0 || port > 65535) {
        showStatus(tr("The call port %1 is not between 1 and 65535.").arg(port));
        return false;
    }
    port_ = port;
    if (state_ != Idle)
        return true; // the call keeps its port; the new one is bound when it ends
    if (!udp_.setPort(port_)) {
        showStatus(udp_.ErrorText());
        logLine(udp_.ErrorText());
        return false;
    }
    return true;
}

bool frmSoundRec::ensureBound()
{
    return (udp_.isBound() && udp_.Port() == port_) || SetPort(port_);
}

void frmSoundRec::SetRingTimer(QTimer* timer)
{
    if (RingTimer)
        disconnect(RingTimer, nullptr, this, nullptr);
    const bool running = RingTimer && RingTimer->isActive();
    if (running)
        RingTimer->stop();
    RingTimer = timer ? timer : &ownRingTimer_;
    connect(RingTimer, &QTimer::timeout, this, &frmSoundRec::RingTimer_Timer);
    if (running)
        RingTimer->start();
}

QTimer* frmSoundRec::ringTimer()
{
    return RingTimer ? RingTimer.data() : &ownRingTimer_; // a lent timer may go first
}

void frmSoundRec::SetAudioDevices(std::unique_ptr<platform::WaveInput> input,
                                  std::unique_ptr<platform::WaveOutput> output)
{
    media_.SetDevices(std::move(input), std::move(output));
}

void frmSoundRec::SetForwardAfterRings(int rings)
{
    forwardAfterRings_ = rings > 0 ? rings : 0;
    chkForward->blockSignals(true);
    chkForward->setChecked(forwardAfterRings_ > 0);
    chkForward->blockSignals(false);
}

// ---- the console's side

void frmSoundRec::SetCallTarget(const QString& first, const QString& second, const QString& third)
{
    bool ok = false;
    const uint port = second.trimmed().toUInt(&ok);
    targetHost_ = first.trimmed();
    targetPort_ = ok && port > 0 && port <= 65535 ? quint16(port) : quint16(port_);
    targetKey_ = third;
    txtAddress->setText(targetHost_ + u':' + QString::number(targetPort_));
}

void frmSoundRec::CallAddress(const QString& hostPort)
{
    const QString text = hostPort.trimmed();
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = colon < 0 ? text : text.left(colon);
    QString port = colon < 0 ? QString::number(port_) : text.mid(colon + 1);
    SetCallTarget(host, port, QString());
}

void frmSoundRec::Call()
{
    if (state_ == RingingIn)
        return answer();
    if (state_ != Idle)
        return;
    if (targetHost_.isEmpty()) {
        showStatus(tr("Type the address to call as host:port."));
        return;
    }
    if (!ensureBound())
        return;
    const QHostAddress literal(targetHost_);
    if (!literal.isNull()) {
        if (literal.protocol() != QAbstractSocket::IPv4Protocol) {
            showStatus(tr("Only IPv4 addresses can be called."));
            return;
        }
        dial(literal, targetPort_);
        return;
    }
    // A name: the call rings once it has an address.
    setState(CallingOut);
    peerLabel_ = targetHost_;
    showStatus(targetHost_ + QStringLiteral(" Calling"));
    lookupId_ = QHostInfo::lookupHost(targetHost_, this, [this](const QHostInfo& info) {
        if (info.lookupId() != lookupId_ || state_ != CallingOut)
            return;
        lookupId_ = -1;
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                setState(Idle);
                dial(a, targetPort_);
                return;
            }
        }
        setState(Idle);
        showStatus(tr("%1 was not found: %2").arg(targetHost_, info.errorString()));
    });
}

void frmSoundRec::dial(const QHostAddress& address, quint16 port)
{
    peer_ = address;
    peerPort_ = port;
    peerName_ = targetHost_;
    peerLabel_ = targetHost_;
    peerKey_ = targetKey_;
    forwarded_ = false;
    rings_ = 0;
    ticksSinceHeard_ = ticksSinceSent_ = 0;
    setState(CallingOut);
    send(callmsg::CallRequest,
         callmsg::MakeRequest(myName_.isEmpty() ? QStringLiteral("Korvalen") : myName_, myKey_, quint16(udp_.Port())));
    showStatus(peerLabel_ + QStringLiteral(" Calling"));
    logLine(QStringLiteral("Calling ") + Endpoint(peer_, peerPort_));
    if (media_.AudioOpen())
        ring();
    else
        logLine(media_.ErrorText());
    startTicking();
}

void frmSoundRec::Hangup()
{
    if (state_ == Idle)
        return;
    if (lookupId_ >= 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
        endCall(tr("Hang up"), false);
        return;
    }
    endCall(tr("Hang up"), true);
}

void frmSoundRec::SendDigit(QChar key)
{
    const QByteArray digit = callmsg::MakeDigit(key);
    if (state_ == Connected && !digit.isEmpty())
        send(callmsg::Digit, digit);
}

void frmSoundRec::keyPressEvent(QKeyEvent* event)
{
    const QString t = event->text();
    if (state_ == Connected && t.size() == 1 && !callmsg::MakeDigit(t[0]).isEmpty() && !txtAddress->hasFocus()) {
        SendDigit(t[0]);
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- the main window's side

void frmSoundRec::VoiceMenuEnded()
{
    if (state_ == Connected && forwarded_)
        hangupWhenSpoken_ = true; // the next tick hangs up once the last words are out
}

void frmSoundRec::MessageRetrieved(const QString& text)
{
    if (state_ != Connected || !forwarded_)
        return;
    send(callmsg::Notice, callmsg::MakeNotice(myName_, text));
}

// ---- datagrams

void frmSoundRec::Udp_MessageArrival(quint8 type, const QByteArray& payload)
{
    const QHostAddress from = udp_.SenderAddress();
    const quint16 fromPort = udp_.SenderPort();
    const bool fromPeer =
        state_ != Idle && from.isEqual(peer_, QHostAddress::TolerantConversion) && fromPort == peerPort_;
    if (fromPeer)
        return this->fromPeer(type, payload);
    if (type != callmsg::CallRequest)
        return; // not the call in progress: ignored
    if (state_ == Idle)
        return incomingRequest(payload);
    // Somebody else while a call runs: busy, within reason.
    if (busyReplies_ < kBusyRepliesPerTick && callmsg::ReadRequest(payload)) {
        ++busyReplies_;
        sendTo(from, fromPort, callmsg::Busy, callmsg::kBusyText);
    }
}

void frmSoundRec::incomingRequest(const QByteArray& payload)
{
    const std::optional<callmsg::Request> r = callmsg::ReadRequest(payload);
    if (!r || !ensureBound())
        return;
    peer_ = udp_.SenderAddress();
    peerPort_ = udp_.SenderPort();
    peerName_ = r->name;
    peerKey_ = r->key;
    peerLabel_ = r->name;
    forwarded_ = false;
    rings_ = 0;
    ticksSinceHeard_ = ticksSinceSent_ = 0;
    setState(RingingIn);
    showStatus(tr("%1 is calling").arg(peerName_));
    logLine(QStringLiteral("Call from %1 at %2").arg(peerName_, Endpoint(peer_, peerPort_)));
    if (media_.AudioOpen())
        ring();
    else
        logLine(media_.ErrorText());
    startTicking();
}

void frmSoundRec::fromPeer(quint8 type, const QByteArray& payload)
{
    ticksSinceHeard_ = 0;
    switch (type) {
    case callmsg::HangUp: endCall(tr("%1 hung up").arg(peerLabel_), false); break;
    case callmsg::CallRequest:
        if (state_ == Connected) // the request again: our answer was lost
            send(forwarded_ ? callmsg::Forwarded : callmsg::Accepted,
                 forwarded_ ? callmsg::kForwardedText : callmsg::kAcceptedText);
        else if (state_ == CallingOut) { // both called each other at once: both take the call
            send(callmsg::Accepted, callmsg::kAcceptedText);
            connected(tr("Connected to %1").arg(peerLabel_));
        }
        break;
    case callmsg::Accepted:
        if (state_ == CallingOut)
            connected(tr("Connected to %1").arg(peerLabel_));
        break;
    case callmsg::Forwarded:
        if (state_ == CallingOut) {
            forwarded_ = true;
            connected(QString::fromLatin1(callmsg::kForwardedText));
        }
        break;
    case callmsg::Busy:
        if (state_ == CallingOut)
            endCall(peerLabel_ + QString::fromLatin1(callmsg::kBusyText), false);
        break;
    case callmsg::Audio:
        if (state_ == Connected) {
            if (const auto block = callmsg::ReadAudio(payload)) {
                jitter_.put(block->sequence, block->gsm);
                pumpSpeaker();
            }
        }
        break;
    case callmsg::Digit:
        if (state_ == Connected) {
            if (const auto key = callmsg::ReadDigit(payload)) {
                if (forwarded_ && host_)
                    host_->DigitReceived(QString(*key));
                else
                    emit DigitArrived(QString(*key));
                logLine(QStringLiteral("Key ") + *key);
            }
        }
        break;
    case callmsg::Notice:
        if (const auto n = callmsg::ReadNotice(payload))
            logLine(n->name + QStringLiteral(": ") + n->text);
        break;
    case callmsg::KeepAlive:
    default: break;
    }
}

void frmSoundRec::send(quint8 type, const QByteArray& payload)
{
    sendTo(peer_, peerPort_, type, payload);
}

void frmSoundRec::sendTo(const QHostAddress& address, quint16 port, quint8 type, const QByteArray& payload)
{
    udp_.setRemoteHost(address.toString());
    udp_.setRemotePort(port);
    udp_.SendMessage(type, payload);
    if (address == peer_ && port == peerPort_)
        ticksSinceSent_ = 0;
}

// ---- the call's course

void frmSoundRec::answer()
{
    if (state_ != RingingIn)
        return;
    send(callmsg::Accepted, callmsg::kAcceptedText);
    connected(tr("Connected to %1").arg(peerLabel_));
}

void frmSoundRec::forward()
{
    if (!host_ || !host_->NetVoiceCall())
        return; // the menu is busy: the call keeps ringing
    forwarded_ = true;
    send(callmsg::Forwarded, callmsg::kForwardedText);
    connected(tr("%1 is with the voice menu").arg(peerLabel_));
    auto speech = std::make_unique<NetCallAudio>();
    speech_ = speech.get();
    speechDevice_ = platform::AudioOutputs::instance().add(std::move(speech));
    speechEncoder_.restart();
    host_->NetCallConnected(speechDevice_);
}

void frmSoundRec::connected(const QString& status)
{
    setState(Connected);
    ticksSinceHeard_ = ticksSinceSent_ = 0;
    hangupWhenSpoken_ = false;
    if (ringPlaying_) {
        media_.StopPlayFile();
        media_.CloseFile();
        ringPlaying_ = false;
    }
    jitter_.reset();
    sequence_ = 0;
    if (!media_.AudioOpen())
        logLine(media_.ErrorText());
    media_.AudioStartStream();
    // Keys typed from now on go to the other side, not into the address.
    if (!focusWidget() || focusWidget() == txtAddress)
        cmdHangup->setFocus();
    showStatus(status);
    logLine(status);
}

void frmSoundRec::endCall(const QString& status, bool tellPeer)
{
    if (tellPeer && state_ != Idle && peerPort_ != 0)
        send(callmsg::HangUp, QByteArray());
    const bool wasForwarded = forwarded_ && speech_;
    setState(Idle);
    ringTimer()->stop();
    ringPlaying_ = false;
    media_.StopStream();
    media_.AudioClose();
    jitter_.reset();
    forwarded_ = false;
    hangupWhenSpoken_ = false;
    if (wasForwarded) {
        if (host_)
            host_->NetCallEnded();
        platform::AudioOutputs::instance().remove(speechDevice_);
        speech_ = nullptr;
        speechDevice_ = 0;
    }
    peerPort_ = 0;
    peer_.clear();
    if (!status.isEmpty()) {
        showStatus(status);
        logLine(status);
    }
    if (udp_.Port() != port_ || !udp_.isBound())
        SetPort(port_); // a port changed during the call, or the socket was closed by an error
}

void frmSoundRec::startTicking()
{
    busyReplies_ = 0;
    if (!ringTimer()->isActive())
        ringTimer()->start();
}

void frmSoundRec::RingTimer_Timer()
{
    busyReplies_ = 0;
    ++ticksSinceHeard_;
    ++ticksSinceSent_;
    switch (state_) {
    case CallingOut:
        if (++rings_ > maxRings_) {
            endCall(QStringLiteral("No one answer phone"), true);
            return;
        }
        // The request again each ring: a lost datagram costs one ring, not the call.
        send(callmsg::CallRequest, callmsg::MakeRequest(myName_.isEmpty() ? QStringLiteral("Korvalen") : myName_,
                                                        myKey_, quint16(udp_.Port())));
        ring();
        break;
    case RingingIn:
        ++rings_;
        if (ticksSinceHeard_ >= peerSilentTicks_ || rings_ > maxRings_ + 2) {
            endCall(tr("Missed call from %1").arg(peerLabel_), false);
            return;
        }
        if (forwardAfterRings_ > 0 && rings_ >= forwardAfterRings_) {
            forward();
            if (state_ == Connected)
                return;
        }
        ring();
        break;
    case Connected:
        if (ticksSinceHeard_ >= peerSilentTicks_) {
            endCall(tr("%1 stopped answering; the call has ended").arg(peerLabel_), false);
            return;
        }
        if (hangupWhenSpoken_ && (!host_ || host_->isAudioDone()) && (!speech_ || speech_->idle())) {
            endCall(tr("Hang up"), true);
            return;
        }
        if (ticksSinceSent_ >= kKeepAliveTicks)
            send(callmsg::KeepAlive, QByteArray());
        break;
    case Idle: ringTimer()->stop(); break;
    }
}

void frmSoundRec::ring()
{
    if (ringPlaying_)
        return; // the last ring is still sounding
    const QString path = QDir(platform::ProgramFolder()).filePath(state_ == RingingIn ? kRingIn : kRingOut);
    if (!QFileInfo::exists(path))
        return;
    ringPlaying_ = media_.PlayFile(path);
}

// ---- sound

void frmSoundRec::Media_InputData(int, const QByteArray& block)
{
    if (state_ != Connected)
        return;
    if (forwarded_ && speech_) {
        // The caller hears the voice menu, not the microphone.
        qint16 samples[audio::kGsmBlockSamples];
        speech_->take(samples, audio::kGsmBlockSamples);
        char gsm[audio::kGsmBlockBytes];
        speechEncoder_.encodeBlock(samples, reinterpret_cast<quint8*>(gsm));
        send(callmsg::Audio, callmsg::MakeAudio(gsm, sequence_++));
        return;
    }
    if (block.size() == audio::kGsmBlockBytes)
        send(callmsg::Audio, callmsg::MakeAudio(block.constData(), sequence_++));
}

void frmSoundRec::Media_OutputDone(int index)
{
    if (index == audio::ClsMeida::kFileBuffer) {
        if (ringPlaying_) {
            ringPlaying_ = false;
            media_.CloseFile();
        }
        return;
    }
    pumpSpeaker();
}

void frmSoundRec::pumpSpeaker()
{
    if (state_ != Connected || !media_.IsOpen())
        return;
    char block[audio::kGsmBlockBytes];
    while (audio::ClsMeida::kReceiveBuffers - media_.FreeBufferCount() < kOutputDepth) {
        const bool starving = media_.FreeBufferCount() == audio::ClsMeida::kReceiveBuffers;
        const JitterBuffer::Next n = jitter_.next(block, starving);
        if (n == JitterBuffer::Next::Wait)
            return;
        const char* play = n == JitterBuffer::Next::Silence ? silenceBlock_.constData() : block;
        if (!media_.PlayBlock(play))
            return;
    }
}

void frmSoundRec::Media_LogLine(const QString& text)
{
    logLine(text);
}

// ---- what the user sees

void frmSoundRec::setState(State s)
{
    if (state_ == s)
        return;
    state_ = s;
    cmdHangup->setEnabled(s != Idle);
    cmdCall->setEnabled(s == Idle || s == RingingIn);
    cmdCall->setText(s == RingingIn ? tr("Answer") : tr("Call"));
    emit StateChanged(s);
}

void frmSoundRec::showStatus(const QString& text)
{
    lblStatus->setText(text);
    emit StatusText(text);
}

void frmSoundRec::logLine(const QString& text)
{
    if (logCount_ >= kMaxLogLines) {
        txtMessage->clear();
        logCount_ = 0;
    }
    txtMessage->appendPlainText(text);
    ++logCount_;
}

QString frmSoundRec::statusText() const
{
    return lblStatus->text();
}

QStringList frmSoundRec::logLines() const
{
    return txtMessage->toPlainText().split(u'\n', Qt::SkipEmptyParts);
}
