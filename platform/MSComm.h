#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSerialPort;
class SerialLine;

// Run-time error numbers of the serial control.
constexpr int32_t kErrComInvalidPropertyValue = 380;
constexpr int32_t kErrComPortOpen = 8000;
constexpr int32_t kErrComPortInvalid = 8002;
constexpr int32_t kErrComPortAlreadyOpen = 8005;
constexpr int32_t kErrComHardwareUnavailable = 8010;
constexpr int32_t kErrComSetCommStateFailed = 8015;
constexpr int32_t kErrComPortNotOpen = 8018;
constexpr int32_t kErrComReadError = 8020;
constexpr int32_t kErrComDCB = 8021;

// CommEvent: data has been received. Error events would be 1000 and above.
constexpr int16_t comEvReceive = 2;

// The serial-port control of the main window (MSComm1): one serial device,
// opened with the properties set before PortOpen and closed again, over
// Qt's QSerialPort. It owns the QSerialPort and the line settings applied
// to it. Everything runs on the user-interface thread: the receive event
// OnComm comes from the port's readyRead when events are pumped, at least
// RThreshold bytes at a time.
//
// COM port n is the device /dev/ttyS<n-1> unless DevicePath names another.
// The port opens raw, read and write, with the framing of Settings and the
// flow control of Handshaking; DTR and RTS follow DTREnable and RTSEnable
// where the device has those lines (a pseudo-terminal has none, which is
// no failure). The line speed can be changed and read back on the open
// port (WriteLineSpeed, ReadLineSpeed), any speed the driver accepts.
//
// Failures raise RuntimeError with the control's numbers. A device that
// vanishes while open (an unplugged adapter, a pseudo-terminal whose other
// end closed) leaves the port open as far as PortOpen tells, with nothing
// behind it: Output and OutBufferCount then raise 8021, Input 8020, and
// nothing more is received, until the port is closed.
class MSComm {
public:
    MSComm();
    ~MSComm();
    MSComm(const MSComm&) = delete;
    MSComm& operator=(const MSComm&) = delete;

    int16_t CommPort() const { return commPort_; }
    void SetCommPort(int16_t port);
    // Overrides the device of CommPort when not empty.
    const std::string& DevicePath() const { return devicePath_; }
    void SetDevicePath(const std::string& path);
    // The device the port opens.
    std::string DeviceName() const;
    // The device of COM port `commPort` (/dev/ttyS<n-1>) unless a
    // `devicePath` is named.
    static std::string DevicePathFor(int16_t commPort, const std::string& devicePath);

    // "speed,parity,data bits,stop bits", for example "9600,n,8,1"; parity
    // one of n, e, o, m, s; 5 to 8 data bits; 1 or 2 stop bits.
    const std::string& Settings() const { return settings_; }
    void SetSettings(const std::string& settings);

    // 0 none, 1 XON/XOFF, 2 RTS/CTS.
    int16_t Handshaking() const { return handshaking_; }
    void SetHandshaking(int16_t mode);

    // 0 text, 1 binary; Input hands back the bytes as received either way.
    int16_t InputMode() const { return inputMode_; }
    void SetInputMode(int16_t mode);
    // Bytes one read of Input takes; 0 takes all.
    int16_t InputLen() const { return inputLen_; }
    void SetInputLen(int16_t length);

    int16_t InBufferSize() const { return inBufferSize_; }
    void SetInBufferSize(int16_t size);
    int16_t OutBufferSize() const { return outBufferSize_; }
    void SetOutBufferSize(int16_t size);

    // Bytes that must be waiting before OnComm fires; 0 turns it off.
    int16_t RThreshold() const { return rThreshold_; }
    void SetRThreshold(int16_t bytes);
    // Send events are not offered: only 0 is accepted.
    int16_t SThreshold() const { return 0; }
    void SetSThreshold(int16_t bytes);

    bool DTREnable() const { return dtrEnable_; }
    void SetDTREnable(bool on);
    bool RTSEnable() const { return rtsEnable_; }
    void SetRTSEnable(bool on);

    bool PortOpen() const { return open_; }
    void SetPortOpen(bool open);
    // The open device's file descriptor; -1 when there is none.
    int32_t CommID() const;

    int16_t CommEvent() const { return commEvent_; }
    int16_t InBufferCount() const;
    std::string Input();
    void SetOutput(const std::string& bytes);
    // Bytes written but not yet sent on the line. Setting 0 drops them.
    int16_t OutBufferCount() const;
    void SetOutBufferCount(int16_t count);

    // The receive event.
    std::function<void()> OnComm;

    // The line speed in the open device's settings; false when the port is
    // closed or the device refuses.
    bool ReadLineSpeed(uint32_t& baud);
    bool WriteLineSpeed(uint32_t baud);

    // The settings of the device itself, and a stand-in put in front of
    // them (null puts the device back). The caller keeps ownership.
    SerialLine& DeviceLine();
    void SetLine(SerialLine* line);

private:
    class PortLine;
    struct Framing {
        uint32_t baud = 9600;
        char parity = 'n';
        int dataBits = 8;
        int stopBits = 1;
    };

    static bool ParseSettings(const std::string& settings, Framing& framing);
    SerialLine& Line();
    void Open();
    void Close();
    bool ApplyFraming();
    bool ApplyHandshaking();
    void RequireClosed(const char* property) const;
    void RequireDevice(const char* property, int32_t lostError) const;
    void OnReadyRead();
    void OnDeviceError(int error);

    std::unique_ptr<QSerialPort> port_;
    std::unique_ptr<PortLine> deviceLine_;
    SerialLine* line_ = nullptr;
    int16_t commPort_ = 1;
    std::string devicePath_;
    std::string settings_ = "9600,n,8,1";
    Framing framing_;
    int16_t handshaking_ = 0;
    int16_t inputMode_ = 0;
    int16_t inputLen_ = 0;
    int16_t inBufferSize_ = 1024;
    int16_t outBufferSize_ = 512;
    int16_t rThreshold_ = 0;
    bool dtrEnable_ = false;
    bool rtsEnable_ = false;
    bool open_ = false;
    bool lost_ = false;
    int16_t commEvent_ = 0;
};
