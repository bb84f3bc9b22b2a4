#include "platform/MSComm.h"

#include "runtime/AsciiCase.h"
#include "runtime/RuntimeError.h"
#include "platform/SerialLine.h"
#include "platform/StandardError.h"

#include <QSerialPort>
#include <algorithm>
#include <cctype>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

const std::string kSourcePrefix = "MSComm.";

[[noreturn]] void Raise(int32_t number, const std::string& description, const char* property)
{
    throw RuntimeError(number, description, kSourcePrefix + property);
}

void RequireRange(int value, int lowest, int highest, const char* property)
{
    if (value < lowest || value > highest)
        Raise(kErrComInvalidPropertyValue, "Invalid property value", property);
}

int16_t Clamp16(qint64 count)
{
    return static_cast<int16_t>(std::min<qint64>(count, 32767));
}

// The number and text of a failed open: the device's name and Qt's reason
// go into the description, so that the failure can be told apart.
[[noreturn]] void RaiseOpenFailure(const QSerialPort& port, const std::string& device)
{
    const std::string reason = device + ": " + port.errorString().toStdString();
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        Raise(kErrComPortInvalid, "Invalid port number (" + reason + ")", "PortOpen");
    case QSerialPort::PermissionError:
        // Held by another program (its lock file), or not ours to open.
        Raise(kErrComPortAlreadyOpen, "Port already open (" + reason + ")", "PortOpen");
    default:
        Raise(kErrComHardwareUnavailable, "The hardware is not available (" + reason + ")", "PortOpen");
    }
}

// One field of the settings text as a whole number, or -1.
int Field(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoi(text);
}

}  // namespace

// The settings of the device behind the QSerialPort.
class MSComm::PortLine final : public SerialLine {
public:
    explicit PortLine(QSerialPort& port) : port_(port) {}

    bool SetSpeed(uint32_t baud) override
    {
        return baud > 0 && baud <= INT32_MAX && port_.setBaudRate(static_cast<qint32>(baud));
    }

    bool ReadSpeed(uint32_t& baud) override
    {
        // termios2 holds speeds outside the standard table as well.
        struct termios2 settings {};
        if (ioctl(port_.handle(), TCGETS2, &settings) != 0)
            return false;
        baud = settings.c_ospeed;
        return true;
    }

    bool SetParity(char parity) override
    {
        switch (parity) {
        case 'n':
            return port_.setParity(QSerialPort::NoParity);
        case 'e':
            return port_.setParity(QSerialPort::EvenParity);
        case 'o':
            return port_.setParity(QSerialPort::OddParity);
        case 'm':
            return port_.setParity(QSerialPort::MarkParity);
        case 's':
            return port_.setParity(QSerialPort::SpaceParity);
        }
        return false;
    }

    bool SetDataBits(int bits) override
    {
        return bits >= 5 && bits <= 8 && port_.setDataBits(static_cast<QSerialPort::DataBits>(bits));
    }

    bool SetStopBits(int bits) override
    {
        if (bits != 1 && bits != 2)
            return false;
        return port_.setStopBits(bits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop);
    }

private:
    QSerialPort& port_;
};

MSComm::MSComm()
    : port_(std::make_unique<QSerialPort>()), deviceLine_(std::make_unique<PortLine>(*port_))
{
    QObject::connect(port_.get(), &QSerialPort::readyRead, [this] { OnReadyRead(); });
    QObject::connect(port_.get(), &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError error) { OnDeviceError(error); });
}

MSComm::~MSComm()
{
    OnComm = nullptr;
    port_->close();
}

void MSComm::SetCommPort(int16_t port)
{
    RequireClosed("CommPort");
    if (port < 1)
        Raise(kErrComPortInvalid, "Invalid port number", "CommPort");
    commPort_ = port;
}

void MSComm::SetDevicePath(const std::string& path)
{
    RequireClosed("DevicePath");
    devicePath_ = path;
}

std::string MSComm::DeviceName() const
{
    return DevicePathFor(commPort_, devicePath_);
}

std::string MSComm::DevicePathFor(int16_t commPort, const std::string& devicePath)
{
    return devicePath.empty() ? "/dev/ttyS" + std::to_string(commPort - 1) : devicePath;
}

void MSComm::SetSettings(const std::string& settings)
{
    Framing framing;
    if (!ParseSettings(settings, framing))
        Raise(kErrComInvalidPropertyValue, "Invalid property value", "Settings");
    const Framing previous = framing_;
    framing_ = framing;
    if (open_ && !lost_ && !ApplyFraming()) {
        framing_ = previous;
        ApplyFraming();
        Raise(kErrComSetCommStateFailed, "Could not set comm state", "Settings");
    }
    settings_ = settings;
}

bool MSComm::ParseSettings(const std::string& settings, Framing& framing)
{
    std::string fields[4];
    size_t commas = 0;
    for (char c : settings) {
        if (c != ',')
            fields[commas] += c;
        else if (++commas == 4)
            return false;
    }
    const int baud = Field(fields[0]);
    framing.parity = fields[1].size() == 1 ? AsciiLower(fields[1][0]) : '?';
    framing.dataBits = Field(fields[2]);
    framing.stopBits = Field(fields[3]);
    if (commas != 3 || baud <= 0 || std::string("neoms").find(framing.parity) == std::string::npos)
        return false;
    framing.baud = static_cast<uint32_t>(baud);
    return framing.dataBits >= 5 && framing.dataBits <= 8 && (framing.stopBits == 1 || framing.stopBits == 2);
}

void MSComm::SetHandshaking(int16_t mode)
{
    RequireRange(mode, 0, 2, "Handshaking");
    handshaking_ = mode;
    if (open_ && !lost_ && !ApplyHandshaking())
        Raise(kErrComSetCommStateFailed, "Could not set comm state", "Handshaking");
}

void MSComm::SetInputMode(int16_t mode)
{
    RequireRange(mode, 0, 1, "InputMode");
    inputMode_ = mode;
}

void MSComm::SetInputLen(int16_t length)
{
    RequireRange(length, 0, 32767, "InputLen");
    inputLen_ = length;
}

void MSComm::SetInBufferSize(int16_t size)
{
    RequireClosed("InBufferSize");
    RequireRange(size, 1, 32767, "InBufferSize");
    inBufferSize_ = size;
}

void MSComm::SetOutBufferSize(int16_t size)
{
    RequireClosed("OutBufferSize");
    RequireRange(size, 1, 32767, "OutBufferSize");
    outBufferSize_ = size;
}

void MSComm::SetRThreshold(int16_t bytes)
{
    RequireRange(bytes, 0, 32767, "RThreshold");
    rThreshold_ = bytes;
}

void MSComm::SetSThreshold(int16_t bytes)
{
    RequireRange(bytes, 0, 0, "SThreshold");
}

void MSComm::SetDTREnable(bool on)
{
    dtrEnable_ = on;
    // A device without modem-control lines keeps its state; that is no
    // failure.
    if (open_ && !lost_)
        port_->setDataTerminalReady(on);
}

void MSComm::SetRTSEnable(bool on)
{
    rtsEnable_ = on;
    if (open_ && !lost_)
        port_->setRequestToSend(on);
}

void MSComm::SetPortOpen(bool open)
{
    if (open)
        Open();
    else
        Close();
}

int32_t MSComm::CommID() const
{
    return open_ && !lost_ ? port_->handle() : -1;
}

int16_t MSComm::InBufferCount() const
{
    RequireDevice("InBufferCount", 0);
    return lost_ ? 0 : Clamp16(port_->bytesAvailable());
}

std::string MSComm::Input()
{
    RequireDevice("Input", kErrComReadError);
    const qint64 length = inputLen_ == 0 ? port_->bytesAvailable() : inputLen_;
    return port_->read(length).toStdString();
}

void MSComm::SetOutput(const std::string& bytes)
{
    RequireDevice("Output", kErrComDCB);
    if (bytes.empty())
        return;
    if (port_->write(bytes.data(), static_cast<qint64>(bytes.size())) < 0)
        Raise(kErrComDCB, "Internal error retrieving device control block for the port", "Output");
}

int16_t MSComm::OutBufferCount() const
{
    RequireDevice("OutBufferCount", kErrComDCB);
    // Qt's own buffer, then the driver's queue that the line has not yet
    // taken.
    int queued = 0;
    if (ioctl(port_->handle(), TIOCOUTQ, &queued) != 0)
        queued = 0;
    return Clamp16(port_->bytesToWrite() + queued);
}

void MSComm::SetOutBufferCount(int16_t count)
{
    RequireRange(count, 0, 0, "OutBufferCount");
    // A closed port holds nothing to drop, and a vanished device took its
    // unsent bytes with it.
    if (open_ && !lost_)
        port_->clear(QSerialPort::Output);
}

bool MSComm::ReadLineSpeed(uint32_t& baud)
{
    return open_ && !lost_ && Line().ReadSpeed(baud);
}

bool MSComm::WriteLineSpeed(uint32_t baud)
{
    return open_ && !lost_ && Line().SetSpeed(baud);
}

SerialLine& MSComm::DeviceLine()
{
    return *deviceLine_;
}

void MSComm::SetLine(SerialLine* line)
{
    line_ = line;
}

SerialLine& MSComm::Line()
{
    return line_ ? *line_ : *deviceLine_;
}

void MSComm::Open()
{
    if (open_)
        Raise(kErrComPortAlreadyOpen, "Port already open", "PortOpen");
    const std::string device = DeviceName();
    port_->setPortName(QString::fromStdString(device));
    if (!port_->open(QIODevice::ReadWrite))
        RaiseOpenFailure(*port_, device);
    port_->setReadBufferSize(inBufferSize_);
    if (!ApplyFraming() || !ApplyHandshaking()) {
        port_->close();
        Raise(kErrComSetCommStateFailed, "Could not set comm state (" + device + ")", "PortOpen");
    }
    port_->setDataTerminalReady(dtrEnable_);
    port_->setRequestToSend(rtsEnable_);
    port_->clearError();
    open_ = true;
    lost_ = false;
    commEvent_ = 0;
}

void MSComm::Close()
{
    if (!open_)
        return;
    open_ = false;
    lost_ = false;
    port_->close();
}

bool MSComm::ApplyFraming()
{
    SerialLine& line = Line();
    return line.SetSpeed(framing_.baud) && line.SetParity(framing_.parity) && line.SetDataBits(framing_.dataBits)
           && line.SetStopBits(framing_.stopBits);
}

bool MSComm::ApplyHandshaking()
{
    static const QSerialPort::FlowControl kFlow[] = {QSerialPort::NoFlowControl, QSerialPort::SoftwareControl,
                                                     QSerialPort::HardwareControl};
    return port_->setFlowControl(kFlow[handshaking_]);
}

void MSComm::RequireClosed(const char* property) const
{
    if (open_)
        Raise(kErrComPortOpen, "Operation not valid while the port is opened", property);
}

void MSComm::RequireDevice(const char* property, int32_t lostError) const
{
    if (!open_)
        Raise(kErrComPortNotOpen, "Operation valid only when the port is open", property);
    if (lost_ && lostError == kErrComDCB)
        Raise(kErrComDCB, "Internal error retrieving device control block for the port (" + DeviceName() + " is gone)",
              property);
    if (lost_ && lostError == kErrComReadError)
        Raise(kErrComReadError, "Error reading comm device (" + DeviceName() + " is gone)", property);
}

void MSComm::OnReadyRead()
{
    if (!OnComm || rThreshold_ == 0 || port_->bytesAvailable() < rThreshold_)
        return;
    commEvent_ = comEvReceive;
    // The handler runs inside Qt's event dispatch, which must not see an
    // exception.
    try {
        OnComm();
    } catch (const std::exception& e) {
        ReportLine("serial receive on " + DeviceName() + ": " + e.what());
    }
}

void MSComm::OnDeviceError(int error)
{
    if (!open_ || lost_)
        return;
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError && error != QSerialPort::ResourceError)
        return;
    // The device is gone. Closing the QSerialPort stops its notifier, which
    // would otherwise fire without end on the dead descriptor.
    lost_ = true;
    port_->close();
}
