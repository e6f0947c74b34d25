// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "audio/CReceiveBuffer.h"
#include "audio/ClsMemory.h"
#include "audio/GsmWave.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

namespace platform {
class WaveInput;
class WaveOutput;
} // namespace platform

namespace audio {

// The internet call's sound: a full-duplex GSM stream (recorded blocks go out as InputData,
// received blocks play through the receive buffers) and a player for sound files in the same
// format on the already open output. Everything lives on the UI thread; the devices report
// through Qt signals.
class ClsMeida : public QObject
{
    Q_OBJECT
public:
    static constexpr int kInputBuffers = 25;
    static constexpr int kReceiveBuffers = 225;
    // The index OutputDone carries for the sound file.
    static constexpr int kFileBuffer = -1;
    enum State { Idle = 0, PlayingFile = 1, Streaming = 2 };

    explicit ClsMeida(QObject* parent = nullptr);
    ~ClsMeida() override;

    // The devices the next AudioOpen uses; without them it opens the sound card, or silent
    // devices when the machine has none.
    void SetDevices(std::unique_ptr<platform::WaveInput> input, std::unique_ptr<platform::WaveOutput> output);

    int GetState() const { return state_; }
    // The open input device's number; 0 when closed.
    int GetWaveHwndIn() const;
    bool IsOpen() const { return opened_; }
    // Why the last AudioOpen or PlayFile failed.
    QString ErrorText() const { return error_; }

    // Opens both directions in the stream format and allocates every buffer; a second call
    // while open does nothing.
    bool AudioOpen();
    bool AudioStartStream();
    void StopStream();
    void AudioClose();

    // Plays a sound file in the stream format; refused while streaming, before AudioOpen, or
    // for a file that is damaged or in another format (ErrorText says which).
    bool PlayFile(const QString& path);
    void StopPlayFile();
    // Releases the sound file once it has played or been stopped.
    void CloseFile();

    // The playback buffers (index 0 to 224) and the free ones among them. A buffer that has
    // played is back among the free ones when OutputDone reports its index.
    CReceiveBuffer* ReceiveBuffer(int index);
    CReceiveBuffer* TakeFreeBuffer();
    // Puts back a buffer taken but not queued.
    void ReturnBuffer(int index);
    int FreeBufferCount() const { return int(free_.size()); }
    // Plays one received block through a free buffer; false when none is free.
    bool PlayBlock(const char* block);

signals:
    // A recorded block of 65 bytes; the bytes are valid until the slot returns.
    void InputData(int index, const QByteArray& block);
    // A playback buffer (or kFileBuffer) has played or was dropped.
    void OutputDone(int index);
    void LogLine(const QString& text);
    // Something the user should see in a message box.
    void Message(const QString& text);

private:
    void onInputFilled(int index);
    void onOutputDone(int index);
    void releaseFile();
    void connectDevices();

    std::unique_ptr<platform::WaveInput> input_;
    std::unique_ptr<platform::WaveOutput> output_;
    GsmOutput gsmOut_;
    GsmEncoder encoder_;
    QString error_;
    bool opened_ = false;
    int state_ = Idle;

    std::vector<ClsMemory> inputBlocks_;
    std::vector<char*> inputData_;
    std::vector<qint16> inputSamples_; // 25 x 320, recorded into
    std::vector<std::unique_ptr<CReceiveBuffer>> receive_;
    std::vector<int> free_;
    std::vector<bool> isFree_;

    ClsMemory fileBlock_;
    std::vector<qint16> fileSamples_;
    bool fileQueued_ = false;
};

} // namespace audio
