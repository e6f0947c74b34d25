// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "audio/ClsMeida.h"
#include "audio/GsmWave.h"
#include "console/JitterBuffer.h"
#include "net/UDPsocket.h"

#include <QHostAddress>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>
#include <cstdint>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class NetCallAudio;
class SoundRecHost;
namespace platform {
class WaveInput;
class WaveOutput;
} // namespace platform

// The internet call: one user of the program calls another over UDP. The caller's request
// rings at the other end until it is answered (or forwarded to the voice menu, or given up);
// then GSM audio flows both ways, keys travel as digits and either side hangs up. Only the
// address and port of the call in progress are listened to; any other caller hears busy.
class frmSoundRec : public QWidget
{
    Q_OBJECT
public:
    enum State : int { Idle = 0, CallingOut = 1, Connected = 2, RingingIn = 3 };

    static constexpr int kDefaultPort = 9595;
    static constexpr int kDefaultMaxRings = 30; // half a minute of ringing
    static constexpr int kKeepAliveTicks = 3; // a quiet side still says it is there
    static constexpr int kPeerSilentTicks = 10; // nothing heard this long: the other side is gone
    static constexpr int kBusyRepliesPerTick = 4; // a flood of callers costs little
    static constexpr int kOutputDepth = 3; // blocks queued on the speaker (120 ms)
    static constexpr int kRebindMs = 1000; // after a socket error, not in a tight loop

    explicit frmSoundRec(QWidget* parent = nullptr);
    ~frmSoundRec() override;

    // Wiring.
    void setHost(SoundRecHost* host) { host_ = host; }
    void SetIdentity(const QString& myName, const QString& myKey);
    // Listens on this UDP port (calls go out from it too); false when it cannot be bound.
    bool SetPort(int port);
    int Port() const { return port_; }
    // The one-second timer that rings and keeps the call alive; tests lend a fast one.
    void SetRingTimer(QTimer* timer);
    // Microphone and speaker for the next call; the sound card (or silence) without them.
    void SetAudioDevices(std::unique_ptr<platform::WaveInput> input, std::unique_ptr<platform::WaveOutput> output);
    void SetMaxRings(int rings) { maxRings_ = rings > 0 ? rings : kDefaultMaxRings; }
    // Ticks without a datagram after which the other side counts as gone.
    void SetPeerTimeout(int ticks) { peerSilentTicks_ = ticks > 0 ? ticks : kPeerSilentTicks; }
    // Forward unanswered calls to the voice menu after that many rings; 0 never.
    void SetForwardAfterRings(int rings);

    // The console's side.
    void SetCallTarget(const QString& first, const QString& second, const QString& third);
    void CallAddress(const QString& hostPort);
    void Call();
    void Hangup();
    void HangupNow() { Hangup(); }
    bool isCalling() const { return state_ != Idle; }
    bool isConnected() const { return state_ == Connected; }
    int VoipState() const { return state_; }
    bool isForwarded() const { return forwarded_; }
    QString RemoteName() const { return peerName_; }
    QString RemoteKey() const { return peerKey_; }
    // Sends a keypad key (0-9, * or #) to the other side of a connected call.
    void SendDigit(QChar key);

    // The main window's side.
    // The voice menu ended a forwarded call; hang up once its last words have been sent.
    void VoiceMenuEnded();
    // A message the voice menu fetched: the caller also gets its text.
    void MessageRetrieved(const QString& text);

    QString statusText() const;
    QStringList logLines() const;

    // Widgets, for the console and tests.
    QLineEdit* txtAddress = nullptr;
    QPushButton* cmdCall = nullptr;
    QPushButton* cmdHangup = nullptr;
    QCheckBox* chkForward = nullptr;
    QLabel* lblStatus = nullptr;
    QPlainTextEdit* txtMessage = nullptr;

signals:
    void StatusText(const QString& text);
    // A key the other side pressed in an ordinary (not forwarded) call.
    void DigitArrived(const QString& key);
    void StateChanged(int state);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Udp_MessageArrival(quint8 type, const QByteArray& payload);
    void RingTimer_Timer();
    void Media_InputData(int index, const QByteArray& block);
    void Media_OutputDone(int index);
    void Media_LogLine(const QString& text);

    void incomingRequest(const QByteArray& payload);
    void fromPeer(quint8 type, const QByteArray& payload);
    void dial(const QHostAddress& address, quint16 port);
    void answer();
    void forward();
    void connected(const QString& status);
    void endCall(const QString& status, bool tellPeer);
    void send(quint8 type, const QByteArray& payload);
    void sendTo(const QHostAddress& address, quint16 port, quint8 type, const QByteArray& payload);
    void showStatus(const QString& text);
    void logLine(const QString& text);
    void setState(State s);
    void ring();
    void pumpSpeaker();
    bool ensureBound();
    void startTicking();
    QTimer* ringTimer();

    SoundRecHost* host_ = nullptr;
    QUdpSocket udpControl_;
    net::UDPsocket udp_;
    bool udpBusy_ = false;
    QTimer ownRingTimer_;
    QPointer<QTimer> RingTimer;
    audio::ClsMeida media_;
    JitterBuffer jitter_;
    audio::GsmEncoder speechEncoder_;
    QByteArray silenceBlock_;

    QString myName_, myKey_;
    int port_ = kDefaultPort;
    int maxRings_ = kDefaultMaxRings;
    int forwardAfterRings_ = 0;
    int peerSilentTicks_ = kPeerSilentTicks;

    // The target the console looked up or the user typed.
    QString targetHost_;
    quint16 targetPort_ = 0;
    QString targetKey_;
    int lookupId_ = -1;

    State state_ = Idle;
    bool forwarded_ = false;
    bool hangupWhenSpoken_ = false;
    QHostAddress peer_;
    quint16 peerPort_ = 0;
    QString peerName_, peerKey_, peerLabel_;
    int rings_ = 0;
    int ticksSinceHeard_ = 0;
    int ticksSinceSent_ = 0;
    int busyReplies_ = 0;
    quint16 sequence_ = 0;
    bool ringPlaying_ = false;
    NetCallAudio* speech_ = nullptr; // owned by the numbered outputs while forwarded
    int speechDevice_ = 0;
    int logCount_ = 0;
};
