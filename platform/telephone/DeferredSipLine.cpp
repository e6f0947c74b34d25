// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/DeferredSipLine.h"

#include "platform/telephone/SipLineModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <dlfcn.h>
#include <utility>

namespace platform {

namespace {

constexpr int kLocalFailure = 1; // Error number of a failure that has no SIP code
constexpr const char* kModuleName = "korvalen-sipline.so";

struct Module
{
    KorvalenSipLineFactory factory = nullptr;
    QString problem;
};

// Loads the module once per program; later lines share it. Runs on a worker thread.
Module LoadModule(const QString& path)
{
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return {nullptr, QString::fromLocal8Bit(::dlerror())};
    auto factory = reinterpret_cast<KorvalenSipLineFactory>(::dlsym(handle, KORVALEN_SIP_LINE_FACTORY));
    if (!factory)
        return {nullptr, QStringLiteral("%1 has no %2").arg(path, QLatin1String(KORVALEN_SIP_LINE_FACTORY))};
    return {factory, {}};
}

} // namespace

DeferredSipLine::DeferredSipLine(QList<SipLineConfig> lines, SettingsStore* store, QString modulePath, QObject* parent)
    : SipLineDevices(std::move(lines), store, parent), modulePath_(std::move(modulePath))
{ }

DeferredSipLine::~DeferredSipLine() = default;

QString DeferredSipLine::DefaultModulePath()
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString installed = QDir(here).filePath(QStringLiteral(KORVALEN_MODULES_FROM_PROGRAM "/") + kModuleName);
    const QString beside = QDir(here).filePath(QLatin1String(kModuleName));
    return QFileInfo::exists(beside) ? beside : QDir::cleanPath(installed);
}

QString DeferredSipLine::CheckModule(const QString& path)
{
    return LoadModule(path).problem;
}

void DeferredSipLine::OpenDevice(int32_t device, bool voice, bool autoAnswer)
{
    if (!line_) {
        pending_ = Opening{device, voice, autoAnswer};
        load();
        return;
    }
    line_->setLines(lines());
    line_->setDialPrefix(dialPrefix());
    line_->OpenDevice(device, voice, autoAnswer);
}

void DeferredSipLine::CloseDevice()
{
    pending_.reset();
    if (line_)
        line_->CloseDevice();
}

int32_t DeferredSipLine::LineState() const
{
    return line_ ? line_->LineState() : -1;
}

QString DeferredSipLine::MakeCall(const QString& unused1, const QString& unused2, const QString& number, bool flag)
{
    return line_ ? line_->MakeCall(unused1, unused2, number, flag) : QStringLiteral("Bad");
}

void DeferredSipLine::HangUp()
{
    if (line_) {
        line_->HangUp();
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { emit Disconnected(); }, Qt::QueuedConnection);
}

void DeferredSipLine::Answer()
{
    if (line_)
        line_->Answer();
}

void DeferredSipLine::setLocalCallersOnly(bool on)
{
    localOnly_ = on;
    if (line_)
        line_->setLocalCallersOnly(on);
}

void DeferredSipLine::load()
{
    if (loading_)
        return;
    loading_ = true;
    // Loading maps and links a few hundred libraries: off the window's thread.
    QThreadPool::globalInstance()->start([path = modulePath_, self = QPointer<DeferredSipLine>(this)] {
        const Module module = LoadModule(path);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, module, path] {
                if (!self)
                    return;
                self->takeLine(module.factory ? module.factory() : nullptr,
                               module.factory ? QString() : QStringLiteral("%1 (%2)").arg(module.problem, path));
            },
            Qt::QueuedConnection);
    });
}

void DeferredSipLine::takeLine(SipLineDevices* line, const QString& problem)
{
    loading_ = false;
    if (!line) {
        if (pending_)
            emit Error(kLocalFailure, QStringLiteral("The SIP line could not be loaded: %1").arg(problem));
        pending_.reset();
        return;
    }
    line_.reset(line);
    connect(line, &VoiceModem::CallerID, this, &VoiceModem::CallerID);
    connect(line, &VoiceModem::PhoneConnected, this, &VoiceModem::PhoneConnected);
    connect(line, &VoiceModem::DigitReceived, this, &VoiceModem::DigitReceived);
    connect(line, &VoiceModem::Disconnected, this, &VoiceModem::Disconnected);
    connect(line, &VoiceModem::Error, this, &VoiceModem::Error);
    connect(line, &VoiceModem::IncomingCall, this, &VoiceModem::IncomingCall);
    connect(line, &VoiceModem::LineStatus, this, &VoiceModem::LineStatus);
    line_->setLocalCallersOnly(localOnly_);
    if (const std::optional<Opening> opening = std::exchange(pending_, std::nullopt))
        OpenDevice(opening->device, opening->voice, opening->autoAnswer);
}

} // namespace platform
