// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/CvbTAPILine.h"

#include "platform/telephone/LineDevices.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace telephony {

namespace {

// The line error texts in the order of the codes from 0x80000001; nullptr where a code has
// no text of its own.
constexpr const char* kErrorTexts[] = {
    "Allocated",
    "Bad Device ID",
    "Bearer Mode Unavail",
    nullptr,
    "Call UnAvail",
    "Completion Overrun",
    "Conference Full",
    "Dial Billing",
    "Dial Dialtone",
    "Dial Prompt",
    "Dial Quiet",
    "Incompatible API Version",
    "Incompatible Ext Version",
    "Ini File Corrupt",
    "In Use",
    "Invalid Address",
    "Invalid Address ID",
    "Invalid Address Mode",
    "Invalid Address State",
    "Invalid App Handle",
    "Invalid App Name",
    "Invalid Bearer Mode",
    "Invalid Call Completion Mode",
    "Invalid Call Handle",
    "Invalid Call Params",
    "Invalid Call Privilege",
    "Invalid Call Select",
    "Invalid Call State",
    "Invalid Call State List",
    "Invalid Card",
    "Invalid Completion ID",
    "Invalid Conf Call Handle",
    "Invalid Consult Call Handle",
    "Invalid Country Code",
    "Invalid Device Class",
    "Invalid Device Handle",
    nullptr,
    "Invalid Digit List",
    "Invalid Digit Mode",
    "Invalid Digits",
    "Invalid Ext Version",
    "Invalid Group ID",
    "Invalid Line Handle",
    "Invalid Line State",
    "Invalid Location",
    "Invalid Media List",
    "Invalid Media Mode",
    "Invalid Message ID",
    nullptr,
    "Invalid Param",
    "Invalid Park ID",
    "Invalid Park Mode",
    "Invalid Pointer",
    "Invalid Priv Select",
    "Invalid Rate",
    "Invalid Request Mode",
    "Invalid Terminal ID",
    "Invalid Terminal Mode",
    "Invalid Time Out",
    "Invalid Tone",
    "Invalid Tone List",
    "Invalid Tone Mode",
    "Invalid Transfer Mode",
    "Line Mapper Failed",
    "No Conference",
    "No Device",
    "No Driver",
    "No Memory",
    "No Request",
    "Not Owner",
    "Not Registered",
    "Operation Failed",
    "Operation Unavailable",
    "Rate Unavailable",
    "Resource Unavailable",
    "Request Overrun",
    "Structure Too Small",
    "Target Not found",
    "Target Self",
    "Uninitialized",
    "UserUser Info Too Big",
    "Re-init",
    "Address Blocked",
    "Billing Rejected",
    "Invalid Feature",
    "No Multiple Instance",
};
constexpr uint32_t kFirstError = 0x80000001;
static_assert(std::size(kErrorTexts) == 0x56);

constexpr int32_t kStringFormatAscii = 1;
constexpr int32_t kAddressModeAddressId = 1;
constexpr int32_t kVoiceDataRate = 64000; // one telephone channel, bits per second

} // namespace

QString ErrorString(uint32_t code)
{
    const uint32_t i = code - kFirstError; // codes below the first wrap far beyond the table
    if (i < std::size(kErrorTexts) && kErrorTexts[i])
        return QString::fromLatin1(kErrorTexts[i]);
    return QStringLiteral("Unknown Error");
}

CvbTAPILine::CvbTAPILine(QObject* parent) : CvbTAPILine(platform::LineDeviceTable::instance(), parent) { }

CvbTAPILine::CvbTAPILine(platform::LineDeviceTable& table, QObject* parent) : QObject(parent), table_(table) { }

CvbTAPILine::~CvbTAPILine()
{
    call_ = false;
    if (line_) {
        if (platform::VoiceModem* open = line_->openLine())
            open->disconnect(this);
        delete std::exchange(line_, nullptr); // closes the device
    }
}

bool CvbTAPILine::fail(uint32_t code)
{
    lastError_ = code;
    return false;
}

bool CvbTAPILine::Create()
{
    numLines_ = table_.count();
    versions_.clear();
    extIds_.clear();
    highestVersion_ = 0;
    created_ = numLines_ > 0;
    if (!created_)
        return false;
    versions_.assign(size_t(numLines_), 0);
    extIds_.assign(size_t(numLines_), {0, 0, 0, 0}); // our lines have no extensions
    const int32_t low = std::max(LowAPI, kLineLowVersion);
    const int32_t high = std::min(HiAPI, kLineHighVersion);
    for (int32_t i = 0; i < numLines_; ++i) {
        const bool voice = table_.capabilities(i) & platform::VoiceModem::kVoiceCapable;
        if (voice && low <= high) {
            versions_[size_t(i)] = high;
            highestVersion_ = std::max(highestVersion_, high);
        }
    }
    loadCaps();
    return true;
}

bool CvbTAPILine::setCurrentLineID(int32_t id)
{
    if (id < 0 || id > numLines_ - 1) {
        err_ = {kInvalidPropertyValue, QStringLiteral("Invalid property value")};
        return false;
    }
    err_ = {};
    currentLine_ = id;
    loadCaps();
    return true;
}

int32_t CvbTAPILine::NegotiatedAPIVersion() const
{
    return currentLine_ >= 0 && size_t(currentLine_) < versions_.size() ? versions_[size_t(currentLine_)] : 0;
}

int32_t CvbTAPILine::extId(int k) const
{
    return currentLine_ >= 0 && size_t(currentLine_) < extIds_.size() ? extIds_[size_t(currentLine_)][size_t(k)] : 0;
}

void CvbTAPILine::loadCaps()
{
    caps_ = {};
    if (!created_)
        return;
    if (NegotiatedAPIVersion() == 0) {
        lastError_ = lineerr::kIncompatibleApiVersion;
        return;
    }
    const auto entry = table_.entry(currentLine_);
    if (!entry) { // the line went away since Create
        lastError_ = lineerr::kBadDeviceId;
        return;
    }
    caps_.lineName = table_.name(currentLine_);
    // the provider is the kind of backend the line belongs to
    caps_.providerInfo =
        QString::fromLatin1(entry->backend->metaObject()->className()).section(QStringLiteral("::"), -1);
    caps_.permanentLineId = currentLine_;
    caps_.stringFormat = kStringFormatAscii;
    caps_.numAddresses = 1;
    caps_.maxDataRate = kVoiceDataRate;
    caps_.bearerModes = kBearerModeVoice;
    caps_.addressModes = kAddressModeAddressId;
    caps_.mediaModes = kMediaModeInteractiveVoice;
}

bool CvbTAPILine::LineSupportsVoiceCalls() const
{
    return (caps_.bearerModes & kBearerModeVoice) && (caps_.mediaModes & kMediaModeInteractiveVoice);
}

uint32_t CvbTAPILine::LastError()
{
    return std::exchange(lastError_, 0);
}

bool CvbTAPILine::OpenLine(int32_t /*privileges*/, int32_t /*mediaModes*/)
{
    if (line_)
        return false;
    if (!created_)
        return fail(lineerr::kInvalAppHandle);
    if (NegotiatedAPIVersion() == 0)
        return fail(lineerr::kIncompatibleApiVersion);
    if (!table_.entry(currentLine_))
        return fail(lineerr::kBadDeviceId);
    line_ = new platform::ModemControl(table_, this);
    line_->OpenDevice(currentLine_, true, false);
    if (line_->LineState() < 0) {
        CloseLine();
        return fail(lineerr::kOperationFailed);
    }
    // the open line reports straight here
    platform::VoiceModem* open = line_->openLine();
    connect(open, &platform::VoiceModem::PhoneConnected, this, &CvbTAPILine::onLineConnected);
    connect(open, &platform::VoiceModem::Disconnected, this, &CvbTAPILine::onLineDisconnected);
    return true;
}

bool CvbTAPILine::MakeCallAsynch(const QString& number)
{
    if (!line_)
        return false;
    if (call_ || pendingMakeCall_)
        return fail(lineerr::kCallUnavail);
    // the line answers the number itself when dialling started
    const bool placed = line_->MakeCall(QString(), QString(), number, false) == number;
    call_ = placed;
    pendingMakeCall_ = postReply(placed ? 0 : int32_t(lineerr::kCallUnavail));
    return true;
}

bool CvbTAPILine::DropCallAsynch()
{
    if (!call_ || !line_)
        return false;
    if (dropping_)
        return fail(lineerr::kInvalCallHandle);
    dropping_ = true;
    pendingDrop_ = postReply(0); // the reply goes before the line's own report
    line_->HangUp();
    return true;
}

bool CvbTAPILine::CloseLine()
{
    if (!line_)
        return false;
    platform::ModemControl* line = std::exchange(line_, nullptr);
    if (platform::VoiceModem* open = line->openLine())
        open->disconnect(this);
    line->CloseDevice();
    line->deleteLater(); // this may run inside an operation of the control, from the line's report
    call_ = false;
    dropping_ = false;
    return true;
}

int32_t CvbTAPILine::postReply(int32_t result)
{
    const int32_t request = nextRequest_;
    nextRequest_ = nextRequest_ == INT32_MAX ? 1 : nextRequest_ + 1; // request ids are positive
    QMetaObject::invokeMethod(
        this, [this, request, result] { reply(request, result); }, Qt::QueuedConnection);
    return request;
}

void CvbTAPILine::reply(int32_t request, int32_t result)
{
    if (request == pendingMakeCall_) {
        pendingMakeCall_ = 0;
        if (result != 0)
            CloseLine();
        emit MakeCallResult(result);
    } else if (request == pendingDrop_) {
        pendingDrop_ = 0;
        emit DropCallResult(result);
    }
}

void CvbTAPILine::onLineConnected()
{
    if (call_)
        emit Connected();
}

void CvbTAPILine::onLineDisconnected()
{
    if (dropping_) { // the drop we asked for is done: the call is gone
        callIdle();
        return;
    }
    DropCallAsynch(); // the far end went: drop our side, which brings the call to idle
    emit Disconnected();
}

void CvbTAPILine::callIdle()
{
    dropping_ = false;
    if (call_) {
        call_ = false;
        CloseLine();
    }
    emit Idle();
}

bool CvbTAPILine::ConfigDialog(QWidget* owner, const QString& /*deviceClass*/)
{
    const auto entry = created_ ? table_.entry(currentLine_) : std::nullopt;
    if (!entry)
        return fail(lineerr::kBadDeviceId);
    entry->backend->ShowModemDialog(entry->local, owner);
    return true;
}

bool CvbTAPILine::DialingPropertiesDialog(QWidget* owner, const QString& /*address*/)
{
    if (highestVersion_ == 0)
        return fail(lineerr::kIncompatibleApiVersion);
    const auto entry = table_.entry(currentLine_);
    if (!entry)
        return fail(lineerr::kBadDeviceId);
    entry->backend->ShowLocationDialog(entry->local, owner);
    return true;
}

bool CvbTAPILine::PaintDevIcon(QPaintDevice* device, int x, int y, int width, int height)
{
    if (!device)
        return fail(lineerr::kInvalPointer);
    if (!created_ || !table_.entry(currentLine_))
        return fail(lineerr::kBadDeviceId);
    if (width <= 0 || height <= 0)
        return false;
    QPainter p(device);
    if (!p.isActive())
        return false;
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(x, y);
    p.scale(width / 32.0, height / 32.0); // drawn on a 32 x 32 grid
    const QColor body(40, 40, 48), keys(235, 235, 235);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    // the base with its keypad
    p.drawRoundedRect(QRectF(5, 14, 22, 15), 3, 3);
    p.setBrush(keys);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(10 + col * 4.5, 17 + row * 3.8, 2.6, 2.2));
    // the handset resting on top
    QPainterPath handset;
    handset.moveTo(2, 11);
    handset.cubicTo(6, 3, 26, 3, 30, 11);
    handset.lineTo(25, 13);
    handset.lineTo(22, 9.5);
    handset.cubicTo(18, 8, 14, 8, 10, 9.5);
    handset.lineTo(7, 13);
    handset.closeSubpath();
    p.setBrush(body);
    p.drawPath(handset);
    return true;
}

} // namespace telephony
