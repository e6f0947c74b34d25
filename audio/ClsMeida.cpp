// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ClsMeida.h"

#include "platform/sound/WaveDevice.h"

#include <cstring>

namespace audio {

ClsMeida::ClsMeida(QObject* parent) : QObject(parent) { }

ClsMeida::~ClsMeida()
{
    AudioClose();
}

void ClsMeida::SetDevices(std::unique_ptr<platform::WaveInput> input, std::unique_ptr<platform::WaveOutput> output)
{
    AudioClose();
    input_ = std::move(input);
    output_ = std::move(output);
    connectDevices();
}

void ClsMeida::connectDevices()
{
    connect(input_.get(), &platform::WaveInput::bufferFilled, this, &ClsMeida::onInputFilled);
    connect(output_.get(), &platform::WaveOutput::bufferDone, this, &ClsMeida::onOutputDone);
    gsmOut_.device = output_.get();
}

int ClsMeida::GetWaveHwndIn() const
{
    return opened_ && input_ ? input_->id() : 0;
}

bool ClsMeida::AudioOpen()
{
    if (opened_)
        return true;
    error_.clear();
    free_.clear();
    free_.reserve(kReceiveBuffers);
    isFree_.assign(kReceiveBuffers, false);
    if (!input_ || !output_) {
        input_ = platform::MakeDefaultWaveInput();
        output_ = platform::MakeDefaultWaveOutput();
        connectDevices();
    }

    int r = input_->open(kInputBuffers);
    if (r != platform::WaveOk) {
        error_ = input_->errorString().isEmpty() ? platform::WaveResultText(r) : input_->errorString();
        return false;
    }
    // Room for every receive buffer and the sound file.
    r = output_->open(kReceiveBuffers + 1);
    if (r != platform::WaveOk) {
        error_ = output_->errorString().isEmpty() ? platform::WaveResultText(r) : output_->errorString();
        input_->close();
        return false;
    }
    encoder_.restart();
    gsmOut_.decoder.restart();

    inputBlocks_.resize(kInputBuffers);
    inputData_.assign(kInputBuffers, nullptr);
    inputSamples_.assign(size_t(kInputBuffers) * kGsmBlockSamples, 0);
    for (int i = 0; i < kInputBuffers; ++i) {
        inputBlocks_[i].GAlloc(kGsmBlockBytes);
        inputData_[i] = inputBlocks_[i].GLock();
    }

    receive_.clear();
    receive_.reserve(kReceiveBuffers);
    for (int i = 0; i < kReceiveBuffers; ++i) {
        auto b = std::make_unique<CReceiveBuffer>();
        b->sethWave(&gsmOut_);
        b->letDwUser(i);
        b->Prepare();
        receive_.push_back(std::move(b));
        free_.push_back(i);
        isFree_[i] = true;
    }

    for (int i = 0; i < kInputBuffers; ++i) {
        r = input_->addBuffer(inputSamples_.data() + size_t(i) * kGsmBlockSamples, kGsmBlockSamples, i);
        if (r != platform::WaveOk)
            emit Message(input_->errorString().isEmpty() ? platform::WaveResultText(r) : input_->errorString());
    }
    opened_ = true;
    return true;
}

bool ClsMeida::AudioStartStream()
{
    if (!opened_)
        return false;
    const int r = input_->start();
    if (r != platform::WaveOk) {
        emit LogLine(QStringLiteral("waveInStart error ") + QString::number(r));
        return false;
    }
    state_ = Streaming;
    emit LogLine(QStringLiteral("StreamStart"));
    return true;
}

void ClsMeida::StopStream()
{
    if (!opened_)
        return;
    const int r = input_->stop();
    if (r != platform::WaveOk) {
        emit LogLine(QStringLiteral("waveInStop error ") + QString::number(r));
        return;
    }
    // The stream is over; the output is free for a sound file again.
    if (state_ == Streaming)
        state_ = Idle;
    emit LogLine(QStringLiteral("StreamStop"));
}

void ClsMeida::AudioClose()
{
    if (!opened_) {
        free_.clear();
        return;
    }
    input_->reset();
    input_->stop();
    inputData_.clear();
    inputBlocks_.clear(); // frees the 25 blocks
    input_->close();
    output_->reset();
    for (auto& b : receive_)
        b->Unprepare();
    output_->close();
    receive_.clear();
    free_.clear();
    releaseFile();
    opened_ = false;
    state_ = Idle;
}

bool ClsMeida::PlayFile(const QString& path)
{
    if (state_ != Idle || !opened_)
        return false;
    state_ = PlayingFile;
    GsmWave wave;
    if (!ReadGsmWave(path, &wave, &error_)) {
        state_ = Idle;
        emit LogLine(error_);
        return false;
    }
    if (wave.data.isEmpty()) {
        state_ = Idle;
        error_ = QStringLiteral("The sound file %1 holds no sound.").arg(path);
        emit LogLine(error_);
        return false;
    }
    fileBlock_.GAlloc(wave.data.size());
    char* p = fileBlock_.GLock();
    std::memcpy(p, wave.data.constData(), size_t(wave.data.size()));
    fileSamples_ = GsmDecode(QByteArray::fromRawData(p, wave.data.size()));
    if (wave.sampleCount > 0)
        fileSamples_.resize(wave.sampleCount); // the last block's padding is not played
    const int r = output_->write(fileSamples_.data(), int(fileSamples_.size()), kFileBuffer);
    if (r != platform::WaveOk) {
        error_ = platform::WaveResultText(r);
        releaseFile();
        state_ = Idle;
        return false;
    }
    fileQueued_ = true;
    return true;
}

void ClsMeida::StopPlayFile()
{
    if (state_ != Idle && opened_)
        output_->reset();
}

void ClsMeida::CloseFile()
{
    if (state_ != PlayingFile)
        return;
    if (fileQueued_)
        output_->reset(); // the output must let go of the samples first
    releaseFile();
    state_ = Idle;
}

void ClsMeida::releaseFile()
{
    if (fileQueued_ && output_)
        output_->reset();
    fileQueued_ = false;
    if (fileBlock_.MemHandle()) {
        fileBlock_.GUnlock();
        fileBlock_.GFree();
    }
    fileSamples_ = {};
}

CReceiveBuffer* ClsMeida::ReceiveBuffer(int index)
{
    return index >= 0 && index < int(receive_.size()) ? receive_[index].get() : nullptr;
}

CReceiveBuffer* ClsMeida::TakeFreeBuffer()
{
    if (free_.empty())
        return nullptr;
    const int i = free_.back();
    free_.pop_back();
    isFree_[i] = false;
    return receive_[i].get();
}

void ClsMeida::ReturnBuffer(int index)
{
    CReceiveBuffer* b = ReceiveBuffer(index);
    if (b && !b->isQueued() && !isFree_[index]) {
        isFree_[index] = true;
        free_.push_back(index);
    }
}

bool ClsMeida::PlayBlock(const char* block)
{
    CReceiveBuffer* b = TakeFreeBuffer();
    if (!b)
        return false;
    b->CopyData(block);
    if (b->Prepare() != platform::WaveOk || b->Add() != platform::WaveOk) {
        ReturnBuffer(b->dwUser());
        return false;
    }
    return true;
}

void ClsMeida::onInputFilled(int index)
{
    if (!opened_ || index < 0 || index >= kInputBuffers)
        return;
    char* block = inputData_[index];
    qint16* samples = inputSamples_.data() + size_t(index) * kGsmBlockSamples;
    encoder_.encodeBlock(samples, reinterpret_cast<quint8*>(block));
    emit InputData(index, QByteArray::fromRawData(block, kGsmBlockBytes));
    // Straight back to the device for the next 40 ms.
    if (opened_) {
        const int r = input_->addBuffer(samples, kGsmBlockSamples, index);
        if (r != platform::WaveOk)
            emit Message(input_->errorString().isEmpty() ? platform::WaveResultText(r) : input_->errorString());
    }
}

void ClsMeida::onOutputDone(int index)
{
    if (index == kFileBuffer) {
        fileQueued_ = false;
    } else if (CReceiveBuffer* b = ReceiveBuffer(index)) {
        b->markDone();
        if (!isFree_[index]) {
            isFree_[index] = true;
            free_.push_back(index);
        }
    } else {
        return;
    }
    emit OutputDone(index);
}

} // namespace audio
