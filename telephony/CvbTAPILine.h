// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QPaintDevice;
class QWidget;

namespace platform {
class LineDeviceTable;
class ModemControl;
} // namespace platform

namespace telephony {

// The line error codes the wrapper reports (LINEERR_ numbering).
namespace lineerr {
constexpr uint32_t kBadDeviceId = 0x80000002;
constexpr uint32_t kCallUnavail = 0x80000005;
constexpr uint32_t kIncompatibleApiVersion = 0x8000000C;
constexpr uint32_t kInvalAppHandle = 0x80000014;
constexpr uint32_t kInvalCallHandle = 0x80000018;
constexpr uint32_t kInvalLineHandle = 0x8000002B;
constexpr uint32_t kInvalPointer = 0x80000035;
constexpr uint32_t kOperationFailed = 0x80000048;
} // namespace lineerr

// The text of a line error code; "Unknown Error" for a code that has none.
QString ErrorString(uint32_t code);

// The telephone line devices of the machine with their names and capabilities, the means to
// open a line, place and drop a call and show the line dialogs, and five events of call
// progress. It stands on the line-device table: each table entry is one line.
//
// Versions: every line speaks versions kLineLowVersion to kLineHighVersion, but only a line
// with voice capability takes part at all. Negotiation with a line gives the highest version
// both sides accept; a line without voice, or whose range does not meet LowAPI..HiAPI, gets
// version 0 and is not offered as a modem.
class CvbTAPILine : public QObject
{
    Q_OBJECT
public:
    static constexpr int32_t kLineLowVersion = 0x10003;
    static constexpr int32_t kLineHighVersion = 0x20002;
    // Capability values of a voice line.
    static constexpr int32_t kBearerModeVoice = 1;
    static constexpr int32_t kMediaModeInteractiveVoice = 4;
    // Runtime error of a property set out of range.
    static constexpr int32_t kInvalidPropertyValue = 380;

    explicit CvbTAPILine(QObject* parent = nullptr);
    explicit CvbTAPILine(platform::LineDeviceTable& table, QObject* parent = nullptr);
    ~CvbTAPILine() override;

    int32_t LowAPI = 0x10003;
    int32_t HiAPI = 0x30000;

    // Finds the lines and negotiates a version with each. False with LastError 0 when there
    // are no lines.
    bool Create();
    int32_t numLines() const { return numLines_; }

    // The line the capability members describe. A number outside 0..numLines-1 is refused:
    // the setter returns false and Err() holds 380 "Invalid property value".
    int32_t CurrentLineID() const { return currentLine_; }
    bool setCurrentLineID(int32_t id);
    struct RuntimeError
    {
        int32_t number = 0;
        QString description;
    };
    const RuntimeError& Err() const { return err_; }

    int32_t NegotiatedAPIVersion() const;
    int32_t ExtAPI_ID0() const { return extId(0); }
    int32_t ExtAPI_ID1() const { return extId(1); }
    int32_t ExtAPI_ID2() const { return extId(2); }
    int32_t ExtAPI_ID3() const { return extId(3); }

    // Capabilities of the current line; empty and 0 for a line whose version is 0.
    QString LineName() const { return caps_.lineName; }
    QString ProviderInfo() const { return caps_.providerInfo; }
    QString SwitchInfo() const { return caps_.switchInfo; }
    int32_t PermanentLineID() const { return caps_.permanentLineId; }
    int32_t StringFormat() const { return caps_.stringFormat; }
    int32_t numAddresses() const { return caps_.numAddresses; }
    int32_t maxDataRate() const { return caps_.maxDataRate; }
    int32_t BearerModes() const { return caps_.bearerModes; }
    int32_t AddressModes() const { return caps_.addressModes; }
    int32_t mediamodes() const { return caps_.mediaModes; }
    int32_t GenerateToneMaxNumFreq() const { return caps_.generateToneMaxNumFreq; }
    int32_t GenerateToneModes() const { return caps_.generateToneModes; }
    int32_t numTerminals() const { return caps_.numTerminals; }
    bool LineSupportsVoiceCalls() const;

    // The last line error code; reading it clears it.
    uint32_t LastError();

    bool OpenLine(int32_t privileges, int32_t mediaModes);
    // Starts dialling; MakeCallResult follows with 0 when the call is under way, else the error.
    bool MakeCallAsynch(const QString& number);
    // Starts dropping the call; DropCallResult follows.
    bool DropCallAsynch();
    bool CloseLine();

    bool ConfigDialog(QWidget* owner, const QString& deviceClass);
    bool DialingPropertiesDialog(QWidget* owner, const QString& address);
    // Draws the line's icon (a telephone) into the rectangle.
    bool PaintDevIcon(QPaintDevice* device, int x, int y, int width, int height);

signals:
    void MakeCallResult(int32_t result);
    void DropCallResult(int32_t result);
    void Connected();
    void Idle();
    void Disconnected();

private:
    struct Caps
    {
        QString lineName, providerInfo, switchInfo;
        int32_t permanentLineId = 0, stringFormat = 0, numAddresses = 0, maxDataRate = 0;
        int32_t bearerModes = 0, addressModes = 0, mediaModes = 0;
        int32_t generateToneMaxNumFreq = 0, generateToneModes = 0, numTerminals = 0;
    };

    int32_t extId(int k) const;
    void loadCaps();
    bool fail(uint32_t code);
    // What the line reports, as the call states and replies of a line.
    void onLineConnected();
    void onLineDisconnected();
    void callIdle();
    void reply(int32_t request, int32_t result);
    int32_t postReply(int32_t result);

    platform::LineDeviceTable& table_;
    bool created_ = false;
    int32_t numLines_ = 0;
    std::vector<int32_t> versions_;
    std::vector<std::array<int32_t, 4>> extIds_;
    int32_t highestVersion_ = 0;
    int32_t currentLine_ = 0;
    Caps caps_;
    uint32_t lastError_ = 0;
    RuntimeError err_;

    platform::ModemControl* line_ = nullptr; // the open line; owned
    bool call_ = false; // a call handle is held
    bool dropping_ = false; // we asked the line to hang up
    int32_t pendingMakeCall_ = 0;
    int32_t pendingDrop_ = 0;
    int32_t nextRequest_ = 1;
};

} // namespace telephony
